// Case-insensitive prefix test in the user's locale (ASCII rules where the
// platform has no locale-aware comparison).
#pragma once

#include <string>

bool StartsWithIgnoreCase(const std::string &text, const std::string &prefix);
