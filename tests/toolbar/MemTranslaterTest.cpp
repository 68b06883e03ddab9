#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolbar/services/MemTranslaterUnit.h"

using namespace kwo;

namespace {

std::vector<uint8_t> BytesOf(const TMemoryStream &s) { return std::vector<uint8_t>(s.Data(), s.Data() + s.Size()); }

TMemoryStream Reply(int32_t count, const std::vector<std::u16string> &texts) {
  TMemoryStream s;
  s.WriteInt32(count);
  for (const auto &t : texts)
    WriteWideStr(s, t);
  s.Rewind();
  return s;
}

TMemTranslater FileEditView() {
  TMemTranslater t;
  for (const char16_t *text : {u"View", u"file", u"Edit"})
    t.AddText(text);
  return t;
}

} // namespace

TEST(MemTranslater, PacketListsTextsSortedCaseInsensitively) {
  TMemTranslater t;
  t.AddText(u"b");
  t.AddText(u"A");
  TMemoryStream s;
  t.WriteTextsPacket(s);
  EXPECT_EQ(BytesOf(s), (std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 1, 0, 0, 0, 'b', 0}));

  TMemTranslater empty;
  TMemoryStream e;
  empty.WriteTextsPacket(e);
  EXPECT_EQ(BytesOf(e), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(MemTranslater, SameTextInOtherCaseIsKeptOnce) {
  TMemTranslater t;
  t.AddText(u"Clear All");
  t.AddText(u"CLEAR all");
  t.AddText(u"Clear All");
  EXPECT_EQ(t.SourceTexts(), (std::vector<std::u16string>{u"Clear All"}));
}

TEST(MemTranslater, TranslatesSourceTextsInAnyCase) {
  TMemTranslater t = FileEditView();
  TMemoryStream reply = Reply(3, {u"Bearbeiten", u"Datei", u"Ansicht"});
  t.ReadTranslationsPacket(reply);
  EXPECT_EQ(t.Translate(u"file"), u"Datei");
  EXPECT_EQ(t.Translate(u"FILE"), u"Datei");
  EXPECT_EQ(t.Translate(u"View"), u"Ansicht");
  // Never added: unchanged, though translations are there.
  EXPECT_EQ(t.Translate(u"Help"), u"Help");
  EXPECT_EQ(t.Translate(u""), u"");
}

// Every bad reply leaves the form untranslated, also after a good one.
TEST(MemTranslater, BadRepliesGiveNoTranslations) {
  std::vector<uint8_t> truncated = BytesOf(Reply(3, {u"Bearbeiten", u"Datei", u"Ansicht"}));
  truncated.pop_back();
  std::vector<uint8_t> huge = BytesOf(Reply(3, {u"a", u"b"}));
  for (int b : {0, 0, 0, 0x40, int('c'), 0})
    huge.push_back(static_cast<uint8_t>(b));
  std::vector<uint8_t> negative = BytesOf(Reply(3, {u"a", u"b"}));
  for (uint8_t b : {0xFEu, 0xFFu, 0xFFu, 0xFFu})
    negative.push_back(b);

  struct TCase {
    const char *Name;
    std::vector<uint8_t> Bytes;
  } cases[] = {
      {"empty", {}},
      {"short count", {3, 0}},
      {"one less", BytesOf(Reply(2, {u"a", u"b"}))},
      {"one more", BytesOf(Reply(4, {u"a", u"b", u"c", u"d"}))},
      {"negative count", BytesOf(Reply(-3, {u"a", u"b", u"c"}))},
      {"truncated string", truncated},
      {"overflowing length", huge},
      {"negative length", negative},
  };
  for (const TCase &c : cases) {
    TMemTranslater t = FileEditView();
    TMemoryStream good = Reply(3, {u"Bearbeiten", u"Datei", u"Ansicht"});
    t.ReadTranslationsPacket(good);
    ASSERT_EQ(t.Translate(u"file"), u"Datei");

    TMemoryStream s;
    BytesToStream(c.Bytes.data(), c.Bytes.size(), s);
    s.Rewind();
    t.ReadTranslationsPacket(s);
    EXPECT_TRUE(t.Translations().empty()) << c.Name;
    EXPECT_EQ(t.Translate(u"file"), u"file") << c.Name;
  }
}

// A text added after the reply shifts the indices: the old reply no longer
// matches and is not used.
TEST(MemTranslater, TextAddedAfterTheReplyMakesItUnused) {
  TMemTranslater t = FileEditView();
  TMemoryStream reply = Reply(3, {u"Bearbeiten", u"Datei", u"Ansicht"});
  t.ReadTranslationsPacket(reply);
  t.AddText(u"About");
  EXPECT_EQ(t.Translate(u"file"), u"file");
  EXPECT_EQ(t.Translate(u"About"), u"About");
}
