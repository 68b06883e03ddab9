// The host in a process of its own: two browser-like threads reach it through
// the running-object table and the type-library marshaller, hear its events
// through their own message loops, lose it when it is killed and find the new
// one when it starts again.
#include <gtest/gtest.h>

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "BrowserThread.h"
#include "HostProcess.h"
#include "ZUTervane.h"
#include "com/Bstr.h"
#include "com/ComObject.h"

using Microsoft::WRL::ComPtr;

namespace {

// Counts the events it hears and the thread it hears them on.
class TCountingSink : public com::TComObject<TCountingSink, IDispatch> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {
        ZU_INTERFACE(TCountingSink, IDispatch),
        {&DIID_IGUIServerEvents, com::InterfaceOffset<TCountingSink, IDispatch>()},
        ZU_INTERFACE_END};
    return table;
  }
  STDMETHODIMP GetTypeInfoCount(UINT *count) override {
    *count = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
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
  std::unique_ptr<TRawLink> links[2];
  for (int t = 0; t < 2; ++t) {
    links[t] = threads[t].Run([] { return std::make_unique<TRawLink>(); });
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

  for (int t = 0; t < 2; ++t)
    threads[t].Run([&] { links[t].reset(); });
  EXPECT_TRUE(host.Quit()) << "the host did not quit when told";
}
