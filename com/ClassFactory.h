// A table-driven class factory: each creatable class is one entry with its
// class GUID and a creation function, and DllGetClassObject hands out a
// factory object for the entry asked for.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "ComObject.h"

namespace com {

struct TClassEntry {
  const CLSID *Clsid;
  // Creates an instance and returns the interface asked for; never throws.
  HRESULT (*Create)(REFIID iid, void **out);
};

class TClassFactory : public TComObject<TClassFactory, IClassFactory> {
public:
  explicit TClassFactory(const TClassEntry &entry) : FEntry(entry) {}
  static const TInterfaceEntry *Interfaces();

  STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **out) override;
  STDMETHODIMP LockServer(BOOL lock) override;

private:
  const TClassEntry &FEntry;
};

// A class object for `entry`, which must outlive it (entries are static data).
HRESULT GetClassObjectFor(const TClassEntry &entry, REFIID iid, void **out) noexcept;

// DllGetClassObject over a table ended by an entry with a null Clsid.
HRESULT GetClassObjectFromTable(const TClassEntry *table, REFCLSID clsid, REFIID iid, void **out) noexcept;

// The usual creation function: a new T, asked for `iid`.
template <class T> HRESULT CreateInstanceOf(REFIID iid, void **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  try {
    auto object = MakeObject<T>();
    return object->QueryInterface(iid, out);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

} // namespace com
