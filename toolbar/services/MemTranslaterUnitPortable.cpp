// Outside Windows there is no user locale; letters fold as in the C locale.
#include "MemTranslaterUnit.h"

#include <algorithm>
#include <cwctype>

namespace kwo {

int CompareTextLocale(std::u16string_view a, std::u16string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = std::towlower(static_cast<wint_t>(a[i]));
    const auto y = std::towlower(static_cast<wint_t>(b[i]));
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace kwo
