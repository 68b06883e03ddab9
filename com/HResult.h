// HRESULT helpers: failures to exceptions inside C++ code, exceptions back to
// HRESULTs (with error information) at COM boundaries.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace com {

// A failed HRESULT carried as an exception.
class TComError : public std::exception {
public:
  explicit TComError(HRESULT code, std::wstring description = std::wstring())
      : FCode(code), FDescription(std::move(description)) {}
  HRESULT Code() const { return FCode; }
  const std::wstring &Description() const { return FDescription; }
  const char *what() const noexcept override { return "COM call failed"; }

private:
  HRESULT FCode;
  std::wstring FDescription;
};

inline void ThrowIfFailed(HRESULT hr) {
  if (FAILED(hr))
    throw TComError(hr);
}

// The HRESULT that stands for the exception being handled (call only inside a
// catch block): the code of a TComError, E_OUTOFMEMORY for bad_alloc, E_FAIL
// for anything else.
HRESULT HResultFromCurrentException() noexcept;

// Sets the thread's error information for a COM caller; returns `hr`.
HRESULT SetErrorInfoText(HRESULT hr, const GUID &iid, const std::wstring &source, const std::wstring &description,
                         const std::wstring &helpFile = std::wstring(), DWORD helpContext = 0) noexcept;

// Runs `body` and turns whatever it throws into an HRESULT, so no exception
// crosses the COM boundary that calls it.
template <class TBody> HRESULT ComGuard(TBody &&body) noexcept {
  try {
    return body();
  } catch (...) {
    return HResultFromCurrentException();
  }
}

} // namespace com
