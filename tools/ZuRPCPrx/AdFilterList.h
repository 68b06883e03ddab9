// Request rules of ad-filter lists in the common list syntax, indexed so that
// one URL is checked against tens of thousands of rules in about a microsecond.
// Portable: no platform headers.
//
// Rules are indexed by one key each: preferably a whole word of the pattern
// (letters and digits bounded on both sides, so the URL must hold exactly that
// word), else a 4-character literal run (the URL must hold it somewhere), and
// only the few rules with neither are tried against every URL.
//
// Third party: a request is first-party when its host and the page's host end
// in the same two labels (the registrable domain, approximated; IP literals
// compare whole). With no page host the request counts as third-party.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zurpc {

enum EResourceType : uint8_t {
  rtImage = 1,
  rtSubdocument = 2,
  rtObject = 4,
  rtOther = 8, // every type we are never asked about (script, popup, ...)
};

struct TListStats {
  size_t BlockRules = 0;
  size_t ExceptionRules = 0;
  size_t Comments = 0;           // '!' lines and '[...]' headers
  size_t RegexRules = 0;         // /.../ rules, skipped
  size_t CosmeticRules = 0;      // element hiding and page scripting, skipped
  size_t UnknownOptionRules = 0; // ignored whole
  size_t MalformedLines = 0;
  size_t UnindexedRules = 0; // tried against every URL
};

// A URL prepared for matching: a lower-case copy and where its host is.
// Holds short URLs inline, so preparing one usually allocates nothing.
class TUrl {
public:
  // HostOnly: only Host() will be asked for, as of a page's URL.
  enum EPart { WholeUrl, HostOnly };
  explicit TUrl(std::string_view url, EPart part = WholeUrl);
  TUrl(const TUrl &) = delete;
  TUrl &operator=(const TUrl &) = delete;

  std::string_view Original() const { return FOriginal; }
  std::string_view Lower() const { return {FLower, FLowerLength}; }
  std::string_view Host() const { return Lower().substr(FHostBegin, FHostEnd - FHostBegin); }
  size_t HostBegin() const { return FHostBegin; }
  size_t HostEnd() const { return FHostEnd; }

private:
  std::string_view FOriginal;
  const char *FLower;
  size_t FLowerLength;
  size_t FHostBegin = 0, FHostEnd = 0;
  char FInline[480];
  std::string FHeap;
};

// True when the two hosts belong to different sites (see above).
bool IsThirdParty(std::string_view host, std::string_view pageHost);

class TAdFilterList {
public:
  // Unindexed tries every rule on every URL: far too slow for use, but the
  // yardstick the index is checked against.
  enum class EIndexing { Indexed, Unindexed };

  explicit TAdFilterList(EIndexing indexing = EIndexing::Indexed);
  ~TAdFilterList();
  TAdFilterList(TAdFilterList &&) noexcept;
  TAdFilterList &operator=(TAdFilterList &&) noexcept;

  // Adds the rules of one list; lines it cannot use are counted and skipped.
  void AddList(std::string_view text);
  const TListStats &Stats() const { return FStats; }

  // Whether a blocking (resp. exception) rule for `type` matches `url` fetched
  // by the page at `page`.
  bool MatchesBlocking(const TUrl &url, const TUrl &page, EResourceType type) const;
  bool MatchesException(const TUrl &url, const TUrl &page, EResourceType type) const;

  // The resource is blocked when it or its link matches a blocking rule and
  // no exception matches that same URL or the resource.
  bool IsBlocked(std::string_view resourceUrl, std::string_view linkUrl, std::string_view pageUrl,
                 EResourceType type) const;

  struct TRuleSet;

private:
  std::unique_ptr<TRuleSet> FBlock;
  std::unique_ptr<TRuleSet> FExcept;
  TListStats FStats;
};

// Without leading and trailing blanks (space, tab, carriage return).
std::string_view Trim(std::string_view s);

} // namespace zurpc
