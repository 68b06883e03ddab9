// Runs pages through the MIME filter object with the base scanning filter
// (every tag parsed, every byte copied) and reports what went through. It
// stands in for the main job until the ad-rewriting filter is in the library.
//
//   scandemo OUTDIR FILE...
#include <windows.h>

#include <cstdio>
#include <string>

#include "filter/ZuHTMLFilter.h"
#include "tools/common/FileProtocol.h"

namespace {

class TCountingScan : public TZuHTMLFilterCore {
public:
  bool IsFiltering() override { return true; }
  bool PassTag(TTagParser &parser, TByteStream &output) override {
    ++Tags;
    if (parser.TagName == "IMG" || parser.TagName == "IFRAME" || parser.TagName == "OBJECT")
      ++Resources;
    return TZuHTMLFilterCore::PassTag(parser, output);
  }
  unsigned Tags = 0, Resources = 0;
};

std::string Narrow(const std::wstring &w) {
  std::string s;
  for (wchar_t c : w)
    s += c < 128 ? static_cast<char>(c) : '?';
  return s;
}

} // namespace

int wmain(int argc, wchar_t **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: scandemo OUTDIR FILE...\n");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int status = 0;
  for (int i = 2; i < argc; ++i) {
    std::wstring path = argv[i];
    std::string page;
    if (!ReadWholeFile(path, page)) {
      std::fprintf(stderr, "scandemo: cannot read %s\n", Narrow(path).c_str());
      status = 2;
      continue;
    }
    auto inner = com::MakeObject<TFileProtocol>(page, 8192, 0);
    auto core = std::make_unique<TCountingScan>();
    TCountingScan *counts = core.get();
    auto filter = com::MakeObject<TZuHTMLFilter>(std::move(core));
    PROTOCOLFILTERDATA data = {sizeof data, nullptr, inner.Get(), nullptr, 0};
    HRESULT hr = filter->Start(L"file:", nullptr, nullptr, PI_FILTER_MODE, reinterpret_cast<HANDLE_PTR>(&data));
    std::string out;
    char buf[4096];
    while (SUCCEEDED(hr)) {
      ULONG got = 0;
      hr = filter->Read(buf, sizeof buf, &got);
      out.append(buf, got);
      if (hr == S_FALSE)
        break;
    }
    filter->Terminate(0);
    const std::wstring name = path.substr(path.find_last_of(L"/\\") + 1);
    const std::wstring target = std::wstring(argv[1]) + L"\\" + name;
    HANDLE f = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (f != INVALID_HANDLE_VALUE) {
      WriteFile(f, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
      CloseHandle(f);
    }
    std::printf("%-16s in %6zu  out %6zu  tags %4u  images/frames/objects %3u  %s\n", Narrow(name).c_str(), page.size(),
                out.size(), counts->Tags, counts->Resources,
                FAILED(hr) ? "read failed" : (out == page ? "identical" : "CHANGED"));
    if (FAILED(hr) || out != page)
      status = 1;
  }
  CoUninitialize();
  return status;
}
