// The module's object and lock counts behind DllCanUnloadNow, and its handle.
#pragma once

#include <windows.h>

#include <string>

namespace com {

void ObjectCreated();
void ObjectDestroyed();
void LockModule();
void UnlockModule();
long ObjectCount();
long LockCount();
// S_OK when no object and no lock is left, else S_FALSE.
HRESULT CanUnloadNow();

// The DLL (or executable) this code is linked into.
HMODULE ModuleHandle();
// Full path of that module.
std::wstring ModulePath();
// Full path of any module; empty when it cannot be had.
std::wstring ModuleFileName(HMODULE module);

} // namespace com
