#include "BindInfoUrl.h"

// Portable builds have no bind info to ask.
std::string PageUrlFromBindInfo(IInternetBindInfo *) { return std::string(); }
