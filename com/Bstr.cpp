#include "Bstr.h"

#include <new>

namespace com {

namespace {
BSTR AllocOrThrow(const wchar_t *text, size_t length) {
  BSTR b = SysAllocStringLen(text, static_cast<UINT>(length));
  if (!b)
    throw std::bad_alloc();
  return b;
}
} // namespace

Bstr::Bstr(std::wstring_view text) : FValue(AllocOrThrow(text.data(), text.size())) {}

Bstr::Bstr(const Bstr &other) : FValue(other.FValue ? AllocOrThrow(other.FValue, other.Length()) : nullptr) {}

Bstr &Bstr::operator=(const Bstr &other) {
  if (this != &other) {
    Bstr copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Bstr &Bstr::operator=(Bstr &&other) noexcept {
  if (this != &other) {
    Reset();
    FValue = other.Detach();
  }
  return *this;
}

Bstr Bstr::Copy(BSTR value) {
  Bstr b;
  if (value)
    b.FValue = AllocOrThrow(value, SysStringLen(value));
  return b;
}

void Bstr::Reset() noexcept {
  if (FValue) {
    SysFreeString(FValue);
    FValue = nullptr;
  }
}

} // namespace com
