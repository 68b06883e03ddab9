#include "LocalHttpServer.h"

#include <ws2tcpip.h>

#include "UrlDownload.h"

namespace {

// Sends in pieces, so a long page reaches the client over several reads.
constexpr size_t kSendPiece = 4096;

bool SendAll(SOCKET s, const char *data, size_t size) {
  while (size) {
    const int n = send(s, data, static_cast<int>(size < kSendPiece ? size : kSendPiece), 0);
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

} // namespace

TLocalHttpServer::TLocalHttpServer(std::wstring folder) : FFolder(std::move(folder)) {
  WSADATA data;
  FWinsock = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  if (!FWinsock)
    return;
  FListener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (FListener == INVALID_SOCKET)
    return;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (bind(FListener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || listen(FListener, 8) != 0 ||
      getsockname(FListener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
    return;
  FPort = ntohs(address.sin_port);
  FThread = std::thread([this] { Run(); });
}

TLocalHttpServer::~TLocalHttpServer() {
  FStop = true;
  if (FThread.joinable())
    FThread.join();
  if (FListener != INVALID_SOCKET)
    closesocket(FListener);
  if (FWinsock)
    WSACleanup();
}

std::wstring TLocalHttpServer::Url(const std::wstring &name) const {
  return L"http://127.0.0.1:" + std::to_wstring(FPort) + L"/" + name;
}

std::vector<std::string> TLocalHttpServer::Requests() const {
  std::lock_guard<std::mutex> hold(FLock);
  return FRequests;
}

void TLocalHttpServer::Run() {
  while (!FStop) {
    // A short wait keeps the stop flag seen without closing the socket under accept.
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(FListener, &readable);
    timeval wait = {0, 50 * 1000};
    if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
      continue;
    const SOCKET client = accept(FListener, nullptr, nullptr);
    if (client == INVALID_SOCKET)
      continue;
    Serve(client);
    shutdown(client, SD_SEND);
    closesocket(client);
  }
}

void TLocalHttpServer::Serve(SOCKET client) {
  std::string request;
  char buffer[2048];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    const int n = recv(client, buffer, sizeof buffer, 0);
    if (n <= 0)
      return;
    request.append(buffer, static_cast<size_t>(n));
  }
  const std::string line = request.substr(0, request.find("\r\n"));
  {
    std::lock_guard<std::mutex> hold(FLock);
    FRequests.push_back(line);
  }
  // "GET /name HTTP/1.x": only plain names inside the folder are served.
  const size_t start = line.find(" /");
  const size_t end = start == std::string::npos ? start : line.find(' ', start + 2);
  const std::string name = end == std::string::npos ? std::string() : line.substr(start + 2, end - start - 2);
  std::string body;
  bool found = line.compare(0, 4, "GET ") == 0 && !name.empty() && name.find_first_of("/\\:") == std::string::npos &&
               name.find("..") == std::string::npos;
  if (found)
    found = ReadFileBytes(FFolder + L"\\" + std::wstring(name.begin(), name.end()), body);
  std::string head = found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
  head += "Content-Type: text/html\r\nCache-Control: no-store\r\nConnection: close\r\n";
  if (FSendLength || !found)
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  head += "\r\n";
  if (SendAll(client, head.data(), head.size()))
    SendAll(client, body.data(), body.size());
}
