// Runs a page through a filter core the way the reader does.
#pragma once

#include <string>
#include <vector>

#include "ScriptedSource.h"
#include "filter/ZuHTMLFilterCore.h"

class TScriptSource : public IZuRawSource {
public:
  explicit TScriptSource(TScript script) : FScript(std::move(script)) {}
  int32_t ReadRaw(void *buffer, uint32_t size, uint32_t *got) override { return FScript.Next(buffer, size, got); }
  TScript FScript;
};

inline std::string RunThrough(TZuHTMLFilterCore &core, const std::string &page, size_t chunk = 8192,
                              uint32_t readSize = 4096) {
  TScriptSource source(TScript::Chunked(page, chunk));
  std::string out;
  std::vector<char> buf(readSize);
  for (int i = 0; i < 10000000; ++i) {
    uint32_t got = 0;
    const int32_t hr = core.Read(&source, buf.data(), readSize, &got);
    out.append(buf.data(), got);
    if (hr != zu::kS_OK && hr != zu::kE_PENDING)
      break;
  }
  return out;
}

inline std::string Utf16(const std::string &s) {
  std::string w;
  for (char c : s) {
    w += c;
    w += '\0';
  }
  return w;
}
