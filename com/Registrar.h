// Writes and removes the registry keys of an in-process COM class from data.
#pragma once

#include <windows.h>

#include <string>

namespace com {

struct TClassRegistration {
  const CLSID *Clsid;
  std::wstring ClassName;   // the ProgID is "<module base name>.<ClassName>"
  std::wstring Description; // default value of the class and ProgID keys
  std::wstring ThreadingModel;
};

// "{xxxxxxxx-xxxx-...}"
std::wstring GuidString(REFGUID guid);

// The ProgID of a class served by `module`.
std::wstring ProgIdOf(const TClassRegistration &reg, HMODULE module);

// Under HKEY_CLASSES_ROOT: CLSID\{clsid} (description), its InprocServer32 (the
// module's path, short form when it has a space; ThreadingModel), its ProgID,
// and the ProgID key with its Clsid subkey.
HRESULT RegisterInprocServer(const TClassRegistration &reg, HMODULE module);
// Deletes those keys; keys that are missing already are no error.
HRESULT UnregisterInprocServer(const TClassRegistration &reg, HMODULE module);

// Creates `root\path` and sets its default value; false when it cannot be opened.
bool SetKeyDefault(HKEY root, const std::wstring &path, const std::wstring &value);
bool SetKeyValue(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value);
// Deletes `root\path` with its subkeys; a missing key is no error.
HRESULT DeleteKeyTree(HKEY root, const std::wstring &path);

} // namespace com
