#include "AdFilterBHOUnit.h"

#include <exdispid.h>

#include "LocaleCompare.h"
#include "Lib/IEFuncs.h"
#include "Lib/ZuWinInet.h"
#include "MSHTMLUtils.h"
#include "com/ClassFactory.h"
#include "com/HResult.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t CompleteAttribute[] = L"ter_complete";
constexpr wchar_t BlankUrl[] = L"about:blank";

// The revision service's verdicts.
constexpr int32_t VerdictMarker = 2;
constexpr int32_t VerdictPlaceholder = 3;

} // namespace

const char TAdFilterBHO::CompletionStatus[] = "ter_end";

HRESULT TAdFilterEvents::DoInvoke(DISPID dispid, DISPPARAMS *params) {
  if (dispid != DISPID_STATUSTEXTCHANGE)
    return E_NOTIMPL;
  if (!params || params->cArgs < 1 || !params->rgvarg)
    return DISP_E_BADPARAMCOUNT;
  const VARIANT &text = params->rgvarg[0];
  BSTR value = nullptr;
  if (text.vt == VT_BSTR)
    value = text.bstrVal;
  else if (text.vt == (VT_BYREF | VT_BSTR) && text.pbstrVal)
    value = *text.pbstrVal;
  else
    return DISP_E_TYPEMISMATCH;
  if (FOnStatusTextChange)
    FOnStatusTextChange(std::wstring(value ? value : L"", value ? SysStringLen(value) : 0));
  return S_OK;
}

TAdFilterBHO::TAdFilterBHO() : FEvents(NewEventHandler<TAdFilterEvents>()) {
  FEvents->SetOnStatusTextChange([this](const std::wstring &text) { OnStatusTextChange(text); });
}

TAdFilterBHO::TAdFilterBHO(const TZuRPCEntryPoints &entries) : TAdFilterBHO() { FEntries = entries; }

TAdFilterBHO::~TAdFilterBHO() {
  Unsite();
  // The browser may still hold the sink after a failed unadvise; it must not
  // call back into a destroyed object.
  FEvents->SetOnStatusTextChange(nullptr);
}

const com::TInterfaceEntry *TAdFilterBHO::Interfaces() {
  static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TAdFilterBHO, IObjectWithSite), ZU_INTERFACE_END};
  return table;
}

void TAdFilterBHO::Unsite() {
  FEvents->Disconnect();
  FBrowser.Reset();
}

STDMETHODIMP TAdFilterBHO::SetSite(IUnknown *site) {
  return com::ComGuard([&]() -> HRESULT {
    // A new site replaces the old one, whose events must stop.
    Unsite();
    if (!site)
      return S_OK;
    ComPtr<IWebBrowser2> browser;
    const HRESULT hr = site->QueryInterface(IID_PPV_ARGS(&browser));
    if (FAILED(hr) || !browser)
      return FAILED(hr) ? hr : E_NOINTERFACE;
    FBrowser = browser;
    FEvents->ConnectTo(FBrowser.Get(), DIID_DWebBrowserEvents2, false);
    return S_OK;
  });
}

STDMETHODIMP TAdFilterBHO::GetSite(REFIID iid, void **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (!FBrowser)
    return E_FAIL;
  return FBrowser->QueryInterface(iid, out);
}

void TAdFilterBHO::OnStatusTextChange(const std::wstring &text) {
  try {
    if (!StartsWithSameCase(AnsiText(text), CompletionStatus))
      return;
    // The pass may run scripts of the page; neither this object nor the
    // browser may go away under it.
    ComPtr<IObjectWithSite> self(this);
    ComPtr<IWebBrowser2> browser = FBrowser;
    if (!browser)
      return;
    ComPtr<IDispatch> dispatch;
    ComPtr<IHTMLDocument2> document;
    if (FAILED(browser->get_Document(&dispatch)) || !dispatch || FAILED(dispatch.As(&document)) || !document)
      return;
    ProcessDocument(FindCompletedDocument(document.Get()).Get());
  } catch (...) {
    // The page is left as it is.
  }
}

ComPtr<IHTMLDocument2> TAdFilterBHO::FindCompletedDocument(IHTMLDocument2 *document) {
  FCompletedDoc.Reset();
  ComPtr<IHTMLDocument2> found;
  try {
    TDocEnumerator enumerator;
    enumerator.SetCallback(
        [this](TDocEnumerator &walking, IHTMLDocument2 *visited) { return CheckDocument(walking, visited); });
    if (!enumerator.Run(document))
      found = FCompletedDoc;
  } catch (...) {
    // A failure while looking ends the search with nothing found.
    found.Reset();
  }
  FCompletedDoc.Reset();
  return found;
}

bool TAdFilterBHO::CheckDocument(TDocEnumerator &, IHTMLDocument2 *document) {
  ComPtr<IHTMLElement> body;
  if (!document || FAILED(document->get_body(&body)) || !body)
    return true;
  if (_wcsicmp(ReadBstr(document, &IHTMLDocument2::get_URL).c_str(), BlankUrl) == 0)
    return true;
  std::wstring mark;
  if (!GetElementAttribute(body.Get(), CompleteAttribute, mark) || mark != L"yes")
    return true;
  // Marked as handled first, so each completed document is processed once.
  SetElementAttribute(body.Get(), CompleteAttribute, L"ok");
  FCompletedDoc = document;
  return false;
}

std::unique_ptr<TZuRPCClient> TAdFilterBHO::NewClient() const {
  return FEntries ? std::make_unique<TZuRPCClient>(*FEntries) : std::make_unique<TZuRPCClient>();
}

void TAdFilterBHO::ProcessDocument(IHTMLDocument2 *document) {
  if (!document)
    return;
  const std::unique_ptr<TZuRPCClient> client = NewClient();
  client->Connect();
  if (!client->Connected || client->LastResult != 0)
    return;
  try {
    const ComPtr<IHTMLElementCollection> images = DocumentTags(document, L"img");
    long count = 0;
    com::ThrowIfFailed(images->get_length(&count));
    const std::string pageUrl = AnsiText(ReadBstr(document, &IHTMLDocument2::get_URL));
    // From the last image to the first: removing one leaves the indexes of
    // those still to come in place.
    for (long i = count - 1; i >= 0; --i) {
      const ComPtr<IDispatch> item = CollectionItem(images.Get(), i);
      if (!item)
        continue;
      ComPtr<IHTMLElement> element;
      ComPtr<IHTMLImgElement> image;
      com::ThrowIfFailed(item.As(&element));
      com::ThrowIfFailed(item.As(&image));
      const std::string src = AnsiText(ReadBstr(image.Get(), &IHTMLImgElement::get_src));
      if (src.empty())
        continue;
      long width = 0, height = 0;
      com::ThrowIfFailed(image->get_width(&width));
      com::ThrowIfFailed(image->get_height(&height));
      int32_t verdict = 0;
      if (client->ReviseResource(CombineUrl(pageUrl, src), "image/*", pageUrl, std::string(), width, height, -1,
                                 verdict) &&
          verdict != 0) {
        if (verdict == VerdictPlaceholder) {
          // The image keeps its box and shows no picture.
          WriteBstr(image.Get(), &IHTMLImgElement::put_alt, L"AD");
          WriteBstr(image.Get(), &IHTMLImgElement::put_src, L"");
        } else {
          WriteBstr(element.Get(), &IHTMLElement::put_outerHTML, verdict == VerdictMarker ? L"[AD]" : L"");
        }
      }
      if (client->LastResult != 0)
        break;
    }
  } catch (...) {
    // The pass ends; images changed so far stay changed.
  }
}

HRESULT CreateAdFilterBHO(REFIID iid, void **out) { return com::CreateInstanceOf<TAdFilterBHO>(iid, out); }
