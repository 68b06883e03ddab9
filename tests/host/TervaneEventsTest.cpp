// The host's event sink: dispatch of the seven events, the answers to calls
// the host should not make, and its connection to a server.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <string>
#include <vector>

#include "FakeGUIServer.h"
#include "Lib/ZUTervaneEvents.h"
#include "com/Variant.h"
#include "toolbar/services/ZUSystemCom.h"

using namespace kwo;

namespace {

// `count` elements that end where a no-access page begins, so reading one
// past the last faults.
template <class T> class TGuarded {
public:
  explicit TGuarded(size_t count) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    const size_t bytes = count * sizeof(T);
    const size_t pages = (bytes + page - 1) / page + 1;
    FBase = static_cast<BYTE *>(VirtualAlloc(nullptr, pages * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(FBase + (pages - 1) * page, page, PAGE_NOACCESS, &old);
    FData = reinterpret_cast<T *>(FBase + (pages - 1) * page - bytes);
  }
  ~TGuarded() { VirtualFree(FBase, 0, MEM_RELEASE); }
  TGuarded(const TGuarded &) = delete;
  TGuarded &operator=(const TGuarded &) = delete;
  T *Data() const { return FData; }

private:
  BYTE *FBase = nullptr;
  T *FData = nullptr;
};

struct TDocumentData {
  int32_t ID = 0;
  VARIANT_BOOL Present = 0;
  std::wstring Comments;
  int32_t Status = 0;
  int32_t Rating = 0;
  bool operator==(const TDocumentData &) const = default;
};

// A sink with every handler assigned, recording what it heard.
struct TRecordingEvents {
  TZUTervaneIGUIServerEvents Sink{"Events"};
  std::vector<std::string> Heard;
  std::vector<TDocumentData> Data;

  TRecordingEvents() {
    const auto note = [this](const char *name) {
      return [this, name](TZUTervaneIGUIServerEvents &sender) {
        EXPECT_EQ(&sender, &Sink);
        Heard.push_back(name);
      };
    };
    Sink.OnQuit = note("Quit");
    Sink.OnRefreshHighlight = note("RefreshHighlight");
    Sink.OnSettingsChange = note("SettingsChange");
    Sink.OnFunctionalityChange = note("FunctionalityChange");
    Sink.OnQuickGroupChange = note("QuickGroupChange");
    Sink.OnLanguageChange = note("LanguageChange");
    Sink.OnDocumentDataChange = [this](TZUTervaneIGUIServerEvents &, int32_t id, VARIANT_BOOL present,
                                       const std::wstring &comments, int32_t status, int32_t rating) {
      Heard.push_back("DocumentDataChange");
      Data.push_back({id, present, comments, status, rating});
    };
  }
};

struct TResult {
  HRESULT Hr = S_OK;
  UINT ArgErr = ~0u;
  HRESULT Scode = S_OK;
  std::wstring Source, Description;
};

// Invokes `sink` with the variants as stored in the block (`stored[0]` is
// rgvarg[0]) and the named positions, both in guarded memory.
TResult Invoke(IDispatch &sink, DISPID id, const std::vector<VARIANT> &stored, const std::vector<DISPID> &named = {},
               WORD flags = DISPATCH_METHOD, bool withExcepInfo = true) {
  TGuarded<VARIANT> args(stored.size());
  TGuarded<DISPID> names(named.size());
  std::copy(stored.begin(), stored.end(), args.Data());
  std::copy(named.begin(), named.end(), names.Data());
  DISPPARAMS params{args.Data(), names.Data(), static_cast<UINT>(stored.size()), static_cast<UINT>(named.size())};
  EXCEPINFO excep{};
  TResult r;
  r.Hr = sink.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, nullptr, withExcepInfo ? &excep : nullptr,
                     &r.ArgErr);
  r.Scode = excep.scode;
  if (excep.bstrSource)
    r.Source = excep.bstrSource;
  if (excep.bstrDescription)
    r.Description = excep.bstrDescription;
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return r;
}

// A string variant (com::Variant(L"...") would take the bool constructor).
com::Variant Text(const wchar_t *text) { return com::Variant(std::wstring_view(text)); }
VARIANT Int(LONG value) {
  VARIANT v;
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}
VARIANT Bool(VARIANT_BOOL value) {
  VARIANT v;
  v.vt = VT_BOOL;
  v.boolVal = value;
  return v;
}
VARIANT Str(BSTR value) {
  VARIANT v;
  v.vt = VT_BSTR;
  v.bstrVal = value;
  return v;
}
VARIANT Typed(VARTYPE type, void *byref = nullptr) {
  VARIANT v;
  VariantInit(&v);
  v.vt = type;
  v.byref = byref;
  return v;
}

// Counts calls made on it; an argument must never be asked for its value.
class TCountingDispatch : public IDispatch {
public:
  int Calls = 0;
  STDMETHODIMP QueryInterface(REFIID, void **out) override {
    ++Calls;
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT *) override { return ++Calls, E_NOTIMPL; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return ++Calls, E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return ++Calls, E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *result, EXCEPINFO *, UINT *) override {
    ++Calls;
    if (result) {
      result->vt = VT_I4;
      result->lVal = 99;
    }
    return S_OK;
  }
};

} // namespace

TEST(TervaneEvents, EachEventReachesItsOwnHandler) {
  const struct {
    DISPID Id;
    const char *Handler;
  } cases[] = {{201, "Quit"},
               {202, "RefreshHighlight"},
               {204, "SettingsChange"},
               {205, "FunctionalityChange"},
               {206, "QuickGroupChange"},
               {207, "LanguageChange"}};
  for (const auto &c : cases) {
    TRecordingEvents events;
    EXPECT_EQ(Invoke(events.Sink, c.Id, {}).Hr, S_OK) << c.Id;
    EXPECT_EQ(events.Heard, std::vector<std::string>{c.Handler}) << c.Id;
  }
  for (DISPID id : {0, 200, 208, -1}) {
    TRecordingEvents events;
    EXPECT_EQ(Invoke(events.Sink, id, {}).Hr, DISP_E_MEMBERNOTFOUND) << id;
    EXPECT_TRUE(events.Heard.empty()) << id;
  }
  // Unassigned handlers: the host still hears success.
  TZUTervaneIGUIServerEvents bare;
  com::Variant comments = Text(L"c");
  for (DISPID id = 201; id <= 207; ++id) {
    const std::vector<VARIANT> args =
        id == 203 ? std::vector<VARIANT>{Int(1), Int(2), comments.Get(), Bool(0), Int(3)} : std::vector<VARIANT>{};
    EXPECT_EQ(Invoke(bare, id, args).Hr, S_OK) << id;
  }
}

TEST(TervaneEvents, DocumentDataArrivesInOrderPositionalOrNamed) {
  com::Variant comments = Text(L"Seen before");
  const TDocumentData expected{7, VARIANT_TRUE, L"Seen before", 2, 5};
  // Positional: last argument first.
  const std::vector<VARIANT> reversed = {Int(5), Int(2), comments.Get(), Bool(VARIANT_TRUE), Int(7)};
  // Named: any order, each with its position.
  const std::vector<VARIANT> namedValues = {comments.Get(), Int(5), Int(7), Int(2), Bool(VARIANT_TRUE)};
  const std::vector<DISPID> names = {2, 4, 0, 3, 1};
  // Mixed: the named ones come first in the block.
  const std::vector<VARIANT> mixedValues = {Int(5), Int(2), comments.Get(), Bool(VARIANT_TRUE), Int(7)};
  const std::vector<DISPID> mixedNames = {4, 3};

  for (const auto &[args, named] : {std::pair{reversed, std::vector<DISPID>{}}, std::pair{namedValues, names},
                                    std::pair{mixedValues, mixedNames}}) {
    TRecordingEvents events;
    EXPECT_EQ(Invoke(events.Sink, 203, args, named).Hr, S_OK);
    EXPECT_EQ(events.Data, std::vector<TDocumentData>{expected});
  }
}

TEST(TervaneEvents, OnlyMethodCallsAreSunk) {
  TRecordingEvents events;
  const TResult get = Invoke(events.Sink, 201, {}, {}, DISPATCH_PROPERTYGET);
  EXPECT_EQ(get.Hr, DISP_E_EXCEPTION);
  EXPECT_TRUE(FAILED(get.Scode));
  EXPECT_EQ(get.Description, L"TZUTervaneIGUIServerEvents only supports sinking of method calls!");
  EXPECT_EQ(Invoke(events.Sink, 201, {}, {}, DISPATCH_PROPERTYPUT, false).Hr, E_UNEXPECTED);
  EXPECT_TRUE(events.Heard.empty());
  // Callers that cannot tell a method from a property ask for both.
  EXPECT_EQ(Invoke(events.Sink, 201, {}, {}, DISPATCH_METHOD | DISPATCH_PROPERTYGET).Hr, S_OK);
  EXPECT_EQ(events.Heard, std::vector<std::string>{"Quit"});
}

TEST(TervaneEvents, AFailingHandlerFailsTheEventForTheHost) {
  TZUTervaneIGUIServerEvents sink;
  sink.OnSettingsChange = [](TZUTervaneIGUIServerEvents &) { Traced(227, [] { OleCheck(E_ACCESSDENIED); }); };
  sink.OnQuit = [](TZUTervaneIGUIServerEvents &) {
    throw EOleException("Host said no", static_cast<int32_t>(0x80040201), "Host", "");
  };
  const TResult plain = Invoke(sink, 204, {});
  EXPECT_EQ(plain.Hr, DISP_E_EXCEPTION);
  EXPECT_EQ(plain.Scode, E_UNEXPECTED);
  EXPECT_EQ(plain.Source, L"TZUTervaneIGUIServerEvents");
  EXPECT_NE(plain.Description.find(L"\r\n>>227"), std::wstring::npos) << plain.Description;
  const TResult coded = Invoke(sink, 201, {});
  EXPECT_EQ(coded.Hr, DISP_E_EXCEPTION);
  EXPECT_EQ(coded.Scode, static_cast<HRESULT>(0x80040201));
  EXPECT_EQ(coded.Description, L"Host said no");
  EXPECT_EQ(Invoke(sink, 201, {}, {}, DISPATCH_METHOD, false).Hr, static_cast<HRESULT>(0x80040201));
}

TEST(TervaneEvents, AnswersForItsDispatchAndTheEventInterfaceOnly) {
  TZUTervaneIGUIServerEvents sink;
  for (const IID *iid : {&IID_IUnknown, &IID_IDispatch, &DIID_IGUIServerEvents}) {
    void *out = nullptr;
    EXPECT_EQ(sink.QueryInterface(*iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<IDispatch *>(&sink));
  }
  void *out = &sink;
  EXPECT_EQ(sink.QueryInterface(IID_IGUIServer, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(sink.AddRef(), 2u);
  EXPECT_EQ(sink.Release(), 1u);
  EXPECT_EQ(sink.Release(), 1u);
  UINT count = 5;
  EXPECT_EQ(sink.GetTypeInfoCount(&count), E_NOTIMPL);
  EXPECT_EQ(count, 0u);
  ITypeInfo *info = reinterpret_cast<ITypeInfo *>(&sink);
  EXPECT_EQ(sink.GetTypeInfo(0, 0, &info), E_NOTIMPL);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(sink.GetIDsOfNames(IID_NULL, nullptr, 0, 0, nullptr), E_NOTIMPL);
}

TEST(TervaneEvents, HostileParameterBlocksAreRefusedWithoutReadingPastThem) {
  com::Variant comments = Text(L"c"), text = Text(L"x");
  TCountingDispatch object;
  IDispatch *objectRef = &object;
  BSTR *nullString = nullptr;
  LONG byRefInt = 41;
  VARIANT inner = Str(comments.Get().bstrVal);
  com::Variant bytes;
  {
    SAFEARRAY *array = SafeArrayCreateVector(VT_UI1, 0, 2);
    VARIANT *slot = bytes.Receive();
    slot->vt = VT_ARRAY | VT_UI1;
    slot->parray = array;
  }
  VARIANT missing = Typed(VT_ERROR);
  missing.scode = DISP_E_PARAMNOTFOUND;
  const VARIANT c = comments.Get();

  const struct TCase {
    const char *Name;
    std::vector<VARIANT> Stored; // rgvarg as the host stores it
    std::vector<DISPID> Named;
    HRESULT Hr;
    UINT ArgErr; // ~0u: not set
  } cases[] = {
      {"no arguments", {}, {}, DISP_E_BADPARAMCOUNT, ~0u},
      {"four arguments", {Int(4), c, Bool(0), Int(1)}, {}, DISP_E_BADPARAMCOUNT, ~0u},
      {"more names than arguments", {Int(1)}, {0, 1}, DISP_E_BADPARAMCOUNT, ~0u},
      {"named position at the count", {Int(1), Bool(0), c, Int(2), Int(3)}, {0, 1, 2, 3, 5}, DISP_E_PARAMNOTFOUND, 4},
      {"negative named position", {Int(1), Bool(0), c, Int(2), Int(3)}, {DISPID_PROPERTYPUT}, DISP_E_PARAMNOTFOUND, 0},
      {"object as the ID", {Int(5), Int(2), c, Bool(0), Typed(VT_DISPATCH, &object)}, {}, DISP_E_TYPEMISMATCH, 4},
      {"object by reference",
       {Int(5), Int(2), c, Bool(0), Typed(VT_BYREF | VT_DISPATCH, &objectRef)},
       {},
       DISP_E_TYPEMISMATCH,
       4},
      {"text as the ID", {Int(5), Int(2), c, Bool(0), text.Get()}, {}, DISP_E_TYPEMISMATCH, 4},
      {"null string reference",
       {Int(5), Int(2), Typed(VT_BYREF | VT_BSTR, nullString), Bool(0), Int(7)},
       {},
       DISP_E_TYPEMISMATCH,
       2},
      {"null variant reference",
       {Int(5), Typed(VT_BYREF | VT_VARIANT), c, Bool(0), Int(7)},
       {},
       DISP_E_TYPEMISMATCH,
       1},
      {"array as the comments", {Int(5), Int(2), bytes.Get(), Bool(0), Int(7)}, {}, DISP_E_TYPEMISMATCH, 2},
      {"missing rating", {missing, Int(2), c, Bool(0), Int(7)}, {}, DISP_E_TYPEMISMATCH, 0},
      // What converts cleanly is taken.
      {"values by reference",
       {Int(5), Typed(VT_BYREF | VT_I4, &byRefInt), Typed(VT_BYREF | VT_VARIANT, &inner), Bool(-1), Int(7)},
       {},
       S_OK,
       ~0u},
      {"a sixth argument", {Int(6), Int(5), Int(2), c, Bool(-1), Int(7)}, {}, S_OK, ~0u},
  };
  for (const TCase &k : cases) {
    TRecordingEvents events;
    const TResult r = Invoke(events.Sink, 203, k.Stored, k.Named);
    EXPECT_EQ(r.Hr, k.Hr) << k.Name;
    EXPECT_EQ(r.ArgErr, k.ArgErr) << k.Name;
    EXPECT_EQ(events.Data.size(), SUCCEEDED(k.Hr) ? 1u : 0u) << k.Name;
  }
  EXPECT_EQ(object.Calls, 0);

  TRecordingEvents events;
  const TResult distant = Invoke(events.Sink, 203, {Int(1), Bool(0), c, Int(2), Int(3)}, {70000});
  EXPECT_EQ(distant.Hr, DISP_E_EXCEPTION);
  EXPECT_EQ(distant.Description, L"Range check error");
  // No block at all, or counts without arrays.
  EXPECT_EQ(events.Sink.Invoke(201, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), S_OK);
  DISPPARAMS lying{nullptr, nullptr, 5, 0};
  EXPECT_EQ(events.Sink.Invoke(203, IID_NULL, 0, DISPATCH_METHOD, &lying, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_TRUE(events.Data.empty());
}

TEST(TervaneEventsConnection, AdvisesOnTheServerAndLeavesItAgain) {
  auto server = fakes::TFakeGUIServer::Create();
  TRecordingEvents events;
  events.Sink.ConnectTo(static_cast<IGUIServer *>(server.Get()));
  events.Sink.ConnectTo(static_cast<IGUIServer *>(server.Get())); // once is enough
  EXPECT_TRUE(events.Sink.Connected());
  EXPECT_EQ(server->AdviseCount(), 1u);
  EXPECT_EQ(server->FireDocumentDataChange(7, VARIANT_TRUE, L"c", 2, 5), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(server->FireDocumentDataChangeNamed(7, VARIANT_TRUE, L"c", 2, 5), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(server->FireQuit(), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(events.Data, (std::vector<TDocumentData>{{7, VARIANT_TRUE, L"c", 2, 5}, {7, VARIANT_TRUE, L"c", 2, 5}}));
  EXPECT_EQ(events.Heard.back(), "Quit");
  events.Sink.Disconnect();
  EXPECT_FALSE(events.Sink.Connected());
  EXPECT_EQ(server->AdviseCount(), 0u);
  EXPECT_EQ(server->UnadviseCalls(), 2u);
}

TEST(TervaneEventsConnection, ADeadServerIsLetGoAndNotConnectedTo) {
  // The dead server keeps its pointer to the sink, so the sink outlives it.
  TZUTervaneIGUIServerEvents sink;
  auto server = fakes::TFakeGUIServer::Create();
  {
    sink.ConnectTo(static_cast<IGUIServer *>(server.Get()));
    server->SetDead(true);
    sink.Disconnect();
    EXPECT_FALSE(sink.Connected());
    EXPECT_EQ(sink.Source(), nullptr);
  }
  // The dead server's references were given back: the fake goes with the test.
  const auto failure = [](IUnknown *server) {
    TZUTervaneIGUIServerEvents sink("Events");
    try {
      sink.ConnectTo(server);
    } catch (const Exception &e) {
      EXPECT_FALSE(sink.Connected());
      return e.Message();
    }
    return std::string("connected");
  };
  const std::string dead = failure(static_cast<IGUIServer *>(server.Get()));
  EXPECT_EQ(dead.rfind("Unable to connect Events.\r", 0), 0u) << dead;
  EXPECT_GT(dead.size(), std::string("Unable to connect Events.\r").size());
  EXPECT_EQ(failure(nullptr), "Unable to connect Events.\rNo server was given.");
  TCountingDispatch noContainer;
  EXPECT_EQ(failure(&noContainer).rfind("Unable to connect Events.\r", 0), 0u);
}
