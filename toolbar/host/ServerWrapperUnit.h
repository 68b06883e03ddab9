// The toolbars' link to the host application: one wrapper per browser UI
// thread attaches to the running host, hears its events and hands them to the
// thread's server-connected forms, and turns every host call into a safe one:
// without a host it does nothing and gives an empty result, and a failing
// call counts as loss of the host (every form is told, and the host is
// dropped until it posts WM_HOSTSERVERREADY into the thread).
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Lib/ZUTervaneEvents.h"
#include "com/Variant.h"

namespace kwo {

class TServerWrapper;

// What the thread's wrapper tells a server-connected band form, in this
// order. Each does nothing unless the form overrides it.
class IServerNotifications {
public:
  // Connected to a host and advised for its events.
  virtual void ServerConnected(TServerWrapper * /*wrapper*/) {}
  // The host quit or a call failed; told before the host is dropped.
  virtual void ServerLost(TServerWrapper * /*wrapper*/) {}
  virtual void DocumentDataChanged(TServerWrapper * /*wrapper*/, int32_t /*AID*/, bool /*APresent*/,
                                   const std::wstring & /*AComments*/, int32_t /*AStatus*/, int32_t /*ARating*/) {}
  virtual void SettingsChanged(TServerWrapper * /*wrapper*/) {}
  virtual void FunctionalityChanged(TZUTervaneIGUIServerEvents * /*sender*/) {}
  virtual void QuickGroupsChanged(TZUTervaneIGUIServerEvents * /*sender*/) {}
  // `sender` is null when a form calls it on itself.
  virtual void LanguageChanged(TZUTervaneIGUIServerEvents * /*sender*/) {}
  // Message WM_HOSTSTATISTICS as posted: the low byte of `kind` selects the
  // counter, `value` is its new value.
  virtual void StatisticsChanged(TServerWrapper * /*wrapper*/, WPARAM /*kind*/, LPARAM /*value*/) {}

protected:
  virtual ~IServerNotifications() = default;
};

// One entry of the host's list of browser windows.
struct TBrowserWindowCaption {
  std::wstring Caption;
  int32_t ID = 0;
  bool operator==(const TBrowserWindowCaption &) const = default;
};

// The file dialog of LoadBrowserList and SaveBrowserList.
struct TBrowserListDialog {
  bool Save = false;       // a save dialog, else an open dialog
  std::wstring InitialDir; // the host's folder
  std::wstring Filter;     // the host's filter: "Text|*.ext|Text|*.ext"
  std::wstring DefaultExt; // "iel"
};
// Runs the dialog; true with the chosen file when the user confirmed.
using TFileDialogRunner = std::function<bool(const TBrowserListDialog &dialog, std::wstring &fileName)>;
// The platform's open or save dialog, owned by the active window.
bool RunBrowserListFileDialog(const TBrowserListDialog &dialog, std::wstring &fileName);

class TServerWrapper {
public:
  // Installs the thread's hook and attaches to a running host at once; a
  // host whose events cannot be advised raises (and leaves no hook behind).
  TServerWrapper();
  // Drops the host, removes the hook and cuts outside references to the sink.
  ~TServerWrapper();
  TServerWrapper(const TServerWrapper &) = delete;
  TServerWrapper &operator=(const TServerWrapper &) = delete;

  void InstallHook();
  void UninstallHook();
  // Drops any host, then attaches to the running one and tells every form.
  void Connect();
  void Reconnect();
  // Drops the host without telling the forms.
  void Disconnect();
  // Tells every form ServerLost (one form's failure does not stop the
  // others), then drops the host. Does nothing while no host is attached or
  // while the forms are already being told.
  void HandleServerLost();
  void NotifyConnected();
  bool IsConnected() const;
  void GetServer(Microsoft::WRL::ComPtr<IGUIServer> &server) const;

  // Forms are not owned. An unregistered form leaves a hole that the next
  // registration fills.
  void RegisterForm(IServerNotifications *form);
  void UnregisterForm(IServerNotifications *form);
  int RegisteredFormCount() const;

  // The handlers of the host's events, and of WM_HOSTSTATISTICS.
  void HandleDocumentDataChange(TZUTervaneIGUIServerEvents &sender, int32_t AID, VARIANT_BOOL APresent,
                                const std::wstring &AComments, int32_t AStatus, int32_t ARating);
  void HandleSettingsChange(TZUTervaneIGUIServerEvents &sender);
  void HandleFunctionalityChange(TZUTervaneIGUIServerEvents &sender);
  void HandleQuickGroupChange(TZUTervaneIGUIServerEvents &sender);
  void HandleLanguageChange(TZUTervaneIGUIServerEvents &sender);
  void HandleStatisticsMessage(WPARAM kind, LPARAM value);

  TZUTervaneIGUIServerEvents &Events() const { return *FEvents; }
  // Replaces the file dialog of the browser-list commands (empty: the
  // platform's).
  void SetFileDialog(TFileDialogRunner runner) { FFileDialog = std::move(runner); }

  // --- host operations: without a host or when the call fails, the empty result ---
  // Nothing without a document or with an empty URL; a document that is not
  // HTML raises.
  void ShowPopupKillerSettings(IWebBrowser2 *browser);
  void AddUrlToRubric(IWebBrowser2 *browser, bool withDialog);
  void ShowComments(int32_t documentID);
  void ShowDocumentProperty(const std::wstring &url);
  bool HasDomainLinks(const std::wstring &url);
  void GetCurrentRubricName(std::wstring &name);
  int32_t GetDocumentID(const std::wstring &url); // -1: none
  void GetDomainLinkUrl(int32_t id, std::wstring &url);
  // A failing host call leaves the list empty and keeps the host.
  void GetDomainLinks(const std::wstring &url, std::vector<int32_t> &ids);
  void SetBannerKillerEnabled(bool value);
  void SetHighlightEnabled(bool value);
  void SetLinkHintEnabled(bool value);
  void SetPopupKillerEnabled(bool value);
  void ShowSettings();
  // The colours are written only when the result is true.
  bool GetCardColors(COLORREF &noCommentsText, COLORREF &noCommentsBack, COLORREF &commentsBack,
                     COLORREF &commentsText);
  // False without calling for an empty URL; the numbers are written only
  // when the result is true.
  bool GetDocumentData(const std::wstring &url, int32_t &id, std::wstring &comments, int32_t &status, int32_t &rating);
  void SetProgramEnabled(bool value);
  void CloseAllBrowsers();
  void MinimizeAllBrowsers();
  void LoadBrowserList();
  void SaveBrowserList();
  // Entries of a list that ends early are kept up to the last complete one.
  void GetBrowserWindows(std::vector<TBrowserWindowCaption> &captions, std::vector<std::wstring> &hints);
  void ActivateBrowser(int32_t id);
  int32_t GetQuickGroupCount();
  bool GetQuickGroup(int32_t index, bool &visible, std::wstring &name, int32_t &linkCount);
  bool GetQuickLink(int32_t group, int32_t index, std::wstring &title, std::wstring &url);
  void ManageQuickGroups();
  void ShowTranslationSettings();
  void GetTranslator(int32_t index, std::wstring &caption, std::wstring &templ);
  int32_t GetTranslatorCount();
  void TranslatePage(const std::wstring &url, const std::wstring &templ, std::wstring &resultUrl);
  // `translated` is unassigned when the call fails.
  void TranslateStrings(const VARIANT &strings, com::Variant &translated);
  void GrabImages(const VARIANT &images, bool automatic);
  void ShowAutoGrabSettings();
  bool GetAutoGrab();
  void SetAutoGrab(bool value);
  void ExecuteCommand(int32_t command);

private:
  // Runs `call` on the host unless there is none; a call that raises loses
  // the host. True when the call ran to its end.
  template <class TCall> bool CallServer(TCall &&call);
  template <class TNotify> void NotifyForms(TNotify &&notify);
  void RunBrowserListDialog(bool save);

  Microsoft::WRL::ComPtr<IGUIServer> FServer;
  std::unique_ptr<TZUTervaneIGUIServerEvents> FEvents;
  std::vector<IServerNotifications *> FForms;
  TFileDialogRunner FFileDialog;
  bool FLosingServer = false;
};

// The thread's wrapper (set by the forms that share it) and the hook its
// wrapper installed.
extern thread_local TServerWrapper *ThreadServerWrapper;
extern thread_local HHOOK ThreadServerHook;

// The thread's WH_GETMESSAGE hook: WM_HOSTSERVERREADY reconnects the thread's
// wrapper, WM_HOSTSTATISTICS reaches its forms, for any window of the thread
// and every time such a message passes.
LRESULT CALLBACK ServerHookProc(int code, WPARAM wParam, LPARAM lParam);

// The running host, or empty.
void GetHostServer(Microsoft::WRL::ComPtr<IGUIServer> &server);
// The IDs of the links the host keeps for `url`'s domain: consecutive
// little-endian 32-bit integers, a shorter tail ignored. Failures are
// swallowed and leave what was read before.
void ReadDomainLinkIds(IGUIServer *host, const std::wstring &url, std::vector<int32_t> &ids);

} // namespace kwo
