// How the library an event sink is built into traces a failure on its way out
// of the sink and describes it to the event source. The toolbar library adds
// its trace numbers; the filtering library has no error trace and runs the
// bodies as they are. Each library links exactly one implementation.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// Runs `body` as traced operation `number`.
void SinkTraced(int32_t number, const std::function<void()> &body);
// Raises the library's invalid-pointer failure.
[[noreturn]] void SinkRaiseInvalidPointer();
// Call only inside a catch block: the failure code (always a failure) and the
// text of the exception being handled.
HRESULT SinkFailure(std::wstring &description) noexcept;
