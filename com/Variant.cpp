#include "Variant.h"

#include <cstring>
#include <new>

#include "HResult.h"

namespace com {

Variant::Variant(std::wstring_view text) : Variant() {
  BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!b)
    throw std::bad_alloc();
  FValue.vt = VT_BSTR;
  FValue.bstrVal = b;
}

Variant::Variant(long value) : Variant() {
  FValue.vt = VT_I4;
  FValue.lVal = value;
}

Variant::Variant(bool value) : Variant() {
  FValue.vt = VT_BOOL;
  FValue.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

Variant::Variant(IDispatch *dispatch) : Variant() {
  FValue.vt = VT_DISPATCH;
  FValue.pdispVal = dispatch;
  if (dispatch)
    dispatch->AddRef();
}

Variant::Variant(const Variant &other) : Variant() {
  ThrowIfFailed(VariantCopy(&FValue, const_cast<VARIANT *>(&other.FValue)));
}

Variant::Variant(Variant &&other) noexcept : Variant() {
  FValue = other.FValue;
  VariantInit(&other.FValue);
}

Variant &Variant::operator=(const Variant &other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant &Variant::operator=(Variant &&other) noexcept {
  if (this != &other) {
    Clear();
    FValue = other.FValue;
    VariantInit(&other.FValue);
  }
  return *this;
}

Variant Variant::Copy(const VARIANT &value) {
  Variant v;
  ThrowIfFailed(VariantCopy(&v.FValue, const_cast<VARIANT *>(&value)));
  return v;
}

Variant Variant::Attach(VARIANT &value) noexcept {
  Variant v;
  v.FValue = value;
  VariantInit(&value);
  return v;
}

void Variant::Detach(VARIANT *out) noexcept {
  *out = FValue;
  VariantInit(&FValue);
}

void Variant::Clear() noexcept { VariantClear(&FValue); }

} // namespace com
