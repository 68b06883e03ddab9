#include "FakeService.h"

namespace {

int32_t ZU_STDCALL FakeGetBinding(int32_t *binding) {
  *binding = TFakeService::Instance().Binding;
  return TFakeService::Instance().BindingResult;
}

TServiceAnswer Answer(const TServiceCall &call) {
  auto &s = TFakeService::Instance();
  s.Calls.push_back(call);
  return s.Decide ? s.Decide(call) : TServiceAnswer{};
}

int32_t ZU_STDCALL FakeRevise(int32_t, const char *url, const char *mime, const char *page, const char *link,
                              int32_t width, int32_t height, int32_t extra, int32_t *verdict) {
  const TServiceAnswer a = Answer({"revise", url, mime, page, link, width, height, extra});
  *verdict = a.Verdict;
  return a.Result;
}

int32_t ZU_STDCALL FakeNote(int32_t, const char *image, const char *link, int32_t *verdict) {
  const TServiceAnswer a = Answer({"note", image, "", "", link, 0, 0, 0});
  *verdict = a.Verdict;
  return a.Result;
}

} // namespace

std::string TServiceCall::Text() const {
  if (Kind == "note")
    return "note " + Url + " " + Link;
  return "revise " + Url + " " + Mime + " page=" + Page + " link=" + Link + " " + std::to_string(Width) + "x" +
         std::to_string(Height) + " " + std::to_string(Extra);
}

TFakeService &TFakeService::Instance() {
  static TFakeService s;
  return s;
}

void TFakeService::Reset() { *this = TFakeService(); }

TZuRPCEntryPoints TFakeService::Entries() const {
  TZuRPCEntryPoints e;
  e.GetBinding = &FakeGetBinding;
  e.ReviseResource = &FakeRevise;
  e.NoteResourceWithHref = &FakeNote;
  return e;
}

std::vector<std::string> TFakeService::CallTexts() const {
  std::vector<std::string> out;
  for (const auto &c : Calls)
    out.push_back(c.Text());
  return out;
}
