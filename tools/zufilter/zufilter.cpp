// Stand-in for the browser's download machinery: chains the MIME filters
// registered for a type over an inner protocol that reads a file, and pulls
// the page through them like the browser's reader.
//
//   zufilter [--url URL] [--chunk N] [--read N] [--pending K] [--mime TYPE] [--dll PATH] [--stats] FILE
#include <windows.h>
#include <shlwapi.h>
#include <urlmon.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "com/ComObject.h"
#include "com/Registrar.h"
#include "filter/ZuGuids.h"
#include "tools/common/FileProtocol.h"

using Microsoft::WRL::ComPtr;

namespace {

const char kUsage[] =
    "usage: zufilter [--url URL] [--chunk N] [--read N] [--pending K] [--mime TYPE] [--dll PATH] [--stats] FILE\n";

std::string Narrow(const std::wstring &w) {
  if (w.empty())
    return std::string();
  const int n = WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

class TBindInfo : public com::TComObject<TBindInfo, IInternetBindInfo> {
public:
  explicit TBindInfo(std::wstring url) : FUrl(std::move(url)) {}
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TBindInfo, IInternetBindInfo), ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetBindInfo(DWORD *flags, BINDINFO *info) override {
    if (flags)
      *flags = BINDF_ASYNCHRONOUS | BINDF_PULLDATA;
    if (info && info->cbSize >= sizeof(DWORD)) {
      const DWORD size = info->cbSize;
      ZeroMemory(info, size);
      info->cbSize = size;
    }
    return S_OK;
  }
  STDMETHODIMP GetBindString(ULONG kind, LPOLESTR *strings, ULONG count, ULONG *fetched) override {
    if (fetched)
      *fetched = 0;
    if (kind != BINDSTRING_URL)
      return E_NOTIMPL;
    if (!strings || count < 1)
      return E_INVALIDARG;
    const size_t bytes = (FUrl.size() + 1) * sizeof(wchar_t);
    strings[0] = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!strings[0])
      return E_OUTOFMEMORY;
    CopyMemory(strings[0], FUrl.c_str(), bytes);
    if (fetched)
      *fetched = 1;
    return S_OK;
  }

private:
  std::wstring FUrl;
};

// The reader's end: learns of data and results, nothing more.
class TOuterSink : public com::TComObject<TOuterSink, IInternetProtocolSink> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TOuterSink, IInternetProtocolSink), ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP Switch(PROTOCOLDATA *) override { return S_OK; }
  STDMETHODIMP ReportProgress(ULONG, LPCWSTR) override { return S_OK; }
  STDMETHODIMP ReportData(DWORD, ULONG, ULONG) override {
    ++Notifications;
    return S_OK;
  }
  STDMETHODIMP ReportResult(HRESULT result, DWORD, LPCWSTR) override {
    Result = result;
    return S_OK;
  }
  int Notifications = 0;
  HRESULT Result = S_OK;
};

struct TStage {
  CLSID Clsid;
  std::string Name;
  ComPtr<IInternetProtocol> Filter;
};

struct TOptions {
  std::wstring Url, Mime = L"text/html", Dll, File;
  ULONG Chunk = 8192, Read = 4096, Pending = 0;
  bool Stats = false;
};

bool ParseNumber(const wchar_t *text, ULONG &out, bool allowZero) {
  wchar_t *end = nullptr;
  const unsigned long v = std::wcstoul(text, &end, 10);
  if (!*text || *end || v > 0x7FFFFFFF || (!allowZero && v == 0))
    return false;
  out = static_cast<ULONG>(v);
  return true;
}

bool ParseOptions(int argc, wchar_t **argv, TOptions &o) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == L"--stats") {
      o.Stats = true;
    } else if (a == L"--url" && hasValue) {
      o.Url = argv[++i];
    } else if (a == L"--mime" && hasValue) {
      o.Mime = argv[++i];
    } else if (a == L"--dll" && hasValue) {
      o.Dll = argv[++i];
    } else if (a == L"--chunk" && hasValue) {
      if (!ParseNumber(argv[++i], o.Chunk, false))
        return false;
    } else if (a == L"--read" && hasValue) {
      if (!ParseNumber(argv[++i], o.Read, false))
        return false;
    } else if (a == L"--pending" && hasValue) {
      if (!ParseNumber(argv[++i], o.Pending, false))
        return false;
    } else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-') {
      return false;
    } else if (o.File.empty()) {
      o.File = a;
    } else {
      return false;
    }
  }
  return !o.File.empty();
}

std::wstring FileUrl(const std::wstring &file) {
  wchar_t full[MAX_PATH * 2];
  if (!GetFullPathNameW(file.c_str(), MAX_PATH * 2, full, nullptr))
    return L"file:" + file;
  wchar_t url[2084];
  DWORD n = 2084;
  if (FAILED(UrlCreateFromPathW(full, url, &n, 0)))
    return L"file:" + std::wstring(full);
  return url;
}

// The filters registered for the type, in key order.
std::vector<TStage> RegisteredStages(const std::wstring &mime) {
  std::vector<TStage> stages;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"PROTOCOLS\\PolyFilter\\" + mime).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return stages;
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD len = 256;
    if (RegEnumKeyExW(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    names.emplace_back(name, len);
  }
  std::sort(names.begin(), names.end(),
            [](const std::wstring &a, const std::wstring &b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });
  for (const std::wstring &n : names) {
    TStage s{};
    if (FAILED(CLSIDFromString(n.c_str(), &s.Clsid)))
      continue;
    wchar_t description[256] = {};
    LONG size = sizeof description;
    if (RegQueryValueW(key, n.c_str(), description, &size) == ERROR_SUCCESS && description[0])
      s.Name = Narrow(description) + " " + Narrow(n);
    else
      s.Name = Narrow(n);
    stages.push_back(s);
  }
  RegCloseKey(key);
  return stages;
}

void WriteOut(const std::string &bytes) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  size_t at = 0;
  while (at < bytes.size()) {
    DWORD written = 0;
    const DWORD n = static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1 << 20));
    if (!WriteFile(out, bytes.data() + at, n, &written, nullptr) || written == 0)
      break;
    at += written;
  }
}

int Fail(const char *step, const std::string &filter, HRESULT hr, const std::string &received) {
  std::fprintf(stderr, "zufilter: %s failed: %s: HRESULT 0x%08lX\n", step, filter.c_str(),
               static_cast<unsigned long>(hr));
  WriteOut(received);
  return 2;
}

int Run(const TOptions &o) {
  std::string page;
  if (!ReadWholeFile(o.File, page))
    return Fail("read file", Narrow(o.File), HRESULT_FROM_WIN32(GetLastError()), std::string());

  std::vector<TStage> stages;
  HMODULE dll = nullptr;
  if (!o.Dll.empty()) {
    dll = LoadLibraryW(o.Dll.c_str());
    if (!dll)
      return Fail("load", Narrow(o.Dll), HRESULT_FROM_WIN32(GetLastError()), std::string());
    using TGetClassObject = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
    auto getClassObject =
        reinterpret_cast<TGetClassObject>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "DllGetClassObject")));
    TStage s{CLSID_TervaneHTMLFilter, Narrow(o.Dll), nullptr};
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject ? getClassObject(s.Clsid, IID_PPV_ARGS(&factory)) : E_NOINTERFACE;
    if (SUCCEEDED(hr))
      hr = factory->CreateInstance(nullptr, IID_PPV_ARGS(&s.Filter));
    if (FAILED(hr))
      return Fail("create", s.Name, hr, std::string());
    stages.push_back(s);
  } else {
    stages = RegisteredStages(o.Mime);
    if (stages.empty()) {
      std::fprintf(stderr, "zufilter: create failed: no filter registered under HKCR\\PROTOCOLS\\PolyFilter\\%s\n",
                   Narrow(o.Mime).c_str());
      return 2;
    }
    for (TStage &s : stages) {
      const HRESULT hr = CoCreateInstance(s.Clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&s.Filter));
      if (FAILED(hr))
        return Fail("create", s.Name, hr, std::string());
    }
  }

  const DWORD started = GetTickCount();
  auto file = com::MakeObject<TFileProtocol>(page, o.Chunk, o.Pending);
  auto outer = com::MakeObject<TOuterSink>();
  auto bindInfo = com::MakeObject<TBindInfo>(o.Url.empty() ? FileUrl(o.File) : o.Url);
  const std::wstring url = o.Url.empty() ? FileUrl(o.File) : o.Url;

  // Stage i reads from stage i-1 (the file for the first) and reports to stage i+1 (the reader's sink for the last).
  std::vector<ComPtr<IInternetProtocolSink>> sinks(stages.size());
  for (size_t i = 0; i < stages.size(); ++i) {
    if (i + 1 < stages.size()) {
      if (FAILED(stages[i + 1].Filter.As(&sinks[i])))
        return Fail("start", stages[i + 1].Name, E_NOINTERFACE, std::string());
    } else {
      sinks[i] = outer;
    }
  }
  ComPtr<IInternetProtocolSink> firstSink;
  if (FAILED(stages[0].Filter.As(&firstSink)))
    return Fail("start", stages[0].Name, E_NOINTERFACE, std::string());
  int status = 0;
  std::string received;
  size_t readerReads = 0;
  for (size_t i = 0; i < stages.size() && status == 0; ++i) {
    PROTOCOLFILTERDATA data = {sizeof data, sinks[i].Get(), i == 0 ? file.Get() : stages[i - 1].Filter.Get(), nullptr,
                               0};
    const HRESULT hr = stages[i].Filter->Start(url.c_str(), sinks[i].Get(), bindInfo.Get(), PI_FILTER_MODE,
                                               reinterpret_cast<HANDLE_PTR>(&data));
    if (FAILED(hr))
      status = Fail("start", stages[i].Name, hr, received);
  }
  if (status == 0)
    file->Start(url.c_str(), firstSink.Get(), bindInfo.Get(), 0, 0);

  IInternetProtocol *reader = stages.back().Filter.Get();
  std::vector<char> buf(o.Read);
  int idle = 0;
  while (status == 0) {
    ULONG got = 0;
    const HRESULT hr = reader->Read(buf.data(), o.Read, &got);
    ++readerReads;
    received.append(buf.data(), std::min<ULONG>(got, o.Read));
    if (hr == S_FALSE)
      break;
    if (hr != S_OK && hr != E_PENDING) {
      status = Fail("read", stages.back().Name, hr, received);
      break;
    }
    idle = got ? 0 : idle + 1;
    if (idle > 10000) {
      status = Fail("read", stages.back().Name, E_UNEXPECTED, received);
      break;
    }
  }
  for (auto it = stages.rbegin(); it != stages.rend(); ++it)
    it->Filter->Terminate(0);
  file->Terminate(0);
  if (status != 0)
    return status;

  WriteOut(received);
  if (o.Stats)
    std::fprintf(stderr, "bytes in %zu\nbytes out %zu\ninner reads %lu\nreader reads %zu\nelapsed ms %lu\n",
                 page.size(), received.size(), static_cast<unsigned long>(file->Reads()), readerReads,
                 static_cast<unsigned long>(GetTickCount() - started));
  stages.clear();
  sinks.clear();
  firstSink.Reset();
  if (dll)
    FreeLibrary(dll);
  return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    return 2;
  const int status = Run(options);
  CoUninitialize();
  return status;
}
