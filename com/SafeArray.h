// Owner of one SAFEARRAY, and a scope that keeps its data locked while the
// elements are read or written.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstddef>

namespace com {

class SafeArray {
public:
  SafeArray() = default;
  // A one-dimensional array with lower bound 0. Throws on failure.
  SafeArray(VARTYPE type, ULONG count);
  SafeArray(const SafeArray &) = delete;
  SafeArray &operator=(const SafeArray &) = delete;
  SafeArray(SafeArray &&other) noexcept : FValue(other.Detach()) {}
  SafeArray &operator=(SafeArray &&other) noexcept;
  ~SafeArray() { Reset(); }

  static SafeArray Attach(SAFEARRAY *value) {
    SafeArray a;
    a.FValue = value;
    return a;
  }
  static SafeArray Copy(SAFEARRAY *value);

  SAFEARRAY *Get() const { return FValue; }
  SAFEARRAY **Receive() {
    Reset();
    return &FValue;
  }
  SAFEARRAY *Detach() noexcept {
    SAFEARRAY *v = FValue;
    FValue = nullptr;
    return v;
  }
  void Reset() noexcept;

private:
  SAFEARRAY *FValue = nullptr;
};

// Locks an array's data for the scope's lifetime (SafeArrayAccessData). Count
// and lower bound are those of the first dimension; a null or unlockable
// array gives an invalid scope with no elements.
class SafeArrayAccess {
public:
  explicit SafeArrayAccess(SAFEARRAY *array);
  SafeArrayAccess(const SafeArrayAccess &) = delete;
  SafeArrayAccess &operator=(const SafeArrayAccess &) = delete;
  ~SafeArrayAccess();

  bool Valid() const { return FData != nullptr || (FArray && FCount == 0 && FLocked); }
  void *Data() const { return FData; }
  template <class T> T *As() const { return static_cast<T *>(FData); }
  size_t Count() const { return FCount; }
  LONG LowerBound() const { return FLowerBound; }
  UINT Dims() const { return FDims; }
  VARTYPE ElementType() const { return FType; }
  // Total size in bytes of the first dimension's elements.
  size_t Bytes() const { return FCount * FElementSize; }

private:
  SAFEARRAY *FArray;
  void *FData = nullptr;
  bool FLocked = false;
  size_t FCount = 0;
  size_t FElementSize = 0;
  LONG FLowerBound = 0;
  UINT FDims = 0;
  VARTYPE FType = VT_EMPTY;
};

} // namespace com
