#include "RevisionService.h"

namespace zurpc {

namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z')
      x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z')
      y = static_cast<char>(y + 32);
    if (x != y)
      return false;
  }
  return true;
}

} // namespace

bool ParseConfig(std::string_view text, TRevisionConfig &config, std::string &error) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF")
    text.remove_prefix(3);
  for (int lineNo = 1; !text.empty(); ++lineNo) {
    const size_t nl = text.find('\n');
    const std::string_view line = Trim(text.substr(0, nl));
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (line.empty() || line[0] == '#' || line[0] == ';')
      continue;
    const size_t eq = line.find('=');
    const std::string_view key = Trim(line.substr(0, eq));
    const std::string_view value = eq == std::string_view::npos ? std::string_view() : Trim(line.substr(eq + 1));
    auto fail = [&](const char *why) {
      error = "line " + std::to_string(lineNo) + " (" + std::string(line) + "): " + why;
      return false;
    };
    if (eq == std::string_view::npos)
      return fail("expected \"key = value\"");
    if (SameNoCase(key, "list")) {
      std::string_view path = value;
      if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
        path = Trim(path.substr(1, path.size() - 2));
      if (path.empty())
        return fail("no path after \"list =\"");
      config.Lists.emplace_back(path);
    } else if (SameNoCase(key, "flash")) {
      static const struct {
        const char *Name;
        int Verdict;
      } names[] = {{"keep", vKeep}, {"marker", vMarker}, {"placeholder", vPlaceholder}, {"remove", vRemove}};
      bool known = false;
      for (const auto &n : names)
        if (SameNoCase(value, n.Name)) {
          config.FlashVerdict = n.Verdict;
          known = true;
        }
      if (!known)
        return fail("flash must be keep, marker, placeholder or remove");
    } else {
      return fail("unknown setting");
    }
  }
  return true;
}

uint8_t TypeOfMime(std::string_view mimeType) {
  mimeType = Trim(mimeType.substr(0, mimeType.find(';')));
  if (mimeType.size() >= 6 && SameNoCase(mimeType.substr(0, 6), "image/"))
    return rtImage;
  if (SameNoCase(mimeType, "text/html"))
    return rtSubdocument;
  if (SameNoCase(mimeType, "application/x-shockwave-flash"))
    return rtObject;
  return 0;
}

int TRevisionService::Revise(std::string_view resourceUrl, std::string_view mimeType, std::string_view pageUrl,
                             std::string_view linkUrl, int width, int height) const {
  switch (TypeOfMime(mimeType)) {
  case rtImage:
    if (!FList.IsBlocked(resourceUrl, linkUrl, pageUrl, rtImage))
      return vKeep;
    // A blank keeps the page's layout, but only when the size is known.
    return width > 0 && height > 0 ? vPlaceholder : vRemove;
  case rtSubdocument:
    return FList.IsBlocked(resourceUrl, linkUrl, pageUrl, rtSubdocument) ? vPlaceholder : vKeep;
  case rtObject:
    // Callers cannot tell us where a Flash object comes from.
    return FFlashVerdict;
  default:
    return vKeep;
  }
}

int TRevisionService::NoteResourceWithHref(std::string_view imageUrl, std::string_view linkUrl) const {
  if (linkUrl.empty())
    return vKeep;
  // No page is known here; the image's own site stands in for it, as images
  // mostly come from the page's site.
  const TUrl image(imageUrl), link(linkUrl);
  if (!FList.MatchesBlocking(link, image, rtImage))
    return vKeep;
  return FList.MatchesException(link, image, rtImage) || FList.MatchesException(image, image, rtImage) ? vKeep
                                                                                                       : vRemove;
}

} // namespace zurpc
