// The toolbar's browser event sink: its COM identity and lifetime, the
// decoding of the browser's events, and failures on their way to the browser.
#include <gtest/gtest.h>

#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "Lib/SinkUnit.h"
#include "com/Bstr.h"
#include "com/ComModule.h"
#include "com/ComObject.h"
#include "tests/fakes/FakeBrowser.h"
#include "toolbar/services/ZUSystem.h"

using Microsoft::WRL::ComPtr;

namespace {

// An object with no connection points at all.
class TPlainObject : public com::TComObject<TPlainObject, IPersist> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TPlainObject, IPersist), ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetClassID(CLSID *) override { return E_NOTIMPL; }
};

// Arguments laid out as the browser passes them: last first.
struct TArgs {
  explicit TArgs(std::vector<VARIANT> inOrder) : FArgs(inOrder.rbegin(), inOrder.rend()) {
    FParams.rgvarg = FArgs.data();
    FParams.cArgs = static_cast<UINT>(FArgs.size());
  }
  DISPPARAMS *Params() { return &FParams; }
  std::vector<VARIANT> FArgs;
  DISPPARAMS FParams = {};
};

VARIANT Dispatch(IDispatch *d) {
  VARIANT v;
  v.vt = VT_DISPATCH;
  v.pdispVal = d;
  return v;
}
VARIANT RefTo(VARIANT *target) {
  VARIANT v;
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}
VARIANT RefTo(VARIANT_BOOL *target) {
  VARIANT v;
  v.vt = VT_BYREF | VT_BOOL;
  v.pboolVal = target;
  return v;
}

HRESULT Fire(IDispatch *sink, DISPID dispid, DISPPARAMS *params, EXCEPINFO *info = nullptr) {
  DISPPARAMS none = {};
  return sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, params ? params : &none, nullptr, info,
                      nullptr);
}

class SinkTest : public testing::Test {
protected:
  ComPtr<TWebBrowserEventHandler> FSink = NewEventHandler<TWebBrowserEventHandler>();
};

} // namespace

TEST_F(SinkTest, LivesByItsReferencesOnly) {
  const long before = com::ObjectCount();
  auto *raw = new TWebBrowserEventHandler;
  EXPECT_EQ(raw->RefCount(), 0u) << "a new sink is unreferenced";
  EXPECT_EQ(com::ObjectCount(), before + 1) << "a live sink keeps the module loaded";
  raw->AddRef();
  try {
    TBaseEventHandler::Free(raw);
    FAIL() << "freed with a reference outstanding";
  } catch (const kwo::Exception &e) {
    EXPECT_EQ(e.Message(), "Invalid pointer operation\r\n>>288");
  }
  EXPECT_EQ(raw->Release(), 0u);
  EXPECT_EQ(com::ObjectCount(), before);

  TBaseEventHandler::Free(new TWebBrowserEventHandler);
  EXPECT_EQ(com::ObjectCount(), before) << "an unreferenced sink is simply freed";
}

TEST_F(SinkTest, AnswersTheEventInterfaceOnlyWhenAskedTo) {
  auto source = com::MakeObject<TPlainObject>();
  for (const bool setEventIID : {false, true}) {
    auto sink = NewEventHandler<TWebBrowserEventHandler>();
    EXPECT_FALSE(sink->ConnectTo(source.Get(), DIID_DWebBrowserEvents2, setEventIID))
        << "no connection point container";
    EXPECT_FALSE(sink->Connected());
    ComPtr<IUnknown> unknown;
    ComPtr<IDispatch> dispatch, events;
    EXPECT_EQ(sink.As(&unknown), S_OK);
    EXPECT_EQ(sink.As(&dispatch), S_OK);
    EXPECT_EQ(unknown.Get(), static_cast<IUnknown *>(dispatch.Get())) << "one identity";
    const HRESULT hr = sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void **>(events.GetAddressOf()));
    EXPECT_EQ(hr, setEventIID ? S_OK : E_NOINTERFACE) << setEventIID;
    EXPECT_EQ(events.Get(), setEventIID ? dispatch.Get() : nullptr);
    ComPtr<IPersist> other;
    EXPECT_EQ(sink.As(&other), E_NOINTERFACE);
    sink->Disconnect();
    sink->Disconnect();
    EXPECT_EQ(source->RefCount(), 1u) << "the source is released";
  }
}

TEST_F(SinkTest, KnownEventsSucceedWithOrWithoutHandlersAndOthersAreNotImplemented) {
  const struct {
    DISPID Dispid;
    HRESULT Expected;
  } cases[] = {
      {DISPID_BEFORENAVIGATE2, S_OK},
      {DISPID_NAVIGATECOMPLETE2, S_OK},
      {DISPID_DOCUMENTCOMPLETE, S_OK},
      {DISPID_QUIT, S_OK},
      {DISPID_DOWNLOADBEGIN, S_OK},
      {DISPID_DOWNLOADCOMPLETE, S_OK},
      {DISPID_STATUSTEXTCHANGE, E_NOTIMPL},
      {DISPID_TITLECHANGE, E_NOTIMPL},
      {0, E_NOTIMPL},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Fire(FSink.Get(), c.Dispid, nullptr), c.Expected) << c.Dispid;

  // With handlers for everything settable, the download events still reach none.
  int calls = 0;
  FSink->SetOnQuitEvent([&](TWebBrowserEventHandler &, DISPPARAMS *) { ++calls; });
  FSink->SetOnDocumentComplete([&](TWebBrowserEventHandler &, IDispatch *, VARIANT *) { ++calls; });
  EXPECT_EQ(Fire(FSink.Get(), DISPID_DOWNLOADCOMPLETE, nullptr), S_OK);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_DOWNLOADBEGIN, nullptr), S_OK);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_STATUSTEXTCHANGE, nullptr), E_NOTIMPL);
  EXPECT_EQ(calls, 0);
}

TEST_F(SinkTest, BeforeNavigate2HandsOutTheBrowsersArgumentsAndItsCancel) {
  auto frame = NewEventHandler<TWebBrowserEventHandler>(); // any dispatch object
  VARIANT url, flags, target, post, headers;
  for (VARIANT *v : {&url, &flags, &target, &post, &headers})
    VariantInit(v);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  TArgs args({Dispatch(frame.Get()), RefTo(&url), RefTo(&flags), RefTo(&target), RefTo(&post), RefTo(&headers),
              RefTo(&cancel)});
  int calls = 0;
  FSink->SetOnBeforeNavigate2([&](TWebBrowserEventHandler &sink, IDispatch *pDisp, VARIANT *u, VARIANT *f, VARIANT *t,
                                  VARIANT *p, VARIANT *h, VARIANT_BOOL *c) {
    ++calls;
    EXPECT_EQ(&sink, FSink.Get());
    EXPECT_EQ(pDisp, frame.Get());
    EXPECT_EQ(u, &url);
    EXPECT_EQ(f, &flags);
    EXPECT_EQ(t, &target);
    EXPECT_EQ(p, &post);
    EXPECT_EQ(h, &headers);
    *c = VARIANT_TRUE;
  });
  EXPECT_EQ(Fire(FSink.Get(), DISPID_BEFORENAVIGATE2, args.Params()), S_OK);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(cancel, VARIANT_TRUE) << "the browser sees the handler's Cancel";
}

TEST_F(SinkTest, NavigationEventsGoToTheirOwnHandlers) {
  auto frame = NewEventHandler<TWebBrowserEventHandler>();
  VARIANT url;
  VariantInit(&url);
  std::vector<std::string> seen;
  FSink->SetOnNavigateComplete2([&](TWebBrowserEventHandler &, IDispatch *pDisp, VARIANT *u) {
    seen.push_back("navigate");
    EXPECT_EQ(pDisp, frame.Get());
    EXPECT_EQ(u, &url);
  });
  FSink->SetOnDocumentComplete([&](TWebBrowserEventHandler &, IDispatch *pDisp, VARIANT *u) {
    seen.push_back("document");
    EXPECT_EQ(pDisp, frame.Get());
    EXPECT_EQ(u, &url);
  });
  DISPPARAMS *quitParams = nullptr;
  FSink->SetOnQuitEvent([&](TWebBrowserEventHandler &, DISPPARAMS *params) {
    seen.push_back("quit");
    quitParams = params;
  });
  TArgs args({Dispatch(frame.Get()), RefTo(&url)});
  EXPECT_EQ(Fire(FSink.Get(), DISPID_NAVIGATECOMPLETE2, args.Params()), S_OK);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_DOCUMENTCOMPLETE, args.Params()), S_OK);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_QUIT, args.Params()), S_OK);
  EXPECT_EQ(seen, (std::vector<std::string>{"navigate", "document", "quit"}));
  EXPECT_EQ(quitParams, args.Params());
}

TEST_F(SinkTest, ArgumentsThatAreNotTheBrowsersNeverReachAHandler) {
  int calls = 0;
  FSink->SetOnNavigateComplete2([&](TWebBrowserEventHandler &, IDispatch *, VARIANT *) { ++calls; });
  FSink->SetOnBeforeNavigate2([&](TWebBrowserEventHandler &, IDispatch *, VARIANT *, VARIANT *, VARIANT *, VARIANT *,
                                  VARIANT *, VARIANT_BOOL *) { ++calls; });
  VARIANT url;
  VariantInit(&url);
  VARIANT byValue;
  byValue.vt = VT_I4;
  byValue.lVal = 0x1234;
  TArgs oneArg({RefTo(&url)});
  TArgs urlByValue({Dispatch(nullptr), byValue});
  TArgs noCancelPointer({Dispatch(nullptr), RefTo(&url), RefTo(&url), RefTo(&url), RefTo(&url), RefTo(&url), byValue});
  DISPPARAMS noArray = {nullptr, nullptr, 2, 0};
  // The right types, but nothing behind the references a handler reads or writes.
  VARIANT *noVariant = nullptr;
  VARIANT_BOOL *noBool = nullptr;
  TArgs nullUrl({Dispatch(nullptr), RefTo(noVariant)});
  TArgs nullCancel({Dispatch(nullptr), RefTo(&url), RefTo(&url), RefTo(&url), RefTo(&url), RefTo(&url), RefTo(noBool)});
  TArgs nullHeaders(
      {Dispatch(nullptr), RefTo(&url), RefTo(&url), RefTo(&url), RefTo(&url), RefTo(noVariant), RefTo(noBool)});
  EXPECT_EQ(Fire(FSink.Get(), DISPID_NAVIGATECOMPLETE2, oneArg.Params()), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_NAVIGATECOMPLETE2, &noArray), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_NAVIGATECOMPLETE2, urlByValue.Params()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_BEFORENAVIGATE2, noCancelPointer.Params()), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_NAVIGATECOMPLETE2, nullUrl.Params()), E_POINTER);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_BEFORENAVIGATE2, nullCancel.Params()), E_POINTER);
  EXPECT_EQ(Fire(FSink.Get(), DISPID_BEFORENAVIGATE2, nullHeaders.Params()), E_POINTER);
  EXPECT_EQ(calls, 0);
}

TEST_F(SinkTest, AHandlersFailureReachesTheBrowserAsAnHResultWithItsTrace) {
  VARIANT url;
  VariantInit(&url);
  TArgs args({Dispatch(nullptr), RefTo(&url)});
  FSink->SetOnDocumentComplete(
      [](TWebBrowserEventHandler &, IDispatch *, VARIANT *) { throw kwo::Exception("Page went away"); });
  FSink->SetOnNavigateComplete2([](TWebBrowserEventHandler &, IDispatch *, VARIANT *) {
    throw kwo::EOleSysError("Host said no", E_ACCESSDENIED);
  });
  FSink->SetOnQuitEvent([](TWebBrowserEventHandler &, DISPPARAMS *) { throw 7; });

  const struct {
    DISPID Dispid;
    HRESULT Code;
    const wchar_t *Description;
  } cases[] = {
      {DISPID_DOCUMENTCOMPLETE, E_UNEXPECTED, L"Page went away\r\n>>302\r\n>>305\r\n>>294"},
      // The trace keeps the text; like every traced failure it loses the code.
      {DISPID_NAVIGATECOMPLETE2, E_UNEXPECTED, L"Host said no\r\n>>315\r\n>>305\r\n>>294"},
      {DISPID_QUIT, E_UNEXPECTED, L""},
  };
  for (const auto &c : cases) {
    EXCEPINFO info = {};
    EXPECT_EQ(Fire(FSink.Get(), c.Dispid, args.Params(), &info), DISP_E_EXCEPTION) << c.Dispid;
    EXPECT_EQ(info.scode, c.Code) << c.Dispid;
    EXPECT_EQ(std::wstring(info.bstrDescription ? info.bstrDescription : L""), c.Description) << c.Dispid;
    SysFreeString(info.bstrDescription);
    EXPECT_EQ(Fire(FSink.Get(), c.Dispid, args.Params()), E_FAIL) << "without exception information";
  }
}

TEST_F(SinkTest, FollowsABrowserUntilDisconnected) {
  auto browser = fakes::MakeBrowser(L"http://site.test/", L"<body>start</body>",
                                    {{L"http://site.test/next.html", L"<body>next</body>"}});
  browser->SetLoadOnNavigate(true);
  ComPtr<IWebBrowser2> asBrowser(static_cast<IWebBrowser2 *>(browser.Get()));
  com::Bstr next(L"http://site.test/next.html");
  std::vector<std::wstring> seen;
  FSink->SetOnBeforeNavigate2([&](TWebBrowserEventHandler &, IDispatch *, VARIANT *url, VARIANT *, VARIANT *, VARIANT *,
                                  VARIANT *, VARIANT_BOOL *cancel) {
    seen.push_back(L"before " + std::wstring(url->bstrVal));
    if (seen.size() == 1)
      *cancel = VARIANT_TRUE;
  });
  FSink->SetOnDocumentComplete([&](TWebBrowserEventHandler &, IDispatch *, VARIANT *url) {
    seen.push_back(L"complete " + std::wstring(url->bstrVal));
  });

  EXPECT_FALSE(FSink->ConnectTo(asBrowser.Get(), IID_IPropertyNotifySink, false)) << "no such connection point";
  ASSERT_TRUE(FSink->ConnectTo(asBrowser.Get(), DIID_DWebBrowserEvents2, false));
  ASSERT_TRUE(FSink->ConnectTo(asBrowser.Get(), DIID_DWebBrowserEvents2, false));
  EXPECT_EQ(browser->AdviseCount(), 1u) << "connecting again replaces the first advise";
  EXPECT_TRUE(FSink->Connected());

  // The first navigation is cancelled by the handler, the second goes through.
  EXPECT_EQ(asBrowser->Navigate(next.Get(), nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(fakes::BodyHtml(browser->Document()), L"start");
  EXPECT_EQ(asBrowser->Navigate(next.Get(), nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(fakes::BodyHtml(browser->Document()), L"next");
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"before http://site.test/next.html", L"before http://site.test/next.html",
                                             L"complete http://site.test/next.html"}));

  FSink->Disconnect();
  FSink->Disconnect();
  EXPECT_FALSE(FSink->Connected());
  EXPECT_EQ(browser->AdviseCount(), 0u);
  asBrowser.Reset();
  EXPECT_EQ(browser->RefCount(), 1u) << "the sink let go of its source";
  browser->FireDocumentComplete(L"http://site.test/late");
  EXPECT_EQ(seen.size(), 3u) << "no events after the disconnect";
}
