#include "UrlDownload.h"

#include <urlmon.h>
#include <wrl/client.h>

#include "com/ComObject.h"

using Microsoft::WRL::ComPtr;

namespace {

class TCollectingCallback : public com::TComObject<TCollectingCallback, IBindStatusCallback> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TCollectingCallback, IBindStatusCallback),
                                                 ZU_INTERFACE_END};
    return table;
  }

  STDMETHODIMP OnStartBinding(DWORD, IBinding *binding) override {
    Binding = binding;
    return S_OK;
  }
  STDMETHODIMP GetPriority(LONG *) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG, ULONG, ULONG status, LPCWSTR text) override {
    if (status == BINDSTATUS_MIMETYPEAVAILABLE && text)
      Result.MimeType = text;
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT result, LPCWSTR) override {
    if (FStream)
      Drain(FStream.Get());
    FStream.Reset();
    Binding.Reset();
    Result.StopResult = result;
    Result.Stopped = true;
    return S_OK;
  }
  STDMETHODIMP GetBindInfo(DWORD *flags, BINDINFO *info) override {
    if (!flags || !info)
      return E_INVALIDARG;
    // Always from the server: a cached copy would not go through the filter again.
    *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE |
             BINDF_PRAGMA_NO_CACHE;
    const DWORD size = info->cbSize;
    ZeroMemory(info, size);
    info->cbSize = size;
    info->dwBindVerb = BINDVERB_GET;
    return S_OK;
  }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC *, STGMEDIUM *medium) override {
    if (!FStream && medium && medium->tymed == TYMED_ISTREAM && medium->pstm)
      FStream = medium->pstm;
    if (FStream)
      Drain(FStream.Get());
    return S_OK;
  }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown *) override { return S_OK; }

  // Owned here, not by the caller, so a binding that outlives the wait writes into live memory.
  TDownload Result;
  ComPtr<IBinding> Binding;

  // Reads what the stream has now; E_PENDING means more comes with a later notification.
  void Drain(IStream *stream) {
    char buffer[1024];
    for (;;) {
      ULONG got = 0;
      const HRESULT hr = stream->Read(buffer, sizeof buffer, &got);
      Result.Bytes.append(buffer, got);
      if (hr != S_OK || got == 0)
        return;
    }
  }

private:
  ComPtr<IStream> FStream;
};

} // namespace

bool PumpMessagesUntil(const std::function<bool()> &done) {
  const ULONGLONG giveUp = GetTickCount64() + 30 * 1000;
  while (!done()) {
    if (GetTickCount64() > giveUp)
      return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

TDownload DownloadThroughMoniker(const std::wstring &url) {
  auto callback = com::MakeObject<TCollectingCallback>();
  TDownload &result = callback->Result;
  ComPtr<IMoniker> moniker;
  result.BindResult = CreateURLMonikerEx(nullptr, url.c_str(), &moniker, URL_MK_UNIFORM);
  if (FAILED(result.BindResult))
    return result;
  ComPtr<IBindCtx> context;
  result.BindResult = CreateAsyncBindCtx(0, callback.Get(), nullptr, &context);
  if (FAILED(result.BindResult))
    return result;
  ComPtr<IStream> stream;
  result.BindResult = moniker->BindToStorage(context.Get(), nullptr, IID_IStream, &stream);
  // A hung binding is ended, so it does not run on into the next test.
  if (SUCCEEDED(result.BindResult) && !PumpMessagesUntil([&] { return result.Stopped; }) && callback->Binding)
    callback->Binding->Abort();
  callback->Binding.Reset();
  // A binding that finished at once also hands the stream back here.
  if (stream)
    callback->Drain(stream.Get());
  return result;
}

bool ReadFileBytes(const std::wstring &path, std::string &bytes) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bytes.clear();
  char buffer[65536];
  DWORD got = 0;
  bool ok;
  while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got)
    bytes.append(buffer, got);
  CloseHandle(file);
  return ok;
}

bool WriteFileBytes(const std::wstring &path, const std::string &bytes) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(file);
  return ok;
}
