#include "ZuHTMLFilter.h"

#include "../com/HResult.h"

class TZuHTMLFilter::TInnerReader final : public IZuRawSource {
public:
  explicit TInnerReader(IInternetProtocol *inner) : FInner(inner) {}
  int32_t ReadRaw(void *buffer, uint32_t size, uint32_t *bytesRead) override {
    ULONG got = 0;
    const HRESULT hr = FInner->Read(buffer, size, &got);
    *bytesRead = got;
    return hr;
  }

private:
  IInternetProtocol *FInner;
};

TZuHTMLFilter::TZuHTMLFilter(std::unique_ptr<TZuHTMLFilterCore> core)
    : FCore(core ? std::move(core) : std::make_unique<TZuHTMLFilterCore>()) {}

TZuHTMLFilter::~TZuHTMLFilter() = default;

const com::TInterfaceEntry *TZuHTMLFilter::Interfaces() {
  static const com::TInterfaceEntry table[] = {
      ZU_INTERFACE(TZuHTMLFilter, IInternetProtocol),
      ZU_INTERFACE_VIA(TZuHTMLFilter, IInternetProtocolRoot, IInternetProtocol),
      ZU_INTERFACE(TZuHTMLFilter, IInternetProtocolSink),
      ZU_INTERFACE_END,
  };
  return table;
}

STDMETHODIMP TZuHTMLFilter::Start(LPCWSTR, IInternetProtocolSink *sink, IInternetBindInfo *bindInfo, DWORD flags,
                                  HANDLE_PTR reserved) {
  auto *filterData = reinterpret_cast<PROTOCOLFILTERDATA *>(reserved);
  if (!(flags & PI_FILTER_MODE) || !filterData || !filterData->pProtocol)
    return E_INVALIDARG;
  return com::ComGuard([&] {
    FProtocol = filterData->pProtocol;
    FSink = sink;
    FCore->BeginDocument(bindInfo);
    return S_OK;
  });
}

STDMETHODIMP TZuHTMLFilter::Continue(PROTOCOLDATA *data) {
  const auto inner = FProtocol;
  return inner ? inner->Continue(data) : E_FAIL;
}

STDMETHODIMP TZuHTMLFilter::Abort(HRESULT reason, DWORD options) {
  const auto inner = FProtocol;
  return inner ? inner->Abort(reason, options) : E_FAIL;
}

STDMETHODIMP TZuHTMLFilter::Terminate(DWORD options) {
  const auto inner = FProtocol;
  const HRESULT hr = inner ? inner->Terminate(options) : E_FAIL;
  FProtocol.Reset();
  FSink.Reset();
  return hr;
}

STDMETHODIMP TZuHTMLFilter::Suspend() {
  const auto inner = FProtocol;
  return inner ? inner->Suspend() : E_FAIL;
}
STDMETHODIMP TZuHTMLFilter::Resume() {
  const auto inner = FProtocol;
  return inner ? inner->Resume() : E_FAIL;
}

STDMETHODIMP TZuHTMLFilter::Read(void *buffer, ULONG size, ULONG *bytesRead) {
  uint32_t got = 0;
  HRESULT hr;
  if (FProtocol) {
    // Keeps the inner protocol alive should the reader terminate us from a callback.
    Microsoft::WRL::ComPtr<IInternetProtocol> inner = FProtocol;
    TInnerReader reader(inner.Get());
    hr = FCore->Read(&reader, buffer, size, &got);
  } else {
    hr = FCore->Read(nullptr, buffer, size, &got);
  }
  if (bytesRead)
    *bytesRead = got;
  return hr;
}

STDMETHODIMP TZuHTMLFilter::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER *) { return E_NOTIMPL; }
STDMETHODIMP TZuHTMLFilter::LockRequest(DWORD) { return S_OK; }
STDMETHODIMP TZuHTMLFilter::UnlockRequest() { return S_OK; }

STDMETHODIMP TZuHTMLFilter::Switch(PROTOCOLDATA *data) {
  const auto sink = FSink;
  return sink ? sink->Switch(data) : E_FAIL;
}

STDMETHODIMP TZuHTMLFilter::ReportProgress(ULONG status, LPCWSTR text) {
  const auto sink = FSink;
  return sink ? sink->ReportProgress(status, text) : E_FAIL;
}

STDMETHODIMP TZuHTMLFilter::ReportData(DWORD flags, ULONG progress, ULONG progressMax) {
  const auto sink = FSink;
  return sink ? sink->ReportData(flags, progress, progressMax) : E_FAIL;
}

STDMETHODIMP TZuHTMLFilter::ReportResult(HRESULT result, DWORD error, LPCWSTR text) {
  const auto sink = FSink;
  return sink ? sink->ReportResult(result, error, text) : E_FAIL;
}
