#include "TagParser.h"

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

// First byte in [p, e) that is `a` or `b`, or e.
inline const uint8_t *FindEither(const uint8_t *p, const uint8_t *e, uint8_t a, uint8_t b) {
#ifdef ZU_HAVE_SSE2
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  for (; e - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    if (const int m = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))))
      return p + __builtin_ctz(static_cast<unsigned>(m));
  }
#endif
  for (; p < e; ++p)
    if (*p == a || *p == b)
      return p;
  return e;
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

constexpr std::array<uint8_t, 256> CharClass = [] {
  std::array<uint8_t, 256> t{};
  t[9] = t[10] = t[13] = t[32] = Blank;
  t['='] = Equals;
  t['>'] = Close;
  return t;
}();

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

// Advances `p` over characters of none of the classes in `stop`.
inline const uint8_t *SkipUntil(const uint8_t *p, const uint8_t *e, uint8_t stop) {
  while (p < e && !(CharClass[*p] & stop))
    ++p;
  return p;
}

inline const uint8_t *SkipBlanks(const uint8_t *p, const uint8_t *e) {
  while (p < e && CharClass[*p] == Blank)
    ++p;
  return p;
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

void TTagStrings::Add(const char *p, size_t n, bool upperCase) {
  if (FCount == FItems.size())
    FItems.emplace_back();
  std::string &s = FItems[FCount];
  if (upperCase)
    AssignUpper(s, reinterpret_cast<const uint8_t *>(p), n);
  else
    AssignBytes(s, reinterpret_cast<const uint8_t *>(p), n);
  ++FCount;
}

bool TTagParser::Parse(bool isUnicode, const uint8_t *data, size_t byteCount) {
  if (!isUnicode)
    return ParseAnsi(reinterpret_cast<const char *>(data), byteCount);
  AnsiFromUtf16Le(data, byteCount / 2, FConverted);
  return ParseAnsi(FConverted.data(), FConverted.size());
}

// Walks the tag from after its '<' to its first '>', never looking at its last
// byte (normally that '>'). Each kind of token is crossed by its own loop; the
// points where a loop stops are where the grammar changes state.
bool TTagParser::ParseAnsi(const char *d, size_t byteCount) {
  TagName.clear();
  AttrNames.Clear();
  AttrValues.Clear();
  if (byteCount <= 2)
    return true;
  const auto *p = reinterpret_cast<const uint8_t *>(d) + 1;
  const uint8_t *const e = reinterpret_cast<const uint8_t *>(d) + byteCount - 1;
  const auto atEnd = [&] { return p == e || *p == '>'; };
  const auto str = [](const uint8_t *s) { return reinterpret_cast<const char *>(s); };

  const uint8_t *token = p;
  p = SkipUntil(p, e, Blank | Close);
  AssignUpper(TagName, token, static_cast<size_t>(p - token));
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
      p = SkipUntil(p + 1, e, Blank | Equals | Close);
      AttrNames.Add(str(token), static_cast<size_t>(p - token), true);
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
      AttrValues.Add("", 0, false);
      token = p;
    }
    p = SkipBlanks(p + 1, e);
    if (atEnd() || *p == '=')
      return false;
    if (*p == '"' || *p == '\'') {
      token = p + 1;
      p = FindEither(token, e, *p, '>');
      if (atEnd())
        return false;
      AttrValues.Add(str(token), static_cast<size_t>(p - token), false);
      ++p;
      continue;
    }
    token = p;
    p = SkipUntil(p + 1, e, Blank | Close);
    AttrValues.Add(str(token), static_cast<size_t>(p - token), false);
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
