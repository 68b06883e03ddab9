// Fakes of what surrounds a MIME filter: the inner protocol (played from a
// script), the outer sink and the bind info. Each counts its live instances.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>
#include <vector>

#include "ScriptedSource.h"
#include "com/ComObject.h"

class TFakeProtocol : public com::TComObject<TFakeProtocol, IInternetProtocol> {
public:
  explicit TFakeProtocol(TScript script = TScript()) : FScript(std::move(script)) { ++Live; }
  ~TFakeProtocol() override { --Live; }
  static const com::TInterfaceEntry *Interfaces();
  static inline int Live = 0;

  TScript FScript;
  std::vector<std::string> Calls;
  HRESULT Answer = S_OK; // for every forwarded call

  STDMETHODIMP Start(LPCWSTR, IInternetProtocolSink *, IInternetBindInfo *, DWORD, HANDLE_PTR) override;
  STDMETHODIMP Continue(PROTOCOLDATA *) override;
  STDMETHODIMP Abort(HRESULT, DWORD) override;
  STDMETHODIMP Terminate(DWORD) override;
  STDMETHODIMP Suspend() override;
  STDMETHODIMP Resume() override;
  STDMETHODIMP Read(void *buffer, ULONG size, ULONG *got) override;
  STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER *) override;
  STDMETHODIMP LockRequest(DWORD) override;
  STDMETHODIMP UnlockRequest() override;
};

class TFakeSink : public com::TComObject<TFakeSink, IInternetProtocolSink> {
public:
  TFakeSink() { ++Live; }
  ~TFakeSink() override { --Live; }
  static const com::TInterfaceEntry *Interfaces();
  static inline int Live = 0;

  std::vector<std::string> Calls;
  HRESULT Answer = S_OK;

  STDMETHODIMP Switch(PROTOCOLDATA *) override;
  STDMETHODIMP ReportProgress(ULONG status, LPCWSTR text) override;
  STDMETHODIMP ReportData(DWORD flags, ULONG progress, ULONG progressMax) override;
  STDMETHODIMP ReportResult(HRESULT result, DWORD error, LPCWSTR text) override;
};

class TFakeBindInfo : public com::TComObject<TFakeBindInfo, IInternetBindInfo> {
public:
  explicit TFakeBindInfo(std::wstring url = L"") : FUrl(std::move(url)) { ++Live; }
  ~TFakeBindInfo() override { --Live; }
  static const com::TInterfaceEntry *Interfaces();
  static inline int Live = 0;

  std::wstring FUrl;
  STDMETHODIMP GetBindInfo(DWORD *flags, BINDINFO *info) override;
  STDMETHODIMP GetBindString(ULONG kind, LPOLESTR *strings, ULONG count, ULONG *fetched) override;
};
