// A browser for tests: IWebBrowser2 over a fake document, with the
// DWebBrowserEvents2 connection point.
//
// Events reach advised sinks the way the browser sends them (documented):
// IDispatch::Invoke with DISPATCH_METHOD and IID_NULL, the arguments in
// reverse order in rgvarg (rgvarg[0] is the last), the URL and the other
// in-out arguments of BeforeNavigate2, NavigateComplete2 and
// DocumentComplete as VT_BYREF|VT_VARIANT pointing at the value, Cancel as
// VT_BYREF|VT_BOOL that is read back after the call, no named arguments, no
// result variant. Sinks are called in the order they were advised.
// Assumptions: Advise accepts a sink that answers DIID_DWebBrowserEvents2 or
// else IDispatch; GetProperty of a name never put gives VT_EMPTY with S_OK;
// get_Document gives S_OK and null while no document is loaded (a browser
// that has not navigated does so); the locale passed is LOCALE_USER_DEFAULT.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <ocidl.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FakeDom.h"

namespace fakes {

class TFakeBrowser : public TFakeObject<TFakeBrowser, TStub<IWebBrowser2>, IConnectionPointContainer> {
public:
  static const com::TInterfaceEntry *Interfaces();

  // A frame's browser is not top-level; `depth` counts the frames above it.
  explicit TFakeBrowser(std::shared_ptr<const TPages> pages = nullptr, bool topLevel = true, int depth = 0);
  ~TFakeBrowser() override;

  // The document shown now (null before any).
  TFakeDocument *Document() const { return FDocument.Get(); }
  void SetDocument(ComPtr<TFakeDocument> document);
  // Shows a document made from `html` at `url`, its frames served by the
  // browser's pages.
  TFakeDocument *Load(const std::wstring &url, const std::wstring &html);
  // Shows the page at `url` from the pages, about:blank when there is none.
  TFakeDocument *LoadFromPages(const std::wstring &url);
  void SetPages(const TPages &pages);
  const std::shared_ptr<const TPages> &Pages() const { return FPages; }

  // When set, Navigate and Navigate2 play a whole navigation: BeforeNavigate2
  // (a sink may cancel), DownloadBegin, the page loaded from the pages,
  // NavigateComplete2, DownloadComplete, DocumentComplete. Otherwise they are
  // only recorded.
  void SetLoadOnNavigate(bool load) { FLoadOnNavigate = load; }
  // Every URL Navigate or Navigate2 was called with, in order.
  const std::vector<std::wstring> &Navigations() const { return FNavigations; }
  const std::map<std::wstring, com::Variant> &Properties() const { return FProperties; }
  void SetHwnd(HWND hwnd) { FHwnd = hwnd; }
  int QuitCalls() const { return FQuitCalls; }
  int StopCalls() const { return FStopCalls; }
  int RefreshCalls() const { return FRefreshCalls; }

  // Sinks connected now, and Advise calls that ever succeeded.
  size_t AdviseCount() const { return FSinks.size(); }
  int TotalAdvises() const { return FTotalAdvises; }

  // Fires one event to every sink: `args` in written order (they are put into
  // rgvarg reversed). Returns the last failure of a sink's Invoke, or S_OK.
  HRESULT Fire(DISPID id, std::vector<VARIANT> &args);
  void FireStatusTextChange(const std::wstring &text);
  void FireTitleChange(const std::wstring &text);
  // Returns true when a sink cancelled. `frame` is the browser navigating
  // (null: this one).
  bool FireBeforeNavigate2(const std::wstring &url, IDispatch *frame = nullptr, long flags = 0,
                           const std::wstring &targetFrame = std::wstring(),
                           const std::wstring &headers = std::wstring());
  void FireNavigateComplete2(const std::wstring &url, IDispatch *frame = nullptr);
  void FireDocumentComplete(const std::wstring &url, IDispatch *frame = nullptr);
  void FireDownloadBegin();
  void FireDownloadComplete();
  void FireCommandStateChange(long command, bool enable);
  void FireProgressChange(long progress, long progressMax);
  void FireQuit();   // DISPID 103
  void FireOnQuit(); // DISPID 253

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override;

  // IWebBrowser, IWebBrowserApp, IWebBrowser2
  STDMETHODIMP Navigate(BSTR url, VARIANT *flags, VARIANT *target, VARIANT *postData, VARIANT *headers) override;
  STDMETHODIMP Refresh() override;
  STDMETHODIMP Stop() override;
  STDMETHODIMP get_Application(IDispatch **p) override;
  STDMETHODIMP get_Document(IDispatch **p) override;
  STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL *p) override;
  STDMETHODIMP get_LocationName(BSTR *p) override;
  STDMETHODIMP get_LocationURL(BSTR *p) override;
  STDMETHODIMP get_Busy(VARIANT_BOOL *p) override;
  STDMETHODIMP Quit() override;
  STDMETHODIMP PutProperty(BSTR name, VARIANT value) override;
  STDMETHODIMP GetProperty(BSTR name, VARIANT *value) override;
  STDMETHODIMP get_HWND(SHANDLE_PTR *p) override;
  STDMETHODIMP get_Visible(VARIANT_BOOL *p) override;
  STDMETHODIMP put_Visible(VARIANT_BOOL v) override;
  STDMETHODIMP Navigate2(VARIANT *url, VARIANT *flags, VARIANT *target, VARIANT *postData, VARIANT *headers) override;
  STDMETHODIMP get_ReadyState(READYSTATE *p) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **out) override;
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint **out) override;

private:
  friend class TFakeConnectionPoint;
  struct TSink {
    DWORD Cookie;
    ComPtr<IDispatch> Sink;
  };
  HRESULT DoNavigate(const std::wstring &url);
  void FireUrlEvent(DISPID id, const std::wstring &url, IDispatch *frame);

  std::shared_ptr<const TPages> FPages;
  bool FTopLevel;
  int FDepth;
  ComPtr<TFakeDocument> FDocument;
  std::wstring FLocation; // when no document says otherwise
  bool FLoadOnNavigate = false;
  bool FVisible = true;
  HWND FHwnd = nullptr;
  std::vector<std::wstring> FNavigations;
  std::map<std::wstring, com::Variant> FProperties;
  std::vector<TSink> FSinks;
  DWORD FNextCookie = 1;
  int FTotalAdvises = 0;
  int FQuitCalls = 0, FStopCalls = 0, FRefreshCalls = 0;
};

// A browser that shows `html` at `url`; `pages` serves frames and navigation.
ComPtr<TFakeBrowser> MakeBrowser(const std::wstring &url, const std::wstring &html, const TPages &pages = {});

// What the completion script appended to filtered pages does when it runs in
// `document`: marks the body with ter_complete = yes, then flashes the status
// text "ter_end" (and "") on `browser`, the top-level browser.
void PlayCompletionScript(TFakeDocument *document, TFakeBrowser *browser);

} // namespace fakes
