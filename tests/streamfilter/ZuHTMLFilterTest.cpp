#include <gtest/gtest.h>

#include <random>

#include "FakeProtocol.h"
#include "filter/ZuHTMLFilter.h"

using Microsoft::WRL::ComPtr;

namespace {

class TScanning : public TZuHTMLFilterCore {
public:
  explicit TScanning(IInternetBindInfo **seen = nullptr) : FSeen(seen) {}
  bool IsFiltering() override { return true; }
  void BeginDocument(IInternetBindInfo *bindInfo) override {
    if (FSeen)
      *FSeen = bindInfo;
  }
  IInternetBindInfo **FSeen;
};

class ZuHTMLFilterTest : public testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(TFakeProtocol::Live, 0);
    EXPECT_EQ(TFakeSink::Live, 0);
    EXPECT_EQ(TFakeBindInfo::Live, 0);
  }

  static ComPtr<IInternetProtocol> NewFilter(std::unique_ptr<TZuHTMLFilterCore> core = nullptr) {
    ComPtr<IInternetProtocol> p;
    EXPECT_EQ(com::MakeObject<TZuHTMLFilter>(std::move(core)).As(&p), S_OK);
    return p;
  }

  static HRESULT StartWith(IInternetProtocol *filter, IInternetProtocol *inner, IInternetProtocolSink *sink,
                           IInternetBindInfo *bindInfo = nullptr, DWORD flags = PI_FILTER_MODE) {
    PROTOCOLFILTERDATA data = {sizeof data, nullptr, inner, nullptr, 0};
    return filter->Start(L"http://example.test/", sink, bindInfo, flags, reinterpret_cast<HANDLE_PTR>(&data));
  }

  static std::string PullAll(IInternetProtocol *filter, ULONG readSize, std::vector<HRESULT> *results = nullptr) {
    std::string out;
    std::vector<char> buf(readSize);
    for (int i = 0; i < 1000000; ++i) {
      ULONG got = 0;
      const HRESULT hr = filter->Read(buf.data(), readSize, &got);
      out.append(buf.data(), got);
      if (results)
        results->push_back(hr);
      if (hr != S_OK && hr != E_PENDING)
        break;
    }
    return out;
  }
};

} // namespace

TEST_F(ZuHTMLFilterTest, AnswersItsInterfacesAndNoOthers) {
  auto filter = NewFilter();
  ComPtr<IInternetProtocolRoot> root;
  ComPtr<IInternetProtocolSink> sink;
  ComPtr<IUnknown> unk1, unk2;
  EXPECT_EQ(filter.As(&root), S_OK);
  EXPECT_EQ(filter.As(&sink), S_OK);
  EXPECT_EQ(root.As(&unk1), S_OK);
  EXPECT_EQ(sink.As(&unk2), S_OK);
  EXPECT_EQ(unk1.Get(), unk2.Get()) << "one identity";
  ComPtr<IInternetBindInfo> none;
  EXPECT_EQ(filter.As(&none), E_NOINTERFACE);
}

TEST_F(ZuHTMLFilterTest, StartNeedsFilterModeAndAnInnerProtocol) {
  auto inner = com::MakeObject<TFakeProtocol>(TScript::Chunked("abc", 10));
  auto sink = com::MakeObject<TFakeSink>();
  auto filter = NewFilter(std::make_unique<TScanning>());
  EXPECT_EQ(StartWith(filter.Get(), inner.Get(), sink.Get(), nullptr, 0), E_INVALIDARG);
  EXPECT_EQ(StartWith(filter.Get(), nullptr, sink.Get()), E_INVALIDARG);
  EXPECT_EQ(filter->Start(L"x", sink.Get(), nullptr, PI_FILTER_MODE, 0), E_INVALIDARG);
  // Nothing was kept: the filter has no inner protocol and no sink.
  char buf[8];
  ULONG got = 1;
  EXPECT_EQ(filter->Read(buf, sizeof buf, &got), E_FAIL);
  EXPECT_EQ(got, 0u);
  ComPtr<IInternetProtocolSink> asSink;
  ASSERT_EQ(filter.As(&asSink), S_OK);
  EXPECT_EQ(asSink->ReportData(1, 2, 3), E_FAIL);
  EXPECT_EQ(inner->RefCount(), 1u);
  EXPECT_EQ(sink->RefCount(), 1u);
  EXPECT_TRUE(inner->Calls.empty()) << "the filter never starts the inner protocol";
}

TEST_F(ZuHTMLFilterTest, ForwardingWithoutInnerProtocolOrSinkFails) {
  auto filter = NewFilter();
  ComPtr<IInternetProtocolSink> sink;
  ASSERT_EQ(filter.As(&sink), S_OK);
  PROTOCOLDATA data = {};
  EXPECT_EQ(filter->Continue(&data), E_FAIL);
  EXPECT_EQ(filter->Abort(E_ABORT, 0), E_FAIL);
  EXPECT_EQ(filter->Terminate(0), E_FAIL);
  EXPECT_EQ(filter->Suspend(), E_FAIL);
  EXPECT_EQ(filter->Resume(), E_FAIL);
  EXPECT_EQ(sink->Switch(&data), E_FAIL);
  EXPECT_EQ(sink->ReportProgress(1, L"x"), E_FAIL);
  EXPECT_EQ(sink->ReportData(1, 2, 3), E_FAIL);
  EXPECT_EQ(sink->ReportResult(S_OK, 0, nullptr), E_FAIL);
  LARGE_INTEGER move = {};
  EXPECT_EQ(filter->Seek(move, 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(filter->LockRequest(0), S_OK);
  EXPECT_EQ(filter->UnlockRequest(), S_OK);
}

TEST_F(ZuHTMLFilterTest, ForwardsToInnerProtocolAndSinkAndReleasesBothAtTerminate) {
  auto inner = com::MakeObject<TFakeProtocol>();
  auto sink = com::MakeObject<TFakeSink>();
  auto bindInfo = com::MakeObject<TFakeBindInfo>(L"http://example.test/");
  IInternetBindInfo *seen = nullptr;
  auto filter = NewFilter(std::make_unique<TScanning>(&seen));
  ASSERT_EQ(StartWith(filter.Get(), inner.Get(), sink.Get(), bindInfo.Get()), S_OK);
  EXPECT_EQ(seen, bindInfo.Get()) << "BeginDocument sees the bind info";
  ComPtr<IInternetProtocolSink> asSink;
  ASSERT_EQ(filter.As(&asSink), S_OK);

  inner->Answer = 0x12345;
  sink->Answer = 0x777;
  PROTOCOLDATA data = {};
  EXPECT_EQ(filter->Continue(&data), 0x12345);
  EXPECT_EQ(filter->Abort(E_ABORT, 5), 0x12345);
  EXPECT_EQ(filter->Suspend(), 0x12345);
  EXPECT_EQ(filter->Resume(), 0x12345);
  LARGE_INTEGER move = {};
  EXPECT_EQ(filter->Seek(move, 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(filter->LockRequest(0), S_OK);
  EXPECT_EQ(asSink->Switch(&data), 0x777);
  EXPECT_EQ(asSink->ReportProgress(13, L"text/html"), 0x777);
  EXPECT_EQ(asSink->ReportData(4, 10, 20), 0x777);
  EXPECT_EQ(asSink->ReportResult(E_ABORT, 9, nullptr), 0x777);
  EXPECT_EQ(inner->Calls,
            (std::vector<std::string>{"Continue", "Abort " + std::to_string(static_cast<unsigned long>(E_ABORT)) + " 5",
                                      "Suspend", "Resume"}));
  EXPECT_EQ(sink->Calls,
            (std::vector<std::string>{"Switch", "ReportProgress 13 text/html", "ReportData 4 10 20",
                                      "ReportResult " + std::to_string(static_cast<unsigned long>(E_ABORT)) + " 9"}));
  EXPECT_EQ(inner->RefCount(), 2u);
  EXPECT_EQ(sink->RefCount(), 2u);

  EXPECT_EQ(filter->Terminate(3), 0x12345) << "the forwarded result comes back";
  EXPECT_EQ(inner->Calls.back(), "Terminate 3");
  EXPECT_EQ(inner->RefCount(), 1u);
  EXPECT_EQ(sink->RefCount(), 1u);
  EXPECT_EQ(bindInfo->RefCount(), 1u) << "the bind info is not kept";
  EXPECT_EQ(filter->Resume(), E_FAIL);
}

TEST_F(ZuHTMLFilterTest, PassThroughIsIdenticalByteForByteAndResultForResult) {
  TScript script;
  script.Add("<html>", S_OK);
  script.Add("<b", E_PENDING);
  script.Add(">x", INET_E_DATA_NOT_AVAILABLE);
  script.Add("tail", S_FALSE);
  auto inner = com::MakeObject<TFakeProtocol>(script);
  auto filter = NewFilter();
  ASSERT_EQ(StartWith(filter.Get(), inner.Get(), nullptr), S_OK);
  std::vector<HRESULT> results;
  std::string out;
  for (int i = 0; i < 4; ++i) {
    char buf[64];
    ULONG got = 0;
    results.push_back(filter->Read(buf, sizeof buf, &got));
    out.append(buf, got);
  }
  EXPECT_EQ(out, "<html><b>xtail");
  EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, E_PENDING, INET_E_DATA_NOT_AVAILABLE, S_FALSE}));
}

TEST_F(ZuHTMLFilterTest, ScanningFilterReproducesPagesThroughCom) {
  std::mt19937 rng(7);
  const std::string page = "\r\n<html><!-- a > b --><body a=1 b='2'>x<y <img src=\"q.gif\">text</body></html><unclosed";
  for (int round = 0; round < 40; ++round) {
    const size_t chunk = 1 + rng() % 40;
    const ULONG readSize = 1 + rng() % 50;
    TScript script;
    for (size_t at = 0; at < page.size(); at += chunk) {
      const bool last = at + chunk >= page.size();
      script.Add(page.substr(at, chunk), last ? S_FALSE : (rng() % 4 == 0 ? E_PENDING : S_OK));
    }
    auto inner = com::MakeObject<TFakeProtocol>(script);
    auto filter = NewFilter(std::make_unique<TScanning>());
    ASSERT_EQ(StartWith(filter.Get(), inner.Get(), nullptr), S_OK);
    std::vector<HRESULT> results;
    EXPECT_EQ(PullAll(filter.Get(), readSize, &results), page) << chunk << " " << readSize;
    EXPECT_EQ(results.back(), S_FALSE);
    filter->Terminate(0);
  }
}
