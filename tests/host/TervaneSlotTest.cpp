// The host's interface as its type library lays it out: the toolbars call
// IGUIServer through the virtual table only, so an operation in the wrong slot
// or with its arguments in the wrong order or kind calls something else in
// the host.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <map>
#include <string>

#include "ZUTervane.h"
#include "com/Bstr.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring TypeText(ITypeInfo *owner, const TYPEDESC &type) {
  switch (type.vt) {
  case VT_PTR:
    return TypeText(owner, *type.lptdesc) + L"*";
  case VT_BSTR:
    return L"BSTR";
  case VT_I4:
    return L"long";
  case VT_BOOL:
    return L"bool";
  case VT_VARIANT:
    return L"VARIANT";
  case VT_DISPATCH:
    return L"IDispatch";
  case VT_HRESULT:
    return L"HRESULT";
  case VT_VOID:
    return L"void";
  case VT_USERDEFINED: {
    ComPtr<ITypeInfo> ref;
    com::Bstr name;
    if (SUCCEEDED(owner->GetRefTypeInfo(type.hreftype, &ref)))
      ref->GetDocumentation(MEMBERID_NIL, name.Receive(), nullptr, nullptr, nullptr);
    return name.Str();
  }
  default:
    return L"vt" + std::to_wstring(type.vt);
  }
}

// "name(kind, out kind*, ...)" of one function.
std::wstring Signature(ITypeInfo *info, const FUNCDESC &func) {
  BSTR names[32] = {};
  UINT count = 0;
  info->GetNames(func.memid, names, 32, &count);
  std::wstring text = count ? std::wstring(names[0], SysStringLen(names[0])) : L"?";
  text += L"(";
  for (SHORT i = 0; i < func.cParams; ++i) {
    const ELEMDESC &param = func.lprgelemdescParam[i];
    const USHORT flags = param.paramdesc.wParamFlags;
    if (i)
      text += L", ";
    if ((flags & PARAMFLAG_FOUT) && (flags & PARAMFLAG_FIN))
      text += L"inout ";
    else if (flags & PARAMFLAG_FOUT)
      text += L"out ";
    text += TypeText(info, param.tdesc);
  }
  text += L")";
  for (UINT i = 0; i < count; ++i)
    SysFreeString(names[i]);
  return text;
}

ComPtr<ITypeLib> LoadTervaneLibrary() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring file(path, n);
  file = file.substr(0, file.find_last_of(L"\\/") + 1) + L"ZUTervane.tlb";
  ComPtr<ITypeLib> library;
  EXPECT_EQ(LoadTypeLibEx(file.c_str(), REGKIND_NONE, &library), S_OK) << "no type library beside the test";
  return library;
}

} // namespace

TEST(TervaneTypeLibrary, EveryServerOperationSitsInItsSlot) {
  // Slot -> operation and arguments; slots not listed hold operations the
  // toolbars never call and take no arguments here.
  const std::map<int, std::wstring> called = {
      {8, L"AddUrlToRubric(BSTR, BSTR, BSTR, BSTR, out BSTR*, bool)"},
      {9, L"AddLinksToRubric(VARIANT, VARIANT, BSTR, BSTR)"},
      {10, L"OpenLinkList(VARIANT, VARIANT, BSTR, bool)"},
      {14, L"GetLinkPicture(BSTR, long, out long*, out VARIANT*, bool)"},
      {15, L"GetLinkHintParams(out long*, out long*, out long*)"},
      {16, L"GetHighlightStyle(long, out bool*, out bool*, out bool*, out long*, out bool*, out long*, out bool*, "
           L"out long*)"},
      {17, L"GetUrlStates(VARIANT, inout VARIANT*)"},
      {18, L"SetHighlightEnabled(bool)"},
      {19, L"SetPopupKillerEnabled(bool)"},
      {20, L"ShowPopupKillerSettings(BSTR)"},
      {22, L"ShowDocumentProperty(BSTR)"},
      {24, L"ShowSettings()"},
      {26, L"CaptureDocument(IDispatch, bool, out long*)"},
      {32, L"GetDomainLinkUrl(long, out BSTR*)"},
      {33, L"GetDomainLinks(BSTR, out VARIANT*)"},
      {34, L"ShowComments(long)"},
      {35, L"AddBannerImages(VARIANT)"},
      {36, L"SetBannerKillerEnabled(bool)"},
      {37, L"GetCurrentRubricName(out BSTR*)"},
      {39, L"SetLinkHintEnabled(bool)"},
      {40, L"GetDomainLinkCount(BSTR, out long*)"},
      {45, L"GetDocumentID(BSTR, out long*)"},
      {46, L"GetCardColors(out long*, out long*, out long*, out long*)"},
      {47, L"GetDocumentData(BSTR, out long*, out BSTR*, out long*, out long*)"},
      {48, L"GetScreenShotParams(BSTR, bool, out bool*, out long*, out long*, out bool*, out long*, out long*)"},
      {49, L"StoreScreenShot(BSTR, VARIANT)"},
      {50, L"StoreThumbnail(BSTR, VARIANT)"},
      {52, L"SetProgramEnabled(bool)"},
      {53, L"GetQuickGroupCount(out long*)"},
      {54, L"GetQuickGroup(long, out bool*, out BSTR*, out long*, out bool*)"},
      {55, L"GetQuickLink(long, long, out BSTR*, out BSTR*, out bool*)"},
      {56, L"ManageQuickGroups()"},
      {60, L"GetTranslatorCount(out long*)"},
      {61, L"GetTranslator(long, out BSTR*, out BSTR*)"},
      {62, L"TranslatePage(BSTR, BSTR, out BSTR*)"},
      {64, L"ShowTranslationSettings()"},
      {65, L"CloseAllBrowsers()"},
      {66, L"LoadBrowserList(BSTR)"},
      {67, L"SaveBrowserList(BSTR)"},
      {68, L"GetBrowserListDialogParam(long, out BSTR*)"},
      {69, L"GetBrowserWindows(out VARIANT*)"},
      {70, L"ActivateBrowser(long)"},
      {71, L"MinimizeAllBrowsers()"},
      {73, L"TranslateStrings(VARIANT, out VARIANT*)"},
      {74, L"GetAutoGrab(out bool*)"},
      {75, L"SetAutoGrab(bool)"},
      {76, L"GrabImages(VARIANT, bool)"},
      {77, L"ShowAutoGrabSettings()"},
      {78, L"ExecuteCommand(long)"},
      {80, L"ReportBannerImage(BSTR, BSTR, out long*)"},
      {81, L"AddLinksToCollection(VARIANT, VARIANT, BSTR)"},
  };
  ComPtr<ITypeLib> library = LoadTervaneLibrary();
  ASSERT_TRUE(library);
  ComPtr<ITypeInfo> dispatchPart, info;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IGUIServer, &dispatchPart), S_OK);
  // A dual interface is found as its dispatch part; the virtual table is the
  // interface part behind it.
  HREFTYPE vtablePart = 0;
  ASSERT_EQ(dispatchPart->GetRefTypeOfImplType(-1, &vtablePart), S_OK);
  ASSERT_EQ(dispatchPart->GetRefTypeInfo(vtablePart, &info), S_OK);
  TYPEATTR *attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_INTERFACE);
  EXPECT_EQ(attr->cFuncs, 75);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
  const WORD funcs = attr->cFuncs;
  info->ReleaseTypeAttr(attr);

  std::map<int, std::wstring> found;
  for (WORD i = 0; i < funcs; ++i) {
    FUNCDESC *func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    const int slot = static_cast<int>(func->oVft / sizeof(void *));
    EXPECT_EQ(func->oVft % sizeof(void *), 0u);
    EXPECT_EQ(func->elemdescFunc.tdesc.vt, VT_HRESULT) << slot;
    EXPECT_EQ(found.count(slot), 0u) << "two operations in slot " << slot;
    found[slot] = Signature(info.Get(), *func);
    info->ReleaseFuncDesc(func);
  }
  for (int slot = 7; slot <= 81; ++slot) {
    const auto expected = called.find(slot);
    const std::wstring want = expected != called.end()
                                  ? expected->second
                                  : L"Reserved" + std::wstring(slot < 10 ? L"0" : L"") + std::to_wstring(slot) + L"()";
    EXPECT_EQ(found[slot], want) << "slot " << slot;
  }
}

TEST(TervaneTypeLibrary, EventsHaveTheirDispatchIds) {
  ComPtr<ITypeLib> library = LoadTervaneLibrary();
  ASSERT_TRUE(library);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(library->GetTypeInfoOfGuid(DIID_IGUIServerEvents, &info), S_OK);
  TYPEATTR *attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  const WORD funcs = attr->cFuncs;
  info->ReleaseTypeAttr(attr);
  std::map<MEMBERID, std::wstring> found;
  for (WORD i = 0; i < funcs; ++i) {
    FUNCDESC *func = nullptr;
    ASSERT_EQ(info->GetFuncDesc(i, &func), S_OK);
    if (func->memid >= 200) // IDispatch's own members are listed too
      found[func->memid] = Signature(info.Get(), *func);
    info->ReleaseFuncDesc(func);
  }
  const std::map<MEMBERID, std::wstring> expected = {
      {201, L"OnQuit()"},
      {202, L"OnRefreshHighlight()"},
      {203, L"OnDocumentDataChange(long, bool, BSTR, long, long)"},
      {204, L"OnSettingsChange()"},
      {205, L"OnFunctionalityChange()"},
      {206, L"OnQuickGroupChange()"},
      {207, L"OnLanguageChange()"},
  };
  EXPECT_EQ(found, expected);

  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_GUIServer, &coclass), S_OK);
}
