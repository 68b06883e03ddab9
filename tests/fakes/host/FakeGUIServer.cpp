#include "FakeGUIServer.h"

#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "com/Bstr.h"
#include "com/HResult.h"
#include "com/SafeArray.h"

namespace fakes {

using Microsoft::WRL::ComPtr;

// ---------------------------------------------------------------- variants

namespace {

com::Variant ArrayVariant(com::SafeArray array, VARTYPE elementType) {
  com::Variant v;
  VARIANT *slot = v.Receive();
  slot->vt = VT_ARRAY | elementType;
  slot->parray = array.Detach();
  return v;
}

void AppendInt32(std::vector<BYTE> &bytes, long value) {
  const auto u = static_cast<unsigned long>(value);
  for (int shift = 0; shift < 32; shift += 8)
    bytes.push_back(static_cast<BYTE>(u >> shift));
}

void AppendString(std::vector<BYTE> &bytes, const std::wstring &text) {
  AppendInt32(bytes, static_cast<long>(text.size()));
  for (wchar_t c : text) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  }
}

// A variant's array, looking through one level of VT_BYREF.
SAFEARRAY *ArrayOf(const VARIANT &value, VARTYPE elementType) {
  if (value.vt == (VT_ARRAY | elementType))
    return value.parray;
  if (value.vt == (VT_BYREF | VT_ARRAY | elementType) && value.pparray)
    return *value.pparray;
  if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal)
    return ArrayOf(*value.pvarVal, elementType);
  return nullptr;
}

std::wstring Text(BSTR value) { return std::wstring(value ? value : L"", value ? SysStringLen(value) : 0); }
std::wstring Num(long value) { return std::to_wstring(value); }
std::wstring Object(IUnknown *value) { return value ? L"<object>" : L"<null>"; }

std::wstring Describe(const VARIANT &value) {
  if (value.vt == VT_BSTR)
    return Text(value.bstrVal);
  if (value.vt == VT_I4)
    return Num(value.lVal);
  if (value.vt == VT_BOOL)
    return Num(value.boolVal);
  if (value.vt == VT_EMPTY)
    return L"<empty>";
  if (ArrayOf(value, VT_UI1))
    return L"<" + std::to_wstring(BytesOf(value).size()) + L" bytes>";
  if (ArrayOf(value, VT_VARIANT)) {
    std::wstring s = L"[";
    const auto strings = StringsOf(value);
    for (size_t i = 0; i < strings.size(); ++i)
      s += (i ? L"|" : L"") + strings[i];
    return s + L"]";
  }
  return L"<vt " + std::to_wstring(value.vt) + L">";
}

template <class T> void Clear(T *out) {
  if (out)
    *out = T();
}
void Clear(VARIANT *out) {
  if (out)
    VariantInit(out);
}

template <class T> void Set(T *out, T value) {
  if (out)
    *out = value;
}
void Set(VARIANT_BOOL *out, bool value) {
  if (out)
    *out = value ? VARIANT_TRUE : VARIANT_FALSE;
}
void Set(BSTR *out, const std::wstring &value) {
  if (out) {
    *out = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    if (!*out)
      throw std::bad_alloc();
  }
}
void Set(VARIANT *out, const com::Variant &value) {
  if (out)
    com::Variant(value).Detach(out);
}

} // namespace

com::Variant ByteArray(const std::vector<BYTE> &bytes) {
  com::SafeArray array(VT_UI1, static_cast<ULONG>(bytes.size()));
  if (!bytes.empty()) {
    com::SafeArrayAccess data(array.Get());
    std::memcpy(data.Data(), bytes.data(), bytes.size());
  }
  return ArrayVariant(std::move(array), VT_UI1);
}

com::Variant Int32Array(const std::vector<long> &values) {
  std::vector<BYTE> bytes;
  for (long v : values)
    AppendInt32(bytes, v);
  return ByteArray(bytes);
}

com::Variant StringArray(const std::vector<std::wstring> &values) {
  com::SafeArray array(VT_VARIANT, static_cast<ULONG>(values.size()));
  {
    com::SafeArrayAccess data(array.Get());
    for (size_t i = 0; i < values.size(); ++i)
      com::Variant(values[i]).Detach(&data.As<VARIANT>()[i]);
  }
  return ArrayVariant(std::move(array), VT_VARIANT);
}

com::Variant BrowserList(const std::vector<TBrowserWindow> &windows) {
  std::vector<BYTE> bytes;
  AppendInt32(bytes, static_cast<long>(windows.size()));
  for (const auto &w : windows) {
    AppendString(bytes, w.Caption);
    AppendInt32(bytes, w.ID);
    AppendString(bytes, w.Hint);
  }
  return ByteArray(bytes);
}

std::vector<std::wstring> StringsOf(const VARIANT &value) {
  std::vector<std::wstring> out;
  com::SafeArrayAccess data(ArrayOf(value, VT_VARIANT));
  for (size_t i = 0; i < data.Count(); ++i) {
    const VARIANT &e = data.As<VARIANT>()[i];
    out.push_back(e.vt == VT_BSTR ? Text(e.bstrVal) : Describe(e));
  }
  return out;
}

std::vector<BYTE> BytesOf(const VARIANT &value) {
  com::SafeArrayAccess data(ArrayOf(value, VT_UI1));
  const auto *p = data.As<BYTE>();
  return p ? std::vector<BYTE>(p, p + data.Count()) : std::vector<BYTE>();
}

// ---------------------------------------------------------------- connection point

class TFakeConnectionPoint : public com::TComObject<TFakeConnectionPoint, IConnectionPoint> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeConnectionPoint, IConnectionPoint),
                                                 ZU_INTERFACE_END};
    return table;
  }

  explicit TFakeConnectionPoint(TFakeGUIServer *owner) : FOwner(owner) {}

  // The server is going: no container to hand out, no sinks to keep.
  void Orphan() {
    FOwner = nullptr;
    FSinks.clear();
  }

  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> Sinks() const { return FSinks; }

  STDMETHODIMP GetConnectionInterface(IID *iid) override {
    if (HRESULT hr = DeadResult(); FAILED(hr))
      return hr;
    if (!iid)
      return E_POINTER;
    *iid = DIID_IGUIServerEvents;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer **out) override {
    if (!out)
      return E_POINTER;
    *out = nullptr;
    if (HRESULT hr = DeadResult(); FAILED(hr))
      return hr;
    if (!FOwner)
      return E_UNEXPECTED;
    *out = FOwner;
    FOwner->AddRef();
    return S_OK;
  }
  // The sink must answer the event interface itself, as a dispatch interface.
  STDMETHODIMP Advise(IUnknown *sink, DWORD *cookie) override {
    if (!cookie)
      return E_POINTER;
    *cookie = 0;
    if (HRESULT hr = DeadResult(); FAILED(hr))
      return hr;
    if (!sink || !FOwner)
      return E_POINTER;
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(DIID_IGUIServerEvents, reinterpret_cast<void **>(events.GetAddressOf()))) ||
        !events)
      return CONNECT_E_CANNOTCONNECT;
    *cookie = ++FLastCookie;
    FSinks.emplace_back(*cookie, events);
    ++FOwner->FAdviseCalls;
    FOwner->ConnectionTrace(L"Advise " + std::to_wstring(*cookie));
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    if (HRESULT hr = DeadResult(); FAILED(hr))
      return hr;
    auto it = std::find_if(FSinks.begin(), FSinks.end(), [&](const auto &s) { return s.first == cookie; });
    if (it == FSinks.end())
      return CONNECT_E_NOCONNECTION;
    // The sink may be released last here; keep it until the list is consistent.
    ComPtr<IDispatch> leaving = std::move(it->second);
    FSinks.erase(it);
    if (FOwner) {
      ++FOwner->FUnadviseCalls;
      FOwner->ConnectionTrace(L"Unadvise " + std::to_wstring(cookie));
    }
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections **out) override {
    if (out)
      *out = nullptr;
    return E_NOTIMPL;
  }

private:
  HRESULT DeadResult() const { return FOwner && FOwner->FDead ? FOwner->FDeadResult : S_OK; }

  TFakeGUIServer *FOwner;
  DWORD FLastCookie = 0;
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> FSinks;
};

// ---------------------------------------------------------------- server

const com::TInterfaceEntry *TFakeGUIServer::Interfaces() {
  static const com::TInterfaceEntry table[] = {
      ZU_INTERFACE(TFakeGUIServer, IGUIServer), ZU_INTERFACE_VIA(TFakeGUIServer, IDispatch, IGUIServer),
      ZU_INTERFACE(TFakeGUIServer, IConnectionPointContainer), ZU_INTERFACE_END};
  return table;
}

ComPtr<TFakeGUIServer> TFakeGUIServer::Create() { return com::MakeObject<TFakeGUIServer>(); }

TFakeGUIServer::TFakeGUIServer() : FEvents(com::MakeObject<TFakeConnectionPoint>(this)) {}

TFakeGUIServer::~TFakeGUIServer() {
  // A strong registration keeps us alive, so this only matters when the table
  // let go on its own (the apartment ended).
  if (FRotCookie)
    RevokeActiveObject(FRotCookie, nullptr);
  FEvents->Orphan();
}

void TFakeGUIServer::FailWith(const std::wstring &operation, HRESULT hr) {
  if (hr == S_OK)
    FFailures.erase(operation);
  else
    FFailures[operation] = hr;
}

void TFakeGUIServer::SetDead(bool dead, HRESULT hr) {
  FDead = dead;
  FDeadResult = hr;
}

std::vector<std::wstring> TFakeGUIServer::Calls() const {
  std::lock_guard<std::mutex> lock(FLogLock);
  return FCalls;
}

size_t TFakeGUIServer::CallCount(std::wstring_view operation) const {
  std::lock_guard<std::mutex> lock(FLogLock);
  return std::count_if(FCalls.begin(), FCalls.end(), [&](const std::wstring &call) {
    return call.size() > operation.size() && call.compare(0, operation.size(), operation) == 0 &&
           call[operation.size()] == L'(';
  });
}

void TFakeGUIServer::ClearCalls() {
  std::lock_guard<std::mutex> lock(FLogLock);
  FCalls.clear();
  FLastVariants.clear();
}

std::vector<com::Variant> TFakeGUIServer::LastVariants(const std::wstring &operation) const {
  std::lock_guard<std::mutex> lock(FLogLock);
  auto it = FLastVariants.find(operation);
  return it == FLastVariants.end() ? std::vector<com::Variant>() : it->second;
}

size_t TFakeGUIServer::AdviseCount() const { return FEvents->Sinks().size(); }

void TFakeGUIServer::Trace(const std::wstring &line) {
  if (FTrace)
    FTrace(line);
}

void TFakeGUIServer::ConnectionTrace(const std::wstring &line) {
  if (FConnectionTrace)
    FConnectionTrace(line);
}

HRESULT TFakeGUIServer::Enter(const wchar_t *operation, std::initializer_list<std::wstring> args) {
  std::wstring call = operation;
  call += L'(';
  bool first = true;
  for (const auto &a : args) {
    if (!first)
      call += L", ";
    call += a;
    first = false;
  }
  call += L')';
  {
    std::lock_guard<std::mutex> lock(FLogLock);
    FCalls.push_back(call);
  }
  Trace(call);
  if (FDead)
    return FDeadResult;
  auto it = FFailures.find(operation);
  return it == FFailures.end() ? S_OK : it->second;
}

template <class TFill>
HRESULT TFakeGUIServer::Reply(const wchar_t *operation, std::initializer_list<std::wstring> args,
                              TFill &&fill) noexcept {
  return com::ComGuard([&]() -> HRESULT {
    const HRESULT hr = Enter(operation, args);
    if (SUCCEEDED(hr) || FAnswerOnFailure)
      fill();
    return hr;
  });
}

void TFakeGUIServer::Keep(const wchar_t *operation, std::initializer_list<const VARIANT *> args) {
  std::vector<com::Variant> copies;
  for (const VARIANT *a : args)
    copies.push_back(com::Variant::Copy(*a));
  std::lock_guard<std::mutex> lock(FLogLock);
  FLastVariants[operation] = std::move(copies);
}

// ---------------------------------------------------------------- events

std::vector<HRESULT> TFakeGUIServer::FireRaw(DISPID dispid, DISPPARAMS &params, WORD flags) {
  std::vector<HRESULT> results;
  // A sink may unadvise while it handles the event.
  for (const auto &[cookie, sink] : FEvents->Sinks()) {
    com::Variant result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    results.push_back(
        sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Receive(), &excep, &argErr));
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
  }
  return results;
}

std::vector<HRESULT> TFakeGUIServer::Fire(DISPID dispid, const std::vector<com::Variant> &args) {
  std::vector<VARIANT> reversed(args.size());
  for (size_t i = 0; i < args.size(); ++i)
    reversed[args.size() - 1 - i] = args[i].Get();
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return FireRaw(dispid, params);
}

std::vector<HRESULT> TFakeGUIServer::FireNamed(DISPID dispid,
                                               const std::vector<std::pair<DISPID, com::Variant>> &args) {
  std::vector<VARIANT> values;
  std::vector<DISPID> names;
  for (const auto &[name, value] : args) {
    names.push_back(name);
    values.push_back(value.Get());
  }
  DISPPARAMS params{values.empty() ? nullptr : values.data(), names.empty() ? nullptr : names.data(),
                    static_cast<UINT>(values.size()), static_cast<UINT>(names.size())};
  return FireRaw(dispid, params);
}

namespace {
com::Variant Boolean(VARIANT_BOOL value) {
  com::Variant v;
  VARIANT *slot = v.Receive();
  slot->vt = VT_BOOL;
  slot->boolVal = value;
  return v;
}
} // namespace

std::vector<HRESULT> TFakeGUIServer::FireQuit() { return Fire(201); }
std::vector<HRESULT> TFakeGUIServer::FireRefreshHighlight() { return Fire(202); }
std::vector<HRESULT> TFakeGUIServer::FireSettingsChange() { return Fire(204); }
std::vector<HRESULT> TFakeGUIServer::FireFunctionalityChange() { return Fire(205); }
std::vector<HRESULT> TFakeGUIServer::FireQuickGroupChange() { return Fire(206); }
std::vector<HRESULT> TFakeGUIServer::FireLanguageChange() { return Fire(207); }

std::vector<HRESULT> TFakeGUIServer::FireDocumentDataChange(long id, VARIANT_BOOL present, std::wstring_view comments,
                                                            long status, long rating) {
  return Fire(203,
              {com::Variant(id), Boolean(present), com::Variant(comments), com::Variant(status), com::Variant(rating)});
}

std::vector<HRESULT> TFakeGUIServer::FireDocumentDataChangeNamed(long id, VARIANT_BOOL present,
                                                                 std::wstring_view comments, long status, long rating) {
  return FireNamed(203, {{2, com::Variant(comments)},
                         {4, com::Variant(rating)},
                         {0, com::Variant(id)},
                         {3, com::Variant(status)},
                         {1, Boolean(present)}});
}

// ---------------------------------------------------------------- running-object table

HRESULT TFakeGUIServer::RegisterActive() {
  if (FRotCookie)
    return S_FALSE;
  return RegisterActiveObject(static_cast<IGUIServer *>(this), CLSID_GUIServer, ACTIVEOBJECT_STRONG, &FRotCookie);
}

HRESULT TFakeGUIServer::RevokeActive() {
  if (!FRotCookie)
    return S_FALSE;
  const DWORD cookie = FRotCookie;
  FRotCookie = 0;
  return RevokeActiveObject(cookie, nullptr);
}

TRunningHost::TRunningHost() : FServer(TFakeGUIServer::Create()), FRegistration(FServer->RegisterActive()) {}

TRunningHost::~TRunningHost() { FServer->RevokeActive(); }

// ---------------------------------------------------------------- IDispatch

HRESULT TFakeGUIServer::LoadTypeInfo() {
  if (FTypeInfo)
    return S_OK;
  std::wstring path(MAX_PATH, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(n);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"ZUTervane.tlb";
  ComPtr<ITypeLib> library;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.GetAddressOf());
  if (SUCCEEDED(hr))
    hr = library->GetTypeInfoOfGuid(IID_IGUIServer, FTypeInfo.ReleaseAndGetAddressOf());
  return hr;
}

STDMETHODIMP TFakeGUIServer::GetTypeInfoCount(UINT *count) {
  if (!count)
    return E_POINTER;
  *count = 0;
  if (FDead)
    return FDeadResult;
  *count = SUCCEEDED(LoadTypeInfo()) ? 1 : 0;
  return S_OK;
}

STDMETHODIMP TFakeGUIServer::GetTypeInfo(UINT index, LCID, ITypeInfo **info) {
  if (!info)
    return E_POINTER;
  *info = nullptr;
  if (FDead)
    return FDeadResult;
  if (index != 0)
    return DISP_E_BADINDEX;
  if (HRESULT hr = LoadTypeInfo(); FAILED(hr))
    return hr;
  return FTypeInfo.CopyTo(info);
}

STDMETHODIMP TFakeGUIServer::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  if (FDead)
    return FDeadResult;
  if (HRESULT hr = LoadTypeInfo(); FAILED(hr))
    return hr;
  return DispGetIDsOfNames(FTypeInfo.Get(), names, count, ids);
}

STDMETHODIMP TFakeGUIServer::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                    EXCEPINFO *excepInfo, UINT *argErr) {
  if (FDead)
    return FDeadResult;
  if (HRESULT hr = LoadTypeInfo(); FAILED(hr))
    return hr;
  return DispInvoke(static_cast<IGUIServer *>(this), FTypeInfo.Get(), id, flags, params, result, excepInfo, argErr);
}

// ---------------------------------------------------------------- IConnectionPointContainer

STDMETHODIMP TFakeGUIServer::EnumConnectionPoints(IEnumConnectionPoints **out) {
  if (out)
    *out = nullptr;
  return FDead ? FDeadResult : E_NOTIMPL;
}

STDMETHODIMP TFakeGUIServer::FindConnectionPoint(REFIID iid, IConnectionPoint **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (FDead)
    return FDeadResult;
  if (iid != DIID_IGUIServerEvents)
    return CONNECT_E_NOCONNECTION;
  return FEvents.CopyTo(out);
}

// ---------------------------------------------------------------- IGUIServer

#define ZU_RESERVED(Name)                                                                                              \
  STDMETHODIMP TFakeGUIServer::Name() {                                                                                \
    return Reply(L## #Name, {}, [] {});                                                                                \
  }
ZU_RESERVED(Reserved07)
ZU_RESERVED(Reserved11)
ZU_RESERVED(Reserved12)
ZU_RESERVED(Reserved13)
ZU_RESERVED(Reserved21)
ZU_RESERVED(Reserved23)
ZU_RESERVED(Reserved25)
ZU_RESERVED(Reserved27)
ZU_RESERVED(Reserved28)
ZU_RESERVED(Reserved29)
ZU_RESERVED(Reserved30)
ZU_RESERVED(Reserved31)
ZU_RESERVED(Reserved38)
ZU_RESERVED(Reserved41)
ZU_RESERVED(Reserved42)
ZU_RESERVED(Reserved43)
ZU_RESERVED(Reserved44)
ZU_RESERVED(Reserved51)
ZU_RESERVED(Reserved57)
ZU_RESERVED(Reserved58)
ZU_RESERVED(Reserved59)
ZU_RESERVED(Reserved63)
ZU_RESERVED(Reserved72)
ZU_RESERVED(Reserved79)
#undef ZU_RESERVED

// Operations that only take arguments.
#define ZU_NOTE(Name)                                                                                                  \
  STDMETHODIMP TFakeGUIServer::Name() {                                                                                \
    return Reply(L## #Name, {}, [] {});                                                                                \
  }
ZU_NOTE(ShowSettings)
ZU_NOTE(ManageQuickGroups)
ZU_NOTE(ShowTranslationSettings)
ZU_NOTE(CloseAllBrowsers)
ZU_NOTE(MinimizeAllBrowsers)
ZU_NOTE(ShowAutoGrabSettings)
#undef ZU_NOTE

#define ZU_NOTE_BOOL(Name)                                                                                             \
  STDMETHODIMP TFakeGUIServer::Name(VARIANT_BOOL AValue) {                                                             \
    return Reply(L## #Name, {Num(AValue)}, [] {});                                                                     \
  }
ZU_NOTE_BOOL(SetHighlightEnabled)
ZU_NOTE_BOOL(SetPopupKillerEnabled)
ZU_NOTE_BOOL(SetBannerKillerEnabled)
ZU_NOTE_BOOL(SetLinkHintEnabled)
ZU_NOTE_BOOL(SetProgramEnabled)
ZU_NOTE_BOOL(SetAutoGrab)
#undef ZU_NOTE_BOOL

#define ZU_NOTE_TEXT(Name)                                                                                             \
  STDMETHODIMP TFakeGUIServer::Name(BSTR AText) {                                                                      \
    return Reply(L## #Name, {Text(AText)}, [] {});                                                                     \
  }
ZU_NOTE_TEXT(ShowPopupKillerSettings)
ZU_NOTE_TEXT(ShowDocumentProperty)
ZU_NOTE_TEXT(LoadBrowserList)
ZU_NOTE_TEXT(SaveBrowserList)
#undef ZU_NOTE_TEXT

#define ZU_NOTE_LONG(Name)                                                                                             \
  STDMETHODIMP TFakeGUIServer::Name(LONG AValue) {                                                                     \
    return Reply(L## #Name, {Num(AValue)}, [] {});                                                                     \
  }
ZU_NOTE_LONG(ShowComments)
ZU_NOTE_LONG(ActivateBrowser)
ZU_NOTE_LONG(ExecuteCommand)
#undef ZU_NOTE_LONG

STDMETHODIMP TFakeGUIServer::AddUrlToRubric(BSTR ATitle, BSTR AUrl, BSTR AText1, BSTR AText2, BSTR *AResultText,
                                            VARIANT_BOOL AWithDialog) {
  Clear(AResultText);
  return Reply(L"AddUrlToRubric", {Text(ATitle), Text(AUrl), Text(AText1), Text(AText2), Num(AWithDialog)},
               [&] { Set(AResultText, FAnswers.AddUrlToRubricText); });
}

STDMETHODIMP TFakeGUIServer::AddLinksToRubric(VARIANT AUrls, VARIANT ATexts, BSTR APageUrl, BSTR ACharset) {
  return Reply(L"AddLinksToRubric", {Describe(AUrls), Describe(ATexts), Text(APageUrl), Text(ACharset)}, [&] {
    Keep(L"AddLinksToRubric", {&AUrls, &ATexts});
  });
}

STDMETHODIMP TFakeGUIServer::OpenLinkList(VARIANT AUrls, VARIANT ATexts, BSTR AText, VARIANT_BOOL AOutsideBrowser) {
  return Reply(L"OpenLinkList", {Describe(AUrls), Describe(ATexts), Text(AText), Num(AOutsideBrowser)}, [&] {
    Keep(L"OpenLinkList", {&AUrls, &ATexts});
  });
}

STDMETHODIMP TFakeGUIServer::GetLinkPicture(BSTR AText, LONG AID, LONG *AFound, VARIANT *APicture,
                                            VARIANT_BOOL AForMenu) {
  Clear(AFound);
  Clear(APicture);
  return Reply(L"GetLinkPicture", {Text(AText), Num(AID), Num(AForMenu)}, [&] {
    Set(APicture, FAnswers.LinkPicture);
    Set(AFound, static_cast<LONG>(FAnswers.LinkPictureFound));
  });
}

STDMETHODIMP TFakeGUIServer::GetLinkHintParams(LONG *AAlpha, LONG *AShowDelay, LONG *AHideDelay) {
  Clear(AAlpha);
  Clear(AShowDelay);
  Clear(AHideDelay);
  return Reply(L"GetLinkHintParams", {}, [&] {
    Set(AAlpha, static_cast<LONG>(FAnswers.HintAlpha));
    Set(AShowDelay, static_cast<LONG>(FAnswers.HintShowDelay));
    Set(AHideDelay, static_cast<LONG>(FAnswers.HintHideDelay));
  });
}

STDMETHODIMP TFakeGUIServer::GetHighlightStyle(LONG ABrowserID, VARIANT_BOOL *AEnabled, VARIANT_BOOL *AKnownOnly,
                                               VARIANT_BOOL *ANoBackColor, LONG *ABackColor, VARIANT_BOOL *ANoTextColor,
                                               LONG *ATextColor, VARIANT_BOOL *ABold, LONG *ADecoration) {
  Clear(AEnabled);
  Clear(AKnownOnly);
  Clear(ANoBackColor);
  Clear(ABackColor);
  Clear(ANoTextColor);
  Clear(ATextColor);
  Clear(ABold);
  Clear(ADecoration);
  return Reply(L"GetHighlightStyle", {Num(ABrowserID)}, [&] {
    const THighlightStyle &s = FAnswers.Highlight;
    Set(AEnabled, s.Enabled);
    Set(AKnownOnly, s.KnownOnly);
    Set(ANoBackColor, s.NoBackColor);
    Set(ABackColor, static_cast<LONG>(s.BackColor));
    Set(ANoTextColor, s.NoTextColor);
    Set(ATextColor, static_cast<LONG>(s.TextColor));
    Set(ABold, s.Bold);
    Set(ADecoration, static_cast<LONG>(s.Decoration));
  });
}

// The caller's states array is written in place, element by element, as far
// as both arrays go: never outside what the caller made.
STDMETHODIMP TFakeGUIServer::GetUrlStates(VARIANT AUrls, VARIANT *AStates) {
  return Reply(L"GetUrlStates", {Describe(AUrls)}, [&] {
    if (!AStates)
      throw com::TComError(E_POINTER);
    const auto urls = StringsOf(AUrls);
    auto stateOf = [&](size_t i) -> LONG {
      auto it = FAnswers.UrlStates.find(urls[i]);
      return it == FAnswers.UrlStates.end() ? -1 : it->second;
    };
    if (SAFEARRAY *variants = ArrayOf(*AStates, VT_VARIANT)) {
      com::SafeArrayAccess data(variants);
      for (size_t i = 0; i < std::min(urls.size(), data.Count()); ++i) {
        VARIANT &e = data.As<VARIANT>()[i];
        VariantClear(&e);
        e.vt = VT_I4;
        e.lVal = stateOf(i);
      }
    } else if (SAFEARRAY *longs = ArrayOf(*AStates, VT_I4)) {
      com::SafeArrayAccess data(longs);
      for (size_t i = 0; i < std::min(urls.size(), data.Count()); ++i)
        data.As<LONG>()[i] = stateOf(i);
    } else {
      throw com::TComError(DISP_E_TYPEMISMATCH);
    }
  });
}

STDMETHODIMP TFakeGUIServer::CaptureDocument(IDispatch *ADocument, VARIANT_BOOL ARewrite, LONG *AResult) {
  Clear(AResult);
  return Reply(L"CaptureDocument", {Object(ADocument), Num(ARewrite)}, [] {});
}

STDMETHODIMP TFakeGUIServer::GetDomainLinkUrl(LONG AID, BSTR *AUrl) {
  Clear(AUrl);
  return Reply(L"GetDomainLinkUrl", {Num(AID)}, [&] {
    auto it = FAnswers.DomainLinkUrls.find(AID);
    Set(AUrl, it == FAnswers.DomainLinkUrls.end() ? std::wstring() : it->second);
  });
}

STDMETHODIMP TFakeGUIServer::GetDomainLinks(BSTR AUrl, VARIANT *AIDs) {
  Clear(AIDs);
  return Reply(L"GetDomainLinks", {Text(AUrl)}, [&] { Set(AIDs, FAnswers.DomainLinks); });
}

STDMETHODIMP TFakeGUIServer::AddBannerImages(VARIANT AUrls) {
  return Reply(L"AddBannerImages", {Describe(AUrls)}, [&] { Keep(L"AddBannerImages", {&AUrls}); });
}

STDMETHODIMP TFakeGUIServer::GetCurrentRubricName(BSTR *AName) {
  Clear(AName);
  return Reply(L"GetCurrentRubricName", {}, [&] { Set(AName, FAnswers.CurrentRubricName); });
}

STDMETHODIMP TFakeGUIServer::GetDomainLinkCount(BSTR AUrl, LONG *ACount) {
  Clear(ACount);
  return Reply(L"GetDomainLinkCount", {Text(AUrl)}, [&] { Set(ACount, static_cast<LONG>(FAnswers.DomainLinkCount)); });
}

STDMETHODIMP TFakeGUIServer::GetDocumentID(BSTR AUrl, LONG *AID) {
  Clear(AID);
  return Reply(L"GetDocumentID", {Text(AUrl)}, [&] { Set(AID, static_cast<LONG>(FAnswers.DocumentID)); });
}

STDMETHODIMP TFakeGUIServer::GetCardColors(LONG *ANoCommentsText, LONG *ANoCommentsBack, LONG *ACommentsBack,
                                           LONG *ACommentsText) {
  Clear(ANoCommentsText);
  Clear(ANoCommentsBack);
  Clear(ACommentsBack);
  Clear(ACommentsText);
  return Reply(L"GetCardColors", {}, [&] {
    Set(ANoCommentsText, static_cast<LONG>(FAnswers.CardColors[0]));
    Set(ANoCommentsBack, static_cast<LONG>(FAnswers.CardColors[1]));
    Set(ACommentsBack, static_cast<LONG>(FAnswers.CardColors[2]));
    Set(ACommentsText, static_cast<LONG>(FAnswers.CardColors[3]));
  });
}

STDMETHODIMP TFakeGUIServer::GetDocumentData(BSTR AUrl, LONG *AID, BSTR *AComments, LONG *AStatus, LONG *ARating) {
  Clear(AID);
  Clear(AComments);
  Clear(AStatus);
  Clear(ARating);
  return Reply(L"GetDocumentData", {Text(AUrl)}, [&] {
    Set(AComments, FAnswers.DataComments);
    Set(AID, static_cast<LONG>(FAnswers.DataID));
    Set(AStatus, static_cast<LONG>(FAnswers.DataStatus));
    Set(ARating, static_cast<LONG>(FAnswers.DataRating));
  });
}

STDMETHODIMP TFakeGUIServer::GetScreenShotParams(BSTR AUrl, VARIANT_BOOL ARewrite, VARIANT_BOOL *AMakePicture,
                                                 LONG *APictureScale, LONG *APictureFormat,
                                                 VARIANT_BOOL *AMakeThumbnail, LONG *AThumbnailScale,
                                                 LONG *AThumbnailFormat) {
  Clear(AMakePicture);
  Clear(APictureScale);
  Clear(APictureFormat);
  Clear(AMakeThumbnail);
  Clear(AThumbnailScale);
  Clear(AThumbnailFormat);
  return Reply(L"GetScreenShotParams", {Text(AUrl), Num(ARewrite)}, [&] {
    const TScreenShotParams &p = FAnswers.ScreenShot;
    Set(AMakePicture, p.MakePicture);
    Set(APictureScale, static_cast<LONG>(p.PictureScale));
    Set(APictureFormat, static_cast<LONG>(p.PictureFormat));
    Set(AMakeThumbnail, p.MakeThumbnail);
    Set(AThumbnailScale, static_cast<LONG>(p.ThumbnailScale));
    Set(AThumbnailFormat, static_cast<LONG>(p.ThumbnailFormat));
  });
}

STDMETHODIMP TFakeGUIServer::StoreScreenShot(BSTR AUrl, VARIANT APicture) {
  return Reply(L"StoreScreenShot", {Text(AUrl), Describe(APicture)}, [&] { Keep(L"StoreScreenShot", {&APicture}); });
}

STDMETHODIMP TFakeGUIServer::StoreThumbnail(BSTR AUrl, VARIANT APicture) {
  return Reply(L"StoreThumbnail", {Text(AUrl), Describe(APicture)}, [&] { Keep(L"StoreThumbnail", {&APicture}); });
}

STDMETHODIMP TFakeGUIServer::GetQuickGroupCount(LONG *ACount) {
  Clear(ACount);
  return Reply(L"GetQuickGroupCount", {}, [&] { Set(ACount, static_cast<LONG>(FAnswers.QuickGroups.size())); });
}

STDMETHODIMP TFakeGUIServer::GetQuickGroup(LONG AIndex, VARIANT_BOOL *AVisible, BSTR *AName, LONG *ALinkCount,
                                           VARIANT_BOOL *AResult) {
  Clear(AVisible);
  Clear(AName);
  Clear(ALinkCount);
  Clear(AResult);
  return Reply(L"GetQuickGroup", {Num(AIndex)}, [&] {
    const auto &groups = FAnswers.QuickGroups;
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= groups.size())
      return;
    const TQuickGroup &g = groups[AIndex];
    Set(AName, g.Name);
    Set(AVisible, g.Visible);
    Set(ALinkCount, static_cast<LONG>(g.Links.size()));
    Set(AResult, true);
  });
}

STDMETHODIMP TFakeGUIServer::GetQuickLink(LONG AGroup, LONG AIndex, BSTR *ATitle, BSTR *AUrl, VARIANT_BOOL *AResult) {
  Clear(ATitle);
  Clear(AUrl);
  Clear(AResult);
  return Reply(L"GetQuickLink", {Num(AGroup), Num(AIndex)}, [&] {
    const auto &groups = FAnswers.QuickGroups;
    if (AGroup < 0 || static_cast<size_t>(AGroup) >= groups.size())
      return;
    const auto &links = groups[AGroup].Links;
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= links.size())
      return;
    Set(ATitle, links[AIndex].Title);
    Set(AUrl, links[AIndex].Url);
    Set(AResult, true);
  });
}

STDMETHODIMP TFakeGUIServer::GetTranslatorCount(LONG *ACount) {
  Clear(ACount);
  return Reply(L"GetTranslatorCount", {}, [&] { Set(ACount, static_cast<LONG>(FAnswers.Translators.size())); });
}

STDMETHODIMP TFakeGUIServer::GetTranslator(LONG AIndex, BSTR *ACaption, BSTR *ATemplate) {
  Clear(ACaption);
  Clear(ATemplate);
  return Reply(L"GetTranslator", {Num(AIndex)}, [&] {
    const auto &list = FAnswers.Translators;
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= list.size())
      throw com::TComError(E_INVALIDARG);
    Set(ACaption, list[AIndex].Caption);
    Set(ATemplate, list[AIndex].Template);
  });
}

STDMETHODIMP TFakeGUIServer::TranslatePage(BSTR AUrl, BSTR ATemplate, BSTR *AResultUrl) {
  Clear(AResultUrl);
  return Reply(L"TranslatePage", {Text(AUrl), Text(ATemplate)}, [&] { Set(AResultUrl, FAnswers.TranslatedPageUrl); });
}

STDMETHODIMP TFakeGUIServer::GetBrowserListDialogParam(LONG AKind, BSTR *AValue) {
  Clear(AValue);
  return Reply(L"GetBrowserListDialogParam", {Num(AKind)}, [&] {
    Set(AValue, AKind == 0 ? FAnswers.BrowserListFolder : AKind == 1 ? FAnswers.BrowserListFilter : std::wstring());
  });
}

STDMETHODIMP TFakeGUIServer::GetBrowserWindows(VARIANT *AList) {
  Clear(AList);
  return Reply(L"GetBrowserWindows", {}, [&] { Set(AList, FAnswers.BrowserWindows); });
}

STDMETHODIMP TFakeGUIServer::TranslateStrings(VARIANT AStrings, VARIANT *ATranslated) {
  Clear(ATranslated);
  return Reply(L"TranslateStrings", {Describe(AStrings)}, [&] {
    Keep(L"TranslateStrings", {&AStrings});
    if (FAnswers.TranslatedStrings.Type() != VT_EMPTY) {
      Set(ATranslated, FAnswers.TranslatedStrings);
      return;
    }
    auto strings = StringsOf(AStrings);
    for (auto &s : strings)
      s = FAnswers.TranslationPrefix + s;
    Set(ATranslated, StringArray(strings));
  });
}

STDMETHODIMP TFakeGUIServer::GetAutoGrab(VARIANT_BOOL *AValue) {
  Clear(AValue);
  return Reply(L"GetAutoGrab", {}, [&] { Set(AValue, FAnswers.AutoGrab); });
}

STDMETHODIMP TFakeGUIServer::GrabImages(VARIANT AImages, VARIANT_BOOL AAutomatic) {
  return Reply(L"GrabImages", {Describe(AImages), Num(AAutomatic)}, [&] { Keep(L"GrabImages", {&AImages}); });
}

STDMETHODIMP TFakeGUIServer::ReportBannerImage(BSTR APageUrl, BSTR AImageUrl, LONG *AError) {
  Clear(AError);
  return Reply(L"ReportBannerImage", {Text(APageUrl), Text(AImageUrl)},
               [&] { Set(AError, static_cast<LONG>(FAnswers.BannerImageError)); });
}

STDMETHODIMP TFakeGUIServer::AddLinksToCollection(VARIANT AUrls, VARIANT ATexts, BSTR ACharset) {
  return Reply(L"AddLinksToCollection", {Describe(AUrls), Describe(ATexts), Text(ACharset)}, [&] {
    Keep(L"AddLinksToCollection", {&AUrls, &ATexts});
  });
}

} // namespace fakes
