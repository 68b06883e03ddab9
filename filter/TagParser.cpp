#include "TagParser.h"

#include <cstring>

#include "AnsiConvert.h"

namespace {

// Character `i` is the ASCII character `c` in the page's character size.
inline bool CharIs(bool isUnicode, const uint8_t* data, size_t i, char c) {
  if (isUnicode)
    return data[2 * i] == static_cast<uint8_t>(c) && data[2 * i + 1] == 0;
  return data[i] == static_cast<uint8_t>(c);
}

// First character at or after `from` that is `c`, or `n`.
size_t FindChar(bool isUnicode, const uint8_t* data, size_t from, size_t n, char c) {
  if (from >= n)
    return n;
  if (!isUnicode) {
    const void* p = std::memchr(data + from, c, n - from);
    return p ? static_cast<size_t>(static_cast<const uint8_t*>(p) - data) : n;
  }
  size_t b = 2 * from;
  const size_t end = 2 * n;
  while (b < end) {
    const void* p = std::memchr(data + b, c, end - b);
    if (!p)
      return n;
    b = static_cast<size_t>(static_cast<const uint8_t*>(p) - data);
    if ((b & 1) == 0 && data[b + 1] == 0)
      return b / 2;
    ++b;
  }
  return n;
}

inline bool IsBlank(char c) { return c == 9 || c == 10 || c == 13 || c == 32; }

} // namespace

void TTagScanState::Shift(size_t chars) {
  Pos -= chars;
  if (TagStart != NoTag)
    TagStart -= chars;
}

bool ScanForTag(bool isUnicode, const uint8_t* data, size_t byteCount, TTagScanState& st) {
  const size_t n = isUnicode ? byteCount / 2 : byteCount;
  if (st.TagStart == TTagScanState::NoTag) {
    const size_t lt = FindChar(isUnicode, data, st.Pos, n, '<');
    if (lt == n) {
      st.Pos = n;
      return false;
    }
    st.TagStart = lt;
    st.Pos = lt + 1;
  }
  // Until the fourth character it is not known whether this is a comment.
  while (!st.IsComment && st.Pos < n && st.Pos <= st.TagStart + 3) {
    if (CharIs(isUnicode, data, st.Pos, '>')) {
      ++st.Pos;
      return true;
    }
    if (st.Pos == st.TagStart + 3 && CharIs(isUnicode, data, st.TagStart + 1, '!') &&
        CharIs(isUnicode, data, st.TagStart + 2, '-') && CharIs(isUnicode, data, st.TagStart + 3, '-'))
      st.IsComment = true;
    ++st.Pos;
  }
  for (;;) {
    const size_t gt = FindChar(isUnicode, data, st.Pos, n, '>');
    if (gt == n) {
      st.Pos = n;
      return false;
    }
    st.Pos = gt + 1;
    if (!st.IsComment)
      return true;
    if (gt - st.TagStart + 1 >= 7 && CharIs(isUnicode, data, gt - 1, '-') && CharIs(isUnicode, data, gt - 2, '-'))
      return true;
  }
}

void FindNextTag(bool isUnicode, const uint8_t* data, size_t byteCount, const uint8_t*& textStart,
                 size_t& textBytes, const uint8_t*& tagStart, size_t& tagBytes) {
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

void UpperCaseAscii(std::string& s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z')
      x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z')
      y = static_cast<char>(y - 'a' + 'A');
    if (x != y)
      return false;
  }
  return true;
}

void TTagStrings::Add(const char* p, size_t n, bool upperCase) {
  if (FCount == FItems.size())
    FItems.emplace_back();
  std::string& s = FItems[FCount];
  s.assign(p, n);
  if (upperCase)
    UpperCaseAscii(s);
  ++FCount;
}

bool TTagParser::Parse(bool isUnicode, const uint8_t* data, size_t byteCount) {
  if (!isUnicode)
    return ParseAnsi(reinterpret_cast<const char*>(data), byteCount);
  AnsiFromUtf16Le(data, byteCount / 2, FConverted);
  return ParseAnsi(FConverted.data(), FConverted.size());
}

bool TTagParser::ParseAnsi(const char* d, size_t byteCount) {
  TagName.clear();
  AttrNames.Clear();
  AttrValues.Clear();
  if (byteCount == 0)
    return true;
  int state = 0;
  size_t token = 1;
  size_t i = 1;
  auto slice = [&](const char*& p) {
    p = d + token;
    return token < i ? i - token : 0;
  };
  const char* p;
  size_t len;
  // The last byte (normally the closing '>') is never looked at.
  const size_t last = byteCount > 0 ? byteCount - 1 : 0;
  for (; i < last && d[i] != '>'; ++i) {
    const char c = d[i];
    const bool blank = IsBlank(c);
    switch (state) {
    case 0:
      if (blank) {
        len = slice(p);
        TagName.assign(p, len);
        UpperCaseAscii(TagName);
        state = 1;
      }
      break;
    case 1:
      if (c == '=')
        return false;
      if (!blank) {
        token = i;
        state = 3;
      }
      break;
    case 3:
      if (blank || c == '=') {
        len = slice(p);
        AttrNames.Add(p, len, true);
        state = c == '=' ? 4 : 2;
      }
      break;
    case 2:
      if (c == '=') {
        state = 4;
      } else if (!blank) {
        AttrValues.Add("", 0, false);
        token = i;
        state = 3;
      }
      break;
    case 4:
      if (c == '=')
        return false;
      if (c == '"') {
        token = i + 1;
        state = 7;
      } else if (c == '\'') {
        token = i + 1;
        state = 6;
      } else if (!blank) {
        token = i;
        state = 5;
      }
      break;
    case 5:
      if (blank) {
        len = slice(p);
        AttrValues.Add(p, len, false);
        state = 1;
      }
      break;
    case 6:
    case 7:
      if (c == (state == 6 ? '\'' : '"')) {
        len = slice(p);
        AttrValues.Add(p, len, false);
        state = 1;
      }
      break;
    }
  }
  switch (state) {
  case 0:
    len = slice(p);
    TagName.assign(p, len);
    UpperCaseAscii(TagName);
    return true;
  case 3:
    len = slice(p);
    AttrNames.Add(p, len, true);
    return true;
  case 5:
    len = slice(p);
    AttrValues.Add(p, len, false);
    return true;
  case 4:
  case 6:
  case 7:
    return false;
  default:
    return true;
  }
}

std::string TTagParser::GetAttribute(std::string_view name) const {
  for (size_t k = 0; k < AttrNames.size(); ++k)
    if (SameTextAscii(AttrNames[k], name))
      return k < AttrValues.size() ? AttrValues[k] : std::string();
  return std::string();
}
