// ZuRPCPrx.dll, the default resource revision service: the three exports the
// filter calls, the configuration beside the DLL, and where a load failure
// is reported (HKCU\Software\Tervane\ZuRPCPrx, value LastError).
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "RevisionService.h"

using namespace zurpc;

namespace {

const wchar_t kErrorKey[] = L"Software\\Tervane\\ZuRPCPrx";
const wchar_t kErrorValue[] = L"LastError";

enum : int { rcOk = 0, rcBadArgument = 1, rcNotBound = 2, rcFailed = 3 };

INIT_ONCE GLoadOnce = INIT_ONCE_STATIC_INIT;
TRevisionService *GService = nullptr;
std::atomic<int> GIssued{0}; // bindings handed out are 1..GIssued

struct TServiceOwner {
  ~TServiceOwner() { delete GService; }
} GServiceOwner;

std::wstring Widen(const std::string &s) {
  if (s.empty())
    return {};
  // Paths in the ini may be UTF-8; anything else is taken as the ANSI page.
  UINT page = CP_UTF8;
  int n = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, s.data(), static_cast<int>(s.size()), nullptr, 0);
  if (n <= 0) {
    page = CP_ACP;
    n = MultiByteToWideChar(page, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  }
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(page, page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, s.data(), static_cast<int>(s.size()),
                        w.data(), n);
  return w;
}

std::wstring SystemMessage(DWORD code) {
  wchar_t *text = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : std::wstring();
  if (text)
    LocalFree(text);
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' || message.back() == L'.'))
    message.pop_back();
  return L"error " + std::to_wstring(code) + (message.empty() ? L"" : L", " + message);
}

// The folder this DLL was loaded from, with a trailing backslash.
std::wstring ModuleFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&GIssued), &self))
    return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0)
      return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool ReadWholeFile(const std::wstring &path, std::string &data, DWORD &error) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  bool ok = true;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) {
    error = GetLastError();
    ok = false;
  } else if (size.QuadPart > (LONGLONG{1} << 30)) {
    error = ERROR_FILE_TOO_LARGE;
    ok = false;
  }
  if (ok) {
    data.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < data.size()) {
      DWORD got = 0;
      if (!ReadFile(file, data.data() + done, static_cast<DWORD>(data.size() - done), &got, nullptr)) {
        error = GetLastError();
        ok = false;
        break;
      }
      if (got == 0)
        break;
      done += got;
    }
    data.resize(done);
  }
  CloseHandle(file);
  return ok;
}

bool IsAbsolute(const std::wstring &path) {
  return (!path.empty() && (path[0] == L'\\' || path[0] == L'/')) || (path.size() >= 2 && path[1] == L':');
}

bool LoadService(TRevisionService &service, std::wstring &error) {
  const std::wstring folder = ModuleFolder();
  if (folder.empty()) {
    error = L"cannot find the folder of ZuRPCPrx.dll: " + SystemMessage(GetLastError());
    return false;
  }
  const std::wstring ini = folder + L"ZuRPCPrx.ini";
  TRevisionConfig config;
  std::string text;
  DWORD code = 0;
  if (ReadWholeFile(ini, text, code)) {
    std::string why;
    if (!ParseConfig(text, config, why)) {
      error = ini + L": " + Widen(why);
      return false;
    }
  } else if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) {
    error = L"cannot read " + ini + L": " + SystemMessage(code);
    return false;
  }
  service.SetFlashVerdict(config.FlashVerdict);
  if (config.Lists.empty())
    service.AddList(kDefaultList);
  for (const std::string &list : config.Lists) {
    std::wstring path = Widen(list);
    if (!IsAbsolute(path))
      path = folder + path;
    if (!ReadWholeFile(path, text, code)) {
      error = L"cannot read list " + path + L" (named in " + ini + L"): " + SystemMessage(code);
      return false;
    }
    service.AddList(text);
  }
  return true;
}

void RecordError(const std::wstring &error) {
  OutputDebugStringW((L"ZuRPCPrx: " + error + L"\n").c_str());
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kErrorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExW(key, kErrorValue, 0, REG_SZ, reinterpret_cast<const BYTE *>(error.c_str()),
                 static_cast<DWORD>((error.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

void ClearError() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kErrorKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  RegDeleteValueW(key, kErrorValue);
  RegCloseKey(key);
}

// A failed load leaves the once-flag open, so a later binding tries again
// (a list being replaced may be readable a moment later).
BOOL CALLBACK LoadOnce(PINIT_ONCE, PVOID, PVOID *) {
  try {
    auto service = std::make_unique<TRevisionService>();
    std::wstring error;
    if (!LoadService(*service, error)) {
      RecordError(error);
      return FALSE;
    }
    ClearError();
    GService = service.release();
    return TRUE;
  } catch (...) {
    RecordError(L"out of memory while loading the filter lists");
    return FALSE;
  }
}

bool IsBound(int binding) { return binding > 0 && binding <= GIssued.load(); }

} // namespace

extern "C" int __stdcall GetBinding(int *binding) {
  if (!binding)
    return rcBadArgument;
  *binding = 0;
  if (!InitOnceExecuteOnce(&GLoadOnce, LoadOnce, nullptr, nullptr))
    return rcFailed;
  const int issued = GIssued.fetch_add(1) + 1;
  if (issued <= 0)
    return rcFailed;
  *binding = issued;
  return rcOk;
}

extern "C" int __stdcall ReviseResource(int binding, const char *resourceUrl, const char *mimeType, const char *pageUrl,
                                        const char *linkUrl, int width, int height, int extra, int *verdict) {
  (void)extra;
  if (!verdict)
    return rcBadArgument;
  *verdict = vKeep;
  if (!resourceUrl || !mimeType || !pageUrl || !linkUrl)
    return rcBadArgument;
  if (!IsBound(binding))
    return rcNotBound;
  try {
    *verdict = GService->Revise(resourceUrl, mimeType, pageUrl, linkUrl, width, height);
  } catch (...) {
    return rcFailed;
  }
  return rcOk;
}

extern "C" int __stdcall NoteResourceWithHref(int binding, const char *imageUrl, const char *linkUrl, int *verdict) {
  if (!verdict)
    return rcBadArgument;
  *verdict = vKeep;
  if (!imageUrl || !linkUrl)
    return rcBadArgument;
  if (!IsBound(binding))
    return rcNotBound;
  try {
    *verdict = GService->NoteResourceWithHref(imageUrl, linkUrl);
  } catch (...) {
    return rcFailed;
  }
  return rcOk;
}
