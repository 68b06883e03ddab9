#include <gtest/gtest.h>

#include <map>

#include "FakeService.h"
#include "FilterRun.h"
#include "filter/MimeFilter.h"

namespace {

const std::string kScript = TAdsHTMLSignaller::ScriptText;
const std::string kPage = "http://example.test/dir/page.html";

class TTestedAdFilter : public TTervaneHTMLFilter {
public:
  TTestedAdFilter() : TTervaneHTMLFilter(std::make_unique<TZuRPCClient>(TFakeService::Instance().Entries())) {}
  void BeginDocument(IInternetBindInfo *bindInfo) override {
    TTervaneHTMLFilter::BeginDocument(bindInfo);
    SetPageUrl(kPage);
  }
};

class AdFilterTest : public testing::Test {
protected:
  void SetUp() override { TFakeService::Instance().Reset(); }
  TFakeService &Service() { return TFakeService::Instance(); }

  // Verdicts by resource URL; everything else is kept.
  void Verdicts(std::map<std::string, int32_t> byUrl) {
    Service().Decide = [byUrl](const TServiceCall &c) {
      const auto it = byUrl.find(c.Kind == "note" ? c.Link : c.Url + (c.Link.empty() ? "" : " " + c.Link));
      if (it != byUrl.end())
        return TServiceAnswer{0, it->second};
      const auto plain = byUrl.find(c.Url);
      return TServiceAnswer{0, plain == byUrl.end() ? 0 : plain->second};
    };
  }

  std::string Filter(const std::string &body, size_t chunk = 8192) {
    TTestedAdFilter filter;
    filter.BeginDocument(nullptr);
    const std::string out = RunThrough(filter, "<body>" + body, chunk, 5);
    EXPECT_EQ(out.substr(0, 6), "<body>");
    EXPECT_GE(out.size(), 6 + kScript.size());
    EXPECT_EQ(out.substr(out.size() - kScript.size()), kScript);
    return out.substr(6, out.size() - 6 - kScript.size());
  }
};

TEST_F(AdFilterTest, ImageVerdictsGiveTheirReplacements) {
  const std::string img = "<img src=\"/b.gif\" width=468 height=60>";
  const std::pair<int32_t, std::string> cases[] = {
      {0, img}, {1, ""}, {2, "[AD]"}, {3, "<IMG WIDTH=468 HEIGHT=60 border=0 alt=AD usemap=>"}, {7, ""}};
  for (const auto &[verdict, expected] : cases) {
    Service().Reset();
    Verdicts({{"http://example.test/b.gif", verdict}});
    EXPECT_EQ(Filter("a" + img + "b"), "a" + expected + "b") << verdict;
    EXPECT_EQ(Service().CallTexts(),
              std::vector<std::string>{"revise http://example.test/b.gif image/* page=" + kPage + " link= 468x60 -1"});
  }
}

TEST_F(AdFilterTest, SizesAreIntegersOrMinusOne) {
  Filter("<img src=a width=\"100%\" height=' 20'><img src=b width=$1F height=-3><img src=c width=10px height=>"
         "<img src=d width=\"+7\" height=\"7 \">");
  EXPECT_EQ(Service().Calls.size(), 4u);
  const std::pair<int, int> sizes[] = {{-1, 20}, {31, -3}, {-1, -1}, {7, -1}};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(Service().Calls[i].Width, sizes[i].first) << i;
    EXPECT_EQ(Service().Calls[i].Height, sizes[i].second) << i;
  }
  EXPECT_EQ(AttrToInt("2147483647"), 2147483647);
  EXPECT_EQ(AttrToInt("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(AttrToInt("2147483648"), -1);
  EXPECT_EQ(AttrToInt("$"), -1);
  EXPECT_EQ(AttrToInt("-"), -1);
}

TEST_F(AdFilterTest, ImagesInsideLinksAreAskedWithTheAbsoluteLink) {
  Filter("<a href=\"go.html\"><img src=i1.gif></a><img src=i2.gif><a><img src=i3.gif></A>");
  EXPECT_EQ(Service().CallTexts(),
            (std::vector<std::string>{"revise http://example.test/dir/i1.gif image/* page=" + kPage +
                                          " link=http://example.test/dir/go.html -1x-1 -1",
                                      "revise http://example.test/dir/i2.gif image/* page=" + kPage + " link= -1x-1 -1",
                                      "revise http://example.test/dir/i3.gif image/* page=" + kPage + " link=" + kPage +
                                          " -1x-1 -1"}));
}

TEST_F(AdFilterTest, MapBeforeImageAsksPerLinkUntilAVerdict) {
  const std::string map = "<map name=\"m\"><area href=\"x\"><area href=\"y\"></map>";
  Verdicts({{"http://example.test/dir/i.gif http://example.test/dir/x", 2}});
  EXPECT_EQ(Filter(map + "<img src=\"i.gif\" usemap=\"#m\">"), map + "[AD]");
  EXPECT_EQ(Service().Calls.size(), 1u) << "stops at the first non-zero verdict";

  Service().Reset();
  EXPECT_EQ(Filter(map + "<img src=\"i.gif\" usemap=\"#m\">"), map + "<img src=\"i.gif\" usemap=\"#m\">");
  ASSERT_EQ(Service().Calls.size(), 2u);
  EXPECT_EQ(Service().Calls[0].Link, "http://example.test/dir/x");
  EXPECT_EQ(Service().Calls[1].Link, "http://example.test/dir/y");

  Service().Reset();
  Filter("<map name=\"e\"></map><img src=i.gif usemap=#e><img src=j.gif usemap=#M>");
  ASSERT_EQ(Service().Calls.size(), 1u) << "a map without links keeps its image unasked; names are case-sensitive";
  EXPECT_EQ(Service().Calls[0].Url, "http://example.test/dir/j.gif");
  EXPECT_EQ(Service().Calls[0].Link, "");
}

TEST_F(AdFilterTest, ImageBeforeMapIsToldItsLinksWhenTheMapCloses) {
  Verdicts({{"http://example.test/dir/x", 1}});
  Filter("<img src=\"i.gif\" usemap=\"#m\"><map name=\"M\"><area href=\"x\"><area href=\"y\"></map><map></map>");
  EXPECT_EQ(Service().CallTexts(),
            (std::vector<std::string>{"revise http://example.test/dir/i.gif image/* page=" + kPage + " link= -1x-1 -1",
                                      "note http://example.test/dir/i.gif http://example.test/dir/x"}));
}

TEST_F(AdFilterTest, ReplacedFrameSwallowsEverythingToItsEnd) {
  Verdicts({{"http://example.test/dir/ad.html", 3}});
  EXPECT_EQ(Filter("a<iframe src=\"ad.html\" width=728 height=90>text <b>x</b></iframe>z"),
            "a<IMG WIDTH=\"728\" HEIGHT=\"90\" border=0 alt=AD>z");
  EXPECT_EQ(Service().CallTexts(), std::vector<std::string>{"revise http://example.test/dir/ad.html text/html page=" +
                                                            kPage + " link= -1x-1 -1"});
  Service().Reset();
  EXPECT_EQ(Filter("<iframe src=ok.html>t</iframe>"), "<iframe src=ok.html>t</iframe>");
}

TEST_F(AdFilterTest, FlashObjectsAreRecognisedByCodebaseAndReplacedAtTheirEnd) {
  const std::string object = "<object codebase=\"HTTP://DOWNLOAD.FLASHPLAYER.EXAMPLE/pub/x.cab\" width=300 height=250>"
                             "<param name=movie value=a.swf><embed src=a.swf>Flash!</object>";
  const std::pair<int32_t, std::string> cases[] = {
      {0, object}, {1, ""}, {2, "[FLASH]"}, {3, "<IMG WIDTH=\"300\" HEIGHT=\"250\" border=0 alt=FLASH>"}};
  for (const auto &[verdict, expected] : cases) {
    Service().Reset();
    Service().Decide = [v = verdict](const TServiceCall &) { return TServiceAnswer{0, v}; };
    EXPECT_EQ(Filter("a" + object + "b"), "a" + expected + "b") << verdict;
    EXPECT_EQ(Service().CallTexts(),
              std::vector<std::string>{"revise  application/x-shockwave-flash page= link= -1x-1 -1"});
  }
  Service().Reset();
  Service().Decide = [](const TServiceCall &) { return TServiceAnswer{0, 2}; };
  const std::string other = "<object codebase=\"http://other.example/x.cab\"><embed src=a.swf></object>";
  EXPECT_EQ(Filter(other), other);
  EXPECT_TRUE(Service().Calls.empty()) << "other codebases are not asked about";
}

TEST_F(AdFilterTest, AFailedCallKeepsTheRestOfThePageUnchanged) {
  Service().Decide = [](const TServiceCall &c) {
    return c.Url.find("bad") != std::string::npos ? TServiceAnswer{5, 0} : TServiceAnswer{0, 2};
  };
  EXPECT_EQ(Filter("<img src=ad1.gif><img src=bad.gif><img src=ad2.gif><iframe src=f></iframe>"),
            "[AD]<img src=bad.gif><img src=ad2.gif><iframe src=f></iframe>");
  EXPECT_EQ(Service().Calls.size(), 2u);
  // The next page starts afresh.
  EXPECT_EQ(Filter("<img src=ad3.gif>"), "[AD]");
}

TEST_F(AdFilterTest, UnclosedReplacedFrameRemovesTheRestButKeepsTheScript) {
  Service().Decide = [](const TServiceCall &) { return TServiceAnswer{0, 1}; };
  EXPECT_EQ(Filter("a<iframe src=x>rest <p> of the page"), "a");
}

TEST_F(AdFilterTest, RewritingIsTheSameInAnyChunkingAndInUtf16) {
  Verdicts({{"http://example.test/dir/ad.gif", 3}, {"http://example.test/dir/f.html", 2}});
  const std::string body = "<p>x</p><a href=l><img src=ad.gif width=1 height=2></a><iframe src=f.html>t</iframe>end";
  const std::string expected = Filter(body);
  EXPECT_EQ(expected, "<p>x</p><a href=l><IMG WIDTH=1 HEIGHT=2 border=0 alt=AD usemap=></a>[AD]end");
  for (size_t chunk : {1, 2, 5, 13})
    EXPECT_EQ(Filter(body, chunk), expected) << chunk;

  TTestedAdFilter filter;
  filter.BeginDocument(nullptr);
  const std::string page = "\xFF\xFE" + Utf16("<body>" + body);
  EXPECT_EQ(RunThrough(filter, page, 3, 4), "\xFF\xFE" + Utf16("<body>" + expected + kScript));
}

TEST_F(AdFilterTest, WithoutAServiceThePagePassesUntouched) {
  for (int32_t bindingResult : {1, 0}) {
    Service().Reset();
    Service().BindingResult = bindingResult;
    Service().Binding = 0; // a binding that is refused, or "succeeds" with no handle
    TTestedAdFilter filter;
    filter.BeginDocument(nullptr);
    EXPECT_FALSE(filter.IsFiltering());
    EXPECT_EQ(filter.Client().LastResult, bindingResult);
    const std::string page = "<html><body><img src=a.gif></body></html>";
    EXPECT_EQ(RunThrough(filter, page), page);
  }
  TZuRPCClient none{TZuRPCEntryPoints{}};
  EXPECT_FALSE(none.Connect());
  EXPECT_EQ(none.LastResult, 1);
}

} // namespace
