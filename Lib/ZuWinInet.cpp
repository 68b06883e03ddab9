#include "ZuWinInet.h"

#include <windows.h>
#include <wininet.h>

#include <vector>

std::string CombineUrl(const std::string &baseUrl, const std::string &url) {
  // An empty reference is the base itself; Wine's WinINet drops the base's
  // last segment instead, so the answer is given here.
  if (url.empty())
    return baseUrl;
  DWORD length = 0;
  // The first call only asks for the size; success here means nothing to give.
  if (InternetCombineUrlA(baseUrl.c_str(), url.c_str(), nullptr, &length, 0))
    return std::string();
  if (length == 0)
    return std::string();
  std::vector<char> buffer(length + 1, '\0');
  if (!InternetCombineUrlA(baseUrl.c_str(), url.c_str(), buffer.data(), &length, 0))
    return std::string();
  return std::string(buffer.data());
}
