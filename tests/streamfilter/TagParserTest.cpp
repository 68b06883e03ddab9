#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "filter/TagParser.h"

namespace {

std::string Widen(const std::string &s) {
  std::string w;
  for (char c : s) {
    w += c;
    w += '\0';
  }
  return w;
}

struct TScanCase {
  std::string Input;
  std::string Text;
  std::string Tag; // empty: no complete tag
};

class ScannerTest : public testing::TestWithParam<TScanCase> {};

void CheckScan(bool unicode, const std::string &data, const std::string &text, const std::string &tag) {
  const auto *bytes = reinterpret_cast<const uint8_t *>(data.data());
  const uint8_t *textStart = nullptr, *tagStart = nullptr;
  size_t textBytes = 99, tagBytes = 99;
  FindNextTag(unicode, bytes, data.size(), textStart, textBytes, tagStart, tagBytes);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes), textBytes), text);
  EXPECT_EQ(textStart, textBytes ? bytes : nullptr);
  if (tag.empty()) {
    EXPECT_EQ(tagStart, nullptr);
    EXPECT_EQ(tagBytes, 0u);
  } else {
    ASSERT_NE(tagStart, nullptr);
    EXPECT_EQ(tagStart, bytes + textBytes) << "the tag follows the text directly";
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(tagStart), tagBytes), tag);
  }
}

TEST_P(ScannerTest, CutsTextAndFirstTagIn8BitAndUtf16) {
  const TScanCase &c = GetParam();
  CheckScan(false, c.Input, c.Text, c.Tag);
  CheckScan(true, Widen(c.Input), Widen(c.Text), Widen(c.Tag));
}

INSTANTIATE_TEST_SUITE_P(Cases, ScannerTest,
                         testing::Values(TScanCase{"abc<b>def", "abc", "<b>"}, TScanCase{"abc<b", "abc", ""},
                                         TScanCase{"no tags here", "no tags here", ""}, TScanCase{"", "", ""},
                                         TScanCase{"a>b", "a>b", ""}, TScanCase{"<>", "", "<>"},
                                         TScanCase{"<!-- x > y -->z", "", "<!-- x > y -->"},
                                         TScanCase{"<!-->more", "", ""}, TScanCase{"<!--->x", "", ""},
                                         TScanCase{"<!---->x", "", "<!---->"}, TScanCase{"<!-->a-->", "", "<!-->a-->"},
                                         TScanCase{"<!-x>", "", "<!-x>"}, TScanCase{"<!->", "", "<!->"},
                                         TScanCase{"<a <b>", "", "<a <b>"}, TScanCase{"x<<>", "x", "<<>"},
                                         TScanCase{"<a href=\"x>y\">", "", "<a href=\"x>"}));

TEST(ScannerTest, Utf16LooksOnlyAtWholeCodeUnits) {
  // 9 bytes: four characters and an odd byte that is never looked at.
  CheckScan(true, Widen("ab<c") + ">", Widen("ab"), "");
  // '<' as a high byte or at an odd offset is not a '<' character.
  std::string tricky = std::string("\x3c\x01", 2) + Widen("x<y>");
  CheckScan(true, tricky, tricky.substr(0, 4), Widen("<y>"));
  CheckScan(true, std::string("A\x3c", 2) + std::string("\0>", 2), std::string("A\x3c\0>", 4), "");
}

TEST(ScannerTest, ResumedScanAgreesWithFreshScan) {
  const std::string page = "text<!-- c > -- d --><img src=a>tail<a";
  for (size_t cut = 0; cut <= page.size(); ++cut) {
    TTagScanState st;
    const auto *bytes = reinterpret_cast<const uint8_t *>(page.data());
    bool found = ScanForTag(false, bytes, cut, st);
    if (!found)
      found = ScanForTag(false, bytes, page.size(), st);
    TTagScanState fresh;
    const bool freshFound = ScanForTag(false, bytes, page.size(), fresh);
    ASSERT_EQ(found, freshFound) << cut;
    EXPECT_EQ(st.Pos, fresh.Pos) << cut;
    EXPECT_EQ(st.TagStart, fresh.TagStart) << cut;
  }
}

// Every tag of a page, with the text before it, as repeated ScanForTag calls
// cut them; the last entry is what follows the last tag.
std::vector<std::pair<size_t, size_t>> CutsOneByOne(bool unicode, const std::string &page) {
  std::vector<std::pair<size_t, size_t>> cuts;
  const auto *bytes = reinterpret_cast<const uint8_t *>(page.data());
  const size_t unit = unicode ? 2 : 1;
  size_t at = 0;
  for (;;) {
    TTagScanState st;
    const bool found = ScanForTag(unicode, bytes + at, page.size() - at, st);
    if (!found) {
      // A tag still open at the end is text, as the filter flushes it.
      cuts.emplace_back((page.size() - at) / unit, 0);
      return cuts;
    }
    cuts.emplace_back(st.TagStart, st.Pos - st.TagStart);
    at += st.Pos * unit;
  }
}

// The same from ScanForTags, fed the page in pieces that end at `ends` and
// taking at most `maxCuts` cuts a call, as the filter resumes it.
std::vector<std::pair<size_t, size_t>> CutsInBatches(bool unicode, const std::string &page,
                                                     const std::vector<size_t> &ends, size_t maxCuts) {
  std::vector<std::pair<size_t, size_t>> cuts;
  const auto *bytes = reinterpret_cast<const uint8_t *>(page.data());
  const size_t unit = unicode ? 2 : 1;
  TTagScanState st;
  std::vector<TTagCut> buf(maxCuts);
  size_t at = 0;   // bytes handed out
  size_t text = 0; // characters of text cut off while the data ran out
  for (size_t end : ends) {
    size_t n;
    do {
      n = ScanForTags(unicode, bytes + at, end - at, st, buf.data(), maxCuts);
      for (size_t k = 0; k < n; ++k) {
        text += buf[k].TextChars;
        at += (buf[k].TextChars + buf[k].TagChars) * unit;
        if (buf[k].TagChars) {
          cuts.emplace_back(text, buf[k].TagChars);
          text = 0;
        }
      }
    } while (buf[n - 1].TagChars);
  }
  // A tag still open at the end is text, as the filter flushes it.
  cuts.emplace_back(text + (page.size() - at) / unit, 0);
  return cuts;
}

TEST(ScannerTest, BatchedScanAgreesWithOneTagAtATime) {
  std::mt19937 rng(4711);
  static const char *const pieces[] = {"<",    ">",     "<!--", "-->",        "--", "-", "!",  "<a href=\"x\">",
                                       "</a>", "text ", "\n",   "<!-- c -->", "<b", "x", "<<", ">>"};
  for (int round = 0; round < 400; ++round) {
    std::string page;
    const size_t size = rng() % 400;
    while (page.size() < size)
      page += pieces[rng() % (sizeof pieces / sizeof *pieces)];
    // Long runs without a '<' or a '>' cross the 64-byte blocks in every way.
    if (round % 4 == 0)
      page.insert(rng() % (page.size() + 1), std::string(rng() % 200, 'y'));
    for (bool unicode : {false, true}) {
      const std::string data = unicode ? Widen(page) + (round % 3 ? "" : "Z") : page;
      std::vector<size_t> ends;
      for (size_t e = 0; e < data.size(); e += 1 + rng() % 100)
        ends.push_back(e);
      ends.push_back(data.size());
      const size_t maxCuts = 1 + rng() % 5;
      auto expected = CutsOneByOne(unicode, data);
      auto got = CutsInBatches(unicode, data, ends, maxCuts);
      ASSERT_EQ(got, expected) << "round " << round << (unicode ? " utf-16" : " 8-bit") << " page " << page;
    }
  }
}

struct TParseCase {
  std::string Tag;
  bool Result;
  std::string Name;
  std::vector<std::string> Names;
  std::vector<std::string> Values;
};

class ParserTest : public testing::TestWithParam<TParseCase> {};

TEST_P(ParserTest, GathersNameAndAttributesIn8BitAndUtf16) {
  const TParseCase &c = GetParam();
  for (bool unicode : {false, true}) {
    const std::string data = unicode ? Widen(c.Tag) : c.Tag;
    TTagParser p;
    p.AttrNames.Add("STALE", 5, false); // every parse starts clean
    EXPECT_EQ(p.Parse(unicode, reinterpret_cast<const uint8_t *>(data.data()), data.size()), c.Result) << c.Tag;
    EXPECT_EQ(p.TagName, c.Name) << c.Tag;
    EXPECT_EQ(p.AttrNames.ToVector(), c.Names) << c.Tag;
    EXPECT_EQ(p.AttrValues.ToVector(), c.Values) << c.Tag;

    // The filter's way: the attributes are found when first looked at, from
    // a copy, after the page's bytes have moved on.
    std::string page = data + std::string(TTagParser::ReadAhead, '>');
    TTagParser later;
    later.AttrValues.Add("STALE", 5, false);
    later.ParseNameFirst(unicode, reinterpret_cast<const uint8_t *>(page.data()), data.size());
    later.KeepOwnCopy();
    page.assign(page.size(), '=');
    EXPECT_EQ(later.TagName, c.Name) << c.Tag;
    EXPECT_EQ(later.AttrValues.ToVector(), c.Values) << c.Tag;
    EXPECT_EQ(later.AttrNames.ToVector(), c.Names) << c.Tag;
  }
}

using V = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(
    Cases, ParserTest,
    testing::Values(
        TParseCase{"<IMG src=a.gif WIDTH=\"10\" height='20' border>", true, "IMG",
                   V{"SRC", "WIDTH", "HEIGHT", "BORDER"}, V{"a.gif", "10", "20"}},
        TParseCase{"<a b c=1>", true, "A", V{"B", "C"}, V{"", "1"}},
        TParseCase{"<a href=\"x>", false, "A", V{"HREF"}, V{}}, TParseCase{"<a =x>", false, "A", V{}, V{}},
        TParseCase{"<a href='It''s'>", true, "A", V{"HREF", "'S'"}, V{"It"}},
        TParseCase{"<br/>", true, "BR/", V{}, V{}}, TParseCase{"<img src=x />", true, "IMG", V{"SRC", "/"}, V{"x"}},
        TParseCase{"<>", true, "", V{}, V{}}, TParseCase{"< a>", true, "", V{"A"}, V{}},
        TParseCase{"</body>", true, "/BODY", V{}, V{}}, TParseCase{"<!-- x > y -->", true, "!--", V{"X"}, V{}},
        TParseCase{"<a\tb = \"V a\"\r\nc=d>", true, "A", V{"B", "C"}, V{"V a", "d"}},
        TParseCase{"<a b= =c>", false, "A", V{"B"}, V{}}, TParseCase{"<a x=\"\">", true, "A", V{"X"}, V{""}},
        TParseCase{"<P ALIGN=center>", true, "P", V{"ALIGN"}, V{"center"}}, TParseCase{"<", true, "", V{}, V{}},
        TParseCase{"", true, "", V{}, V{}}, TParseCase{"<ab", true, "A", V{}, V{}}));

TEST(ParserTest, ResultsOutliveTheParsedBytesAndCopiesStandAlone) {
  TTagParser p;
  std::string tag = "<img src=a.gif alt='x y' border>";
  ASSERT_TRUE(p.Parse(false, reinterpret_cast<const uint8_t *>(tag.data()), tag.size()));
  tag.assign(tag.size(), '#');
  EXPECT_EQ(p.AttrNames.ToVector(), (V{"SRC", "ALT", "BORDER"}));
  EXPECT_EQ(p.AttrValues.ToVector(), (V{"a.gif", "x y"}));
  const TTagParser copy = p;
  const TTagStrings values = p.AttrValues;
  std::string next = "<a href=other title='t'>" + std::string(TTagParser::ReadAhead, ' ');
  p.ParseNameFirst(false, reinterpret_cast<const uint8_t *>(next.data()), next.size() - TTagParser::ReadAhead);
  // Copies taken before the attributes were looked at have them all the same.
  const TTagParser early = p;
  p.KeepOwnCopy();
  next.assign(next.size(), '<');
  EXPECT_EQ(p.GetAttribute("TITLE"), "t");
  EXPECT_EQ(early.AttrValues.ToVector(), (V{"other", "t"}));
  EXPECT_EQ(p.GetAttribute("href"), "other");
  EXPECT_EQ(copy.TagName, "IMG");
  EXPECT_EQ(copy.GetAttribute("ALT"), "x y");
  EXPECT_EQ(copy.AttrNames.ToVector(), (V{"SRC", "ALT", "BORDER"}));
  EXPECT_EQ(values.ToVector(), (V{"a.gif", "x y"}));
}

TEST(ParserTest, LongTokensAndTagsParseAsShortOnes) {
  // Names and values longer than any block the parser looks at in one go.
  const std::string name(40, 'n'), value(100, 'v');
  const std::string tag = "<" + name + " " + name + "=" + value + " q=\"" + value + "\"\t" + name + ">";
  for (bool unicode : {false, true}) {
    const std::string data = unicode ? Widen(tag) : tag;
    TTagParser p;
    EXPECT_TRUE(p.Parse(unicode, reinterpret_cast<const uint8_t *>(data.data()), data.size()));
    const std::string upper(40, 'N');
    EXPECT_EQ(p.TagName, upper);
    EXPECT_EQ(p.AttrNames.ToVector(), (V{upper, "Q", upper}));
    EXPECT_EQ(p.AttrValues.ToVector(), (V{value, value}));
  }
}

TEST(ParserTest, LooksUpAttributesIgnoringCase) {
  TTagParser p;
  const std::string tag = "<input value=x VALUE=y Name=\"Q\" flag>";
  p.Parse(false, reinterpret_cast<const uint8_t *>(tag.data()), tag.size());
  EXPECT_EQ(p.GetAttribute("VALUE"), "x");
  EXPECT_EQ(p.GetAttribute("value"), "x");
  EXPECT_EQ(p.GetAttribute("nAmE"), "Q");
  EXPECT_EQ(p.GetAttribute("flag"), "");
  EXPECT_EQ(p.GetAttribute("missing"), "");
}
} // namespace
