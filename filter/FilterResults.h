// Result codes the stream filter's portable code exchanges with its inner
// protocol and its reader; the same values as the platform's HRESULTs.
#pragma once

#include <cstdint>

namespace zu {
constexpr int32_t kS_OK = 0;
constexpr int32_t kS_FALSE = 1;
constexpr int32_t kE_PENDING = static_cast<int32_t>(0x8000000Au);
constexpr int32_t kE_FAIL = static_cast<int32_t>(0x80004005u);
constexpr int32_t kINET_E_DATA_NOT_AVAILABLE = static_cast<int32_t>(0x800C0007u);
constexpr int32_t kINET_E_DOWNLOAD_FAILURE = static_cast<int32_t>(0x800C0008u);
} // namespace zu
