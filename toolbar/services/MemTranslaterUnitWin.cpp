#include "MemTranslaterUnit.h"

#include <climits>

namespace kwo {

int CompareTextLocale(std::u16string_view a, std::u16string_view b) {
  // CompareStringW takes int lengths; the texts are captions and hints.
  const int na = a.size() > INT_MAX ? INT_MAX : static_cast<int>(a.size());
  const int nb = b.size() > INT_MAX ? INT_MAX : static_cast<int>(b.size());
  // A null pointer makes the call fail, which would read as equal.
  const wchar_t *pa = a.empty() ? L"" : AsWide(a).data();
  const wchar_t *pb = b.empty() ? L"" : AsWide(b).data();
  const int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, pa, na, pb, nb);
  return r == CSTR_LESS_THAN ? -1 : r == CSTR_GREATER_THAN ? 1 : 0;
}

void TMemTranslater::GetTextsPacket(com::Variant &out) const {
  out.Clear();
  TMemoryStream stream;
  WriteTextsPacket(stream);
  StreamToByteArray(stream, out);
}

void TMemTranslater::SetTranslationsPacket(const VARIANT &reply) {
  ClearTranslations();
  if (reply.vt == VT_EMPTY)
    return;
  TMemoryStream stream;
  ByteArrayToStream(reply, stream);
  stream.Rewind();
  ReadTranslationsPacket(stream);
}

} // namespace kwo
