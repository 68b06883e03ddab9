// The URL of the download, as the bind info tells it (BINDSTRING_URL), in
// 8-bit text; empty when there is no bind info or it cannot say.
#pragma once

#include <string>

struct IInternetBindInfo;

std::string PageUrlFromBindInfo(IInternetBindInfo *bindInfo);
