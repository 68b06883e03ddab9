// The whole ad-rewriting filter over the bench corpora: with a service that
// keeps everything (the cost of the rules and the client themselves, as a
// ratio to a single-call memcpy of the same bytes, in interleaved rounds), and
// with the default revision service loaded with a full real-world list.
//
//   bench_adfilter --list EASYLIST [--docs DIR] [--synth-mb N] [--rounds N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PageGenerator.h"
#include "RevisionService.h"
#include "filter/FilterResults.h"
#include "filter/MimeFilter.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "bench_adfilter: %s\n", why.c_str());
  std::exit(1);
}

const zurpc::TRevisionService* GService = nullptr;

int32_t ZU_STDCALL Bind(int32_t* binding) {
  *binding = 1;
  return 0;
}
int32_t ZU_STDCALL KeepAll(int32_t, const char*, const char*, const char*, const char*, int32_t, int32_t, int32_t,
                           int32_t* verdict) {
  *verdict = 0;
  return 0;
}
int32_t ZU_STDCALL KeepNote(int32_t, const char*, const char*, int32_t* verdict) {
  *verdict = 0;
  return 0;
}
int32_t ZU_STDCALL Revise(int32_t, const char* url, const char* mime, const char* page, const char* link, int32_t w,
                          int32_t h, int32_t, int32_t* verdict) {
  *verdict = GService->Revise(url, mime, page, link, w, h);
  return 0;
}
int32_t ZU_STDCALL Note(int32_t, const char* image, const char* link, int32_t* verdict) {
  *verdict = GService->NoteResourceWithHref(image, link);
  return 0;
}

class TBenchFilter : public TTervaneHTMLFilter {
public:
  explicit TBenchFilter(const TZuRPCEntryPoints& e) : TTervaneHTMLFilter(std::make_unique<TZuRPCClient>(e)) {}
  void BeginDocument(IInternetBindInfo* bindInfo) override {
    TTervaneHTMLFilter::BeginDocument(bindInfo);
    SetPageUrl("http://www.bench.example/section/page.html");
  }
};

class TSource : public IZuRawSource {
public:
  explicit TSource(const std::string& data) : FData(data) {}
  int32_t ReadRaw(void* buffer, uint32_t size, uint32_t* got) override {
    const size_t n = std::min<size_t>({size, 8192, FData.size() - FPos});
    std::memcpy(buffer, FData.data() + FPos, n);
    FPos += n;
    *got = static_cast<uint32_t>(n);
    return FPos == FData.size() ? zu::kS_FALSE : zu::kS_OK;
  }

private:
  const std::string& FData;
  size_t FPos = 0;
};

size_t FilterPage(const TZuRPCEntryPoints& e, const std::string& page, std::vector<char>& out) {
  TBenchFilter filter(e);
  filter.BeginDocument(nullptr);
  TSource source(page);
  size_t pos = 0;
  for (;;) {
    if (out.size() < pos + 4096)
      out.resize(2 * out.size() + 4096);
    uint32_t got = 0;
    const int32_t hr = filter.Read(&source, out.data() + pos, 4096, &got);
    pos += got;
    if (hr == zu::kS_FALSE)
      return pos;
    if (hr != zu::kS_OK)
      Fail("Read failed");
  }
}

struct TCorpus {
  std::string Name;
  std::vector<std::string> Pages;
  size_t Bytes = 0;
};

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double FilterSeconds(const TCorpus& c, const TZuRPCEntryPoints& e, std::vector<char>& out, size_t* produced) {
  const auto t0 = Clock::now();
  size_t total = 0;
  for (const std::string& p : c.Pages)
    total += FilterPage(e, p, out);
  const auto t1 = Clock::now();
  if (produced)
    *produced = total;
  return Seconds(t0, t1);
}

double MemcpySeconds(const TCorpus& c, std::vector<char>& out) {
  const auto t0 = Clock::now();
  for (const std::string& p : c.Pages) {
    if (out.size() < p.size())
      out.resize(p.size());
    std::memcpy(out.data(), p.data(), p.size());
    asm volatile("" : : "r"(out.data()) : "memory");
  }
  return Seconds(t0, Clock::now());
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

} // namespace

int main(int argc, char** argv) {
  std::string docs, list;
  size_t synthMb = 16;
  int rounds = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--docs" && i + 1 < argc)
      docs = argv[++i];
    else if (a == "--list" && i + 1 < argc)
      list = argv[++i];
    else if (a == "--synth-mb" && i + 1 < argc)
      synthMb = std::strtoul(argv[++i], nullptr, 10);
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else
      Fail("usage: bench_adfilter --list EASYLIST [--docs DIR] [--synth-mb N] [--rounds N]");
  }

  std::vector<TCorpus> corpora;
  corpora.push_back({"synth", zubench::GenerateCorpus(synthMb << 20, 7), 0});
  if (!docs.empty()) {
    TCorpus d{"docs", {}, 0};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(docs))
      if (entry.is_regular_file() && entry.path().extension() == ".html")
        d.Pages.push_back(ReadFile(entry.path()));
    corpora.push_back(std::move(d));
  }
  for (TCorpus& c : corpora)
    for (const std::string& p : c.Pages)
      c.Bytes += p.size();

  zurpc::TRevisionService service;
  service.AddList(zurpc::kDefaultList);
  if (!list.empty()) {
    const std::string text = ReadFile(list);
    if (text.empty())
      Fail("cannot read " + list);
    service.AddList(text);
  }
  GService = &service;
  TZuRPCEntryPoints keep{&Bind, &KeepAll, &KeepNote};
  TZuRPCEntryPoints real{&Bind, &Revise, &Note};

  std::vector<char> out(1 << 20);
  std::printf("ad filter: 8 KB inner chunks, 4 KB reads; best of %d interleaved rounds; MB = 1e6 bytes\n", rounds);
  std::string line = "adfilter:";
  for (const TCorpus& c : corpora) {
    double bestKeep = 1e9, bestCopy = 1e9, bestReal = 1e9;
    size_t keptBytes = 0;
    for (int r = 0; r < rounds; ++r) {
      bestKeep = std::min(bestKeep, FilterSeconds(c, keep, out, &keptBytes));
      bestCopy = std::min(bestCopy, MemcpySeconds(c, out));
      bestReal = std::min(bestReal, FilterSeconds(c, real, out, nullptr));
    }
    const double mb = c.Bytes / 1e6;
    const double keepMbs = mb / bestKeep, copyMbs = mb / bestCopy, realMbs = mb / bestReal;
    std::printf("%-5s %4zu pages %6.1f MB: keep-everything %7.1f MB/s  memcpy %8.1f MB/s  ratio %.3f  "
                "default service + list %7.1f MB/s\n",
                c.Name.c_str(), c.Pages.size(), mb, keepMbs, copyMbs, keepMbs / copyMbs, realMbs);
    char buf[160];
    std::snprintf(buf, sizeof buf, " adfilter_ratio_%s=%.3f adfilter_list_mbs_%s=%.1f", c.Name.c_str(),
                  keepMbs / copyMbs, c.Name.c_str(), realMbs);
    line += buf;
  }
  std::printf("targets (for information): adfilter_ratio >= 0.06\n%s\n", line.c_str());
  return 0;
}
