// The filter driven by the system's own download machinery: the class is
// registered for text/html with the internet session, and pages are bound
// through URL monikers as a browser's reader binds them.
//
// The session's MIME filters are applied where the protocol itself reports the
// page's type (BINDSTATUS_MIMETYPEAVAILABLE): http: reports the server's
// Content-Type, and so does the pluggable namespace handler below. For file:
// under Wine the type comes from sniffing the first bytes instead, and the
// page goes to the reader without the filter, so file: pages are not used.
#include <windows.h>
#include <urlmon.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "LocalHttpServer.h"
#include "UrlDownload.h"
#include "com/ClassFactory.h"
#include "com/ComObject.h"
#include "filter/AdsHTMLSignaller.h"
#include "filter/ZuComObj.h"
#include "filter/ZuGuids.h"

using Microsoft::WRL::ComPtr;

namespace {

const wchar_t kScheme[] = L"zupage";
// {5C1E2A47-93D0-4B8E-A6F1-2D7E0B94C318}
const CLSID CLSID_TestPageProtocol = {0x5c1e2a47, 0x93d0, 0x4b8e, {0xa6, 0xf1, 0x2d, 0x7e, 0x0b, 0x94, 0xc3, 0x18}};

const char kAdImage[] = R"(<img src="http://ads.example-adserver.test/banner/468x60.gif" width=468 height=60>)";
const char kAdPlaceholder[] = "<IMG WIDTH=468 HEIGHT=60 border=0 alt=AD usemap=>";

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  std::wstring p(path, n);
  return p.substr(0, p.find_last_of(L"\\/"));
}

std::string ReplaceAll(std::string text, const std::string &from, const std::string &to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string NewsPage() {
  return "<html><head><title>City news</title></head><body>\r\n"
         "<h1>Bridge opens</h1>\r\n"
         "<a href=\"http://news.example.test/city/bridge.html\">"
         "<img src=\"http://news.example.test/img/bridge.jpg\" width=200 height=120></a>\r\n" +
         std::string(kAdImage) + "\r\n<p>The new bridge carries four lanes.</p>\r\n</body></html>\r\n";
}

// Long enough for many reads on every side, with ads spread through it.
std::string LongPage() {
  std::string page = "<html><head><title>Archive</title></head><body>\r\n";
  for (int i = 0; i < 3000; ++i) {
    page += "<p>Item " + std::to_string(i) + ": <a href=\"item" + std::to_string(i) +
            ".html\">the story</a> with <b>bold</b> words.</p>\r\n";
    if (i % 700 == 350)
      page += std::string(kAdImage) + "\r\n";
  }
  return page + "</body></html>\r\n";
}

std::string Filtered(const std::string &page) {
  return ReplaceAll(page, kAdImage, kAdPlaceholder) + TAdsHTMLSignaller::ScriptText;
}

// A folder of its own under the temporary folder, removed with its files.
class TTempFolder {
public:
  TTempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    FPath = std::wstring(base) + L"zu-urlmon-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(FPath.c_str(), nullptr);
  }
  ~TTempFolder() {
    for (const std::wstring &name : FNames)
      DeleteFileW((FPath + L"\\" + name).c_str());
    RemoveDirectoryW(FPath.c_str());
  }
  const std::wstring &Path() const { return FPath; }
  bool Write(const std::wstring &name, const std::string &bytes) {
    FNames.push_back(name);
    return WriteFileBytes(FPath + L"\\" + name, bytes);
  }

private:
  std::wstring FPath;
  std::vector<std::wstring> FNames;
};

// Pages of "zupage:NAME" come from NAME in the folder, the way a download
// protocol delivers them: the type first, then data notifications, and reads
// of at most a few hundred bytes.
class TPageProtocol : public com::TComObject<TPageProtocol, IInternetProtocol> {
public:
  explicit TPageProtocol(std::wstring folder) : FFolder(std::move(folder)) {}
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {
        ZU_INTERFACE(TPageProtocol, IInternetProtocol),
        ZU_INTERFACE_VIA(TPageProtocol, IInternetProtocolRoot, IInternetProtocol), ZU_INTERFACE_END};
    return table;
  }

  STDMETHODIMP Start(LPCWSTR url, IInternetProtocolSink *sink, IInternetBindInfo *, DWORD, HANDLE_PTR) override {
    const std::wstring prefix = std::wstring(kScheme) + L":";
    if (!url || !sink || std::wstring(url).compare(0, prefix.size(), prefix) != 0)
      return E_INVALIDARG;
    if (!ReadFileBytes(FFolder + L"\\" + (url + prefix.size()), FBytes))
      return INET_E_RESOURCE_NOT_FOUND;
    FSink = sink;
    sink->ReportProgress(BINDSTATUS_MIMETYPEAVAILABLE, L"text/html");
    const ULONG size = static_cast<ULONG>(FBytes.size());
    sink->ReportData(BSCF_FIRSTDATANOTIFICATION, 0, size);
    sink->ReportData(BSCF_LASTDATANOTIFICATION | BSCF_DATAFULLYAVAILABLE, size, size);
    sink->ReportResult(S_OK, 0, nullptr);
    return S_OK;
  }
  STDMETHODIMP Continue(PROTOCOLDATA *) override { return S_OK; }
  STDMETHODIMP Abort(HRESULT, DWORD) override { return S_OK; }
  STDMETHODIMP Terminate(DWORD) override {
    FSink.Reset();
    return S_OK;
  }
  STDMETHODIMP Suspend() override { return E_NOTIMPL; }
  STDMETHODIMP Resume() override { return E_NOTIMPL; }
  STDMETHODIMP Read(void *buffer, ULONG size, ULONG *got) override {
    const size_t n = std::min<size_t>({size, FBytes.size() - FAt, 700});
    CopyMemory(buffer, FBytes.data() + FAt, n);
    FAt += n;
    if (got)
      *got = static_cast<ULONG>(n);
    return FAt == FBytes.size() ? S_FALSE : S_OK;
  }
  STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER *) override { return E_NOTIMPL; }
  STDMETHODIMP LockRequest(DWORD) override { return S_OK; }
  STDMETHODIMP UnlockRequest() override { return S_OK; }

private:
  std::wstring FFolder;
  std::string FBytes;
  size_t FAt = 0;
  ComPtr<IInternetProtocolSink> FSink;
};

class TPageProtocolFactory : public com::TComObject<TPageProtocolFactory, IClassFactory> {
public:
  explicit TPageProtocolFactory(std::wstring folder) : FFolder(std::move(folder)) {}
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TPageProtocolFactory, IClassFactory), ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP CreateInstance(IUnknown *outer, REFIID iid, void **out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (outer)
      return CLASS_E_NOAGGREGATION;
    return com::MakeObject<TPageProtocol>(FFolder)->QueryInterface(iid, out);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
  std::wstring FFolder;
};

class UrlmonFilterTest : public testing::Test {
protected:
  void SetUp() override {
    // Without the revision service the filter passes pages through untouched.
    ASSERT_NE(GetFileAttributesW((ExeFolder() + L"\\ZuRPCPrx.dll").c_str()), INVALID_FILE_ATTRIBUTES)
        << "ZuRPCPrx.dll must sit beside the test";
    ASSERT_EQ(CoInternetGetSession(0, &FSession, 0), S_OK);
  }
  void TearDown() override {
    if (FNamespace) {
      EXPECT_EQ(FSession->UnregisterNameSpace(FNamespace.Get(), kScheme), S_OK);
    }
    if (FFilter) {
      EXPECT_EQ(FSession->UnregisterMimeFilter(FFilter.Get(), L"text/html"), S_OK);
    }
    FNamespace.Reset();
    FFilter.Reset();
    FSession.Reset();
  }

  // The library's own class object, made in this process.
  void RegisterFilter() {
    ComPtr<IClassFactory> factory;
    for (TZuComObjectFactory *const *f = LibraryFactories(); *f; ++f)
      if (IsEqualCLSID(*(*f)->Entry().Clsid, CLSID_TervaneHTMLFilter)) {
        ASSERT_EQ(com::GetClassObjectFor((*f)->Entry(), IID_PPV_ARGS(&factory)), S_OK);
      }
    ASSERT_TRUE(factory);
    RegisterFilter(factory.Get());
  }
  void RegisterFilter(IClassFactory *factory) {
    ASSERT_EQ(FSession->RegisterMimeFilter(factory, CLSID_TervaneHTMLFilter, L"text/html"), S_OK);
    FFilter = factory;
  }
  void RegisterPageNamespace() {
    auto factory = com::MakeObject<TPageProtocolFactory>(FFolder.Path());
    ASSERT_EQ(FSession->RegisterNameSpace(factory.Get(), CLSID_TestPageProtocol, kScheme, 0, nullptr, 0), S_OK);
    FNamespace = factory;
  }

  // The binding stops once the reader has the last byte; the protocols below
  // may end a little later, and each test ends with every object released.
  static TDownload Download(const std::wstring &url) {
    const long before = com::ObjectCount();
    TDownload got = DownloadThroughMoniker(url);
    PumpMessagesUntil([&] { return com::ObjectCount() <= before; });
    return got;
  }

  TTempFolder FFolder;
  ComPtr<IInternetSession> FSession;
  ComPtr<IClassFactory> FFilter;
  ComPtr<IClassFactory> FNamespace;
};

TEST_F(UrlmonFilterTest, HttpPageComesOutRewrittenWithTheCompletionScript) {
  ASSERT_TRUE(FFolder.Write(L"news.html", NewsPage()));
  TLocalHttpServer server(FFolder.Path());
  ASSERT_NE(server.Port(), 0);
  RegisterFilter();

  const TDownload got = Download(server.Url(L"news.html"));
  ASSERT_TRUE(SUCCEEDED(got.BindResult)) << std::hex << got.BindResult;
  ASSERT_TRUE(got.Stopped);
  EXPECT_EQ(got.StopResult, S_OK);
  EXPECT_EQ(got.MimeType, L"text/html");
  EXPECT_EQ(got.Bytes, Filtered(NewsPage()));
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(UrlmonFilterTest, RelativeAdIsResolvedAgainstThePageUrlFromTheBinding) {
  // Only the page's URL, which the filter learns from the binding, makes this an ad server's path.
  const std::string page = "<html><body><p>Offers</p>\r\n<img src=\"banner/side.gif\" width=120 height=600>\r\n"
                           "<img src=\"img/logo.gif\" width=80 height=40>\r\n</body></html>\r\n";
  ASSERT_TRUE(FFolder.Write(L"offers.html", page));
  TLocalHttpServer server(FFolder.Path());
  ASSERT_NE(server.Port(), 0);
  RegisterFilter();

  const TDownload got = Download(server.Url(L"offers.html"));
  ASSERT_TRUE(got.Stopped);
  EXPECT_EQ(got.StopResult, S_OK);
  EXPECT_EQ(got.Bytes, ReplaceAll(page, "<img src=\"banner/side.gif\" width=120 height=600>",
                                  "<IMG WIDTH=120 HEIGHT=600 border=0 alt=AD usemap=>") +
                           TAdsHTMLSignaller::ScriptText);
}

TEST_F(UrlmonFilterTest, LongPageWithoutLengthIsRewrittenAcrossManyReads) {
  ASSERT_TRUE(FFolder.Write(L"archive.html", LongPage()));
  TLocalHttpServer server(FFolder.Path());
  ASSERT_NE(server.Port(), 0);
  server.SendContentLength(false);
  RegisterFilter();

  const TDownload got = Download(server.Url(L"archive.html"));
  ASSERT_TRUE(got.Stopped);
  EXPECT_EQ(got.StopResult, S_OK);
  const std::string want = Filtered(LongPage());
  EXPECT_EQ(got.Bytes.size(), want.size());
  EXPECT_TRUE(got.Bytes == want) << "the rewritten page differs";
}

TEST_F(UrlmonFilterTest, PageOfAPluggableNamespaceComesOutRewritten) {
  ASSERT_TRUE(FFolder.Write(L"news.html", NewsPage()));
  RegisterPageNamespace();
  RegisterFilter();

  const TDownload got = Download(std::wstring(kScheme) + L":news.html");
  ASSERT_TRUE(SUCCEEDED(got.BindResult)) << std::hex << got.BindResult;
  ASSERT_TRUE(got.Stopped);
  EXPECT_EQ(got.StopResult, S_OK);
  EXPECT_EQ(got.Bytes, Filtered(NewsPage()));
}

TEST_F(UrlmonFilterTest, BuiltLibraryServesTheFilterAndCanUnloadAfterwards) {
  const HMODULE library = LoadLibraryW((ExeFolder() + L"\\ZuPlugins.dll").c_str());
  ASSERT_TRUE(library);
  using TGetClassObject = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
  using TCanUnloadNow = HRESULT(STDAPICALLTYPE *)();
  const auto getClassObject =
      reinterpret_cast<TGetClassObject>(reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetClassObject")));
  const auto canUnloadNow =
      reinterpret_cast<TCanUnloadNow>(reinterpret_cast<void (*)()>(GetProcAddress(library, "DllCanUnloadNow")));
  ASSERT_TRUE(getClassObject && canUnloadNow);
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_TervaneHTMLFilter, IID_PPV_ARGS(&factory)), S_OK);
    RegisterFilter(factory.Get());
  }
  ASSERT_TRUE(FFolder.Write(L"news.html", NewsPage()));
  TLocalHttpServer server(FFolder.Path());
  ASSERT_NE(server.Port(), 0);

  const TDownload got = Download(server.Url(L"news.html"));
  ASSERT_TRUE(got.Stopped);
  EXPECT_EQ(got.StopResult, S_OK);
  EXPECT_EQ(got.Bytes, Filtered(NewsPage()));

  EXPECT_EQ(FSession->UnregisterMimeFilter(FFilter.Get(), L"text/html"), S_OK);
  FFilter.Reset();
  PumpMessagesUntil([&] { return canUnloadNow() == S_OK; });
  EXPECT_EQ(canUnloadNow(), S_OK) << "the binding left objects of the library alive";
  FreeLibrary(library);
}

} // namespace
