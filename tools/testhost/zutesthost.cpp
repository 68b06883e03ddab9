// A stand-in for the host application in a process of its own, so tests can
// reach the server through the system's marshalling and kill it mid-session.
//
//   zutesthost /regserver      register ZUTervane.tlb (beside the program), so
//                              IGUIServer and its events are marshalled by the
//                              type-library marshaller
//   zutesthost /unregserver    remove that registration
//   zutesthost /log FILE [/answer NAME=VALUE]... [/fail OPERATION]...
//                              serve as the running host until told to quit
//                              (TestHostControl.h); every call ("call ..."),
//                              advise, unadvise and event goes to FILE as a
//                              line of UTF-8
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>

#include "FakeGUIServer.h"
#include "TestHostControl.h"

namespace {

HANDLE LogFile = INVALID_HANDLE_VALUE;

// Written straight to the file, so a killed host leaves a complete log.
void Log(const std::wstring &line) {
  if (LogFile == INVALID_HANDLE_VALUE)
    return;
  const std::wstring text = line + L"\n";
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  DWORD written = 0;
  WriteFile(LogFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::wstring Hex(unsigned long long value) {
  wchar_t buffer[32];
  std::swprintf(buffer, 32, L"%llx", value);
  return buffer;
}

std::wstring TypeLibraryPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"ZUTervane.tlb";
}

int RegisterTypeLibrary() {
  Microsoft::WRL::ComPtr<ITypeLib> library;
  const HRESULT hr = LoadTypeLibEx(TypeLibraryPath().c_str(), REGKIND_REGISTER, library.GetAddressOf());
  if (FAILED(hr))
    std::fwprintf(stderr, L"zutesthost: registering %ls failed: 0x%08lx\n", TypeLibraryPath().c_str(),
                  static_cast<unsigned long>(hr));
  return FAILED(hr) ? 1 : 0;
}

int UnregisterTypeLibrary() {
  // Not registered is no error: the result is the same.
  BSTR registered = nullptr;
  if (FAILED(QueryPathOfRegTypeLib(LIBID_ZUTervane, 1, 0, LOCALE_NEUTRAL, &registered)))
    return 0;
  SysFreeString(registered);
  const SYSKIND kind = sizeof(void *) == 8 ? SYS_WIN64 : SYS_WIN32;
  const HRESULT hr = UnRegisterTypeLib(LIBID_ZUTervane, 1, 0, LOCALE_NEUTRAL, kind);
  if (FAILED(hr))
    std::fwprintf(stderr, L"zutesthost: unregistering failed: 0x%08lx\n", static_cast<unsigned long>(hr));
  return FAILED(hr) ? 1 : 0;
}

bool SetAnswer(fakes::TGUIServerAnswers &a, const std::wstring &name, const std::wstring &value) {
  const std::map<std::wstring, long *> numbers = {
      {L"DocumentID", &a.DocumentID}, {L"DomainLinkCount", &a.DomainLinkCount},
      {L"DataID", &a.DataID},         {L"DataStatus", &a.DataStatus},
      {L"DataRating", &a.DataRating}, {L"BannerImageError", &a.BannerImageError}};
  const std::map<std::wstring, std::wstring *> texts = {{L"CurrentRubricName", &a.CurrentRubricName},
                                                        {L"DataComments", &a.DataComments},
                                                        {L"AddUrlToRubricText", &a.AddUrlToRubricText},
                                                        {L"TranslatedPageUrl", &a.TranslatedPageUrl},
                                                        {L"TranslationPrefix", &a.TranslationPrefix}};
  if (auto it = numbers.find(name); it != numbers.end()) {
    *it->second = std::wcstol(value.c_str(), nullptr, 0);
    return true;
  }
  if (auto it = texts.find(name); it != texts.end()) {
    *it->second = value;
    return true;
  }
  return false;
}

fakes::TFakeGUIServer *Server = nullptr;

std::vector<HRESULT> FireEvent(DISPID dispid, LPARAM arg) {
  switch (dispid) {
  case 203:
    return Server->FireDocumentDataChange(static_cast<long>(arg), VARIANT_TRUE,
                                          L"comments " + std::to_wstring(static_cast<long>(arg)), 2, 3);
  default:
    return Server->Fire(dispid);
  }
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case testhost::WM_TESTHOST_FIRE: {
    std::wstring line = L"fired " + std::to_wstring(static_cast<DISPID>(wParam));
    for (HRESULT hr : FireEvent(static_cast<DISPID>(wParam), lParam))
      line += L" " + Hex(static_cast<unsigned long>(hr));
    Log(line);
    return 0;
  }
  case testhost::WM_TESTHOST_DEAD:
    Server->SetDead(wParam != 0);
    Log(wParam ? L"dead" : L"alive");
    return 0;
  case testhost::WM_TESTHOST_QUIT:
    DestroyWindow(window);
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcW(window, message, wParam, lParam);
  }
}

int Serve(const std::wstring &logPath, const std::map<std::wstring, std::wstring> &answers,
          const std::vector<std::wstring> &failures) {
  LogFile = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (LogFile == INVALID_HANDLE_VALUE) {
    std::fwprintf(stderr, L"zutesthost: cannot open %ls\n", logPath.c_str());
    return 1;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    return 1;
  int rc = 0;
  {
    auto server = fakes::TFakeGUIServer::Create();
    Server = server.Get();
    server->SetTrace([](const std::wstring &line) { Log(L"call " + line); });
    server->SetConnectionTrace([](const std::wstring &line) { Log(line); });
    for (const auto &[name, value] : answers)
      if (!SetAnswer(server->Answers(), name, value))
        Log(L"unknown answer " + name);
    for (const auto &operation : failures)
      server->FailWith(operation, E_FAIL);

    WNDCLASSW wc{};
    wc.lpfnWndProc = ControlProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = testhost::ControlClassName;
    RegisterClassW(&wc);
    // Message-only: no display needed.
    HWND control = CreateWindowExW(0, testhost::ControlClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, nullptr);
    const HRESULT registered = server->RegisterActive();
    if (!control || FAILED(registered)) {
      Log(L"failed " + Hex(static_cast<unsigned long>(registered)));
      rc = 1;
    } else {
      // MK_S_MONIKERALREADYREGISTERED here means an earlier host's entry is still there.
      Log(L"registered " + Hex(static_cast<unsigned long>(registered)));
      Log(L"ready " + Hex(reinterpret_cast<ULONG_PTR>(control)) + L" " + std::to_wstring(GetCurrentProcessId()));
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    server->RevokeActive();
    CoDisconnectObject(static_cast<IGUIServer *>(server.Get()), 0);
    Server = nullptr;
  }
  CoUninitialize();
  Log(L"exit");
  CloseHandle(LogFile);
  return rc;
}

int Usage() {
  std::fwprintf(stderr, L"usage: zutesthost /regserver | /unregserver | /log FILE [/answer NAME=VALUE]... "
                        L"[/fail OPERATION]...\n");
  return 2;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  std::wstring logPath;
  std::map<std::wstring, std::wstring> answers;
  std::vector<std::wstring> failures;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (_wcsicmp(arg.c_str(), L"/regserver") == 0 || _wcsicmp(arg.c_str(), L"/unregserver") == 0) {
      if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
      const int rc = _wcsicmp(arg.c_str(), L"/regserver") == 0 ? RegisterTypeLibrary() : UnregisterTypeLibrary();
      CoUninitialize();
      return rc;
    }
    if (i + 1 >= argc)
      return Usage();
    const std::wstring value = argv[++i];
    if (arg == L"/log") {
      logPath = value;
    } else if (arg == L"/answer" && value.find(L'=') != std::wstring::npos) {
      answers[value.substr(0, value.find(L'='))] = value.substr(value.find(L'=') + 1);
    } else if (arg == L"/fail") {
      failures.push_back(value);
    } else {
      return Usage();
    }
  }
  if (logPath.empty())
    return Usage();
  return Serve(logPath, answers, failures);
}
