// What the resource revision service answers for a page's images, frames and
// Flash objects, and how it is configured. Portable: no platform headers.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "AdFilterList.h"

namespace zurpc {

enum EVerdict : int {
  vKeep = 0,
  vRemove = 1,
  vMarker = 2,      // replace by a text marker
  vPlaceholder = 3, // replace by a blank of the same size
};

struct TRevisionConfig {
  std::vector<std::string> Lists; // paths as written, in order
  int FlashVerdict = vPlaceholder;
};

// Reads ZuRPCPrx.ini text: "list = PATH" (repeatable) and
// "flash = keep|marker|placeholder|remove"; '#' and ';' start comment lines.
// A line it does not understand fails the whole configuration, with `error`
// saying which line, so a typo never silently changes what gets filtered.
bool ParseConfig(std::string_view text, TRevisionConfig &config, std::string &error);

// The list used when no configuration names one: well-known ad servers and
// ad paths.
extern const char kDefaultList[];

// The resource type a caller's MIME type stands for; 0 for none of ours.
uint8_t TypeOfMime(std::string_view mimeType);

class TRevisionService {
public:
  void AddList(std::string_view text) { FList.AddList(text); }
  void SetFlashVerdict(int verdict) { FFlashVerdict = verdict; }
  const TAdFilterList &List() const { return FList; }

  // Verdict for one resource of a page; width and height are -1 when unknown.
  int Revise(std::string_view resourceUrl, std::string_view mimeType, std::string_view pageUrl,
             std::string_view linkUrl, int width, int height) const;
  // Verdict for an image by what it links to.
  int NoteResourceWithHref(std::string_view imageUrl, std::string_view linkUrl) const;

private:
  TAdFilterList FList;
  int FFlashVerdict = vPlaceholder;
};

} // namespace zurpc
