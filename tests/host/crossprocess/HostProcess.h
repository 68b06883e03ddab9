// zutesthost.exe run by a test: started beside the test program, watched
// through its log file, told to fire events, quit, or killed outright.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

class THostProcess {
public:
  // Arguments after "/log FILE", e.g. {L"/answer", L"DocumentID=42"}.
  explicit THostProcess(std::vector<std::wstring> args = {});
  ~THostProcess(); // kills what is still running, removes the log
  THostProcess(const THostProcess &) = delete;
  THostProcess &operator=(const THostProcess &) = delete;

  // Starts the host and waits until its server is registered.
  bool Start(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  bool Running() const;
  DWORD Pid() const { return FInfo.dwProcessId; }

  // Posts a control message (TestHostControl.h).
  bool Fire(DISPID dispid, LPARAM arg = 0) const;
  bool SetDead(bool dead) const;
  // Asks the host to quit and waits for it to exit.
  bool Quit(std::chrono::milliseconds timeout = std::chrono::seconds(30));
  // TerminateProcess, the way a crash or the task manager ends it.
  void Kill();

  std::vector<std::wstring> Lines() const;
  // The IGUIServer calls that arrived, as the fake logs them.
  std::vector<std::wstring> Calls() const;
  // Waits until `count` lines start with `prefix`; true when they do.
  bool WaitForLines(std::wstring_view prefix, size_t count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(30)) const;

private:
  std::vector<std::wstring> FArgs;
  std::wstring FLogPath;
  PROCESS_INFORMATION FInfo{};
  HWND FControl = nullptr;
};

// The program's own directory, with a trailing separator.
std::wstring ProgramDirectory();
