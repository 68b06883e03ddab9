// Throughput of the scanning filter against memcpy and memchr over the same
// bytes, and whether its cost per byte stays flat as pages grow.
//
//   bench_streamfilter [--docs DIR] [--synth-mb N] [--rounds N]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "PageGenerator.h"
#include "filter/FilterResults.h"
#include "filter/ZuHTMLFilterCore.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string &what) {
  std::fprintf(stderr, "bench_streamfilter: %s\n", what.c_str());
  std::exit(1);
}

// Keeps the optimiser from dropping work whose result nobody reads.
inline void Keep(const void *p) { asm volatile("" : : "r"(p) : "memory"); }

// The base filter with scanning switched on: every text run and tag is cut
// out, every tag parsed, and everything passed through unchanged.
class TScanningFilter : public TZuHTMLFilterCore {
public:
  bool IsFiltering() override { return true; }
};

class TCountingFilter : public TScanningFilter {
public:
  bool PassTag(TTagParser &parser, TByteStream &output) override {
    ++Tags;
    return TScanningFilter::PassTag(parser, output);
  }
  size_t Tags = 0;
};

// An inner protocol serving a page from memory in chunks of `chunk` bytes.
class TMemorySource final : public IZuRawSource {
public:
  TMemorySource(const std::string &data, uint32_t chunk) : FData(data), FChunk(chunk) {}
  int32_t ReadRaw(void *buffer, uint32_t size, uint32_t *bytesRead) override {
    const size_t n = std::min<size_t>({size, FChunk, FData.size() - FPos});
    std::memcpy(buffer, FData.data() + FPos, n);
    FPos += n;
    *bytesRead = static_cast<uint32_t>(n);
    return FPos == FData.size() ? zu::kS_FALSE : zu::kS_OK;
  }

private:
  const std::string &FData;
  const uint32_t FChunk;
  size_t FPos = 0;
};

// Pulls a whole page through `filter` in reads of `readSize` bytes into `out`,
// which has room for the page plus one read; returns the bytes handed over.
template <class Filter>
size_t FilterPage(Filter &filter, const std::string &page, uint32_t chunk, uint32_t readSize, uint8_t *out) {
  TMemorySource source(page, chunk);
  size_t pos = 0;
  unsigned idle = 0;
  for (;;) {
    uint32_t got = 0;
    const int32_t hr = filter.Read(&source, out + pos, readSize, &got);
    if (hr != zu::kS_OK && hr != zu::kS_FALSE)
      Fail("Read failed with " + std::to_string(hr));
    if (got > readSize)
      Fail("Read claimed more bytes than asked for");
    pos += got;
    if (pos > page.size())
      Fail("filter output is longer than its input");
    if (hr == zu::kS_FALSE)
      return pos;
    idle = got ? 0 : idle + 1;
    if (idle > 1000)
      Fail("Read keeps returning S_OK with nothing read");
  }
}

struct TCorpus {
  std::string Name;
  std::vector<std::string> Pages;
  size_t Bytes = 0;
  size_t Largest = 0;

  void Add(std::string page) {
    Bytes += page.size();
    Largest = std::max(Largest, page.size());
    Pages.push_back(std::move(page));
  }
};

TCorpus LoadDocs(const std::string &dir) {
  TCorpus c;
  c.Name = "docs";
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file() && it->path().extension() == ".html")
      files.push_back(it->path());
  if (ec)
    Fail("cannot read " + dir + ": " + ec.message());
  std::sort(files.begin(), files.end());
  for (const auto &f : files) {
    std::ifstream in(f, std::ios::binary);
    std::string page(std::filesystem::file_size(f), '\0');
    if (!in.read(page.data(), static_cast<std::streamsize>(page.size())))
      Fail("cannot read " + f.string());
    if (!page.empty())
      c.Add(std::move(page));
  }
  if (c.Pages.empty())
    Fail("no .html files under " + dir);
  return c;
}

// Every page must come out exactly as it went in; also counts the tags seen.
size_t Verify(const TCorpus &c, std::vector<uint8_t> &out) {
  size_t tags = 0;
  for (const auto &page : c.Pages) {
    TCountingFilter f;
    const size_t n = FilterPage(f, page, 8192, 4096, out.data());
    if (n != page.size() || std::memcmp(out.data(), page.data(), n) != 0)
      Fail(c.Name + ": a page of " + std::to_string(page.size()) + " bytes came out changed (" + std::to_string(n) +
           " bytes)");
    tags += f.Tags;
  }
  return tags;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

struct TThroughput {
  double Filter = 0, Memcpy = 0, Memchr = 0; // MB/s, best round
};

TThroughput Measure(const TCorpus &c, std::vector<uint8_t> &out, int rounds) {
  std::vector<double> filter, copy, scan;
  size_t sink = 0;
  for (int r = 0; r < rounds; ++r) {
    auto t0 = Clock::now();
    for (const auto &page : c.Pages) {
      TScanningFilter f;
      sink += FilterPage(f, page, 8192, 4096, out.data());
    }
    auto t1 = Clock::now();
    for (const auto &page : c.Pages) {
      std::memcpy(out.data(), page.data(), page.size());
      Keep(out.data());
    }
    auto t2 = Clock::now();
    for (const auto &page : c.Pages) {
      const char *p = page.data();
      const char *end = p + page.size();
      while (const void *q = std::memchr(p, '<', static_cast<size_t>(end - p))) {
        ++sink;
        p = static_cast<const char *>(q) + 1;
      }
    }
    auto t3 = Clock::now();
    filter.push_back(Seconds(t0, t1));
    copy.push_back(Seconds(t1, t2));
    scan.push_back(Seconds(t2, t3));
  }
  Keep(&sink);
  const double mb = static_cast<double>(c.Bytes) / 1e6;
  return {mb / *std::min_element(filter.begin(), filter.end()), mb / *std::min_element(copy.begin(), copy.end()),
          mb / *std::min_element(scan.begin(), scan.end())};
}

// Nanoseconds per byte to pull `page` through in `readSize` reads; small pages
// are repeated so every measurement covers at least `volume` bytes.
double NsPerByte(const std::string &page, uint32_t readSize, size_t volume, std::vector<uint8_t> &out) {
  const size_t repeat = std::max<size_t>(1, volume / page.size());
  auto t0 = Clock::now();
  for (size_t i = 0; i < repeat; ++i) {
    TScanningFilter f;
    if (FilterPage(f, page, 8192, readSize, out.data()) != page.size())
      Fail("linear case: output size differs from input");
  }
  const double seconds = Seconds(t0, Clock::now());
  if (std::memcmp(out.data(), page.data(), page.size()) != 0)
    Fail("linear case: output differs from input");
  return seconds * 1e9 / static_cast<double>(repeat * page.size());
}

// A page whose first byte opens a tag that never closes.
std::string Unclosed(size_t bytes, bool comment) {
  std::string s = zubench::GeneratePage(bytes, 77);
  if (comment) {
    // A comment only ends at "-->", so its many '>' are each looked at.
    std::replace(s.begin(), s.end(), '-', '_');
    s.replace(0, 4, "<!--");
  } else {
    std::replace(s.begin(), s.end(), '>', ')');
    s[0] = '<';
  }
  return s;
}

} // namespace

int main(int argc, char **argv) {
#ifdef __GLIBC__
  // Freed blocks up to 32 MB stay in the heap, so repeated runs of a big page
  // reuse memory instead of faulting in fresh pages each time; otherwise the
  // allocator's state, not the filter, decides how big pages compare.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
  std::string docsDir;
  size_t synthMb = 32;
  int rounds = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--docs" && i + 1 < argc)
      docsDir = argv[++i];
    else if (a == "--synth-mb" && i + 1 < argc)
      synthMb = std::strtoul(argv[++i], nullptr, 10);
    else if (a == "--rounds" && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else
      Fail("usage: bench_streamfilter [--docs DIR] [--synth-mb N] [--rounds N]");
  }

  std::vector<TCorpus> corpora(1);
  corpora[0].Name = "synth";
  for (auto &p : zubench::GenerateCorpus(synthMb << 20, 1))
    corpora[0].Add(std::move(p));
  if (!docsDir.empty())
    corpora.push_back(LoadDocs(docsDir));

  const size_t big = size_t(16) << 20, small = size_t(1) << 20;
  size_t room = big;
  for (const auto &c : corpora)
    room = std::max(room, c.Largest);
  std::vector<uint8_t> out(room + 8192);

  std::printf("stream filter: scanning base filter, 8 KB inner chunks, 4 KB reads; best of %d rounds; MB = 1e6 bytes\n",
              rounds);
  double ratio[2] = {-1, -1};
  for (size_t k = 0; k < corpora.size(); ++k) {
    const TCorpus &c = corpora[k];
    const size_t tags = Verify(c, out);
    std::printf("%-5s corpus: %zu pages, %.1f MB, %zu tags (one per %.1f bytes), output identical to input\n",
                c.Name.c_str(), c.Pages.size(), static_cast<double>(c.Bytes) / 1e6, tags,
                tags ? static_cast<double>(c.Bytes) / static_cast<double>(tags) : 0.0);
    const TThroughput t = Measure(c, out, rounds);
    ratio[k] = t.Filter / t.Memcpy;
    std::printf("%-5s filter %8.1f MB/s   memcpy %8.1f MB/s   memchr('<') %8.1f MB/s   filter/memcpy %.3f   "
                "filter/memchr %.3f\n",
                c.Name.c_str(), t.Filter, t.Memcpy, t.Memchr, ratio[k], t.Filter / t.Memchr);
  }

  struct TCase {
    const char *Name;
    std::string Small, Big;
    uint32_t ReadSize;
  };
  TCase cases[] = {
      {"synthetic page, 16 B reads", zubench::GeneratePage(small, 5), zubench::GeneratePage(big, 5), 16},
      {"unclosed '<', 4 KB reads", Unclosed(small, false), Unclosed(big, false), 4096},
      {"unclosed '<', 16 B reads", Unclosed(small, false), Unclosed(big, false), 16},
      {"unclosed '<!--', 4 KB reads", Unclosed(small, true), Unclosed(big, true), 4096},
  };
  double linear = 0;
  for (const auto &c : cases) {
    // Interleaved so both sizes see the same machine state.
    double s = 1e300, b = 1e300;
    for (int r = 0; r < rounds; ++r) {
      s = std::min(s, NsPerByte(c.Small, c.ReadSize, big, out));
      b = std::min(b, NsPerByte(c.Big, c.ReadSize, big, out));
    }
    linear = std::max(linear, b / s);
    std::printf("linear %-28s  1 MB %.3f ns/byte   16 MB %.3f ns/byte   ratio %.3f\n", c.Name, s, b, b / s);
  }

  std::printf("targets (for information): scan_ratio_synth >= 0.12, scan_ratio_docs >= 0.08, linear_ratio <= 1.5\n");
  char docs[32];
  if (ratio[1] < 0)
    std::snprintf(docs, sizeof docs, "n/a");
  else
    std::snprintf(docs, sizeof docs, "%.3f", ratio[1]);
  std::printf("bench: scan_ratio_synth=%.3f scan_ratio_docs=%s linear_ratio=%.3f\n", ratio[0], docs, linear);
  return 0;
}
