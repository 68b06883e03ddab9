// Prefix tests in the user's locale (ASCII rules where the platform has no
// locale-aware comparison). A text shorter than the prefix never matches.
#pragma once

#include <string>

bool StartsWithIgnoreCase(const std::string &text, const std::string &prefix);
bool StartsWithSameCase(const std::string &text, const std::string &prefix);
