// Helpers shared by the fakes' sources; not for tests.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace fakes {

class TFakeElement;
struct TNode;

std::wstring Upper(std::wstring s);
std::wstring Lower(std::wstring s);
bool SameText(const std::wstring &a, const std::wstring &b);
std::wstring Widen(const std::string &ansi);
std::wstring DecodeEntities(const std::wstring &s);
std::wstring EncodeText(const std::wstring &s);
std::wstring EncodeAttribute(const std::wstring &s);
// `url` made absolute against `base`; `url` itself when they cannot be combined.
std::wstring CombineUrlW(const std::wstring &base, const std::wstring &url);
bool IsVoidTag(const std::wstring &upperTag);
// Elements whose content is text up to their end tag.
bool IsRawTextTag(const std::wstring &upperTag);
bool IsEscapedRawTextTag(const std::wstring &upperTag); // entities still decoded

// Hands out an allocated BSTR, S_OK; E_POINTER for a null slot.
HRESULT GiveBstr(BSTR *out, const std::wstring &value);
template <class T, class I> HRESULT GiveInterface(T *object, I **out) {
  if (!out)
    return E_POINTER;
  *out = object;
  if (object)
    object->AddRef();
  return S_OK;
}

} // namespace fakes
