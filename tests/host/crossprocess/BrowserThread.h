// A browser-like user-interface thread: its own single-threaded apartment and
// message loop, with work handed to it as thread messages, so COM calls, host
// events, hooks and posted messages all arrive the way they do in a browser.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

class TBrowserThread {
public:
  TBrowserThread();
  // Ends the loop and joins; the thread must be idle by then.
  ~TBrowserThread();
  TBrowserThread(const TBrowserThread &) = delete;
  TBrowserThread &operator=(const TBrowserThread &) = delete;

  DWORD Id() const { return FId; }

  // Runs `body` on the thread and returns its result. A body that does not
  // finish in time (a hung marshalled call) ends the whole test program with
  // a message: it cannot be taken back, and ctest must not wait on it.
  template <class F> auto Run(F body, std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    using R = decltype(body());
    auto task = std::make_shared<std::packaged_task<R()>>(std::move(body));
    auto result = task->get_future();
    Post([task] { (*task)(); });
    Await(result.wait_for(timeout) == std::future_status::ready, timeout);
    return result.get();
  }

  // An object made, used and destroyed on the thread, also when a failed
  // assertion leaves the test early.
  template <class T> using TOwned = std::unique_ptr<T, std::function<void(T *)>>;
  template <class T> TOwned<T> Make() {
    T *raw = Run([] { return new T(); });
    return TOwned<T>(raw, [this](T *p) { Run([p] { delete p; }); });
  }

  // Lets the loop spin until `condition` (checked on the thread) holds.
  bool WaitUntil(std::function<bool()> condition, std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
  void Post(std::function<void()> work);
  void Await(bool ready, std::chrono::milliseconds timeout);
  void Loop(std::promise<DWORD> &started);

  std::thread FThread;
  DWORD FId = 0;
};
