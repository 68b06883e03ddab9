#include <gtest/gtest.h>

#include <oaidl.h>

#include "com/ClassFactory.h"
#include "com/ComModule.h"
#include "com/HResult.h"

using Microsoft::WRL::ComPtr;

namespace {

class TTwoFaced : public com::TComObject<TTwoFaced, IPersist, IOleWindow> {
public:
  TTwoFaced() { ++Live; }
  ~TTwoFaced() override { --Live; }
  static inline int Live = 0;
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TTwoFaced, IPersist), ZU_INTERFACE(TTwoFaced, IOleWindow),
                                                 ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetClassID(CLSID *id) override {
    *id = IID_IPersist;
    return S_OK;
  }
  STDMETHODIMP GetWindow(HWND *w) override {
    *w = nullptr;
    return S_FALSE;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
};

const CLSID CLSID_TestTwoFaced = {0x1b7f3d35, 0x5a4e, 0x4c43, {0x9c, 0x1a, 0x3e, 0x27, 0x55, 0x61, 0x0a, 0x01}};
const com::TClassEntry GTable[] = {{&CLSID_TestTwoFaced, &com::CreateInstanceOf<TTwoFaced>}, {nullptr, nullptr}};

} // namespace

TEST(ComObjectTest, QueryInterfaceFollowsTheTableWithOneIdentity) {
  {
    auto obj = com::MakeObject<TTwoFaced>();
    EXPECT_EQ(obj->RefCount(), 1u);
    ComPtr<IPersist> persist;
    ComPtr<IOleWindow> window;
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(obj.As(&persist), S_OK);
    ASSERT_EQ(obj.As(&window), S_OK);
    EXPECT_NE(static_cast<void *>(persist.Get()), static_cast<void *>(window.Get()));
    EXPECT_EQ(persist.As(&a), S_OK);
    EXPECT_EQ(window.As(&b), S_OK);
    EXPECT_EQ(a.Get(), b.Get());
    HWND w = reinterpret_cast<HWND>(1);
    EXPECT_EQ(window->GetWindow(&w), S_FALSE) << "the right vtable answers";
    ComPtr<IDispatch> none;
    EXPECT_EQ(obj.As(&none), E_NOINTERFACE);
    EXPECT_EQ(none.Get(), nullptr);
    EXPECT_EQ(obj->QueryInterface(IID_IPersist, nullptr), E_POINTER);
    EXPECT_EQ(obj->RefCount(), 5u);
    EXPECT_EQ(com::CanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(TTwoFaced::Live, 0) << "every reference released once frees the object";
  EXPECT_EQ(com::CanUnloadNow(), S_OK);
}

TEST(ComObjectTest, ClassFactoryCreatesFromTableAndHoldsTheModule) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(com::GetClassObjectFromTable(GTable, IID_IPersist, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(com::GetClassObjectFromTable(GTable, CLSID_TestTwoFaced, IID_IClassFactory, &factory), S_OK);
  EXPECT_EQ(com::CanUnloadNow(), S_FALSE) << "a factory handed out counts";
  ComPtr<IOleWindow> window;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&window)), S_OK);
  EXPECT_EQ(TTwoFaced::Live, 1);
  ComPtr<IDispatch> none;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&none)), E_NOINTERFACE);
  EXPECT_EQ(TTwoFaced::Live, 1) << "a refused instance is freed";
  EXPECT_EQ(factory->CreateInstance(window.Get(), IID_PPV_ARGS(&none)), CLASS_E_NOAGGREGATION);
  window.Reset();

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(com::CanUnloadNow(), S_FALSE) << "a server lock keeps the module";
  EXPECT_EQ(com::LockCount(), 1);
  com::UnlockModule();
  EXPECT_EQ(com::CanUnloadNow(), S_OK);
}

TEST(ComObjectTest, GuardTurnsExceptionsIntoHResultsAndErrorInfo) {
  EXPECT_EQ(com::ComGuard([] { return S_FALSE; }), S_FALSE);
  EXPECT_EQ(com::ComGuard([]() -> HRESULT { throw com::TComError(E_ACCESSDENIED); }), E_ACCESSDENIED);
  EXPECT_EQ(com::ComGuard([]() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
  EXPECT_EQ(com::ComGuard([]() -> HRESULT { throw 42; }), E_FAIL);

  EXPECT_EQ(com::SetErrorInfoText(E_INVALIDARG, IID_IDispatch, L"Src", L"Went wrong"), E_INVALIDARG);
  ComPtr<IErrorInfo> info;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR text = nullptr;
  ASSERT_EQ(info->GetDescription(&text), S_OK);
  EXPECT_STREQ(text, L"Went wrong");
  SysFreeString(text);
}
