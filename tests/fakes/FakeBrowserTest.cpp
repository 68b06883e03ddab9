#include <gtest/gtest.h>

#include <exdispid.h>
#include <olectl.h>

#include "FakeBrowser.h"
#include "com/Bstr.h"
#include "com/Variant.h"

using Microsoft::WRL::ComPtr;

namespace {

// Records every event as the browser delivers it; cancels BeforeNavigate2
// when told to.
class TRecordingSink : public com::TComObject<TRecordingSink, IDispatch> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TRecordingSink, IDispatch), ZU_INTERFACE_END};
    return table;
  }
  struct TEvent {
    DISPID Id;
    WORD Flags;
    std::vector<VARTYPE> Types; // rgvarg order
    std::wstring Text;          // the URL or the status text
    bool HadResult;
  };
  std::vector<TEvent> Events;
  bool Cancel = false;

  STDMETHODIMP GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *p, VARIANT *result, EXCEPINFO *,
                      UINT *) override {
    TEvent e{id, flags, {}, {}, result != nullptr};
    for (UINT i = 0; i < p->cArgs; ++i)
      e.Types.push_back(p->rgvarg[i].vt);
    if (id == DISPID_STATUSTEXTCHANGE)
      e.Text = p->rgvarg[0].bstrVal;
    if (id == DISPID_BEFORENAVIGATE2) {
      e.Text = p->rgvarg[5].pvarVal->bstrVal;
      if (Cancel)
        *p->rgvarg[0].pboolVal = VARIANT_TRUE;
    }
    if (id == DISPID_NAVIGATECOMPLETE2 || id == DISPID_DOCUMENTCOMPLETE)
      e.Text = p->rgvarg[0].pvarVal->bstrVal;
    Events.push_back(e);
    return S_OK;
  }
};

class FakeBrowserTest : public testing::Test {
protected:
  void SetUp() override {
    Browser = fakes::MakeBrowser(L"http://site/", L"<body>home</body>", {{L"http://site/next.html", L"<p>next"}});
    Sink = com::MakeObject<TRecordingSink>();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(Browser.As(&container), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, Point.GetAddressOf()), S_OK);
    ASSERT_EQ(Point->Advise(Sink.Get(), &Cookie), S_OK);
  }
  void TearDown() override {
    if (Point)
      Point->Unadvise(Cookie);
    Point.Reset();
    Sink.Reset();
    Browser.Reset();
    EXPECT_EQ(fakes::LiveObjects(), 0) << "fakes outlived the test";
  }
  ComPtr<fakes::TFakeBrowser> Browser;
  ComPtr<TRecordingSink> Sink;
  ComPtr<IConnectionPoint> Point;
  DWORD Cookie = 0;
};

TEST_F(FakeBrowserTest, EventsArriveAsTheBrowserSendsThem) {
  const VARTYPE ref = VT_BYREF | VT_VARIANT;
  Browser->FireStatusTextChange(L"ter_end");
  EXPECT_FALSE(Browser->FireBeforeNavigate2(L"http://site/x"));
  Browser->FireDocumentComplete(L"http://site/x");
  Browser->FireDownloadBegin();
  ASSERT_EQ(Sink->Events.size(), 4u);
  const auto &status = Sink->Events[0];
  EXPECT_EQ(status.Id, DISPID_STATUSTEXTCHANGE);
  EXPECT_EQ(status.Flags, DISPATCH_METHOD);
  EXPECT_EQ(status.Types, std::vector<VARTYPE>{VT_BSTR});
  EXPECT_EQ(status.Text, L"ter_end");
  EXPECT_FALSE(status.HadResult);
  // Reversed: Cancel first, pDisp last.
  EXPECT_EQ(Sink->Events[1].Types, (std::vector<VARTYPE>{VT_BYREF | VT_BOOL, ref, ref, ref, ref, ref, VT_DISPATCH}));
  EXPECT_EQ(Sink->Events[1].Text, L"http://site/x");
  EXPECT_EQ(Sink->Events[2].Types, (std::vector<VARTYPE>{ref, VT_DISPATCH}));
  EXPECT_EQ(Sink->Events[3].Types, std::vector<VARTYPE>{});
}

TEST_F(FakeBrowserTest, ASinkCancelsANavigation) {
  Browser->SetLoadOnNavigate(true);
  Sink->Cancel = true;
  com::Bstr next(L"http://site/next.html");
  ASSERT_EQ(Browser->Navigate(next.Get(), nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Browser->Document()->Url(), L"http://site/") << "cancelled";
  ASSERT_EQ(Sink->Events.size(), 1u);

  Sink->Cancel = false;
  com::Variant url(std::wstring_view{L"http://site/next.html"});
  ASSERT_EQ(Browser->Navigate2(const_cast<VARIANT *>(&url.Get()), nullptr, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Browser->Document()->Url(), L"http://site/next.html");
  std::vector<DISPID> ids;
  for (const auto &e : Sink->Events)
    ids.push_back(e.Id);
  EXPECT_EQ(ids, (std::vector<DISPID>{DISPID_BEFORENAVIGATE2, DISPID_BEFORENAVIGATE2, DISPID_DOWNLOADBEGIN,
                                      DISPID_NAVIGATECOMPLETE2, DISPID_DOWNLOADCOMPLETE, DISPID_DOCUMENTCOMPLETE}));
  EXPECT_EQ(Browser->Navigations().size(), 2u);
}

TEST_F(FakeBrowserTest, AdviseUnadviseAndOtherInterfaces) {
  EXPECT_EQ(Browser->AdviseCount(), 1u);
  ComPtr<IConnectionPointContainer> container;
  Browser.As(&container);
  ComPtr<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents, other.GetAddressOf()), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(Point->Unadvise(Cookie), S_OK);
  EXPECT_EQ(Point->Unadvise(Cookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(Browser->AdviseCount(), 0u);
  Browser->FireStatusTextChange(L"x");
  EXPECT_TRUE(Sink->Events.empty());
  Point.Reset();
}

TEST_F(FakeBrowserTest, PropertiesAndDocument) {
  com::Bstr name(L"IsMain");
  com::Variant yes(true), got;
  ASSERT_EQ(Browser->PutProperty(name.Get(), yes.Get()), S_OK);
  ASSERT_EQ(Browser->GetProperty(name.Get(), got.Receive()), S_OK);
  EXPECT_EQ(got.Type(), VT_BOOL);
  com::Bstr unknown(L"Other");
  ASSERT_EQ(Browser->GetProperty(unknown.Get(), got.Receive()), S_OK);
  EXPECT_EQ(got.Type(), VT_EMPTY);

  ComPtr<fakes::TFakeBrowser> empty = com::MakeObject<fakes::TFakeBrowser>();
  ComPtr<IDispatch> doc;
  EXPECT_EQ(empty->get_Document(doc.GetAddressOf()), S_OK);
  EXPECT_EQ(doc, nullptr);
  com::Bstr location;
  Browser->get_LocationURL(location.Receive());
  EXPECT_EQ(location.Str(), L"http://site/");
}

TEST_F(FakeBrowserTest, CompletionScriptMarksTheBodyThenFlashesTheStatus) {
  fakes::PlayCompletionScript(Browser->Document(), Browser.Get());
  EXPECT_EQ(Browser->Document()->Body()->Attribute(L"ter_complete"), L"yes");
  ASSERT_EQ(Sink->Events.size(), 2u);
  EXPECT_EQ(Sink->Events[0].Text, L"ter_end");
  EXPECT_EQ(Sink->Events[1].Text, L"");
}

} // namespace
