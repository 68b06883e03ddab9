// Small reads of the browser's document objects that raise com::TComError on
// failure, so a pass over a document can give up at one place.
#pragma once

#include <windows.h>
#include <mshtml.h>
#include <wrl/client.h>

#include <string>

#include "com/Bstr.h"
#include "com/HResult.h"

// A string property; a null string reads as empty.
template <class T> std::wstring ReadBstr(T *object, HRESULT (STDMETHODCALLTYPE T::*getter)(BSTR *)) {
  if (!object)
    throw com::TComError(E_POINTER);
  com::Bstr value;
  com::ThrowIfFailed((object->*getter)(value.Receive()));
  return value.Str();
}

// Writes a string property.
template <class T> void WriteBstr(T *object, HRESULT (STDMETHODCALLTYPE T::*setter)(BSTR), const std::wstring &text) {
  if (!object)
    throw com::TComError(E_POINTER);
  com::Bstr value(text);
  com::ThrowIfFailed((object->*setter)(value.Get()));
}

// The document's elements with tag name `tag`, as a live collection.
Microsoft::WRL::ComPtr<IHTMLElementCollection> DocumentTags(IHTMLDocument2 *document, const wchar_t *tag);

// The item at `index` of a collection; null when there is none.
Microsoft::WRL::ComPtr<IDispatch> CollectionItem(IHTMLElementCollection *collection, long index);

// UTF-16 text in the system code page.
std::string AnsiText(const std::wstring &text);
