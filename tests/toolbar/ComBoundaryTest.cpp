// Exceptions reaching an automation method's caller as HRESULTs with error
// information.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>

#include "com/Bstr.h"
#include "com/HResult.h"
#include "toolbar/services/ZUSystemCom.h"

using namespace kwo;

namespace {

const GUID IID_ITest = {0x5b0c8a41, 0x6f2e, 0x4d3c, {0x9a, 0x11, 0x2e, 0x7d, 0x40, 0x55, 0x13, 0x01}};
const std::wstring ProgId = L"KwoIEGUI.KwoTerUtils";

struct TErrorInfo {
  std::wstring Description, Source, HelpFile;
  DWORD HelpContext = 0;
  GUID Iid{};
  bool Present = false;
};

TErrorInfo TakeErrorInfo() {
  TErrorInfo r;
  IErrorInfo *info = nullptr;
  if (GetErrorInfo(0, &info) != S_OK || !info)
    return r;
  r.Present = true;
  com::Bstr text;
  info->GetDescription(text.Receive());
  r.Description = text.Str();
  info->GetSource(text.Receive());
  r.Source = text.Str();
  info->GetHelpFile(text.Receive());
  r.HelpFile = text.Str();
  info->GetHelpContext(&r.HelpContext);
  info->GetGUID(&r.Iid);
  info->Release();
  return r;
}

} // namespace

TEST(ComBoundary, AutomationErrorKeepsItsCodeAndTracedText) {
  const HRESULT hr = AutomationCall(IID_ITest, ProgId, [] {
    Traced(396, [] {
      Traced(213, [] { throw EOleException("Host said no", static_cast<int32_t>(0x80040201), "Host", "h.hlp", 7); });
    });
  });
  EXPECT_EQ(hr, static_cast<HRESULT>(0x80040201));
  const TErrorInfo info = TakeErrorInfo();
  ASSERT_TRUE(info.Present);
  EXPECT_EQ(info.Description, L"Host said no\r\n>>213\r\n>>396");
  EXPECT_EQ(info.Source, ProgId);
  EXPECT_EQ(info.HelpFile, L"h.hlp");
  EXPECT_EQ(info.HelpContext, 7u);
  EXPECT_TRUE(IsEqualGUID(info.Iid, IID_ITest));
}

TEST(ComBoundary, ResultsByKind) {
  struct TCase {
    const char *Name;
    void (*Raise)();
    HRESULT Expected;
    const wchar_t *Description;
  } cases[] = {
      // A checked COM failure loses its code in the first traced function.
      {"traced sys error", [] { Traced(213, [] { OleCheck(E_NOINTERFACE); }); }, E_UNEXPECTED, nullptr},
      {"untraced sys error", [] { OleCheck(E_NOINTERFACE); }, E_NOINTERFACE, nullptr},
      {"plain", [] { throw Exception("plain", 3); }, E_UNEXPECTED, L"plain"},
      {"success code", [] { throw EOleException("odd", 0, "", ""); }, E_UNEXPECTED, L"odd"},
      {"out of memory", [] { throw std::bad_alloc(); }, E_OUTOFMEMORY, nullptr},
      {"com helper", [] { throw com::TComError(E_ACCESSDENIED, L"denied"); }, E_ACCESSDENIED, L"denied"},
      {"foreign", [] { throw 5; }, E_UNEXPECTED, L""},
  };
  for (const TCase &c : cases) {
    const HRESULT hr = AutomationCall(IID_ITest, ProgId, c.Raise);
    EXPECT_EQ(hr, c.Expected) << c.Name;
    const TErrorInfo info = TakeErrorInfo();
    EXPECT_TRUE(info.Present) << c.Name;
    if (c.Description) {
      EXPECT_EQ(info.Description, c.Description) << c.Name;
    }
  }
}

TEST(ComBoundary, CheckedCallsCarryTheSystemTextAndCode) {
  try {
    OleCheck(E_NOINTERFACE);
    FAIL() << "nothing raised";
  } catch (const EOleSysError &e) {
    EXPECT_EQ(e.ErrorCode(), E_NOINTERFACE);
    EXPECT_FALSE(e.Message().empty());
  }
  EXPECT_EQ(OleCheck(S_FALSE), S_FALSE);
  try {
    Traced(213, [] { OleCheck(E_NOINTERFACE); });
  } catch (const Exception &e) {
    EXPECT_TRUE(e.Message().ends_with("\r\n>>213")) << e.Message();
  }
}

TEST(ComBoundary, BodysOwnResultPassesThrough) {
  EXPECT_EQ(AutomationCall(IID_ITest, ProgId, [] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(AutomationCall(IID_ITest, ProgId, [] {}), S_OK);
}

TEST(ComBoundary, MessagesTravelThroughTheCodePage) {
  EXPECT_EQ(AnsiToWide("abc"), L"abc");
  EXPECT_EQ(WideToAnsi(L"abc"), "abc");
  EXPECT_EQ(AnsiToWide(""), L"");
}
