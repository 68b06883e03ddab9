#include "StreamUtils.h"

#include <climits>
#include <cstring>

#include "ZUSystem.h"
#include "com/SafeArray.h"

namespace kwo {

void StreamToByteArray(const TMemoryStream &stream, com::Variant &out) {
  Traced(1569, [&] {
    VARIANT *slot = out.Receive();
    if (stream.Size() > ULONG_MAX)
      throw EIntOverflow("Stream too large for a byte array");
    com::SafeArray array(VT_UI1, static_cast<ULONG>(stream.Size()));
    {
      com::SafeArrayAccess access(array.Get());
      if (!access.Valid())
        throw Exception("Byte array cannot be locked");
      if (stream.Size())
        std::memcpy(access.Data(), stream.Data(), stream.Size());
    }
    slot->vt = VT_ARRAY | VT_UI1;
    slot->parray = array.Detach();
  });
}

void ByteArrayToStream(const VARIANT &value, TMemoryStream &stream) {
  Traced(1570, [&] {
    SAFEARRAY *array = nullptr;
    if (value.vt == (VT_ARRAY | VT_UI1) || value.vt == (VT_ARRAY | VT_I1))
      array = value.parray;
    else if (value.vt == (VT_BYREF | VT_ARRAY | VT_UI1) || value.vt == (VT_BYREF | VT_ARRAY | VT_I1))
      array = value.pparray ? *value.pparray : nullptr;
    // Only the bytes the array really holds are copied, so a wider element
    // type or a second dimension would make its bounds lie about them.
    if (!array || SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != 1)
      return;
    com::SafeArrayAccess access(array);
    if (!access.Valid())
      throw Exception("Byte array cannot be read");
    BytesToStream(access.As<const uint8_t>(), access.Count(), stream);
  });
}

} // namespace kwo
