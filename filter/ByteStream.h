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
  TByteStream() = default;
  TByteStream(const TByteStream&) = delete;
  TByteStream& operator=(const TByteStream&) = delete;
  ~TByteStream();

  const uint8_t* Data() const { return FData + FHead; }
  size_t Size() const { return FTail - FHead; }
  bool Empty() const { return FTail == FHead; }

  // Appends at the end. Throws std::bad_alloc when memory runs out.
  void Write(const void* data, size_t count);
  // Drops `count` bytes (at most Size()) from the front.
  void Consume(size_t count);
  void Clear() { FHead = FTail = 0; }

private:
  void Reserve(size_t extra);

  uint8_t* FData = nullptr;
  size_t FCapacity = 0;
  size_t FHead = 0;
  size_t FTail = 0;
};
