#include "FakeProtocol.h"

#include <cstring>

const com::TInterfaceEntry *TFakeProtocol::Interfaces() {
  static const com::TInterfaceEntry table[] = {
      ZU_INTERFACE(TFakeProtocol, IInternetProtocol),
      ZU_INTERFACE_VIA(TFakeProtocol, IInternetProtocolRoot, IInternetProtocol), ZU_INTERFACE_END};
  return table;
}

STDMETHODIMP TFakeProtocol::Start(LPCWSTR, IInternetProtocolSink *, IInternetBindInfo *, DWORD, HANDLE_PTR) {
  Calls.push_back("Start");
  return Answer;
}
STDMETHODIMP TFakeProtocol::Continue(PROTOCOLDATA *) {
  Calls.push_back("Continue");
  return Answer;
}
STDMETHODIMP TFakeProtocol::Abort(HRESULT reason, DWORD options) {
  Calls.push_back("Abort " + std::to_string(static_cast<unsigned long>(reason)) + " " + std::to_string(options));
  return Answer;
}
STDMETHODIMP TFakeProtocol::Terminate(DWORD options) {
  Calls.push_back("Terminate " + std::to_string(options));
  return Answer;
}
STDMETHODIMP TFakeProtocol::Suspend() {
  Calls.push_back("Suspend");
  return Answer;
}
STDMETHODIMP TFakeProtocol::Resume() {
  Calls.push_back("Resume");
  return Answer;
}
STDMETHODIMP TFakeProtocol::Read(void *buffer, ULONG size, ULONG *got) {
  uint32_t n = 0;
  const HRESULT hr = FScript.Next(buffer, size, &n);
  *got = n;
  return hr;
}
STDMETHODIMP TFakeProtocol::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER *) {
  Calls.push_back("Seek");
  return Answer;
}
STDMETHODIMP TFakeProtocol::LockRequest(DWORD) {
  Calls.push_back("LockRequest");
  return Answer;
}
STDMETHODIMP TFakeProtocol::UnlockRequest() {
  Calls.push_back("UnlockRequest");
  return Answer;
}

const com::TInterfaceEntry *TFakeSink::Interfaces() {
  static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeSink, IInternetProtocolSink), ZU_INTERFACE_END};
  return table;
}
STDMETHODIMP TFakeSink::Switch(PROTOCOLDATA *) {
  Calls.push_back("Switch");
  return Answer;
}
STDMETHODIMP TFakeSink::ReportProgress(ULONG status, LPCWSTR text) {
  std::string t;
  for (const wchar_t *p = text; p && *p; ++p)
    t += static_cast<char>(*p);
  Calls.push_back("ReportProgress " + std::to_string(status) + " " + t);
  return Answer;
}
STDMETHODIMP TFakeSink::ReportData(DWORD flags, ULONG progress, ULONG progressMax) {
  Calls.push_back("ReportData " + std::to_string(flags) + " " + std::to_string(progress) + " " +
                  std::to_string(progressMax));
  return Answer;
}
STDMETHODIMP TFakeSink::ReportResult(HRESULT result, DWORD error, LPCWSTR) {
  Calls.push_back("ReportResult " + std::to_string(static_cast<unsigned long>(result)) + " " + std::to_string(error));
  return Answer;
}

const com::TInterfaceEntry *TFakeBindInfo::Interfaces() {
  static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeBindInfo, IInternetBindInfo), ZU_INTERFACE_END};
  return table;
}
STDMETHODIMP TFakeBindInfo::GetBindInfo(DWORD *, BINDINFO *) { return E_NOTIMPL; }
STDMETHODIMP TFakeBindInfo::GetBindString(ULONG kind, LPOLESTR *strings, ULONG count, ULONG *fetched) {
  if (kind != BINDSTRING_URL || count < 1 || !strings)
    return E_INVALIDARG;
  const size_t bytes = (FUrl.size() + 1) * sizeof(wchar_t);
  strings[0] = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  std::memcpy(strings[0], FUrl.c_str(), bytes);
  if (fetched)
    *fetched = 1;
  return S_OK;
}
