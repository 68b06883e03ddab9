// The one place where UTF-16 page text meets the system's 8-bit code page.
// Windows builds use the ANSI code page; portable builds map ASCII to itself
// and everything else to '?', which is what a code page without the character
// gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// `units` little-endian UTF-16 code units at `data` (any alignment).
void AnsiFromUtf16Le(const uint8_t *data, size_t units, std::string &out);
// 8-bit text in the system code page to little-endian UTF-16 bytes, no BOM.
void Utf16LeFromAnsi(const char *data, size_t bytes, std::string &out);
