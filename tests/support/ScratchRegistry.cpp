#include "ScratchRegistry.h"

#include <atomic>
#include <stdexcept>

namespace {
const HKEY GPredefined[3] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT};
const wchar_t *const GNames[3] = {L"HKCU", L"HKLM", L"HKCR"};
std::atomic<unsigned> GSerial{0};
} // namespace

TScratchRegistry::TScratchRegistry() {
  FPath = L"Software\\ZuTestScratch\\" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++GSerial);
  for (int i = 0; i < 3; ++i) {
    const std::wstring sub = FPath + L"\\" + GNames[i];
    if (RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FRoots[i], nullptr) !=
        ERROR_SUCCESS)
      throw std::runtime_error("cannot create the scratch registry key");
  }
  for (int i = 0; i < 3; ++i)
    if (RegOverridePredefKey(GPredefined[i], FRoots[i]) != ERROR_SUCCESS)
      throw std::runtime_error("cannot redirect a predefined registry key");
}

TScratchRegistry::~TScratchRegistry() {
  for (int i = 0; i < 3; ++i) {
    RegOverridePredefKey(GPredefined[i], nullptr);
    if (FRoots[i])
      RegCloseKey(FRoots[i]);
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, FPath.c_str());
}
