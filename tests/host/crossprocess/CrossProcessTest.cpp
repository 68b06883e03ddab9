// The host in a process of its own: two browser-like threads reach it through
// the running-object table and the type-library marshaller, hear its events
// through their own message loops, lose it when it is killed and find the new
// one when it starts again; first through raw proxies, then through each
// thread's server wrapper and its forms.
#include <gtest/gtest.h>

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "BrowserThread.h"
#include "HostProcess.h"
#include "ZUTervane.h"
#include "com/Bstr.h"
#include "com/ComObject.h"
#include "tests/fakes/host/HostEventSink.h"
#include "toolbar/host/ServerWrapperUnit.h"

using Microsoft::WRL::ComPtr;

namespace {

// Counts the events it hears and the thread it hears them on.
class TCountingSink : public fakes::THostEventSink<TCountingSink> {
public:
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *, EXCEPINFO *, UINT *) override {
    LastDispid = id;
    LastThread = GetCurrentThreadId();
    LastArgCount = params ? params->cArgs : 0;
    if (id == 203 && params && params->cArgs == 5 && params->rgvarg[4].vt == VT_I4)
      LastDocumentID = params->rgvarg[4].lVal;
    ++Heard;
    return S_OK;
  }

  std::atomic<int> Heard{0};
  DISPID LastDispid = 0;
  DWORD LastThread = 0;
  UINT LastArgCount = 0;
  long LastDocumentID = 0;
};

// One thread's raw link to the host: the server proxy and an advised sink.
struct TRawLink {
  ComPtr<IGUIServer> Server;
  ComPtr<IConnectionPoint> Point;
  ComPtr<TCountingSink> Sink = com::MakeObject<TCountingSink>();
  DWORD Cookie = 0;

  HRESULT Attach() {
    Server.Reset();
    Point.Reset();
    ComPtr<IUnknown> active;
    HRESULT hr = GetActiveObject(CLSID_GUIServer, nullptr, &active);
    if (SUCCEEDED(hr))
      hr = active.As(&Server);
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(hr))
      hr = Server.As(&container);
    if (SUCCEEDED(hr))
      hr = container->FindConnectionPoint(DIID_IGUIServerEvents, &Point);
    if (SUCCEEDED(hr))
      hr = Point->Advise(static_cast<IDispatch *>(Sink.Get()), &Cookie);
    return hr;
  }
  // The proxies of a dead host are local objects: releasing them is safe.
  void Drop() {
    if (Point)
      Point->Unadvise(Cookie);
    Point.Reset();
    Server.Reset();
  }
};

const std::vector<std::wstring> HostAnswers = {L"/answer", L"DocumentID=42", L"/answer", L"CurrentRubricName=Inbox"};

} // namespace

TEST(CrossProcessHost, ReachedLostAndFoundAgainThroughMarshalling) {
  THostProcess host(HostAnswers);
  ASSERT_TRUE(host.Start()) << "the test host did not come up";

  TBrowserThread threads[2];
  TBrowserThread::TOwned<TRawLink> links[2];
  for (int t = 0; t < 2; ++t) {
    links[t] = threads[t].Make<TRawLink>();
    ASSERT_EQ(threads[t].Run([&] { return links[t]->Attach(); }), S_OK) << "thread " << t;
    const auto [hr, id] = threads[t].Run([&] {
      LONG id = 0;
      const com::Bstr url(L"http://thread" + std::to_wstring(t) + L"/");
      const HRESULT hr = links[t]->Server->GetDocumentID(url.Get(), &id);
      return std::make_pair(hr, id);
    });
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(id, 42) << "an out-argument crosses back";
  }
  EXPECT_EQ(host.Calls(),
            (std::vector<std::wstring>{L"GetDocumentID(http://thread0/)", L"GetDocumentID(http://thread1/)"}));
  EXPECT_TRUE(host.WaitForLines(L"Advise ", 2));

  // An event reaches each thread's sink on that thread.
  ASSERT_TRUE(host.Fire(203, 77));
  for (int t = 0; t < 2; ++t) {
    ASSERT_TRUE(threads[t].WaitUntil([&] { return links[t]->Sink->Heard == 1; })) << "thread " << t;
    EXPECT_EQ(links[t]->Sink->LastDispid, 203);
    EXPECT_EQ(links[t]->Sink->LastThread, threads[t].Id());
    EXPECT_EQ(links[t]->Sink->LastDocumentID, 77);
  }
  EXPECT_TRUE(host.WaitForLines(L"fired 203 0 0", 1));

  // Killed: calls through the old proxies fail instead of hanging.
  host.Kill();
  for (int t = 0; t < 2; ++t) {
    const HRESULT hr = threads[t].Run([&] {
      com::Bstr name;
      return links[t]->Server->GetCurrentRubricName(name.Receive());
    });
    EXPECT_TRUE(FAILED(hr)) << "thread " << t << ": 0x" << std::hex << hr;
    threads[t].Run([&] { links[t]->Drop(); });
  }

  // The dead host's registration is gone with it.
  EXPECT_TRUE(threads[0].Run([] {
    ComPtr<IUnknown> active;
    return FAILED(GetActiveObject(CLSID_GUIServer, nullptr, &active));
  }));

  // Started again: the new server is the one found, not the dead registration.
  ASSERT_TRUE(host.Start());
  EXPECT_TRUE(host.WaitForLines(L"registered 0", 1, std::chrono::seconds(0)))
      << "the killed host's entry was still in the running-object table";
  for (int t = 0; t < 2; ++t) {
    ASSERT_EQ(threads[t].Run([&] { return links[t]->Attach(); }), S_OK) << "thread " << t;
    const HRESULT hr = threads[t].Run([&] {
      com::Bstr name;
      const HRESULT hr = links[t]->Server->GetCurrentRubricName(name.Receive());
      EXPECT_EQ(name.Str(), L"Inbox");
      return hr;
    });
    EXPECT_EQ(hr, S_OK);
  }
  EXPECT_EQ(host.Calls(), (std::vector<std::wstring>{L"GetCurrentRubricName()", L"GetCurrentRubricName()"}));

  for (auto &link : links)
    link.reset();
  EXPECT_TRUE(host.Quit()) << "the host did not quit when told";
}

namespace {

// A server-connected form that counts what it hears, and on which thread.
class TListeningForm : public kwo::IServerNotifications {
public:
  void ServerConnected(kwo::TServerWrapper *wrapper) override { Note(Connected, wrapper); }
  void ServerLost(kwo::TServerWrapper *wrapper) override { Note(Lost, wrapper); }
  void DocumentDataChanged(kwo::TServerWrapper *wrapper, int32_t AID, bool APresent, const std::wstring &AComments,
                           int32_t AStatus, int32_t ARating) override {
    Note(DataChanged, wrapper);
    Data = {AID, APresent, AComments, AStatus, ARating};
  }
  void SettingsChanged(kwo::TServerWrapper *wrapper) override { Note(Settings, wrapper); }
  void QuickGroupsChanged(kwo::TZUTervaneIGUIServerEvents *) override { Note(QuickGroups, nullptr); }

  struct TData {
    int32_t ID = 0;
    bool Present = false;
    std::wstring Comments;
    int32_t Status = 0, Rating = 0;
    bool operator==(const TData &) const = default;
  };
  int Connected = 0, Lost = 0, DataChanged = 0, Settings = 0, QuickGroups = 0;
  TData Data;
  // Set when a notification came on another thread or from another wrapper.
  bool Stray = false;
  DWORD Thread = GetCurrentThreadId();
  kwo::TServerWrapper *Wrapper = nullptr;

private:
  void Note(int &counter, kwo::TServerWrapper *wrapper) {
    ++counter;
    if (GetCurrentThreadId() != Thread || (wrapper && wrapper != Wrapper))
      Stray = true;
  }
};

// What a browser thread holds: its wrapper, as the first toolbar form makes
// it, two registered forms and a window of the thread.
struct TBrowserSide {
  TListeningForm Forms[2];
  std::unique_ptr<kwo::TServerWrapper> Wrapper;
  HHOOK Hook = nullptr;
  HWND Window = nullptr;

  TBrowserSide() {
    Wrapper = std::make_unique<kwo::TServerWrapper>();
    kwo::ThreadServerWrapper = Wrapper.get();
    Hook = kwo::ThreadServerHook;
    for (auto &form : Forms) {
      form.Wrapper = Wrapper.get();
      Wrapper->RegisterForm(&form);
    }
    Window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  ~TBrowserSide() {
    DestroyWindow(Window);
    for (auto &form : Forms)
      Wrapper->UnregisterForm(&form);
    Wrapper.reset();
    kwo::ThreadServerWrapper = nullptr;
  }

  bool All(int TListeningForm::*counter, int count) const {
    return Forms[0].*counter == count && Forms[1].*counter == count;
  }
  bool Stray() const { return Forms[0].Stray || Forms[1].Stray; }
};

} // namespace

TEST(CrossProcessHost, EachThreadsWrapperLosesTheKilledHostAndFindsTheRestartedOne) {
  THostProcess host(HostAnswers);
  ASSERT_TRUE(host.Start()) << "the test host did not come up";

  TBrowserThread threads[2];
  TBrowserThread::TOwned<TBrowserSide> sides[2];
  for (int t = 0; t < 2; ++t) {
    sides[t] = threads[t].Make<TBrowserSide>();
    EXPECT_TRUE(threads[t].Run([&] { return kwo::ThreadServerWrapper == sides[t]->Wrapper.get(); }));
    EXPECT_NE(sides[t]->Hook, nullptr);
    EXPECT_TRUE(threads[t].Run([&] { return sides[t]->Wrapper->IsConnected(); })) << "thread " << t;
  }
  EXPECT_NE(sides[0]->Wrapper.get(), sides[1]->Wrapper.get());
  EXPECT_NE(sides[0]->Hook, sides[1]->Hook);
  EXPECT_TRUE(threads[0].Run([] { return kwo::ThreadServerWrapper; }) !=
              threads[1].Run([] { return kwo::ThreadServerWrapper; }));

  for (int t = 0; t < 2; ++t)
    EXPECT_EQ(threads[t].Run([&] { return sides[t]->Wrapper->GetDocumentID(L"http://thread" + std::to_wstring(t)); }),
              42);
  EXPECT_EQ(host.Calls(),
            (std::vector<std::wstring>{L"GetDocumentID(http://thread0)", L"GetDocumentID(http://thread1)"}));
  EXPECT_TRUE(host.WaitForLines(L"Advise ", 2)) << "each wrapper advises its own sink";

  // Events come through each thread's message loop to both of its forms.
  ASSERT_TRUE(host.Fire(206));
  ASSERT_TRUE(host.Fire(203, 77));
  for (int t = 0; t < 2; ++t) {
    ASSERT_TRUE(threads[t].WaitUntil([&] {
      return sides[t]->All(&TListeningForm::QuickGroups, 1) && sides[t]->All(&TListeningForm::DataChanged, 1);
    })) << "thread "
        << t;
    for (const auto &form : sides[t]->Forms)
      EXPECT_EQ(form.Data, (TListeningForm::TData{77, true, L"comments 77", 2, 3}));
  }

  // Killed mid-session: the next call in each thread loses the host once.
  host.Kill();
  for (int t = 0; t < 2; ++t) {
    EXPECT_EQ(threads[t].Run([&] { return sides[t]->Wrapper->GetDocumentID(L"http://after/"); }), -1);
    EXPECT_TRUE(threads[t].Run([&] { return sides[t]->All(&TListeningForm::Lost, 1); })) << "thread " << t;
    const auto later = threads[t].Run([&] {
      std::wstring name = L"stale";
      sides[t]->Wrapper->GetCurrentRubricName(name);
      return std::make_tuple(sides[t]->Wrapper->IsConnected(), name, sides[t]->Wrapper->HasDomainLinks(L"http://x/"),
                             sides[t]->Wrapper->GetQuickGroupCount());
    });
    EXPECT_EQ(later, std::make_tuple(false, std::wstring(), false, 0));
    EXPECT_TRUE(threads[t].Run([&] { return sides[t]->All(&TListeningForm::Lost, 1); }))
        << "later calls call nothing and lose nothing more";
  }

  // Started again and announced: thread 0 by a thread message, thread 1
  // through one of its windows.
  ASSERT_TRUE(host.Start());
  EXPECT_TRUE(PostThreadMessageW(threads[0].Id(), kwo::WM_HOSTSERVERREADY, 0, 0));
  EXPECT_TRUE(PostMessageW(sides[1]->Window, kwo::WM_HOSTSERVERREADY, 0, 0));
  for (int t = 0; t < 2; ++t) {
    ASSERT_TRUE(threads[t].WaitUntil([&] { return sides[t]->All(&TListeningForm::Connected, 1); })) << "thread " << t;
    EXPECT_TRUE(threads[t].Run([&] {
      std::wstring name;
      sides[t]->Wrapper->GetCurrentRubricName(name);
      return name;
    }) == L"Inbox");
  }
  EXPECT_EQ(host.Calls(), (std::vector<std::wstring>{L"GetCurrentRubricName()", L"GetCurrentRubricName()"}));
  ASSERT_TRUE(host.Fire(204));
  for (int t = 0; t < 2; ++t) {
    EXPECT_TRUE(threads[t].WaitUntil([&] { return sides[t]->All(&TListeningForm::Settings, 1); }))
        << "thread " << t << " advised the new host";
    EXPECT_TRUE(threads[t].Run([&] { return sides[t]->All(&TListeningForm::Lost, 1) && !sides[t]->Stray(); }));
  }

  // The last forms go: each wrapper unadvises from the live host.
  for (auto &side : sides)
    side.reset();
  EXPECT_TRUE(host.WaitForLines(L"Unadvise ", 2));
  EXPECT_TRUE(host.Quit()) << "the host did not quit when told";
}
