#include <windows.h>

#include "LocaleCompare.h"

bool StartsWithIgnoreCase(const std::string &text, const std::string &prefix) {
  if (text.size() < prefix.size())
    return false;
  const int n = static_cast<int>(prefix.size());
  return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, text.data(), n, prefix.data(), n) == CSTR_EQUAL;
}
