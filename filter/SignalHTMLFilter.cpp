#include "SignalHTMLFilter.h"

#include <string_view>

#include "AnsiConvert.h"

// Compared as views: the length check comes first, no strlen per tag.
using namespace std::literals;

bool TSignalHTMLFilter::PassTag(TTagParser &parser, TByteStream &) {
  const std::string &name = parser.TagName;
  if (!FScriptSeen && name == "SCRIPT"sv) {
    FScriptSeen = parser.GetAttribute("NAME") == FScriptName;
  } else if (!FBodySeen && (name == "BODY"sv || name == "HTML"sv || name == "IMG"sv)) {
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
