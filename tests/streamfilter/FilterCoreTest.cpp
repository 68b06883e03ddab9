#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ScriptedSource.h"
#include "filter/FilterResults.h"
#include "filter/ZuHTMLFilterCore.h"

using namespace zu;

namespace {

class TSource : public IZuRawSource {
public:
  explicit TSource(TScript script) : FScript(std::move(script)) {}
  int32_t ReadRaw(void *buffer, uint32_t size, uint32_t *got) override { return FScript.Next(buffer, size, got); }
  TScript FScript;
};

// The base filter with scanning switched on, recording what it was shown.
class TScanningCore : public TZuHTMLFilterCore {
public:
  bool IsFiltering() override { return true; }
  bool PassTag(TTagParser &parser, TByteStream &output) override {
    Tags.push_back(parser.TagName);
    return TZuHTMLFilterCore::PassTag(parser, output);
  }
  void EndDocument(TByteStream &output) override {
    ++Ends;
    TZuHTMLFilterCore::EndDocument(output);
  }
  std::vector<std::string> Tags;
  int Ends = 0;
};

struct TPull {
  std::string Out;
  std::vector<int32_t> Results;
};

// Reads like the browser: until S_FALSE or a failure, `readSize` at a time.
TPull PullAll(TZuHTMLFilterCore &core, IZuRawSource &source, uint32_t readSize, int maxReads = 1000000) {
  TPull pull;
  std::vector<char> buf(readSize + 1);
  for (int i = 0; i < maxReads; ++i) {
    uint32_t got = 12345;
    const int32_t hr = core.Read(&source, buf.data(), readSize, &got);
    EXPECT_LE(got, readSize);
    pull.Out.append(buf.data(), got);
    pull.Results.push_back(hr);
    if (hr == kS_FALSE) {
      // Once the end was reported, reads only say so again.
      uint32_t again = 1;
      EXPECT_EQ(core.Read(&source, buf.data(), readSize, &again), kS_FALSE);
      EXPECT_EQ(again, 0u);
      break;
    }
    if (hr != kS_OK && hr != kE_PENDING)
      break;
  }
  return pull;
}

std::string RandomPage(std::mt19937 &rng, size_t size) {
  static const char *const pieces[] = {"<",     ">",    "<!--",         "-->",  "<img src=\"a.gif\" width=1>",
                                       "text ", "\r\n", "<a href='x'>", "</a>", "<!-- c -->",
                                       "-",     "=",    "\"",           "'",    "<b",
                                       "x"};
  std::string page;
  while (page.size() < size)
    page += pieces[rng() % (sizeof pieces / sizeof *pieces)];
  return page;
}

// A filter that edits pages by their tags: <hide> to </hide> drops text,
// <drop> goes, <rep> becomes "[r]", <dup> is kept after "[d]", and "[end]"
// closes the page. It can also throw once: from its first PassText, or from
// its PassTag for the first <boom>.
class TEditingCore : public TZuHTMLFilterCore {
public:
  enum TFailure { None, FirstText, FirstBoom };
  explicit TEditingCore(TFailure failure = None) : FFailure(failure) {}
  bool IsFiltering() override { return true; }
  bool PassText() override {
    if (FFailure == FirstText) {
      FFailure = None;
      throw std::runtime_error("text");
    }
    return !FHidden;
  }
  bool PassTag(TTagParser &parser, TByteStream &output) override {
    const std::string &name = parser.TagName;
    if (name == "BOOM" && FFailure == FirstBoom) {
      FFailure = None;
      throw std::runtime_error("tag");
    }
    if (name == "HIDE" || name == "/HIDE") {
      FHidden = name == "HIDE";
      return false;
    }
    if (name == "DROP")
      return false;
    if (name == "REP" || name == "DUP")
      output.Write(name == "REP" ? "[r]" : "[d]", 3);
    return name != "REP";
  }
  void EndDocument(TByteStream &output) override { output.Write("[end]", 5); }

private:
  TFailure FFailure;
  bool FHidden = false;
};

// What TEditingCore makes of a page, worked out from the whole page at once.
std::string EditedPage(const std::string &page) {
  const auto *bytes = reinterpret_cast<const uint8_t *>(page.data());
  std::string out;
  bool hidden = false;
  size_t at = 0;
  for (;;) {
    const uint8_t *text, *tag;
    size_t textBytes, tagBytes;
    FindNextTag(false, bytes + at, page.size() - at, text, textBytes, tag, tagBytes);
    if (!hidden)
      out.append(page, at, textBytes);
    at += textBytes;
    if (!tag)
      break;
    TTagParser parser;
    parser.Parse(false, tag, tagBytes);
    const std::string &name = parser.TagName;
    if (name == "HIDE" || name == "/HIDE")
      hidden = name == "HIDE";
    else if (name == "REP")
      out += "[r]";
    else if (name != "DROP")
      out += (name == "DUP" ? "[d]" : "") + page.substr(at, tagBytes);
    at += tagBytes;
  }
  // An unclosed tag at the end is handed over unscanned.
  return out + page.substr(at) + "[end]";
}

std::string RandomEditedPage(std::mt19937 &rng, size_t size) {
  static const char *const pieces[] = {"<hide>", "</HIDE>", "<drop>", "<rep a=1>", "<dup>",
                                       "<boom>", "<b>",     "text ",  "T",         "<!-- <rep> -->",
                                       "<",      ">",       "-->",    "<p x='>'"};
  std::string page;
  while (page.size() < size)
    page += pieces[rng() % (sizeof pieces / sizeof *pieces)];
  return page;
}

} // namespace

TEST(FilterCoreTest, EditsComeOutInPageOrderInAnyChunkingAndReadSize) {
  std::mt19937 rng(99);
  for (int round = 0; round < 300; ++round) {
    const std::string page = RandomEditedPage(rng, rng() % 2000);
    const size_t chunk = 1 + rng() % (round % 2 ? 40 : 9000);
    const uint32_t readSize = 1 + rng() % 3000;
    TSource source(TScript::Chunked(page, chunk));
    TEditingCore core;
    const TPull pull = PullAll(core, source, readSize);
    ASSERT_EQ(pull.Out, EditedPage(page)) << "round " << round << " chunk " << chunk << " read " << readSize;
  }
}

TEST(FilterCoreTest, FailedHooksNeitherRepeatNorLoseBytes) {
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    // Bytes left by a failure are scanned again when more come; so the page
    // has a <boom> and some text, and a last chunk of its own follows.
    const std::string page = "x<boom>" + RandomEditedPage(rng, rng() % 1500);
    const size_t chunk = 1 + rng() % 700;
    TScript script;
    for (size_t at = 0; at < page.size(); at += chunk)
      script.Add(page.substr(at, chunk));
    script.Add("tail", kS_FALSE);
    TSource source(script);
    TEditingCore core(round % 2 ? TEditingCore::FirstText : TEditingCore::FirstBoom);
    std::string out;
    char buf[512];
    int failures = 0;
    for (int i = 0; i < 100000; ++i) {
      uint32_t got = 77;
      const int32_t hr = core.Read(&source, buf, sizeof buf, &got);
      out.append(buf, got);
      if (hr == kE_FAIL) {
        EXPECT_EQ(got, 0u);
        ++failures;
        continue;
      }
      ASSERT_TRUE(hr == kS_OK || hr == kS_FALSE) << hr;
      if (hr == kS_FALSE)
        break;
    }
    ASSERT_EQ(out, EditedPage(page + "tail")) << "round " << round << " chunk " << chunk;
    EXPECT_EQ(failures, 1);
  }
}

TEST(FilterCoreTest, PassTagSeesTheOutputSoFarAndWritesWhereTheTagWas) {
  class TPeeking : public TZuHTMLFilterCore {
  public:
    bool IsFiltering() override { return true; }
    bool PassTag(TTagParser &parser, TByteStream &output) override {
      Seen.emplace_back(reinterpret_cast<const char *>(output.Data()), output.Size());
      if (parser.TagName == "X")
        output.Write("!", 1);
      return true;
    }
    std::vector<std::string> Seen;
  } core;
  TSource source(TScript::Chunked("ab<i>cd<x>ef<i>g", 100));
  EXPECT_EQ(PullAll(core, source, 100).Out, "ab<i>cd!<x>ef<i>g");
  EXPECT_EQ(core.Seen, (std::vector<std::string>{"ab", "ab<i>cd", "ab<i>cd!<x>ef"}));
}

TEST(FilterCoreTest, LastTagStaysReadableAfterThePageMovesOn) {
  // Looks at the last tag's attributes only at the end of the page.
  class TLate : public TZuHTMLFilterCore {
  public:
    bool IsFiltering() override { return true; }
    void EndDocument(TByteStream &output) override {
      const std::string seen = "[" + FParser.GetAttribute("href") + " " + FParser.AttrNames[1] + "]";
      output.Write(seen.data(), seen.size());
    }
  } core;
  const std::string page = "<a href=first><a href=last title=t>" + std::string(300, 'y');
  TSource source(TScript::Chunked(page, 7));
  EXPECT_EQ(PullAll(core, source, 64).Out, page + "[last TITLE]");
}

TEST(FilterCoreTest, PassesThroughUnscannedWhenNotFiltering) {
  TScript script;
  script.Add("<b>one", kS_OK);
  script.Add("two", kE_PENDING);
  script.Add("", static_cast<int32_t>(0x80070005u));
  script.Add("end", kS_FALSE);
  TSource source(script);
  TZuHTMLFilterCore core;
  char buf[64];
  const std::vector<std::pair<std::string, int32_t>> expected = {
      {"<b>one", kS_OK}, {"two", kE_PENDING}, {"", static_cast<int32_t>(0x80070005u)}, {"end", kS_FALSE}};
  for (const auto &[bytes, hr] : expected) {
    uint32_t got = 0;
    EXPECT_EQ(core.Read(&source, buf, sizeof buf, &got), hr);
    EXPECT_EQ(std::string(buf, got), bytes);
  }
  uint32_t got = 7;
  EXPECT_EQ(core.Read(nullptr, buf, sizeof buf, &got), kE_FAIL);
}

TEST(FilterCoreTest, ScanningReproducesAnyPageInAnyChunkingAndReadSize) {
  std::mt19937 rng(20261211);
  for (int round = 0; round < 300; ++round) {
    const std::string page = RandomPage(rng, rng() % 3000);
    const size_t chunk = 1 + rng() % 9000;
    const uint32_t readSize = 1 + rng() % 5000;
    TSource source(TScript::Chunked(page, chunk));
    TScanningCore core;
    const TPull pull = PullAll(core, source, readSize);
    ASSERT_EQ(pull.Out, page) << "round " << round << " chunk " << chunk << " read " << readSize;
    EXPECT_EQ(pull.Results.back(), kS_FALSE);
    EXPECT_EQ(core.Ends, 1);
  }
}

TEST(FilterCoreTest, TagSplitAcrossChunksIsParsedOnceWhole) {
  TScript script;
  script.Add("x<im");
  script.Add("g src=x>y", kS_FALSE);
  TSource source(script);
  TScanningCore core;
  EXPECT_EQ(PullAll(core, source, 4096).Out, "x<img src=x>y");
  EXPECT_EQ(core.Tags, std::vector<std::string>{"IMG"});
}

TEST(FilterCoreTest, ByteOrderMarkSwitchesToUtf16AndTrailingOddByteSurvives) {
  std::string page = "\xFF\xFE";
  for (char c : std::string("<p a=1>hi<IMG src=x>"))
    page += {c, '\0'};
  page += 'Z'; // odd trailing byte
  for (size_t chunk : {1, 2, 3, 7, 4096}) {
    TSource source(TScript::Chunked(page, chunk));
    TScanningCore core;
    EXPECT_EQ(PullAll(core, source, 5).Out, page) << chunk;
    if (chunk > 1) {
      EXPECT_EQ(core.Encoding(), TZuHTMLFilterCore::EncodingUtf16);
      EXPECT_EQ(core.Tags, (std::vector<std::string>{"P", "IMG"})) << chunk;
    } else {
      // A one-byte first chunk fixes 8-bit scanning even before a byte-order mark.
      EXPECT_EQ(core.Encoding(), TZuHTMLFilterCore::EncodingShortFirst);
    }
  }
}

TEST(FilterCoreTest, ReaderSmallerThanOutputIsServedWithoutAnotherInnerRead) {
  TScript script;
  script.Add("<b>0123456789</b>");
  script.Add("more", kS_FALSE);
  TSource source(script);
  TScanningCore core;
  char buf[4];
  uint32_t got = 0;
  ASSERT_EQ(core.Read(&source, buf, 4, &got), kS_OK);
  EXPECT_EQ(std::string(buf, got), "<b>0");
  const int reads = source.FScript.Reads();
  ASSERT_EQ(core.Read(&source, buf, 4, &got), kS_OK);
  EXPECT_EQ(std::string(buf, got), "1234");
  EXPECT_EQ(source.FScript.Reads(), reads);
}

TEST(FilterCoreTest, PendingAfterProducedBytesHandsThemOver) {
  TScript script;
  script.Add("ab<i>c<x", kE_PENDING);
  script.Add("y>d", kS_FALSE);
  TSource source(script);
  TScanningCore core;
  char buf[100];
  uint32_t got = 0;
  EXPECT_EQ(core.Read(&source, buf, sizeof buf, &got), kE_PENDING);
  EXPECT_EQ(std::string(buf, got), "ab<i>c");
  EXPECT_EQ(core.Read(&source, buf, sizeof buf, &got), kS_FALSE);
  EXPECT_EQ(std::string(buf, got), "<xy>d");
  EXPECT_EQ(core.Read(&source, buf, sizeof buf, &got), kS_FALSE);
  EXPECT_EQ(got, 0u);
}

TEST(FilterCoreTest, InnerResultsDecideTheReadResult) {
  const int32_t kAccessDenied = static_cast<int32_t>(0x80070005u);
  struct TCase {
    int32_t Inner;
    int32_t Expected;
    std::string Out;
  } cases[] = {
      // Download failures come back at once, even with output waiting.
      {kINET_E_DOWNLOAD_FAILURE, kINET_E_DOWNLOAD_FAILURE, ""},
      {kINET_E_DATA_NOT_AVAILABLE, kINET_E_DATA_NOT_AVAILABLE, ""},
      // Any other failure only ends this read's loop.
      {kAccessDenied, kS_OK, "abc"},
  };
  for (const TCase &c : cases) {
    TScript script;
    script.Add("abc", c.Inner);
    script.Add("def", kS_FALSE);
    TSource source(script);
    TScanningCore core;
    char buf[100];
    uint32_t got = 77;
    EXPECT_EQ(core.Read(&source, buf, sizeof buf, &got), c.Expected);
    EXPECT_EQ(std::string(buf, got), c.Out);
    // Nothing is lost: the next read delivers the rest.
    const TPull rest = PullAll(core, source, 100);
    EXPECT_EQ(c.Out + rest.Out, "abcdef");
  }
}

TEST(FilterCoreTest, ExceptionInSubclassFailsTheReadOnly) {
  class TThrowing : public TScanningCore {
  public:
    bool PassTag(TTagParser &p, TByteStream &o) override {
      if (p.TagName == "BAD" && !Thrown) {
        Thrown = true;
        throw std::runtime_error("boom");
      }
      return TScanningCore::PassTag(p, o);
    }
    bool Thrown = false;
  } core;
  TSource source(TScript::Chunked("a<bad>b", 100));
  char buf[100];
  uint32_t got = 5;
  EXPECT_EQ(core.Read(&source, buf, sizeof buf, &got), kE_FAIL);
  EXPECT_EQ(got, 0u);
  // The tag stayed pending and is scanned again by the next read.
  const TPull rest = PullAll(core, source, 100);
  EXPECT_EQ(rest.Out, "a<bad>b");
}

TEST(FilterCoreTest, InnerOkWithNoBytesDoesNotSpin) {
  TScript script;
  script.Add("", kS_OK);
  script.Add("x", kS_FALSE);
  TSource source(script);
  TScanningCore core;
  const TPull pull = PullAll(core, source, 10);
  EXPECT_EQ(pull.Out, "x");
}

TEST(FilterCoreTest, UnclosedTagIsFlushedUnscannedAtEnd) {
  std::string page = "hello <";
  page.append(100000, 'x');
  TSource source(TScript::Chunked(page, 8192));
  TScanningCore core;
  EXPECT_EQ(PullAll(core, source, 4096).Out, page);
  EXPECT_TRUE(core.Tags.empty());
}
