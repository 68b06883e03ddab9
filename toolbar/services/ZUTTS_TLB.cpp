#include "ZUTTS_TLB.h"

#include "ZUSystemCom.h"

namespace kwo {

Microsoft::WRL::ComPtr<ITalker> CoTalker::Create() {
  Microsoft::WRL::ComPtr<ITalker> talker;
  OleCheck(CoCreateInstance(CLSID_Talker, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_ITalker,
                            reinterpret_cast<void **>(talker.GetAddressOf())));
  return talker;
}

} // namespace kwo
