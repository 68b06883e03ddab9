#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <typeinfo>
#include <vector>

#include "toolbar/services/ZUSystem.h"

using namespace kwo;

namespace {

// Raises with `raise` inside traced functions numbered `numbers`, innermost
// first.
void Through(const std::function<void()> &raise, const std::vector<int32_t> &numbers, size_t level = 0) {
  if (level == numbers.size()) {
    raise();
    return;
  }
  // The outermost number is the last one: it wraps every other level.
  Traced(numbers[numbers.size() - 1 - level], [&] { Through(raise, numbers, level + 1); });
}

// A kind of the library that the trace does not know.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

} // namespace

TEST(ErrorTrace, AppendsTheChainInnermostFirst) {
  struct TCase {
    const char *Message;
    std::vector<int32_t> Numbers;
    const char *Expected;
  } cases[] = {
      {"", {195}, "\r\n>>195"},
      {"Boom", {3, 2, 1}, "Boom\r\n>>3\r\n>>2\r\n>>1"},
      {"Boom", {}, "Boom"},
      {"x", {1570}, "x\r\n>>1570"},
  };
  for (const TCase &c : cases) {
    try {
      Through([&] { throw Exception(c.Message); }, c.Numbers);
      ADD_FAILURE() << "nothing raised";
    } catch (const Exception &e) {
      EXPECT_EQ(e.Message(), c.Expected);
    }
  }
}

TEST(ErrorTrace, AutomationExceptionKeepsCodeSourceHelpFileAndContext) {
  try {
    Through([] { throw EOleException("Host failed", static_cast<int32_t>(0x80020009), "Host.App", "host.hlp", 42); },
            {57, 12});
    FAIL() << "nothing raised";
  } catch (const Exception &e) {
    ASSERT_EQ(typeid(e), typeid(EOleException));
    const auto &ole = static_cast<const EOleException &>(e);
    EXPECT_EQ(ole.Message(), "Host failed\r\n>>57\r\n>>12");
    EXPECT_EQ(ole.ErrorCode(), static_cast<int32_t>(0x80020009));
    EXPECT_EQ(ole.Source(), "Host.App");
    EXPECT_EQ(ole.HelpFile(), "host.hlp");
    EXPECT_EQ(ole.HelpContext(), 42);
  }
}

TEST(ErrorTrace, OrmExceptionKeepsItsFlagAndLosesItsHelpContext) {
  try {
    Through([] { throw OrmException("orm", 1); }, {7, 8});
    FAIL() << "nothing raised";
  } catch (const Exception &e) {
    ASSERT_EQ(typeid(e), typeid(OrmException));
    EXPECT_EQ(static_cast<const OrmException &>(e).Flag(), 1);
    EXPECT_EQ(e.Message(), "orm\r\n>>7\r\n>>8");
    EXPECT_EQ(e.HelpContext(), 0);
  }
}

// Every other kind arrives as the plain base: its class, help context and
// fields (a system COM error's code among them) are gone.
TEST(ErrorTrace, OtherKindsBecomeThePlainBase) {
  const std::function<void()> raises[] = {
      [] { throw EConvertError("'x' is not a valid integer", 9); },
      [] { throw EOleSysError("No such interface", static_cast<int32_t>(0x80004002), 9); },
      [] { throw EIntOverflow("Integer overflow", 9); },
      [] { throw Exception("plain", 9); },
  };
  for (const auto &raise : raises) {
    try {
      Through(raise, {213});
      ADD_FAILURE() << "nothing raised";
    } catch (const Exception &e) {
      EXPECT_EQ(typeid(e), typeid(Exception));
      EXPECT_EQ(e.HelpContext(), 0);
      EXPECT_TRUE(e.Message().ends_with("\r\n>>213")) << e.Message();
    }
  }
}

TEST(ErrorTrace, ObjectsNotDerivedFromTheBasePassUntouched) {
  try {
    Through([] { throw 17; }, {1, 2});
    FAIL() << "nothing raised";
  } catch (int value) {
    EXPECT_EQ(value, 17);
  }
  try {
    Through([] { throw std::runtime_error("std"); }, {1, 2});
    FAIL() << "nothing raised";
  } catch (const Exception &) {
    FAIL() << "a foreign exception was traced";
  } catch (const std::runtime_error &e) {
    EXPECT_STREQ(e.what(), "std");
  }
}

TEST(ErrorTrace, TracedGivesTheBodysResultAndRunsCleanUpFirst) {
  EXPECT_EQ(Traced(5, [] { return 41 + 1; }), 42);
  int value = 0;
  Traced(5, [&]() -> int & { return value; }) = 3;
  EXPECT_EQ(value, 3);

  // The body's own clean-up has run by the time the traced exception is seen.
  bool cleaned = false;
  struct TCleanUp {
    bool &Done;
    ~TCleanUp() { Done = true; }
  };
  try {
    Traced(6, [&] {
      TCleanUp guard{cleaned};
      throw Exception("e");
    });
  } catch (const Exception &e) {
    EXPECT_TRUE(cleaned);
    EXPECT_EQ(e.Message(), "e\r\n>>6");
  }
}
