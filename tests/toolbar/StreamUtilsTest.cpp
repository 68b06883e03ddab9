#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "toolbar/services/StreamUtils.h"
#include "toolbar/services/ZUSystem.h"

using namespace kwo;

namespace {

TMemoryStream StreamOf(const std::vector<uint8_t> &bytes) {
  TMemoryStream s;
  BytesToStream(bytes.data(), bytes.size(), s);
  s.Rewind();
  return s;
}

std::vector<uint8_t> BytesOf(const TMemoryStream &s) { return std::vector<uint8_t>(s.Data(), s.Data() + s.Size()); }

} // namespace

TEST(MemoryStream, WritesOverReadsUpToTheEndAndClampsThePosition) {
  TMemoryStream s;
  s.Write("abcdef", 6);
  s.SetPosition(2);
  s.Write("XY", 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char *>(s.Data()), s.Size()), "abXYef");
  s.SetPosition(100);
  EXPECT_EQ(s.Position(), 6u);
  s.SetPosition(3);
  char out[8] = {};
  EXPECT_EQ(s.Read(out, sizeof out), 3u);
  EXPECT_STREQ(out, "Yef");
  EXPECT_EQ(s.Read(out, 1), 0u);

  // A short integer leaves the position where it was.
  TMemoryStream t = StreamOf({1, 2, 3});
  int32_t v = 99;
  EXPECT_FALSE(t.ReadInt32(v));
  EXPECT_EQ(v, 99);
  EXPECT_EQ(t.Position(), 0u);
}

TEST(StreamStrings, WriteLaysOutLittleEndianLengthAndCodeUnits) {
  TMemoryStream s;
  WriteWideStr(s, u"A\u20AC");
  WriteWideStr(s, u"");
  EXPECT_EQ(BytesOf(s), (std::vector<uint8_t>{2, 0, 0, 0, 'A', 0, 0xAC, 0x20, 0, 0, 0, 0}));
  TMemoryStream n;
  n.WriteInt32(-2);
  EXPECT_EQ(BytesOf(n), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(StreamStrings, ReadReportsShortAndNegativeLengths) {
  struct TCase {
    const char *Name;
    std::vector<uint8_t> Bytes;
    bool Ok;
    std::u16string Text;
  } cases[] = {
      {"two bytes", {1, 0}, false, u""},
      {"zero", {0, 0, 0, 0}, true, u""},
      {"negative", {0xFF, 0xFF, 0xFF, 0xFF, 'a', 0}, false, u""},
      {"one unit short", {2, 0, 0, 0, 'a', 0}, false, u""},
      {"odd byte short", {1, 0, 0, 0, 'a'}, false, u""},
      {"exact", {2, 0, 0, 0, 'h', 0, 'i', 0}, true, u"hi"},
      {"trailing bytes", {1, 0, 0, 0, 'h', 0, 7}, true, u"h"},
      // Far more than is there, just below the overflow: nothing is allocated.
      {"huge", {0xFF, 0xFF, 0xFF, 0x3F, 'a', 0}, false, u""},
  };
  for (const TCase &c : cases) {
    TMemoryStream s = StreamOf(c.Bytes);
    std::u16string text = u"stale";
    EXPECT_EQ(ReadWideStr(s, text), c.Ok) << c.Name;
    EXPECT_EQ(text, c.Text) << c.Name;
    EXPECT_LE(s.Position(), s.Size()) << c.Name;
  }
}

TEST(StreamStrings, LengthWhoseByteCountOverflowsRaisesAnOverflowError) {
  for (uint8_t top : {0x40, 0x7F}) {
    TMemoryStream s = StreamOf({0, 0, 0, top, 'a', 0});
    std::u16string text;
    EXPECT_THROW(ReadWideStr(s, text), EIntOverflow);
    s.Rewind();
    EXPECT_EQ(TryReadWideStr(s, text), EWideStrRead::Overflow);
  }
}

TEST(StreamStrings, RoundTripKeepsEveryCodeUnit) {
  const std::u16string texts[] = {u"",
                                  u"plain",
                                  std::u16string(u"nul\0inside", 10),
                                  u"\xD83D\xDE00 pair",
                                  u"\xDC00 lone",
                                  std::u16string(70000, u'w')};
  TMemoryStream s;
  for (const auto &t : texts)
    WriteWideStr(s, t);
  s.Rewind();
  for (const auto &t : texts) {
    std::u16string read;
    ASSERT_TRUE(ReadWideStr(s, read));
    EXPECT_EQ(read, t);
  }
  EXPECT_EQ(s.Remaining(), 0u);
  std::u16string read;
  EXPECT_FALSE(ReadWideStr(s, read));
}
