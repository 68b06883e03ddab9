#include <windows.h>

#include "LocaleCompare.h"

namespace {
bool StartsWith(const std::string &text, const std::string &prefix, DWORD flags) {
  if (text.size() < prefix.size())
    return false;
  const int n = static_cast<int>(prefix.size());
  return CompareStringA(LOCALE_USER_DEFAULT, flags, text.data(), n, prefix.data(), n) == CSTR_EQUAL;
}
} // namespace

bool StartsWithIgnoreCase(const std::string &text, const std::string &prefix) {
  return StartsWith(text, prefix, NORM_IGNORECASE);
}

bool StartsWithSameCase(const std::string &text, const std::string &prefix) { return StartsWith(text, prefix, 0); }
