#include "MemTranslaterUnit.h"

#include <cstdint>

namespace kwo {

std::pair<size_t, bool> TMemTranslater::Find(std::u16string_view text) const {
  size_t low = 0, high = FSourceTexts.size();
  while (low < high) {
    const size_t mid = low + (high - low) / 2;
    const int c = CompareTextLocale(FSourceTexts[mid], text);
    if (c == 0)
      return {mid, true};
    if (c < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return {low, false};
}

void TMemTranslater::AddText(std::u16string_view text) {
  const auto [index, found] = Find(text);
  if (!found)
    FSourceTexts.insert(FSourceTexts.begin() + static_cast<std::ptrdiff_t>(index), std::u16string(text));
}

void TMemTranslater::WriteTextsPacket(TMemoryStream &stream) const {
  stream.WriteInt32(static_cast<int32_t>(FSourceTexts.size()));
  for (const std::u16string &text : FSourceTexts)
    WriteWideStr(stream, text);
}

void TMemTranslater::ReadTranslationsPacket(TMemoryStream &stream) {
  FTranslations.clear();
  int32_t count = 0;
  if (!stream.ReadInt32(count) || count < 0 || static_cast<size_t>(count) != FSourceTexts.size())
    return;
  std::vector<std::u16string> translations;
  translations.reserve(FSourceTexts.size());
  std::u16string text;
  for (int32_t i = 0; i < count; ++i) {
    // An overflowing length is as unusable as a truncated string, and a bad
    // reply is never reported.
    if (TryReadWideStr(stream, text) != EWideStrRead::Ok)
      return;
    translations.push_back(std::move(text));
  }
  FTranslations = std::move(translations);
}

std::u16string TMemTranslater::Translate(std::u16string_view text) const {
  const auto [index, found] = Find(text);
  if (found && FTranslations.size() >= FSourceTexts.size())
    return FTranslations[index];
  return std::u16string(text);
}

} // namespace kwo
