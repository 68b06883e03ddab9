// The document's window and its selection.
#include "FakeBrowser.h"
#include "FakeDispatch.h"
#include "FakeDom.h"
#include "FakeInternal.h"

namespace fakes {

namespace {

// The selected text as a range: text, and the same as HTML.
class TFakeTxtRange : public TFakeObject<TFakeTxtRange, TStub<IHTMLTxtRange>> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeTxtRange, IHTMLTxtRange),
                                                 ZU_INTERFACE(TFakeTxtRange, IDispatch), ZU_INTERFACE_END};
    return table;
  }
  explicit TFakeTxtRange(std::wstring text) : FText(std::move(text)) {}
  STDMETHODIMP get_text(BSTR *p) override { return GiveBstr(p, FText); }
  STDMETHODIMP put_text(BSTR v) override {
    FText = v ? v : L"";
    return S_OK;
  }
  STDMETHODIMP get_htmlText(BSTR *p) override { return GiveBstr(p, EncodeText(FText)); }
  STDMETHODIMP duplicate(IHTMLTxtRange **p) override {
    if (!p)
      return E_POINTER;
    *p = com::MakeObject<TFakeTxtRange>(FText).Detach();
    return S_OK;
  }

private:
  std::wstring FText;
};

class TFakeSelection : public TFakeObject<TFakeSelection, TStub<IHTMLSelectionObject>> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeSelection, IHTMLSelectionObject),
                                                 ZU_INTERFACE(TFakeSelection, IDispatch), ZU_INTERFACE_END};
    return table;
  }
  explicit TFakeSelection(ComPtr<TFakeDocument> document) : FDocument(std::move(document)) {}
  STDMETHODIMP get_type(BSTR *p) override { return GiveBstr(p, FDocument->SelectedText().empty() ? L"None" : L"Text"); }
  STDMETHODIMP createRange(IDispatch **p) override {
    if (!p)
      return E_POINTER;
    *p = com::MakeObject<TFakeTxtRange>(FDocument->SelectedText()).Detach();
    return S_OK;
  }
  STDMETHODIMP empty() override {
    FDocument->SetSelectedText(std::wstring());
    return S_OK;
  }
  STDMETHODIMP clear() override { return empty(); }

private:
  ComPtr<TFakeDocument> FDocument;
};

} // namespace

STDMETHODIMP TFakeDocument::get_parentWindow(IHTMLWindow2 **p) {
  if (!p)
    return E_POINTER;
  ComPtr<TFakeDocument> self(this);
  *p = com::MakeObject<TFakeWindow>(self).Detach();
  return S_OK;
}

STDMETHODIMP TFakeDocument::get_selection(IHTMLSelectionObject **p) {
  if (!p)
    return E_POINTER;
  ComPtr<TFakeDocument> self(this);
  *p = com::MakeObject<TFakeSelection>(self).Detach();
  return S_OK;
}

const com::TInterfaceEntry *TFakeWindow::Interfaces() {
  static const com::TInterfaceEntry table[] = {
      ZU_INTERFACE(TFakeWindow, IHTMLWindow2), ZU_INTERFACE_VIA(TFakeWindow, IHTMLFramesCollection2, IHTMLWindow2),
      ZU_INTERFACE_VIA(TFakeWindow, IDispatch, IHTMLWindow2), ZU_INTERFACE_END};
  return table;
}

STDMETHODIMP TFakeWindow::item(VARIANT *index, VARIANT *result) {
  if (!index || !result)
    return E_POINTER;
  VariantInit(result);
  const std::vector<TFakeBrowser *> frames = FDocument->Frames();
  const VARIANT *v = index->vt == (VT_BYREF | VT_VARIANT) ? index->pvarVal : index;
  TFakeDocument *found = nullptr;
  if (v->vt == VT_BSTR) {
    const std::wstring name(v->bstrVal ? v->bstrVal : L"");
    for (TFakeElement *e : FDocument->AllElements())
      if (e->FrameBrowser() && SameText(e->Attribute(L"name"), name)) {
        found = e->FrameBrowser()->Document();
        break;
      }
  } else {
    VARIANT n;
    VariantInit(&n);
    if (FAILED(VariantChangeType(&n, const_cast<VARIANT *>(v), 0, VT_I4)))
      return E_INVALIDARG;
    if (n.lVal >= 0 && static_cast<size_t>(n.lVal) < frames.size())
      found = frames[static_cast<size_t>(n.lVal)]->Document();
  }
  if (!found)
    return E_INVALIDARG;
  ComPtr<TFakeDocument> frame(found);
  result->vt = VT_DISPATCH;
  result->pdispVal = static_cast<IHTMLWindow2 *>(com::MakeObject<TFakeWindow>(frame).Detach());
  return S_OK;
}

STDMETHODIMP TFakeWindow::get_length(LONG *p) {
  if (!p)
    return E_POINTER;
  *p = static_cast<LONG>(FDocument->Frames().size());
  return S_OK;
}

STDMETHODIMP TFakeWindow::get_frames(IHTMLFramesCollection2 **p) {
  return GiveInterface(static_cast<IHTMLFramesCollection2 *>(static_cast<IHTMLWindow2 *>(this)), p);
}

STDMETHODIMP TFakeWindow::put_status(BSTR v) {
  FStatus = v ? v : L"";
  return S_OK;
}
STDMETHODIMP TFakeWindow::get_status(BSTR *p) { return GiveBstr(p, FStatus); }

STDMETHODIMP TFakeWindow::alert(BSTR message) {
  FDocument->FAlerts.push_back(message ? message : L"");
  return S_OK;
}

STDMETHODIMP TFakeWindow::put_name(BSTR v) {
  FName = v ? v : L"";
  return S_OK;
}
STDMETHODIMP TFakeWindow::get_name(BSTR *p) { return GiveBstr(p, FName); }

STDMETHODIMP TFakeWindow::get_parent(IHTMLWindow2 **p) { return GiveInterface(static_cast<IHTMLWindow2 *>(this), p); }
STDMETHODIMP TFakeWindow::get_self(IHTMLWindow2 **p) { return GiveInterface(static_cast<IHTMLWindow2 *>(this), p); }
STDMETHODIMP TFakeWindow::get_top(IHTMLWindow2 **p) { return GiveInterface(static_cast<IHTMLWindow2 *>(this), p); }
STDMETHODIMP TFakeWindow::get_window(IHTMLWindow2 **p) { return GiveInterface(static_cast<IHTMLWindow2 *>(this), p); }

STDMETHODIMP TFakeWindow::get_document(IHTMLDocument2 **p) {
  return GiveInterface(static_cast<IHTMLDocument2 *>(FDocument.Get()), p);
}

STDMETHODIMP TFakeWindow::execScript(BSTR code, BSTR, VARIANT *result) {
  FDocument->FScripts.push_back(code ? code : L"");
  if (result)
    VariantInit(result);
  return S_OK;
}

namespace {
using W = TFakeWindow;
HRESULT WindowDocument(W &w, VARIANT *r) {
  IHTMLDocument2 *d = nullptr;
  const HRESULT hr = w.get_document(&d);
  return ResultDispatch(r, d, hr);
}
HRESULT WindowSelf(W &w, VARIANT *r) {
  IHTMLWindow2 *self = nullptr;
  const HRESULT hr = w.get_self(&self);
  return ResultDispatch(r, self, hr);
}
HRESULT WindowItem(W &w, const TDispArgs &a, VARIANT *r) {
  VARIANT index = a.Value(0);
  const HRESULT hr = w.item(&index, r);
  VariantClear(&index);
  return hr;
}
HRESULT WindowExecScript(W &w, const TDispArgs &a, VARIANT *r) {
  BSTR code = SysAllocString(a.Str(0).c_str());
  BSTR language = SysAllocString(a.Str(1, L"JScript").c_str());
  const HRESULT hr = w.execScript(code, language, r);
  SysFreeString(code);
  SysFreeString(language);
  return hr;
}
HRESULT WindowAlert(W &w, const TDispArgs &a, VARIANT *) {
  BSTR message = SysAllocString(a.Str(0).c_str());
  const HRESULT hr = w.alert(message);
  SysFreeString(message);
  return hr;
}
const TDispMember<W> KWindowMembers[] = {
    {L"document", 1, WindowDocument, nullptr, nullptr},
    {L"frames", 2, WindowSelf, nullptr, nullptr},
    {L"self", 3, WindowSelf, nullptr, nullptr},
    {L"window", 4, WindowSelf, nullptr, nullptr},
    {L"top", 5, WindowSelf, nullptr, nullptr},
    {L"parent", 6, WindowSelf, nullptr, nullptr},
    {L"length", 7, GetLong<W, &W::get_length>, nullptr, nullptr},
    {L"name", 8, GetBstr<W, &W::get_name>, PutBstr<W, &W::put_name>, nullptr},
    {L"status", 9, GetBstr<W, &W::get_status>, PutBstr<W, &W::put_status>, nullptr},
    {L"item", 10, nullptr, nullptr, WindowItem},
    {L"execScript", 11, nullptr, nullptr, WindowExecScript},
    {L"alert", 12, nullptr, nullptr, WindowAlert},
};
} // namespace

STDMETHODIMP TFakeWindow::GetTypeInfoCount(UINT *count) {
  if (!count)
    return E_POINTER;
  *count = 0;
  return S_OK;
}
STDMETHODIMP TFakeWindow::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  return DispIdsOfNames(KWindowMembers, names, count, ids);
}
STDMETHODIMP TFakeWindow::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                                 UINT *) {
  return DispInvoke(KWindowMembers, *this, id, flags, params, result);
}

} // namespace fakes
