#include "SinkUnit.h"

#include <exdisp.h>
#include <exdispid.h>
#include <oleauto.h>

#include <initializer_list>
#include <string>

#include "SinkTrace.h"
#include "com/ComModule.h"

TBaseEventHandler::TBaseEventHandler() : FEventIID(IID_IDispatch) {
  // The source keeps the sink, so the module must stay loaded while one lives.
  com::ObjectCreated();
}

TBaseEventHandler::~TBaseEventHandler() { com::ObjectDestroyed(); }

void TBaseEventHandler::Free(TBaseEventHandler *sink) {
  if (!sink)
    return;
  SinkTraced(288, [sink] {
    if (sink->FRefCount.load() != 0)
      SinkRaiseInvalidPointer();
  });
  delete sink;
}

bool TBaseEventHandler::ConnectTo(IUnknown *source, REFIID eventIID, bool setEventIID) {
  bool connected = false;
  SinkTraced(289, [&] {
    // A second advise would leave the first connection point holding the sink.
    Disconnect();
    if (setEventIID)
      FEventIID = eventIID;
    FSource = source;
    Microsoft::WRL::ComPtr<IConnectionPointContainer> container;
    if (!source || FAILED(source->QueryInterface(IID_PPV_ARGS(&container))) || !container)
      return;
    Microsoft::WRL::ComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(eventIID, &point)) || !point)
      return;
    DWORD cookie = 0;
    if (FAILED(point->Advise(static_cast<IDispatch *>(this), &cookie)) || cookie == 0)
      return;
    FConnectionPoint = point;
    FCookie = cookie;
    connected = true;
  });
  return connected;
}

void TBaseEventHandler::Disconnect() {
  SinkTraced(290, [this] {
    if (FCookie != 0) {
      // Unadvise may release the source's reference on the sink; the caller
      // still holds one, so the sink outlives this call.
      const DWORD cookie = FCookie;
      FCookie = 0;
      if (FConnectionPoint)
        FConnectionPoint->Unadvise(cookie);
    }
    FConnectionPoint.Reset();
    FSource.Reset();
  });
}

STDMETHODIMP TBaseEventHandler::QueryInterface(REFIID iid, void **out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, FEventIID)) {
    *out = static_cast<IDispatch *>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TBaseEventHandler::AddRef() { return static_cast<ULONG>(++FRefCount); }

STDMETHODIMP_(ULONG) TBaseEventHandler::Release() {
  const LONG left = --FRefCount;
  if (left == 0)
    delete this;
  return static_cast<ULONG>(left);
}

STDMETHODIMP TBaseEventHandler::GetTypeInfoCount(UINT *) { return E_NOTIMPL; }

STDMETHODIMP TBaseEventHandler::GetTypeInfo(UINT, LCID, ITypeInfo **) { return E_NOTIMPL; }

STDMETHODIMP TBaseEventHandler::GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) { return E_NOTIMPL; }

STDMETHODIMP TBaseEventHandler::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *,
                                       EXCEPINFO *excepInfo, UINT *) {
  // A C++ exception must not unwind into the browser.
  try {
    HRESULT hr = S_OK;
    SinkTraced(294, [&] { hr = DoInvoke(dispid, params); });
    return hr;
  } catch (...) {
    std::wstring description;
    const HRESULT code = SinkFailure(description);
    if (!excepInfo)
      return E_FAIL;
    *excepInfo = EXCEPINFO();
    excepInfo->scode = code;
    excepInfo->bstrDescription = SysAllocStringLen(description.data(), static_cast<UINT>(description.size()));
    return DISP_E_EXCEPTION;
  }
}

namespace {

// The browser's arguments, checked before a handler sees them: a short list or
// a variant of another type would otherwise be read as a pointer, and a
// handler reads the URL and writes Cancel through the by-reference ones.
class TEventArgs {
public:
  TEventArgs(DISPPARAMS *params, UINT count) : FParams(params), FCount(count) {}
  HRESULT Check(std::initializer_list<VARTYPE> types) const {
    if (!FParams || FParams->cArgs < FCount || (FCount > 0 && !FParams->rgvarg))
      return DISP_E_BADPARAMCOUNT;
    UINT i = FCount;
    for (VARTYPE t : types) {
      const VARIANT &arg = FParams->rgvarg[--i];
      if (arg.vt != t)
        return DISP_E_TYPEMISMATCH;
      if ((t & VT_BYREF) && !arg.byref)
        return E_POINTER;
    }
    return S_OK;
  }
  // Positions count from the first argument of the event's signature.
  const VARIANT &At(UINT position) const { return FParams->rgvarg[FCount - 1 - position]; }
  IDispatch *Dispatch(UINT position) const { return At(position).pdispVal; }
  VARIANT *Ref(UINT position) const { return At(position).pvarVal; }

private:
  DISPPARAMS *FParams;
  UINT FCount;
};

constexpr VARTYPE RefVariant = VT_BYREF | VT_VARIANT;

} // namespace

HRESULT TWebBrowserEventHandler::DoInvoke(DISPID dispid, DISPPARAMS *params) {
  HRESULT hr = S_OK;
  SinkTraced(305, [&] {
    switch (dispid) {
    case DISPID_BEFORENAVIGATE2:
      if (FOnBeforeNavigate2) {
        const TEventArgs args(params, 7);
        hr = args.Check({VT_DISPATCH, RefVariant, RefVariant, RefVariant, RefVariant, RefVariant, VT_BYREF | VT_BOOL});
        if (SUCCEEDED(hr))
          SinkTraced(301, [&] {
            FOnBeforeNavigate2(*this, args.Dispatch(0), args.Ref(1), args.Ref(2), args.Ref(3), args.Ref(4), args.Ref(5),
                               args.At(6).pboolVal);
          });
      }
      break;
    case DISPID_NAVIGATECOMPLETE2:
    case DISPID_DOCUMENTCOMPLETE: {
      const bool navigate = dispid == DISPID_NAVIGATECOMPLETE2;
      const TNavigateEvent &handler = navigate ? FOnNavigateComplete2 : FOnDocumentComplete;
      if (handler) {
        const TEventArgs args(params, 2);
        hr = args.Check({VT_DISPATCH, RefVariant});
        if (SUCCEEDED(hr))
          SinkTraced(navigate ? 315 : 302, [&] { handler(*this, args.Dispatch(0), args.Ref(1)); });
      }
      break;
    }
    case DISPID_QUIT:
      if (FOnQuitEvent)
        SinkTraced(306, [&] { FOnQuitEvent(*this, params); });
      break;
    case DISPID_DOWNLOADBEGIN:
    case DISPID_DOWNLOADCOMPLETE:
      // Followed by the browser's protocol but by no handler of ours.
      break;
    default:
      hr = E_NOTIMPL;
    }
  });
  return hr;
}
