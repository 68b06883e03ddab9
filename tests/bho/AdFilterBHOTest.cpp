// The ad-filter helper object on a fake browser: siting, the status text that
// starts a pass, which document a pass takes, and what it does to images.
#include <gtest/gtest.h>

#include <windows.h>
#include <exdispid.h>

#include <map>
#include <string>
#include <vector>

#include "filter/AdFilterBHOUnit.h"
#include "tests/fakes/FakeBrowser.h"
#include "tests/streamfilter/FakeService.h"

using Microsoft::WRL::ComPtr;

namespace {

const std::wstring PageUrl = L"http://site.test/page.html";

class AdFilterBHOTest : public testing::Test {
protected:
  void SetUp() override {
    Service().Reset();
    Service().Decide = [this](const TServiceCall &call) {
      const auto found = FVerdicts.find(call.Url);
      TServiceAnswer answer;
      if (call.Url == FFailingUrl)
        answer.Result = 5;
      else if (found != FVerdicts.end())
        answer.Verdict = found->second;
      return answer;
    };
  }
  void TearDown() override {
    if (FHelper) {
      EXPECT_EQ(FHelper->SetSite(nullptr), S_OK);
    }
    FHelper.Reset();
    FBrowser.Reset();
    EXPECT_EQ(fakes::LiveObjects(), 0) << "fakes outlived the test";
  }

  static TFakeService &Service() { return TFakeService::Instance(); }

  // A helper object sited on a browser that shows `html`.
  void Open(const std::wstring &html, const fakes::TPages &pages = {}) {
    FBrowser = fakes::MakeBrowser(PageUrl, html, pages);
    FHelper = com::MakeObject<TAdFilterBHO>(Service().Entries());
    ASSERT_EQ(FHelper->SetSite(static_cast<IWebBrowser2 *>(FBrowser.Get())), S_OK);
  }
  fakes::TFakeDocument *Top() const { return FBrowser->Document(); }
  fakes::TFakeDocument *Frame(size_t i) const { return Top()->Frames().at(i)->Document(); }
  static std::wstring Mark(fakes::TFakeDocument *document) { return document->Body()->Attribute(L"ter_complete"); }
  static void SetMark(fakes::TFakeDocument *document) { document->Body()->SetAttribute(L"ter_complete", L"yes"); }

  std::vector<std::string> Asked() const {
    std::vector<std::string> urls;
    for (const TServiceCall &c : Service().Calls)
      urls.push_back(c.Url);
    return urls;
  }

  std::map<std::string, int32_t> FVerdicts;
  std::string FFailingUrl;
  ComPtr<fakes::TFakeBrowser> FBrowser;
  ComPtr<TAdFilterBHO> FHelper;
};

} // namespace

TEST_F(AdFilterBHOTest, SitesOnWebBrowsersOnlyAndLetsGoOfThem) {
  Open(L"<body>x</body>");
  EXPECT_EQ(FBrowser->AdviseCount(), 1u);
  ComPtr<IWebBrowser2> site;
  EXPECT_EQ(FHelper->GetSite(IID_PPV_ARGS(&site)), S_OK);
  EXPECT_EQ(site.Get(), static_cast<IWebBrowser2 *>(FBrowser.Get()));
  site.Reset();
  // The sink answers what it does not follow as not implemented.
  std::vector<VARIANT> none;
  EXPECT_EQ(FBrowser->Fire(DISPID_TITLECHANGE, none), E_NOTIMPL);

  // A site that is not a browser: refused, and the old browser is let go.
  auto document = fakes::MakeDocument(PageUrl, L"<body></body>");
  EXPECT_NE(FHelper->SetSite(static_cast<IHTMLDocument2 *>(document.Get())), S_OK);
  EXPECT_EQ(FBrowser->AdviseCount(), 0u);
  EXPECT_EQ(FHelper->GetSite(IID_PPV_ARGS(&site)), E_FAIL);
  EXPECT_EQ(site.Get(), nullptr);
  EXPECT_EQ(FHelper->GetSite(IID_IUnknown, nullptr), E_POINTER);

  // Unsited while the helper object lives on: neither it nor its sink keeps
  // the browser.
  ASSERT_EQ(FHelper->SetSite(static_cast<IWebBrowser2 *>(FBrowser.Get())), S_OK);
  EXPECT_EQ(FHelper->SetSite(nullptr), S_OK);
  EXPECT_EQ(FBrowser->AdviseCount(), 0u);
  EXPECT_EQ(FBrowser->RefCount(), 1u) << "only the test holds the browser after SetSite(null)";

  // Sited again, then released while sited: the sink is unadvised and the
  // browser released with the helper object.
  ASSERT_EQ(FHelper->SetSite(static_cast<IWebBrowser2 *>(FBrowser.Get())), S_OK);
  ASSERT_EQ(FHelper->SetSite(static_cast<IWebBrowser2 *>(FBrowser.Get())), S_OK);
  EXPECT_EQ(FBrowser->AdviseCount(), 1u) << "siting twice advises once";
  FHelper.Reset();
  EXPECT_EQ(FBrowser->AdviseCount(), 0u);
  EXPECT_EQ(FBrowser->RefCount(), 1u) << "only the test holds the browser";
}

TEST_F(AdFilterBHOTest, OnlyAStatusTextStartingWithTerEndStartsAPass) {
  const struct {
    const wchar_t *Text;
    bool Starts;
  } cases[] = {
      {L"ter_end", true}, {L"ter_endX", true}, {L"ter_end loading", true}, {L"Ter_end", false}, {L"TER_END", false},
      {L"ter_en", false}, {L"", false},        {L" ter_end", false},
  };
  FVerdicts["http://site.test/a.gif"] = 2;
  for (const auto &c : cases) {
    Service().Calls.clear();
    Open(L"<body><img src=a.gif></body>");
    SetMark(Top());
    FBrowser->FireStatusTextChange(c.Text);
    EXPECT_EQ(Mark(Top()), c.Starts ? L"ok" : L"yes") << c.Text;
    EXPECT_EQ(Service().Calls.size(), c.Starts ? 1u : 0u) << c.Text;
    EXPECT_EQ(fakes::BodyHtml(Top()) == L"[AD]", c.Starts) << c.Text;
  }
}

TEST_F(AdFilterBHOTest, WithoutAMarkedDocumentNothingChanges) {
  FVerdicts["http://site.test/a.gif"] = 1;
  Open(L"<body><img src=a.gif></body>");
  const std::wstring before = fakes::DocumentHtml(Top());
  FBrowser->FireStatusTextChange(L"ter_end");
  EXPECT_TRUE(Service().Calls.empty());
  EXPECT_EQ(fakes::DocumentHtml(Top()), before);
}

TEST_F(AdFilterBHOTest, EachFlashTakesTheFirstUnhandledDocumentOfTheWalk) {
  const fakes::TPages pages = {{L"http://site.test/a.html", L"<body><img src=a1.gif><img src=a2.gif></body>"},
                               {L"http://site.test/b.html", L"<body><img src=b1.gif></body>"}};
  Open(L"<frameset><frame src=a.html><frame src=b.html></frameset>", pages);
  // Both frames finished before the first flash arrives.
  SetMark(Frame(0));
  SetMark(Frame(1));

  FBrowser->FireStatusTextChange(L"ter_end");
  EXPECT_EQ(Asked(), (std::vector<std::string>{"http://site.test/a2.gif", "http://site.test/a1.gif"}));
  EXPECT_EQ(Mark(Frame(0)), L"ok");
  EXPECT_EQ(Mark(Frame(1)), L"yes");

  Service().Calls.clear();
  FBrowser->FireStatusTextChange(L"ter_end");
  EXPECT_EQ(Asked(), (std::vector<std::string>{"http://site.test/b1.gif"}));
  EXPECT_EQ(Mark(Frame(1)), L"ok");

  Service().Calls.clear();
  FBrowser->FireStatusTextChange(L"ter_end");
  EXPECT_TRUE(Service().Calls.empty()) << "handled documents are not taken again";
}

TEST_F(AdFilterBHOTest, BlankFramesAreNeverTaken) {
  // The frame's page is unknown, so the frame shows about:blank.
  Open(L"<body><img src=top.gif><iframe src=nowhere.html></iframe></body>");
  fakes::TFakeDocument *blank = Frame(0);
  ASSERT_EQ(blank->Url(), L"about:blank");
  SetMark(blank);
  fakes::InsertHtml(static_cast<IHTMLElement *>(blank->Body()), L"<img src=http://site.test/in-blank.gif>");
  FBrowser->FireStatusTextChange(L"ter_end");
  EXPECT_TRUE(Service().Calls.empty());
  EXPECT_EQ(Mark(blank), L"yes");
}

TEST_F(AdFilterBHOTest, AsksAboutEveryImageFromLastToFirstAndAppliesTheVerdicts) {
  FVerdicts["http://site.test/marker.gif"] = 2;
  FVerdicts["http://site.test/box.gif"] = 3;
  FVerdicts["http://site.test/gone.gif"] = 7;
  Open(L"<body><img src=keep.gif width=10 height=20>|<img src=marker.gif>|<img src=box.gif width=468 height=60>|"
       L"<img alt=nosrc>|<img src=gone.gif></body>");
  // An image a script added after the stream was filtered.
  fakes::InsertHtml(static_cast<IHTMLElement *>(Top()->Body()), L"<img src=late.gif width=1 height=2>");
  FVerdicts["http://site.test/late.gif"] = 2;
  fakes::PlayCompletionScript(Top(), FBrowser.Get());

  const auto revise = [](const std::string &image, const std::string &size) {
    return "revise http://site.test/" + image + " image/* page=http://site.test/page.html link= " + size + " -1";
  };
  EXPECT_EQ(Service().CallTexts(),
            (std::vector<std::string>{revise("late.gif", "1x2"), revise("gone.gif", "0x0"), revise("box.gif", "468x60"),
                                      revise("marker.gif", "0x0"), revise("keep.gif", "10x20")}));
  const auto images = Top()->ElementsByTag(L"img");
  ASSERT_EQ(images.size(), 3u);
  EXPECT_EQ(images[0]->Attribute(L"src"), L"keep.gif");
  // The placeholder keeps its box and shows no picture.
  EXPECT_EQ(images[1]->Attribute(L"src"), L"");
  EXPECT_EQ(images[1]->Attribute(L"alt"), L"AD");
  EXPECT_EQ(images[1]->Attribute(L"width"), L"468");
  EXPECT_EQ(images[1]->Attribute(L"height"), L"60");
  EXPECT_EQ(images[2]->Attribute(L"alt"), L"nosrc");
  EXPECT_EQ(Top()->Body()->InnerText(), L"|[AD]|||[AD]")
      << "marker texts for marker.gif and late.gif, nothing left of gone.gif";
}

TEST_F(AdFilterBHOTest, AFailedServiceCallEndsThePassAndKeepsWhatWasChanged) {
  FVerdicts["http://site.test/c.gif"] = 2;
  FFailingUrl = "http://site.test/b.gif";
  Open(L"<body><img src=a.gif><img src=b.gif><img src=c.gif></body>");
  fakes::PlayCompletionScript(Top(), FBrowser.Get());
  EXPECT_EQ(Asked(), (std::vector<std::string>{"http://site.test/c.gif", "http://site.test/b.gif"}));
  EXPECT_EQ(Top()->ElementsByTag(L"img").size(), 2u);
  EXPECT_NE(fakes::BodyHtml(Top()).find(L"[AD]"), std::wstring::npos);
}

TEST_F(AdFilterBHOTest, WithoutTheServiceNothingChanges) {
  FVerdicts["http://site.test/a.gif"] = 1;
  const struct {
    const char *Name;
    TZuRPCEntryPoints Entries;
    int32_t BindingResult;
  } cases[] = {
      {"no library", TZuRPCEntryPoints(), 0},
      {"binding refused", Service().Entries(), 3},
  };
  for (const auto &c : cases) {
    Service().BindingResult = c.BindingResult;
    FBrowser = fakes::MakeBrowser(PageUrl, L"<body><img src=a.gif></body>");
    FHelper = com::MakeObject<TAdFilterBHO>(c.Entries);
    ASSERT_EQ(FHelper->SetSite(static_cast<IWebBrowser2 *>(FBrowser.Get())), S_OK);
    const std::wstring before = fakes::BodyHtml(Top());
    fakes::PlayCompletionScript(Top(), FBrowser.Get());
    EXPECT_TRUE(Service().Calls.empty()) << c.Name;
    EXPECT_EQ(fakes::BodyHtml(Top()), before) << c.Name;
    EXPECT_EQ(Mark(Top()), L"ok") << c.Name << ": the document counts as handled";
  }
}
