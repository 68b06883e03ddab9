#include "MimeFilter.h"

#include <string_view>

#include <algorithm>
#include <cstdio>

#include "BindInfoUrl.h"
#include "Lib/ZuWinInet.h"
#include "LocaleCompare.h"

// Compared as views: the length check comes first, no strlen per tag.
using namespace std::literals;

const char TTervaneHTMLFilter::FlashCodebasePrefix[] = "http://download.flashplayer.example";

namespace {

const char kImageType[] = "image/*";
const char kFrameType[] = "text/html";
const char kFlashType[] = "application/x-shockwave-flash";

// Negative, zero or positive as a is before, equal to or after b, ignoring ASCII case.
int CompareTextAscii(const std::string &a, const std::string &b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z')
      x -= 'a' - 'A';
    if (y >= 'a' && y <= 'z')
      y -= 'a' - 'A';
    if (x != y)
      return x - y;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

std::string Format(const char *format, const std::string &a, const std::string &b, const std::string &c = "") {
  const int n = std::snprintf(nullptr, 0, format, a.c_str(), b.c_str(), c.c_str());
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  std::snprintf(out.data(), out.size() + 1, format, a.c_str(), b.c_str(), c.c_str());
  return out;
}

} // namespace

int32_t AttrToInt(const std::string &text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';
  const bool hex = i < text.size() && text[i] == '$';
  if (hex)
    ++i;
  if (i == text.size())
    return -1;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return -1;
    value = value * (hex ? 16 : 10) + digit;
    if (value > (hex ? 0xFFFFFFFFll : 0x80000000ll))
      return -1;
  }
  if (hex)
    value = static_cast<int32_t>(static_cast<uint32_t>(value));
  if (negative)
    value = -value;
  if (value > INT32_MAX || value < INT32_MIN)
    return -1;
  return static_cast<int32_t>(value);
}

TTervaneHTMLFilter::TTervaneHTMLFilter() : FClient(std::make_unique<TZuRPCClient>()) {}

TTervaneHTMLFilter::TTervaneHTMLFilter(std::unique_ptr<TZuRPCClient> client) : FClient(std::move(client)) {}

void TTervaneHTMLFilter::BeginDocument(IInternetBindInfo *bindInfo) {
  FPageUrl = PageUrlFromBindInfo(bindInfo);
  FClient->Connect();
  FInAdFrame = false;
}

bool TTervaneHTMLFilter::IsFiltering() { return FClient->Connected; }

bool TTervaneHTMLFilter::PassText() { return !FInFlash && !FInAdFrame; }

bool TTervaneHTMLFilter::Revise(const std::string &url, const char *mimeType, const std::string &pageUrl,
                                const std::string &link, int32_t width, int32_t height) {
  return FClient->ReviseResource(url, mimeType, pageUrl, link, width, height, -1, FVerdict);
}

bool TTervaneHTMLFilter::PassTag(TTagParser &parser, TByteStream &output) {
  TAdsHTMLSignaller::PassTag(parser, output);
  FVerdict = 0;
  const std::string &name = parser.TagName;

  if (FClient->LastResult != 0)
    return true;
  if (FInFlash) {
    if (name == "/OBJECT"sv) {
      if (FFlashVerdict == 2)
        WritePageText(output, "[FLASH]");
      else if (FFlashVerdict == 3)
        WritePageText(output, Format("<IMG WIDTH=\"%s\" HEIGHT=\"%s\" border=0 alt=FLASH>", FFlashWidth, FFlashHeight));
      FInFlash = false;
    }
    return false;
  }
  if (FInAdFrame) {
    if (name == "/IFRAME"sv)
      FInAdFrame = false;
    return false;
  }
  if (name == "IMG"sv)
    return PassImage(parser, output);
  if (name == "IFRAME"sv)
    return PassFrame(parser, output);
  if (name == "OBJECT"sv)
    return PassObject(parser);
  if (name == "A"sv) {
    FInLink = true;
    FLinkHref = CombineUrl(FPageUrl, parser.GetAttribute("HREF"));
  } else if (name == "/A"sv) {
    FInLink = false;
    FLinkHref.clear();
  } else if (name == "MAP"sv) {
    FInMap = true;
    FMaps.push_back(TMapItem{parser.GetAttribute("NAME"), {}});
    FCurrentMap = &FMaps.back();
  } else if (name == "/MAP"sv) {
    CloseMap();
  } else if (name == "AREA"sv && FInMap) {
    if (FCurrentMap)
      FCurrentMap->Hrefs.push_back(CombineUrl(FPageUrl, parser.GetAttribute("HREF")));
  }
  return true;
}

bool TTervaneHTMLFilter::PassImage(TTagParser &parser, TByteStream &output) {
  const std::string widthText = parser.GetAttribute("WIDTH");
  const std::string heightText = parser.GetAttribute("HEIGHT");
  const int32_t height = AttrToInt(heightText);
  const int32_t width = AttrToInt(widthText);
  std::string imageUrl = parser.GetAttribute("SRC");
  if (!imageUrl.empty())
    imageUrl = CombineUrl(FPageUrl, imageUrl);
  const std::string usemap = parser.GetAttribute("USEMAP");
  std::string mapName;
  if (!usemap.empty() && usemap[0] == '#') {
    mapName = usemap.substr(1);
    if (!mapName.empty() && !imageUrl.empty())
      AddImageMap(mapName + "=" + imageUrl);
  }

  FVerdict = 0;
  if (FInLink) {
    Revise(imageUrl, kImageType, FPageUrl, FLinkHref, width, height);
  } else if (!mapName.empty()) {
    const auto map = std::find_if(FMaps.begin(), FMaps.end(), [&](const TMapItem &m) { return m.Name == mapName; });
    if (map == FMaps.end()) {
      Revise(imageUrl, kImageType, FPageUrl, std::string(), width, height);
    } else {
      for (const std::string &href : map->Hrefs)
        if (!Revise(imageUrl, kImageType, FPageUrl, href, width, height) || FVerdict != 0)
          break;
    }
  } else {
    Revise(imageUrl, kImageType, FPageUrl, std::string(), width, height);
  }

  if (FClient->LastResult != 0 || FVerdict == 0)
    return true;
  if (FVerdict == 2)
    WritePageText(output, "[AD]");
  else if (FVerdict == 3)
    WritePageText(output, Format("<IMG WIDTH=%s HEIGHT=%s border=0 alt=AD usemap=%s>", widthText, heightText, usemap));
  return false;
}

bool TTervaneHTMLFilter::PassFrame(TTagParser &parser, TByteStream &output) {
  std::string frameUrl = parser.GetAttribute("SRC");
  if (!frameUrl.empty())
    frameUrl = CombineUrl(FPageUrl, frameUrl);
  FVerdict = 0;
  Revise(frameUrl, kFrameType, FPageUrl, std::string(), -1, -1);
  if (FClient->LastResult != 0 || FVerdict == 0) {
    FInAdFrame = false;
    return true;
  }
  if (FVerdict == 2)
    WritePageText(output, "[AD]");
  else if (FVerdict == 3)
    WritePageText(output, Format("<IMG WIDTH=\"%s\" HEIGHT=\"%s\" border=0 alt=AD>", parser.GetAttribute("WIDTH"),
                                 parser.GetAttribute("HEIGHT")));
  FInAdFrame = true;
  return false;
}

bool TTervaneHTMLFilter::PassObject(TTagParser &parser) {
  if (!StartsWithIgnoreCase(parser.GetAttribute("CODEBASE"), FlashCodebasePrefix))
    return true;
  FVerdict = 0;
  if (!Revise(std::string(), kFlashType, std::string(), std::string(), -1, -1) || FVerdict == 0)
    return true;
  FInFlash = true;
  FFlashVerdict = FVerdict;
  FFlashWidth = parser.GetAttribute("WIDTH");
  FFlashHeight = parser.GetAttribute("HEIGHT");
  return false;
}

void TTervaneHTMLFilter::CloseMap() {
  if (!FCurrentMap)
    return;
  const std::string imageUrl = ImageOfMap(FCurrentMap->Name);
  if (!imageUrl.empty()) {
    FVerdict = 0;
    for (const std::string &href : FCurrentMap->Hrefs)
      if (!FClient->NoteResourceWithHref(imageUrl, href, FVerdict) || FVerdict != 0)
        break;
  }
  FInMap = false;
  FCurrentMap = nullptr;
}

void TTervaneHTMLFilter::AddImageMap(const std::string &entry) {
  const auto at =
      std::lower_bound(FImageMaps.begin(), FImageMaps.end(), entry,
                       [](const std::string &a, const std::string &b) { return CompareTextAscii(a, b) < 0; });
  if (at != FImageMaps.end() && CompareTextAscii(*at, entry) == 0)
    return;
  FImageMaps.insert(at, entry);
}

std::string TTervaneHTMLFilter::ImageOfMap(const std::string &name) const {
  for (const std::string &entry : FImageMaps) {
    const size_t eq = entry.find('=');
    if (eq != std::string::npos && CompareTextAscii(entry.substr(0, eq), name) == 0)
      return entry.substr(eq + 1);
  }
  return std::string();
}
