#include <windows.h>
#include <urlmon.h>

#include "BindInfoUrl.h"

std::string PageUrlFromBindInfo(IInternetBindInfo *bindInfo) {
  if (!bindInfo)
    return std::string();
  LPOLESTR url = nullptr;
  ULONG fetched = 0;
  std::string result;
  try {
    if (SUCCEEDED(bindInfo->GetBindString(BINDSTRING_URL, &url, 1, &fetched)) && fetched == 1 && url) {
      const int n = WideCharToMultiByte(CP_ACP, 0, url, -1, nullptr, 0, nullptr, nullptr);
      if (n > 1) {
        result.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, url, -1, result.data(), n, nullptr, nullptr);
        result.resize(static_cast<size_t>(n - 1));
      }
    }
  } catch (...) {
    result.clear();
  }
  if (url)
    CoTaskMemFree(url);
  return result;
}
