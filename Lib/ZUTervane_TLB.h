// The host application's declarations (generated from ZUTervane.idl) and the
// two messages the host posts into the browser's user-interface threads.
#pragma once

#include <windows.h>

#include "ZUTervane.h"

namespace kwo {

// The host's server is available again: the toolbars attach anew. No parameters.
constexpr UINT WM_HOSTSERVERREADY = 0x0500;
// A statistics update: the low byte of wParam selects the counter, lParam is its new value.
constexpr UINT WM_HOSTSTATISTICS = 0x0501;

enum THostStatistic : unsigned char {
  hsKilledBannerCount = 0,
  hsKilledBannerTraffic = 1, // bytes
  hsKilledPopupCount = 2,
};

} // namespace kwo
