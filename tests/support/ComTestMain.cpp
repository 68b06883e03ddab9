// Test main for suites that use COM: one apartment for the whole run, and
// every test must end with no object of ours left alive.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "com/ComModule.h"

namespace {
class TNoObjectsLeft : public testing::EmptyTestEventListener {
  long FBefore = 0;
  void OnTestStart(const testing::TestInfo &) override { FBefore = com::ObjectCount(); }
  void OnTestEnd(const testing::TestInfo &) override {
    EXPECT_EQ(com::ObjectCount(), FBefore) << "COM objects of the module outlived the test";
  }
};
} // namespace

int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    return 3;
  testing::UnitTest::GetInstance()->listeners().Append(new TNoObjectsLeft);
  const int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
