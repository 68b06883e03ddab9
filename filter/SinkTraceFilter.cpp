// The filtering library's event sinks: no error trace, failures as HRESULTs.
#include "Lib/SinkTrace.h"

#include <new>

#include "com/HResult.h"

void SinkTraced(int32_t, const std::function<void()> &body) { body(); }

void SinkRaiseInvalidPointer() { throw com::TComError(E_POINTER, L"Invalid pointer operation"); }

HRESULT SinkFailure(std::wstring &description) noexcept {
  try {
    try {
      throw;
    } catch (const com::TComError &e) {
      description = e.Description();
      return FAILED(e.Code()) ? e.Code() : E_FAIL;
    } catch (const std::bad_alloc &) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  } catch (...) {
    return E_FAIL;
  }
}
