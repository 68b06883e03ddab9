// An inner protocol that serves a file's bytes the way a download does: at
// most `chunk` bytes a read, optionally E_PENDING before every k-th read, and
// S_FALSE with the last bytes.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "com/ComObject.h"

class TFileProtocol : public com::TComObject<TFileProtocol, IInternetProtocol> {
public:
  TFileProtocol(std::string bytes, ULONG chunk, ULONG pendingEvery)
      : FBytes(std::move(bytes)), FChunk(chunk ? chunk : 1), FPendingEvery(pendingEvery) {}
  static const com::TInterfaceEntry *Interfaces();

  ULONG Reads() const { return FReads; }
  size_t Size() const { return FBytes.size(); }

  // Keeps the sink and tells it the first data is there.
  STDMETHODIMP Start(LPCWSTR, IInternetProtocolSink *sink, IInternetBindInfo *, DWORD, HANDLE_PTR) override;
  STDMETHODIMP Continue(PROTOCOLDATA *) override { return S_OK; }
  STDMETHODIMP Abort(HRESULT, DWORD) override { return S_OK; }
  STDMETHODIMP Terminate(DWORD) override {
    FSink.Reset();
    return S_OK;
  }
  STDMETHODIMP Suspend() override { return E_NOTIMPL; }
  STDMETHODIMP Resume() override { return E_NOTIMPL; }
  STDMETHODIMP Read(void *buffer, ULONG size, ULONG *got) override;
  STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER *) override { return E_NOTIMPL; }
  STDMETHODIMP LockRequest(DWORD) override { return S_OK; }
  STDMETHODIMP UnlockRequest() override { return S_OK; }

private:
  std::string FBytes;
  size_t FAt = 0;
  ULONG FChunk;
  ULONG FPendingEvery;
  ULONG FReads = 0;
  bool FPendingGiven = false;
  Microsoft::WRL::ComPtr<IInternetProtocolSink> FSink;
};

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::wstring &path, std::string &bytes);
