// Translations of a form's English texts: the texts go to the host in one
// packet, and the host's reply gives each one its wording in the user's
// language.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "StreamUtils.h"

#ifdef _WIN32
#include "com/Variant.h"
#endif

namespace kwo {

// Case-insensitive comparison under the user's default locale: <0, 0, >0.
int CompareTextLocale(std::u16string_view a, std::u16string_view b);

class TMemTranslater {
public:
  // Kept sorted; a text that is already there (in any letter case) is not
  // added again.
  void AddText(std::u16string_view text);
  const std::vector<std::u16string> &SourceTexts() const { return FSourceTexts; }
  const std::vector<std::u16string> &Translations() const { return FTranslations; }

  // The count of source texts, then each one in sorted order.
  void WriteTextsPacket(TMemoryStream &stream) const;
  // Takes the host's reply from the stream's position on. A reply whose
  // count differs from the number of source texts, or that ends early, gives
  // no translations at all.
  void ReadTranslationsPacket(TMemoryStream &stream);
  void ClearTranslations() { FTranslations.clear(); }

  // The translation of a source text, or the text itself.
  std::u16string Translate(std::u16string_view text) const;

#ifdef _WIN32
  void AddText(std::wstring_view text) { AddText(AsU16(text)); }
  std::wstring Translate(std::wstring_view text) const { return std::wstring(AsWide(Translate(AsU16(text)))); }
  // `out` is emptied first, then receives the texts packet as a byte array.
  void GetTextsPacket(com::Variant &out) const;
  // Takes the host's reply, whatever it is; anything but a byte array of
  // the right count gives no translations.
  void SetTranslationsPacket(const VARIANT &reply);
#endif

private:
  // Index of the text, or of where it would go, and whether it is there.
  std::pair<size_t, bool> Find(std::u16string_view text) const;

  std::vector<std::u16string> FSourceTexts;
  std::vector<std::u16string> FTranslations;
};

} // namespace kwo
