// Where the toolbar library's exceptions meet COM: checked calls raise
// EOleSysError, and automation methods hand their final exception to the
// caller as an HRESULT with error information.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ZUSystem.h"

namespace kwo {

// Raises EOleSysError (message: the system's text for the code) when `hr` is
// a failure; returns `hr` otherwise.
HRESULT OleCheck(HRESULT hr);

// System code page to UTF-16 and back; characters outside the code page are
// lost.
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// The HRESULT for the exception being handled (call only inside a catch
// block), with the thread's error information set for interface `iid` and
// source `progId`:
// - an EOleSysError (and so an EOleException) gives its own failure code;
// - std::bad_alloc gives E_OUTOFMEMORY, a com::TComError its code;
// - everything else E_UNEXPECTED.
// The description is the exception's message, traced numbers included.
HRESULT HResultFromException(const GUID &iid, const std::wstring &progId) noexcept;

// Runs an automation method's body (returning void or an HRESULT) so that no
// exception leaves it.
template <class F> HRESULT AutomationCall(const GUID &iid, const std::wstring &progId, F &&body) noexcept {
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      return S_OK;
    } else {
      return body();
    }
  } catch (...) {
    return HResultFromException(iid, progId);
  }
}

} // namespace kwo
