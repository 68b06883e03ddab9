#include "SafeArray.h"

#include <new>

#include "HResult.h"

namespace com {

SafeArray::SafeArray(VARTYPE type, ULONG count) : FValue(SafeArrayCreateVector(type, 0, count)) {
  if (!FValue)
    throw std::bad_alloc();
}

SafeArray &SafeArray::operator=(SafeArray &&other) noexcept {
  if (this != &other) {
    Reset();
    FValue = other.Detach();
  }
  return *this;
}

SafeArray SafeArray::Copy(SAFEARRAY *value) {
  SafeArray a;
  if (value)
    ThrowIfFailed(SafeArrayCopy(value, &a.FValue));
  return a;
}

void SafeArray::Reset() noexcept {
  if (FValue) {
    SafeArrayDestroy(FValue);
    FValue = nullptr;
  }
}

SafeArrayAccess::SafeArrayAccess(SAFEARRAY *array) : FArray(array) {
  if (!array)
    return;
  FDims = SafeArrayGetDim(array);
  if (FDims == 0)
    return;
  LONG lower = 0, upper = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
    return;
  if (FAILED(SafeArrayGetVartype(array, &FType)))
    FType = VT_EMPTY;
  void *data = nullptr;
  if (FAILED(SafeArrayAccessData(array, &data)))
    return;
  FLocked = true;
  FData = data;
  FLowerBound = lower;
  FCount = upper >= lower ? static_cast<size_t>(static_cast<long long>(upper) - lower + 1) : 0;
  FElementSize = SafeArrayGetElemsize(array);
}

SafeArrayAccess::~SafeArrayAccess() {
  if (FLocked)
    SafeArrayUnaccessData(FArray);
}

} // namespace com
