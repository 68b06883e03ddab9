// Cuts raw page bytes into text runs and tags, and parses one tag at a time.
// Portable: no platform headers, no allocation per character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Where a scan of a growing buffer stopped without finding a complete tag.
// Offsets are in characters from the front of the buffer; a scan that resumes
// from here gives exactly what a fresh scan of the whole buffer would.
struct TTagScanState {
  static constexpr size_t NoTag = static_cast<size_t>(-1);
  size_t Pos = 0;          // next character to look at
  size_t TagStart = NoTag; // the open tag's '<', NoTag outside a tag
  bool IsComment = false;

  void Reset() { *this = TTagScanState(); }
  // The front `chars` characters were removed from the buffer.
  void Shift(size_t chars);
};

// Resumes `state` over data[0, byteCount) and returns true when a complete tag
// was found; then `state` describes it (text = TagStart chars, tag = Pos -
// TagStart chars). Otherwise `state` records where to resume.
bool ScanForTag(bool isUnicode, const uint8_t *data, size_t byteCount, TTagScanState &state);

void FindNextTag(bool isUnicode, const uint8_t *data, size_t byteCount, const uint8_t *&textStart, size_t &textBytes,
                 const uint8_t *&tagStart, size_t &tagBytes);

// A list of 8-bit strings that keeps its strings' storage between parses, so a
// parser reused for every tag of a page stops allocating once warmed up.
class TTagStrings {
public:
  size_t size() const { return FCount; }
  bool empty() const { return FCount == 0; }
  const std::string &operator[](size_t i) const { return FItems[i]; }
  const std::string *begin() const { return FItems.data(); }
  const std::string *end() const { return FItems.data() + FCount; }
  std::vector<std::string> ToVector() const { return {begin(), end()}; }

  void Clear() { FCount = 0; }
  void Add(const char *p, size_t n, bool upperCase);

private:
  std::vector<std::string> FItems;
  size_t FCount = 0;
};

class TTagParser {
public:
  std::string TagName;
  TTagStrings AttrNames;
  TTagStrings AttrValues;

  bool Parse(bool isUnicode, const uint8_t *data, size_t byteCount);
  std::string GetAttribute(std::string_view name) const;

private:
  bool ParseAnsi(const char *data, size_t byteCount);
  std::string FConverted; // a UTF-16 tag in the system code page
};

// Upper-cases a-z only, as tag and attribute names are compared.
void UpperCaseAscii(std::string &s);
bool SameTextAscii(std::string_view a, std::string_view b);
