// CoTalker against a speech server registered in this process.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "com/Bstr.h"
#include "com/ClassFactory.h"
#include "com/ComObject.h"
#include "toolbar/services/ZUTTS_TLB.h"
#include "toolbar/services/ZUSystemCom.h"

using namespace kwo;

namespace {

class TFakeTalker : public com::TComObject<TFakeTalker, ITalker> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeTalker, ITalker),
                                                 ZU_INTERFACE(TFakeTalker, IDispatch), ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetTypeInfoCount(UINT *count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *, EXCEPINFO *, UINT *) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Speak(LONG, BSTR) override { return S_OK; }
  STDMETHODIMP StopSpeaking(LONG) override { return S_OK; }
  STDMETHODIMP GetVoiceCount(LONG *count) override {
    *count = 2;
    return S_OK;
  }
  STDMETHODIMP GetVoiceName(LONG index, BSTR *name) override {
    *name = SysAllocString(index == 0 ? L"Anna" : L"Ben");
    return S_OK;
  }
  STDMETHODIMP SelectVoice(LONG) override { return S_OK; }
};

// A server that is registered but does not speak ITalker.
class TMute : public com::TComObject<TMute, IPersist> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TMute, IPersist), ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetClassID(CLSID *clsid) override {
    *clsid = CLSID_Talker;
    return S_OK;
  }
};

const com::TClassEntry TalkerEntry = {&CLSID_Talker, com::CreateInstanceOf<TFakeTalker>};
const com::TClassEntry MuteEntry = {&CLSID_Talker, com::CreateInstanceOf<TMute>};

// Registers `entry` as the speech server for the scope.
class TRegisteredServer {
public:
  explicit TRegisteredServer(const com::TClassEntry &entry) {
    Microsoft::WRL::ComPtr<IUnknown> factory;
    EXPECT_EQ(com::GetClassObjectFor(entry, IID_IUnknown, reinterpret_cast<void **>(factory.GetAddressOf())), S_OK);
    EXPECT_EQ(CoRegisterClassObject(CLSID_Talker, factory.Get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &FCookie),
              S_OK);
  }
  ~TRegisteredServer() { CoRevokeClassObject(FCookie); }

private:
  DWORD FCookie = 0;
};

HRESULT CreateFailure() {
  try {
    CoTalker::Create();
  } catch (const EOleSysError &e) {
    return e.ErrorCode();
  }
  return S_OK;
}

} // namespace

TEST(CoTalker, UnregisteredServerIsAnError) { EXPECT_EQ(CreateFailure(), REGDB_E_CLASSNOTREG); }

TEST(CoTalker, CreatesTheRegisteredServerAsITalker) {
  TRegisteredServer server(TalkerEntry);
  Microsoft::WRL::ComPtr<ITalker> talker = CoTalker::Create();
  ASSERT_TRUE(talker);
  LONG count = 0;
  EXPECT_EQ(talker->GetVoiceCount(&count), S_OK);
  EXPECT_EQ(count, 2);
  com::Bstr name;
  EXPECT_EQ(talker->GetVoiceName(1, name.Receive()), S_OK);
  EXPECT_EQ(name.Str(), L"Ben");
}

TEST(CoTalker, ServerWithoutITalkerIsAnError) {
  TRegisteredServer server(MuteEntry);
  EXPECT_EQ(CreateFailure(), E_NOINTERFACE);
}
