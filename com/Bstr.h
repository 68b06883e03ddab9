// Owner of one BSTR. Takes ownership only explicitly: Attach() adopts a raw
// string, Receive() hands out the slot for an [out] argument, Detach() gives
// ownership away.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace com {

class Bstr {
public:
  Bstr() = default;
  explicit Bstr(std::wstring_view text);
  Bstr(const Bstr &other);
  Bstr(Bstr &&other) noexcept : FValue(other.Detach()) {}
  Bstr &operator=(const Bstr &other);
  Bstr &operator=(Bstr &&other) noexcept;
  ~Bstr() { Reset(); }

  // Copies a string we do not own (an [in] argument).
  static Bstr Copy(BSTR value);
  // Adopts a string whose ownership was handed to us.
  static Bstr Attach(BSTR value) {
    Bstr b;
    b.FValue = value;
    return b;
  }

  BSTR Get() const { return FValue; }
  // Frees the current string and returns the slot for an [out] BSTR argument.
  BSTR *Receive() {
    Reset();
    return &FValue;
  }
  BSTR Detach() noexcept {
    BSTR v = FValue;
    FValue = nullptr;
    return v;
  }
  void Reset() noexcept;

  UINT Length() const { return FValue ? SysStringLen(FValue) : 0; }
  bool Empty() const { return Length() == 0; }
  std::wstring Str() const { return std::wstring(FValue ? FValue : L"", Length()); }

private:
  BSTR FValue = nullptr;
};

} // namespace com
