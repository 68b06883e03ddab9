#include "HostPackets.h"

namespace kwo {

std::vector<TBrowserListEntry> ReadBrowserList(TMemoryStream &stream) {
  std::vector<TBrowserListEntry> entries;
  int32_t count = 0;
  if (!stream.ReadInt32(count))
    return entries;
  for (int32_t i = 0; i < count; ++i) {
    TBrowserListEntry entry;
    if (TryReadWideStr(stream, entry.Caption) != EWideStrRead::Ok || !stream.ReadInt32(entry.ID) ||
        TryReadWideStr(stream, entry.Hint) != EWideStrRead::Ok)
      break;
    entries.push_back(std::move(entry));
  }
  return entries;
}

void WriteBrowserList(TMemoryStream &stream, const std::vector<TBrowserListEntry> &entries) {
  stream.WriteInt32(static_cast<int32_t>(entries.size()));
  for (const TBrowserListEntry &entry : entries) {
    WriteWideStr(stream, entry.Caption);
    stream.WriteInt32(entry.ID);
    WriteWideStr(stream, entry.Hint);
  }
}

std::vector<int32_t> ReadInt32List(TMemoryStream &stream) {
  std::vector<int32_t> values;
  values.reserve(stream.Remaining() / 4);
  int32_t value = 0;
  while (stream.ReadInt32(value))
    values.push_back(value);
  return values;
}

} // namespace kwo
