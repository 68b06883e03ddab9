// The fake host: found through the running-object table, answers as scripted,
// and fires events at advised sinks the way an automation server does.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "FakeGUIServer.h"
#include "HostEventSink.h"
#include "com/Bstr.h"
#include "com/SafeArray.h"

using Microsoft::WRL::ComPtr;

namespace {

// Records every Invoke; optionally unadvises itself from inside the call.
class TRecordingSink : public fakes::THostEventSink<TRecordingSink> {
public:
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *, EXCEPINFO *,
                      UINT *) override {
    Dispids.push_back(id);
    Flags = flags;
    Args.clear();
    Named.assign(params->rgdispidNamedArgs, params->rgdispidNamedArgs + params->cNamedArgs);
    for (UINT i = 0; i < params->cArgs; ++i)
      Args.push_back(com::Variant::Copy(params->rgvarg[i]));
    if (UnadviseFrom) {
      UnadviseFrom->Unadvise(Cookie);
      UnadviseFrom = nullptr;
    }
    return Answer;
  }

  std::vector<DISPID> Dispids;
  WORD Flags = 0;
  std::vector<com::Variant> Args; // as stored: last argument first
  std::vector<DISPID> Named;
  HRESULT Answer = S_OK;
  IConnectionPoint *UnadviseFrom = nullptr;
  DWORD Cookie = 0;
};

ComPtr<IConnectionPoint> EventsOf(IUnknown *server) {
  ComPtr<IConnectionPointContainer> container;
  EXPECT_EQ(server->QueryInterface(IID_PPV_ARGS(&container)), S_OK);
  ComPtr<IConnectionPoint> point;
  if (container) {
    EXPECT_EQ(container->FindConnectionPoint(DIID_IGUIServerEvents, &point), S_OK);
  }
  return point;
}

ComPtr<IGUIServer> ActiveHost() {
  ComPtr<IUnknown> active;
  ComPtr<IGUIServer> server;
  if (SUCCEEDED(GetActiveObject(CLSID_GUIServer, nullptr, &active)))
    active.As(&server);
  return server;
}

} // namespace

TEST(FakeGUIServer, IsTheActiveHostWhileRegistered) {
  {
    fakes::TRunningHost host;
    ASSERT_EQ(host.Registration(), S_OK);
    host->Answers().DocumentID = 42;
    ComPtr<IGUIServer> server = ActiveHost();
    ASSERT_TRUE(server);
    LONG id = 0;
    EXPECT_EQ(server->GetDocumentID(com::Bstr(L"http://a/").Get(), &id), S_OK);
    EXPECT_EQ(id, 42);
    EXPECT_EQ(host->Calls(), (std::vector<std::wstring>{L"GetDocumentID(http://a/)"}));
  }
  EXPECT_FALSE(ActiveHost());
}

TEST(FakeGUIServer, AnswersFailuresAndDeath) {
  auto host = fakes::TFakeGUIServer::Create();
  host->Answers().DataComments = L"seen";
  host->Answers().DataID = 9;
  LONG id = 0, status = 0, rating = 0;
  com::Bstr comments;
  const com::Bstr url(L"http://b/");
  EXPECT_EQ(host->GetDocumentData(url.Get(), &id, comments.Receive(), &status, &rating), S_OK);
  EXPECT_EQ(id, 9);
  EXPECT_EQ(comments.Str(), L"seen");

  host->FailWith(L"GetDocumentData", E_FAIL);
  EXPECT_EQ(host->GetDocumentData(url.Get(), &id, comments.Receive(), &status, &rating), E_FAIL);
  EXPECT_EQ(id, 0) << "a failed call leaves its out-arguments empty";
  EXPECT_EQ(comments.Get(), nullptr);
  EXPECT_EQ(host->SetHighlightEnabled(VARIANT_TRUE), S_OK) << "only the named operation fails";

  host->SetDead(true);
  EXPECT_EQ(host->ShowSettings(), RPC_E_DISCONNECTED);
  EXPECT_EQ(host->Reserved41(), RPC_E_DISCONNECTED);
  ComPtr<IConnectionPointContainer> container;
  ASSERT_EQ(host.As(&container), S_OK);
  ComPtr<IConnectionPoint> point;
  EXPECT_EQ(container->FindConnectionPoint(DIID_IGUIServerEvents, &point), RPC_E_DISCONNECTED);

  EXPECT_EQ(host->Calls(), (std::vector<std::wstring>{L"GetDocumentData(http://b/)", L"GetDocumentData(http://b/)",
                                                      L"SetHighlightEnabled(-1)", L"ShowSettings()", L"Reserved41()"}));
  EXPECT_EQ(host->CallCount(L"GetDocumentData"), 2u);
  EXPECT_EQ(host->CallCount(L"GetDocument"), 0u);
}

TEST(FakeGUIServer, ArraysGoBothWays) {
  auto host = fakes::TFakeGUIServer::Create();
  host->Answers().UrlStates[L"http://known/"] = 3;
  const auto urls = fakes::StringArray({L"http://known/", L"http://other/"});
  com::Variant states = fakes::StringArray({L"", L""});
  EXPECT_EQ(host->GetUrlStates(urls.Get(), const_cast<VARIANT *>(&states.Get())), S_OK);
  com::SafeArrayAccess data(states.Get().parray);
  ASSERT_EQ(data.Count(), 2u);
  EXPECT_EQ(data.As<VARIANT>()[0].vt, VT_I4);
  EXPECT_EQ(data.As<VARIANT>()[0].lVal, 3);
  EXPECT_EQ(data.As<VARIANT>()[1].lVal, -1);

  host->Answers().TranslationPrefix = L"de:";
  com::Variant translated;
  EXPECT_EQ(host->TranslateStrings(fakes::StringArray({L"Open", L"Close"}).Get(), translated.Receive()), S_OK);
  EXPECT_EQ(fakes::StringsOf(translated.Get()), (std::vector<std::wstring>{L"de:Open", L"de:Close"}));

  host->Answers().DomainLinks = fakes::Int32Array({1, -2});
  com::Variant ids;
  EXPECT_EQ(host->GetDomainLinks(com::Bstr(L"http://c/").Get(), ids.Receive()), S_OK);
  EXPECT_EQ(fakes::BytesOf(ids.Get()), (std::vector<BYTE>{1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(host->Calls()[0], L"GetUrlStates([http://known/|http://other/])");
}

TEST(FakeGUIServer, LateBoundCallsGoThroughTheTypeLibrary) {
  auto host = fakes::TFakeGUIServer::Create();
  ComPtr<IDispatch> dispatch;
  ASSERT_EQ(host.As(&dispatch), S_OK);
  LPOLESTR name = const_cast<LPOLESTR>(L"ShowComments");
  DISPID id = 0;
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 34);
  com::Variant arg(5L);
  VARIANT args[] = {arg.Get()};
  DISPPARAMS params{args, nullptr, 1, 0};
  EXPECT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(host->Calls(), (std::vector<std::wstring>{L"ShowComments(5)"}));
}

TEST(FakeGUIServer, FiresEventsAtAdvisedSinks) {
  auto host = fakes::TFakeGUIServer::Create();
  ComPtr<IConnectionPoint> point = EventsOf(static_cast<IGUIServer *>(host.Get()));
  ASSERT_TRUE(point);
  auto first = com::MakeObject<TRecordingSink>();
  auto second = com::MakeObject<TRecordingSink>();
  DWORD firstCookie = 0, secondCookie = 0;
  ASSERT_EQ(point->Advise(first.Get(), &firstCookie), S_OK);
  ASSERT_EQ(point->Advise(second.Get(), &secondCookie), S_OK);
  EXPECT_EQ(host->AdviseCount(), 2u);

  second->Answer = E_FAIL;
  EXPECT_EQ(host->FireDocumentDataChange(7, VARIANT_TRUE, L"note", 2, 5), (std::vector<HRESULT>{S_OK, E_FAIL}));
  ASSERT_EQ(first->Args.size(), 5u);
  EXPECT_EQ(first->Dispids.back(), 203);
  EXPECT_EQ(first->Flags, DISPATCH_METHOD);
  EXPECT_EQ(first->Args[4].Get().lVal, 7) << "the first argument is stored last";
  EXPECT_EQ(first->Args[3].Get().boolVal, VARIANT_TRUE);
  EXPECT_EQ(std::wstring(first->Args[2].Get().bstrVal), L"note");
  EXPECT_EQ(first->Args[1].Get().lVal, 2);
  EXPECT_EQ(first->Args[0].Get().lVal, 5);

  host->FireDocumentDataChangeNamed(7, VARIANT_TRUE, L"note", 2, 5);
  ASSERT_EQ(first->Named.size(), 5u);
  for (size_t j = 0; j < 5; ++j) {
    const VARIANT &v = first->Args[j].Get();
    switch (first->Named[j]) {
    case 0:
      EXPECT_EQ(v.lVal, 7);
      break;
    case 1:
      EXPECT_EQ(v.boolVal, VARIANT_TRUE);
      break;
    case 2:
      EXPECT_EQ(std::wstring(v.bstrVal), L"note");
      break;
    case 3:
      EXPECT_EQ(v.lVal, 2);
      break;
    case 4:
      EXPECT_EQ(v.lVal, 5);
      break;
    default:
      ADD_FAILURE() << "named DISPID " << first->Named[j];
    }
  }

  // A sink that unadvises while it hears OnQuit does not disturb the others.
  first->UnadviseFrom = point.Get();
  first->Cookie = firstCookie;
  EXPECT_EQ(host->FireQuit().size(), 2u);
  EXPECT_EQ(second->Dispids.back(), 201);
  EXPECT_EQ(host->AdviseCount(), 1u);
  EXPECT_EQ(point->Unadvise(firstCookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(host->FireLanguageChange(), (std::vector<HRESULT>{E_FAIL}));
  EXPECT_EQ(point->Unadvise(secondCookie), S_OK);
  EXPECT_EQ(host->AdviseCount(), 0u);
}

TEST(FakeGUIServer, RefusesSinksWithoutTheEventInterface) {
  auto host = fakes::TFakeGUIServer::Create();
  ComPtr<IConnectionPoint> point = EventsOf(static_cast<IGUIServer *>(host.Get()));
  ASSERT_TRUE(point);
  DWORD cookie = 1;
  // The server itself is a dispatch object, but not an event sink.
  EXPECT_EQ(point->Advise(static_cast<IGUIServer *>(host.Get()), &cookie), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(cookie, 0u);
}
