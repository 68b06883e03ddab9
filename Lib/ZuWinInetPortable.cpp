// Portable builds (sanitizers, fuzzing) have no WinINet; this resolves
// references the usual way, enough for the filter's rules to see realistic
// absolute URLs.
#include "ZuWinInet.h"

#include <cctype>

namespace {

size_t SchemeEnd(const std::string &u) {
  if (u.empty() || !std::isalpha(static_cast<unsigned char>(u[0])))
    return std::string::npos;
  for (size_t i = 1; i < u.size(); ++i) {
    const char c = u[i];
    if (c == ':')
      return i;
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return std::string::npos;
  }
  return std::string::npos;
}

std::string RemoveDotSegments(const std::string &path) {
  std::string out;
  size_t i = 0;
  while (i < path.size()) {
    size_t next = path.find('/', i + 1);
    if (next == std::string::npos)
      next = path.size();
    const std::string seg = path.substr(i, next - i);
    if (seg == "/.") {
      if (next == path.size())
        out += '/';
    } else if (seg == "/..") {
      const size_t cut = out.rfind('/');
      out.erase(cut == std::string::npos ? 0 : cut);
      if (next == path.size())
        out += '/';
    } else {
      out += seg;
    }
    i = next;
  }
  return out;
}

} // namespace

std::string CombineUrl(const std::string &baseUrl, const std::string &url) {
  if (SchemeEnd(url) != std::string::npos)
    return url;
  const size_t scheme = SchemeEnd(baseUrl);
  if (scheme == std::string::npos)
    return std::string();
  if (url.empty())
    return baseUrl;
  const size_t authStart = baseUrl.compare(scheme + 1, 2, "//") == 0 ? scheme + 3 : scheme + 1;
  size_t pathStart = baseUrl.find_first_of("/?#", authStart);
  if (pathStart == std::string::npos)
    pathStart = baseUrl.size();
  const std::string origin = baseUrl.substr(0, pathStart);
  if (url.compare(0, 2, "//") == 0)
    return baseUrl.substr(0, scheme + 1) + url;
  size_t queryStart = baseUrl.find_first_of("?#", pathStart);
  if (queryStart == std::string::npos)
    queryStart = baseUrl.size();
  const std::string basePath = baseUrl.substr(pathStart, queryStart - pathStart);
  if (url[0] == '#' || url[0] == '?')
    return baseUrl.substr(0, url[0] == '#' ? baseUrl.find('#') : queryStart) + url;
  const size_t q = url.find_first_of("?#");
  const std::string refPath = url.substr(0, q);
  const std::string rest = q == std::string::npos ? std::string() : url.substr(q);
  std::string merged;
  if (refPath[0] == '/') {
    merged = refPath;
  } else {
    const size_t slash = basePath.rfind('/');
    merged = (slash == std::string::npos ? std::string("/") : basePath.substr(0, slash + 1)) + refPath;
  }
  return origin + RemoveDotSegments(merged) + rest;
}
