#include "ComObject.h"

namespace com {

HRESULT QueryInterfaceFromTable(void *object, const TInterfaceEntry *table, REFIID iid, void **out) noexcept {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (!table || !table[0].Iid)
    return E_NOINTERFACE;
  auto *base = static_cast<char *>(object);
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = base + table[0].Offset;
    return S_OK;
  }
  for (const TInterfaceEntry *e = table; e->Iid; ++e)
    if (IsEqualIID(iid, *e->Iid)) {
      *out = base + e->Offset;
      return S_OK;
    }
  return E_NOINTERFACE;
}

} // namespace com
