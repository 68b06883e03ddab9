// The ad-rewriting filter registered for text/html: asks the revision service
// about every image, inline frame and Flash object, and replaces those it marks
// as advertising by a marker text, a same-size placeholder or nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "AdsHTMLSignaller.h"
#include "ZuRPCClient.h"

struct TMapItem {
  std::string Name;
  std::vector<std::string> Hrefs;
};

class TTervaneHTMLFilter : public TAdsHTMLSignaller {
public:
  // Scheme and host of the Flash player's download site, as OBJECT codebases give it.
  static const char FlashCodebasePrefix[];

  TTervaneHTMLFilter();
  explicit TTervaneHTMLFilter(std::unique_ptr<TZuRPCClient> client);

  void BeginDocument(IInternetBindInfo *bindInfo) override;
  bool IsFiltering() override;
  bool PassText() override;
  bool PassTag(TTagParser &parser, TByteStream &output) override;

  TZuRPCClient &Client() { return *FClient; }
  const std::string &PageUrl() const { return FPageUrl; }

protected:
  // The page's own URL; set by BeginDocument from the bind info.
  void SetPageUrl(std::string url) { FPageUrl = std::move(url); }

private:
  bool PassImage(TTagParser &parser, TByteStream &output);
  bool PassFrame(TTagParser &parser, TByteStream &output);
  bool PassObject(TTagParser &parser);
  void CloseMap();
  void AddImageMap(const std::string &entry);
  std::string ImageOfMap(const std::string &name) const;
  bool Revise(const std::string &url, const char *mimeType, const std::string &pageUrl, const std::string &link,
              int32_t width, int32_t height);

  std::unique_ptr<TZuRPCClient> FClient;
  std::string FPageUrl;
  bool FInAdFrame = false;
  bool FInLink = false;
  std::string FLinkHref;
  bool FInMap = false;
  std::deque<TMapItem> FMaps;
  TMapItem *FCurrentMap = nullptr;
  std::vector<std::string> FImageMaps; // "name=url", sorted ignoring case
  bool FInFlash = false;
  int32_t FFlashVerdict = 0;
  std::string FFlashWidth;
  std::string FFlashHeight;
  int32_t FVerdict = 0;
};

// Integer value of an attribute text: leading spaces, an optional sign and
// decimal digits or a '$'-prefixed hexadecimal number; anything else is -1.
int32_t AttrToInt(const std::string &text);
