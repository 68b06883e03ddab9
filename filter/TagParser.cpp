#include "TagParser.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define ZU_HAVE_SSE2 1
#endif

#include "AnsiConvert.h"

namespace {

// Most searches end within a few bytes (the next '<' of a page, the '>' of a
// tag), where a library call costs more than the search; long ones go to memchr.
constexpr size_t ShortSearch = 64;

// First byte in [p, e) that is `c`, or e.
inline const uint8_t *FindByte(const uint8_t *p, const uint8_t *e, uint8_t c) {
  const uint8_t *const shortEnd = e - p > static_cast<ptrdiff_t>(ShortSearch) ? p + ShortSearch : e;
#ifdef ZU_HAVE_SSE2
  const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
  for (; shortEnd - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if (const int m = _mm_movemask_epi8(_mm_cmpeq_epi8(v, vc)))
      return p + __builtin_ctz(static_cast<unsigned>(m));
  }
#endif
  for (; p < shortEnd; ++p)
    if (*p == c)
      return p;
  if (p == e)
    return e;
  const void *hit = std::memchr(p, c, static_cast<size_t>(e - p));
  return hit ? static_cast<const uint8_t *>(hit) : e;
}

// First UTF-16 code unit in [from, n) that is the ASCII character `c`, or n.
size_t FindUnit(const uint8_t *data, size_t from, size_t n, uint8_t c) {
  size_t i = from;
#ifdef ZU_HAVE_SSE2
  const __m128i vc = _mm_set1_epi16(static_cast<short>(c));
  for (; n - i >= 8; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 2 * i));
    if (const int m = _mm_movemask_epi8(_mm_cmpeq_epi16(v, vc)))
      return i + __builtin_ctz(static_cast<unsigned>(m)) / 2;
  }
#endif
  for (; i < n; ++i)
    if (data[2 * i] == c && data[2 * i + 1] == 0)
      return i;
  return n;
}

// The page seen as 8-bit characters or as little-endian UTF-16 code units.
template <bool Wide> struct TChars {
  const uint8_t *Data;
  size_t Count;

  bool Is(size_t i, char c) const {
    if (Wide)
      return Data[2 * i] == static_cast<uint8_t>(c) && Data[2 * i + 1] == 0;
    return Data[i] == static_cast<uint8_t>(c);
  }
  // First character at or after `from` that is `c`, or Count.
  size_t Find(size_t from, char c) const {
    if (from >= Count)
      return Count;
    if (Wide)
      return FindUnit(Data, from, Count, static_cast<uint8_t>(c));
    return static_cast<size_t>(FindByte(Data + from, Data + Count, static_cast<uint8_t>(c)) - Data);
  }
};

template <bool Wide> bool Scan(const TChars<Wide> s, TTagScanState &st) {
  const size_t n = s.Count;
  if (st.TagStart == TTagScanState::NoTag) {
    const size_t lt = s.Find(st.Pos, '<');
    if (lt == n) {
      st.Pos = n;
      return false;
    }
    st.TagStart = lt;
    st.Pos = lt + 1;
  }
  const size_t t = st.TagStart;
  if (!st.IsComment && st.Pos <= t + 3) {
    // Whether it is a comment shows only at the fourth character; until then a
    // '>' ends it as any tag.
    size_t k = 1;
    while (k <= 3 && t + k < n && s.Is(t + k, "!--"[k - 1]))
      ++k;
    if (k == 4) {
      st.IsComment = true;
      st.Pos = t + 4;
    } else if (t + k == n) {
      st.Pos = n;
      return false;
    }
  }
  for (;;) {
    const size_t gt = s.Find(st.Pos, '>');
    if (gt == n) {
      st.Pos = n;
      return false;
    }
    st.Pos = gt + 1;
    if (!st.IsComment || (gt - t + 1 >= 7 && s.Is(gt - 1, '-') && s.Is(gt - 2, '-')))
      return true;
  }
}

enum : uint8_t { Blank = 1, Equals = 2, Close = 4 };

#ifndef ZU_HAVE_SSE2
constexpr std::array<uint8_t, 256> CharClass = [] {
  std::array<uint8_t, 256> t{};
  t[9] = t[10] = t[13] = t[32] = Blank;
  t['='] = Equals;
  t['>'] = Close;
  return t;
}();
#endif

inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// clear() and append() keep the string's storage and skip assign()'s checks
// for overlapping source and target.
inline void AssignBytes(std::string &s, const uint8_t *p, size_t n) {
  s.clear();
  s.append(reinterpret_cast<const char *>(p), n);
}

void AssignUpper(std::string &s, const uint8_t *p, size_t n) {
  AssignBytes(s, p, n);
  for (char &c : s)
    c = UpperAscii(c);
}

// What ends a token: a blank or '>'; a blank, '=' or '>'; anything but a blank.
enum class TStop { Word, Name, NonBlank };

#ifdef ZU_HAVE_SSE2
inline __m128i Load16(const uint8_t *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
inline __m128i Is(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
inline unsigned Bits(__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); }
#endif

// The first byte in [p, e) that ends a token of kind K, or e. Reads up to 15
// bytes past e.
template <TStop K> inline const uint8_t *Seek(const uint8_t *p, const uint8_t *e) {
#ifdef ZU_HAVE_SSE2
  for (; p < e; p += 16) {
    const __m128i v = Load16(p);
    const __m128i blank = _mm_or_si128(_mm_or_si128(Is(v, ' '), Is(v, '\t')), _mm_or_si128(Is(v, '\n'), Is(v, '\r')));
    unsigned m;
    if constexpr (K == TStop::NonBlank)
      m = Bits(blank) ^ 0xFFFFu;
    else if constexpr (K == TStop::Word)
      m = Bits(_mm_or_si128(blank, Is(v, '>')));
    else
      m = Bits(_mm_or_si128(blank, _mm_or_si128(Is(v, '>'), Is(v, '='))));
    if (m) {
      const uint8_t *q = p + __builtin_ctz(m);
      return q < e ? q : e;
    }
  }
  return e;
#else
  const uint8_t stop = K == TStop::Word ? Blank | Close : Blank | Equals | Close;
  for (; p < e; ++p)
    if (K == TStop::NonBlank ? CharClass[*p] != Blank : (CharClass[*p] & stop) != 0)
      return p;
  return e;
#endif
}

inline bool IsBlankByte(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Seek<NonBlank> for where a single blank is the rule: looks at two bytes
// before it searches.
inline const uint8_t *SkipBlanks(const uint8_t *p, const uint8_t *e) {
  if (p < e && IsBlankByte(*p))
    ++p;
  if (p < e && IsBlankByte(*p))
    return Seek<TStop::NonBlank>(p + 1, e);
  return p;
}

// The first byte in [p, e) that is `quote` or '>', or e. Reads up to 15 bytes
// past e.
inline const uint8_t *SeekQuote(const uint8_t *p, const uint8_t *e, char quote) {
#ifdef ZU_HAVE_SSE2
  for (; p < e; p += 16) {
    const __m128i v = Load16(p);
    if (const unsigned m = Bits(_mm_or_si128(Is(v, quote), Is(v, '>')))) {
      const uint8_t *q = p + __builtin_ctz(m);
      return q < e ? q : e;
    }
  }
  return e;
#else
  for (; p < e; ++p)
    if (*p == quote || *p == '>')
      return p;
  return e;
#endif
}

// AssignUpper for a token followed by at least 16 readable bytes.
inline void AssignUpperPadded(std::string &s, const uint8_t *p, size_t n) {
#ifdef ZU_HAVE_SSE2
  if (n <= 16) {
    const __m128i v = Load16(p);
    const __m128i lower =
        _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('z' + 1)));
    char upper[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(upper), _mm_sub_epi8(v, _mm_and_si128(lower, _mm_set1_epi8(0x20))));
    // A copy of a fixed size is made inline, not by a library call; the string
    // keeps the room for it after the first time.
    s.clear();
    s.append(upper, 16);
    s.erase(n);
    return;
  }
#endif
  AssignUpper(s, p, n);
}

} // namespace

void TTagScanState::Shift(size_t chars) {
  Pos -= chars;
  if (TagStart != NoTag)
    TagStart -= chars;
}

bool ScanForTag(bool isUnicode, const uint8_t *data, size_t byteCount, TTagScanState &st) {
  if (isUnicode)
    return Scan(TChars<true>{data, byteCount / 2}, st);
  return Scan(TChars<false>{data, byteCount}, st);
}

namespace {

// One cut from `st` on by the scan that handles every case; false when it is
// the last one.
template <bool Wide> bool CutOne(const TChars<Wide> s, TTagScanState &st, TTagCut &cut) {
  const bool found = Scan(s, st);
  const size_t text = st.TagStart == TTagScanState::NoTag ? st.Pos : st.TagStart;
  cut = {text, found ? st.Pos - text : 0};
  if (found)
    st.Reset();
  else
    st.Shift(text);
  return found;
}

#ifdef ZU_HAVE_SSE2
// Bit i set where data[i] is '<' (first) or '>' (second), 64 bytes.
inline void BracketMasks(const uint8_t *p, uint64_t &lt, uint64_t &gt) {
  const __m128i vl = _mm_set1_epi8('<'), vg = _mm_set1_epi8('>');
  lt = gt = 0;
  for (unsigned k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
    lt |= uint64_t(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vl)))) << (16 * k);
    gt |= uint64_t(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vg)))) << (16 * k);
  }
}

// The 8-bit scan for pages with many short tags: each 64 bytes are looked at
// once to find all their '<' and '>', and the cuts follow from the bits.
// Comments and tags near the end of the data go to the general scan.
size_t ScanForTags8(const uint8_t *d, size_t n, TTagScanState &st, TTagCut *cuts, size_t maxCuts) {
  size_t count = 0;
  size_t base = 0; // where the next cut's text starts
  if (st.TagStart != TTagScanState::NoTag || st.Pos != 0) {
    if (!CutOne(TChars<false>{d, n}, st, cuts[0]))
      return 1;
    base = cuts[0].TextChars + cuts[0].TagChars;
    count = 1;
  }
  st.Reset();
  // The tags whose '<' lies in the 64 bytes from b, from bit `at` on.
  for (size_t b = base, at = 0; count < maxCuts;) {
    if (b >= n) {
      cuts[count++] = {n - base, 0};
      return count;
    }
    uint64_t lt, gt;
    if (n - b >= 64) {
      BracketMasks(d + b, lt, gt);
    } else {
      uint8_t tail[64] = {};
      std::memcpy(tail, d + b, n - b);
      BracketMasks(tail, lt, gt);
    }
    size_t next = b + 64; // where to look on when this block is done
    while (count < maxCuts) {
      const uint64_t l = lt & (~uint64_t(0) << at);
      if (!l)
        break;
      const size_t bit = static_cast<size_t>(__builtin_ctzll(l));
      const size_t t = b + bit;
      if (n - t < 4 || (d[t + 1] == '!' && d[t + 2] == '-' && d[t + 3] == '-')) {
        // Comments, and tags too near the end to tell, go to the general scan.
        st.Pos = t - base;
        TTagCut &cut = cuts[count++];
        if (!CutOne(TChars<false>{d + base, n - base}, st, cut))
          return count;
        base += cut.TextChars + cut.TagChars;
        next = base;
        break;
      }
      const uint64_t g = bit == 63 ? 0 : gt & (~uint64_t(0) << (bit + 1));
      size_t e;
      if (g) {
        e = b + static_cast<size_t>(__builtin_ctzll(g)) + 1;
      } else {
        e = static_cast<size_t>(FindByte(d + b + 64 < d + n ? d + b + 64 : d + n, d + n, '>') - d) + 1;
        if (e > n) {
          // Still open when the data ran out: what comes before it is text.
          cuts[count++] = {t - base, 0};
          st.TagStart = 0;
          st.Pos = n - t;
          return count;
        }
      }
      cuts[count++] = {t - base, e - t};
      base = e;
      if (e - b >= 64) {
        next = e;
        break;
      }
      at = e - b;
    }
    b = next;
    at = 0;
  }
  return count;
}
#endif

} // namespace

size_t ScanForTags(bool isUnicode, const uint8_t *data, size_t byteCount, TTagScanState &st, TTagCut *cuts,
                   size_t maxCuts) {
#ifdef ZU_HAVE_SSE2
  if (!isUnicode)
    return ScanForTags8(data, byteCount, st, cuts, maxCuts);
#endif
  const size_t unit = isUnicode ? 2 : 1;
  size_t count = 0;
  size_t at = 0;
  while (count < maxCuts) {
    TTagCut &cut = cuts[count++];
    const bool more = isUnicode ? CutOne(TChars<true>{data + at, (byteCount - at) / 2}, st, cut)
                                : CutOne(TChars<false>{data + at, byteCount - at}, st, cut);
    if (!more)
      break;
    at += (cut.TextChars + cut.TagChars) * unit;
  }
  return count;
}

void FindNextTag(bool isUnicode, const uint8_t *data, size_t byteCount, const uint8_t *&textStart, size_t &textBytes,
                 const uint8_t *&tagStart, size_t &tagBytes) {
  TTagScanState st;
  const size_t unit = isUnicode ? 2 : 1;
  const bool found = ScanForTag(isUnicode, data, byteCount, st);
  const size_t textChars = st.TagStart == TTagScanState::NoTag ? st.Pos : st.TagStart;
  textBytes = textChars * unit;
  textStart = textBytes ? data : nullptr;
  if (found) {
    tagStart = data + st.TagStart * unit;
    tagBytes = (st.Pos - st.TagStart) * unit;
  } else {
    tagStart = nullptr;
    tagBytes = 0;
  }
}

void UpperCaseAscii(std::string &s) {
  for (char &c : s)
    c = UpperAscii(c);
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i]))
      return false;
  return true;
}

TTagStrings::TTagStrings(const TTagStrings &other) { *this = other; }

TTagStrings &TTagStrings::operator=(const TTagStrings &other) {
  if (this != &other) {
    Settle();
    other.Settle();
    other.MakeAll();
    FItems.assign(other.FItems.begin(), other.FItems.begin() + static_cast<ptrdiff_t>(other.FCount));
    FSlices.assign(other.FCount, TSlice{0, 0, false, false});
    FBase = nullptr;
    FCount = other.FCount;
  }
  return *this;
}

void TTagStrings::Add(const char *p, size_t n, bool upperCase) {
  Settle();
  AddSlice(0, 0, false);
  FSlices[FCount - 1].Pending = false;
  std::string &s = FItems[FCount - 1];
  if (upperCase)
    AssignUpper(s, reinterpret_cast<const uint8_t *>(p), n);
  else
    AssignBytes(s, reinterpret_cast<const uint8_t *>(p), n);
}

void TTagStrings::Grow() {
  FItems.emplace_back();
  FSlices.emplace_back();
}

void TTagStrings::Make(size_t i) const {
  TSlice &slice = FSlices[i];
  std::string &s = FItems[i];
  s.clear();
  if (slice.Length) {
    const auto *p = reinterpret_cast<const uint8_t *>(FBase) + slice.Offset;
    if (slice.Upper)
      AssignUpper(s, p, slice.Length);
    else
      AssignBytes(s, p, slice.Length);
  }
  slice.Pending = false;
}

void TTagStrings::SettleOwner() const { FOwner->FindAttributes(); }

void TTagStrings::MakeAll() const {
  for (size_t i = 0; i < FCount; ++i)
    if (FSlices[i].Pending)
      Make(i);
}

// Copies the tag to FTag, followed by ReadAhead bytes.
void TTagParser::KeepTag(const uint8_t *data, size_t byteCount) {
  if (FTag.size() < byteCount + ReadAhead)
    FTag.resize(byteCount + ReadAhead);
  if (byteCount)
    std::memcpy(FTag.data(), data, byteCount);
}

bool TTagParser::Parse(bool isUnicode, const uint8_t *data, size_t byteCount) {
  if (isUnicode)
    return ParseFollowed(true, data, byteCount);
  KeepTag(data, byteCount);
  AttrNames.FBase = AttrValues.FBase = reinterpret_cast<const char *>(FTag.data());
  return ParseAnsi(FTag.data(), byteCount);
}

bool TTagParser::ParseFollowed(bool isUnicode, const uint8_t *data, size_t byteCount) {
  if (isUnicode) {
    AnsiFromUtf16Le(data, byteCount / 2, FConverted);
    KeepTag(reinterpret_cast<const uint8_t *>(FConverted.data()), FConverted.size());
    AttrNames.FBase = AttrValues.FBase = reinterpret_cast<const char *>(FTag.data());
    return ParseAnsi(FTag.data(), FConverted.size());
  }
  const bool ok = ParseAnsi(data, byteCount);
  // The attributes are made strings from the tag's bytes, which must outlive
  // the caller's.
  if (!AttrNames.empty() || !AttrValues.empty()) {
    KeepTag(data, byteCount);
    AttrNames.FBase = AttrValues.FBase = reinterpret_cast<const char *>(FTag.data());
  }
  return ok;
}

void TTagParser::ParseNameFirst(bool isUnicode, const uint8_t *data, size_t byteCount) {
  if (isUnicode) {
    AnsiFromUtf16Le(data, byteCount / 2, FConverted);
    KeepTag(reinterpret_cast<const uint8_t *>(FConverted.data()), FConverted.size());
    data = FTag.data();
    byteCount = FConverted.size();
  }
  ResetResults();
  if (byteCount <= 2)
    return;
  const size_t from = ParseName(data, byteCount);
  if (from == byteCount - 1 || data[from] == '>')
    return;
  AttrNames.FBase = AttrValues.FBase = reinterpret_cast<const char *>(data);
  FTagAt = data;
  FAttributesFrom = from;
  FTagBytes = byteCount;
  AttrNames.FOwner = AttrValues.FOwner = this;
}

void TTagParser::KeepOwnCopy() {
  if (!FTagAt || FTagAt == FTag.data())
    return;
  const auto *const outside = reinterpret_cast<const char *>(FTagAt);
  if (AttrNames.FOwner || AttrNames.FBase == outside || AttrValues.FBase == outside) {
    KeepTag(FTagAt, FTagBytes);
    const auto *const own = reinterpret_cast<const char *>(FTag.data());
    for (TTagStrings *list : {&AttrNames, &AttrValues})
      if (list->FBase == outside)
        list->FBase = own;
  }
  FTagAt = FTag.data();
}

void TTagParser::FindAttributes() {
  AttrNames.FOwner = AttrValues.FOwner = nullptr;
  ParseAttributes(FTagAt, FTagBytes, FAttributesFrom);
}

void TTagParser::ResetResults() {
  FTagAt = nullptr;
  TagName.clear();
  AttrNames.Reset();
  AttrValues.Reset();
}

// Walks the tag from after its '<' to its first '>', never looking at its last
// byte (normally that '>'). Each token is crossed in one search for what can
// end it; the points where a token ends are where the grammar changes state.
// `u` is followed by ReadAhead readable bytes, so that tokens can be looked at
// 16 bytes at a time without a check for the end before each load.
bool TTagParser::ParseAnsi(const uint8_t *u, size_t byteCount) {
  ResetResults();
  if (byteCount <= 2)
    return true;
  return ParseAttributes(u, byteCount, ParseName(u, byteCount));
}

// Sets TagName and returns where it ends.
size_t TTagParser::ParseName(const uint8_t *u, size_t byteCount) {
#ifdef ZU_HAVE_SSE2
  // Most names end within their first 16 bytes: one load finds the end and
  // gives the upper-cased name.
  const __m128i v = Load16(u + 1);
  const __m128i blank = _mm_or_si128(_mm_or_si128(Is(v, ' '), Is(v, '\t')), _mm_or_si128(Is(v, '\n'), Is(v, '\r')));
  if (const unsigned m = Bits(_mm_or_si128(blank, Is(v, '>')))) {
    const size_t n = std::min<size_t>(static_cast<size_t>(__builtin_ctz(m)), byteCount - 2);
    const __m128i lower =
        _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('a' - 1)), _mm_cmplt_epi8(v, _mm_set1_epi8('z' + 1)));
    char upper[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(upper), _mm_sub_epi8(v, _mm_and_si128(lower, _mm_set1_epi8(0x20))));
    TagName.clear();
    TagName.append(upper, 16);
    TagName.erase(n);
    return n + 1;
  }
#endif
  const uint8_t *const end = Seek<TStop::Word>(u + 1, u + byteCount - 1);
  AssignUpperPadded(TagName, u + 1, static_cast<size_t>(end - u) - 1);
  return static_cast<size_t>(end - u);
}

bool TTagParser::ParseAttributes(const uint8_t *u, size_t byteCount, size_t from) {
  const uint8_t *p = u + from;
  const uint8_t *const e = u + byteCount - 1;
  const auto atEnd = [&] { return p == e || *p == '>'; };
  const auto offset = [u](const uint8_t *q) { return static_cast<size_t>(q - u); };
  const uint8_t *token;
  for (;;) {
    // Between attributes.
    p = SkipBlanks(p, e);
    if (atEnd())
      return true;
    if (*p == '=')
      return false;
    token = p;
    for (;;) {
      // An attribute's name, then blanks and maybe '='.
      p = Seek<TStop::Name>(p + 1, e);
      AttrNames.AddSlice(offset(token), offset(p) - offset(token), true);
      if (atEnd())
        return true;
      if (*p == '=')
        break;
      p = SkipBlanks(p + 1, e);
      if (atEnd())
        return true;
      if (*p == '=')
        break;
      // A name without a value, and the next name starts here.
      AttrValues.AddSlice(0, 0, false);
      token = p;
    }
    p = SkipBlanks(p + 1, e);
    if (atEnd() || *p == '=')
      return false;
    if (*p == '"' || *p == '\'') {
      token = p + 1;
      p = SeekQuote(token, e, static_cast<char>(*p));
      if (atEnd())
        return false;
      AttrValues.AddSlice(offset(token), offset(p) - offset(token), false);
      ++p;
      continue;
    }
    token = p;
    p = Seek<TStop::Word>(p + 1, e);
    AttrValues.AddSlice(offset(token), offset(p) - offset(token), false);
    if (atEnd())
      return true;
  }
}

std::string TTagParser::GetAttribute(std::string_view name) const {
  for (size_t k = 0; k < AttrNames.size(); ++k)
    if (SameTextAscii(AttrNames[k], name))
      return k < AttrValues.size() ? AttrValues[k] : std::string();
  return std::string();
}
