#include "ZUTervaneEvents.h"

#include <oleauto.h>

#include <vector>

#include "Lib/SinkTrace.h"
#include "com/Bstr.h"
#include "com/Variant.h"
#include "toolbar/services/ZUSystemCom.h"

namespace kwo {

using Microsoft::WRL::ComPtr;

TZUTervaneEventsBaseSink::TZUTervaneEventsBaseSink(std::string name) : FName(std::move(name)) {}

TZUTervaneEventsBaseSink::~TZUTervaneEventsBaseSink() { Disconnect(); }

void TZUTervaneEventsBaseSink::ConnectTo(IUnknown *server) {
  // Raised rather than asserted: the sink lives inside the browser.
  if (!server)
    throw Exception("Unable to connect " + FName + ".\rNo server was given.");
  Disconnect();
  try {
    ComPtr<IConnectionPointContainer> container;
    OleCheck(
        server->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(container.GetAddressOf())));
    ComPtr<IConnectionPoint> point;
    OleCheck(container->FindConnectionPoint(FEventIID, &point));
    DWORD cookie = 0;
    OleCheck(point->Advise(static_cast<IDispatch *>(this), &cookie));
    FConnectionPoint = std::move(point);
    FCookie = cookie;
    FSource = server;
  } catch (const Exception &e) {
    throw Exception("Unable to connect " + FName + ".\r" + e.Message());
  }
}

void TZUTervaneEventsBaseSink::Disconnect() {
  if (!FSource)
    return;
  try {
    OleCheck(FConnectionPoint->Unadvise(FCookie));
  } catch (...) {
    // The host has gone; a reference we hold is still ours to release (a
    // proxy outlives the process behind it).
  }
  FConnectionPoint.Reset();
  FSource.Reset();
  FCookie = 0;
}

STDMETHODIMP TZUTervaneEventsBaseSink::QueryInterface(REFIID iid, void **out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, FEventIID)) {
    *out = static_cast<IDispatch *>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP TZUTervaneEventsBaseSink::GetTypeInfoCount(UINT *count) {
  if (count)
    *count = 0;
  return E_NOTIMPL;
}

STDMETHODIMP TZUTervaneEventsBaseSink::GetTypeInfo(UINT, LCID, ITypeInfo **info) {
  if (info)
    *info = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP TZUTervaneEventsBaseSink::GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) { return E_NOTIMPL; }

STDMETHODIMP TZUTervaneEventsBaseSink::Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags, DISPPARAMS *params,
                                              VARIANT *result, EXCEPINFO *excepInfo, UINT *argErr) {
  try {
    if (!(flags & DISPATCH_METHOD))
      throw Exception(std::string(ClassName()) + " only supports sinking of method calls!");
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    DISPPARAMS &block = params ? *params : none;
    if ((block.cArgs && !block.rgvarg) || (block.cNamedArgs && !block.rgdispidNamedArgs))
      return E_INVALIDARG;
    // Named arguments are the first cNamedArgs variants of the block.
    if (block.cNamedArgs > block.cArgs)
      return DISP_E_BADPARAMCOUNT;
    // Arguments are stored last first.
    std::vector<UINT> positions(block.cArgs);
    for (UINT i = 0; i < block.cArgs; ++i)
      positions[i] = block.cArgs - 1 - i;
    for (UINT j = 0; j < block.cNamedArgs; ++j) {
      const DISPID position = block.rgdispidNamedArgs[j];
      if (position > 65535)
        throw Exception("Range check error");
      if (position < 0 || static_cast<UINT>(position) >= block.cArgs) {
        if (argErr)
          *argErr = j;
        return DISP_E_PARAMNOTFOUND;
      }
      positions[static_cast<UINT>(position)] = j;
    }
    return DoInvoke(dispid, iid, locale, flags, block, positions, result, excepInfo, argErr);
  } catch (...) {
    std::wstring description;
    const HRESULT code = SinkFailure(description);
    if (!excepInfo)
      return code;
    *excepInfo = EXCEPINFO();
    excepInfo->scode = code;
    excepInfo->bstrSource = SysAllocString(AnsiToWide(ClassName()).c_str());
    excepInfo->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    return DISP_E_EXCEPTION;
  }
}

TZUTervaneIGUIServerEvents::TZUTervaneIGUIServerEvents(std::string name) : TZUTervaneEventsBaseSink(std::move(name)) {
  FEventIID = DIID_IGUIServerEvents;
}

namespace {

// Converts one argument without calling into any object it may carry.
HRESULT ReadArgument(DISPPARAMS &params, UINT index, VARTYPE type, com::Variant &out, UINT *argErr) {
  const VARIANT *value = &params.rgvarg[index];
  if (value->vt == (VT_BYREF | VT_VARIANT))
    value = value->pvarVal;
  HRESULT hr = DISP_E_TYPEMISMATCH;
  if (value && !((value->vt & VT_BYREF) && !value->byref) && !(value->vt & VT_ARRAY)) {
    const VARTYPE base = value->vt & VT_TYPEMASK;
    if (base != VT_DISPATCH && base != VT_UNKNOWN && base != VT_RECORD && base != VT_VARIANT && base != VT_ERROR)
      hr = VariantChangeType(out.Receive(), const_cast<VARIANT *>(value), 0, type);
  }
  if (FAILED(hr) && argErr)
    *argErr = index;
  return hr;
}

} // namespace

HRESULT TZUTervaneIGUIServerEvents::DoInvoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS &params,
                                             std::span<const UINT> positions, VARIANT *, EXCEPINFO *, UINT *argErr) {
  const auto notify = [this](const TNotifyEvent &handler) {
    if (handler)
      handler(*this);
    return S_OK;
  };
  switch (dispid) {
  case 201:
    return notify(OnQuit);
  case 202:
    return notify(OnRefreshHighlight);
  case 203: {
    if (positions.size() < 5)
      return DISP_E_BADPARAMCOUNT;
    static const VARTYPE types[5] = {VT_I4, VT_BOOL, VT_BSTR, VT_I4, VT_I4};
    com::Variant args[5];
    for (int k = 0; k < 5; ++k) {
      const HRESULT hr = ReadArgument(params, positions[k], types[k], args[k], argErr);
      if (FAILED(hr))
        return hr;
    }
    if (OnDocumentDataChange) {
      const BSTR comments = args[2].Get().bstrVal;
      OnDocumentDataChange(*this, args[0].Get().lVal, args[1].Get().boolVal,
                           std::wstring(comments ? comments : L"", comments ? SysStringLen(comments) : 0),
                           args[3].Get().lVal, args[4].Get().lVal);
    }
    return S_OK;
  }
  case 204:
    return notify(OnSettingsChange);
  case 205:
    return notify(OnFunctionalityChange);
  case 206:
    return notify(OnQuickGroupChange);
  case 207:
    return notify(OnLanguageChange);
  default:
    return DISP_E_MEMBERNOTFOUND;
  }
}

} // namespace kwo
