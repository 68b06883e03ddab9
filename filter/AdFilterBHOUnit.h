// The ad-filter helper object: one per browser window. It waits for the
// completion script of a filtered page to flash "ter_end" in the status bar,
// then asks the revision service once more about every image of the document
// that the script marked, those created by scripts since included.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Lib/SinkUnit.h"
#include "ZuRPCClient.h"
#include "com/ComObject.h"

class TDocEnumerator;

// The helper object's sink on the browser's DWebBrowserEvents2: only the
// status text is of interest.
class TAdFilterEvents : public TBaseEventHandler {
public:
  using TStatusTextChange = std::function<void(const std::wstring &text)>;
  void SetOnStatusTextChange(TStatusTextChange handler) { FOnStatusTextChange = std::move(handler); }

protected:
  ~TAdFilterEvents() override = default;
  HRESULT DoInvoke(DISPID dispid, DISPPARAMS *params) override;

private:
  TStatusTextChange FOnStatusTextChange;
};

class TAdFilterBHO : public com::TComObject<TAdFilterBHO, IObjectWithSite> {
public:
  // The status text the completion script flashes.
  static const char CompletionStatus[];

  // Asks the revision library ZuRPCPrx.dll.
  TAdFilterBHO();
  // Asks the service behind `entries` instead (no library is loaded).
  explicit TAdFilterBHO(const TZuRPCEntryPoints &entries);
  ~TAdFilterBHO() override;
  static const com::TInterfaceEntry *Interfaces();

  // IObjectWithSite. A site that is not a web browser leaves the object unsited.
  STDMETHODIMP SetSite(IUnknown *site) override;
  STDMETHODIMP GetSite(REFIID iid, void **out) override;

  // What the sink's status-text event does; swallows every failure.
  void OnStatusTextChange(const std::wstring &text);

private:
  Microsoft::WRL::ComPtr<IHTMLDocument2> FindCompletedDocument(IHTMLDocument2 *document);
  bool CheckDocument(TDocEnumerator &enumerator, IHTMLDocument2 *document);
  void ProcessDocument(IHTMLDocument2 *document);
  void Unsite();
  std::unique_ptr<TZuRPCClient> NewClient() const;

  Microsoft::WRL::ComPtr<IWebBrowser2> FBrowser;
  Microsoft::WRL::ComPtr<TAdFilterEvents> FEvents;
  Microsoft::WRL::ComPtr<IHTMLDocument2> FCompletedDoc;
  std::optional<TZuRPCEntryPoints> FEntries;
};

// The class factory's creation function.
HRESULT CreateAdFilterBHO(REFIID iid, void **out);
