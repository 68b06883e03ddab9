// A growable byte buffer that is written at its end and consumed from its
// front. Consumed bytes are dropped by advancing a read offset; the live bytes
// are moved down only once at least as many have been consumed, so every byte
// is moved a bounded number of times and the cost stays linear in the bytes
// that pass through, however small the pieces.
#pragma once

#include <cstddef>
#include <cstdint>

class TByteStream {
public:
  // Bytes after the end of the data that may be read (not used), so that
  // scans can look at 16 bytes at a time up to the very end.
  static constexpr size_t ReadAhead = 16;

  TByteStream() = default;
  TByteStream(const TByteStream &) = delete;
  TByteStream &operator=(const TByteStream &) = delete;
  ~TByteStream();

  const uint8_t *Data() const {
    Settle();
    return FData + FHead;
  }
  size_t Size() const { return FTail - FHead + FLentSize; }
  bool Empty() const { return Size() == 0; }

  // Appends at the end. Throws std::bad_alloc when memory runs out.
  void Write(const void *data, size_t count);
  // Appends bytes that stay where they are until the stream is next written,
  // read or settled, so that the runs a filter passes through unchanged are
  // copied in one piece. They must not change or move until then.
  void WriteLater(const uint8_t *data, size_t count) {
    if (FLentSize && FLent + FLentSize == data)
      FLentSize += count;
    else if (count)
      LendMore(data, count);
  }
  // Copies in what WriteLater left outside; throws std::bad_alloc and then
  // still holds those bytes as they were.
  void Settle() const {
    if (FLentSize)
      SettleLent();
  }
  // The front of the bytes WriteLater left outside, or null.
  const uint8_t *Lent() const { return FLentSize ? FLent : nullptr; }
  // Forgets what WriteLater left outside.
  void DropLent() { FLentSize = 0; }

  // Room for `count` bytes at the end, to be filled and then added by Commit.
  uint8_t *Prepare(size_t count);
  void Commit(size_t count) { FTail += count; }

  // Drops `count` bytes (at most Size()) from the front.
  void Consume(size_t count);
  void Clear() { FHead = FTail = FLentSize = 0; }
  // Moves all of `other`'s bytes to the end of this stream, taking over its
  // storage when this stream is empty.
  void Append(TByteStream &other);

private:
  void Reserve(size_t extra) const;
  void SettleLent() const;
  void LendMore(const uint8_t *data, size_t count);

  // Mutable because reading the bytes may first have to settle them.
  mutable uint8_t *FData = nullptr;
  mutable size_t FCapacity = 0;
  mutable size_t FHead = 0;
  mutable size_t FTail = 0;
  mutable const uint8_t *FLent = nullptr;
  mutable size_t FLentSize = 0;
};
