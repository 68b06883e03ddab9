#include "AdFilterList.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace zurpc {

namespace {

enum : uint8_t {
  fStart = 1,        // |pattern: at the start of the URL
  fEnd = 2,          // pattern|: at the end of the URL
  fHost = 4,         // ||pattern: at a label boundary of the host
  fMatchCase = 8,    // pattern kept as written, matched against the URL as given
  fThirdParty = 16,  // only third-party requests
  fFirstParty = 32,  // only first-party requests
  fHasIncludes = 64, // domain= names at least one page domain to apply on
  fStar = 128,       // the pattern has a '*' inside
};

constexpr uint8_t kOurTypes = rtImage | rtSubdocument | rtObject;
constexpr uint8_t kAllTypes = kOurTypes | rtOther;

struct TRule {
  uint32_t Pattern; // offset into the set's text
  uint32_t PatternLen;
  uint32_t Domains; // first entry in the set's domain table
  uint16_t DomainCount;
  uint16_t KeyOffset; // where the index key sits in the pattern, kNoOffset after a '*'
  uint8_t Types;
  uint8_t Flags;
};

constexpr uint16_t kNoOffset = 0xFFFF;

struct TDomain {
  uint32_t Offset; // into the set's domain text
  uint32_t Length;
  bool Negated;
};

inline char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// Word characters of the index; applied to lower-cased text only.
inline bool IsWordChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// What '^' stands for. Bytes beyond ASCII are not separators.
inline bool IsSeparator(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x80)
    return false;
  if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9'))
    return false;
  return u != '_' && u != '-' && u != '.' && u != '%';
}

constexpr uint64_t kFnvBasis = 14695981039346656037ull;
constexpr uint64_t kFnvPrime = 1099511628211ull;

// Keys of the two indexes never collide with the empty slot (0) nor with
// each other: word keys are odd, 4-gram keys are the gram above bit 32.
inline uint64_t WordKey(uint64_t fnv) { return fnv | 1; }
inline uint64_t GramKey(uint32_t gram) { return (static_cast<uint64_t>(gram) << 1) | (1ull << 40); }

// Which keys exist at all, small enough to stay in cache, so most words and
// grams of a URL are dismissed without touching the big tables.
class TKeyBits {
public:
  // About 16 bits a key, up to 32 KB.
  void Reset(size_t keys) {
    unsigned log2 = 10;
    while (log2 < 18 && (size_t{1} << log2) < keys * 16)
      ++log2;
    FShift = 64 - log2;
    FBits.assign(size_t{1} << (log2 - 6), 0);
  }
  void Add(uint64_t key) {
    const uint32_t b = Bit(key);
    FBits[b >> 6] |= uint64_t{1} << (b & 63);
  }
  bool MayHave(uint64_t key) const {
    const uint32_t b = Bit(key);
    return (FBits[b >> 6] >> (b & 63)) & 1;
  }

private:
  uint32_t Bit(uint64_t key) const { return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> FShift); }
  std::vector<uint64_t> FBits;
  unsigned FShift = 54;
};

// Open addressing from key to the run of rules filed under it.
class TKeyIndex {
public:
  void Build(std::vector<std::pair<uint64_t, uint32_t>> &pairs) {
    FSlots.clear();
    FItems.clear();
    if (pairs.empty())
      return;
    std::sort(pairs.begin(), pairs.end());
    size_t keys = 0;
    for (size_t i = 0; i < pairs.size(); ++i)
      keys += (i == 0 || pairs[i].first != pairs[i - 1].first);
    unsigned log2 = 4;
    while ((size_t{1} << log2) < keys * 2)
      ++log2;
    FSlots.assign(size_t{1} << log2, TSlot{0, 0, 0});
    FShift = 64 - log2;
    FItems.reserve(pairs.size());
    for (size_t i = 0; i < pairs.size();) {
      size_t j = i;
      while (j < pairs.size() && pairs[j].first == pairs[i].first)
        FItems.push_back(pairs[j++].second);
      size_t at = Home(pairs[i].first);
      while (FSlots[at].Key)
        at = (at + 1) & (FSlots.size() - 1);
      FSlots[at] = TSlot{pairs[i].first, static_cast<uint32_t>(FItems.size() - (j - i)), static_cast<uint32_t>(j - i)};
      i = j;
    }
  }

  bool Empty() const { return FSlots.empty(); }
  const uint32_t *Find(uint64_t key, uint32_t &count) const {
    if (FSlots.empty())
      return nullptr;
    for (size_t at = Home(key);; at = (at + 1) & (FSlots.size() - 1)) {
      const TSlot &slot = FSlots[at];
      if (slot.Key == key) {
        count = slot.Count;
        return FItems.data() + slot.Begin;
      }
      if (!slot.Key)
        return nullptr;
    }
  }

private:
  struct TSlot {
    uint64_t Key;
    uint32_t Begin;
    uint32_t Count;
  };
  size_t Home(uint64_t key) const { return static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> FShift); }

  std::vector<TSlot> FSlots;
  std::vector<uint32_t> FItems;
  unsigned FShift = 63;
};

// Words so common in ordinary URLs that a rule filed under one would be
// tried for nearly every request.
bool IsCommonWord(std::string_view w) {
  static const char *const common[] = {"http",   "https", "www",    "com",    "net",   "org", "html", "htm",  "php",
                                       "js",     "jpg",   "jpeg",   "png",    "gif",   "css", "svg",  "webp", "cdn",
                                       "static", "img",   "images", "assets", "index", "co",  "uk",   "de",   "io"};
  for (const char *c : common)
    if (w == c)
      return true;
  return false;
}

bool IsCommonGram(uint32_t g) {
  static const char *const common[] = {"http", "ttp:", "tp:/", "p://", "ttps", "tps:", "ps:/", "s://", "www.",
                                       ".com", "com/", ".htm", "html", ".php", ".jpg", ".png", ".gif", ".net"};
  for (const char *c : common) {
    const uint32_t k = (uint32_t(uint8_t(c[0])) << 24) | (uint32_t(uint8_t(c[1])) << 16) |
                       (uint32_t(uint8_t(c[2])) << 8) | uint32_t(uint8_t(c[3]));
    if (g == k)
      return true;
  }
  return false;
}

constexpr size_t npos = static_cast<size_t>(-1);

// Matches one '*'-free piece of a pattern at s[pos]; returns where it ends.
inline size_t MatchPiece(const char *p, size_t pn, std::string_view s, size_t pos) {
  for (size_t i = 0; i < pn; ++i) {
    const char c = p[i];
    if (pos == s.size()) {
      if (c != '^') // the end of the URL counts as a separator
        return npos;
      continue;
    }
    if (c == '^' ? !IsSeparator(s[pos]) : s[pos] != c)
      return npos;
    ++pos;
  }
  return pos;
}

// Earliest match of a piece at or after `pos`; `pos` becomes its end.
inline bool FindPiece(const char *p, size_t pn, std::string_view s, size_t &pos) {
  const char first = p[0];
  for (size_t q = pos; q <= s.size(); ++q) {
    if (first != '^') {
      const void *hit = q < s.size() ? std::memchr(s.data() + q, first, s.size() - q) : nullptr;
      if (!hit)
        return false;
      q = static_cast<size_t>(static_cast<const char *>(hit) - s.data());
    }
    const size_t e = MatchPiece(p, pn, s, q);
    if (e != npos) {
      pos = e;
      return true;
    }
  }
  return false;
}

// Matches pieces separated by '*'. With `anchored` the first piece must start
// at `pos`; with `endAnchor` the last must end the URL. Taking each piece's
// earliest match is enough: a later one never leaves more room for the rest.
bool MatchPieces(const char *p, size_t pn, std::string_view s, size_t pos, bool anchored, bool endAnchor) {
  if (pn == 0)
    return !endAnchor || !anchored || pos == s.size();
  for (bool first = true;; first = false) {
    const char *star = static_cast<const char *>(std::memchr(p, '*', pn));
    const size_t len = star ? static_cast<size_t>(star - p) : pn;
    const bool last = !star;
    if (first && anchored) {
      const size_t e = MatchPiece(p, len, s, pos);
      if (e == npos || (last && endAnchor && e != s.size()))
        return false;
      pos = e;
    } else if (last && endAnchor) {
      // Only trailing '^'s can match nothing, so few places can end the URL.
      size_t trailing = 0;
      while (trailing < len && p[len - 1 - trailing] == '^')
        ++trailing;
      if (s.size() + trailing < len)
        return false;
      const size_t lo = std::max(pos, s.size() >= len ? s.size() - len : size_t{0});
      const size_t hi = std::min(s.size(), s.size() + trailing - len);
      for (size_t q = lo; q <= hi; ++q)
        if (MatchPiece(p, len, s, q) == s.size())
          return true;
      return false;
    } else if (!FindPiece(p, len, s, pos)) {
      return false;
    }
    if (last)
      return true;
    p = star + 1;
    pn -= len + 1;
  }
}

inline bool HostIn(std::string_view host, std::string_view domain) {
  if (host.size() < domain.size() || host.compare(host.size() - domain.size(), domain.size(), domain) != 0)
    return false;
  return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

// The part of a host that decides which site it belongs to.
std::string_view SiteOf(std::string_view host) {
  while (!host.empty() && host.back() == '.')
    host.remove_suffix(1);
  if (host.empty() || host.front() == '[' ||
      host.find_first_not_of("0123456789.") == std::string_view::npos) // IP literals
    return host;
  const size_t last = host.rfind('.');
  if (last == std::string_view::npos || last == 0)
    return host;
  const size_t prev = host.rfind('.', last - 1);
  return prev == std::string_view::npos ? host : host.substr(prev + 1);
}

// Element hiding ("##", "#@#", "#?#") and page scripting ("#$#", "#%#", ...).
bool IsCosmetic(std::string_view line) {
  for (size_t i = line.find('#'); i != std::string_view::npos; i = line.find('#', i + 1)) {
    std::string_view rest = line.substr(i + 1);
    if (!rest.empty() && rest[0] == '@')
      rest.remove_prefix(1);
    if (!rest.empty() && (rest[0] == '?' || rest[0] == '$' || rest[0] == '%'))
      rest.remove_prefix(1);
    if (!rest.empty() && rest[0] == '#')
      return true;
  }
  return false;
}

// Type options we understand; those we are never asked about share rtOther
// so that "$script" rules stay out of our way and "$~script" ones apply.
uint8_t TypeOfOption(std::string_view name) {
  if (name == "image")
    return rtImage;
  if (name == "subdocument" || name == "frame")
    return rtSubdocument;
  if (name == "object")
    return rtObject;
  static const char *const others[] = {"script",       "stylesheet",
                                       "css",          "xmlhttprequest",
                                       "xhr",          "media",
                                       "font",         "other",
                                       "ping",         "websocket",
                                       "popup",        "popunder",
                                       "document",     "doc",
                                       "webrtc",       "beacon",
                                       "elemhide",     "ehide",
                                       "generichide",  "ghide",
                                       "genericblock", "specifichide",
                                       "shide",        "inline-script",
                                       "inline-font",  "object-subrequest"};
  for (const char *o : others)
    if (name == o)
      return rtOther;
  return 0;
}

} // namespace

struct TAdFilterList::TRuleSet {
  std::vector<TRule> Rules;
  std::string Text;
  std::vector<TDomain> Domains;
  std::string DomainText;
  TKeyIndex Words, Grams;
  TKeyBits WordBits, GramBits;
  std::vector<uint32_t> Unindexed;
  bool Indexed = true;

  std::string_view PatternOf(const TRule &r) const { return {Text.data() + r.Pattern, r.PatternLen}; }
  void Reindex();
  bool Match(const TUrl &url, const TUrl &page, uint8_t type) const;

private:
  struct TQuery {
    const TUrl &Url;
    const TUrl &Page;
    uint8_t Type;
    int ThirdParty;
  };
  // `keyAt`: where the rule's index key was seen in the URL, npos if unknown.
  bool Applies(uint32_t index, TQuery &q, size_t keyAt) const;
  bool AnyApplies(const uint32_t *items, uint32_t count, TQuery &q, size_t keyAt) const {
    for (uint32_t i = 0; i < count; ++i)
      if (Applies(items[i], q, keyAt))
        return true;
    return false;
  }
};

namespace {

// Words of a (lower-cased) pattern that a matching URL must hold whole:
// bounded on both sides by a literal, a '^' or an anchor, never by '*'.
template <class F> void ForEachBoundedWord(std::string_view p, uint8_t flags, F f) {
  const size_t firstStar = std::min(p.find('*'), size_t{kNoOffset});
  for (size_t i = 0; i < p.size();) {
    if (!IsWordChar(p[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < p.size() && IsWordChar(p[j]))
      ++j;
    const bool left = i > 0 ? p[i - 1] != '*' : (flags & (fStart | fHost)) != 0;
    const bool right = j < p.size() ? p[j] != '*' : (flags & fEnd) != 0;
    if (left && right)
      f(p.substr(i, j - i), static_cast<uint16_t>(i < firstStar ? i : kNoOffset));
    i = j;
  }
}

// Every 4-character literal run of a pattern: a matching URL holds each one.
template <class F> void ForEachGram(std::string_view p, F f) {
  const size_t firstStar = std::min(p.find('*'), size_t{kNoOffset});
  uint32_t g = 0;
  size_t run = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const char c = p[i];
    if (c == '*' || c == '^') {
      run = 0;
      continue;
    }
    g = (g << 8) | static_cast<uint8_t>(c);
    if (++run >= 4)
      f(g, static_cast<uint16_t>(i - 3 < firstStar ? i - 3 : kNoOffset));
  }
}

uint64_t Fnv(std::string_view w) {
  uint64_t h = kFnvBasis;
  for (char c : w)
    h = (h ^ static_cast<uint8_t>(c)) * kFnvPrime;
  return h;
}

} // namespace

void TAdFilterList::TRuleSet::Reindex() {
  // Pattern text of match-case rules is as written; the index works on
  // lower case throughout.
  std::string lowered;
  auto lower = [&](const TRule &r) -> std::string_view {
    std::string_view p = PatternOf(r);
    if (!(r.Flags & fMatchCase))
      return p;
    lowered.assign(p);
    for (char &c : lowered)
      c = ToLower(c);
    return lowered;
  };

  // How many rules could use each word or gram, roughly: counts are kept by
  // hash slot, and a collision only makes a key look a little more common.
  unsigned countLog2 = 8;
  while (countLog2 < 18 && (size_t{1} << countLog2) < Rules.size() * 4)
    ++countLog2;
  auto slotOf = [countLog2](uint64_t h) {
    return static_cast<size_t>((h * 0x9E3779B97F4A7C15ull) >> (64 - countLog2));
  };
  std::vector<uint32_t> wordCount(size_t{1} << countLog2), gramCount(size_t{1} << countLog2);
  for (const TRule &r : Rules)
    ForEachBoundedWord(lower(r), r.Flags, [&](std::string_view w, uint16_t) { ++wordCount[slotOf(Fnv(w))]; });

  std::vector<std::pair<uint64_t, uint32_t>> words, grams;
  std::vector<std::pair<uint32_t, uint64_t>> pending; // rule, its best (but common) word or 0
  words.reserve(Rules.size());
  Unindexed.clear();
  if (!Indexed) {
    WordBits.Reset(0);
    GramBits.Reset(0);
    for (uint32_t index = 0; index < Rules.size(); ++index)
      Unindexed.push_back(index);
    Words.Build(words);
    Grams.Build(grams);
    return;
  }
  constexpr uint64_t kCommon = 1u << 24;
  for (uint32_t index = 0; index < Rules.size(); ++index) {
    const TRule &r = Rules[index];
    uint64_t best = 0, bestScore = ~0ull;
    size_t bestLen = 0;
    uint16_t bestOffset = kNoOffset;
    ForEachBoundedWord(lower(r), r.Flags, [&](std::string_view w, uint16_t offset) {
      const uint64_t h = Fnv(w);
      const uint64_t score = wordCount[slotOf(h)] + (IsCommonWord(w) ? kCommon : 0);
      if (score < bestScore || (score == bestScore && w.size() > bestLen)) {
        best = h;
        bestScore = score;
        bestLen = w.size();
        bestOffset = offset;
      }
    });
    Rules[index].KeyOffset = bestOffset;
    if (bestScore < kCommon)
      words.emplace_back(WordKey(best), index);
    else
      pending.emplace_back(index, bestScore == ~0ull ? 0 : WordKey(best));
  }

  // Rules with no word, or only common ones, go by their rarest gram.
  for (const auto &[index, word] : pending)
    ForEachGram(lower(Rules[index]), [&](uint32_t g, uint16_t) { ++gramCount[slotOf(g)]; });
  for (const auto &[index, word] : pending) {
    uint32_t best = 0;
    uint64_t bestScore = ~0ull;
    uint16_t bestOffset = kNoOffset;
    ForEachGram(lower(Rules[index]), [&](uint32_t g, uint16_t offset) {
      const uint64_t score = gramCount[slotOf(g)] + (IsCommonGram(g) ? kCommon : 0);
      if (score < bestScore) {
        best = g;
        bestScore = score;
        bestOffset = offset;
      }
    });
    if (bestScore != ~0ull && (bestScore < kCommon || !word)) {
      grams.emplace_back(GramKey(best), index);
      Rules[index].KeyOffset = bestOffset;
    } else if (word) {
      words.emplace_back(word, index); // its word's offset is still in place
    } else {
      Unindexed.push_back(index);
    }
  }
  WordBits.Reset(words.size());
  GramBits.Reset(grams.size());
  for (const auto &w : words)
    WordBits.Add(w.first);
  for (const auto &g : grams)
    GramBits.Add(g.first);
  Words.Build(words);
  Grams.Build(grams);
}

bool TAdFilterList::TRuleSet::Applies(uint32_t index, TQuery &q, size_t keyAt) const {
  const TRule &r = Rules[index];
  if (!(r.Types & q.Type))
    return false;
  if (r.Flags & (fThirdParty | fFirstParty)) {
    if (q.ThirdParty < 0)
      q.ThirdParty = IsThirdParty(q.Url.Host(), q.Page.Host());
    if ((r.Flags & fThirdParty) ? !q.ThirdParty : q.ThirdParty)
      return false;
  }
  if (r.DomainCount) {
    const std::string_view pageHost = q.Page.Host();
    bool included = !(r.Flags & fHasIncludes);
    for (uint32_t i = 0; i < r.DomainCount; ++i) {
      const TDomain &d = Domains[r.Domains + i];
      if (HostIn(pageHost, {DomainText.data() + d.Offset, d.Length})) {
        if (d.Negated)
          return false;
        included = true;
      }
    }
    if (!included)
      return false;
  }

  const std::string_view s = (r.Flags & fMatchCase) ? q.Url.Original() : q.Url.Lower();
  const char *p = Text.data() + r.Pattern;
  const bool end = (r.Flags & fEnd) != 0;
  if (keyAt != npos && r.KeyOffset != kNoOffset) {
    // The key pins down the one place the pattern can start.
    if (keyAt < r.KeyOffset)
      return false;
    const size_t start = keyAt - r.KeyOffset;
    if ((r.Flags & fStart) && start != 0)
      return false;
    if (r.Flags & fHost) {
      const size_t hb = q.Url.HostBegin(), he = q.Url.HostEnd();
      if (start < hb || start >= he || (start > hb && s[start - 1] != '.'))
        return false;
    }
    if (!(r.Flags & fStar)) {
      const size_t e = MatchPiece(p, r.PatternLen, s, start);
      return e != npos && (!end || e == s.size());
    }
    return MatchPieces(p, r.PatternLen, s, start, true, end);
  }
  if (r.Flags & fStart)
    return MatchPieces(p, r.PatternLen, s, 0, true, end);
  if (r.Flags & fHost) {
    const size_t hostEnd = q.Url.HostEnd();
    for (size_t at = q.Url.HostBegin(); at < hostEnd;) {
      if (MatchPieces(p, r.PatternLen, s, at, true, end))
        return true;
      const void *dot = std::memchr(s.data() + at, '.', hostEnd - at);
      if (!dot)
        break;
      at = static_cast<size_t>(static_cast<const char *>(dot) - s.data()) + 1;
    }
    return false;
  }
  return MatchPieces(p, r.PatternLen, s, 0, false, end);
}

bool TAdFilterList::TRuleSet::Match(const TUrl &url, const TUrl &page, uint8_t type) const {
  if (Rules.empty() || url.Original().empty())
    return false;
  TQuery q{url, page, type, -1};
  const std::string_view s = url.Lower();

  // Every occurrence counts, as each pins the pattern to another place.
  for (size_t i = 0; i < s.size();) {
    if (!IsWordChar(s[i])) {
      ++i;
      continue;
    }
    const size_t start = i;
    uint64_t h = kFnvBasis;
    for (; i < s.size() && IsWordChar(s[i]); ++i)
      h = (h ^ static_cast<uint8_t>(s[i])) * kFnvPrime;
    const uint64_t key = WordKey(h);
    if (!WordBits.MayHave(key))
      continue;
    uint32_t count = 0;
    if (const uint32_t *items = Words.Find(key, count))
      if (AnyApplies(items, count, q, start))
        return true;
  }

  if (!Grams.Empty()) {
    uint32_t g = 0;
    for (size_t i = 0; i < s.size(); ++i) {
      g = (g << 8) | static_cast<uint8_t>(s[i]);
      if (i < 3)
        continue;
      const uint64_t key = GramKey(g);
      if (!GramBits.MayHave(key))
        continue;
      uint32_t count = 0;
      if (const uint32_t *items = Grams.Find(key, count))
        if (AnyApplies(items, count, q, i - 3))
          return true;
    }
  }

  return AnyApplies(Unindexed.data(), static_cast<uint32_t>(Unindexed.size()), q, npos);
}

TUrl::TUrl(std::string_view url, EPart part) : FOriginal(url) {
  const std::string_view s = url;
  size_t i = 0;
  while (i < s.size() && (IsWordChar(ToLower(s[i])) || s[i] == '+' || s[i] == '-' || s[i] == '.'))
    ++i;
  size_t a = 0, e = 0, hostEnd = 0;
  if (i > 0 && s.substr(i, 3) == "://")
    a = i + 3;
  else if (s.substr(0, 2) == "//")
    a = 2;
  if (a) {
    e = a;
    while (e < s.size() && s[e] != '/' && s[e] != '?' && s[e] != '#' && s[e] != '\\')
      ++e;
    const size_t at = s.substr(a, e - a).rfind('@');
    if (at != std::string_view::npos)
      a += at + 1;
    hostEnd = e;
    if (a < e && s[a] == '[') {
      const size_t close = s.substr(a, e - a).find(']');
      if (close != std::string_view::npos)
        hostEnd = a + close + 1;
    } else {
      const size_t colon = s.substr(a, e - a).find(':');
      if (colon != std::string_view::npos)
        hostEnd = a + colon;
    }
  }
  FHostBegin = a;
  FHostEnd = hostEnd;

  FLowerLength = part == HostOnly ? hostEnd : url.size();
  char *buf = FInline;
  if (FLowerLength > sizeof(FInline)) {
    FHeap.resize(FLowerLength);
    buf = FHeap.data();
  }
  for (size_t k = 0; k < FLowerLength; ++k)
    buf[k] = ToLower(url[k]);
  FLower = buf;
}

bool IsThirdParty(std::string_view host, std::string_view pageHost) {
  if (pageHost.empty())
    return true;
  return SiteOf(host) != SiteOf(pageHost);
}

TAdFilterList::TAdFilterList(EIndexing indexing) : FBlock(new TRuleSet), FExcept(new TRuleSet) {
  FBlock->Indexed = FExcept->Indexed = indexing == EIndexing::Indexed;
}
TAdFilterList::~TAdFilterList() = default;
TAdFilterList::TAdFilterList(TAdFilterList &&) noexcept = default;
TAdFilterList &TAdFilterList::operator=(TAdFilterList &&) noexcept = default;

namespace {

enum class ELine { Rule, Comment, Regex, Cosmetic, UnknownOption, Malformed };

struct TParsedRule {
  bool Exception = false;
  uint8_t Flags = 0;
  uint8_t Types = kAllTypes;
  std::string_view Pattern;
  std::vector<std::pair<std::string, bool>> Domains; // lower case, negated
};

ELine ParseLine(std::string_view line, TParsedRule &rule) {
  if (line[0] == '!' || line[0] == '[')
    return ELine::Comment;
  if (IsCosmetic(line))
    return ELine::Cosmetic;
  if (line.substr(0, 2) == "@@") {
    rule.Exception = true;
    line.remove_prefix(2);
  }
  if (line.size() > 2 && line.front() == '/' && line.back() == '/')
    return ELine::Regex;

  std::string_view pattern = line;
  const size_t dollar = line.rfind('$');
  if (dollar != std::string_view::npos) {
    pattern = line.substr(0, dollar);
    if (pattern.size() > 2 && pattern.front() == '/' && pattern.back() == '/')
      return ELine::Regex;
    std::string_view options = line.substr(dollar + 1);
    if (options.empty())
      return ELine::Malformed;
    uint8_t positive = 0, negative = 0;
    std::string name;
    while (true) {
      const size_t comma = options.find(',');
      const std::string_view option = options.substr(0, comma);
      name.assign(option);
      for (char &c : name)
        c = ToLower(c);
      const bool negated = !name.empty() && name[0] == '~';
      const std::string_view bare = std::string_view(name).substr(negated ? 1 : 0);
      if (bare.empty())
        return ELine::Malformed;
      if (bare.substr(0, 7) == "domain=") {
        if (negated)
          return ELine::Malformed;
        std::string_view list = bare.substr(7);
        while (!list.empty()) {
          const size_t bar = list.find('|');
          std::string_view d = list.substr(0, bar);
          const bool not_ = !d.empty() && d[0] == '~';
          if (not_)
            d.remove_prefix(1);
          if (!d.empty())
            rule.Domains.emplace_back(std::string(d), not_);
          if (bar == std::string_view::npos)
            break;
          list.remove_prefix(bar + 1);
        }
        if (rule.Domains.empty() || rule.Domains.size() > 0xFFFF)
          return ELine::Malformed;
      } else if (const uint8_t type = TypeOfOption(bare)) {
        (negated ? negative : positive) |= type;
      } else if (bare == "third-party" || bare == "3p") {
        rule.Flags |= negated ? fFirstParty : fThirdParty;
      } else if (bare == "first-party" || bare == "1p") {
        rule.Flags |= negated ? fThirdParty : fFirstParty;
      } else if (bare == "match-case" && !negated) {
        rule.Flags |= fMatchCase;
      } else if (bare == "important" && !negated) {
        // Only ranks a rule above exceptions elsewhere; blocking is the same.
      } else {
        return ELine::UnknownOption;
      }
      if (comma == std::string_view::npos)
        break;
      options.remove_prefix(comma + 1);
    }
    if ((rule.Flags & fThirdParty) && (rule.Flags & fFirstParty))
      return ELine::Malformed;
    rule.Types = (positive ? positive : kAllTypes) & ~negative;
  }

  if (pattern.substr(0, 2) == "||") {
    rule.Flags |= fHost;
    pattern.remove_prefix(2);
  } else if (!pattern.empty() && pattern[0] == '|') {
    rule.Flags |= fStart;
    pattern.remove_prefix(1);
  }
  if (!pattern.empty() && pattern.back() == '|') {
    rule.Flags |= fEnd;
    pattern.remove_suffix(1);
  }
  for (char c : pattern)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f)
      return ELine::Malformed;
  // A bare "*" or "|" would block everything; only options make that a rule.
  if (pattern.find_first_not_of('*') == std::string_view::npos && dollar == std::string_view::npos)
    return ELine::Malformed;
  if (!pattern.empty() && pattern.front() == '*') {
    rule.Flags &= ~(fStart | fHost);
    while (!pattern.empty() && pattern.front() == '*')
      pattern.remove_prefix(1);
  }
  if (!pattern.empty() && pattern.back() == '*') {
    rule.Flags &= ~fEnd;
    while (!pattern.empty() && pattern.back() == '*')
      pattern.remove_suffix(1);
  }
  rule.Pattern = pattern;
  return ELine::Rule;
}

void Store(TAdFilterList::TRuleSet &set, const TParsedRule &parsed);

} // namespace

void TAdFilterList::AddList(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF")
    text.remove_prefix(3);
  bool addedBlock = false, addedExcept = false;
  TParsedRule rule;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    const std::string_view line = Trim(text.substr(0, nl));
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (line.empty())
      continue;
    rule = TParsedRule();
    switch (ParseLine(line, rule)) {
    case ELine::Rule:
      Store(rule.Exception ? *FExcept : *FBlock, rule);
      (rule.Exception ? addedExcept : addedBlock) = true;
      ++(rule.Exception ? FStats.ExceptionRules : FStats.BlockRules);
      break;
    case ELine::Comment:
      ++FStats.Comments;
      break;
    case ELine::Regex:
      ++FStats.RegexRules;
      break;
    case ELine::Cosmetic:
      ++FStats.CosmeticRules;
      break;
    case ELine::UnknownOption:
      ++FStats.UnknownOptionRules;
      break;
    case ELine::Malformed:
      ++FStats.MalformedLines;
      break;
    }
  }
  if (addedBlock)
    FBlock->Reindex();
  if (addedExcept)
    FExcept->Reindex();
  FStats.UnindexedRules = FBlock->Unindexed.size() + FExcept->Unindexed.size();
}

namespace {

void Store(TAdFilterList::TRuleSet &set, const TParsedRule &parsed) {
  TRule r{};
  r.Pattern = static_cast<uint32_t>(set.Text.size());
  r.PatternLen = static_cast<uint32_t>(parsed.Pattern.size());
  r.Types = parsed.Types;
  r.Flags = parsed.Flags;
  // Collapse "**": a piece is never empty.
  char prev = 0;
  for (char c : parsed.Pattern) {
    if (c == '*' && prev == '*') {
      --r.PatternLen;
      continue;
    }
    set.Text += (r.Flags & fMatchCase) ? c : ToLower(c);
    prev = c;
    if (c == '*')
      r.Flags |= fStar;
  }
  r.Domains = static_cast<uint32_t>(set.Domains.size());
  r.DomainCount = static_cast<uint16_t>(parsed.Domains.size());
  for (const auto &[name, negated] : parsed.Domains) {
    set.Domains.push_back(
        TDomain{static_cast<uint32_t>(set.DomainText.size()), static_cast<uint32_t>(name.size()), negated});
    set.DomainText += name;
    if (!negated)
      r.Flags |= fHasIncludes;
  }
  set.Rules.push_back(r);
}

} // namespace

bool TAdFilterList::MatchesBlocking(const TUrl &url, const TUrl &page, EResourceType type) const {
  return FBlock->Match(url, page, type);
}

bool TAdFilterList::MatchesException(const TUrl &url, const TUrl &page, EResourceType type) const {
  return FExcept->Match(url, page, type);
}

bool TAdFilterList::IsBlocked(std::string_view resourceUrl, std::string_view linkUrl, std::string_view pageUrl,
                              EResourceType type) const {
  const TUrl page(pageUrl, TUrl::HostOnly);
  const TUrl resource(resourceUrl);
  if (FBlock->Match(resource, page, type))
    return !FExcept->Match(resource, page, type);
  if (linkUrl.empty())
    return false;
  const TUrl link(linkUrl);
  return FBlock->Match(link, page, type) && !FExcept->Match(link, page, type) && !FExcept->Match(resource, page, type);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

} // namespace zurpc
