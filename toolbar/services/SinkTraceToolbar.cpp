// The toolbar library's event sinks: traced like every other operation of the
// library, and described by the traced message.
#include "Lib/SinkTrace.h"

#include <new>

#include "ZUSystemCom.h"
#include "com/HResult.h"

void SinkTraced(int32_t number, const std::function<void()> &body) { kwo::Traced(number, body); }

void SinkRaiseInvalidPointer() { throw kwo::Exception("Invalid pointer operation"); }

// The same codes as the library's automation boundary gives.
HRESULT SinkFailure(std::wstring &description) noexcept {
  try {
    try {
      throw;
    } catch (const kwo::EOleSysError &e) {
      description = kwo::AnsiToWide(e.Message());
      return FAILED(e.ErrorCode()) ? e.ErrorCode() : E_UNEXPECTED;
    } catch (const kwo::Exception &e) {
      description = kwo::AnsiToWide(e.Message());
      return E_UNEXPECTED;
    } catch (const com::TComError &e) {
      description = e.Description();
      return FAILED(e.Code()) ? e.Code() : E_UNEXPECTED;
    } catch (const std::bad_alloc &) {
      return E_OUTOFMEMORY;
    } catch (const std::exception &e) {
      description = kwo::AnsiToWide(e.what());
      return E_UNEXPECTED;
    } catch (...) {
      return E_UNEXPECTED;
    }
  } catch (...) {
    return E_UNEXPECTED;
  }
}
