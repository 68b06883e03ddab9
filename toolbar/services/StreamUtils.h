// A memory stream and the string packets that travel through it: a
// little-endian 32-bit length in UTF-16 code units followed by the code
// units. On Windows the whole stream moves in and out of variant byte arrays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <oleauto.h>

#include "com/Variant.h"
#endif

namespace kwo {

// Bytes with a read/write position. Writing past the end grows the stream;
// reading never goes past it.
class TMemoryStream {
public:
  size_t Size() const { return FData.size(); }
  const uint8_t *Data() const { return FData.data(); }
  size_t Position() const { return FPosition; }
  // Positions beyond the end are clamped to it.
  void SetPosition(size_t position) { FPosition = position < FData.size() ? position : FData.size(); }
  void Rewind() { FPosition = 0; }
  void Clear() {
    FData.clear();
    FPosition = 0;
  }

  void Write(const void *data, size_t count);
  // Copies up to `count` bytes from the position on and returns how many.
  size_t Read(void *data, size_t count);
  size_t Remaining() const { return FData.size() - FPosition; }

  void WriteInt32(int32_t value);
  // False, with the position unchanged, when fewer than 4 bytes are left.
  bool ReadInt32(int32_t &value);

private:
  std::vector<uint8_t> FData;
  size_t FPosition = 0;
};

void WriteWideStr(TMemoryStream &stream, std::u16string_view text);

enum class EWideStrRead { Ok, Short, Overflow };
// ReadWideStr without the overflow exception, for callers that treat every
// bad string alike.
EWideStrRead TryReadWideStr(TMemoryStream &stream, std::u16string &text);
// False when the length is missing or negative or fewer code units than it
// announces are left (the rest is then consumed). A length whose byte count
// does not fit 32 bits raises EIntOverflow. Nothing beyond the stream's bytes
// is read, and nothing is allocated for code units that are not there.
bool ReadWideStr(TMemoryStream &stream, std::u16string &text);

// Replaces the stream's content with `size` bytes; the position is then at
// the end.
void BytesToStream(const uint8_t *data, size_t size, TMemoryStream &stream);

#ifdef _WIN32
// `out` becomes a one-dimensional VT_UI1 array, lower bound 0, of the whole
// stream's content. Trace number 1569.
void StreamToByteArray(const TMemoryStream &stream, com::Variant &out);
// When `value` holds a one-dimensional array of bytes (also by reference),
// the stream is emptied and receives all its bytes, position at the end.
// Anything else (no array, an array of wider elements or more dimensions)
// leaves the stream untouched. Trace number 1570.
void ByteArrayToStream(const VARIANT &value, TMemoryStream &stream);

inline std::u16string_view AsU16(std::wstring_view text) {
  return std::u16string_view(reinterpret_cast<const char16_t *>(text.data()), text.size());
}
inline std::wstring_view AsWide(std::u16string_view text) {
  return std::wstring_view(reinterpret_cast<const wchar_t *>(text.data()), text.size());
}
#endif

} // namespace kwo
