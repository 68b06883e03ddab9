// A page and its frame from the download to the finished document: the
// stream filter rewrites the bytes and appends its completion script, the
// page's own scripts add images, the completion scripts run, and the helper
// object judges what the stream filter could not see.
#include <gtest/gtest.h>

#include <windows.h>
#include <urlmon.h>

#include <map>
#include <string>
#include <vector>

#include "filter/AdFilterBHOUnit.h"
#include "filter/MimeFilter.h"
#include "filter/ZuHTMLFilter.h"
#include "tests/fakes/FakeBrowser.h"
#include "tests/streamfilter/FakeProtocol.h"
#include "tests/streamfilter/FakeService.h"

using Microsoft::WRL::ComPtr;

namespace {

const std::wstring TopUrl = L"http://site.test/index.html";
const std::wstring FrameUrl = L"http://site.test/frame.html";

// The page's bytes as the browser's reader gets them from the filter.
std::string Download(const std::wstring &url, const std::string &page) {
  auto inner = com::MakeObject<TFakeProtocol>(TScript::Chunked(page, 100));
  auto sink = com::MakeObject<TFakeSink>();
  auto bindInfo = com::MakeObject<TFakeBindInfo>(url);
  auto core = std::make_unique<TTervaneHTMLFilter>(std::make_unique<TZuRPCClient>(TFakeService::Instance().Entries()));
  ComPtr<IInternetProtocol> filter;
  EXPECT_EQ(com::MakeObject<TZuHTMLFilter>(std::move(core)).As(&filter), S_OK);
  PROTOCOLFILTERDATA data = {sizeof data, nullptr, inner.Get(), nullptr, 0};
  EXPECT_EQ(filter->Start(url.c_str(), sink.Get(), bindInfo.Get(), PI_FILTER_MODE, reinterpret_cast<HANDLE_PTR>(&data)),
            S_OK);
  std::string out;
  char buf[256];
  for (HRESULT hr = S_OK; hr == S_OK || hr == E_PENDING;) {
    ULONG got = 0;
    hr = filter->Read(buf, sizeof buf, &got);
    out.append(buf, got);
  }
  filter->Terminate(0);
  return out;
}

std::wstring Wide(const std::string &ascii) { return std::wstring(ascii.begin(), ascii.end()); }

size_t Count(const std::wstring &text, const std::wstring &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + what.size()))
    ++n;
  return n;
}

} // namespace

TEST(EndToEnd, FilteredPageWithAFrameAndScriptedImages) {
  TFakeService &service = TFakeService::Instance();
  service.Reset();
  const std::map<std::string, int32_t> verdicts = {
      {"http://site.test/banner.gif", 3},  {"http://site.test/skyscraper.gif", 2},
      {"http://site.test/tracker.gif", 1}, {"http://site.test/popunder.gif", 3},
      {"http://site.test/sponsor.gif", 2}, {"http://site.test/frame-late.gif", 1},
  };
  service.Decide = [&](const TServiceCall &call) {
    const auto v = verdicts.find(call.Url);
    return TServiceAnswer{0, v == verdicts.end() ? 0 : v->second};
  };

  const std::string top = Download(TopUrl, "<html><body>"
                                           "<img src=\"logo.gif\" width=100 height=30>\n"
                                           "<img src=\"banner.gif\" width=468 height=60>\n"
                                           "<img src=\"skyscraper.gif\">\n"
                                           "<img src=\"tracker.gif\">\n"
                                           "<iframe src=\"frame.html\"></iframe>\n"
                                           "</body></html>");
  const std::string frame = Download(FrameUrl, "<html><body><img src=\"photo.gif\"></body></html>");
  for (const std::string *page : {&top, &frame})
    ASSERT_NE(page->find(TAdsHTMLSignaller::ScriptText), std::string::npos) << "the completion script is appended";
  EXPECT_EQ(top.find("tracker.gif"), std::string::npos);
  EXPECT_EQ(top.find("skyscraper.gif"), std::string::npos);

  service.Calls.clear();
  {
    auto browser = fakes::MakeBrowser(TopUrl, Wide(top), {{FrameUrl, Wide(frame)}});
    auto helper = com::MakeObject<TAdFilterBHO>(service.Entries());
    ASSERT_EQ(helper->SetSite(static_cast<IWebBrowser2 *>(browser.Get())), S_OK);
    fakes::TFakeDocument *topDoc = browser->Document();
    ASSERT_EQ(topDoc->Frames().size(), 1u);
    fakes::TFakeDocument *frameDoc = topDoc->Frames()[0]->Document();
    ASSERT_EQ(frameDoc->Url(), FrameUrl);

    // The pages' own scripts add images while they are built.
    fakes::InsertHtml(static_cast<IHTMLElement *>(topDoc->Body()),
                      L"<img src=\"popunder.gif\" width=120 height=600><img src=\"sponsor.gif\">");
    fakes::InsertHtml(static_cast<IHTMLElement *>(frameDoc->Body()), L"<img src=\"frame-late.gif\">");

    // The frame finishes first, then the top page; each flash is one pass.
    fakes::PlayCompletionScript(frameDoc, browser.Get());
    EXPECT_EQ(service.CallTexts(),
              (std::vector<std::string>{
                  "revise http://site.test/frame-late.gif image/* page=http://site.test/frame.html link= 0x0 -1",
                  "revise http://site.test/photo.gif image/* page=http://site.test/frame.html link= 0x0 -1"}));
    service.Calls.clear();
    fakes::PlayCompletionScript(topDoc, browser.Get());
    EXPECT_EQ(service.CallTexts(),
              (std::vector<std::string>{
                  "revise http://site.test/sponsor.gif image/* page=http://site.test/index.html link= 0x0 -1",
                  "revise http://site.test/popunder.gif image/* page=http://site.test/index.html link= 120x600 -1",
                  "revise http://site.test/logo.gif image/* page=http://site.test/index.html link= 100x30 -1"}))
        << "the stream's placeholder has no picture to ask about";
    service.Calls.clear();
    browser->FireStatusTextChange(L"ter_end");
    EXPECT_TRUE(service.Calls.empty()) << "each document is handled once";

    EXPECT_EQ(topDoc->Body()->Attribute(L"ter_complete"), L"ok");
    EXPECT_EQ(frameDoc->Body()->Attribute(L"ter_complete"), L"ok");

    const auto images = topDoc->ElementsByTag(L"img");
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0]->Attribute(L"src"), L"logo.gif") << "kept";
    // The stream's placeholder and the scripted image judged afterwards.
    for (fakes::TFakeElement *box : {images[1], images[2]}) {
      EXPECT_EQ(box->Attribute(L"src"), L"");
      EXPECT_EQ(box->Attribute(L"alt"), L"AD");
    }
    EXPECT_EQ(images[1]->Attribute(L"width"), L"468");
    EXPECT_EQ(images[1]->Attribute(L"height"), L"60");
    EXPECT_EQ(images[2]->Attribute(L"width"), L"120");
    EXPECT_EQ(images[2]->Attribute(L"height"), L"600");
    const std::wstring text = topDoc->Body()->InnerText();
    EXPECT_EQ(Count(text, L"[AD]"), 2u) << "skyscraper by the stream, sponsor afterwards: " << text;
    EXPECT_EQ(fakes::DocumentHtml(topDoc).find(L"tracker.gif"), std::wstring::npos);

    const auto frameImages = frameDoc->ElementsByTag(L"img");
    ASSERT_EQ(frameImages.size(), 1u);
    EXPECT_EQ(frameImages[0]->Attribute(L"src"), L"photo.gif");

    EXPECT_EQ(helper->SetSite(nullptr), S_OK);
    EXPECT_EQ(browser->AdviseCount(), 0u);
  }
  EXPECT_EQ(fakes::LiveObjects(), 0);
  EXPECT_EQ(TFakeProtocol::Live + TFakeSink::Live + TFakeBindInfo::Live, 0);
}
