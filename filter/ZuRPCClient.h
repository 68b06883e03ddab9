// Client of the outside resource-revision service (the library "ZuRPCPrx.dll",
// loaded by name): binds once and asks about the page's resources.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define ZU_STDCALL __stdcall
#else
#define ZU_STDCALL
#endif

// The service's three entry points.
struct TZuRPCEntryPoints {
  using TGetBinding = int32_t(ZU_STDCALL *)(int32_t *binding);
  using TReviseResource = int32_t(ZU_STDCALL *)(int32_t binding, const char *resourceUrl, const char *mimeType,
                                                const char *pageUrl, const char *linkUrl, int32_t width, int32_t height,
                                                int32_t extra, int32_t *verdict);
  using TNoteResourceWithHref = int32_t(ZU_STDCALL *)(int32_t binding, const char *imageUrl, const char *linkUrl,
                                                      int32_t *verdict);
  TGetBinding GetBinding = nullptr;
  TReviseResource ReviseResource = nullptr;
  TNoteResourceWithHref NoteResourceWithHref = nullptr;
};

class TZuRPCClient {
public:
  static const char LibraryName[];

  // Loads the service library with the normal search.
  TZuRPCClient();
  // Uses the given entry points; no library is loaded.
  explicit TZuRPCClient(const TZuRPCEntryPoints &entries);
  TZuRPCClient(const TZuRPCClient &) = delete;
  TZuRPCClient &operator=(const TZuRPCClient &) = delete;
  ~TZuRPCClient();

  bool Connect();
  bool ReviseResource(const std::string &resourceUrl, const std::string &mimeType, const std::string &pageUrl,
                      const std::string &linkUrl, int32_t width, int32_t height, int32_t extra, int32_t &verdict);
  bool NoteResourceWithHref(const std::string &imageUrl, const std::string &linkUrl, int32_t &verdict);

  int32_t LastResult = 1;
  bool Connected = false;

private:
  void *FLibrary = nullptr;
  TZuRPCEntryPoints FEntries;
  int32_t FBinding = 0;
};

// The platform's library loading, behind a seam so portable builds have none.
void *ZuLoadRevisionLibrary(const char *name, TZuRPCEntryPoints &entries);
void ZuFreeRevisionLibrary(void *library);
