#include <gtest/gtest.h>

#include <string>

#include "AdFilterList.h"

using namespace zurpc;

namespace {

struct TMatchCase {
  const char *Rules; // one list, '\n' between lines
  const char *Url;
  const char *Page;
  EResourceType Type;
  bool Blocked;
};

void PrintTo(const TMatchCase &c, std::ostream *os) {
  *os << "rules {" << c.Rules << "} url " << c.Url << " page " << c.Page << " type " << int(c.Type);
}

class MatchTable : public testing::TestWithParam<TMatchCase> {};

TEST_P(MatchTable, Decides) {
  const TMatchCase &c = GetParam();
  TAdFilterList list;
  list.AddList(c.Rules);
  EXPECT_EQ(list.IsBlocked(c.Url, "", c.Page, c.Type), c.Blocked);
}

constexpr const char *kPage = "http://news.test/today.html";

INSTANTIATE_TEST_SUITE_P(
    HostAnchor, MatchTable,
    testing::Values(TMatchCase{"||ads.test^", "http://ads.test/x", kPage, rtImage, true},
                    TMatchCase{"||ads.test^", "http://a.ads.test/x", kPage, rtImage, true},
                    TMatchCase{"||ads.test^", "http://bads.test/x", kPage, rtImage, false},
                    TMatchCase{"||ads.test^", "http://ads.test.other.test/", kPage, rtImage, false},
                    TMatchCase{"||ads.test^", "http://ads.test:8080/x", kPage, rtImage, true},
                    TMatchCase{"||ads.test^", "http://ads.test", kPage, rtImage, true},
                    TMatchCase{"||ads.test^", "http://user@ads.test/", kPage, rtImage, true},
                    TMatchCase{"||ads.test^", "HTTP://ADS.TEST/X", kPage, rtImage, true},
                    // Only the host counts, not a URL further along.
                    TMatchCase{"||ads.test^", "http://x.test/?u=http://ads.test/", kPage, rtImage, false},
                    TMatchCase{"||ads.test/banner", "http://ads.test/banner1.gif", kPage, rtImage, true},
                    TMatchCase{"||ads.test/banner", "http://ads.test/x/banner", kPage, rtImage, false}));

INSTANTIATE_TEST_SUITE_P(
    StartEndAnchors, MatchTable,
    testing::Values(TMatchCase{"|http://ads.", "http://ads.x.test/", kPage, rtImage, true},
                    TMatchCase{"|http://ads.", "https://ads.x.test/", kPage, rtImage, false},
                    TMatchCase{"|http://ads.", "http://x.test/http://ads.y/", kPage, rtImage, false},
                    TMatchCase{".swf|", "http://x.test/a.swf", kPage, rtImage, true},
                    TMatchCase{".swf|", "http://x.test/a.swf?x=1", kPage, rtImage, false},
                    TMatchCase{"|http://x.test/a.gif|", "http://x.test/a.gif", kPage, rtImage, true},
                    TMatchCase{"|http://x.test/a.gif|", "http://x.test/a.gif2", kPage, rtImage, false},
                    // A leading or trailing '*' undoes the anchor next to it.
                    TMatchCase{"|*/ad.gif", "http://x.test/ad.gif", kPage, rtImage, true},
                    TMatchCase{"/ad.*|", "http://x.test/ad.gif?x", kPage, rtImage, true}));

INSTANTIATE_TEST_SUITE_P(
    Wildcards, MatchTable,
    testing::Values(TMatchCase{"/ad*/banner/*", "http://x.test/ads/img/banner/1.gif", kPage, rtImage, true},
                    TMatchCase{"/ad*/banner/*", "http://x.test/banner/ads/", kPage, rtImage, false},
                    TMatchCase{"/ad*banner", "http://x.test/adsbanner.gif", kPage, rtImage, true},
                    // The first place a piece fits must not hide a later fit of the rest.
                    TMatchCase{"/x*y*.gif|", "http://h.test/x1y2/y3.gif", kPage, rtImage, true},
                    TMatchCase{"||ads.test^*/img/", "http://ads.test/a/img/", kPage, rtImage, true},
                    TMatchCase{"ads**banner", "http://x.test/ads-banner", kPage, rtImage, true},
                    TMatchCase{"*ad.gif*", "http://x.test/ad.gif", kPage, rtImage, true}));

INSTANTIATE_TEST_SUITE_P(Separators, MatchTable,
                         testing::Values(TMatchCase{"/ads^", "http://x.test/ads?x=1", kPage, rtImage, true},
                                         TMatchCase{"/ads^", "http://x.test/ads/1", kPage, rtImage, true},
                                         TMatchCase{"/ads^", "http://x.test/ads", kPage, rtImage, true},
                                         TMatchCase{"/ads^", "http://x.test/ads-top", kPage, rtImage, false},
                                         TMatchCase{"/ads^", "http://x.test/ads_top", kPage, rtImage, false},
                                         TMatchCase{"/ads^", "http://x.test/ads.gif", kPage, rtImage, false},
                                         TMatchCase{"/ads^", "http://x.test/ads%20", kPage, rtImage, false},
                                         TMatchCase{"/ads^", "http://x.test/ads\xC3\xA9", kPage, rtImage, false},
                                         TMatchCase{"^ad^", "http://x.test/a?ad=1", kPage, rtImage, true},
                                         // '^' matches the end of the URL, but only there.
                                         TMatchCase{"/ad^^", "http://x.test/ad", kPage, rtImage, true},
                                         TMatchCase{"/ad^x", "http://x.test/ad", kPage, rtImage, false}));

INSTANTIATE_TEST_SUITE_P(Substrings, MatchTable,
                         testing::Values(TMatchCase{"banner", "http://x.test/topbanners.gif", kPage, rtImage, true},
                                         TMatchCase{"ads/", "http://x.test/myads/1.gif", kPage, rtImage, true},
                                         TMatchCase{"/ads/", "http://x.test/myads/1.gif", kPage, rtImage, false},
                                         TMatchCase{"ad^", "http://x.test/load?x", kPage, rtImage, true},
                                         TMatchCase{"-ad-", "http://x.test/top-ad-1.gif", kPage, rtImage, true},
                                         TMatchCase{"-ad-", "http://x.test/top-add-1.gif", kPage, rtImage, false}));

INSTANTIATE_TEST_SUITE_P(
    Case, MatchTable,
    testing::Values(TMatchCase{"||x.test/Banner", "http://X.TEST/banner", kPage, rtImage, true},
                    TMatchCase{"||x.test/Banner$match-case", "http://x.test/banner", kPage, rtImage, false},
                    TMatchCase{"||x.test/Banner$match-case", "http://x.test/Banner", kPage, rtImage, true},
                    TMatchCase{"||x.test/banner\n@@||x.test/Banner/OK$match-case", "http://x.test/banner/ok", kPage,
                               rtImage, true},
                    TMatchCase{"||x.test/banner\n@@||x.test/Banner/OK$match-case", "http://x.test/Banner/OK", kPage,
                               rtImage, false}));

INSTANTIATE_TEST_SUITE_P(
    Exceptions, MatchTable,
    testing::Values(TMatchCase{"||ads.test^\n@@||ads.test/good/", "http://ads.test/good/a.gif", kPage, rtImage, false},
                    TMatchCase{"||ads.test^\n@@||ads.test/good/", "http://ads.test/bad/a.gif", kPage, rtImage, true},
                    TMatchCase{"||ads.test^\n@@||ads.test^$subdocument", "http://ads.test/a", kPage, rtImage, true},
                    TMatchCase{"||ads.test^\n@@||ads.test^$subdocument", "http://ads.test/a", kPage, rtSubdocument,
                               false},
                    TMatchCase{"@@||ads.test^", "http://ads.test/a", kPage, rtImage, false}));

INSTANTIATE_TEST_SUITE_P(TypeOptions, MatchTable,
                         testing::Values(TMatchCase{"/ad/*$image", "http://x.test/ad/1", kPage, rtImage, true},
                                         TMatchCase{"/ad/*$image", "http://x.test/ad/1", kPage, rtSubdocument, false},
                                         TMatchCase{"/ad/*$image", "http://x.test/ad/1", kPage, rtObject, false},
                                         TMatchCase{"/ad/*$subdocument", "http://x.test/ad/1", kPage, rtSubdocument,
                                                    true},
                                         TMatchCase{"/ad/*$frame", "http://x.test/ad/1", kPage, rtSubdocument, true},
                                         TMatchCase{"/ad/*$frame", "http://x.test/ad/1", kPage, rtImage, false},
                                         TMatchCase{"/ad/*$object", "http://x.test/ad/1", kPage, rtObject, true},
                                         TMatchCase{"/ad/*$IMAGE,Object", "http://x.test/ad/1", kPage, rtObject, true},
                                         TMatchCase{"/ad/*$~image", "http://x.test/ad/1", kPage, rtImage, false},
                                         TMatchCase{"/ad/*$~image", "http://x.test/ad/1", kPage, rtSubdocument, true},
                                         TMatchCase{"/ad/*", "http://x.test/ad/1", kPage, rtObject, true},
                                         // Types we are never asked about.
                                         TMatchCase{"/ad/*$script", "http://x.test/ad/1", kPage, rtImage, false},
                                         TMatchCase{"/ad/*$popup", "http://x.test/ad/1", kPage, rtSubdocument, false},
                                         TMatchCase{"/ad/*$~script", "http://x.test/ad/1", kPage, rtImage, true},
                                         TMatchCase{"/ad/*$important", "http://x.test/ad/1", kPage, rtImage, true}));

INSTANTIATE_TEST_SUITE_P(
    DomainOption, MatchTable,
    testing::Values(
        TMatchCase{"/ad/*$domain=news.test", "http://x.test/ad/1", "http://news.test/", rtImage, true},
        TMatchCase{"/ad/*$domain=news.test", "http://x.test/ad/1", "http://www.news.test/", rtImage, true},
        TMatchCase{"/ad/*$domain=news.test", "http://x.test/ad/1", "http://othernews.test/", rtImage, false},
        TMatchCase{"/ad/*$domain=news.test", "http://x.test/ad/1", "", rtImage, false},
        TMatchCase{"/ad/*$domain=a.test|news.test", "http://x.test/ad/1", "http://news.test/", rtImage, true},
        TMatchCase{"/ad/*$domain=~news.test", "http://x.test/ad/1", "http://news.test/", rtImage, false},
        TMatchCase{"/ad/*$domain=~news.test", "http://x.test/ad/1", "http://other.test/", rtImage, true},
        TMatchCase{"/ad/*$domain=news.test|~sport.news.test", "http://x.test/ad/1", "http://sport.news.test/", rtImage,
                   false},
        TMatchCase{"/ad/*$domain=news.test|~sport.news.test", "http://x.test/ad/1", "http://www.news.test/", rtImage,
                   true},
        TMatchCase{"/ad/*$domain=NEWS.test", "http://x.test/ad/1", "http://News.Test/", rtImage, true}));

INSTANTIATE_TEST_SUITE_P(
    ThirdParty, MatchTable,
    testing::Values(TMatchCase{"||cdn.test^$third-party", "http://img.cdn.test/a", "http://www.cdn.test/", rtImage,
                               false},
                    TMatchCase{"||cdn.test^$third-party", "http://img.cdn.test/a", "http://news.test/", rtImage, true},
                    TMatchCase{"||cdn.test^$third-party", "http://img.cdn.test/a", "", rtImage, true},
                    TMatchCase{"||cdn.test^$3p", "http://cdn.test/a", "http://news.test/", rtImage, true},
                    TMatchCase{"/ad/*$~third-party", "http://news.test/ad/1", "http://www.news.test/", rtImage, true},
                    TMatchCase{"/ad/*$~third-party", "http://other.test/ad/1", "http://news.test/", rtImage, false},
                    TMatchCase{"/ad/*$first-party", "http://news.test/ad/1", "http://news.test/", rtImage, true},
                    TMatchCase{"/ad/*$third-party", "http://10.0.0.2/ad/1", "http://10.0.0.1/", rtImage, true},
                    TMatchCase{"/ad/*$third-party", "http://10.0.0.1:81/ad/1", "http://10.0.0.1/", rtImage, false}));

INSTANTIATE_TEST_SUITE_P(
    IgnoredRules, MatchTable,
    testing::Values(TMatchCase{"||ads.test^$redirect=noop.js", "http://ads.test/a", kPage, rtImage, false},
                    TMatchCase{"||ads.test^$image,unknownthing", "http://ads.test/a", kPage, rtImage, false},
                    TMatchCase{"/ads[0-9]/", "http://x.test/ads1/", kPage, rtImage, false},
                    TMatchCase{"/ads/$image", "http://x.test/ads/", kPage, rtImage, false},
                    TMatchCase{"##.ad-box", "http://x.test/ad-box", kPage, rtImage, false},
                    TMatchCase{"! ||ads.test^", "http://ads.test/a", kPage, rtImage, false},
                    TMatchCase{"*", "http://ads.test/a", kPage, rtImage, false},
                    TMatchCase{"||ads.test^$", "http://ads.test/a", kPage, rtImage, false},
                    TMatchCase{"0.0.0.0 ads.test", "http://ads.test/a", kPage, rtImage, false},
                    // With options an empty pattern is every URL.
                    TMatchCase{"$image,domain=news.test", "http://x.test/a.gif", kPage, rtImage, true}));

TEST(AdFilterList, CountsWhatItSkips) {
  TAdFilterList list;
  list.AddList("[Adblock Plus 2.0]\r\n"
               "! Title: test\r\n"
               "||ads.test^\r\n"
               "@@||ads.test/ok^\n"
               "/ads[0-9]+/\n"
               "@@/ads[0-9]+/$image\n"
               "##.ad\n"
               "example.test#@#.ad\n"
               "example.test#?#div:has(.ad)\n"
               "example.test##+js(noop)\n"
               "||ads.test^$csp=script-src\n"
               "||ads.test^$$\n"
               "||ads.test^$\n"
               "a b\n"
               "@@\n"
               "||\n"
               "/ad/*$domain=\n"
               "/ad/*$third-party,~third-party\n"
               "\n"
               "   \n"
               "banner\n");
  const TListStats &s = list.Stats();
  EXPECT_EQ(s.BlockRules, 2u);
  EXPECT_EQ(s.ExceptionRules, 1u);
  EXPECT_EQ(s.Comments, 2u);
  EXPECT_EQ(s.RegexRules, 2u);
  EXPECT_EQ(s.CosmeticRules, 4u);
  EXPECT_EQ(s.UnknownOptionRules, 1u);
  EXPECT_EQ(s.MalformedLines, 7u);
  // The good rules around the bad lines still work.
  EXPECT_TRUE(list.IsBlocked("http://x.test/topbanner.gif", "", kPage, rtImage));
  EXPECT_TRUE(list.IsBlocked("http://ads.test/x", "", kPage, rtImage));
  EXPECT_FALSE(list.IsBlocked("http://ads.test/ok/", "", kPage, rtImage));
}

TEST(AdFilterList, ListsAddUp) {
  TAdFilterList list;
  list.AddList("||one.test^\n@@||one.test/ok\n");
  list.AddList("||two.test^");
  EXPECT_TRUE(list.IsBlocked("http://one.test/a", "", kPage, rtImage));
  EXPECT_TRUE(list.IsBlocked("http://two.test/a", "", kPage, rtImage));
  EXPECT_FALSE(list.IsBlocked("http://one.test/ok", "", kPage, rtImage));
  EXPECT_EQ(list.Stats().BlockRules, 2u);
}

// The resource is blocked through its link, unless an exception covers the
// link or the resource itself.
TEST(AdFilterList, LinkUrl) {
  TAdFilterList list;
  list.AddList("||ads.test^\n@@||ads.test/ok\n@@||img.test/mine/");
  struct {
    const char *Resource, *Link;
    bool Blocked;
  } cases[] = {
      {"http://img.test/a.gif", "http://ads.test/click", true},
      {"http://img.test/a.gif", "http://ads.test/ok", false},
      {"http://img.test/mine/a.gif", "http://ads.test/click", false},
      {"http://img.test/a.gif", "http://img.test/b.html", false},
      {"", "http://ads.test/click", true},
      {"http://ads.test/ok", "http://ads.test/click", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(list.IsBlocked(c.Resource, c.Link, kPage, rtImage), c.Blocked) << c.Resource << " -> " << c.Link;
}

// Many rules share words and grams; the index must still find each one.
TEST(AdFilterList, FindsEveryRuleAmongMany) {
  std::string text;
  for (int i = 0; i < 2000; ++i) {
    text += "||host" + std::to_string(i) + ".test^\n";
    text += "/path" + std::to_string(i) + "/ads.\n";
    text += "-spot" + std::to_string(i) + "ad\n";
  }
  TAdFilterList list;
  list.AddList(text);
  for (int i = 0; i < 2000; i += 37) {
    const std::string n = std::to_string(i);
    EXPECT_TRUE(list.IsBlocked("http://host" + n + ".test/x", "", kPage, rtImage)) << n;
    EXPECT_TRUE(list.IsBlocked("http://x.test/path" + n + "/ads.gif", "", kPage, rtImage)) << n;
    EXPECT_TRUE(list.IsBlocked("http://x.test/top-spot" + n + "ads.gif", "", kPage, rtImage)) << n;
    EXPECT_FALSE(list.IsBlocked("http://xhost" + n + ".test/x", "", kPage, rtImage)) << n;
  }
}

// Random rules and URLs built from the same fragments, so that they often
// meet: the index must never change an answer.
TEST(AdFilterList, IndexAnswersAsTryingEveryRule) {
  static const char *const bits[] = {"ads", "ad", "banner", "x1", "Top", "/",  "/",   ".",  "-", "_",
                                     "?",   "=",  "&",      "^",  "*",   "b.", "com", "%2", "1", "ads.test"};
  static const char *const hosts[] = {"ads.test", "a.ads.test", "bads.test", "news.test", "x1.com", "AD.b.com"};
  static const char *const options[] = {"",
                                        "$image",
                                        "$~image",
                                        "$subdocument",
                                        "$third-party",
                                        "$~third-party",
                                        "$domain=news.test",
                                        "$match-case",
                                        "$domain=~news.test"};
  uint32_t r = 7;
  auto next = [&](uint32_t n) {
    r = r * 1664525u + 1013904223u;
    return (r >> 8) % n;
  };
  auto fragment = [&](int pieces) {
    std::string s;
    for (int i = 0; i < pieces; ++i)
      s += bits[next(20)];
    return s;
  };
  std::string text;
  for (int i = 0; i < 400; ++i) {
    static const char *const prefixes[] = {"", "", "|", "||", "@@", "@@||", "|http://"};
    text += prefixes[next(7)];
    text += next(3) == 0 ? hosts[next(6)] + fragment(1) : fragment(1 + static_cast<int>(next(4)));
    if (next(4) == 0)
      text += '|';
    text += options[next(9)];
    text += '\n';
  }
  TAdFilterList indexed, plain(TAdFilterList::EIndexing::Unindexed);
  indexed.AddList(text);
  plain.AddList(text);
  static const char *const pages[] = {"http://news.test/", "http://www.ads.test/p", ""};
  for (int i = 0; i < 3000; ++i) {
    const std::string url = std::string(next(5) ? "http://" : "https://") + hosts[next(6)] + fragment(1 + next(6));
    const std::string link = next(3) ? "" : "http://" + std::string(hosts[next(6)]) + fragment(2);
    const char *page = pages[next(3)];
    const EResourceType type = next(2) ? rtImage : rtSubdocument;
    ASSERT_EQ(indexed.IsBlocked(url, link, page, type), plain.IsBlocked(url, link, page, type))
        << url << " link " << link << " page " << page << " type " << int(type);
  }
}

TEST(AdFilterList, LongUrls) {
  TAdFilterList list;
  list.AddList("||ads.test^\n.gif|");
  const std::string tail(5000, 'a');
  EXPECT_TRUE(list.IsBlocked("http://ads.test/" + tail, "", kPage, rtImage));
  EXPECT_TRUE(list.IsBlocked("http://x.test/" + tail + ".gif", "", kPage, rtImage));
  EXPECT_FALSE(list.IsBlocked("http://x.test/" + tail, "", kPage, rtImage));
}

TEST(Url, FindsHost) {
  struct {
    const char *Url, *Host;
  } cases[] = {
      {"HTTP://Ads.Test/x", "ads.test"},
      {"https://u:p@ads.test:81/x", "ads.test"},
      {"http://ads.test?x", "ads.test"},
      {"//ads.test/x", "ads.test"},
      {"http://[::1]:80/", "[::1]"},
      {"ads.test/x", ""},
      {"", ""},
      {"javascript:void(0)", ""},
      {"http://ads.test#x", "ads.test"},
      {"http://ads.test\\x", "ads.test"},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(TUrl(c.Url).Host(), c.Host) << c.Url;
    EXPECT_EQ(TUrl(c.Url, TUrl::HostOnly).Host(), c.Host) << c.Url;
  }
}

TEST(ThirdParty, ComparesSites) {
  struct {
    const char *Host, *Page;
    bool Third;
  } cases[] = {
      {"a.news.test", "www.news.test", false}, {"news.test", "www.news.test", false},
      {"news.test", "other.test", true},       {"ads.test", "", true},
      {"news.test.", "news.test", false},      {"1.2.3.4", "1.2.3.5", true},
      {"localhost", "localhost", false},
  };
  for (const auto &c : cases)
    EXPECT_EQ(IsThirdParty(c.Host, c.Page), c.Third) << c.Host << " / " << c.Page;
}

} // namespace
