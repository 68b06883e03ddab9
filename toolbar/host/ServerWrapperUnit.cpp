#include "ServerWrapperUnit.h"

#include <commdlg.h>
#include <mshtml.h>
#include <oleauto.h>

#include "HostPackets.h"
#include "com/Bstr.h"
#include "toolbar/services/StreamUtils.h"
#include "toolbar/services/ZUSystemCom.h"

namespace kwo {

using Microsoft::WRL::ComPtr;

thread_local TServerWrapper *ThreadServerWrapper = nullptr;
thread_local HHOOK ThreadServerHook = nullptr;

namespace {

VARIANT_BOOL AsVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

// The URL (and title) of the browser's document; false when there is no
// browser or no document.
bool ReadDocument(IWebBrowser2 *browser, std::wstring &url, std::wstring *title) {
  url.clear();
  if (!browser)
    return false;
  ComPtr<IDispatch> dispatch;
  OleCheck(browser->get_Document(&dispatch));
  if (!dispatch)
    return false;
  ComPtr<IHTMLDocument2> document;
  OleCheck(dispatch.As(&document));
  com::Bstr text;
  OleCheck(document->get_URL(text.Receive()));
  url = text.Str();
  if (title && !url.empty()) {
    OleCheck(document->get_title(text.Receive()));
    *title = text.Str();
  }
  return true;
}

} // namespace

// ---------------------------------------------------------------- free functions

void GetHostServer(ComPtr<IGUIServer> &server) {
  Traced(108, [&] {
    server.Reset();
    try {
      ComPtr<IUnknown> active;
      if (SUCCEEDED(GetActiveObject(CLSID_GUIServer, nullptr, &active)) && active && FAILED(active.As(&server)))
        server.Reset();
    } catch (...) {
      server.Reset();
    }
  });
}

void ReadDomainLinkIds(IGUIServer *host, const std::wstring &url, std::vector<int32_t> &ids) {
  Traced(237, [&] {
    ids.clear();
    if (!host)
      return;
    try {
      com::Variant links;
      OleCheck(host->GetDomainLinks(com::Bstr(url).Get(), links.Receive()));
      TMemoryStream stream;
      ByteArrayToStream(links.Get(), stream);
      stream.Rewind();
      ids = ReadInt32List(stream);
    } catch (...) {
      // Domain links are a hint; the host is not given up for them.
    }
  });
}

bool RunBrowserListFileDialog(const TBrowserListDialog &dialog, std::wstring &fileName) {
  // The host's filter separates its parts with '|', the platform with NULs.
  std::wstring filter = dialog.Filter;
  for (wchar_t &c : filter)
    if (c == L'|')
      c = L'\0';
  filter.append(2, L'\0');
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = dialog.Filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = dialog.InitialDir.empty() ? nullptr : dialog.InitialDir.c_str();
  ofn.lpstrDefExt = dialog.DefaultExt.empty() ? nullptr : dialog.DefaultExt.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING;
  const BOOL confirmed = dialog.Save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
  fileName = confirmed ? std::wstring(file.data()) : std::wstring();
  return confirmed != FALSE;
}

LRESULT CALLBACK ServerHookProc(int code, WPARAM wParam, LPARAM lParam) {
  try {
    return Traced(221, [&]() -> LRESULT {
      const MSG *message = reinterpret_cast<const MSG *>(lParam);
      if (ThreadServerWrapper && code == HC_ACTION && message) {
        if (message->message == WM_HOSTSERVERREADY)
          ThreadServerWrapper->Reconnect();
        else if (message->message == WM_HOSTSTATISTICS)
          ThreadServerWrapper->HandleStatisticsMessage(message->wParam, message->lParam);
      }
      return CallNextHookEx(ThreadServerHook, code, wParam, lParam);
    });
  } catch (...) {
    // Nothing may escape into the thread's message retrieval.
    return 0;
  }
}

// ---------------------------------------------------------------- lifecycle

TServerWrapper::TServerWrapper() {
  Traced(228, [&] {
    FEvents = std::make_unique<TZUTervaneIGUIServerEvents>();
    FEvents->OnQuit = [this](TZUTervaneIGUIServerEvents &) { HandleServerLost(); };
    FEvents->OnDocumentDataChange = [this](TZUTervaneIGUIServerEvents &sender, int32_t id, VARIANT_BOOL present,
                                           const std::wstring &comments, int32_t status, int32_t rating) {
      HandleDocumentDataChange(sender, id, present, comments, status, rating);
    };
    FEvents->OnSettingsChange = [this](TZUTervaneIGUIServerEvents &sender) { HandleSettingsChange(sender); };
    FEvents->OnFunctionalityChange = [this](TZUTervaneIGUIServerEvents &sender) { HandleFunctionalityChange(sender); };
    FEvents->OnQuickGroupChange = [this](TZUTervaneIGUIServerEvents &sender) { HandleQuickGroupChange(sender); };
    FEvents->OnLanguageChange = [this](TZUTervaneIGUIServerEvents &sender) { HandleLanguageChange(sender); };
    try {
      InstallHook();
    } catch (...) {
      // No destructor runs for a wrapper that was never made: leave no hook
      // and no host behind.
      UninstallHook();
      throw;
    }
  });
}

TServerWrapper::~TServerWrapper() {
  try {
    Traced(229, [&] {
      UninstallHook();
      CoDisconnectObject(static_cast<IDispatch *>(FEvents.get()), 0);
      FEvents.reset();
      FForms.clear();
    });
  } catch (...) {
    // A destructor has nobody to report to.
  }
}

void TServerWrapper::InstallHook() {
  Traced(241, [&] {
    ThreadServerHook = SetWindowsHookExA(WH_GETMESSAGE, ServerHookProc, nullptr, GetCurrentThreadId());
    Connect();
  });
}

void TServerWrapper::UninstallHook() {
  Traced(253, [&] {
    if (ThreadServerHook)
      UnhookWindowsHookEx(ThreadServerHook);
    ThreadServerHook = nullptr;
    Disconnect();
  });
}

void TServerWrapper::Connect() {
  Traced(226, [&] {
    Disconnect();
    GetHostServer(FServer);
    if (FServer) {
      FEvents->ConnectTo(FServer.Get());
      NotifyConnected();
    }
  });
}

void TServerWrapper::Reconnect() {
  Traced(242, [&] { Connect(); });
}

void TServerWrapper::Disconnect() {
  Traced(233, [&] {
    if (!FServer)
      return;
    try {
      FEvents->Disconnect();
    } catch (...) {
    }
    FServer.Reset();
  });
}

template <class TNotify> void TServerWrapper::NotifyForms(TNotify &&notify) {
  // By index: a form may register or unregister others while it is told.
  for (size_t i = 0; i < FForms.size(); ++i)
    if (IServerNotifications *form = FForms[i])
      notify(*form);
}

void TServerWrapper::HandleServerLost() {
  Traced(244, [&] {
    // A form's own host call failing while it is told, or a failing call
    // that returns after the host's OnQuit, is the same loss.
    if (!FServer || FLosingServer)
      return;
    FLosingServer = true;
    NotifyForms([&](IServerNotifications &form) {
      try {
        form.ServerLost(this);
      } catch (...) {
      }
    });
    FLosingServer = false;
    Disconnect();
  });
}

void TServerWrapper::NotifyConnected() {
  Traced(246, [&] { NotifyForms([&](IServerNotifications &form) { form.ServerConnected(this); }); });
}

bool TServerWrapper::IsConnected() const {
  return Traced(245, [&] { return FServer != nullptr; });
}

void TServerWrapper::GetServer(ComPtr<IGUIServer> &server) const {
  Traced(240, [&] { server = FServer; });
}

void TServerWrapper::RegisterForm(IServerNotifications *form) {
  Traced(262, [&] {
    for (IServerNotifications *&entry : FForms)
      if (!entry) {
        entry = form;
        return;
      }
    FForms.push_back(form);
  });
}

void TServerWrapper::UnregisterForm(IServerNotifications *form) {
  Traced(263, [&] {
    for (IServerNotifications *&entry : FForms)
      if (entry == form) {
        entry = nullptr;
        return;
      }
  });
}

int TServerWrapper::RegisteredFormCount() const {
  return Traced(264, [&] {
    int count = 0;
    for (IServerNotifications *entry : FForms)
      if (entry)
        ++count;
    return count;
  });
}

// ---------------------------------------------------------------- events

void TServerWrapper::HandleDocumentDataChange(TZUTervaneIGUIServerEvents &, int32_t AID, VARIANT_BOOL APresent,
                                              const std::wstring &AComments, int32_t AStatus, int32_t ARating) {
  Traced(230, [&] {
    NotifyForms([&](IServerNotifications &form) {
      form.DocumentDataChanged(this, AID, APresent != 0, AComments, AStatus, ARating);
    });
  });
}

void TServerWrapper::HandleSettingsChange(TZUTervaneIGUIServerEvents &) {
  Traced(227, [&] { NotifyForms([&](IServerNotifications &form) { form.SettingsChanged(this); }); });
}

void TServerWrapper::HandleFunctionalityChange(TZUTervaneIGUIServerEvents &sender) {
  Traced(256, [&] { NotifyForms([&](IServerNotifications &form) { form.FunctionalityChanged(&sender); }); });
}

void TServerWrapper::HandleQuickGroupChange(TZUTervaneIGUIServerEvents &sender) {
  Traced(269, [&] { NotifyForms([&](IServerNotifications &form) { form.QuickGroupsChanged(&sender); }); });
}

void TServerWrapper::HandleLanguageChange(TZUTervaneIGUIServerEvents &sender) {
  Traced(1722, [&] { NotifyForms([&](IServerNotifications &form) { form.LanguageChanged(&sender); }); });
}

void TServerWrapper::HandleStatisticsMessage(WPARAM kind, LPARAM value) {
  NotifyForms([&](IServerNotifications &form) { form.StatisticsChanged(this, kind, value); });
}

// ---------------------------------------------------------------- host operations

template <class TCall> bool TServerWrapper::CallServer(TCall &&call) {
  // Our own reference: an OnQuit that arrives while a call to the host waits
  // for its answer drops FServer.
  ComPtr<IGUIServer> server = FServer;
  if (!server)
    return false;
  try {
    call(server.Get());
    return true;
  } catch (...) {
    HandleServerLost();
    return false;
  }
}

void TServerWrapper::ShowPopupKillerSettings(IWebBrowser2 *browser) {
  Traced(222, [&] {
    std::wstring url;
    if (!FServer || !ReadDocument(browser, url, nullptr) || url.empty())
      return;
    CallServer([&](IGUIServer *server) { OleCheck(server->ShowPopupKillerSettings(com::Bstr(url).Get())); });
  });
}

void TServerWrapper::AddUrlToRubric(IWebBrowser2 *browser, bool withDialog) {
  Traced(223, [&] {
    std::wstring url, title;
    if (!FServer || !ReadDocument(browser, url, &title) || url.empty())
      return;
    CallServer([&](IGUIServer *server) {
      com::Bstr text;
      OleCheck(server->AddUrlToRubric(com::Bstr(title).Get(), com::Bstr(url).Get(), nullptr, nullptr, text.Receive(),
                                      AsVariantBool(withDialog)));
    });
  });
}

void TServerWrapper::ShowComments(int32_t documentID) {
  Traced(225, [&] { CallServer([&](IGUIServer *server) { OleCheck(server->ShowComments(documentID)); }); });
}

void TServerWrapper::ShowDocumentProperty(const std::wstring &url) {
  Traced(231, [&] {
    CallServer([&](IGUIServer *server) { OleCheck(server->ShowDocumentProperty(com::Bstr(url).Get())); });
  });
}

bool TServerWrapper::HasDomainLinks(const std::wstring &url) {
  return Traced(232, [&] {
    LONG count = 0;
    return CallServer(
               [&](IGUIServer *server) { OleCheck(server->GetDomainLinkCount(com::Bstr(url).Get(), &count)); }) &&
           count > 0;
  });
}

void TServerWrapper::GetCurrentRubricName(std::wstring &name) {
  Traced(234, [&] {
    name.clear();
    CallServer([&](IGUIServer *server) {
      com::Bstr text;
      OleCheck(server->GetCurrentRubricName(text.Receive()));
      name = text.Str();
    });
  });
}

int32_t TServerWrapper::GetDocumentID(const std::wstring &url) {
  return Traced(235, [&] {
    LONG id = -1;
    if (!CallServer([&](IGUIServer *server) { OleCheck(server->GetDocumentID(com::Bstr(url).Get(), &id)); }))
      return int32_t(-1);
    return static_cast<int32_t>(id);
  });
}

void TServerWrapper::GetDomainLinkUrl(int32_t id, std::wstring &url) {
  Traced(236, [&] {
    url.clear();
    CallServer([&](IGUIServer *server) {
      com::Bstr text;
      OleCheck(server->GetDomainLinkUrl(id, text.Receive()));
      url = text.Str();
    });
  });
}

void TServerWrapper::GetDomainLinks(const std::wstring &url, std::vector<int32_t> &ids) {
  ids.clear();
  if (!FServer)
    return;
  CallServer([&](IGUIServer *server) { ReadDomainLinkIds(server, url, ids); });
}

void TServerWrapper::SetBannerKillerEnabled(bool value) {
  Traced(247, [&] {
    CallServer([&](IGUIServer *server) { OleCheck(server->SetBannerKillerEnabled(AsVariantBool(value))); });
  });
}

void TServerWrapper::SetHighlightEnabled(bool value) {
  Traced(248,
         [&] { CallServer([&](IGUIServer *server) { OleCheck(server->SetHighlightEnabled(AsVariantBool(value))); }); });
}

void TServerWrapper::SetLinkHintEnabled(bool value) {
  Traced(249,
         [&] { CallServer([&](IGUIServer *server) { OleCheck(server->SetLinkHintEnabled(AsVariantBool(value))); }); });
}

void TServerWrapper::SetPopupKillerEnabled(bool value) {
  Traced(250, [&] {
    CallServer([&](IGUIServer *server) { OleCheck(server->SetPopupKillerEnabled(AsVariantBool(value))); });
  });
}

void TServerWrapper::ShowSettings() {
  Traced(252, [&] { CallServer([&](IGUIServer *server) { OleCheck(server->ShowSettings()); }); });
}

bool TServerWrapper::GetCardColors(COLORREF &noCommentsText, COLORREF &noCommentsBack, COLORREF &commentsBack,
                                   COLORREF &commentsText) {
  return Traced(254, [&] {
    LONG colors[4] = {};
    if (!CallServer([&](IGUIServer *server) {
          OleCheck(server->GetCardColors(&colors[0], &colors[1], &colors[2], &colors[3]));
        }))
      return false;
    noCommentsText = static_cast<COLORREF>(colors[0]);
    noCommentsBack = static_cast<COLORREF>(colors[1]);
    commentsBack = static_cast<COLORREF>(colors[2]);
    commentsText = static_cast<COLORREF>(colors[3]);
    return true;
  });
}

bool TServerWrapper::GetDocumentData(const std::wstring &url, int32_t &id, std::wstring &comments, int32_t &status,
                                     int32_t &rating) {
  return Traced(255, [&] {
    comments.clear();
    if (url.empty())
      return false;
    LONG values[3] = {};
    com::Bstr text;
    if (!CallServer([&](IGUIServer *server) {
          OleCheck(server->GetDocumentData(com::Bstr(url).Get(), &values[0], text.Receive(), &values[1], &values[2]));
        }))
      return false;
    id = static_cast<int32_t>(values[0]);
    comments = text.Str();
    status = static_cast<int32_t>(values[1]);
    rating = static_cast<int32_t>(values[2]);
    return true;
  });
}

void TServerWrapper::SetProgramEnabled(bool value) {
  Traced(257,
         [&] { CallServer([&](IGUIServer *server) { OleCheck(server->SetProgramEnabled(AsVariantBool(value))); }); });
}

void TServerWrapper::CloseAllBrowsers() {
  Traced(259, [&] { CallServer([&](IGUIServer *server) { OleCheck(server->CloseAllBrowsers()); }); });
}

void TServerWrapper::MinimizeAllBrowsers() {
  Traced(1719, [&] { CallServer([&](IGUIServer *server) { OleCheck(server->MinimizeAllBrowsers()); }); });
}

void TServerWrapper::RunBrowserListDialog(bool save) {
  CallServer([&](IGUIServer *server) {
    com::Bstr folder, filter;
    OleCheck(server->GetBrowserListDialogParam(0, folder.Receive()));
    OleCheck(server->GetBrowserListDialogParam(1, filter.Receive()));
    const TBrowserListDialog dialog{save, folder.Str(), filter.Str(), L"iel"};
    std::wstring fileName;
    const bool confirmed = FFileDialog ? FFileDialog(dialog, fileName) : RunBrowserListFileDialog(dialog, fileName);
    // The dialog's message loop may have lost the host, or found a new one.
    const ComPtr<IGUIServer> now = FServer;
    if (!confirmed || fileName.empty() || !now)
      return;
    const com::Bstr name(fileName);
    OleCheck(save ? now->SaveBrowserList(name.Get()) : now->LoadBrowserList(name.Get()));
  });
}

void TServerWrapper::LoadBrowserList() {
  Traced(260, [&] { RunBrowserListDialog(false); });
}

void TServerWrapper::SaveBrowserList() {
  Traced(261, [&] { RunBrowserListDialog(true); });
}

void TServerWrapper::GetBrowserWindows(std::vector<TBrowserWindowCaption> &captions, std::vector<std::wstring> &hints) {
  Traced(1720, [&] {
    captions.clear();
    hints.clear();
    TMemoryStream stream;
    if (!CallServer([&](IGUIServer *server) {
          com::Variant list;
          OleCheck(server->GetBrowserWindows(list.Receive()));
          ByteArrayToStream(list.Get(), stream);
        }))
      return;
    stream.Rewind();
    for (const TBrowserListEntry &entry : ReadBrowserList(stream)) {
      captions.push_back({std::wstring(AsWide(entry.Caption)), entry.ID});
      hints.emplace_back(AsWide(entry.Hint));
    }
  });
}

void TServerWrapper::ActivateBrowser(int32_t id) {
  Traced(1721, [&] { CallServer([&](IGUIServer *server) { OleCheck(server->ActivateBrowser(id)); }); });
}

int32_t TServerWrapper::GetQuickGroupCount() {
  return Traced(265, [&] {
    LONG count = 0;
    if (!CallServer([&](IGUIServer *server) { OleCheck(server->GetQuickGroupCount(&count)); }))
      return int32_t(0);
    return static_cast<int32_t>(count);
  });
}

bool TServerWrapper::GetQuickGroup(int32_t index, bool &visible, std::wstring &name, int32_t &linkCount) {
  return Traced(266, [&] {
    name.clear();
    VARIANT_BOOL shown = VARIANT_FALSE, result = VARIANT_FALSE;
    LONG links = 0;
    com::Bstr text;
    if (!CallServer([&](IGUIServer *server) {
          OleCheck(server->GetQuickGroup(index, &shown, text.Receive(), &links, &result));
        }))
      return false;
    visible = shown != VARIANT_FALSE;
    name = text.Str();
    linkCount = static_cast<int32_t>(links);
    return result != VARIANT_FALSE;
  });
}

bool TServerWrapper::GetQuickLink(int32_t group, int32_t index, std::wstring &title, std::wstring &url) {
  return Traced(267, [&] {
    title.clear();
    url.clear();
    VARIANT_BOOL result = VARIANT_FALSE;
    com::Bstr titleText, urlText;
    if (!CallServer([&](IGUIServer *server) {
          OleCheck(server->GetQuickLink(group, index, titleText.Receive(), urlText.Receive(), &result));
        }))
      return false;
    title = titleText.Str();
    url = urlText.Str();
    return result != VARIANT_FALSE;
  });
}

void TServerWrapper::ManageQuickGroups() {
  Traced(268, [&] { CallServer([&](IGUIServer *server) { OleCheck(server->ManageQuickGroups()); }); });
}

void TServerWrapper::ShowTranslationSettings() {
  Traced(270, [&] { CallServer([&](IGUIServer *server) { OleCheck(server->ShowTranslationSettings()); }); });
}

void TServerWrapper::GetTranslator(int32_t index, std::wstring &caption, std::wstring &templ) {
  Traced(271, [&] {
    caption.clear();
    templ.clear();
    com::Bstr captionText, templText;
    if (CallServer([&](IGUIServer *server) {
          OleCheck(server->GetTranslator(index, captionText.Receive(), templText.Receive()));
        })) {
      caption = captionText.Str();
      templ = templText.Str();
    }
  });
}

int32_t TServerWrapper::GetTranslatorCount() {
  return Traced(272, [&] {
    LONG count = 0;
    if (!CallServer([&](IGUIServer *server) { OleCheck(server->GetTranslatorCount(&count)); }))
      return int32_t(0);
    return static_cast<int32_t>(count);
  });
}

void TServerWrapper::TranslatePage(const std::wstring &url, const std::wstring &templ, std::wstring &resultUrl) {
  Traced(273, [&] {
    resultUrl.clear();
    com::Bstr text;
    if (CallServer([&](IGUIServer *server) {
          OleCheck(server->TranslatePage(com::Bstr(url).Get(), com::Bstr(templ).Get(), text.Receive()));
        }))
      resultUrl = text.Str();
  });
}

void TServerWrapper::TranslateStrings(const VARIANT &strings, com::Variant &translated) {
  Traced(1723, [&] {
    translated.Clear();
    if (!CallServer([&](IGUIServer *server) { OleCheck(server->TranslateStrings(strings, translated.Receive())); }))
      translated.Clear();
  });
}

void TServerWrapper::GrabImages(const VARIANT &images, bool automatic) {
  CallServer([&](IGUIServer *server) { OleCheck(server->GrabImages(images, AsVariantBool(automatic))); });
}

void TServerWrapper::ShowAutoGrabSettings() {
  CallServer([&](IGUIServer *server) { OleCheck(server->ShowAutoGrabSettings()); });
}

bool TServerWrapper::GetAutoGrab() {
  VARIANT_BOOL value = VARIANT_FALSE;
  return CallServer([&](IGUIServer *server) { OleCheck(server->GetAutoGrab(&value)); }) && value != VARIANT_FALSE;
}

void TServerWrapper::SetAutoGrab(bool value) {
  CallServer([&](IGUIServer *server) { OleCheck(server->SetAutoGrab(AsVariantBool(value))); });
}

void TServerWrapper::ExecuteCommand(int32_t command) {
  CallServer([&](IGUIServer *server) { OleCheck(server->ExecuteCommand(command)); });
}

} // namespace kwo
