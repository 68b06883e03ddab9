#include "HResult.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <new>

namespace com {

HRESULT HResultFromCurrentException() noexcept {
  try {
    throw;
  } catch (const TComError &e) {
    return e.Code();
  } catch (const std::bad_alloc &) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT SetErrorInfoText(HRESULT hr, const GUID &iid, const std::wstring &source, const std::wstring &description,
                         const std::wstring &helpFile, DWORD helpContext) noexcept {
  Microsoft::WRL::ComPtr<ICreateErrorInfo> create;
  if (FAILED(CreateErrorInfo(&create)))
    return hr;
  create->SetGUID(iid);
  create->SetSource(const_cast<LPOLESTR>(source.c_str()));
  create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
  create->SetHelpFile(const_cast<LPOLESTR>(helpFile.c_str()));
  create->SetHelpContext(helpContext);
  Microsoft::WRL::ComPtr<IErrorInfo> info;
  if (SUCCEEDED(create.As(&info)))
    SetErrorInfo(0, info.Get());
  return hr;
}

} // namespace com
