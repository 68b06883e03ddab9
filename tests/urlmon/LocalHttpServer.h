// A tiny HTTP server on 127.0.0.1 for the download tests: serves the files of
// one folder as text/html from a thread of its own, one connection at a time.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TLocalHttpServer {
public:
  // Starts listening on a port the system picks; Port() is 0 when that failed.
  explicit TLocalHttpServer(std::wstring folder);
  TLocalHttpServer(const TLocalHttpServer &) = delete;
  TLocalHttpServer &operator=(const TLocalHttpServer &) = delete;
  ~TLocalHttpServer();

  unsigned short Port() const { return FPort; }
  std::wstring Url(const std::wstring &name) const;
  // Without a length the body ends where the connection closes, and the
  // client cannot know the total while it reads.
  void SendContentLength(bool send) { FSendLength = send; }
  // The request lines seen so far ("GET /news.html HTTP/1.1").
  std::vector<std::string> Requests() const;

private:
  void Run();
  void Serve(SOCKET client);

  std::wstring FFolder;
  SOCKET FListener = INVALID_SOCKET;
  unsigned short FPort = 0;
  bool FWinsock = false;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FSendLength{true};
  mutable std::mutex FLock;
  std::vector<std::string> FRequests;
  std::thread FThread;
};
