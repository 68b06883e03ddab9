// The ad-rewriting filter over any page, with a revision service whose
// verdicts and failures come from the input and input-chosen chunk and reader
// sizes: no crash, no leak, and when every verdict is "keep" the page comes
// out as the signalling filter alone would give it (the page, plus the
// completion script when it has a body).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/AdsHTMLSignaller.h"
#include "filter/FilterResults.h"
#include "filter/MimeFilter.h"

namespace {

struct TScriptedService {
  const uint8_t *Answers = nullptr;
  size_t Count = 0, At = 0;
  bool AllKeep = false;
  bool Failures = false;

  int32_t Next(int32_t *verdict) {
    const uint8_t b = Count ? Answers[At++ % Count] : 0;
    *verdict = AllKeep ? 0 : b % 5;
    return Failures && (b & 0x80) ? 1 : 0;
  }
} GService;

int32_t ZU_STDCALL FuzzGetBinding(int32_t *binding) {
  *binding = 1;
  return 0;
}
int32_t ZU_STDCALL FuzzRevise(int32_t, const char *url, const char *mime, const char *page, const char *link, int32_t,
                              int32_t, int32_t, int32_t *verdict) {
  if (!url || !mime || !page || !link)
    std::abort();
  return GService.Next(verdict);
}
int32_t ZU_STDCALL FuzzNote(int32_t, const char *image, const char *link, int32_t *verdict) {
  if (!image || !link)
    std::abort();
  return GService.Next(verdict);
}

class TChunks : public IZuRawSource {
public:
  TChunks(const uint8_t *data, size_t size, size_t chunk) : FData(data), FSize(size), FChunk(chunk) {}
  int32_t ReadRaw(void *buffer, uint32_t size, uint32_t *got) override {
    const size_t n = std::min<size_t>({FChunk, size, FSize - FAt});
    std::memcpy(buffer, FData + FAt, n);
    FAt += n;
    *got = static_cast<uint32_t>(n);
    return FAt == FSize ? zu::kS_FALSE : zu::kS_OK;
  }

private:
  const uint8_t *FData;
  size_t FSize, FAt = 0, FChunk;
};

std::string Pull(TZuHTMLFilterCore &core, const uint8_t *data, size_t size, size_t chunk, uint32_t readSize) {
  TChunks source(data, size, chunk);
  std::string out;
  std::vector<char> buf(readSize);
  // Output is at most the page plus replacements and the script.
  for (size_t guard = 0; guard < 64 * size + 4096; ++guard) {
    uint32_t got = 0;
    const int32_t hr = core.Read(&source, buf.data(), readSize, &got);
    out.append(buf.data(), got);
    if (hr == zu::kS_FALSE)
      return out;
    if (hr != zu::kS_OK)
      std::abort();
  }
  std::fprintf(stderr, "the filter never reported the end of the page\n");
  std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4)
    return 0;
  const uint8_t flags = data[0];
  const size_t chunk = 1 + data[1] * 33u;
  const uint32_t readSize = 1 + data[2] * 17u;
  const size_t answers = std::min<size_t>(data[3] % 16, size - 4);
  GService = TScriptedService{data + 4, answers, 0, (flags & 1) != 0, (flags & 2) != 0};
  data += 4 + answers;
  size -= 4 + answers;

  TZuRPCEntryPoints entries;
  entries.GetBinding = &FuzzGetBinding;
  entries.ReviseResource = &FuzzRevise;
  entries.NoteResourceWithHref = &FuzzNote;
  TTervaneHTMLFilter filter(std::make_unique<TZuRPCClient>(entries));
  filter.BeginDocument(nullptr);
  const std::string out = Pull(filter, data, size, chunk, readSize);

  if (GService.AllKeep) {
    TAdsHTMLSignaller signaller;
    const std::string expected = Pull(signaller, data, size, chunk, readSize);
    const std::string page(reinterpret_cast<const char *>(data), size);
    if (out != expected || (expected != page && expected.compare(0, size, page) != 0)) {
      std::fprintf(stderr, "keeping everything changed the page\n");
      std::abort();
    }
  }
  return 0;
}
