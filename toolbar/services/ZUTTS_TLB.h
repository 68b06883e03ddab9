// The speech server's declarations (generated from ZUTTS.idl) and CoTalker,
// which creates the server wherever it is registered.
#pragma once

#include <windows.h>
#include <wrl/client.h>

#include "ZUTTS.h"

namespace kwo {

class CoTalker {
public:
  // Raises EOleSysError when the server is not registered, cannot be started
  // or does not answer ITalker.
  static Microsoft::WRL::ComPtr<ITalker> Create();
};

} // namespace kwo
