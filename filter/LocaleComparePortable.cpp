#include "LocaleCompare.h"

#include <string_view>

#include "TagParser.h"

bool StartsWithIgnoreCase(const std::string &text, const std::string &prefix) {
  return text.size() >= prefix.size() && SameTextAscii(std::string_view(text).substr(0, prefix.size()), prefix);
}

bool StartsWithSameCase(const std::string &text, const std::string &prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}
