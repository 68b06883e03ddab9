// The variant side of the stream helpers and the translator.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <string>
#include <vector>

#include "com/SafeArray.h"
#include "com/Variant.h"
#include "toolbar/services/MemTranslaterUnit.h"
#include "toolbar/services/StreamUtils.h"

using namespace kwo;

namespace {

std::vector<uint8_t> BytesOf(const TMemoryStream &s) { return std::vector<uint8_t>(s.Data(), s.Data() + s.Size()); }

// A one-dimensional array of `type` with the given bounds, filled from `bytes`.
com::Variant ArrayVariant(VARTYPE type, LONG lower, const std::vector<uint8_t> &bytes, ULONG count) {
  SAFEARRAYBOUND bound{count, lower};
  SAFEARRAY *array = SafeArrayCreate(type, 1, &bound);
  EXPECT_NE(array, nullptr);
  {
    com::SafeArrayAccess access(array);
    if (!bytes.empty())
      memcpy(access.Data(), bytes.data(), bytes.size());
  }
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_ARRAY | type;
  v.parray = array;
  return com::Variant::Attach(v);
}

com::Variant ByteVariant(const std::vector<uint8_t> &bytes, LONG lower = 0) {
  return ArrayVariant(VT_UI1, lower, bytes, static_cast<ULONG>(bytes.size()));
}

TMemoryStream Untouched() {
  TMemoryStream s;
  s.Write("keep", 4);
  s.SetPosition(1);
  return s;
}

} // namespace

TEST(ByteArrays, StreamBecomesAZeroBasedByteArrayOfItsWholeContent) {
  for (size_t size : {size_t(0), size_t(1), size_t(5000)}) {
    TMemoryStream s;
    for (size_t i = 0; i < size; ++i) {
      const uint8_t b = static_cast<uint8_t>(i * 7);
      s.Write(&b, 1);
    }
    s.SetPosition(size / 2); // the position does not matter
    com::Variant out(std::wstring_view(L"old value"));
    StreamToByteArray(s, out);
    ASSERT_EQ(out.Type(), VT_ARRAY | VT_UI1);
    SAFEARRAY *array = out.Get().parray;
    LONG lower = -1, upper = -2;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    EXPECT_EQ(SafeArrayGetDim(array), 1u);
    EXPECT_EQ(lower, 0);
    EXPECT_EQ(upper, static_cast<LONG>(size) - 1);
    com::SafeArrayAccess access(array);
    EXPECT_EQ(std::vector<uint8_t>(access.As<uint8_t>(), access.As<uint8_t>() + access.Count()), BytesOf(s));
  }
}

TEST(ByteArrays, ByteArrayReplacesTheStreamWithAllItsBytes) {
  TMemoryStream s = Untouched();
  ByteArrayToStream(ByteVariant({1, 2, 3}).Get(), s);
  EXPECT_EQ(BytesOf(s), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(s.Position(), 3u);

  // Low to high bound, whatever the low bound is.
  ByteArrayToStream(ByteVariant({9, 8}, 5).Get(), s);
  EXPECT_EQ(BytesOf(s), (std::vector<uint8_t>{9, 8}));

  ByteArrayToStream(ByteVariant({}).Get(), s);
  EXPECT_EQ(s.Size(), 0u);

  // By reference, as a reply through an [in, out] argument comes.
  com::Variant held = ByteVariant({4, 5});
  SAFEARRAY *array = held.Get().parray;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_BYREF | VT_ARRAY | VT_UI1;
  ref.pparray = &array;
  ByteArrayToStream(ref, s);
  EXPECT_EQ(BytesOf(s), (std::vector<uint8_t>{4, 5}));
}

TEST(ByteArrays, AnythingButAOneDimensionalByteArrayLeavesTheStreamAlone) {
  std::vector<com::Variant> values;
  values.emplace_back();
  values.emplace_back(7L);
  values.emplace_back(std::wstring_view(L"\x0201\x0403"));
  values.push_back(ArrayVariant(VT_I4, 0, {1, 0, 0, 0, 2, 0, 0, 0}, 2));
  {
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreate(VT_UI1, 2, bounds);
    values.push_back(com::Variant::Attach(v));
  }
  for (const com::Variant &value : values) {
    TMemoryStream s = Untouched();
    ByteArrayToStream(value.Get(), s);
    EXPECT_EQ(BytesOf(s), (std::vector<uint8_t>{'k', 'e', 'e', 'p'})) << value.Type();
    EXPECT_EQ(s.Position(), 1u);
  }
  VARIANT nullArray;
  VariantInit(&nullArray);
  nullArray.vt = VT_ARRAY | VT_UI1;
  nullArray.parray = nullptr;
  TMemoryStream s = Untouched();
  ByteArrayToStream(nullArray, s);
  EXPECT_EQ(s.Size(), 4u);
}

TEST(TranslationPackets, TextsGoOutAndTranslationsComeBackAsByteArrays) {
  TMemTranslater t;
  t.AddText(L"b");
  t.AddText(L"A");
  com::Variant packet(5L);
  t.GetTextsPacket(packet);
  ASSERT_EQ(packet.Type(), VT_ARRAY | VT_UI1);
  {
    com::SafeArrayAccess access(packet.Get().parray);
    EXPECT_EQ(std::vector<uint8_t>(access.As<uint8_t>(), access.As<uint8_t>() + access.Count()),
              (std::vector<uint8_t>{2, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 1, 0, 0, 0, 'b', 0}));
  }

  TMemoryStream reply;
  reply.WriteInt32(2);
  WriteWideStr(reply, u"\u00C4");
  WriteWideStr(reply, u"Be");
  com::Variant answer;
  StreamToByteArray(reply, answer);
  t.SetTranslationsPacket(answer.Get());
  EXPECT_EQ(t.Translate(L"a"), L"\u00C4");
  EXPECT_EQ(t.Translate(L"B"), L"Be");

  // A failed host call leaves an empty variant; not-an-array replies alike.
  const com::Variant failed[] = {com::Variant(), com::Variant(2L), com::Variant(std::wstring_view(L"xx"))};
  for (const com::Variant &value : failed) {
    t.SetTranslationsPacket(answer.Get());
    t.SetTranslationsPacket(value.Get());
    EXPECT_TRUE(t.Translations().empty()) << value.Type();
    EXPECT_EQ(t.Translate(L"a"), L"a");
  }
}

TEST(TranslationPackets, UserLocaleOrdersAndMatchesLettersBeyondAscii) {
  TMemTranslater t;
  for (const wchar_t *text : {L"\u00E9t\u00E9", L"Zebra", L"abc", L"\u00C9T\u00C9"})
    t.AddText(text);
  ASSERT_EQ(t.SourceTexts().size(), 3u);
  EXPECT_EQ(t.SourceTexts()[0], u"abc");
  EXPECT_EQ(t.SourceTexts()[2], u"Zebra");
  // An empty text without storage still sorts first and is a text of its own.
  EXPECT_EQ(CompareTextLocale(std::u16string_view(), u"a"), -1);
  EXPECT_EQ(CompareTextLocale(u"a", std::u16string_view()), 1);
  EXPECT_EQ(CompareTextLocale(std::u16string_view(), u""), 0);
  t.AddText(std::u16string_view());
  EXPECT_EQ(t.SourceTexts().size(), 4u);
}
