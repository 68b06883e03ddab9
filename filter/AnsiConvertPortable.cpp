#include "AnsiConvert.h"

void AnsiFromUtf16Le(const uint8_t *data, size_t units, std::string &out) {
  out.resize(units);
  for (size_t i = 0; i < units; ++i) {
    const unsigned u = data[2 * i] | (data[2 * i + 1] << 8);
    out[i] = u < 0x80 ? static_cast<char>(u) : '?';
  }
}

void Utf16LeFromAnsi(const char *data, size_t bytes, std::string &out) {
  out.resize(2 * bytes);
  for (size_t i = 0; i < bytes; ++i) {
    const auto c = static_cast<unsigned char>(data[i]);
    out[2 * i] = static_cast<char>(c < 0x80 ? c : '?');
    out[2 * i + 1] = 0;
  }
}
