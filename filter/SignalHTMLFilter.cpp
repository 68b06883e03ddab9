#include "SignalHTMLFilter.h"

#include "AnsiConvert.h"

bool TSignalHTMLFilter::PassTag(TTagParser &parser, TByteStream &) {
  const std::string &name = parser.TagName;
  if (!FScriptSeen && name == "SCRIPT") {
    FScriptSeen = parser.GetAttribute("NAME") == FScriptName;
  } else if (!FBodySeen && (name == "BODY" || name == "HTML" || name == "IMG")) {
    FBodySeen = true;
  }
  return true;
}

void TSignalHTMLFilter::EndDocument(TByteStream &output) {
  if (!FScriptSeen && FBodySeen)
    WritePageText(output, FScriptText);
}

void TSignalHTMLFilter::WritePageText(TByteStream &output, const std::string &text) {
  if (text.empty())
    return;
  if (!IsUnicode()) {
    output.Write(text.data(), text.size());
    return;
  }
  Utf16LeFromAnsi(text.data(), text.size(), FWide);
  output.Write(FWide.data(), FWide.size());
}
