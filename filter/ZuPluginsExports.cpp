// The filtering library's four COM entry points.
#include <windows.h>

#include "../com/ClassFactory.h"
#include "../com/ComModule.h"
#include "../com/HResult.h"
#include "ZuComObj.h"

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  for (TZuComObjectFactory *const *f = LibraryFactories(); *f; ++f)
    if (IsEqualCLSID(clsid, *(*f)->Entry().Clsid))
      return com::GetClassObjectFor((*f)->Entry(), iid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() { return com::CanUnloadNow(); }

STDAPI DllRegisterServer() {
  return com::ComGuard([] {
    for (TZuComObjectFactory *const *f = LibraryFactories(); *f; ++f) {
      const HRESULT hr = (*f)->UpdateRegistry(true);
      if (FAILED(hr))
        return hr;
    }
    return S_OK;
  });
}

STDAPI DllUnregisterServer() {
  return com::ComGuard([] {
    HRESULT result = S_OK;
    for (TZuComObjectFactory *const *f = LibraryFactories(); *f; ++f) {
      const HRESULT hr = (*f)->UpdateRegistry(false);
      if (FAILED(hr) && SUCCEEDED(result))
        result = hr;
    }
    return result;
  });
}
}
