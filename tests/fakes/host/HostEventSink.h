// Base of the tests' own sinks for the host's events: a dispatch-only object
// that answers the events' interface and leaves Invoke to the test.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "ZUTervane.h"
#include "com/ComObject.h"

namespace fakes {

template <class TDerived> class THostEventSink : public com::TComObject<TDerived, IDispatch> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TDerived, IDispatch),
                                                 {&DIID_IGUIServerEvents, com::InterfaceOffset<TDerived, IDispatch>()},
                                                 ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetTypeInfoCount(UINT *count) override {
    *count = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
};

} // namespace fakes
