#include "Registrar.h"

#include <objbase.h>
#include <olectl.h>

#include "ComModule.h"

namespace com {

namespace {

std::wstring ServerPath(HMODULE module) {
  std::wstring path = ModuleFileName(module);
  if (path.find(L' ') == std::wstring::npos)
    return path;
  const DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (n == 0)
    return path;
  std::wstring shortPath(n, L'\0');
  const DWORD got = GetShortPathNameW(path.c_str(), shortPath.data(), n);
  if (got == 0 || got >= n)
    return path;
  shortPath.resize(got);
  return shortPath;
}

HRESULT FromWin32(LONG rc) { return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc); }

} // namespace

std::wstring GuidString(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ProgIdOf(const TClassRegistration &reg, HMODULE module) {
  std::wstring name = ModuleFileName(module);
  const size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos)
    name.erase(0, slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos)
    name.erase(dot);
  return name + L"." + reg.ClassName;
}

bool SetKeyValue(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG rc = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool SetKeyDefault(HKEY root, const std::wstring &path, const std::wstring &value) {
  return SetKeyValue(root, path, nullptr, value);
}

HRESULT DeleteKeyTree(HKEY root, const std::wstring &path) {
  LONG rc = RegDeleteTreeW(root, path.c_str());
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND)
    return S_OK;
  if (rc != ERROR_SUCCESS)
    return HRESULT_FROM_WIN32(rc);
  // Some systems empty the key but leave it in place.
  rc = RegDeleteKeyW(root, path.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(rc);
}

HRESULT RegisterInprocServer(const TClassRegistration &reg, HMODULE module) {
  const std::wstring clsid = GuidString(*reg.Clsid);
  const std::wstring classKey = L"CLSID\\" + clsid;
  const std::wstring progId = ProgIdOf(reg, module);
  const std::wstring path = ServerPath(module);
  if (path.empty())
    return HRESULT_FROM_WIN32(GetLastError());
  const bool ok =
      SetKeyDefault(HKEY_CLASSES_ROOT, classKey, reg.Description) &&
      SetKeyDefault(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", path) &&
      SetKeyValue(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32", L"ThreadingModel", reg.ThreadingModel) &&
      SetKeyDefault(HKEY_CLASSES_ROOT, classKey + L"\\ProgID", progId) &&
      SetKeyDefault(HKEY_CLASSES_ROOT, progId, reg.Description) &&
      SetKeyDefault(HKEY_CLASSES_ROOT, progId + L"\\Clsid", clsid);
  return ok ? S_OK : SELFREG_E_CLASS;
}

HRESULT UnregisterInprocServer(const TClassRegistration &reg, HMODULE module) {
  const HRESULT a = DeleteKeyTree(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidString(*reg.Clsid));
  const HRESULT b = DeleteKeyTree(HKEY_CLASSES_ROOT, ProgIdOf(reg, module));
  return FAILED(a) ? a : b;
}

} // namespace com
