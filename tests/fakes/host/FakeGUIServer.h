// The host application's automation server as the toolbars see it, for tests:
// IGUIServer with scripted answers and a call log, its event connection point,
// and registration in the running-object table. Out-of-process tests run the
// same class inside zutesthost.exe.
//
//   fakes::TRunningHost host;              // registered under CLSID_GUIServer
//   host->Answers().DocumentID = 7;
//   ... code under test calls GetDocumentID ...
//   EXPECT_EQ(host->Calls(), (std::vector<std::wstring>{L"GetDocumentID(http://a/)"}));
//   host->FireQuickGroupChange();
//
// Every call is logged as its name with its arguments as text: strings as
// they are, integers and booleans as numbers (a true VARIANT_BOOL is -1),
// string arrays as [a|b], byte arrays as <N bytes>, interface pointers as
// <object> or <null>, other variants as <vt N>; arguments are separated by
// ", ". Calls that fail (scripted or dead) are logged too, so a test sees
// every call that reached the server.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ZUTervane.h"
#include "com/ComObject.h"
#include "com/Variant.h"

namespace fakes {

struct TQuickLink {
  std::wstring Title;
  std::wstring Url;
};

struct TQuickGroup {
  bool Visible = true;
  std::wstring Name;
  std::vector<TQuickLink> Links;
};

struct TTranslator {
  std::wstring Caption;
  std::wstring Template;
};

struct TBrowserWindow {
  std::wstring Caption;
  long ID = 0;
  std::wstring Hint;
};

struct THighlightStyle {
  bool Enabled = false;
  bool KnownOnly = false;
  bool NoBackColor = true;
  long BackColor = 0x00FFFF; // yellow
  bool NoTextColor = true;
  long TextColor = 0x000000;
  bool Bold = false;
  long Decoration = 0;
};

struct TScreenShotParams {
  bool MakePicture = false;
  long PictureScale = 100;
  long PictureFormat = 8;
  bool MakeThumbnail = false;
  long ThumbnailScale = 25;
  long ThumbnailFormat = 8;
};

// What the server writes into out-arguments of successful calls. Failed calls
// leave every out-argument empty (null strings, zeros, VT_EMPTY), as a proxy
// does, unless SetAnswerOnFailure says otherwise.
struct TGUIServerAnswers {
  std::wstring AddUrlToRubricText;
  long LinkPictureFound = 0;
  com::Variant LinkPicture;
  long HintAlpha = -1; // no alpha blending
  long HintShowDelay = 500;
  long HintHideDelay = 5000;
  THighlightStyle Highlight;
  std::map<std::wstring, long> UrlStates; // a URL not in the map gets -1
  std::map<long, std::wstring> DomainLinkUrls;
  com::Variant DomainLinks; // GetDomainLinks' IDs, e.g. Int32Array({...})
  std::wstring CurrentRubricName;
  long DomainLinkCount = 0;
  long DocumentID = -1;
  // No-comments text, no-comments background, comments background, comments text.
  long CardColors[4] = {0x000000, 0xFFFFFF, 0x80FFFF, 0x800000};
  long DataID = -1;
  std::wstring DataComments;
  long DataStatus = 0;
  long DataRating = 0;
  TScreenShotParams ScreenShot;
  std::vector<TQuickGroup> QuickGroups; // GetQuickGroup beyond the list answers result false
  std::vector<TTranslator> Translators; // GetTranslator beyond the list fails with E_INVALIDARG
  std::wstring TranslatedPageUrl;
  std::wstring BrowserListFolder; // GetBrowserListDialogParam(0)
  std::wstring BrowserListFilter; // GetBrowserListDialogParam(1); other kinds give empty text
  com::Variant BrowserWindows;    // e.g. BrowserList({...}); VT_EMPTY by default
  // TranslateStrings: this variant when it is not VT_EMPTY, else the strings
  // given, each prefixed with TranslationPrefix.
  com::Variant TranslatedStrings;
  std::wstring TranslationPrefix;
  bool AutoGrab = false;
  long BannerImageError = 0;
};

// Variants in the layouts the host exchanges with the toolbars.
com::Variant ByteArray(const std::vector<BYTE> &bytes);
com::Variant Int32Array(const std::vector<long> &values); // little-endian, as GetDomainLinks sends
com::Variant StringArray(const std::vector<std::wstring> &values);
com::Variant BrowserList(const std::vector<TBrowserWindow> &windows);
// The elements of a string array variant; empty when it is not one.
std::vector<std::wstring> StringsOf(const VARIANT &value);
// The bytes of a byte array variant; empty when it is not one.
std::vector<BYTE> BytesOf(const VARIANT &value);

class TFakeConnectionPoint;

class TFakeGUIServer : public com::TComObject<TFakeGUIServer, IGUIServer, IConnectionPointContainer> {
public:
  static const com::TInterfaceEntry *Interfaces();
  static Microsoft::WRL::ComPtr<TFakeGUIServer> Create();

  TFakeGUIServer();
  ~TFakeGUIServer() override;

  // --- scripting (call on the server's own thread) ---
  TGUIServerAnswers &Answers() { return FAnswers; }
  // The named operation fails with `hr` (until cleared with S_OK).
  void FailWith(const std::wstring &operation, HRESULT hr);
  // A dead server fails every call (IGUIServer, IDispatch, the connection
  // point and its container) with `hr`; IUnknown keeps working, as it does on
  // the proxies of a host that died: releasing them is safe, so a client that
  // forgets them unreleased leaks them, and here that shows as module objects
  // left at the end of the test.
  void SetDead(bool dead, HRESULT hr = RPC_E_DISCONNECTED);
  bool Dead() const { return FDead; }
  // Failing calls still write their out-arguments, as a host that fails after
  // answering may: the caller has to drop them and free them.
  void SetAnswerOnFailure(bool answer) { FAnswerOnFailure = answer; }
  // Called with every logged call as it arrives (the test host writes its log
  // file from it).
  void SetTrace(std::function<void(const std::wstring &)> trace) { FTrace = std::move(trace); }
  // Called with "Advise <cookie>" and "Unadvise <cookie>" for every sink that
  // is advised or unadvised.
  void SetConnectionTrace(std::function<void(const std::wstring &)> trace) { FConnectionTrace = std::move(trace); }

  // --- what arrived (any thread) ---
  std::vector<std::wstring> Calls() const;
  // Calls of one operation, by name.
  size_t CallCount(std::wstring_view operation) const;
  void ClearCalls();
  // Copies of the VARIANT arguments of the operation's latest call, in order.
  std::vector<com::Variant> LastVariants(const std::wstring &operation) const;
  // Sinks advised now; all Advise and Unadvise calls that succeeded so far.
  size_t AdviseCount() const;
  size_t AdviseCalls() const { return FAdviseCalls; }
  size_t UnadviseCalls() const { return FUnadviseCalls; }

  // --- events: each returns the HRESULTs of the advised sinks, in advise order ---
  std::vector<HRESULT> FireQuit();
  std::vector<HRESULT> FireRefreshHighlight();
  std::vector<HRESULT> FireDocumentDataChange(long id, VARIANT_BOOL present, std::wstring_view comments, long status,
                                              long rating);
  // The same five arguments as named arguments (DISPIDs 0..4), given out of order.
  std::vector<HRESULT> FireDocumentDataChangeNamed(long id, VARIANT_BOOL present, std::wstring_view comments,
                                                   long status, long rating);
  std::vector<HRESULT> FireSettingsChange();
  std::vector<HRESULT> FireFunctionalityChange();
  std::vector<HRESULT> FireQuickGroupChange();
  std::vector<HRESULT> FireLanguageChange();
  // Arguments in declaration order; passed in reverse, like an automation server.
  std::vector<HRESULT> Fire(DISPID dispid, const std::vector<com::Variant> &args = {});
  // Named arguments: pairs of the argument's DISPID (its position) and value.
  std::vector<HRESULT> FireNamed(DISPID dispid, const std::vector<std::pair<DISPID, com::Variant>> &args);
  // Anything at all, for hostile-input tests.
  std::vector<HRESULT> FireRaw(DISPID dispid, DISPPARAMS &params, WORD flags = DISPATCH_METHOD);

  // --- the running-object table ---
  // Registers the server as the running host (CLSID_GUIServer, strong).
  HRESULT RegisterActive();
  // Revokes the registration; S_FALSE when there is none.
  HRESULT RevokeActive();
  bool IsActive() const { return FRotCookie != 0; }

  // --- IDispatch: from the type library ZUTervane.tlb beside the executable ---
  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo **info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID locale, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS *params, VARIANT *result,
                      EXCEPINFO *excepInfo, UINT *argErr) override;

  // --- IConnectionPointContainer: one point, for DIID_IGUIServerEvents ---
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **out) override; // E_NOTIMPL
  STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint **out) override;

  // --- IGUIServer ---
  STDMETHODIMP Reserved07() override;
  STDMETHODIMP AddUrlToRubric(BSTR ATitle, BSTR AUrl, BSTR AText1, BSTR AText2, BSTR *AResultText,
                              VARIANT_BOOL AWithDialog) override;
  STDMETHODIMP AddLinksToRubric(VARIANT AUrls, VARIANT ATexts, BSTR APageUrl, BSTR ACharset) override;
  STDMETHODIMP OpenLinkList(VARIANT AUrls, VARIANT ATexts, BSTR AText, VARIANT_BOOL AOutsideBrowser) override;
  STDMETHODIMP Reserved11() override;
  STDMETHODIMP Reserved12() override;
  STDMETHODIMP Reserved13() override;
  STDMETHODIMP GetLinkPicture(BSTR AText, LONG AID, LONG *AFound, VARIANT *APicture, VARIANT_BOOL AForMenu) override;
  STDMETHODIMP GetLinkHintParams(LONG *AAlpha, LONG *AShowDelay, LONG *AHideDelay) override;
  STDMETHODIMP GetHighlightStyle(LONG ABrowserID, VARIANT_BOOL *AEnabled, VARIANT_BOOL *AKnownOnly,
                                 VARIANT_BOOL *ANoBackColor, LONG *ABackColor, VARIANT_BOOL *ANoTextColor,
                                 LONG *ATextColor, VARIANT_BOOL *ABold, LONG *ADecoration) override;
  STDMETHODIMP GetUrlStates(VARIANT AUrls, VARIANT *AStates) override;
  STDMETHODIMP SetHighlightEnabled(VARIANT_BOOL AValue) override;
  STDMETHODIMP SetPopupKillerEnabled(VARIANT_BOOL AValue) override;
  STDMETHODIMP ShowPopupKillerSettings(BSTR AUrl) override;
  STDMETHODIMP Reserved21() override;
  STDMETHODIMP ShowDocumentProperty(BSTR AUrl) override;
  STDMETHODIMP Reserved23() override;
  STDMETHODIMP ShowSettings() override;
  STDMETHODIMP Reserved25() override;
  STDMETHODIMP CaptureDocument(IDispatch *ADocument, VARIANT_BOOL ARewrite, LONG *AResult) override;
  STDMETHODIMP Reserved27() override;
  STDMETHODIMP Reserved28() override;
  STDMETHODIMP Reserved29() override;
  STDMETHODIMP Reserved30() override;
  STDMETHODIMP Reserved31() override;
  STDMETHODIMP GetDomainLinkUrl(LONG AID, BSTR *AUrl) override;
  STDMETHODIMP GetDomainLinks(BSTR AUrl, VARIANT *AIDs) override;
  STDMETHODIMP ShowComments(LONG ADocumentID) override;
  STDMETHODIMP AddBannerImages(VARIANT AUrls) override;
  STDMETHODIMP SetBannerKillerEnabled(VARIANT_BOOL AValue) override;
  STDMETHODIMP GetCurrentRubricName(BSTR *AName) override;
  STDMETHODIMP Reserved38() override;
  STDMETHODIMP SetLinkHintEnabled(VARIANT_BOOL AValue) override;
  STDMETHODIMP GetDomainLinkCount(BSTR AUrl, LONG *ACount) override;
  STDMETHODIMP Reserved41() override;
  STDMETHODIMP Reserved42() override;
  STDMETHODIMP Reserved43() override;
  STDMETHODIMP Reserved44() override;
  STDMETHODIMP GetDocumentID(BSTR AUrl, LONG *AID) override;
  STDMETHODIMP GetCardColors(LONG *ANoCommentsText, LONG *ANoCommentsBack, LONG *ACommentsBack,
                             LONG *ACommentsText) override;
  STDMETHODIMP GetDocumentData(BSTR AUrl, LONG *AID, BSTR *AComments, LONG *AStatus, LONG *ARating) override;
  STDMETHODIMP GetScreenShotParams(BSTR AUrl, VARIANT_BOOL ARewrite, VARIANT_BOOL *AMakePicture, LONG *APictureScale,
                                   LONG *APictureFormat, VARIANT_BOOL *AMakeThumbnail, LONG *AThumbnailScale,
                                   LONG *AThumbnailFormat) override;
  STDMETHODIMP StoreScreenShot(BSTR AUrl, VARIANT APicture) override;
  STDMETHODIMP StoreThumbnail(BSTR AUrl, VARIANT APicture) override;
  STDMETHODIMP Reserved51() override;
  STDMETHODIMP SetProgramEnabled(VARIANT_BOOL AValue) override;
  STDMETHODIMP GetQuickGroupCount(LONG *ACount) override;
  STDMETHODIMP GetQuickGroup(LONG AIndex, VARIANT_BOOL *AVisible, BSTR *AName, LONG *ALinkCount,
                             VARIANT_BOOL *AResult) override;
  STDMETHODIMP GetQuickLink(LONG AGroup, LONG AIndex, BSTR *ATitle, BSTR *AUrl, VARIANT_BOOL *AResult) override;
  STDMETHODIMP ManageQuickGroups() override;
  STDMETHODIMP Reserved57() override;
  STDMETHODIMP Reserved58() override;
  STDMETHODIMP Reserved59() override;
  STDMETHODIMP GetTranslatorCount(LONG *ACount) override;
  STDMETHODIMP GetTranslator(LONG AIndex, BSTR *ACaption, BSTR *ATemplate) override;
  STDMETHODIMP TranslatePage(BSTR AUrl, BSTR ATemplate, BSTR *AResultUrl) override;
  STDMETHODIMP Reserved63() override;
  STDMETHODIMP ShowTranslationSettings() override;
  STDMETHODIMP CloseAllBrowsers() override;
  STDMETHODIMP LoadBrowserList(BSTR AFileName) override;
  STDMETHODIMP SaveBrowserList(BSTR AFileName) override;
  STDMETHODIMP GetBrowserListDialogParam(LONG AKind, BSTR *AValue) override;
  STDMETHODIMP GetBrowserWindows(VARIANT *AList) override;
  STDMETHODIMP ActivateBrowser(LONG AID) override;
  STDMETHODIMP MinimizeAllBrowsers() override;
  STDMETHODIMP Reserved72() override;
  STDMETHODIMP TranslateStrings(VARIANT AStrings, VARIANT *ATranslated) override;
  STDMETHODIMP GetAutoGrab(VARIANT_BOOL *AValue) override;
  STDMETHODIMP SetAutoGrab(VARIANT_BOOL AValue) override;
  STDMETHODIMP GrabImages(VARIANT AImages, VARIANT_BOOL AAutomatic) override;
  STDMETHODIMP ShowAutoGrabSettings() override;
  STDMETHODIMP ExecuteCommand(LONG ACommand) override;
  STDMETHODIMP Reserved79() override;
  STDMETHODIMP ReportBannerImage(BSTR APageUrl, BSTR AImageUrl, LONG *AError) override;
  STDMETHODIMP AddLinksToCollection(VARIANT AUrls, VARIANT ATexts, BSTR ACharset) override;

private:
  friend class TFakeConnectionPoint;

  // Logs the call and returns the HRESULT it is to answer with.
  HRESULT Enter(const wchar_t *operation, std::initializer_list<std::wstring> args);
  template <class TFill>
  HRESULT Reply(const wchar_t *operation, std::initializer_list<std::wstring> args, TFill &&fill) noexcept;
  void Keep(const wchar_t *operation, std::initializer_list<const VARIANT *> args);
  HRESULT LoadTypeInfo();
  void Trace(const std::wstring &line);
  void ConnectionTrace(const std::wstring &line);

  TGUIServerAnswers FAnswers;
  std::map<std::wstring, HRESULT> FFailures;
  bool FDead = false;
  bool FAnswerOnFailure = false;
  HRESULT FDeadResult = RPC_E_DISCONNECTED;
  std::function<void(const std::wstring &)> FTrace;
  std::function<void(const std::wstring &)> FConnectionTrace;

  mutable std::mutex FLogLock;
  std::vector<std::wstring> FCalls;
  std::map<std::wstring, std::vector<com::Variant>> FLastVariants;

  Microsoft::WRL::ComPtr<TFakeConnectionPoint> FEvents;
  size_t FAdviseCalls = 0;
  size_t FUnadviseCalls = 0;
  Microsoft::WRL::ComPtr<ITypeInfo> FTypeInfo;
  DWORD FRotCookie = 0;
};

// A fake server registered as the running host for the scope's lifetime, so a
// failing test cannot leave it in the running-object table.
class TRunningHost {
public:
  TRunningHost();
  ~TRunningHost();
  TRunningHost(const TRunningHost &) = delete;
  TRunningHost &operator=(const TRunningHost &) = delete;

  TFakeGUIServer &Server() const { return *FServer.Get(); }
  TFakeGUIServer *operator->() const { return FServer.Get(); }
  HRESULT Registration() const { return FRegistration; }

private:
  Microsoft::WRL::ComPtr<TFakeGUIServer> FServer;
  HRESULT FRegistration;
};

} // namespace fakes
