// Owner of one VARIANT: cleared on destruction, copied with VariantCopy.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string_view>

namespace com {

class Variant {
public:
  Variant() { VariantInit(&FValue); }
  explicit Variant(std::wstring_view text);
  // Without it a string literal would pick the bool constructor.
  explicit Variant(const wchar_t *text) : Variant(std::wstring_view(text ? text : L"")) {}
  explicit Variant(long value);
  explicit Variant(bool value);
  // Holds an added reference to `dispatch`.
  explicit Variant(IDispatch *dispatch);
  Variant(const Variant &other);
  Variant(Variant &&other) noexcept;
  Variant &operator=(const Variant &other);
  Variant &operator=(Variant &&other) noexcept;
  ~Variant() { Clear(); }

  // Copies a variant we do not own.
  static Variant Copy(const VARIANT &value);
  // Adopts a variant whose ownership was handed to us; `value` is left empty.
  static Variant Attach(VARIANT &value) noexcept;

  const VARIANT &Get() const { return FValue; }
  VARTYPE Type() const { return FValue.vt; }
  // Clears the current value and returns the slot for an [out] VARIANT argument.
  VARIANT *Receive() {
    Clear();
    return &FValue;
  }
  // Gives the value away (for an [out] argument of ours); this one becomes empty.
  void Detach(VARIANT *out) noexcept;
  void Clear() noexcept;

private:
  VARIANT FValue;
};

} // namespace com
