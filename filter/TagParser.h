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

// A text run (maybe empty) and the tag after it, in characters. A cut with no
// tag ends a scan: its text runs to the end of the data or to a tag that is
// still open.
struct TTagCut {
  size_t TextChars;
  size_t TagChars; // 0: no tag
};

// Cuts data[0, byteCount) into at most `maxCuts` cuts, resuming `state`, as
// repeated ScanForTag calls would. The data ran out when the last cut returned
// has no tag; then `state` is where to resume once there is more.
size_t ScanForTags(bool isUnicode, const uint8_t *data, size_t byteCount, TTagScanState &state, TTagCut *cuts,
                   size_t maxCuts);

void FindNextTag(bool isUnicode, const uint8_t *data, size_t byteCount, const uint8_t *&textStart, size_t &textBytes,
                 const uint8_t *&tagStart, size_t &tagBytes);

class TTagParser;

// A list of 8-bit strings that keeps its strings' storage between parses, so a
// parser reused for every tag of a page stops allocating once warmed up. The
// strings a parse finds are made from the tag only when first asked for.
class TTagStrings {
public:
  TTagStrings() = default;
  // A copy holds its strings itself, apart from the parser's tag.
  TTagStrings(const TTagStrings &other);
  TTagStrings &operator=(const TTagStrings &other);

  size_t size() const {
    Settle();
    return FCount;
  }
  bool empty() const { return size() == 0; }
  const std::string &operator[](size_t i) const {
    Settle();
    if (FSlices[i].Pending)
      Make(i);
    return FItems[i];
  }
  const std::string *begin() const {
    Settle();
    MakeAll();
    return FItems.data();
  }
  const std::string *end() const { return begin() + FCount; }
  std::vector<std::string> ToVector() const { return {begin(), end()}; }

  void Clear() {
    Settle();
    FCount = 0;
  }
  void Add(const char *p, size_t n, bool upperCase);

private:
  friend class TTagParser;

  // Bytes of the tag that FBase points to, not yet made a string.
  struct TSlice {
    size_t Offset, Length;
    bool Upper, Pending;
  };

  void AddSlice(size_t offset, size_t n, bool upperCase) {
    if (FCount == FItems.size())
      Grow();
    FSlices[FCount++] = {offset, n, upperCase, true};
  }
  void Grow();
  void Make(size_t i) const;
  void MakeAll() const;
  // Lets a parser that put off finding its attributes find them now.
  void Settle() const {
    if (FOwner)
      SettleOwner();
  }
  void SettleOwner() const;
  void Reset() {
    FOwner = nullptr;
    FCount = 0;
  }

  mutable std::vector<std::string> FItems;
  mutable std::vector<TSlice> FSlices; // one for each of FItems
  const char *FBase = nullptr;         // the parser's copy of its last tag
  size_t FCount = 0;
  TTagParser *FOwner = nullptr; // the parser, while it has put off finding this list
};

class TTagParser {
public:
  std::string TagName;
  TTagStrings AttrNames;
  TTagStrings AttrValues;

  bool Parse(bool isUnicode, const uint8_t *data, size_t byteCount);
  // Parse for a tag followed by at least ReadAhead more bytes that may be read,
  // which spares copying it first.
  static constexpr size_t ReadAhead = 16;
  bool ParseFollowed(bool isUnicode, const uint8_t *data, size_t byteCount);
  // ParseFollowed that finds the tag's name now and its attributes when they
  // are first looked at, for a filter that lets most tags pass unlooked-at.
  // Until the next parse or KeepOwnCopy, the bytes must stay as they are.
  void ParseNameFirst(bool isUnicode, const uint8_t *data, size_t byteCount);
  // Copies the tag ParseNameFirst was given, so that its bytes may change.
  void KeepOwnCopy();
  std::string GetAttribute(std::string_view name) const;

private:
  friend class TTagStrings;

  bool ParseAnsi(const uint8_t *tag, size_t byteCount);
  size_t ParseName(const uint8_t *tag, size_t byteCount);
  bool ParseAttributes(const uint8_t *tag, size_t byteCount, size_t from);
  void FindAttributes();
  void KeepTag(const uint8_t *data, size_t byteCount);
  void ResetResults();

  // The tag of the last ParseNameFirst: the caller's bytes until KeepOwnCopy,
  // then FTag. The search for its attributes, when put off, starts at
  // FAttributesFrom.
  const uint8_t *FTagAt = nullptr;
  size_t FTagBytes = 0;
  size_t FAttributesFrom = 0;
  std::string FConverted;    // a UTF-16 tag in the system code page
  std::vector<uint8_t> FTag; // the tag being parsed, with room to read past its end
};

// Upper-cases a-z only, as tag and attribute names are compared.
void UpperCaseAscii(std::string &s);
bool SameTextAscii(std::string_view a, std::string_view b);
