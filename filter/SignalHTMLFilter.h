// A filter that appends a script to the end of every page it sees a body in,
// unless the page already carries that script, so that code running later in
// the browser can tell the page went through the filter and rendered to its end.
#pragma once

#include <string>

#include "ZuHTMLFilterCore.h"

class TSignalHTMLFilter : public TZuHTMLFilterCore {
public:
  void SetScriptName(std::string name) { FScriptName = std::move(name); }
  void SetScriptText(std::string text) { FScriptText = std::move(text); }

  bool IsFiltering() override { return true; }
  bool PassTag(TTagParser &parser, TByteStream &output) override;
  void EndDocument(TByteStream &output) override;

protected:
  // Writes 8-bit text in the page's encoding: as it is for 8-bit pages,
  // converted to UTF-16 (no byte-order mark) for UTF-16 pages.
  void WritePageText(TByteStream &output, const std::string &text);

private:
  bool FScriptSeen = false;
  bool FBodySeen = false;
  std::string FScriptName;
  std::string FScriptText;
  std::string FWide;
};
