#include "BrowserThread.h"

#include <objbase.h>

#include <cstdio>

namespace {
// Work for the thread: lParam owns a std::function<void()>.
constexpr UINT WM_BROWSERTHREAD_RUN = WM_APP + 0x40;
} // namespace

TBrowserThread::TBrowserThread() {
  std::promise<DWORD> started;
  auto id = started.get_future();
  FThread = std::thread([this, &started] { Loop(started); });
  FId = id.get();
}

TBrowserThread::~TBrowserThread() {
  PostThreadMessageW(FId, WM_QUIT, 0, 0);
  FThread.join();
}

void TBrowserThread::Loop(std::promise<DWORD> &started) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  MSG msg;
  // The queue exists once a message function has run; only then may others post.
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
  started.set_value(GetCurrentThreadId());
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.hwnd == nullptr && msg.message == WM_BROWSERTHREAD_RUN) {
      std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()> *>(msg.lParam));
      (*work)();
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoUninitialize();
}

void TBrowserThread::Post(std::function<void()> work) {
  auto *owned = new std::function<void()>(std::move(work));
  if (!PostThreadMessageW(FId, WM_BROWSERTHREAD_RUN, 0, reinterpret_cast<LPARAM>(owned))) {
    delete owned;
    Await(false, std::chrono::milliseconds(0));
  }
}

void TBrowserThread::Await(bool ready, std::chrono::milliseconds timeout) {
  if (ready)
    return;
  std::fprintf(stderr, "browser thread %lu did not finish its work within %lld ms: a call hangs\n",
               static_cast<unsigned long>(FId), static_cast<long long>(timeout.count()));
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 4);
}

bool TBrowserThread::WaitUntil(std::function<bool()> condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (Run([&] { return condition(); }))
      return true;
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    Sleep(20);
  }
}
