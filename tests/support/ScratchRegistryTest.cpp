#include <gtest/gtest.h>

#include "ScratchRegistry.h"

namespace {
bool KeyExists(HKEY root, const wchar_t *path) {
  HKEY k = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_READ, &k) != ERROR_SUCCESS)
    return false;
  RegCloseKey(k);
  return true;
}
} // namespace

TEST(ScratchRegistryTest, RedirectsTheThreeRootsAndCleansUp) {
  std::wstring scratch;
  {
    TScratchRegistry reg;
    scratch = reg.Path();
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}) {
      HKEY k = nullptr;
      ASSERT_EQ(RegCreateKeyExW(root, L"ZuProbe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr), ERROR_SUCCESS);
      RegCloseKey(k);
    }
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID")) << "the scratch HKCR starts empty";
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID")) << "the real root is back";
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"ZuProbe"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"ZuProbe"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"ZuProbe"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, scratch.c_str()));
}
