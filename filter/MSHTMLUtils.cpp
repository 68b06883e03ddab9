#include "MSHTMLUtils.h"

#include "AnsiConvert.h"
#include "com/Variant.h"

using Microsoft::WRL::ComPtr;

ComPtr<IHTMLElementCollection> DocumentTags(IHTMLDocument2 *document, const wchar_t *tag) {
  if (!document)
    throw com::TComError(E_POINTER);
  ComPtr<IHTMLElementCollection> all;
  com::ThrowIfFailed(document->get_all(&all));
  if (!all)
    throw com::TComError(E_POINTER);
  ComPtr<IDispatch> tagged;
  com::ThrowIfFailed(all->tags(com::Variant(std::wstring_view(tag)).Get(), &tagged));
  if (!tagged)
    throw com::TComError(E_POINTER);
  ComPtr<IHTMLElementCollection> collection;
  com::ThrowIfFailed(tagged.As(&collection));
  return collection;
}

ComPtr<IDispatch> CollectionItem(IHTMLElementCollection *collection, long index) {
  if (!collection)
    throw com::TComError(E_POINTER);
  ComPtr<IDispatch> item;
  com::ThrowIfFailed(collection->item(com::Variant(index).Get(), com::Variant(0L).Get(), &item));
  return item;
}

std::string AnsiText(const std::wstring &text) {
  std::string out;
  AnsiFromUtf16Le(reinterpret_cast<const uint8_t *>(text.data()), text.size(), out);
  return out;
}
