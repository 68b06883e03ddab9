#include "ClassFactory.h"

namespace com {

const TInterfaceEntry *TClassFactory::Interfaces() {
  static const TInterfaceEntry table[] = {ZU_INTERFACE(TClassFactory, IClassFactory), ZU_INTERFACE_END};
  return table;
}

STDMETHODIMP TClassFactory::CreateInstance(IUnknown *outer, REFIID iid, void **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (outer)
    return CLASS_E_NOAGGREGATION;
  return FEntry.Create(iid, out);
}

STDMETHODIMP TClassFactory::LockServer(BOOL lock) {
  if (lock)
    LockModule();
  else
    UnlockModule();
  return S_OK;
}

HRESULT GetClassObjectFor(const TClassEntry &entry, REFIID iid, void **out) noexcept {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  try {
    auto factory = MakeObject<TClassFactory>(entry);
    return factory->QueryInterface(iid, out);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT GetClassObjectFromTable(const TClassEntry *table, REFCLSID clsid, REFIID iid, void **out) noexcept {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  for (const TClassEntry *e = table; e && e->Clsid; ++e)
    if (IsEqualCLSID(clsid, *e->Clsid))
      return GetClassObjectFor(*e, iid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

} // namespace com
