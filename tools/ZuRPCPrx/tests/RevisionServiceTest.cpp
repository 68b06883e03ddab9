#include <gtest/gtest.h>

#include "RevisionService.h"

using namespace zurpc;

namespace {

constexpr const char *kPage = "http://news.test/today.html";

TEST(RevisionService, Verdicts) {
  TRevisionService service;
  service.AddList("||ads.test^\n||frames.test^$subdocument\n@@||ads.test/house/");
  struct {
    const char *Resource, *Mime, *Page, *Link;
    int Width, Height, Verdict;
  } cases[] = {
      {"http://ads.test/b.gif", "image/*", kPage, "", 468, 60, vPlaceholder},
      {"http://ads.test/b.gif", "image/gif", kPage, "", 468, 60, vPlaceholder},
      {"http://ads.test/b.gif", "IMAGE/PNG", kPage, "", -1, 60, vRemove},
      {"http://ads.test/b.gif", "image/*", kPage, "", 468, -1, vRemove},
      {"http://ads.test/b.gif", "image/*", kPage, "", 0, 0, vRemove},
      {"http://img.test/b.gif", "image/*", kPage, "", 468, 60, vKeep},
      {"http://img.test/b.gif", "image/*", kPage, "http://ads.test/click", 468, 60, vPlaceholder},
      {"http://ads.test/house/b.gif", "image/*", kPage, "", 468, 60, vKeep},
      {"http://frames.test/f.html", "text/html", kPage, "", 728, 90, vPlaceholder},
      {"http://frames.test/f.html", "text/html; charset=utf-8", kPage, "", -1, -1, vPlaceholder},
      {"http://frames.test/f.gif", "image/*", kPage, "", 728, 90, vKeep},
      {"http://news.test/f.html", "text/html", kPage, "", 728, 90, vKeep},
      {"http://ads.test/b.gif", "text/plain", kPage, "", 468, 60, vKeep},
      {"", "image/*", kPage, "", -1, -1, vKeep},
      {"", "application/x-shockwave-flash", "", "", 300, 250, vPlaceholder},
  };
  for (const auto &c : cases)
    EXPECT_EQ(service.Revise(c.Resource, c.Mime, c.Page, c.Link, c.Width, c.Height), c.Verdict)
        << c.Resource << " " << c.Mime << " link " << c.Link << " " << c.Width << "x" << c.Height;
}

TEST(RevisionService, FlashFollowsItsSetting) {
  TRevisionService service;
  service.AddList("||ads.test^");
  for (int verdict : {vKeep, vRemove, vMarker, vPlaceholder}) {
    service.SetFlashVerdict(verdict);
    EXPECT_EQ(service.Revise("", "application/x-shockwave-flash", "", "", 300, 250), verdict);
  }
}

TEST(RevisionService, NoteResourceWithHref) {
  TRevisionService service;
  service.AddList("||ads.test^\n@@||ads.test/ok\n||partner.test^$third-party\n||frames.test^$subdocument");
  struct {
    const char *Image, *Link;
    int Verdict;
  } cases[] = {
      {"http://news.test/a.gif", "http://ads.test/click", vRemove},
      {"http://news.test/a.gif", "http://ads.test/ok", vKeep},
      {"http://news.test/a.gif", "http://news.test/story.html", vKeep},
      {"http://news.test/a.gif", "", vKeep},
      {"", "http://ads.test/click", vRemove},
      // Judged as an image link, so frame-only rules stay out.
      {"http://news.test/a.gif", "http://frames.test/x", vKeep},
      // The image's site stands in for the page's.
      {"http://news.test/a.gif", "http://partner.test/x", vRemove},
      {"http://www.partner.test/a.gif", "http://partner.test/x", vKeep},
  };
  for (const auto &c : cases)
    EXPECT_EQ(service.NoteResourceWithHref(c.Image, c.Link), c.Verdict) << c.Image << " -> " << c.Link;
}

TEST(RevisionService, DefaultListCatchesTheExamplePages) {
  TRevisionService service;
  service.AddList(kDefaultList);
  EXPECT_EQ(service.List().Stats().MalformedLines, 0u);
  EXPECT_EQ(service.List().Stats().UnknownOptionRules, 0u);
  EXPECT_EQ(service.Revise("http://ads.example-adserver.test/banner/468x60.gif", "image/*", kPage, "", 468, 60),
            vPlaceholder);
  EXPECT_EQ(service.Revise("http://banners.example-adserver.test/strip.png", "image/*", kPage, "", -1, -1), vRemove);
  EXPECT_EQ(service.Revise("http://ads.example-adserver.test/frame/728x90.html", "text/html", kPage, "", 728, 90),
            vPlaceholder);
  EXPECT_EQ(service.Revise("http://news.test/img/offers.gif", "image/*", kPage, "", 100, 100), vKeep);
  EXPECT_EQ(service.Revise("http://news.test/images/bridge.jpg", "image/*", kPage, "", 100, 100), vKeep);
  EXPECT_EQ(service.Revise("http://news.test/img/offers.gif", "image/*", kPage,
                           "http://ads.example-adserver.test/click?id=77", 100, 100),
            vPlaceholder);
  EXPECT_EQ(service.Revise("http://x.test/pub/banners/top.gif", "image/*", kPage, "", -1, -1), vRemove);
  EXPECT_EQ(service.NoteResourceWithHref("http://news.test/spacer.gif", "http://ads.example-adserver.test/go?o=1"),
            vRemove);
}

TEST(RevisionConfig, Parses) {
  TRevisionConfig config;
  std::string error;
  ASSERT_TRUE(ParseConfig("\xEF\xBB\xBF# comment\r\n"
                          "; another\r\n"
                          "\r\n"
                          "list = lists\\easylist.txt\r\n"
                          "  LIST=C:\\abs path\\mine.txt  \r\n"
                          "list = \"C:\\quoted path\\x.txt\"\r\n"
                          "Flash = Remove\r\n",
                          config, error))
      << error;
  EXPECT_EQ(config.Lists,
            (std::vector<std::string>{"lists\\easylist.txt", "C:\\abs path\\mine.txt", "C:\\quoted path\\x.txt"}));
  EXPECT_EQ(config.FlashVerdict, vRemove);
}

TEST(RevisionConfig, FlashNames) {
  const struct {
    const char *Name;
    int Verdict;
  } cases[] = {{"keep", vKeep}, {"marker", vMarker}, {"placeholder", vPlaceholder}, {"remove", vRemove}};
  for (const auto &c : cases) {
    TRevisionConfig config;
    std::string error;
    ASSERT_TRUE(ParseConfig(std::string("flash = ") + c.Name, config, error)) << error;
    EXPECT_EQ(config.FlashVerdict, c.Verdict) << c.Name;
  }
  TRevisionConfig config;
  std::string error;
  ASSERT_TRUE(ParseConfig("", config, error));
  EXPECT_EQ(config.FlashVerdict, vPlaceholder);
  EXPECT_TRUE(config.Lists.empty());
}

TEST(RevisionConfig, RejectsWhatItDoesNotUnderstand) {
  for (const char *text :
       {"flash = remvoe", "list =", "list = \"\"", "list", "colour = blue", "list = a.txt\nflash\n"}) {
    TRevisionConfig config;
    std::string error;
    EXPECT_FALSE(ParseConfig(text, config, error)) << text;
    EXPECT_NE(error.find("line "), std::string::npos) << error;
  }
}

} // namespace
