#include "StreamUtils.h"

#include <cstring>

#include "ZUSystem.h"

namespace kwo {

void TMemoryStream::Write(const void *data, size_t count) {
  if (count == 0)
    return;
  if (FPosition + count > FData.size())
    FData.resize(FPosition + count);
  std::memcpy(FData.data() + FPosition, data, count);
  FPosition += count;
}

size_t TMemoryStream::Read(void *data, size_t count) {
  const size_t n = count < Remaining() ? count : Remaining();
  if (n)
    std::memcpy(data, FData.data() + FPosition, n);
  FPosition += n;
  return n;
}

void TMemoryStream::WriteInt32(int32_t value) {
  const uint32_t u = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
                            static_cast<uint8_t>(u >> 24)};
  Write(bytes, 4);
}

bool TMemoryStream::ReadInt32(int32_t &value) {
  if (Remaining() < 4)
    return false;
  const uint8_t *p = FData.data() + FPosition;
  value = static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
  FPosition += 4;
  return true;
}

void WriteWideStr(TMemoryStream &stream, std::u16string_view text) {
  stream.WriteInt32(static_cast<int32_t>(text.size()));
  std::vector<uint8_t> bytes(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[2 * i] = static_cast<uint8_t>(text[i]);
    bytes[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
  stream.Write(bytes.data(), bytes.size());
}

EWideStrRead TryReadWideStr(TMemoryStream &stream, std::u16string &text) {
  text.clear();
  int32_t length = 0;
  // A short length is consumed, as a plain read of 4 bytes would.
  if (!stream.ReadInt32(length)) {
    stream.SetPosition(stream.Size());
    return EWideStrRead::Short;
  }
  if (length < 0)
    return EWideStrRead::Short;
  if (length == 0)
    return EWideStrRead::Ok;
  if (length > INT32_MAX / 2)
    return EWideStrRead::Overflow;
  const size_t bytes = static_cast<size_t>(length) * 2;
  if (stream.Remaining() < bytes) {
    stream.SetPosition(stream.Size());
    return EWideStrRead::Short;
  }
  text.resize(static_cast<size_t>(length));
  const uint8_t *p = stream.Data() + stream.Position();
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(p[2 * i] | p[2 * i + 1] << 8);
  stream.SetPosition(stream.Position() + bytes);
  return EWideStrRead::Ok;
}

bool ReadWideStr(TMemoryStream &stream, std::u16string &text) {
  switch (TryReadWideStr(stream, text)) {
  case EWideStrRead::Ok:
    return true;
  case EWideStrRead::Short:
    return false;
  case EWideStrRead::Overflow:
    break;
  }
  throw EIntOverflow("Integer overflow");
}

void BytesToStream(const uint8_t *data, size_t size, TMemoryStream &stream) {
  stream.Clear();
  stream.Write(data, size);
}

} // namespace kwo
