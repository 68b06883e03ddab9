#include "ComModule.h"

#include <atomic>

namespace com {
namespace {
std::atomic<long> GObjects{0};
std::atomic<long> GLocks{0};
} // namespace

void ObjectCreated() { ++GObjects; }
void ObjectDestroyed() { --GObjects; }
void LockModule() { ++GLocks; }
void UnlockModule() { --GLocks; }
long ObjectCount() { return GObjects.load(); }
long LockCount() { return GLocks.load(); }
HRESULT CanUnloadNow() { return GObjects.load() == 0 && GLocks.load() == 0 ? S_OK : S_FALSE; }

HMODULE ModuleHandle() {
  HMODULE self = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleHandle), &self);
  return self;
}

std::wstring ModuleFileName(HMODULE module) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0)
      return std::wstring();
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring ModulePath() { return ModuleFileName(ModuleHandle()); }

} // namespace com
