// Browser event sinks: an IDispatch object that advises itself on a source's
// connection point and hands every Invoke to DoInvoke, and the decoder of the
// browser events the toolbar follows.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <atomic>
#include <functional>
#include <utility>

class TBaseEventHandler : public IDispatch {
public:
  TBaseEventHandler();
  TBaseEventHandler(const TBaseEventHandler &) = delete;
  TBaseEventHandler &operator=(const TBaseEventHandler &) = delete;

  // Advises the sink on `source`'s connection point for `eventIID`; true only
  // when the advise succeeded. With `setEventIID` the sink also answers
  // QueryInterface for `eventIID`. A sink that is still advised elsewhere is
  // disconnected first.
  bool ConnectTo(IUnknown *source, REFIID eventIID, bool setEventIID);
  // Unadvises (ignoring failures) and drops the source; harmless when not connected.
  void Disconnect();
  bool Connected() const { return FCookie != 0; }
  const IID &EventIID() const { return FEventIID; }
  ULONG RefCount() const { return static_cast<ULONG>(FRefCount.load()); }

  // Destroys a sink that nobody references; with references outstanding it
  // raises the invalid-pointer failure and leaves the sink alone.
  static void Free(TBaseEventHandler *sink);

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void **out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  // IDispatch: no type information; events arrive by DISPID with positional
  // arguments. A failure raised while handling one becomes DISP_E_EXCEPTION
  // (described in `excepInfo`) or, without exception information, E_FAIL.
  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo **info) override;
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID dispid, REFIID iid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                      EXCEPINFO *excepInfo, UINT *argErr) override;

protected:
  // Only Release (or Free) destroys a sink.
  virtual ~TBaseEventHandler();
  virtual HRESULT DoInvoke(DISPID dispid, DISPPARAMS *params) = 0;

private:
  Microsoft::WRL::ComPtr<IUnknown> FSource;
  Microsoft::WRL::ComPtr<IConnectionPoint> FConnectionPoint;
  DWORD FCookie = 0;
  IID FEventIID;
  std::atomic<LONG> FRefCount{0};
};

// A new sink held by the returned reference (sinks start unreferenced).
template <class T, class... TArgs> Microsoft::WRL::ComPtr<T> NewEventHandler(TArgs &&...args) {
  return Microsoft::WRL::ComPtr<T>(new T(std::forward<TArgs>(args)...));
}

// DWebBrowserEvents2 as the toolbar uses it. Arguments arrive last first in
// rgvarg; handlers get them as the browser passed them, by reference where the
// browser lets the handler write (Cancel).
class TWebBrowserEventHandler : public TBaseEventHandler {
public:
  using TBeforeNavigate2 =
      std::function<void(TWebBrowserEventHandler &sink, IDispatch *pDisp, VARIANT *url, VARIANT *flags,
                         VARIANT *targetFrameName, VARIANT *postData, VARIANT *headers, VARIANT_BOOL *cancel)>;
  using TNavigateEvent = std::function<void(TWebBrowserEventHandler &sink, IDispatch *pDisp, VARIANT *url)>;
  using TParamsEvent = std::function<void(TWebBrowserEventHandler &sink, DISPPARAMS *params)>;

  void SetOnBeforeNavigate2(TBeforeNavigate2 handler) { FOnBeforeNavigate2 = std::move(handler); }
  void SetOnNavigateComplete2(TNavigateEvent handler) { FOnNavigateComplete2 = std::move(handler); }
  void SetOnDocumentComplete(TNavigateEvent handler) { FOnDocumentComplete = std::move(handler); }
  // DISPID_QUIT of the older browser event interface.
  void SetOnQuitEvent(TParamsEvent handler) { FOnQuitEvent = std::move(handler); }

protected:
  ~TWebBrowserEventHandler() override = default;
  HRESULT DoInvoke(DISPID dispid, DISPPARAMS *params) override;

private:
  TBeforeNavigate2 FOnBeforeNavigate2;
  TNavigateEvent FOnNavigateComplete2;
  TNavigateEvent FOnDocumentComplete;
  TParamsEvent FOnQuitEvent;
};
