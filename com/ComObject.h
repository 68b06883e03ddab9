// Base of every COM object: an atomic reference count, the module's object
// count, and QueryInterface answered from a static table of the class.
//
//   class TFoo : public com::TComObject<TFoo, IFoo, IBar> {
//   public:
//     static const com::TInterfaceEntry* Interfaces() {
//       static const com::TInterfaceEntry table[] = {
//         ZU_INTERFACE(TFoo, IFoo), ZU_INTERFACE(TFoo, IBar), ZU_INTERFACE_END};
//       return table;
//     }
//   };
//
// The first entry also answers IUnknown. New objects start with one
// reference owned by the creator (see MakeObject).
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <wrl/client.h>

#include <atomic>
#include <cstddef>
#include <utility>

#include "ComModule.h"

namespace com {

struct TInterfaceEntry {
  const IID *Iid;
  std::ptrdiff_t Offset; // from the object's start to the interface's vtable pointer
};

template <class TClass, class TInterface, class TPath = TInterface> std::ptrdiff_t InterfaceOffset() {
  // The classic base-offset computation on a made-up address: no object is touched.
  constexpr std::uintptr_t fake = 0x10000;
  auto *object = reinterpret_cast<TClass *>(fake);
  auto *iface = static_cast<TInterface *>(static_cast<TPath *>(object));
  return reinterpret_cast<std::uintptr_t>(iface) - fake;
}

#define ZU_INTERFACE(Class, Iface)                                                                                     \
  { &__uuidof(Iface), ::com::InterfaceOffset<Class, Iface>() }
// An interface reached through a derived one (IInternetProtocolRoot through IInternetProtocol).
#define ZU_INTERFACE_VIA(Class, Iface, Path)                                                                           \
  { &__uuidof(Iface), ::com::InterfaceOffset<Class, Iface, Path>() }
#define ZU_INTERFACE_END                                                                                               \
  { nullptr, 0 }

HRESULT QueryInterfaceFromTable(void *object, const TInterfaceEntry *table, REFIID iid, void **out) noexcept;

template <class TDerived, class... TInterfaces> class TComObject : public TInterfaces... {
public:
  TComObject() { ObjectCreated(); }
  TComObject(const TComObject &) = delete;
  TComObject &operator=(const TComObject &) = delete;
  virtual ~TComObject() { ObjectDestroyed(); }

  STDMETHODIMP QueryInterface(REFIID iid, void **out) override {
    const HRESULT hr = QueryInterfaceFromTable(static_cast<TDerived *>(this), TDerived::Interfaces(), iid, out);
    if (SUCCEEDED(hr))
      AddRef();
    return hr;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++FRefCount; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG left = --FRefCount;
    if (left == 0)
      delete this;
    return left;
  }

  ULONG RefCount() const { return FRefCount.load(); }

private:
  std::atomic<ULONG> FRefCount{1};
};

// Makes `holder` own `raw`'s reference without adding one. MinGW's
// ComPtr::Attach adds a reference, unlike the documented one, so the project
// never calls it.
template <class T> void Adopt(Microsoft::WRL::ComPtr<T> &holder, T *raw) { *holder.ReleaseAndGetAddressOf() = raw; }

// Creates an object whose single reference the returned pointer owns.
template <class T, class... TArgs> Microsoft::WRL::ComPtr<T> MakeObject(TArgs &&...args) {
  Microsoft::WRL::ComPtr<T> p;
  Adopt(p, new T(std::forward<TArgs>(args)...));
  return p;
}

} // namespace com
