// The host application's events as the toolbars receive them: a dispatch-only
// sink that advises itself on a server's connection point, and the decoder of
// IGUIServerEvents with one assignable handler per event.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "ZUTervane_TLB.h"

namespace kwo {

// Not reference counted: AddRef and Release do nothing and the owner frees the
// sink, after cutting outside references to it with CoDisconnectObject.
class TZUTervaneEventsBaseSink : public IDispatch {
public:
  // `name` appears in connection failures; the server wrapper's sink has none.
  explicit TZUTervaneEventsBaseSink(std::string name = std::string());
  TZUTervaneEventsBaseSink(const TZUTervaneEventsBaseSink &) = delete;
  TZUTervaneEventsBaseSink &operator=(const TZUTervaneEventsBaseSink &) = delete;
  virtual ~TZUTervaneEventsBaseSink();

  const std::string &Name() const { return FName; }
  const IID &EventIID() const { return FEventIID; }
  bool Connected() const { return FSource != nullptr; }
  IUnknown *Source() const { return FSource.Get(); }

  // Disconnects, then advises the sink on `server`'s connection point for the
  // event IID. Raises "Unable to connect <name>.\r<reason>" when that fails
  // (also for an empty server); the sink is then not connected.
  void ConnectTo(IUnknown *server);
  // Unadvises and drops the server. A failing Unadvise (a dead host) is
  // swallowed; the sink is not connected afterwards in every case.
  void Disconnect();

  STDMETHODIMP QueryInterface(REFIID iid, void **out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo **info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID locale, DISPID *ids) override;
  // Method calls only. No exception leaves it: a failure becomes
  // DISP_E_EXCEPTION with `excepInfo` filled (the message as description), or
  // the failure's own code when the caller gave no exception information.
  // Parameter blocks that do not add up are refused before anything is read:
  // DISP_E_BADPARAMCOUNT for more named arguments than arguments,
  // DISP_E_PARAMNOTFOUND for a named position outside the arguments (a
  // position above 65535 is a range error), E_INVALIDARG for missing arrays.
  STDMETHODIMP Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS *params, VARIANT *result,
                      EXCEPINFO *excepInfo, UINT *argErr) override;

protected:
  // `positions[k]` is the index in params.rgvarg of argument k; every entry is
  // below params.cArgs.
  virtual HRESULT DoInvoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS &params,
                           std::span<const UINT> positions, VARIANT *result, EXCEPINFO *excepInfo, UINT *argErr) = 0;
  // Names the class in the method-call-only failure.
  virtual const char *ClassName() const = 0;

  IID FEventIID = IID_NULL;

private:
  std::string FName;
  DWORD FCookie = 0;
  Microsoft::WRL::ComPtr<IConnectionPoint> FConnectionPoint;
  Microsoft::WRL::ComPtr<IUnknown> FSource;
};

class TZUTervaneIGUIServerEvents : public TZUTervaneEventsBaseSink {
public:
  using TNotifyEvent = std::function<void(TZUTervaneIGUIServerEvents &sender)>;
  using TDocumentDataChangeEvent =
      std::function<void(TZUTervaneIGUIServerEvents &sender, int32_t AID, VARIANT_BOOL APresent,
                         const std::wstring &AComments, int32_t AStatus, int32_t ARating)>;

  explicit TZUTervaneIGUIServerEvents(std::string name = std::string());

  // Unassigned handlers are skipped; the event still succeeds.
  TNotifyEvent OnQuit;
  TNotifyEvent OnRefreshHighlight;
  TDocumentDataChangeEvent OnDocumentDataChange;
  TNotifyEvent OnSettingsChange;
  TNotifyEvent OnFunctionalityChange;
  TNotifyEvent OnQuickGroupChange;
  TNotifyEvent OnLanguageChange;

protected:
  // 201..207; DISP_E_MEMBERNOTFOUND for anything else. OnDocumentDataChange
  // needs five arguments (DISP_E_BADPARAMCOUNT) that convert to a 32-bit
  // integer, a boolean, a string and two 32-bit integers; an argument that
  // does not, or is an object, an array or a null reference, is refused with
  // DISP_E_TYPEMISMATCH (or the conversion's DISP_E_OVERFLOW) and `argErr` set
  // to its index in rgvarg.
  HRESULT DoInvoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS &params,
                   std::span<const UINT> positions, VARIANT *result, EXCEPINFO *excepInfo, UINT *argErr) override;
  const char *ClassName() const override { return "TZUTervaneIGUIServerEvents"; }
};

} // namespace kwo
