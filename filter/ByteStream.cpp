#include "ByteStream.h"

#include <cstdlib>
#include <cstring>
#include <new>

TByteStream::~TByteStream() { std::free(FData); }

void TByteStream::Reserve(size_t extra) {
  const size_t live = Size();
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
  auto* fresh = static_cast<uint8_t*>(std::malloc(want));
  if (!fresh)
    throw std::bad_alloc();
  if (live)
    std::memcpy(fresh, FData + FHead, live);
  std::free(FData);
  FData = fresh;
  FCapacity = want;
  FHead = 0;
  FTail = live;
}

void TByteStream::Write(const void* data, size_t count) {
  if (count == 0)
    return;
  Reserve(count);
  std::memcpy(FData + FTail, data, count);
  FTail += count;
}

void TByteStream::Consume(size_t count) {
  if (count >= Size()) {
    FHead = FTail = 0;
    return;
  }
  FHead += count;
}
