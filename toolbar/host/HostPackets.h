// The host's byte packets besides string lists: its list of browser windows
// and the domain-link IDs. Portable, so the native build fuzzes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolbar/services/StreamUtils.h"

namespace kwo {

struct TBrowserListEntry {
  std::u16string Caption;
  int32_t ID = 0;
  std::u16string Hint;
  bool operator==(const TBrowserListEntry &) const = default;
};

// A count, then per window its caption, window ID and hint. Only what arrived
// is read: a list that ends early keeps its complete entries, and a count or
// length beyond the bytes allocates nothing.
std::vector<TBrowserListEntry> ReadBrowserList(TMemoryStream &stream);
void WriteBrowserList(TMemoryStream &stream, const std::vector<TBrowserListEntry> &entries);

// Consecutive little-endian 32-bit integers; a tail shorter than 4 bytes is ignored.
std::vector<int32_t> ReadInt32List(TMemoryStream &stream);

} // namespace kwo
