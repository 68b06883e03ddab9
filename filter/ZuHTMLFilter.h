// The MIME filter protocol object: sits between the inner protocol that
// downloads a page and the reader that renders it, and hands the reader what
// its filter core makes of the page.
#pragma once

#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <memory>

#include "../com/ComObject.h"
#include "ZuHTMLFilterCore.h"

class TZuHTMLFilter : public com::TComObject<TZuHTMLFilter, IInternetProtocol, IInternetProtocolSink> {
public:
  // Without a core the filter is the base one: it copies every byte unscanned.
  explicit TZuHTMLFilter(std::unique_ptr<TZuHTMLFilterCore> core = nullptr);
  ~TZuHTMLFilter() override;
  static const com::TInterfaceEntry *Interfaces();

  TZuHTMLFilterCore &Core() { return *FCore; }

  // IInternetProtocolRoot
  STDMETHODIMP Start(LPCWSTR url, IInternetProtocolSink *sink, IInternetBindInfo *bindInfo, DWORD flags,
                     HANDLE_PTR reserved) override;
  STDMETHODIMP Continue(PROTOCOLDATA *data) override;
  STDMETHODIMP Abort(HRESULT reason, DWORD options) override;
  STDMETHODIMP Terminate(DWORD options) override;
  STDMETHODIMP Suspend() override;
  STDMETHODIMP Resume() override;
  // IInternetProtocol
  STDMETHODIMP Read(void *buffer, ULONG size, ULONG *bytesRead) override;
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER *newPosition) override;
  STDMETHODIMP LockRequest(DWORD options) override;
  STDMETHODIMP UnlockRequest() override;
  // IInternetProtocolSink
  STDMETHODIMP Switch(PROTOCOLDATA *data) override;
  STDMETHODIMP ReportProgress(ULONG status, LPCWSTR text) override;
  STDMETHODIMP ReportData(DWORD flags, ULONG progress, ULONG progressMax) override;
  STDMETHODIMP ReportResult(HRESULT result, DWORD error, LPCWSTR text) override;

private:
  class TInnerReader;

  Microsoft::WRL::ComPtr<IInternetProtocol> FProtocol;
  Microsoft::WRL::ComPtr<IInternetProtocolSink> FSink;
  std::unique_ptr<TZuHTMLFilterCore> FCore;
};
