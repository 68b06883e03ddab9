// Redirects HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT of
// this process into a fresh scratch key for the scope's lifetime, so a test
// never touches the prefix's real hives; the scratch key is deleted after.
#pragma once

#include <windows.h>

#include <string>

class TScratchRegistry {
public:
  TScratchRegistry();
  TScratchRegistry(const TScratchRegistry &) = delete;
  TScratchRegistry &operator=(const TScratchRegistry &) = delete;
  ~TScratchRegistry();

  // Path of the scratch key under the real HKEY_CURRENT_USER.
  const std::wstring &Path() const { return FPath; }

private:
  std::wstring FPath;
  HKEY FRoots[3] = {};
};
