#include "ZuRPCClient.h"

// Portable builds have no service library; their tests hand entry points in.
void *ZuLoadRevisionLibrary(const char *, TZuRPCEntryPoints &) { return nullptr; }
void ZuFreeRevisionLibrary(void *) {}
