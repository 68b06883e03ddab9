// The filtering library's four COM entry points.
#include <windows.h>

#include "../com/ClassFactory.h"
#include "../com/ComModule.h"

namespace {
// The library's creatable classes; filled in as they are built.
const com::TClassEntry GClasses[] = {{nullptr, nullptr}};
} // namespace

extern "C" {

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out) {
  return com::GetClassObjectFromTable(GClasses, clsid, iid, out);
}

STDAPI DllCanUnloadNow() { return com::CanUnloadNow(); }

STDAPI DllRegisterServer() { return S_OK; }

STDAPI DllUnregisterServer() { return S_OK; }
}
