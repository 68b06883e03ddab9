#include <windows.h>

#include "ZuRPCClient.h"

namespace {
// GetProcAddress gives a generic function pointer; going through void(*)()
// is the sanctioned way to cast it to the entry point's own type.
template <class T> T Entry(HMODULE lib, const char *name) {
  return reinterpret_cast<T>(reinterpret_cast<void (*)()>(GetProcAddress(lib, name)));
}
} // namespace

void *ZuLoadRevisionLibrary(const char *name, TZuRPCEntryPoints &entries) {
  HMODULE lib = LoadLibraryA(name);
  if (!lib)
    return nullptr;
  entries.GetBinding = Entry<TZuRPCEntryPoints::TGetBinding>(lib, "GetBinding");
  entries.ReviseResource = Entry<TZuRPCEntryPoints::TReviseResource>(lib, "ReviseResource");
  entries.NoteResourceWithHref = Entry<TZuRPCEntryPoints::TNoteResourceWithHref>(lib, "NoteResourceWithHref");
  return lib;
}

void ZuFreeRevisionLibrary(void *library) { FreeLibrary(static_cast<HMODULE>(library)); }
