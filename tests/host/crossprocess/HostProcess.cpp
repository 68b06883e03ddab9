#include "HostProcess.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <thread>

#include "tools/testhost/TestHostControl.h"

namespace {

std::wstring Quoted(const std::wstring &arg) { return L"\"" + arg + L"\""; }

std::wstring FreshLogPath() {
  static std::atomic<int> counter{0};
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"zutesthost-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(++counter) + L".log";
}

bool StartsWith(const std::wstring &text, std::wstring_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::wstring ProgramDirectory() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

THostProcess::THostProcess(std::vector<std::wstring> args) : FArgs(std::move(args)), FLogPath(FreshLogPath()) {}

THostProcess::~THostProcess() {
  Kill();
  DeleteFileW(FLogPath.c_str());
}

bool THostProcess::Start(std::chrono::milliseconds timeout) {
  Kill();
  DeleteFileW(FLogPath.c_str());
  const std::wstring program = ProgramDirectory() + L"zutesthost.exe";
  std::wstring command = Quoted(program) + L" /log " + Quoted(FLogPath);
  for (const auto &a : FArgs)
    command += L" " + Quoted(a);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &FInfo)) {
    FInfo = {};
    return false;
  }
  if (!WaitForLines(L"ready ", 1, timeout))
    return false;
  for (const auto &line : Lines())
    if (StartsWith(line, L"ready "))
      FControl = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::wcstoull(line.c_str() + 6, nullptr, 16)));
  return FControl != nullptr;
}

bool THostProcess::Running() const { return FInfo.hProcess && WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT; }

bool THostProcess::Fire(DISPID dispid, LPARAM arg) const {
  return PostMessageW(FControl, testhost::WM_TESTHOST_FIRE, static_cast<WPARAM>(dispid), arg) != FALSE;
}

bool THostProcess::SetDead(bool dead) const {
  return PostMessageW(FControl, testhost::WM_TESTHOST_DEAD, dead ? 1 : 0, 0) != FALSE;
}

bool THostProcess::Quit(std::chrono::milliseconds timeout) {
  if (!FInfo.hProcess)
    return true;
  PostMessageW(FControl, testhost::WM_TESTHOST_QUIT, 0, 0);
  const bool exited = WaitForSingleObject(FInfo.hProcess, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0;
  Kill();
  return exited;
}

void THostProcess::Kill() {
  if (!FInfo.hProcess)
    return;
  if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(FInfo.hProcess, 9);
    WaitForSingleObject(FInfo.hProcess, 30000);
  }
  CloseHandle(FInfo.hProcess);
  CloseHandle(FInfo.hThread);
  FInfo = {};
  FControl = nullptr;
}

std::vector<std::wstring> THostProcess::Lines() const {
  std::vector<std::wstring> lines;
  HANDLE file = CreateFileW(FLogPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return lines;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  CloseHandle(file);
  // Only whole lines: the host may be writing the last one.
  bytes.resize(bytes.rfind('\n') == std::string::npos ? 0 : bytes.rfind('\n') + 1);
  std::wstring text(bytes.size(), L'\0');
  text.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                  static_cast<int>(text.size())));
  size_t start = 0;
  for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

std::vector<std::wstring> THostProcess::Calls() const {
  std::vector<std::wstring> calls;
  for (const auto &line : Lines())
    if (StartsWith(line, L"call "))
      calls.push_back(line.substr(5));
  return calls;
}

bool THostProcess::WaitForLines(std::wstring_view prefix, size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto lines = Lines();
    if (static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::wstring &l) { return StartsWith(l, prefix); })) >= count)
      return true;
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}
