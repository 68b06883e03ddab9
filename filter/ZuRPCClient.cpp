#include "ZuRPCClient.h"

const char TZuRPCClient::LibraryName[] = "ZuRPCPrx.dll";

TZuRPCClient::TZuRPCClient() { FLibrary = ZuLoadRevisionLibrary(LibraryName, FEntries); }

TZuRPCClient::TZuRPCClient(const TZuRPCEntryPoints &entries) : FEntries(entries) {}

TZuRPCClient::~TZuRPCClient() {
  if (FLibrary)
    ZuFreeRevisionLibrary(FLibrary);
}

bool TZuRPCClient::Connect() {
  if (FEntries.GetBinding && FEntries.ReviseResource && FEntries.NoteResourceWithHref) {
    LastResult = FEntries.GetBinding(&FBinding);
  } else {
    LastResult = 1;
    FBinding = 0;
  }
  Connected = LastResult == 0 && FBinding != 0;
  return Connected;
}

bool TZuRPCClient::ReviseResource(const std::string &resourceUrl, const std::string &mimeType,
                                  const std::string &pageUrl, const std::string &linkUrl, int32_t width, int32_t height,
                                  int32_t extra, int32_t &verdict) {
  if (!FEntries.ReviseResource) {
    LastResult = 1;
    return false;
  }
  LastResult = FEntries.ReviseResource(FBinding, resourceUrl.c_str(), mimeType.c_str(), pageUrl.c_str(),
                                       linkUrl.c_str(), width, height, extra, &verdict);
  return LastResult == 0;
}

bool TZuRPCClient::NoteResourceWithHref(const std::string &imageUrl, const std::string &linkUrl, int32_t &verdict) {
  if (!FEntries.NoteResourceWithHref) {
    LastResult = 1;
    return false;
  }
  LastResult = FEntries.NoteResourceWithHref(FBinding, imageUrl.c_str(), linkUrl.c_str(), &verdict);
  return LastResult == 0;
}
