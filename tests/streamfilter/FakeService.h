// A revision service played by the test: every call is logged, and a
// decision function gives each call's result code and verdict.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "filter/ZuRPCClient.h"

struct TServiceCall {
  std::string Kind; // "revise" or "note"
  std::string Url, Mime, Page, Link;
  int32_t Width = 0, Height = 0, Extra = 0;
  std::string Text() const;
};

struct TServiceAnswer {
  int32_t Result = 0;
  int32_t Verdict = 0;
};

class TFakeService {
public:
  static TFakeService &Instance();
  void Reset();
  TZuRPCEntryPoints Entries() const;

  std::function<TServiceAnswer(const TServiceCall &)> Decide;
  std::vector<TServiceCall> Calls;
  int32_t BindingResult = 0;
  int32_t Binding = 42;
  std::vector<std::string> CallTexts() const;
};
