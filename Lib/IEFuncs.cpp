#include "IEFuncs.h"

#include <exdisp.h>
#include <oleidl.h>
#include <wrl/client.h>

#include "Lib/ZuWinInet.h"
#include "com/Bstr.h"
#include "com/HResult.h"
#include "com/Variant.h"

using Microsoft::WRL::ComPtr;

// TDocEnumerator -------------------------------------------------------------

void TDocEnumerator::SetCallback(DocumentCallback callback) { FCallback = std::move(callback); }

bool TDocEnumerator::Run(IHTMLDocument2 *document) {
  if (!FCallback)
    return false;
  return Walk(document);
}

bool TDocEnumerator::Walk(IHTMLDocument2 *document) {
  if (!FCallback(*this, document))
    return false;
  if (!document)
    return true;
  try {
    ComPtr<IOleContainer> container;
    if (FAILED(document->QueryInterface(IID_IOleContainer, reinterpret_cast<void **>(container.GetAddressOf()))) ||
        !container)
      return true;
    ComPtr<IEnumUnknown> objects;
    if (FAILED(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.GetAddressOf())) || !objects)
      return true;
    for (;;) {
      ComPtr<IUnknown> object;
      ULONG fetched = 0;
      const HRESULT hr = objects->Next(1, object.GetAddressOf(), &fetched);
      if (FAILED(hr))
        return false;
      if (hr != S_OK || fetched == 0)
        break;
      try {
        // Plug-ins and controls are not browsers and have no document to walk.
        ComPtr<IWebBrowser2> browser;
        if (!object || FAILED(object.As(&browser)) || !browser)
          continue;
        ComPtr<IDispatch> dispatch;
        ComPtr<IHTMLDocument2> frame;
        if (SUCCEEDED(browser->get_Document(dispatch.GetAddressOf())) && dispatch)
          dispatch.As(&frame);
        if (frame && !Walk(frame.Get()))
          return false;
      } catch (...) {
        // A frame that fails, its callback included, does not end the walk.
      }
    }
  } catch (...) {
    return false;
  }
  return true;
}

// Attributes ------------------------------------------------------------------

bool GetElementAttribute(IHTMLElement *element, const std::wstring &name, std::wstring &value) {
  value.clear();
  if (!element)
    throw com::TComError(E_POINTER);
  com::Bstr attribute(name);
  com::Variant result;
  com::ThrowIfFailed(element->getAttribute(attribute.Get(), 0, result.Receive()));
  if (result.Type() == VT_EMPTY || result.Type() == VT_NULL)
    return false;
  if (result.Type() == VT_BSTR) {
    value.assign(result.Get().bstrVal ? result.Get().bstrVal : L"", SysStringLen(result.Get().bstrVal));
  } else {
    com::Variant text;
    com::ThrowIfFailed(VariantChangeType(text.Receive(), const_cast<VARIANT *>(&result.Get()), 0, VT_BSTR));
    value.assign(text.Get().bstrVal ? text.Get().bstrVal : L"", SysStringLen(text.Get().bstrVal));
  }
  return !value.empty();
}

void SetElementAttribute(IHTMLElement *element, const std::wstring &name, const std::wstring &value) {
  if (!element)
    throw com::TComError(E_POINTER);
  com::Bstr attribute(name);
  com::Variant text(value);
  com::ThrowIfFailed(element->setAttribute(attribute.Get(), text.Get(), 0));
}

// TElemEnumerator -------------------------------------------------------------

void TElemEnumerator::SetCallback(ElementCallback callback) { FOnElement = std::move(callback); }

bool TElemEnumerator::Enumerate(IHTMLDocument2 *document, REFIID iid) {
  if (!FOnElement)
    return false;
  FIID = iid;
  try {
    TDocEnumerator documents;
    documents.SetCallback([this](TDocEnumerator &e, IHTMLDocument2 *d) { return VisitDocument(e, d); });
    return documents.Run(document);
  } catch (...) {
    return false;
  }
}

bool TElemEnumerator::VisitDocument(TDocEnumerator &enumerator, IHTMLDocument2 *document) {
  if (!document)
    return false;
  try {
    ComPtr<IHTMLElementCollection> all;
    com::ThrowIfFailed(document->get_all(all.GetAddressOf()));
    if (!all)
      return false;
    long count = 0;
    com::ThrowIfFailed(all->get_length(&count));
    for (long i = 0; i < count; ++i) {
      // Read again for every item: a callback may change the document.
      com::ThrowIfFailed(document->get_all(all.ReleaseAndGetAddressOf()));
      if (!all)
        return false;
      VARIANT index, none;
      VariantInit(&index);
      VariantInit(&none);
      index.vt = VT_I4;
      index.lVal = i;
      ComPtr<IDispatch> item;
      com::ThrowIfFailed(all->item(index, none, item.GetAddressOf()));
      ComPtr<IUnknown> element;
      if (!item || FAILED(item->QueryInterface(FIID, reinterpret_cast<void **>(element.GetAddressOf()))) || !element)
        continue;
      if (!FOnElement(enumerator, element.Get()))
        return false;
    }
    return true;
  } catch (...) {
    return false;
  }
}

// TImgCollector ------------------------------------------------------------------

namespace {

std::string Ansi(const std::wstring &text) {
  if (text.empty())
    return std::string();
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string &text) {
  if (text.empty())
    return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// URLs are ordered by their code units after case folding: a strict order
// that does not depend on the user's locale.
int CompareUrls(const std::wstring &a, const std::wstring &b) {
  const int r = CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE);
  return r - CSTR_EQUAL;
}

// The element's own document's URL combined with `url`.
std::wstring AbsoluteUrl(IUnknown *element, const std::wstring &url) {
  ComPtr<IHTMLElement> html;
  com::ThrowIfFailed(element->QueryInterface(IID_IHTMLElement, reinterpret_cast<void **>(html.GetAddressOf())));
  ComPtr<IDispatch> dispatch;
  com::ThrowIfFailed(html->get_document(dispatch.GetAddressOf()));
  if (!dispatch)
    throw com::TComError(E_FAIL);
  ComPtr<IHTMLDocument2> document;
  com::ThrowIfFailed(dispatch.As(&document));
  com::Bstr base;
  com::ThrowIfFailed(document->get_URL(base.Receive()));
  return Wide(CombineUrl(Ansi(base.Str()), Ansi(url)));
}

} // namespace

bool TImgCollector::Find(const std::wstring &url, size_t &at) const {
  size_t low = 0, high = FURLs.size();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const int c = CompareUrls(FURLs[mid], url);
    if (c == 0) {
      at = mid;
      return true;
    }
    if (c < 0)
      low = mid + 1;
    else
      high = mid;
  }
  at = low;
  return false;
}

void TImgCollector::Insert(const std::wstring &url, const std::wstring &caption) {
  size_t at = 0;
  if (Find(url, at))
    return;
  FURLs.insert(FURLs.begin() + static_cast<std::ptrdiff_t>(at), url);
  FCaptions.insert(FCaptions.begin() + static_cast<std::ptrdiff_t>(at), caption);
}

bool TImgCollector::VisitImage(TDocEnumerator &, IUnknown *element) {
  try {
    auto *image = static_cast<IHTMLImgElement *>(element);
    com::Bstr src;
    com::ThrowIfFailed(image->get_src(src.Receive()));
    size_t at = 0;
    if (Find(src.Str(), at))
      return true;
    const std::wstring url = AbsoluteUrl(element, src.Str());
    com::Bstr caption;
    com::ThrowIfFailed(image->get_alt(caption.Receive()));
    if (caption.Empty()) {
      ComPtr<IHTMLElement> html;
      com::ThrowIfFailed(image->QueryInterface(IID_IHTMLElement, reinterpret_cast<void **>(html.GetAddressOf())));
      com::ThrowIfFailed(html->get_title(caption.Receive()));
    }
    Insert(url, caption.Str());
  } catch (...) {
    // One image that cannot be read leaves the others.
  }
  return true;
}

template <class TElement> bool TImgCollector::VisitBackground(TDocEnumerator &, IUnknown *element) {
  try {
    com::Bstr background;
    com::ThrowIfFailed(static_cast<TElement *>(element)->get_background(background.Receive()));
    size_t at = 0;
    if (background.Empty() || Find(background.Str(), at))
      return true;
    Insert(AbsoluteUrl(element, background.Str()), std::wstring());
  } catch (...) {
  }
  return true;
}

bool TImgCollector::Collect(IHTMLDocument2 *document) {
  FURLs.clear();
  FCaptions.clear();
  TElemEnumerator elements;
  using TVisit = bool (TImgCollector::*)(TDocEnumerator &, IUnknown *);
  const struct {
    TVisit Visit;
    const IID *Iid;
  } passes[] = {
      {&TImgCollector::VisitImage, &IID_IHTMLImgElement},
      {&TImgCollector::VisitBackground<IHTMLBodyElement>, &IID_IHTMLBodyElement},
      {&TImgCollector::VisitBackground<IHTMLTable>, &IID_IHTMLTable},
      {&TImgCollector::VisitBackground<IHTMLTableCell>, &IID_IHTMLTableCell},
  };
  bool result = false;
  for (const auto &pass : passes) {
    const TVisit visit = pass.Visit;
    elements.SetCallback([this, visit](TDocEnumerator &e, IUnknown *element) { return (this->*visit)(e, element); });
    result = elements.Enumerate(document, *pass.Iid);
    if (!result)
      break;
  }
  return result;
}
