// The thread's server wrapper on a host in the running-object table: safe
// calls, loss of the host, the thread hook's two messages and the fan-out of
// the host's events to the registered forms.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeBrowser.h"
#include "FakeGUIServer.h"
#include "com/SafeArray.h"
#include "toolbar/host/ServerWrapperUnit.h"
#include "toolbar/services/ZUSystem.h"

using namespace kwo;
using Microsoft::WRL::ComPtr;
using TLines = std::vector<std::wstring>;

namespace {

// A form that writes every notification into a shared log as
// "<name> <notification> <arguments>".
class TForm : public IServerNotifications {
public:
  TForm(std::wstring name, TLines &log) : FName(std::move(name)), FLog(log) {}

  // Runs before the notification is logged; may throw or call the wrapper.
  std::function<void(const std::wstring &notification)> OnNotify;

  void ServerConnected(TServerWrapper *wrapper) override { Note(L"ServerConnected", Sender(wrapper)); }
  void ServerLost(TServerWrapper *wrapper) override { Note(L"ServerLost", Sender(wrapper)); }
  void DocumentDataChanged(TServerWrapper *wrapper, int32_t id, bool present, const std::wstring &comments,
                           int32_t status, int32_t rating) override {
    Note(L"DocumentDataChanged", Sender(wrapper) + L" " + std::to_wstring(id) + L" " + (present ? L"true" : L"false") +
                                     L" " + comments + L" " + std::to_wstring(status) + L" " + std::to_wstring(rating));
  }
  void SettingsChanged(TServerWrapper *wrapper) override { Note(L"SettingsChanged", Sender(wrapper)); }
  void FunctionalityChanged(TZUTervaneIGUIServerEvents *sender) override {
    Note(L"FunctionalityChanged", Sender(sender));
  }
  void QuickGroupsChanged(TZUTervaneIGUIServerEvents *sender) override { Note(L"QuickGroupsChanged", Sender(sender)); }
  void LanguageChanged(TZUTervaneIGUIServerEvents *sender) override { Note(L"LanguageChanged", Sender(sender)); }
  void StatisticsChanged(TServerWrapper *wrapper, WPARAM kind, LPARAM value) override {
    Note(L"StatisticsChanged", Sender(wrapper) + L" " + std::to_wstring(kind) + L" " + std::to_wstring(value));
  }

private:
  static std::wstring Sender(const void *sender) {
    if (!sender)
      return L"null";
    if (sender == ThreadServerWrapper)
      return L"wrapper";
    if (ThreadServerWrapper && sender == &ThreadServerWrapper->Events())
      return L"sink";
    return L"other";
  }
  void Note(const std::wstring &notification, const std::wstring &args) {
    if (OnNotify)
      OnNotify(notification);
    FLog.push_back(FName + L" " + notification + L" " + args);
  }

  std::wstring FName;
  TLines &FLog;
};

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Little-endian pieces of the host's byte lists.
void AddInt(std::vector<BYTE> &bytes, int32_t value) {
  for (int i = 0; i < 4; ++i)
    bytes.push_back(static_cast<BYTE>(static_cast<uint32_t>(value) >> (8 * i)));
}
void AddText(std::vector<BYTE> &bytes, const std::wstring &text) {
  AddInt(bytes, static_cast<int32_t>(text.size()));
  for (wchar_t c : text) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>(c >> 8));
  }
}

com::Variant TwoDimensionalBytes() {
  SAFEARRAYBOUND bounds[2] = {{4, 0}, {4, 0}};
  com::Variant v;
  VARIANT *slot = v.Receive();
  slot->vt = VT_ARRAY | VT_UI1;
  slot->parray = SafeArrayCreate(VT_UI1, 2, bounds);
  return v;
}

com::Variant Text(const wchar_t *text) { return com::Variant(std::wstring_view(text)); }

// A host with an answer for every operation that returns something.
void AnswerEverything(fakes::TGUIServerAnswers &a) {
  a.DomainLinkCount = 2;
  a.CurrentRubricName = L"News";
  a.DocumentID = 12;
  a.DomainLinkUrls[3] = L"http://l/";
  a.DomainLinks = fakes::Int32Array({4, 5});
  a.DataID = 21;
  a.DataComments = L"Seen";
  a.DataStatus = 2;
  a.DataRating = 4;
  a.BrowserWindows = fakes::BrowserList({{L"One", 1, L"h1"}, {L"Two", 2, L"h2"}});
  a.QuickGroups = {{false, L"G", {{L"t0", L"u0"}, {L"t1", L"u1"}}}};
  a.Translators = {{L"Deutsch", L"de:%s"}};
  a.TranslatedPageUrl = L"http://t/";
  a.AutoGrab = true;
}

class TServerWrapperTest : public testing::Test {
protected:
  void TearDown() override {
    Drop();
    Pump();
  }

  TServerWrapper &Make() {
    FWrapper = std::make_unique<TServerWrapper>();
    ThreadServerWrapper = FWrapper.get();
    return *FWrapper;
  }
  void Drop() {
    FWrapper.reset();
    ThreadServerWrapper = nullptr;
  }
  // A form registered with the wrapper.
  TForm &Form(const wchar_t *name) {
    FForms.push_back(std::make_unique<TForm>(name, Log));
    FWrapper->RegisterForm(FForms.back().get());
    return *FForms.back();
  }

  TLines Log;
  std::vector<std::unique_ptr<TForm>> FForms;
  std::unique_ptr<TServerWrapper> FWrapper;
};

// Calls every operation and describes what came back.
TLines EveryOperation(TServerWrapper &w, IWebBrowser2 *browser) {
  TLines r;
  const auto text = [](const std::wstring &s) { return L"[" + s + L"]"; };
  w.ShowPopupKillerSettings(browser);
  w.AddUrlToRubric(browser, true);
  w.ShowComments(7);
  w.ShowDocumentProperty(L"http://a/");
  r.push_back(L"HasDomainLinks " + std::to_wstring(w.HasDomainLinks(L"http://a/")));
  std::wstring s = L"junk";
  w.GetCurrentRubricName(s);
  r.push_back(L"GetCurrentRubricName " + text(s));
  r.push_back(L"GetDocumentID " + std::to_wstring(w.GetDocumentID(L"http://a/")));
  s = L"junk";
  w.GetDomainLinkUrl(3, s);
  r.push_back(L"GetDomainLinkUrl " + text(s));
  std::vector<int32_t> ids = {99};
  w.GetDomainLinks(L"http://a/", ids);
  r.push_back(L"GetDomainLinks " + std::to_wstring(ids.size()));
  w.SetBannerKillerEnabled(true);
  w.SetHighlightEnabled(false);
  w.SetLinkHintEnabled(true);
  w.SetPopupKillerEnabled(false);
  w.ShowSettings();
  COLORREF colors[4] = {1, 1, 1, 1};
  const bool gotColors = w.GetCardColors(colors[0], colors[1], colors[2], colors[3]);
  r.push_back(L"GetCardColors " + std::to_wstring(gotColors) + L" " + std::to_wstring(colors[0]) + L" " +
              std::to_wstring(colors[1]) + L" " + std::to_wstring(colors[2]) + L" " + std::to_wstring(colors[3]));
  int32_t id = 77, status = 77, rating = 77;
  s = L"junk";
  const bool gotData = w.GetDocumentData(L"http://a/", id, s, status, rating);
  r.push_back(L"GetDocumentData " + std::to_wstring(gotData) + L" " + std::to_wstring(id) + L" " + text(s) + L" " +
              std::to_wstring(status) + L" " + std::to_wstring(rating));
  w.SetProgramEnabled(true);
  w.CloseAllBrowsers();
  w.MinimizeAllBrowsers();
  w.LoadBrowserList();
  w.SaveBrowserList();
  std::vector<TBrowserWindowCaption> captions = {{L"junk", 1}};
  TLines hints = {L"junk"};
  w.GetBrowserWindows(captions, hints);
  r.push_back(L"GetBrowserWindows " + std::to_wstring(captions.size()) + L" " + std::to_wstring(hints.size()));
  w.ActivateBrowser(9);
  r.push_back(L"GetQuickGroupCount " + std::to_wstring(w.GetQuickGroupCount()));
  bool visible = true;
  int32_t links = 77;
  s = L"junk";
  const bool gotGroup = w.GetQuickGroup(0, visible, s, links);
  r.push_back(L"GetQuickGroup " + std::to_wstring(gotGroup) + L" " + std::to_wstring(visible) + L" " + text(s) + L" " +
              std::to_wstring(links));
  std::wstring title = L"junk", url = L"junk";
  const bool gotLink = w.GetQuickLink(0, 1, title, url);
  r.push_back(L"GetQuickLink " + std::to_wstring(gotLink) + L" " + text(title) + L" " + text(url));
  w.ManageQuickGroups();
  w.ShowTranslationSettings();
  std::wstring caption = L"junk", templ = L"junk";
  w.GetTranslator(0, caption, templ);
  r.push_back(L"GetTranslator " + text(caption) + L" " + text(templ));
  r.push_back(L"GetTranslatorCount " + std::to_wstring(w.GetTranslatorCount()));
  s = L"junk";
  w.TranslatePage(L"http://a/", L"tmpl", s);
  r.push_back(L"TranslatePage " + text(s));
  com::Variant translated = Text(L"junk");
  w.TranslateStrings(fakes::StringArray({L"a"}).Get(), translated);
  const TLines strings = fakes::StringsOf(translated.Get());
  r.push_back(L"TranslateStrings " + std::to_wstring(translated.Type()) + L" " +
              (strings.empty() ? L"" : strings.front()));
  w.GrabImages(fakes::ByteArray({1, 2}).Get(), true);
  w.ShowAutoGrabSettings();
  r.push_back(L"GetAutoGrab " + std::to_wstring(w.GetAutoGrab()));
  w.SetAutoGrab(true);
  w.ExecuteCommand(5);
  return r;
}

const TLines EmptyResults = {
    L"HasDomainLinks 0",
    L"GetCurrentRubricName []",
    L"GetDocumentID -1",
    L"GetDomainLinkUrl []",
    L"GetDomainLinks 0",
    L"GetCardColors 0 1 1 1 1",
    L"GetDocumentData 0 77 [] 77 77",
    L"GetBrowserWindows 0 0",
    L"GetQuickGroupCount 0",
    L"GetQuickGroup 0 1 [] 77",
    L"GetQuickLink 0 [] []",
    L"GetTranslator [] []",
    L"GetTranslatorCount 0",
    L"TranslatePage []",
    L"TranslateStrings 0 ",
    L"GetAutoGrab 0",
};

// A browser showing http://a/ titled "Page".
ComPtr<fakes::TFakeBrowser> PageBrowser(const wchar_t *url = L"http://a/") {
  auto browser = com::MakeObject<fakes::TFakeBrowser>();
  browser->Load(url, L"<html><head><title>Page</title></head><body></body></html>");
  return browser;
}

} // namespace

TEST_F(TServerWrapperTest, WithoutAHostEveryOperationGivesItsEmptyResult) {
  TServerWrapper &w = Make();
  EXPECT_NE(ThreadServerHook, nullptr);
  EXPECT_FALSE(w.IsConnected());
  ComPtr<IGUIServer> server;
  w.GetServer(server);
  EXPECT_EQ(server, nullptr);
  int dialogs = 0;
  w.SetFileDialog([&](const TBrowserListDialog &, std::wstring &) { return ++dialogs, false; });
  EXPECT_EQ(EveryOperation(w, PageBrowser().Get()), EmptyResults);
  EXPECT_EQ(dialogs, 0);
  Drop();
  EXPECT_EQ(ThreadServerHook, nullptr);
}

TEST_F(TServerWrapperTest, EveryOperationReachesItsHostOperation) {
  fakes::TRunningHost host;
  ASSERT_EQ(host.Registration(), S_OK);
  auto &a = host->Answers();
  AnswerEverything(a);
  a.TranslationPrefix = L"x-";
  a.BrowserListFolder = L"C:\\lists";
  a.BrowserListFilter = L"Lists|*.iel";

  TServerWrapper &w = Make();
  EXPECT_TRUE(w.IsConnected());
  EXPECT_EQ(host->AdviseCount(), 1u);
  std::vector<TBrowserListDialog> dialogs;
  w.SetFileDialog([&](const TBrowserListDialog &dialog, std::wstring &file) {
    dialogs.push_back(dialog);
    file = dialog.Save ? L"C:\\lists\\saved.iel" : L"C:\\lists\\loaded.iel";
    return true;
  });

  const TLines results = EveryOperation(w, PageBrowser().Get());
  EXPECT_EQ(results, (TLines{
                         L"HasDomainLinks 1",
                         L"GetCurrentRubricName [News]",
                         L"GetDocumentID 12",
                         L"GetDomainLinkUrl [http://l/]",
                         L"GetDomainLinks 2",
                         L"GetCardColors 1 0 16777215 8454143 8388608",
                         L"GetDocumentData 1 21 [Seen] 2 4",
                         L"GetBrowserWindows 2 2",
                         L"GetQuickGroupCount 1",
                         L"GetQuickGroup 1 0 [G] 2",
                         L"GetQuickLink 1 [t1] [u1]",
                         L"GetTranslator [Deutsch] [de:%s]",
                         L"GetTranslatorCount 1",
                         L"TranslatePage [http://t/]",
                         L"TranslateStrings 8204 x-a",
                         L"GetAutoGrab 1",
                     }));
  EXPECT_EQ(host->Calls(), (TLines{
                               L"ShowPopupKillerSettings(http://a/)",
                               L"AddUrlToRubric(Page, http://a/, , , -1)",
                               L"ShowComments(7)",
                               L"ShowDocumentProperty(http://a/)",
                               L"GetDomainLinkCount(http://a/)",
                               L"GetCurrentRubricName()",
                               L"GetDocumentID(http://a/)",
                               L"GetDomainLinkUrl(3)",
                               L"GetDomainLinks(http://a/)",
                               L"SetBannerKillerEnabled(-1)",
                               L"SetHighlightEnabled(0)",
                               L"SetLinkHintEnabled(-1)",
                               L"SetPopupKillerEnabled(0)",
                               L"ShowSettings()",
                               L"GetCardColors()",
                               L"GetDocumentData(http://a/)",
                               L"SetProgramEnabled(-1)",
                               L"CloseAllBrowsers()",
                               L"MinimizeAllBrowsers()",
                               L"GetBrowserListDialogParam(0)",
                               L"GetBrowserListDialogParam(1)",
                               L"LoadBrowserList(C:\\lists\\loaded.iel)",
                               L"GetBrowserListDialogParam(0)",
                               L"GetBrowserListDialogParam(1)",
                               L"SaveBrowserList(C:\\lists\\saved.iel)",
                               L"GetBrowserWindows()",
                               L"ActivateBrowser(9)",
                               L"GetQuickGroupCount()",
                               L"GetQuickGroup(0)",
                               L"GetQuickLink(0, 1)",
                               L"ManageQuickGroups()",
                               L"ShowTranslationSettings()",
                               L"GetTranslator(0)",
                               L"GetTranslatorCount()",
                               L"TranslatePage(http://a/, tmpl)",
                               L"TranslateStrings([a])",
                               L"GrabImages(<2 bytes>, -1)",
                               L"ShowAutoGrabSettings()",
                               L"GetAutoGrab()",
                               L"SetAutoGrab(-1)",
                               L"ExecuteCommand(5)",
                           }));
  ASSERT_EQ(dialogs.size(), 2u);
  for (const TBrowserListDialog &d : dialogs) {
    EXPECT_EQ(d.InitialDir, L"C:\\lists");
    EXPECT_EQ(d.Filter, L"Lists|*.iel");
    EXPECT_EQ(d.DefaultExt, L"iel");
  }
  EXPECT_FALSE(dialogs[0].Save);
  EXPECT_TRUE(dialogs[1].Save);
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(w.IsConnected());
}

TEST_F(TServerWrapperTest, AHostThatStartsLaterIsFoundOnItsMessage) {
  TServerWrapper &w = Make();
  Form(L"A");
  Form(L"B");
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  fakes::TRunningHost host;
  // Forms are told only once the host's events can reach them.
  std::vector<size_t> advisedWhenTold;
  FForms[0]->OnNotify = [&](const std::wstring &) { advisedWhenTold.push_back(host->AdviseCount()); };
  Pump();
  EXPECT_FALSE(w.IsConnected()) << "found without being told";

  PostMessageW(window, WM_HOSTSERVERREADY, 0, 0);
  Pump();
  EXPECT_TRUE(w.IsConnected());
  EXPECT_EQ(Log, (TLines{L"A ServerConnected wrapper", L"B ServerConnected wrapper"}));
  EXPECT_EQ(host->AdviseCount(), 1u);
  EXPECT_EQ(advisedWhenTold, std::vector<size_t>{1u});

  // As a thread message too, and every time: each attaches anew.
  Log.clear();
  PostThreadMessageW(GetCurrentThreadId(), WM_HOSTSERVERREADY, 0, 0);
  Pump();
  EXPECT_EQ(Log, (TLines{L"A ServerConnected wrapper", L"B ServerConnected wrapper"}));
  EXPECT_EQ(host->AdviseCount(), 1u);
  DestroyWindow(window);

  Drop();
  EXPECT_EQ(host->AdviseCount(), 0u);
}

TEST_F(TServerWrapperTest, HostEventsReachEveryFormInOrder) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  Form(L"A");
  Form(L"B");
  host->FireDocumentDataChange(7, VARIANT_TRUE, L"note", 2, 5);
  host->FireDocumentDataChange(8, 1, L"", 0, 0); // any nonzero is present
  host->FireSettingsChange();
  host->FireFunctionalityChange();
  host->FireQuickGroupChange();
  host->FireLanguageChange();
  EXPECT_EQ(host->FireRefreshHighlight(), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(Log, (TLines{
                     L"A DocumentDataChanged wrapper 7 true note 2 5",
                     L"B DocumentDataChanged wrapper 7 true note 2 5",
                     L"A DocumentDataChanged wrapper 8 true  0 0",
                     L"B DocumentDataChanged wrapper 8 true  0 0",
                     L"A SettingsChanged wrapper",
                     L"B SettingsChanged wrapper",
                     L"A FunctionalityChanged sink",
                     L"B FunctionalityChanged sink",
                     L"A QuickGroupsChanged sink",
                     L"B QuickGroupsChanged sink",
                     L"A LanguageChanged sink",
                     L"B LanguageChanged sink",
                 }));
  EXPECT_TRUE(w.IsConnected());
}

TEST_F(TServerWrapperTest, AFormThatFailsEndsTheFanOutButNotTheLoss) {
  fakes::TRunningHost host;
  Make();
  Form(L"A").OnNotify = [](const std::wstring &) { throw Exception("form failed"); };
  Form(L"B");
  Form(L"C");
  const std::vector<HRESULT> settings = host->FireSettingsChange();
  ASSERT_EQ(settings.size(), 1u);
  EXPECT_TRUE(FAILED(settings[0]));
  EXPECT_TRUE(Log.empty());

  host->FireQuit();
  EXPECT_EQ(Log, (TLines{L"B ServerLost wrapper", L"C ServerLost wrapper"}));
}

TEST_F(TServerWrapperTest, AfterTheHostQuitsNothingIsCalled) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  Form(L"A");
  Form(L"B");
  EXPECT_EQ(host->FireQuit(), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(Log, (TLines{L"A ServerLost wrapper", L"B ServerLost wrapper"}));
  EXPECT_FALSE(w.IsConnected());
  EXPECT_EQ(host->AdviseCount(), 0u);

  host->ClearCalls();
  Log.clear();
  w.SetFileDialog([](const TBrowserListDialog &, std::wstring &file) { return file = L"x.iel", true; });
  EXPECT_EQ(EveryOperation(w, PageBrowser().Get()), EmptyResults);
  EXPECT_TRUE(host->Calls().empty());
  EXPECT_TRUE(Log.empty());
}

TEST_F(TServerWrapperTest, AFailingCallLosesTheHostOnceForEveryForm) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  // A form that asks the host again while it is told: still one loss.
  Form(L"A").OnNotify = [&](const std::wstring &) { w.GetDocumentID(L"http://b/"); };
  Form(L"B");
  host->SetDead(true);
  EXPECT_EQ(w.GetDocumentID(L"http://a/"), -1);
  EXPECT_EQ(Log, (TLines{L"A ServerLost wrapper", L"B ServerLost wrapper"}));
  EXPECT_FALSE(w.IsConnected());
  // The dead host's references were given back although it did not let go
  // of the sink: the fake ends with the test.
  host->SetDead(false);
  EXPECT_EQ(host->CallCount(L"GetDocumentID"), 2u);

  // A scripted failure of a reconnected host.
  Log.clear();
  w.Reconnect();
  host->FailWith(L"ShowSettings", E_FAIL);
  w.ShowSettings();
  EXPECT_EQ(Log, (TLines{L"A ServerConnected wrapper", L"B ServerConnected wrapper", L"A ServerLost wrapper",
                         L"B ServerLost wrapper"}));
}

TEST_F(TServerWrapperTest, WhatAFailingHostWroteIsDropped) {
  fakes::TRunningHost host;
  AnswerEverything(host->Answers());
  host->SetAnswerOnFailure(true);
  TServerWrapper &w = Make();
  Form(L"A");
  const auto text = [](const std::wstring &s) { return L"[" + s + L"]"; };
  const auto num = [](auto n) { return std::to_wstring(n); };
  const struct {
    const wchar_t *Operation;
    std::function<std::wstring()> Run;
    std::wstring Empty;
  } cases[] = {
      {L"GetDomainLinkCount", [&] { return num(w.HasDomainLinks(L"http://a/")); }, L"0"},
      {L"GetCurrentRubricName",
       [&] {
         std::wstring s = L"junk";
         w.GetCurrentRubricName(s);
         return text(s);
       },
       L"[]"},
      {L"GetDocumentID", [&] { return num(w.GetDocumentID(L"http://a/")); }, L"-1"},
      {L"GetDomainLinkUrl",
       [&] {
         std::wstring s = L"junk";
         w.GetDomainLinkUrl(3, s);
         return text(s);
       },
       L"[]"},
      {L"GetCardColors",
       [&] {
         COLORREF c[4] = {1, 1, 1, 1};
         const bool got = w.GetCardColors(c[0], c[1], c[2], c[3]);
         return num(got) + L" " + num(c[0]) + L" " + num(c[1]) + L" " + num(c[2]) + L" " + num(c[3]);
       },
       L"0 1 1 1 1"},
      {L"GetDocumentData",
       [&] {
         int32_t id = 77, status = 77, rating = 77;
         std::wstring s = L"junk";
         const bool got = w.GetDocumentData(L"http://a/", id, s, status, rating);
         return num(got) + L" " + num(id) + L" " + text(s) + L" " + num(status) + L" " + num(rating);
       },
       L"0 77 [] 77 77"},
      {L"GetBrowserWindows",
       [&] {
         std::vector<TBrowserWindowCaption> captions = {{L"junk", 1}};
         TLines hints = {L"junk"};
         w.GetBrowserWindows(captions, hints);
         return num(captions.size()) + L" " + num(hints.size());
       },
       L"0 0"},
      {L"GetQuickGroupCount", [&] { return num(w.GetQuickGroupCount()); }, L"0"},
      {L"GetQuickGroup",
       [&] {
         bool visible = false;
         int32_t links = 77;
         std::wstring s = L"junk";
         const bool got = w.GetQuickGroup(0, visible, s, links);
         return num(got) + L" " + num(visible) + L" " + text(s) + L" " + num(links);
       },
       L"0 0 [] 77"},
      {L"GetQuickLink",
       [&] {
         std::wstring title = L"junk", url = L"junk";
         const bool got = w.GetQuickLink(0, 0, title, url);
         return num(got) + L" " + text(title) + L" " + text(url);
       },
       L"0 [] []"},
      {L"GetTranslator",
       [&] {
         std::wstring caption = L"junk", templ = L"junk";
         w.GetTranslator(0, caption, templ);
         return text(caption) + L" " + text(templ);
       },
       L"[] []"},
      {L"GetTranslatorCount", [&] { return num(w.GetTranslatorCount()); }, L"0"},
      {L"TranslatePage",
       [&] {
         std::wstring s = L"junk";
         w.TranslatePage(L"http://a/", L"tmpl", s);
         return text(s);
       },
       L"[]"},
      {L"TranslateStrings",
       [&] {
         com::Variant translated = Text(L"junk");
         w.TranslateStrings(fakes::StringArray({L"a"}).Get(), translated);
         return num(translated.Type());
       },
       num(VT_EMPTY)},
      {L"GetAutoGrab", [&] { return num(w.GetAutoGrab()); }, L"0"},
  };
  for (const auto &c : cases) {
    w.Reconnect();
    Log.clear();
    host->ClearCalls();
    host->FailWith(c.Operation, E_FAIL);
    EXPECT_EQ(c.Run(), c.Empty) << c.Operation;
    EXPECT_EQ(host->CallCount(c.Operation), 1u) << c.Operation;
    EXPECT_EQ(Log, TLines{L"A ServerLost wrapper"}) << c.Operation;
    EXPECT_FALSE(w.IsConnected()) << c.Operation;
    host->FailWith(c.Operation, S_OK);
  }

  // Domain links are the one answer whose failure keeps the host.
  w.Reconnect();
  Log.clear();
  host->FailWith(L"GetDomainLinks", E_FAIL);
  std::vector<int32_t> ids = {99};
  w.GetDomainLinks(L"http://a/", ids);
  EXPECT_TRUE(ids.empty());
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(w.IsConnected());
}

TEST_F(TServerWrapperTest, AFailingFormEndsAnEventAndTheHandlerAddsItsNumber) {
  TServerWrapper &w = Make();
  Form(L"A").OnNotify = [](const std::wstring &) { throw Exception("form failed"); };
  Form(L"B");
  TZUTervaneIGUIServerEvents &sink = w.Events();
  const struct {
    const char *Name;
    std::function<void()> Fire;
    std::string Message;
  } cases[] = {
      {"document data", [&] { w.HandleDocumentDataChange(sink, 1, VARIANT_TRUE, L"c", 2, 3); }, "form failed\r\n>>230"},
      {"settings", [&] { w.HandleSettingsChange(sink); }, "form failed\r\n>>227"},
      {"functionality", [&] { w.HandleFunctionalityChange(sink); }, "form failed\r\n>>256"},
      {"quick groups", [&] { w.HandleQuickGroupChange(sink); }, "form failed\r\n>>269"},
      {"language", [&] { w.HandleLanguageChange(sink); }, "form failed\r\n>>1722"},
      {"statistics", [&] { w.HandleStatisticsMessage(0, 1); }, "form failed"},
  };
  for (const auto &c : cases) {
    try {
      c.Fire();
      ADD_FAILURE() << c.Name << ": no failure";
    } catch (const Exception &e) {
      EXPECT_EQ(e.Message(), c.Message) << c.Name;
    }
  }
  EXPECT_TRUE(Log.empty());
}

TEST_F(TServerWrapperTest, SwitchesPassTheirValueAsAHostBoolean) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  const struct {
    const wchar_t *Operation;
    std::function<void(bool)> Set;
  } cases[] = {
      {L"SetBannerKillerEnabled", [&](bool v) { w.SetBannerKillerEnabled(v); }},
      {L"SetHighlightEnabled", [&](bool v) { w.SetHighlightEnabled(v); }},
      {L"SetLinkHintEnabled", [&](bool v) { w.SetLinkHintEnabled(v); }},
      {L"SetPopupKillerEnabled", [&](bool v) { w.SetPopupKillerEnabled(v); }},
      {L"SetProgramEnabled", [&](bool v) { w.SetProgramEnabled(v); }},
      {L"SetAutoGrab", [&](bool v) { w.SetAutoGrab(v); }},
  };
  for (const auto &c : cases) {
    host->ClearCalls();
    c.Set(true);
    c.Set(false);
    const std::wstring name = c.Operation;
    EXPECT_EQ(host->Calls(), (TLines{name + L"(-1)", name + L"(0)"}));
  }
  host->ClearCalls();
  w.GrabImages(fakes::ByteArray({}).Get(), false);
  EXPECT_EQ(host->Calls(), TLines{L"GrabImages(<0 bytes>, 0)"});
}

TEST_F(TServerWrapperTest, AHostThatCannotBeAdvisedFailsTheWrapperAndLeavesNoHook) {
  fakes::TRunningHost host;
  host->SetDead(true);
  try {
    Make();
    FAIL() << "made";
  } catch (const Exception &e) {
    const std::string text = e.Message();
    EXPECT_EQ(text.rfind("Unable to connect .\r", 0), 0u) << text;
    const std::string trace = "\r\n>>226\r\n>>241\r\n>>228";
    EXPECT_EQ(text.substr(text.size() - trace.size()), trace) << text;
  }
  EXPECT_EQ(ThreadServerHook, nullptr);
  host->SetDead(false);
  EXPECT_EQ(host->AdviseCount(), 0u);
}

TEST_F(TServerWrapperTest, AReconnectThatCannotAdviseEndsInTheHook) {
  TServerWrapper &w = Make();
  Form(L"A");
  fakes::TRunningHost host;
  host->SetDead(true);
  PostThreadMessageW(GetCurrentThreadId(), WM_HOSTSERVERREADY, 0, 0);
  Pump();
  EXPECT_TRUE(Log.empty());
  // The host is kept until a call fails.
  EXPECT_TRUE(w.IsConnected());
  w.ShowSettings();
  EXPECT_EQ(Log, TLines{L"A ServerLost wrapper"});
  host->SetDead(false);
}

TEST_F(TServerWrapperTest, StatisticsPassThroughAsPosted) {
  TServerWrapper &w = Make();
  Form(L"A");
  Form(L"B");
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  PostThreadMessageW(GetCurrentThreadId(), WM_HOSTSTATISTICS, 0x0102, 12345);
  PostMessageW(window, WM_HOSTSTATISTICS, 1, 2048);
  Pump();
  EXPECT_EQ(Log, (TLines{L"A StatisticsChanged wrapper 258 12345", L"B StatisticsChanged wrapper 258 12345",
                         L"A StatisticsChanged wrapper 1 2048", L"B StatisticsChanged wrapper 1 2048"}));
  EXPECT_FALSE(w.IsConnected());

  // A failing form stops the walk; the hook lets nothing out.
  Log.clear();
  FForms[0]->OnNotify = [](const std::wstring &) { throw Exception("no"); };
  PostThreadMessageW(GetCurrentThreadId(), WM_HOSTSTATISTICS, 0, 1);
  Pump();
  EXPECT_TRUE(Log.empty());

  // Without the thread's wrapper the hook passes messages on untouched.
  FForms[0]->OnNotify = nullptr;
  ThreadServerWrapper = nullptr;
  PostThreadMessageW(GetCurrentThreadId(), WM_HOSTSTATISTICS, 0, 1);
  Pump();
  EXPECT_TRUE(Log.empty());
  DestroyWindow(window);
}

TEST_F(TServerWrapperTest, AnUnregisteredFormLeavesAHoleForTheNext) {
  TServerWrapper &w = Make();
  Form(L"A");
  TForm &b = Form(L"B");
  Form(L"C");
  w.UnregisterForm(&b);
  w.UnregisterForm(&b);
  EXPECT_EQ(w.RegisteredFormCount(), 2);
  Form(L"D");
  EXPECT_EQ(w.RegisteredFormCount(), 3);
  w.HandleStatisticsMessage(0, 0);
  EXPECT_EQ(Log, (TLines{L"A StatisticsChanged wrapper 0 0", L"D StatisticsChanged wrapper 0 0",
                         L"C StatisticsChanged wrapper 0 0"}));
}

TEST_F(TServerWrapperTest, PageCommandsNeedADocumentWithAnAddress) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  Form(L"A");
  auto noDocument = com::MakeObject<fakes::TFakeBrowser>();
  auto noAddress = PageBrowser(L"");
  for (IWebBrowser2 *browser : {static_cast<IWebBrowser2 *>(nullptr), static_cast<IWebBrowser2 *>(noDocument.Get()),
                                static_cast<IWebBrowser2 *>(noAddress.Get())}) {
    w.AddUrlToRubric(browser, false);
    w.ShowPopupKillerSettings(browser);
  }
  int32_t id = 77, status = 77, rating = 77;
  std::wstring comments = L"junk";
  EXPECT_FALSE(w.GetDocumentData(L"", id, comments, status, rating));
  EXPECT_EQ(comments, L"");
  EXPECT_TRUE(host->Calls().empty());
  w.AddUrlToRubric(PageBrowser().Get(), false);
  EXPECT_EQ(host->Calls(), TLines{L"AddUrlToRubric(Page, http://a/, , , 0)"});

  // A document that is not HTML is the caller's error, not the host's.
  class TPlainBrowser : public fakes::TFakeBrowser {
  public:
    STDMETHODIMP get_Document(IDispatch **document) override {
      *document = static_cast<IDispatch *>(&ThreadServerWrapper->Events());
      return S_OK;
    }
  };
  auto plain = com::MakeObject<TPlainBrowser>();
  host->ClearCalls();
  for (int command = 0; command < 2; ++command) {
    try {
      command ? w.ShowPopupKillerSettings(plain.Get()) : w.AddUrlToRubric(plain.Get(), true);
      ADD_FAILURE() << "accepted";
    } catch (const Exception &e) {
      const std::string trace = command ? "\r\n>>222" : "\r\n>>223";
      EXPECT_EQ(e.Message().substr(e.Message().size() - trace.size()), trace) << e.Message();
    }
  }
  EXPECT_TRUE(host->Calls().empty());
  EXPECT_TRUE(w.IsConnected());
  EXPECT_TRUE(Log.empty());
}

TEST_F(TServerWrapperTest, BrowserListsAreReadOnlyAsFarAsTheyGo) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  Form(L"A");
  const auto bytes = [](std::initializer_list<std::function<void(std::vector<BYTE> &)>> parts) {
    std::vector<BYTE> b;
    for (const auto &part : parts)
      part(b);
    return fakes::ByteArray(b);
  };
  const auto i32 = [](int32_t v) { return [v](std::vector<BYTE> &b) { AddInt(b, v); }; };
  const auto str = [](const wchar_t *s) { return [s](std::vector<BYTE> &b) { AddText(b, s); }; };
  const auto raw = [](std::vector<BYTE> r) {
    return [r](std::vector<BYTE> &b) { b.insert(b.end(), r.begin(), r.end()); };
  };

  const struct {
    const char *Name;
    com::Variant List;
    std::vector<TBrowserWindowCaption> Captions;
    TLines Hints;
  } cases[] = {
      {"empty array", bytes({}), {}, {}},
      {"three bytes", bytes({raw({1, 0, 0})}), {}, {}},
      {"no entries", bytes({i32(0)}), {}, {}},
      {"negative count", bytes({i32(-1), str(L"One"), i32(1), str(L"h1")}), {}, {}},
      {"count beyond the entries", bytes({i32(0x7FFFFFFF), str(L"One"), i32(1), str(L"h1")}), {{L"One", 1}}, {L"h1"}},
      {"second entry cut after its caption",
       bytes({i32(2), str(L"One"), i32(1), str(L"h1"), str(L"Two")}),
       {{L"One", 1}},
       {L"h1"}},
      {"ID cut short", bytes({i32(1), str(L"One"), raw({1, 0})}), {}, {}},
      {"negative caption length", bytes({i32(1), i32(-2), i32(1), str(L"h1")}), {}, {}},
      {"caption length past the end", bytes({i32(1), i32(0x100), raw({'a', 0})}), {}, {}},
      {"caption length beyond any stream", bytes({i32(1), i32(0x7FFFFFFF), raw({'a', 0})}), {}, {}},
      {"hint cut short", bytes({i32(1), str(L"One"), i32(1), i32(5), raw({'h', 0})}), {}, {}},
      {"empty texts", bytes({i32(1), str(L""), i32(-7), str(L"")}), {{L"", -7}}, {L""}},
      {"not an array", com::Variant(12L), {}, {}},
      {"text", Text(L"\x0001\x0000"), {}, {}},
      {"two dimensions", TwoDimensionalBytes(), {}, {}},
      {"array of strings", fakes::StringArray({L"a"}), {}, {}},
  };
  for (const auto &c : cases) {
    host->Answers().BrowserWindows = c.List;
    std::vector<TBrowserWindowCaption> captions = {{L"junk", 0}};
    TLines hints = {L"junk"};
    w.GetBrowserWindows(captions, hints);
    EXPECT_EQ(captions, c.Captions) << c.Name;
    EXPECT_EQ(hints, c.Hints) << c.Name;
  }
  EXPECT_TRUE(w.IsConnected());
  EXPECT_TRUE(Log.empty());
}

TEST_F(TServerWrapperTest, DomainLinkIdsAreWholeIntegersOfTheBytesReceived) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  Form(L"A");
  const struct {
    const char *Name;
    com::Variant Ids;
    std::vector<int32_t> Expected;
  } cases[] = {
      {"three bytes", fakes::ByteArray({1, 2, 3}), {}},
      {"two and a part", fakes::ByteArray({1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 9}), {1, -1}},
      {"extremes", fakes::Int32Array({0x7FFFFFFF, static_cast<long>(0x80000000u)}), {0x7FFFFFFF, INT32_MIN}},
      {"not an array", Text(L"1234"), {}},
      {"two dimensions", TwoDimensionalBytes(), {}},
  };
  for (const auto &c : cases) {
    host->Answers().DomainLinks = c.Ids;
    std::vector<int32_t> ids = {99};
    w.GetDomainLinks(L"http://a/", ids);
    EXPECT_EQ(ids, c.Expected) << c.Name;
    ComPtr<IGUIServer> server;
    w.GetServer(server);
    ids = {99};
    ReadDomainLinkIds(server.Get(), L"http://a/", ids);
    EXPECT_EQ(ids, c.Expected) << c.Name;
  }
  // A failing host call is not a loss of the host here.
  host->FailWith(L"GetDomainLinks", E_FAIL);
  std::vector<int32_t> ids = {99};
  w.GetDomainLinks(L"http://a/", ids);
  EXPECT_TRUE(ids.empty());
  ids = {99};
  ReadDomainLinkIds(nullptr, L"http://a/", ids);
  EXPECT_TRUE(ids.empty());
  EXPECT_TRUE(w.IsConnected());
  EXPECT_TRUE(Log.empty());
}

TEST_F(TServerWrapperTest, BrowserListFilesAreHandedOverOnlyWhenChosen) {
  fakes::TRunningHost host;
  TServerWrapper &w = Make();
  Form(L"A");
  const struct {
    const char *Name;
    bool Confirm;
    const wchar_t *File;
    bool QuitDuringDialog;
  } cases[] = {
      {"cancelled", false, L"C:\\a.iel", false},
      {"confirmed without a name", true, L"", false},
      {"host quit while the dialog was open", true, L"C:\\a.iel", true},
  };
  for (const auto &c : cases) {
    w.Reconnect();
    host->ClearCalls();
    Log.clear();
    w.SetFileDialog([&](const TBrowserListDialog &, std::wstring &file) {
      if (c.QuitDuringDialog)
        host->FireQuit();
      file = c.File;
      return c.Confirm;
    });
    w.LoadBrowserList();
    EXPECT_EQ(host->Calls(), (TLines{L"GetBrowserListDialogParam(0)", L"GetBrowserListDialogParam(1)"})) << c.Name;
    EXPECT_EQ(Log, c.QuitDuringDialog ? TLines{L"A ServerLost wrapper"} : TLines{}) << c.Name;
  }
  // A dialog that fails is a failed command like any other.
  w.Reconnect();
  Log.clear();
  w.SetFileDialog([](const TBrowserListDialog &, std::wstring &) -> bool { throw Exception("no dialog"); });
  w.SaveBrowserList();
  EXPECT_EQ(Log, TLines{L"A ServerLost wrapper"});
}
