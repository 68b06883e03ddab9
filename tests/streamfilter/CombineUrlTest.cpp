#include <gtest/gtest.h>

#include "Lib/ZuWinInet.h"

namespace {
struct TCombineCase {
  const char *Base;
  const char *Url;
  const char *Expected;
};

class CombineUrlTest : public testing::TestWithParam<TCombineCase> {};

// The same table runs against WinINet under Wine and against the portable
// stand-in, so the two agree wherever the filter's tests rely on them.
TEST_P(CombineUrlTest, MakesReferencesAbsolute) {
  const TCombineCase &c = GetParam();
  EXPECT_EQ(CombineUrl(c.Base, c.Url), c.Expected) << c.Base << " + " << c.Url;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CombineUrlTest,
    testing::Values(TCombineCase{"http://example.test/dir/page.html", "img/a.gif", "http://example.test/dir/img/a.gif"},
                    TCombineCase{"http://example.test/dir/page.html", "/b.gif", "http://example.test/b.gif"},
                    TCombineCase{"http://example.test/dir/page.html", "../up.gif", "http://example.test/up.gif"},
                    TCombineCase{"http://example.test/dir/page.html", "http://other.test/x", "http://other.test/x"},
                    TCombineCase{"", "http://other.test/x", "http://other.test/x"},
                    TCombineCase{"http://example.test/dir/page.html", "", "http://example.test/dir/page.html"},
                    TCombineCase{"http://example.test/dir/", "//cdn.test/a.js", "http://cdn.test/a.js"}));
} // namespace
