#include "FileProtocol.h"

#include <algorithm>
#include <cstring>

const com::TInterfaceEntry *TFileProtocol::Interfaces() {
  static const com::TInterfaceEntry table[] = {
      ZU_INTERFACE(TFileProtocol, IInternetProtocol),
      ZU_INTERFACE_VIA(TFileProtocol, IInternetProtocolRoot, IInternetProtocol), ZU_INTERFACE_END};
  return table;
}

STDMETHODIMP TFileProtocol::Start(LPCWSTR, IInternetProtocolSink *sink, IInternetBindInfo *, DWORD, HANDLE_PTR) {
  FSink = sink;
  if (FSink)
    FSink->ReportData(BSCF_FIRSTDATANOTIFICATION, 0, static_cast<ULONG>(FBytes.size()));
  return S_OK;
}

STDMETHODIMP TFileProtocol::Read(void *buffer, ULONG size, ULONG *got) {
  if (!got)
    return E_POINTER;
  *got = 0;
  if (FPendingEvery && (FReads + 1) % FPendingEvery == 0 && !FPendingGiven) {
    FPendingGiven = true;
    return E_PENDING;
  }
  FPendingGiven = false;
  ++FReads;
  const size_t n = std::min<size_t>({size, FChunk, FBytes.size() - FAt});
  std::memcpy(buffer, FBytes.data() + FAt, n);
  FAt += n;
  *got = static_cast<ULONG>(n);
  if (FAt < FBytes.size())
    return S_OK;
  if (FSink) {
    // Told once; the sink may terminate us from inside these calls.
    const auto sink = std::move(FSink);
    const ULONG all = static_cast<ULONG>(FBytes.size());
    sink->ReportData(BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE, all, all);
    sink->ReportResult(S_OK, 0, nullptr);
  }
  return S_FALSE;
}

bool ReadWholeFile(const std::wstring &path, std::string &bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE)
    return false;
  bytes.clear();
  char buf[65536];
  DWORD n = 0;
  bool ok = true;
  while ((ok = ReadFile(f, buf, sizeof buf, &n, nullptr) != 0) && n > 0)
    bytes.append(buf, n);
  CloseHandle(f);
  return ok;
}
