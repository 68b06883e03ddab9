#include "FakeBrowser.h"

#include <exdispid.h>
#include <olectl.h>

#include "FakeDispatch.h"
#include "FakeInternal.h"

namespace fakes {

namespace {
// Deepest frame nesting that still loads its page; deeper frames (a page
// that frames itself) show about:blank.
constexpr int KMaxFrameDepth = 8;
} // namespace

class TFakeConnectionPoint : public TFakeObject<TFakeConnectionPoint, IConnectionPoint> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeConnectionPoint, IConnectionPoint),
                                                 ZU_INTERFACE_END};
    return table;
  }
  explicit TFakeConnectionPoint(TFakeBrowser *browser) : FBrowser(browser) {}

  STDMETHODIMP GetConnectionInterface(IID *iid) override {
    if (!iid)
      return E_POINTER;
    *iid = DIID_DWebBrowserEvents2;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer **out) override {
    return GiveInterface(static_cast<IConnectionPointContainer *>(FBrowser.Get()), out);
  }
  STDMETHODIMP Advise(IUnknown *sink, DWORD *cookie) override {
    if (!sink || !cookie)
      return E_POINTER;
    *cookie = 0;
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(DIID_DWebBrowserEvents2, reinterpret_cast<void **>(events.GetAddressOf()))) &&
        FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(events.ReleaseAndGetAddressOf()))))
      return CONNECT_E_CANNOTCONNECT;
    if (!events)
      return CONNECT_E_CANNOTCONNECT;
    *cookie = FBrowser->FNextCookie++;
    FBrowser->FSinks.push_back(TFakeBrowser::TSink{*cookie, events});
    ++FBrowser->FTotalAdvises;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    auto &sinks = FBrowser->FSinks;
    for (auto it = sinks.begin(); it != sinks.end(); ++it)
      if (it->Cookie == cookie) {
        sinks.erase(it);
        return S_OK;
      }
    return CONNECT_E_NOCONNECTION;
  }
  STDMETHODIMP EnumConnections(IEnumConnections **out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }

private:
  ComPtr<TFakeBrowser> FBrowser;
};

const com::TInterfaceEntry *TFakeBrowser::Interfaces() {
  static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeBrowser, IWebBrowser2),
                                               ZU_INTERFACE_VIA(TFakeBrowser, IWebBrowserApp, IWebBrowser2),
                                               ZU_INTERFACE_VIA(TFakeBrowser, IWebBrowser, IWebBrowser2),
                                               ZU_INTERFACE_VIA(TFakeBrowser, IDispatch, IWebBrowser2),
                                               ZU_INTERFACE(TFakeBrowser, IConnectionPointContainer),
                                               ZU_INTERFACE_END};
  return table;
}

TFakeBrowser::TFakeBrowser(std::shared_ptr<const TPages> pages, bool topLevel, int depth)
    : FPages(pages ? std::move(pages) : std::make_shared<const TPages>()), FTopLevel(topLevel), FDepth(depth) {}

TFakeBrowser::~TFakeBrowser() = default;

void TFakeBrowser::SetDocument(ComPtr<TFakeDocument> document) { FDocument = std::move(document); }

TFakeDocument *TFakeBrowser::Load(const std::wstring &url, const std::wstring &html) {
  FDocument = com::MakeObject<TFakeDocument>(url, html, FPages, FDepth);
  FLocation = url;
  return FDocument.Get();
}

TFakeDocument *TFakeBrowser::LoadFromPages(const std::wstring &url) {
  const auto it = FPages->find(url);
  if (it == FPages->end() || FDepth > KMaxFrameDepth)
    return Load(L"about:blank", std::wstring());
  return Load(url, it->second);
}

void TFakeBrowser::SetPages(const TPages &pages) { FPages = std::make_shared<const TPages>(pages); }

// Events ---------------------------------------------------------------------

HRESULT TFakeBrowser::Fire(DISPID id, std::vector<VARIANT> &args) {
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  // A sink may unadvise (or advise another) while it handles the event.
  const std::vector<TSink> sinks = FSinks;
  HRESULT result = S_OK;
  for (const TSink &s : sinks) {
    const HRESULT hr =
        s.Sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    if (FAILED(hr))
      result = hr;
  }
  return result;
}

namespace {
VARIANT BstrArg(const std::wstring &text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}
VARIANT LongArg(long n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}
VARIANT RefArg(VARIANT *target) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BYREF | VT_VARIANT;
  v.pvarVal = target;
  return v;
}
VARIANT DispatchArg(IDispatch *d) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_DISPATCH;
  v.pdispVal = d; // borrowed: the caller keeps it alive and does not clear it
  return v;
}
} // namespace

void TFakeBrowser::FireStatusTextChange(const std::wstring &text) {
  std::vector<VARIANT> args{BstrArg(text)};
  Fire(DISPID_STATUSTEXTCHANGE, args);
  VariantClear(&args[0]);
}

void TFakeBrowser::FireTitleChange(const std::wstring &text) {
  std::vector<VARIANT> args{BstrArg(text)};
  Fire(DISPID_TITLECHANGE, args);
  VariantClear(&args[0]);
}

bool TFakeBrowser::FireBeforeNavigate2(const std::wstring &url, IDispatch *frame, long flags,
                                       const std::wstring &targetFrame, const std::wstring &headers) {
  VARIANT vUrl = BstrArg(url), vFlags = LongArg(flags), vTarget = BstrArg(targetFrame), vPost,
          vHeaders = BstrArg(headers);
  VariantInit(&vPost);
  VARIANT_BOOL cancel = VARIANT_FALSE;
  VARIANT vCancel;
  VariantInit(&vCancel);
  vCancel.vt = VT_BYREF | VT_BOOL;
  vCancel.pboolVal = &cancel;
  std::vector<VARIANT> args{DispatchArg(frame ? frame : static_cast<IWebBrowser2 *>(this)),
                            RefArg(&vUrl),
                            RefArg(&vFlags),
                            RefArg(&vTarget),
                            RefArg(&vPost),
                            RefArg(&vHeaders),
                            vCancel};
  Fire(DISPID_BEFORENAVIGATE2, args);
  for (VARIANT *v : {&vUrl, &vFlags, &vTarget, &vPost, &vHeaders})
    VariantClear(v);
  return cancel != VARIANT_FALSE;
}

void TFakeBrowser::FireUrlEvent(DISPID id, const std::wstring &url, IDispatch *frame) {
  VARIANT vUrl = BstrArg(url);
  std::vector<VARIANT> args{DispatchArg(frame ? frame : static_cast<IWebBrowser2 *>(this)), RefArg(&vUrl)};
  Fire(id, args);
  VariantClear(&vUrl);
}

void TFakeBrowser::FireNavigateComplete2(const std::wstring &url, IDispatch *frame) {
  FireUrlEvent(DISPID_NAVIGATECOMPLETE2, url, frame);
}

void TFakeBrowser::FireDocumentComplete(const std::wstring &url, IDispatch *frame) {
  FireUrlEvent(DISPID_DOCUMENTCOMPLETE, url, frame);
}

void TFakeBrowser::FireDownloadBegin() {
  std::vector<VARIANT> none;
  Fire(DISPID_DOWNLOADBEGIN, none);
}

void TFakeBrowser::FireDownloadComplete() {
  std::vector<VARIANT> none;
  Fire(DISPID_DOWNLOADCOMPLETE, none);
}

void TFakeBrowser::FireCommandStateChange(long command, bool enable) {
  VARIANT vEnable;
  VariantInit(&vEnable);
  vEnable.vt = VT_BOOL;
  vEnable.boolVal = enable ? VARIANT_TRUE : VARIANT_FALSE;
  std::vector<VARIANT> args{LongArg(command), vEnable};
  Fire(DISPID_COMMANDSTATECHANGE, args);
}

void TFakeBrowser::FireProgressChange(long progress, long progressMax) {
  std::vector<VARIANT> args{LongArg(progress), LongArg(progressMax)};
  Fire(DISPID_PROGRESSCHANGE, args);
}

void TFakeBrowser::FireQuit() {
  std::vector<VARIANT> none;
  Fire(DISPID_QUIT, none);
}

void TFakeBrowser::FireOnQuit() {
  std::vector<VARIANT> none;
  Fire(DISPID_ONQUIT, none);
}

// IWebBrowser2 -----------------------------------------------------------------

HRESULT TFakeBrowser::DoNavigate(const std::wstring &url) {
  FNavigations.push_back(url);
  if (!FLoadOnNavigate)
    return S_OK;
  // The sinks may release us while they handle the events.
  ComPtr<TFakeBrowser> keep(this);
  if (FireBeforeNavigate2(url))
    return S_OK;
  FireDownloadBegin();
  LoadFromPages(url);
  FireNavigateComplete2(url);
  FireDownloadComplete();
  FireDocumentComplete(url);
  return S_OK;
}

STDMETHODIMP TFakeBrowser::Navigate(BSTR url, VARIANT *, VARIANT *, VARIANT *, VARIANT *) {
  return DoNavigate(url ? url : L"");
}

STDMETHODIMP TFakeBrowser::Navigate2(VARIANT *url, VARIANT *, VARIANT *, VARIANT *, VARIANT *) {
  if (!url)
    return E_INVALIDARG;
  return DoNavigate(VariantText(*url));
}

STDMETHODIMP TFakeBrowser::Refresh() {
  ++FRefreshCalls;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::Stop() {
  ++FStopCalls;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::Quit() {
  ++FQuitCalls;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::get_Application(IDispatch **p) {
  return GiveInterface(static_cast<IDispatch *>(static_cast<IWebBrowser2 *>(this)), p);
}

STDMETHODIMP TFakeBrowser::get_Document(IDispatch **p) {
  if (!p)
    return E_POINTER;
  *p = nullptr;
  if (FDocument)
    return GiveInterface(static_cast<IDispatch *>(static_cast<IHTMLDocument2 *>(FDocument.Get())), p);
  return S_OK;
}

STDMETHODIMP TFakeBrowser::get_TopLevelContainer(VARIANT_BOOL *p) {
  if (!p)
    return E_POINTER;
  *p = FTopLevel ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::get_LocationName(BSTR *p) {
  if (!FDocument)
    return GiveBstr(p, FLocation);
  BSTR title = nullptr;
  FDocument->get_title(&title);
  std::wstring name(title ? title : L"");
  SysFreeString(title);
  return GiveBstr(p, name.empty() ? FDocument->Url() : name);
}

STDMETHODIMP TFakeBrowser::get_LocationURL(BSTR *p) { return GiveBstr(p, FDocument ? FDocument->Url() : FLocation); }

STDMETHODIMP TFakeBrowser::get_Busy(VARIANT_BOOL *p) {
  if (!p)
    return E_POINTER;
  *p = VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::get_ReadyState(READYSTATE *p) {
  if (!p)
    return E_POINTER;
  *p = FDocument ? READYSTATE_COMPLETE : READYSTATE_UNINITIALIZED;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::PutProperty(BSTR name, VARIANT value) {
  if (!name)
    return E_INVALIDARG;
  FProperties[name] = com::Variant::Copy(value);
  return S_OK;
}

STDMETHODIMP TFakeBrowser::GetProperty(BSTR name, VARIANT *value) {
  if (!name || !value)
    return E_POINTER;
  VariantInit(value);
  const auto it = FProperties.find(name);
  if (it == FProperties.end())
    return S_OK;
  return VariantCopy(value, const_cast<VARIANT *>(&it->second.Get()));
}

STDMETHODIMP TFakeBrowser::get_HWND(SHANDLE_PTR *p) {
  if (!p)
    return E_POINTER;
  *p = reinterpret_cast<SHANDLE_PTR>(FHwnd);
  return S_OK;
}

STDMETHODIMP TFakeBrowser::get_Visible(VARIANT_BOOL *p) {
  if (!p)
    return E_POINTER;
  *p = FVisible ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::put_Visible(VARIANT_BOOL v) {
  FVisible = v != VARIANT_FALSE;
  return S_OK;
}

// IConnectionPointContainer ------------------------------------------------------

STDMETHODIMP TFakeBrowser::EnumConnectionPoints(IEnumConnectionPoints **out) {
  if (out)
    *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TFakeBrowser::FindConnectionPoint(REFIID iid, IConnectionPoint **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (!IsEqualIID(iid, DIID_DWebBrowserEvents2))
    return CONNECT_E_NOCONNECTION;
  *out = com::MakeObject<TFakeConnectionPoint>(this).Detach();
  return S_OK;
}

// IDispatch ----------------------------------------------------------------------

namespace {
using B = TFakeBrowser;
HRESULT BrowserDocument(B &b, VARIANT *r) {
  IDispatch *d = nullptr;
  const HRESULT hr = b.get_Document(&d);
  return ResultDispatch(r, d, hr);
}
HRESULT BrowserNavigate(B &b, const TDispArgs &a, VARIANT *) {
  VARIANT url = a.Value(0);
  const HRESULT hr = b.Navigate2(&url, nullptr, nullptr, nullptr, nullptr);
  VariantClear(&url);
  return hr;
}
HRESULT BrowserPutProperty(B &b, const TDispArgs &a, VARIANT *) {
  BSTR name = SysAllocString(a.Str(0).c_str());
  VARIANT value = a.Value(1);
  const HRESULT hr = b.PutProperty(name, value);
  VariantClear(&value);
  SysFreeString(name);
  return hr;
}
HRESULT BrowserGetProperty(B &b, const TDispArgs &a, VARIANT *r) {
  BSTR name = SysAllocString(a.Str(0).c_str());
  const HRESULT hr = b.GetProperty(name, r);
  SysFreeString(name);
  return hr;
}
HRESULT BrowserBusy(B &b, VARIANT *r) {
  VARIANT_BOOL busy = VARIANT_FALSE;
  const HRESULT hr = b.get_Busy(&busy);
  return ResultBool(r, busy, hr);
}
HRESULT BrowserReadyState(B &b, VARIANT *r) {
  READYSTATE state = READYSTATE_UNINITIALIZED;
  const HRESULT hr = b.get_ReadyState(&state);
  return ResultLong(r, state, hr);
}
const TDispMember<B> KBrowserMembers[] = {
    {L"Document", 203, BrowserDocument, nullptr, nullptr},
    {L"LocationURL", 211, GetBstr<B, &B::get_LocationURL>, nullptr, nullptr},
    {L"LocationName", 210, GetBstr<B, &B::get_LocationName>, nullptr, nullptr},
    {L"Busy", 212, BrowserBusy, nullptr, nullptr},
    {L"ReadyState", DISPID_READYSTATE, BrowserReadyState, nullptr, nullptr},
    {L"Navigate", 104, nullptr, nullptr, BrowserNavigate},
    {L"Navigate2", 500, nullptr, nullptr, BrowserNavigate},
    {L"PutProperty", 301, nullptr, nullptr, BrowserPutProperty},
    {L"GetProperty", 302, nullptr, nullptr, BrowserGetProperty},
};
} // namespace

STDMETHODIMP TFakeBrowser::GetTypeInfoCount(UINT *count) {
  if (!count)
    return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP TFakeBrowser::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  return DispIdsOfNames(KBrowserMembers, names, count, ids);
}

STDMETHODIMP TFakeBrowser::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                                  UINT *) {
  return DispInvoke(KBrowserMembers, *this, id, flags, params, result);
}

// ---------------------------------------------------------------------------------

ComPtr<TFakeBrowser> MakeBrowser(const std::wstring &url, const std::wstring &html, const TPages &pages) {
  ComPtr<TFakeBrowser> browser = com::MakeObject<TFakeBrowser>(std::make_shared<const TPages>(pages));
  browser->Load(url, html);
  return browser;
}

void PlayCompletionScript(TFakeDocument *document, TFakeBrowser *browser) {
  if (document)
    if (TFakeElement *body = document->Body())
      body->SetAttribute(L"ter_complete", L"yes");
  if (browser) {
    browser->FireStatusTextChange(L"ter_end");
    browser->FireStatusTextChange(L"");
  }
}

} // namespace fakes
