#include <gtest/gtest.h>

#include "FilterRun.h"
#include "filter/AdsHTMLSignaller.h"

namespace {
const std::string kScript = TAdsHTMLSignaller::ScriptText;

struct TSignalCase {
  std::string Page;
  bool GetsScript;
};

class SignalFilterTest : public testing::TestWithParam<TSignalCase> {};

TEST_P(SignalFilterTest, AppendsTheScriptOnceAfterEverythingWhenABodyWasSeen) {
  const TSignalCase &c = GetParam();
  for (size_t chunk : {1, 3, 8192}) {
    TAdsHTMLSignaller filter;
    EXPECT_EQ(RunThrough(filter, c.Page, chunk, 7), c.GetsScript ? c.Page + kScript : c.Page) << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SignalFilterTest,
                         testing::Values(TSignalCase{"<html><body>x</body></html>", true},
                                         TSignalCase{"just text served as html", false},
                                         TSignalCase{"<p>no body tag</p></body>", false},
                                         TSignalCase{"<img src=a.gif>", true}, TSignalCase{"<HtMl>", true},
                                         TSignalCase{"<body><script name=\"AdsHTMLSignaller\">x</script>", false},
                                         TSignalCase{"<body><script name=\"adshtmlsignaller\"></script>", true},
                                         TSignalCase{"<script>a<b</script><body>", true},
                                         TSignalCase{"<html><body>unclosed <a href=", true}));

TEST(SignalFilterTest, ScriptIsTheExact145Bytes) {
  EXPECT_EQ(kScript.size(), 145u);
  EXPECT_EQ(kScript.substr(0, 2), "\r\n");
  EXPECT_EQ(kScript.substr(143), "\r\n");
}

TEST(SignalFilterTest, Utf16PageGetsTheScriptInUtf16) {
  const std::string page = "\xFF\xFE" + Utf16("<html><body>hi</body></html>");
  TAdsHTMLSignaller filter;
  EXPECT_EQ(RunThrough(filter, page, 5, 3), page + Utf16(kScript));
}
} // namespace
