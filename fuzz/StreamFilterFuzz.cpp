// Drives the scanner, the tag parser and the filter's buffering with chunk and
// reader sizes taken from the input, and checks that the scanning base filter
// gives back exactly the page it was fed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/FilterResults.h"
#include "filter/TagParser.h"
#include "filter/ZuHTMLFilterCore.h"

namespace {

class TScanning : public TZuHTMLFilterCore {
public:
  bool IsFiltering() override { return true; }
  bool PassTag(TTagParser &parser, TByteStream &output) override {
    // Look-ups must stay inside what the parser gathered.
    (void)parser.GetAttribute("SRC");
    (void)parser.GetAttribute(parser.TagName);
    return TZuHTMLFilterCore::PassTag(parser, output);
  }
};

class TChunks : public IZuRawSource {
public:
  TChunks(const uint8_t *data, size_t size, const uint8_t *sizes, size_t nSizes, bool pending)
      : FData(data), FSize(size), FSizes(sizes), FCount(nSizes), FPendingOn(pending) {}
  int32_t ReadRaw(void *buffer, uint32_t size, uint32_t *got) override {
    ++FReads;
    if (FPendingOn && FReads % 3 == 0) {
      *got = 0;
      return zu::kE_PENDING;
    }
    size_t n = FCount ? 1 + FSizes[FReads % FCount] * 37u : size;
    n = std::min<size_t>({n, size, FSize - FAt});
    std::memcpy(buffer, FData + FAt, n);
    FAt += n;
    *got = static_cast<uint32_t>(n);
    return FAt == FSize ? zu::kS_FALSE : zu::kS_OK;
  }

private:
  const uint8_t *FData;
  size_t FSize, FAt = 0;
  const uint8_t *FSizes;
  size_t FCount;
  bool FPendingOn;
  size_t FReads = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4)
    return 0;
  const uint8_t flags = data[0];
  const size_t nSizes = data[1] % 8;
  const uint32_t readSize = 1 + data[2] * (flags & 0x10 ? 31u : 1u);
  data += 3;
  size -= 3;
  if (nSizes > size)
    return 0;
  const uint8_t *sizes = data;
  data += nSizes;
  size -= nSizes;

  // The scanner and parser alone, in both character sizes.
  for (bool unicode : {false, true}) {
    const uint8_t *text, *tag;
    size_t textBytes, tagBytes;
    FindNextTag(unicode, data, size, text, textBytes, tag, tagBytes);
    if (textBytes + tagBytes > size || (unicode && (textBytes % 2 || tagBytes % 2)))
      std::abort();
    if (tag) {
      TTagParser parser;
      parser.Parse(unicode, tag, tagBytes);
      if (parser.AttrValues.size() > parser.AttrNames.size() + 1)
        std::abort();
      // Finding the attributes later, from the parser's copy, finds the same.
      std::vector<uint8_t> page(tag, tag + tagBytes);
      page.resize(tagBytes + TTagParser::ReadAhead, '"');
      TTagParser later;
      later.ParseNameFirst(unicode, page.data(), tagBytes);
      later.KeepOwnCopy();
      std::fill(page.begin(), page.end(), uint8_t('='));
      if (later.TagName != parser.TagName || later.AttrNames.ToVector() != parser.AttrNames.ToVector() ||
          later.AttrValues.ToVector() != parser.AttrValues.ToVector())
        std::abort();
    }
  }

  // Cutting many tags a call must agree with cutting them one at a time.
  for (bool unicode : {false, true}) {
    const size_t unit = unicode ? 2 : 1;
    TTagScanState many;
    TTagCut cuts[8];
    size_t at = 0;
    for (bool more = true; more;) {
      const size_t n = ScanForTags(unicode, data + at, size - at, many, cuts, 1 + flags % 8);
      for (size_t k = 0; k < n; ++k) {
        TTagScanState one;
        const bool found = ScanForTag(unicode, data + at, size - at, one);
        const size_t text = one.TagStart == TTagScanState::NoTag ? one.Pos : one.TagStart;
        if (found != (cuts[k].TagChars != 0) || text != cuts[k].TextChars ||
            (found && one.Pos - text != cuts[k].TagChars))
          std::abort();
        at += (cuts[k].TextChars + cuts[k].TagChars) * unit;
      }
      more = n && cuts[n - 1].TagChars;
    }
  }

  TScanning core;
  TChunks source(data, size, sizes, nSizes, flags & 1);
  std::string out;
  std::vector<uint8_t> buf(readSize);
  for (size_t guard = 0; guard < 4 * size + 64; ++guard) {
    uint32_t got = 0;
    const int32_t hr = core.Read(&source, buf.data(), readSize, &got);
    if (got > readSize)
      std::abort();
    out.append(reinterpret_cast<const char *>(buf.data()), got);
    if (hr == zu::kS_FALSE)
      break;
    if (hr != zu::kS_OK && hr != zu::kE_PENDING)
      std::abort();
  }
  if (out.size() != size || std::memcmp(out.data(), data, size) != 0) {
    std::fprintf(stderr, "output differs from input (%zu vs %zu bytes)\n", out.size(), size);
    std::abort();
  }
  return 0;
}
