#include <windows.h>
#include <wininet.h>

#include <cwctype>
#include <string_view>
#include <vector>

#include "FakeInternal.h"

namespace fakes {

std::wstring Upper(std::wstring s) {
  for (wchar_t &c : s)
    if (c >= L'a' && c <= L'z')
      c = static_cast<wchar_t>(c - L'a' + L'A');
  return s;
}

std::wstring Lower(std::wstring s) {
  for (wchar_t &c : s)
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c - L'A' + L'a');
  return s;
}

bool SameText(const std::wstring &a, const std::wstring &b) { return Upper(a) == Upper(b); }

std::wstring Widen(const std::string &ansi) {
  if (ansi.empty())
    return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
  return w;
}

namespace {
struct TEntity {
  const wchar_t *Name;
  wchar_t Char;
};
const TEntity KEntities[] = {{L"amp", L'&'},  {L"lt", L'<'},    {L"gt", L'>'},
                             {L"quot", L'"'}, {L"apos", L'\''}, {L"nbsp", L'\u00A0'}};

// Writes the characters of `escaped` as their entities.
std::wstring EncodeEntities(const std::wstring &s, std::wstring_view escaped) {
  std::wstring out;
  for (wchar_t c : s) {
    if (escaped.find(c) == std::wstring_view::npos) {
      out += c;
      continue;
    }
    for (const TEntity &e : KEntities)
      if (e.Char == c) {
        out += L'&';
        out += e.Name;
        out += L';';
        break;
      }
  }
  return out;
}
} // namespace

std::wstring DecodeEntities(const std::wstring &s) {
  std::wstring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != L'&') {
      out += s[i];
      continue;
    }
    const size_t semi = s.find(L';', i + 1);
    if (semi == std::wstring::npos || semi - i > 10) {
      out += s[i];
      continue;
    }
    const std::wstring name = s.substr(i + 1, semi - i - 1);
    bool done = false;
    if (name.size() > 1 && name[0] == L'#') {
      const bool hex = name[1] == L'x' || name[1] == L'X';
      wchar_t *end = nullptr;
      const std::wstring digits = name.substr(hex ? 2 : 1);
      const unsigned long code = wcstoul(digits.c_str(), &end, hex ? 16 : 10);
      if (!digits.empty() && end && *end == L'\0' && code > 0 && code < 0x10000) {
        out += static_cast<wchar_t>(code);
        done = true;
      }
    } else {
      for (const TEntity &e : KEntities)
        if (name == e.Name) {
          out += e.Char;
          done = true;
          break;
        }
    }
    if (done)
      i = semi;
    else
      out += s[i];
  }
  return out;
}

std::wstring EncodeText(const std::wstring &s) { return EncodeEntities(s, L"&<>\u00A0"); }

std::wstring EncodeAttribute(const std::wstring &s) { return EncodeEntities(s, L"&\""); }

std::wstring CombineUrlW(const std::wstring &base, const std::wstring &url) {
  if (url.empty())
    return base;
  DWORD length = 0;
  InternetCombineUrlW(base.c_str(), url.c_str(), nullptr, &length, 0);
  if (length == 0)
    return url;
  std::vector<wchar_t> buffer(length + 1, L'\0');
  if (!InternetCombineUrlW(base.c_str(), url.c_str(), buffer.data(), &length, 0))
    return url;
  return std::wstring(buffer.data());
}

bool IsVoidTag(const std::wstring &t) {
  static const wchar_t *const tags[] = {L"AREA",  L"BASE",  L"BASEFONT", L"BGSOUND", L"BR",    L"COL",
                                        L"EMBED", L"FRAME", L"HR",       L"IMG",     L"INPUT", L"ISINDEX",
                                        L"LINK",  L"META",  L"PARAM",    L"SOURCE",  L"TRACK", L"WBR"};
  for (const wchar_t *v : tags)
    if (t == v)
      return true;
  return false;
}

bool IsRawTextTag(const std::wstring &t) {
  return t == L"SCRIPT" || t == L"STYLE" || t == L"XMP" || IsEscapedRawTextTag(t);
}

bool IsEscapedRawTextTag(const std::wstring &t) { return t == L"TITLE" || t == L"TEXTAREA"; }

HRESULT GiveBstr(BSTR *out, const std::wstring &value) {
  if (!out)
    return E_POINTER;
  *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

} // namespace fakes
