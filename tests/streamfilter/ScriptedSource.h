// An inner protocol played from a script: each step hands out one chunk of
// bytes (at most what the reader has room for; the rest waits for the next
// read) and a result code. After the script, reads return S_FALSE.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>

#include "filter/FilterResults.h"

struct TScriptStep {
  std::string Bytes;
  int32_t Result = zu::kS_OK;
};

class TScript {
public:
  void Add(std::string bytes, int32_t result = zu::kS_OK) { FSteps.push_back({std::move(bytes), result}); }
  // Splits `page` into chunks of `chunk` bytes, the last one with S_FALSE.
  static TScript Chunked(const std::string& page, size_t chunk) {
    TScript s;
    for (size_t at = 0; at < page.size(); at += chunk) {
      const bool last = at + chunk >= page.size();
      s.Add(page.substr(at, chunk), last ? zu::kS_FALSE : zu::kS_OK);
    }
    if (page.empty())
      s.Add("", zu::kS_FALSE);
    return s;
  }

  int32_t Next(void* buffer, uint32_t size, uint32_t* got) {
    ++FReads;
    if (FSteps.empty()) {
      *got = 0;
      return zu::kS_FALSE;
    }
    TScriptStep& step = FSteps.front();
    const size_t n = std::min<size_t>(size, step.Bytes.size());
    std::memcpy(buffer, step.Bytes.data(), n);
    *got = static_cast<uint32_t>(n);
    if (n < step.Bytes.size()) {
      step.Bytes.erase(0, n);
      return zu::kS_OK;
    }
    const int32_t result = step.Result;
    FSteps.pop_front();
    return result;
  }

  int Reads() const { return FReads; }
  bool Done() const { return FSteps.empty(); }

private:
  std::deque<TScriptStep> FSteps;
  int FReads = 0;
};
