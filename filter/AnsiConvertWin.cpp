#include <windows.h>

#include <vector>

#include "AnsiConvert.h"

void AnsiFromUtf16Le(const uint8_t *data, size_t units, std::string &out) {
  out.clear();
  if (units == 0)
    return;
  // The page's bytes need not be aligned for WCHAR.
  std::vector<wchar_t> wide(units);
  for (size_t i = 0; i < units; ++i)
    wide[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(units), nullptr, 0, nullptr, nullptr);
  if (n <= 0)
    return;
  out.resize(static_cast<size_t>(n));
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(units), out.data(), n, nullptr, nullptr);
}

void Utf16LeFromAnsi(const char *data, size_t bytes, std::string &out) {
  out.clear();
  if (bytes == 0)
    return;
  const int n = MultiByteToWideChar(CP_ACP, 0, data, static_cast<int>(bytes), nullptr, 0);
  if (n <= 0)
    return;
  std::vector<wchar_t> wide(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, data, static_cast<int>(bytes), wide.data(), n);
  out.resize(2 * wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    out[2 * i] = static_cast<char>(wide[i] & 0xFF);
    out[2 * i + 1] = static_cast<char>((wide[i] >> 8) & 0xFF);
  }
}
