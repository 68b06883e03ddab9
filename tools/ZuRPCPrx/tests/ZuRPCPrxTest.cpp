// ZuRPCPrx.dll through its exports, as the filter uses it. Each test loads its
// own copy of the DLL from a scratch folder, with the ini and lists it needs
// beside it, so every test starts with a DLL that has loaded nothing yet.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScratchRegistry.h"

namespace {

using TGetBinding = int(__stdcall *)(int *);
using TReviseResource = int(__stdcall *)(int, const char *, const char *, const char *, const char *, int, int, int,
                                         int *);
using TNoteResourceWithHref = int(__stdcall *)(int, const char *, const char *, int *);

const wchar_t kErrorKey[] = L"Software\\Tervane\\ZuRPCPrx";

std::wstring Folder(const std::wstring &path) { return path.substr(0, path.find_last_of(L"\\/") + 1); }

std::wstring ExeFolder() {
  wchar_t path[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
  return Folder(std::wstring(path, n));
}

std::string Narrow(const std::wstring &w) {
  const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

void WriteText(const std::wstring &path, const std::string &text) {
  const HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
  CloseHandle(f);
}

void RemoveTree(const std::wstring &dir) {
  WIN32_FIND_DATAW found;
  const HANDLE h = FindFirstFileW((dir + L"*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..")
        continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(dir + name + L"\\");
      else
        DeleteFileW((dir + name).c_str());
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(dir.c_str());
}

// The registry text the DLL left for the user, or "<none>".
std::wstring LastError() {
  wchar_t text[2048];
  DWORD size = sizeof(text);
  if (RegGetValueW(HKEY_CURRENT_USER, kErrorKey, L"LastError", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return L"<none>";
  return text;
}

class ServiceDll : public testing::Test {
protected:
  void SetUp() override {
    static std::atomic<unsigned> serial{0};
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    FDir = std::wstring(temp) + L"ZuRPCPrxTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(FDir.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((ExeFolder() + L"ZuRPCPrx.dll").c_str(), (FDir + L"ZuRPCPrx.dll").c_str(), FALSE));
  }
  void TearDown() override {
    if (FModule)
      FreeLibrary(FModule);
    RemoveTree(FDir);
  }

  void Write(const std::wstring &name, const std::string &text) { WriteText(FDir + name, text); }

  void Load() {
    FModule = LoadLibraryW((FDir + L"ZuRPCPrx.dll").c_str());
    ASSERT_NE(FModule, nullptr);
    wchar_t loaded[MAX_PATH * 2];
    GetModuleFileNameW(FModule, loaded, MAX_PATH * 2);
    ASSERT_EQ(Folder(loaded), FDir) << "an earlier copy of the DLL is still loaded";
    GetBinding = reinterpret_cast<TGetBinding>(reinterpret_cast<void *>(GetProcAddress(FModule, "GetBinding")));
    Revise = reinterpret_cast<TReviseResource>(reinterpret_cast<void *>(GetProcAddress(FModule, "ReviseResource")));
    Note = reinterpret_cast<TNoteResourceWithHref>(
        reinterpret_cast<void *>(GetProcAddress(FModule, "NoteResourceWithHref")));
    ASSERT_TRUE(GetBinding && Revise && Note);
  }

  int Bind() {
    int binding = 0;
    EXPECT_EQ(GetBinding(&binding), 0) << Narrow(LastError());
    EXPECT_NE(binding, 0);
    return binding;
  }

  int Verdict(int binding, const char *url, const char *mime, int width = -1, int height = -1, const char *link = "",
              const char *page = "http://news.example.test/today.html") {
    int verdict = -7;
    EXPECT_EQ(Revise(binding, url, mime, page, link, width, height, -1, &verdict), 0) << url;
    return verdict;
  }

  int NoteVerdict(int binding, const char *image, const char *link) {
    int verdict = -7;
    EXPECT_EQ(Note(binding, image, link, &verdict), 0) << link;
    return verdict;
  }

  TScratchRegistry FRegistry;
  std::wstring FDir;
  HMODULE FModule = nullptr;
  TGetBinding GetBinding = nullptr;
  TReviseResource Revise = nullptr;
  TNoteResourceWithHref Note = nullptr;
};

constexpr const char *kFlash = "application/x-shockwave-flash";

TEST_F(ServiceDll, DefaultListWithoutIni) {
  Load();
  const int b = Bind();
  EXPECT_EQ(Verdict(b, "http://ads.example-adserver.test/banner/468x60.gif", "image/*", 468, 60), 3);
  EXPECT_EQ(Verdict(b, "http://banners.example-adserver.test/strip.png", "image/*"), 1);
  EXPECT_EQ(Verdict(b, "http://ads.example-adserver.test/frame/728x90.html", "text/html", 728, 90), 3);
  EXPECT_EQ(Verdict(b, "http://news.example.test/img/offers.gif", "image/*", 120, 60), 0);
  EXPECT_EQ(Verdict(b, "http://news.example.test/partners/local.html", "text/html", 300, 200), 0);
  EXPECT_EQ(Verdict(b, "http://news.example.test/img/offers.gif", "image/*", 120, 60,
                    "http://ads.example-adserver.test/click?id=77"),
            3);
  EXPECT_EQ(Verdict(b, "", kFlash, 300, 250, "", ""), 3);
  EXPECT_EQ(NoteVerdict(b, "http://news.example.test/spacer.gif", "http://ads.example-adserver.test/go?o=1"), 1);
  EXPECT_EQ(NoteVerdict(b, "http://news.example.test/spacer.gif", "http://news.example.test/city/bridge.html"), 0);
  EXPECT_EQ(LastError(), L"<none>");
}

TEST_F(ServiceDll, IniNamesTheLists) {
  ASSERT_TRUE(CreateDirectoryW((FDir + L"lists").c_str(), nullptr));
  Write(L"lists\\mine.txt", "! relative to the DLL\r\n||mine.test^\r\n@@||mine.test/ok/\r\n");
  Write(L"other.txt", "||other.test^$subdocument\n");
  Write(L"ZuRPCPrx.ini", "; two lists\r\n"
                         "list = lists\\mine.txt\r\n"
                         "list = " +
                             Narrow(FDir) +
                             "other.txt\r\n"
                             "flash = remove\r\n");
  Load();
  const int b = Bind();
  EXPECT_EQ(Verdict(b, "http://mine.test/a.gif", "image/*", 10, 10), 3);
  EXPECT_EQ(Verdict(b, "http://mine.test/ok/a.gif", "image/*", 10, 10), 0);
  EXPECT_EQ(Verdict(b, "http://other.test/f.html", "text/html"), 3);
  EXPECT_EQ(Verdict(b, "http://other.test/a.gif", "image/*"), 0);
  // Lists named in the ini replace the built-in one.
  EXPECT_EQ(Verdict(b, "http://ads.example-adserver.test/banner/468x60.gif", "image/*", 468, 60), 0);
  EXPECT_EQ(Verdict(b, "", kFlash, 300, 250, "", ""), 1);
}

TEST_F(ServiceDll, FlashSetting) {
  const struct {
    const char *Setting;
    int Verdict;
  } cases[] = {{"keep", 0}, {"marker", 2}, {"placeholder", 3}, {"remove", 1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Setting);
    if (FModule) {
      FreeLibrary(FModule);
      FModule = nullptr;
    }
    Write(L"ZuRPCPrx.ini", std::string("flash = ") + c.Setting + "\n");
    Load();
    const int b = Bind();
    EXPECT_EQ(Verdict(b, "", kFlash, 300, 250, "", ""), c.Verdict);
    // Only Flash follows the setting; the built-in list still applies.
    EXPECT_EQ(Verdict(b, "http://ads.example-adserver.test/banner/468x60.gif", "image/*", 468, 60), 3);
  }
}

TEST_F(ServiceDll, UnreadableListFailsAndSaysWhy) {
  Write(L"ZuRPCPrx.ini", "list = missing-list.txt\n");
  Load();
  int binding = 12345;
  EXPECT_NE(GetBinding(&binding), 0);
  EXPECT_EQ(binding, 0);
  const std::wstring why = LastError();
  EXPECT_NE(why.find(FDir + L"missing-list.txt"), std::wstring::npos) << Narrow(why);
  EXPECT_NE(why.find(L"error 2"), std::wstring::npos) << Narrow(why);
  int verdict = -7;
  EXPECT_NE(Revise(1, "http://ads.example-adserver.test/b.gif", "image/*", "", "", -1, -1, -1, &verdict), 0);

  // Once the list is there, the next binding loads it and clears the reason.
  Write(L"missing-list.txt", "||late.test^\n");
  const int b = Bind();
  EXPECT_EQ(Verdict(b, "http://late.test/a.gif", "image/*"), 1);
  EXPECT_EQ(LastError(), L"<none>");
}

TEST_F(ServiceDll, ListThatIsAFolderFails) {
  ASSERT_TRUE(CreateDirectoryW((FDir + L"folder.txt").c_str(), nullptr));
  Write(L"ZuRPCPrx.ini", "list = folder.txt\n");
  Load();
  int binding = 1;
  EXPECT_NE(GetBinding(&binding), 0);
  EXPECT_EQ(binding, 0);
  EXPECT_NE(LastError().find(L"folder.txt"), std::wstring::npos) << Narrow(LastError());
}

TEST_F(ServiceDll, BadIniLineFailsAndSaysWhere) {
  Write(L"ZuRPCPrx.ini", "# fine\nflash = sometimes\n");
  Load();
  int binding = 1;
  EXPECT_NE(GetBinding(&binding), 0);
  EXPECT_EQ(binding, 0);
  const std::wstring why = LastError();
  EXPECT_NE(why.find(L"ZuRPCPrx.ini"), std::wstring::npos) << Narrow(why);
  EXPECT_NE(why.find(L"line 2"), std::wstring::npos) << Narrow(why);
}

TEST_F(ServiceDll, SuccessClearsAnOldReason) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kErrorKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const wchar_t old[] = L"cannot read list C:\\old.txt";
  RegSetValueExW(key, L"LastError", 0, REG_SZ, reinterpret_cast<const BYTE *>(old), sizeof(old));
  RegCloseKey(key);
  Load();
  Bind();
  EXPECT_EQ(LastError(), L"<none>");
}

TEST_F(ServiceDll, NullArgumentsFail) {
  Load();
  EXPECT_NE(GetBinding(nullptr), 0);
  const int b = Bind();
  int verdict = -7;
  const char *u = "http://ads.example-adserver.test/b.gif";
  EXPECT_NE(Revise(b, nullptr, "image/*", "", "", -1, -1, -1, &verdict), 0);
  EXPECT_NE(Revise(b, u, nullptr, "", "", -1, -1, -1, &verdict), 0);
  EXPECT_NE(Revise(b, u, "image/*", nullptr, "", -1, -1, -1, &verdict), 0);
  EXPECT_NE(Revise(b, u, "image/*", "", nullptr, -1, -1, -1, &verdict), 0);
  EXPECT_NE(Revise(b, u, "image/*", "", "", -1, -1, -1, nullptr), 0);
  EXPECT_NE(Note(b, nullptr, u, &verdict), 0);
  EXPECT_NE(Note(b, u, nullptr, &verdict), 0);
  EXPECT_NE(Note(b, u, u, nullptr), 0);
  EXPECT_EQ(verdict, 0) << "a failed call leaves the resource alone";
}

TEST_F(ServiceDll, UnknownBindingsFail) {
  Load();
  int verdict = -7;
  const char *u = "http://ads.example-adserver.test/b.gif";
  EXPECT_NE(Revise(1, u, "image/*", "", "", -1, -1, -1, &verdict), 0) << "nothing handed out yet";
  EXPECT_NE(Note(1, u, u, &verdict), 0);
  const int b = Bind();
  for (int wrong : {0, -1, b + 1, b + 1000}) {
    EXPECT_NE(Revise(wrong, u, "image/*", "", "", -1, -1, -1, &verdict), 0) << wrong;
    EXPECT_NE(Note(wrong, u, u, &verdict), 0) << wrong;
  }
  EXPECT_EQ(Revise(b, u, "image/*", "", "", -1, -1, -1, &verdict), 0);
}

TEST_F(ServiceDll, FirstBindingsFromManyThreads) {
  Write(L"big.txt", [] {
    std::string text;
    for (int i = 0; i < 20000; ++i)
      text += "||host" + std::to_string(i) + ".test^\n";
    return text;
  }());
  Write(L"ZuRPCPrx.ini", "list = big.txt\n");
  Load();
  std::vector<int> bindings(8, 0), results(8, -1), verdicts(8, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      results[t] = GetBinding(&bindings[t]);
      Revise(bindings[t], "http://host19999.test/a.gif", "image/*", "", "", -1, -1, -1, &verdicts[t]);
    });
  for (auto &t : threads)
    t.join();
  for (int t = 0; t < 8; ++t) {
    EXPECT_EQ(results[t], 0);
    EXPECT_EQ(verdicts[t], 1);
  }
  EXPECT_EQ(std::set<int>(bindings.begin(), bindings.end()).size(), 8u) << "each binding is its own";
  EXPECT_EQ(std::count(bindings.begin(), bindings.end(), 0), 0);
}

} // namespace
