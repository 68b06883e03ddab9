// What every fake has in common: it is a counted COM object, and tests can
// ask how many fakes are still alive.
#pragma once

#include <windows.h>

#include "com/ComObject.h"

namespace fakes {

// Fakes alive right now, of every kind. They are module objects too, so
// com::ObjectCount() sees them as well.
long LiveObjects();

namespace detail {
void FakeCreated();
void FakeDestroyed();
} // namespace detail

template <class TDerived, class... TInterfaces> class TFakeObject : public com::TComObject<TDerived, TInterfaces...> {
public:
  TFakeObject() { detail::FakeCreated(); }
  ~TFakeObject() override { detail::FakeDestroyed(); }
};

} // namespace fakes
