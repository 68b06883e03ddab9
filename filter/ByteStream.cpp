#include "ByteStream.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

TByteStream::~TByteStream() { std::free(FData); }

void TByteStream::Reserve(size_t extra) const {
  const size_t live = FTail - FHead;
  if (FCapacity - FTail >= extra)
    return;
  if (FHead > 0 && FHead >= live && FCapacity - live >= extra) {
    std::memmove(FData, FData + FHead, live);
    FHead = 0;
    FTail = live;
    return;
  }
  if (extra > static_cast<size_t>(-1) / 2 - live)
    throw std::bad_alloc();
  size_t want = FCapacity ? FCapacity : 4096;
  while (want < live + extra)
    want *= 2;
  uint8_t *fresh;
  if (FHead == 0) {
    // A buffer that only grows, as for a tag that never closes, can often be
    // extended where it is.
    fresh = static_cast<uint8_t *>(std::realloc(FData, want + ReadAhead));
    if (!fresh)
      throw std::bad_alloc();
  } else {
    fresh = static_cast<uint8_t *>(std::malloc(want + ReadAhead));
    if (!fresh)
      throw std::bad_alloc();
    if (live)
      std::memcpy(fresh, FData + FHead, live);
    std::free(FData);
  }
  FData = fresh;
  FCapacity = want;
  FHead = 0;
  FTail = live;
}

void TByteStream::SettleLent() const {
  Reserve(FLentSize);
  std::memcpy(FData + FTail, FLent, FLentSize);
  FTail += FLentSize;
  FLentSize = 0;
}

void TByteStream::Write(const void *data, size_t count) {
  if (count == 0)
    return;
  Settle();
  Reserve(count);
  std::memcpy(FData + FTail, data, count);
  FTail += count;
}

void TByteStream::LendMore(const uint8_t *data, size_t count) {
  Settle();
  FLent = data;
  FLentSize = count;
}

uint8_t *TByteStream::Prepare(size_t count) {
  Settle();
  Reserve(count);
  return FData + FTail;
}

void TByteStream::Consume(size_t count) {
  if (count >= Size()) {
    Clear();
    return;
  }
  const size_t held = FTail - FHead;
  if (count <= held) {
    FHead += count;
    return;
  }
  FHead = FTail = 0;
  FLent += count - held;
  FLentSize -= count - held;
}

void TByteStream::Append(TByteStream &other) {
  other.Settle();
  if (Empty()) {
    std::swap(FData, other.FData);
    std::swap(FCapacity, other.FCapacity);
    std::swap(FHead, other.FHead);
    std::swap(FTail, other.FTail);
  } else {
    Write(other.FData + other.FHead, other.FTail - other.FHead);
  }
  other.Clear();
}
