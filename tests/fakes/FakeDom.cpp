#include "FakeDom.h"

#include <algorithm>
#include <cwchar>
#include <functional>

#include "FakeBrowser.h"
#include "FakeDispatch.h"
#include "FakeInternal.h"
#include "com/HResult.h"

namespace fakes {

void BuildDocumentTree(TFakeDocument *doc, std::vector<TNode> &nodes);

namespace {

// Lets the helpers below find the fake behind an interface pointer.
// {6C1B61A0-2C5B-4E4A-9B0E-5A1F0D7C3E01}, {...02}
const IID IID_FakeDocumentSelf = {0x6c1b61a0, 0x2c5b, 0x4e4a, {0x9b, 0x0e, 0x5a, 0x1f, 0x0d, 0x7c, 0x3e, 0x01}};
const IID IID_FakeElementSelf = {0x6c1b61a0, 0x2c5b, 0x4e4a, {0x9b, 0x0e, 0x5a, 0x1f, 0x0d, 0x7c, 0x3e, 0x02}};

// Names of expando properties, by dispatch id.
constexpr DISPID KExpandoBase = 100000;
std::vector<std::wstring> &ExpandoNames() {
  static std::vector<std::wstring> names;
  return names;
}
DISPID ExpandoId(const std::wstring &name) {
  auto &names = ExpandoNames();
  for (size_t i = 0; i < names.size(); ++i)
    if (SameText(names[i], name))
      return KExpandoBase + static_cast<DISPID>(i);
  names.push_back(name);
  return KExpandoBase + static_cast<DISPID>(names.size() - 1);
}

void Preorder(const std::vector<TNode> &nodes, const std::function<void(TFakeElement *)> &visit) {
  for (const TNode &n : nodes)
    if (n.Kind == TNode::ElementNode) {
      visit(n.Elem.Get());
      Preorder(n.Elem->Children(), visit);
    }
}

IDispatch *DispatchOf(IUnknown *object) {
  IDispatch *d = nullptr;
  if (object)
    object->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d));
  return d;
}

// ---------------------------------------------------------------------------

class TFakePlugin : public TFakeObject<TFakePlugin, TStub<IDispatch>> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakePlugin, IDispatch), ZU_INTERFACE_END};
    return table;
  }
};

class TFakeEnumUnknown : public TFakeObject<TFakeEnumUnknown, IEnumUnknown> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeEnumUnknown, IEnumUnknown), ZU_INTERFACE_END};
    return table;
  }
  explicit TFakeEnumUnknown(std::vector<ComPtr<IUnknown>> items, size_t at = 0) : FItems(std::move(items)), FAt(at) {}

  STDMETHODIMP Next(ULONG count, IUnknown **out, ULONG *fetched) override {
    if (!out || (count > 1 && !fetched))
      return E_POINTER;
    ULONG n = 0;
    for (; n < count && FAt < FItems.size(); ++n, ++FAt) {
      out[n] = FItems[FAt].Get();
      out[n]->AddRef();
    }
    if (fetched)
      *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    FAt = std::min<size_t>(FItems.size(), FAt + count);
    return FAt < FItems.size() ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    FAt = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumUnknown **out) override {
    if (!out)
      return E_POINTER;
    *out = com::MakeObject<TFakeEnumUnknown>(FItems, FAt).Detach();
    return S_OK;
  }

private:
  std::vector<ComPtr<IUnknown>> FItems;
  size_t FAt;
};

// A live collection: what it holds is worked out from the tree at every call.
class TFakeCollection : public TFakeObject<TFakeCollection, TStub<IHTMLElementCollection>> {
public:
  enum TScope { Descendants, Children };
  using TFilter = std::function<bool(TFakeElement *)>;

  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeCollection, IHTMLElementCollection),
                                                 ZU_INTERFACE(TFakeCollection, IDispatch), ZU_INTERFACE_END};
    return table;
  }
  TFakeCollection(ComPtr<TFakeDocument> doc, ComPtr<TFakeElement> root, TScope scope, std::vector<TFilter> filters)
      : FDoc(std::move(doc)), FRoot(std::move(root)), FScope(scope), FFilters(std::move(filters)) {}

  std::vector<TFakeElement *> Elements() const {
    std::vector<TFakeElement *> all;
    if (FRoot && FScope == Children) {
      for (const TNode &n : FRoot->Children())
        if (n.Kind == TNode::ElementNode)
          all.push_back(n.Elem.Get());
    } else if (FRoot) {
      Preorder(FRoot->Children(), [&](TFakeElement *e) { all.push_back(e); });
    } else if (FDoc) {
      all = FDoc->AllElements();
    }
    std::vector<TFakeElement *> kept;
    for (TFakeElement *e : all)
      if (std::all_of(FFilters.begin(), FFilters.end(), [e](const TFilter &f) { return f(e); }))
        kept.push_back(e);
    return kept;
  }

  ComPtr<TFakeCollection> Narrowed(TFilter filter) const {
    std::vector<TFilter> filters = FFilters;
    filters.push_back(std::move(filter));
    return com::MakeObject<TFakeCollection>(FDoc, FRoot, FScope, std::move(filters));
  }

  STDMETHODIMP toString(BSTR *p) override { return GiveBstr(p, L"[object]"); }
  STDMETHODIMP get_length(LONG *p) override {
    if (!p)
      return E_POINTER;
    *p = static_cast<LONG>(Elements().size());
    return S_OK;
  }
  STDMETHODIMP item(VARIANT name, VARIANT index, IDispatch **p) override {
    if (!p)
      return E_POINTER;
    *p = nullptr;
    const VARIANT *n = name.vt == (VT_BYREF | VT_VARIANT) ? name.pvarVal : &name;
    const std::vector<TFakeElement *> elements = Elements();
    if (n->vt == VT_BSTR) {
      const std::wstring wanted(n->bstrVal ? n->bstrVal : L"");
      long skip = 0;
      VARIANT i;
      VariantInit(&i);
      if (index.vt != VT_EMPTY && index.vt != VT_ERROR && SUCCEEDED(VariantChangeType(&i, &index, 0, VT_I4)))
        skip = i.lVal;
      for (TFakeElement *e : elements)
        if (SameText(e->Attribute(L"id"), wanted) || SameText(e->Attribute(L"name"), wanted)) {
          if (skip-- == 0) {
            *p = DispatchOf(static_cast<IHTMLElement *>(e));
            return S_OK;
          }
        }
      return S_OK;
    }
    VARIANT i;
    VariantInit(&i);
    if (n->vt == VT_EMPTY || n->vt == VT_ERROR || FAILED(VariantChangeType(&i, const_cast<VARIANT *>(n), 0, VT_I4)))
      return S_OK;
    if (i.lVal >= 0 && static_cast<size_t>(i.lVal) < elements.size())
      *p = DispatchOf(static_cast<IHTMLElement *>(elements[static_cast<size_t>(i.lVal)]));
    return S_OK;
  }
  STDMETHODIMP tags(VARIANT tagName, IDispatch **p) override {
    if (!p)
      return E_POINTER;
    const std::wstring tag = Upper(VariantText(tagName));
    *p = Narrowed([tag](TFakeElement *e) { return e->Tag() == tag; }).Detach();
    return S_OK;
  }

  STDMETHODIMP GetTypeInfoCount(UINT *count) override {
    if (!count)
      return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override {
    return DispIdsOfNames(KMembers, names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override {
    return DispInvoke(KMembers, *this, id == DISPID_VALUE ? 2 : id, flags, params, result);
  }

private:
  static HRESULT CallItem(TFakeCollection &c, const TDispArgs &args, VARIANT *r) {
    VARIANT name = args.Value(0), index = args.Value(1);
    IDispatch *d = nullptr;
    const HRESULT hr = c.item(name, index, &d);
    VariantClear(&name);
    VariantClear(&index);
    return ResultDispatch(r, d, hr);
  }
  static HRESULT CallTags(TFakeCollection &c, const TDispArgs &args, VARIANT *r) {
    VARIANT tag = args.Value(0);
    IDispatch *d = nullptr;
    const HRESULT hr = c.tags(tag, &d);
    VariantClear(&tag);
    return ResultDispatch(r, d, hr);
  }
  static constexpr TDispMember<TFakeCollection> KMembers[] = {
      {L"length", 1, GetLong<TFakeCollection, &TFakeCollection::get_length>, nullptr, nullptr},
      {L"item", 2, nullptr, nullptr, CallItem},
      {L"tags", 3, nullptr, nullptr, CallTags},
  };

  ComPtr<TFakeDocument> FDoc;
  ComPtr<TFakeElement> FRoot;
  TScope FScope;
  std::vector<TFilter> FFilters;
};

} // namespace

// ---------------------------------------------------------------------------
// TFakeStyle

const com::TInterfaceEntry *TFakeStyle::Interfaces() {
  static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeStyle, IHTMLStyle),
                                               ZU_INTERFACE(TFakeStyle, IDispatch), ZU_INTERFACE_END};
  return table;
}

std::wstring TFakeStyle::Get(const std::wstring &property) const {
  for (const auto &p : FProperties)
    if (p.first == Lower(property))
      return p.second;
  return std::wstring();
}

void TFakeStyle::Set(const std::wstring &property, const std::wstring &value) {
  const std::wstring name = Lower(property);
  auto it = std::find_if(FProperties.begin(), FProperties.end(), [&](const auto &p) { return p.first == name; });
  if (value.empty()) {
    if (it != FProperties.end())
      FProperties.erase(it);
  } else if (it != FProperties.end()) {
    it->second = value;
  } else {
    FProperties.emplace_back(name, value);
  }
}

std::wstring TFakeStyle::CssText() const {
  std::wstring text;
  for (const auto &p : FProperties) {
    if (!text.empty())
      text += L"; ";
    text += Upper(p.first) + L": " + p.second;
  }
  return text;
}

void TFakeStyle::SetCssText(const std::wstring &text) {
  FProperties.clear();
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(L';', at);
    if (end == std::wstring::npos)
      end = text.size();
    const std::wstring decl = text.substr(at, end - at);
    const size_t colon = decl.find(L':');
    if (colon != std::wstring::npos) {
      auto trim = [](std::wstring s) {
        const size_t b = s.find_first_not_of(L" \t\r\n");
        const size_t e = s.find_last_not_of(L" \t\r\n");
        return b == std::wstring::npos ? std::wstring() : s.substr(b, e - b + 1);
      };
      Set(trim(decl.substr(0, colon)), trim(decl.substr(colon + 1)));
    }
    at = end + 1;
  }
}

#define ZU_STYLE_BSTR(Method, Css)                                                                                     \
  STDMETHODIMP TFakeStyle::put_##Method(BSTR v) {                                                                      \
    Set(Css, v ? v : L"");                                                                                             \
    return S_OK;                                                                                                       \
  }                                                                                                                    \
  STDMETHODIMP TFakeStyle::get_##Method(BSTR *p) { return GiveBstr(p, Get(Css)); }
#define ZU_STYLE_VARIANT(Method, Css)                                                                                  \
  STDMETHODIMP TFakeStyle::put_##Method(VARIANT v) {                                                                   \
    Set(Css, VariantText(v));                                                                                          \
    return S_OK;                                                                                                       \
  }                                                                                                                    \
  STDMETHODIMP TFakeStyle::get_##Method(VARIANT *p) {                                                                  \
    if (!p)                                                                                                            \
      return E_POINTER;                                                                                                \
    p->vt = VT_BSTR;                                                                                                   \
    return GiveBstr(&p->bstrVal, Get(Css));                                                                            \
  }

ZU_STYLE_BSTR(display, L"display")
ZU_STYLE_BSTR(visibility, L"visibility")
ZU_STYLE_BSTR(backgroundImage, L"background-image")
ZU_STYLE_BSTR(border, L"border")
ZU_STYLE_BSTR(cursor, L"cursor")
ZU_STYLE_BSTR(textDecoration, L"text-decoration")
ZU_STYLE_VARIANT(width, L"width")
ZU_STYLE_VARIANT(height, L"height")
ZU_STYLE_VARIANT(color, L"color")
ZU_STYLE_VARIANT(backgroundColor, L"background-color")

STDMETHODIMP TFakeStyle::put_cssText(BSTR v) {
  SetCssText(v ? v : L"");
  return S_OK;
}
STDMETHODIMP TFakeStyle::get_cssText(BSTR *p) { return GiveBstr(p, CssText()); }

namespace {
HRESULT StyleGet(TFakeStyle &s, const wchar_t *css, VARIANT *r) {
  r->vt = VT_BSTR;
  return GiveBstr(&r->bstrVal, s.Get(css));
}
#define ZU_STYLE_MEMBER(Name, Id, Css)                                                                                 \
  {                                                                                                                    \
    Name, Id, [](TFakeStyle &s, VARIANT *r) { return StyleGet(s, Css, r); },                                           \
        [](TFakeStyle &s, const VARIANT &v) {                                                                          \
          s.Set(Css, VariantText(v));                                                                                  \
          return S_OK;                                                                                                 \
        },                                                                                                             \
        nullptr                                                                                                        \
  }
const TDispMember<TFakeStyle> KStyleMembers[] = {
    {L"cssText", 1, GetBstr<TFakeStyle, &TFakeStyle::get_cssText>, PutBstr<TFakeStyle, &TFakeStyle::put_cssText>,
     nullptr},
    ZU_STYLE_MEMBER(L"display", 2, L"display"),
    ZU_STYLE_MEMBER(L"visibility", 3, L"visibility"),
    ZU_STYLE_MEMBER(L"backgroundImage", 4, L"background-image"),
    ZU_STYLE_MEMBER(L"border", 5, L"border"),
    ZU_STYLE_MEMBER(L"cursor", 6, L"cursor"),
    ZU_STYLE_MEMBER(L"textDecoration", 7, L"text-decoration"),
    ZU_STYLE_MEMBER(L"width", 8, L"width"),
    ZU_STYLE_MEMBER(L"height", 9, L"height"),
    ZU_STYLE_MEMBER(L"color", 10, L"color"),
    ZU_STYLE_MEMBER(L"backgroundColor", 11, L"background-color"),
};
} // namespace

STDMETHODIMP TFakeStyle::GetTypeInfoCount(UINT *count) {
  if (!count)
    return E_POINTER;
  *count = 0;
  return S_OK;
}
STDMETHODIMP TFakeStyle::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  return DispIdsOfNames(KStyleMembers, names, count, ids);
}
STDMETHODIMP TFakeStyle::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                                UINT *) {
  return DispInvoke(KStyleMembers, *this, id, flags, params, result);
}

// ---------------------------------------------------------------------------
// TFakeElement

const com::TInterfaceEntry *TFakeElement::Interfaces() {
  static const com::TInterfaceEntry table[] = {
      ZU_INTERFACE(TFakeElement, IHTMLElement),     ZU_INTERFACE_VIA(TFakeElement, IDispatch, IHTMLElement),
      ZU_INTERFACE(TFakeElement, IHTMLElement2),    ZU_INTERFACE(TFakeElement, IHTMLImgElement),
      ZU_INTERFACE(TFakeElement, IHTMLBodyElement), ZU_INTERFACE(TFakeElement, IHTMLTable),
      ZU_INTERFACE(TFakeElement, IHTMLTableCell),   ZU_INTERFACE(TFakeElement, IHTMLAnchorElement),
      ZU_INTERFACE(TFakeElement, IHTMLFrameBase),   ZU_INTERFACE_END};
  return table;
}

TFakeElement::TFakeElement(TFakeDocument *document, const std::wstring &tag) : FTag(Upper(tag)), FDocument(document) {
  if (FDocument)
    FDocument->FElements.insert(this);
}

TFakeElement::~TFakeElement() {
  for (TNode &n : FChildren)
    if (n.Kind == TNode::ElementNode && n.Elem->FParent == this)
      n.Elem->FParent = nullptr;
  if (FDocument)
    FDocument->FElements.erase(this);
}

bool TFakeElement::Is(const wchar_t *tag) const { return FTag == tag; }

bool TFakeElement::Supports(REFIID iid) const {
  if (IsEqualIID(iid, IID_IHTMLImgElement))
    return Is(L"IMG");
  if (IsEqualIID(iid, IID_IHTMLBodyElement))
    return Is(L"BODY");
  if (IsEqualIID(iid, IID_IHTMLTable))
    return Is(L"TABLE");
  if (IsEqualIID(iid, IID_IHTMLTableCell))
    return Is(L"TD") || Is(L"TH");
  if (IsEqualIID(iid, IID_IHTMLAnchorElement))
    return Is(L"A");
  if (IsEqualIID(iid, IID_IHTMLFrameBase))
    return Is(L"FRAME") || Is(L"IFRAME");
  return true;
}

STDMETHODIMP TFakeElement::QueryInterface(REFIID iid, void **out) {
  if (out && IsEqualIID(iid, IID_FakeElementSelf)) {
    *out = this;
    AddRef();
    return S_OK;
  }
  if (!Supports(iid)) {
    if (out)
      *out = nullptr;
    return E_NOINTERFACE;
  }
  return TFakeObject::QueryInterface(iid, out);
}

TFakeElement::TAttr *TFakeElement::FindAttr(const std::wstring &name) {
  for (TAttr &a : FAttrs)
    if (SameText(a.Name, name))
      return &a;
  return nullptr;
}

const TFakeElement::TAttr *TFakeElement::FindAttr(const std::wstring &name) const {
  return const_cast<TFakeElement *>(this)->FindAttr(name);
}

std::wstring TFakeElement::Attribute(const std::wstring &name) const {
  if (FStyle && SameText(name, L"style"))
    return FStyle->CssText();
  const TAttr *a = FindAttr(name);
  return a ? VariantText(a->Value.Get()) : std::wstring();
}

bool TFakeElement::HasAttribute(const std::wstring &name) const {
  if (FStyle && SameText(name, L"style"))
    return true;
  return FindAttr(name) != nullptr;
}

void TFakeElement::SetAttribute(const std::wstring &name, const std::wstring &value) {
  if (FStyle && SameText(name, L"style")) {
    FStyle->SetCssText(value);
    return;
  }
  if (TAttr *a = FindAttr(name))
    a->Value = com::Variant(value);
  else
    FAttrs.push_back(TAttr{name, com::Variant(value)});
}

IUnknown *TFakeElement::Embedding() const {
  if (FFrame)
    return static_cast<IWebBrowser2 *>(FFrame.Get());
  return FPlugin.Get();
}

void TFakeElement::Embed() {
  if (!FDocument)
    return;
  if (Is(L"FRAME") || Is(L"IFRAME")) {
    FFrame = com::MakeObject<TFakeBrowser>(FDocument->Pages(), false, FDocument->Depth() + 1);
    const std::wstring src = Attribute(L"src");
    FFrame->LoadFromPages(src.empty() ? L"about:blank" : FDocument->Resolve(src));
  } else if (Is(L"OBJECT") || Is(L"EMBED") || Is(L"APPLET")) {
    FPlugin = com::MakeObject<TFakePlugin>();
  }
}

std::vector<TNode> *TFakeElement::Siblings() const {
  if (FParent)
    return &FParent->FChildren;
  if (FDocument)
    for (const TNode &n : FDocument->FNodes)
      if (n.Elem.Get() == this)
        return &FDocument->FNodes;
  return nullptr;
}

void TFakeElement::AppendChild(TNode node) {
  if (node.Kind == TNode::ElementNode)
    node.Elem->FParent = this;
  FChildren.push_back(std::move(node));
}

void TFakeElement::AdoptChildren(std::vector<TNode> &nodes, size_t at) {
  for (TNode &n : nodes)
    if (n.Kind == TNode::ElementNode)
      n.Elem->FParent = this;
  FChildren.insert(FChildren.begin() + static_cast<std::ptrdiff_t>(at), nodes.begin(), nodes.end());
}

void TFakeElement::WriteOuter(std::wstring &out) const {
  out += L'<';
  out += FTag;
  for (const TAttr &a : FAttrs)
    out += L' ' + a.Name + L"=\"" + EncodeAttribute(VariantText(a.Value.Get())) + L'"';
  if (FStyle && !FStyle->CssText().empty())
    out += L" style=\"" + EncodeAttribute(FStyle->CssText()) + L'"';
  out += L'>';
  if (IsVoidTag(FTag))
    return;
  WriteInner(out);
  out += L"</" + FTag + L'>';
}

void TFakeElement::WriteInner(std::wstring &out) const {
  const bool raw = IsRawTextTag(FTag) && !IsEscapedRawTextTag(FTag);
  for (const TNode &n : FChildren)
    switch (n.Kind) {
    case TNode::TextNode:
      out += raw ? n.Text : EncodeText(n.Text);
      break;
    case TNode::MarkupNode:
      out += n.Text;
      break;
    case TNode::ElementNode:
      n.Elem->WriteOuter(out);
      break;
    }
}

void TFakeElement::CollectText(std::wstring &out) const {
  if (Is(L"SCRIPT") || Is(L"STYLE"))
    return;
  for (const TNode &n : FChildren)
    if (n.Kind == TNode::TextNode)
      out += n.Text;
    else if (n.Kind == TNode::ElementNode)
      n.Elem->CollectText(out);
}

std::wstring TFakeElement::OuterHtml() const {
  std::wstring out;
  WriteOuter(out);
  return out;
}

std::wstring TFakeElement::InnerHtml() const {
  std::wstring out;
  WriteInner(out);
  return out;
}

std::wstring TFakeElement::InnerText() const {
  std::wstring out;
  CollectText(out);
  return out;
}

HRESULT TFakeElement::InsertHtml(const std::wstring &where, const std::wstring &html) {
  if (!FDocument)
    return E_FAIL;
  std::vector<TNode> nodes = FDocument->ParseFragment(html);
  if (SameText(where, L"afterBegin"))
    AdoptChildren(nodes, 0);
  else if (SameText(where, L"beforeEnd"))
    AdoptChildren(nodes, FChildren.size());
  else if (SameText(where, L"beforeBegin") || SameText(where, L"afterEnd")) {
    std::vector<TNode> *siblings = Siblings();
    if (!siblings)
      return E_FAIL;
    size_t at = 0;
    while (at < siblings->size() && (*siblings)[at].Elem.Get() != this)
      ++at;
    if (SameText(where, L"afterEnd"))
      ++at;
    if (FParent)
      FParent->AdoptChildren(nodes, at);
    else
      siblings->insert(siblings->begin() + static_cast<std::ptrdiff_t>(at), nodes.begin(), nodes.end());
  } else
    return E_INVALIDARG;
  return S_OK;
}

// IDispatch ----------------------------------------------------------------

namespace {
HRESULT ElemGetAttribute(TFakeElement &e, const TDispArgs &a, VARIANT *r) {
  BSTR name = SysAllocString(a.Str(0).c_str());
  const HRESULT hr = e.getAttribute(name, a.Long(1, 0), r);
  SysFreeString(name);
  return hr;
}
HRESULT ElemSetAttribute(TFakeElement &e, const TDispArgs &a, VARIANT *) {
  BSTR name = SysAllocString(a.Str(0).c_str());
  VARIANT value = a.Value(1);
  const HRESULT hr = e.setAttribute(name, value, a.Long(2, 1));
  VariantClear(&value);
  SysFreeString(name);
  return hr;
}
HRESULT ElemRemoveAttribute(TFakeElement &e, const TDispArgs &a, VARIANT *r) {
  BSTR name = SysAllocString(a.Str(0).c_str());
  VARIANT_BOOL done = VARIANT_FALSE;
  const HRESULT hr = e.removeAttribute(name, a.Long(1, 1), &done);
  SysFreeString(name);
  return ResultBool(r, done, hr);
}
HRESULT ElemInsertAdjacentHTML(TFakeElement &e, const TDispArgs &a, VARIANT *) {
  BSTR where = SysAllocString(a.Str(0).c_str());
  BSTR html = SysAllocString(a.Str(1).c_str());
  const HRESULT hr = e.insertAdjacentHTML(where, html);
  SysFreeString(where);
  SysFreeString(html);
  return hr;
}
HRESULT ElemByTag(TFakeElement &e, const TDispArgs &a, VARIANT *r) {
  BSTR tag = SysAllocString(a.Str(0).c_str());
  IHTMLElementCollection *c = nullptr;
  const HRESULT hr = e.getElementsByTagName(tag, &c);
  SysFreeString(tag);
  return ResultDispatch(r, c, hr);
}
HRESULT ElemDocument(TFakeElement &e, VARIANT *r) {
  IDispatch *d = nullptr;
  const HRESULT hr = e.get_document(&d);
  return ResultDispatch(r, d, hr);
}
HRESULT ElemChildren(TFakeElement &e, VARIANT *r) {
  IDispatch *d = nullptr;
  const HRESULT hr = e.get_children(&d);
  return ResultDispatch(r, d, hr);
}
HRESULT ElemAll(TFakeElement &e, VARIANT *r) {
  IDispatch *d = nullptr;
  const HRESULT hr = e.get_all(&d);
  return ResultDispatch(r, d, hr);
}

using E = TFakeElement;
const TDispMember<E> KElementMembers[] = {
    {L"tagName", 1, GetBstr<E, &E::get_tagName>, nullptr, nullptr},
    {L"id", 2, GetBstr<E, &E::get_id>, PutBstr<E, &E::put_id>, nullptr},
    {L"className", 3, GetBstr<E, &E::get_className>, PutBstr<E, &E::put_className>, nullptr},
    {L"title", 4, GetBstr<E, &E::get_title>, PutBstr<E, &E::put_title>, nullptr},
    {L"innerHTML", 5, GetBstr<E, &E::get_innerHTML>, PutBstr<E, &E::put_innerHTML>, nullptr},
    {L"innerText", 6, GetBstr<E, &E::get_innerText>, PutBstr<E, &E::put_innerText>, nullptr},
    {L"outerHTML", 7, GetBstr<E, &E::get_outerHTML>, PutBstr<E, &E::put_outerHTML>, nullptr},
    {L"document", 8, ElemDocument, nullptr, nullptr},
    {L"parentElement", 9, GetIface<E, IHTMLElement, &E::get_parentElement>, nullptr, nullptr},
    {L"style", 10, GetIface<E, IHTMLStyle, &E::get_style>, nullptr, nullptr},
    {L"all", 11, ElemAll, nullptr, nullptr},
    {L"children", 12, ElemChildren, nullptr, nullptr},
    {L"sourceIndex", 13, GetLong<E, &E::get_sourceIndex>, nullptr, nullptr},
    {L"getAttribute", 14, nullptr, nullptr, ElemGetAttribute},
    {L"setAttribute", 15, nullptr, nullptr, ElemSetAttribute},
    {L"removeAttribute", 16, nullptr, nullptr, ElemRemoveAttribute},
    {L"insertAdjacentHTML", 17, nullptr, nullptr, ElemInsertAdjacentHTML},
    {L"getElementsByTagName", 18, nullptr, nullptr, ElemByTag},
    {L"src", 19, GetBstr<E, &E::get_src>, PutBstr<E, &E::put_src>, nullptr},
    {L"alt", 20, GetBstr<E, &E::get_alt>, PutBstr<E, &E::put_alt>, nullptr},
    {L"name", 21, GetBstr<E, &E::get_name>, PutBstr<E, &E::put_name>, nullptr},
    {L"width", 22, GetLong<E, &E::get_width>, PutLong<E, &E::put_width>, nullptr},
    {L"height", 23, GetLong<E, &E::get_height>, PutLong<E, &E::put_height>, nullptr},
    {L"background", 24, GetBstr<E, &E::get_background>, PutBstr<E, &E::put_background>, nullptr},
    {L"href", 25, GetBstr<E, &E::get_href>, PutBstr<E, &E::put_href>, nullptr},
    {L"target", 26, GetBstr<E, &E::get_target>, PutBstr<E, &E::put_target>, nullptr},
};
} // namespace

STDMETHODIMP TFakeElement::GetTypeInfoCount(UINT *count) {
  if (!count)
    return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP TFakeElement::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  HRESULT hr = DispIdsOfNames(KElementMembers, names, count, ids);
  if (hr != DISP_E_UNKNOWNNAME)
    return hr;
  hr = S_OK;
  // Attributes the element has answer as expando properties.
  for (UINT i = 0; i < count; ++i)
    if (ids[i] == DISPID_UNKNOWN) {
      if (names[i] && HasAttribute(names[i]))
        ids[i] = ExpandoId(names[i]);
      else
        hr = DISP_E_UNKNOWNNAME;
    }
  return hr;
}

STDMETHODIMP TFakeElement::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                                  UINT *) {
  if (id >= KExpandoBase && static_cast<size_t>(id - KExpandoBase) < ExpandoNames().size()) {
    BSTR name = SysAllocString(ExpandoNames()[static_cast<size_t>(id - KExpandoBase)].c_str());
    HRESULT hr;
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
      hr = params && params->cArgs ? setAttribute(name, params->rgvarg[0], 0) : DISP_E_BADPARAMCOUNT;
    else {
      VARIANT scratch;
      VariantInit(&scratch);
      hr = getAttribute(name, 0, result ? result : &scratch);
      VariantClear(&scratch);
    }
    SysFreeString(name);
    return hr;
  }
  return DispInvoke(KElementMembers, *this, id, flags, params, result);
}

// IHTMLElement ---------------------------------------------------------------

STDMETHODIMP TFakeElement::setAttribute(BSTR name, VARIANT value, LONG flags) {
  if (!name || !*name)
    return E_INVALIDARG;
  const std::wstring n(name);
  if (SameText(n, L"style")) {
    if (!FStyle) {
      FAttrs.erase(
          std::remove_if(FAttrs.begin(), FAttrs.end(), [](const TAttr &a) { return SameText(a.Name, L"style"); }),
          FAttrs.end());
      FStyle = com::MakeObject<TFakeStyle>();
    }
    FStyle->SetCssText(VariantText(value));
    return S_OK;
  }
  TAttr *a = nullptr;
  for (TAttr &x : FAttrs)
    if ((flags & 1) ? x.Name == n : SameText(x.Name, n)) {
      a = &x;
      break;
    }
  com::Variant v = com::Variant::Copy(value);
  if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal)
    v = com::Variant::Copy(*value.pvarVal);
  if (a)
    a->Value = std::move(v);
  else
    FAttrs.push_back(TAttr{n, std::move(v)});
  if (FFrame && SameText(n, L"src")) {
    const std::wstring src = Attribute(L"src");
    FFrame->LoadFromPages(src.empty() ? L"about:blank" : FDocument ? FDocument->Resolve(src) : src);
  }
  return S_OK;
}

STDMETHODIMP TFakeElement::getAttribute(BSTR name, LONG flags, VARIANT *value) {
  if (!value)
    return E_POINTER;
  VariantInit(value);
  const std::wstring n(name ? name : L"");
  if (FStyle && SameText(n, L"style")) {
    value->vt = VT_BSTR;
    return GiveBstr(&value->bstrVal, FStyle->CssText());
  }
  for (const TAttr &a : FAttrs)
    if ((flags & 1) ? a.Name == n : SameText(a.Name, n))
      return VariantCopy(value, const_cast<VARIANT *>(&a.Value.Get()));
  value->vt = VT_NULL;
  return S_OK;
}

STDMETHODIMP TFakeElement::removeAttribute(BSTR name, LONG flags, VARIANT_BOOL *removed) {
  const std::wstring n(name ? name : L"");
  const size_t before = FAttrs.size();
  FAttrs.erase(std::remove_if(FAttrs.begin(), FAttrs.end(),
                              [&](const TAttr &a) { return (flags & 1) ? a.Name == n : SameText(a.Name, n); }),
               FAttrs.end());
  bool done = FAttrs.size() != before;
  if (FStyle && SameText(n, L"style")) {
    FStyle->SetCssText(L"");
    done = true;
  }
  if (removed)
    *removed = done ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

#define ZU_ELEMENT_ATTRIBUTE(Method, Attr)                                                                             \
  STDMETHODIMP TFakeElement::put_##Method(BSTR v) {                                                                    \
    SetAttribute(Attr, v ? v : L"");                                                                                   \
    return S_OK;                                                                                                       \
  }                                                                                                                    \
  STDMETHODIMP TFakeElement::get_##Method(BSTR *p) { return GiveBstr(p, Attribute(Attr)); }

ZU_ELEMENT_ATTRIBUTE(className, L"class")
ZU_ELEMENT_ATTRIBUTE(id, L"id")
ZU_ELEMENT_ATTRIBUTE(title, L"title")
ZU_ELEMENT_ATTRIBUTE(alt, L"alt")
ZU_ELEMENT_ATTRIBUTE(name, L"name")
ZU_ELEMENT_ATTRIBUTE(background, L"background")
ZU_ELEMENT_ATTRIBUTE(target, L"target")

STDMETHODIMP TFakeElement::get_tagName(BSTR *p) { return GiveBstr(p, FTag); }

STDMETHODIMP TFakeElement::get_parentElement(IHTMLElement **p) {
  return GiveInterface(FParent ? static_cast<IHTMLElement *>(FParent) : nullptr, p);
}

STDMETHODIMP TFakeElement::get_style(IHTMLStyle **p) {
  if (!p)
    return E_POINTER;
  if (!FStyle) {
    const std::wstring text = Attribute(L"style");
    FAttrs.erase(
        std::remove_if(FAttrs.begin(), FAttrs.end(), [](const TAttr &a) { return SameText(a.Name, L"style"); }),
        FAttrs.end());
    FStyle = com::MakeObject<TFakeStyle>();
    FStyle->SetCssText(text);
  }
  return GiveInterface(static_cast<IHTMLStyle *>(FStyle.Get()), p);
}

STDMETHODIMP TFakeElement::get_document(IDispatch **p) {
  if (!p)
    return E_POINTER;
  *p = nullptr;
  if (!FDocument)
    return E_FAIL;
  return GiveInterface(static_cast<IDispatch *>(static_cast<IHTMLDocument2 *>(FDocument)), p);
}

STDMETHODIMP TFakeElement::contains(IHTMLElement *child, VARIANT_BOOL *result) {
  if (!result)
    return E_POINTER;
  *result = VARIANT_FALSE;
  for (const TFakeElement *e = FakeElementOf(child); e; e = e->FParent)
    if (e == this)
      *result = VARIANT_TRUE;
  return S_OK;
}

STDMETHODIMP TFakeElement::get_sourceIndex(LONG *p) {
  if (!p)
    return E_POINTER;
  *p = -1;
  if (FDocument) {
    const auto all = FDocument->AllElements();
    const auto it = std::find(all.begin(), all.end(), this);
    if (it != all.end())
      *p = static_cast<LONG>(it - all.begin());
  }
  return S_OK;
}

STDMETHODIMP TFakeElement::put_innerHTML(BSTR v) {
  if (IsVoidTag(FTag) || !FDocument)
    return E_FAIL;
  std::vector<TNode> nodes = FDocument->ParseFragment(v ? v : L"");
  for (TNode &n : FChildren)
    if (n.Kind == TNode::ElementNode)
      n.Elem->FParent = nullptr;
  FChildren.clear();
  AdoptChildren(nodes, 0);
  return S_OK;
}
STDMETHODIMP TFakeElement::get_innerHTML(BSTR *p) { return GiveBstr(p, InnerHtml()); }

STDMETHODIMP TFakeElement::put_innerText(BSTR v) {
  if (IsVoidTag(FTag))
    return E_FAIL;
  for (TNode &n : FChildren)
    if (n.Kind == TNode::ElementNode)
      n.Elem->FParent = nullptr;
  FChildren.clear();
  if (v && *v)
    FChildren.push_back(TNode{TNode::TextNode, v, nullptr});
  return S_OK;
}
STDMETHODIMP TFakeElement::get_innerText(BSTR *p) { return GiveBstr(p, InnerText()); }

STDMETHODIMP TFakeElement::put_outerHTML(BSTR v) {
  std::vector<TNode> *siblings = Siblings();
  // The browser refuses to replace the root element or one not in a tree.
  if (!siblings || !FParent || !FDocument)
    return E_FAIL;
  std::vector<TNode> nodes = FDocument->ParseFragment(v ? v : L"");
  ComPtr<TFakeElement> keep(this);
  TFakeElement *parent = FParent;
  size_t at = 0;
  while (at < siblings->size() && (*siblings)[at].Elem.Get() != this)
    ++at;
  siblings->erase(siblings->begin() + static_cast<std::ptrdiff_t>(at));
  FParent = nullptr;
  parent->AdoptChildren(nodes, at);
  return S_OK;
}
STDMETHODIMP TFakeElement::get_outerHTML(BSTR *p) { return GiveBstr(p, OuterHtml()); }

STDMETHODIMP TFakeElement::insertAdjacentHTML(BSTR where, BSTR html) {
  return InsertHtml(where ? where : L"", html ? html : L"");
}

STDMETHODIMP TFakeElement::get_children(IDispatch **p) {
  if (!p)
    return E_POINTER;
  ComPtr<TFakeElement> self(this);
  *p = static_cast<IHTMLElementCollection *>(com::MakeObject<TFakeCollection>(nullptr, self, TFakeCollection::Children,
                                                                              std::vector<TFakeCollection::TFilter>())
                                                 .Detach());
  return S_OK;
}

STDMETHODIMP TFakeElement::get_all(IDispatch **p) {
  if (!p)
    return E_POINTER;
  ComPtr<TFakeElement> self(this);
  *p = static_cast<IHTMLElementCollection *>(com::MakeObject<TFakeCollection>(nullptr, self,
                                                                              TFakeCollection::Descendants,
                                                                              std::vector<TFakeCollection::TFilter>())
                                                 .Detach());
  return S_OK;
}

STDMETHODIMP TFakeElement::getElementsByTagName(BSTR v, IHTMLElementCollection **p) {
  if (!p)
    return E_POINTER;
  const std::wstring tag = Upper(v ? v : L"");
  std::vector<TFakeCollection::TFilter> filters;
  if (tag != L"*")
    filters.push_back([tag](TFakeElement *e) { return e->Tag() == tag; });
  ComPtr<TFakeElement> self(this);
  *p = com::MakeObject<TFakeCollection>(nullptr, self, TFakeCollection::Descendants, std::move(filters)).Detach();
  return S_OK;
}

STDMETHODIMP TFakeElement::put_src(BSTR v) {
  BSTR name = SysAllocString(L"src");
  VARIANT value;
  value.vt = VT_BSTR;
  value.bstrVal = v;
  const HRESULT hr = setAttribute(name, value, 0);
  SysFreeString(name);
  return hr;
}

STDMETHODIMP TFakeElement::get_src(BSTR *p) {
  const std::wstring src = Attribute(L"src");
  if (Is(L"IMG") && !src.empty() && FDocument && FDocument->AbsoluteImageSrc())
    return GiveBstr(p, FDocument->Resolve(src));
  return GiveBstr(p, src);
}

STDMETHODIMP TFakeElement::put_width(LONG v) {
  SetAttribute(L"width", std::to_wstring(v));
  return S_OK;
}
STDMETHODIMP TFakeElement::get_width(LONG *p) {
  if (!p)
    return E_POINTER;
  *p = wcstol(Attribute(L"width").c_str(), nullptr, 10);
  return S_OK;
}
STDMETHODIMP TFakeElement::put_height(LONG v) {
  SetAttribute(L"height", std::to_wstring(v));
  return S_OK;
}
STDMETHODIMP TFakeElement::get_height(LONG *p) {
  if (!p)
    return E_POINTER;
  *p = wcstol(Attribute(L"height").c_str(), nullptr, 10);
  return S_OK;
}

STDMETHODIMP TFakeElement::put_href(BSTR v) {
  SetAttribute(Is(L"IMG") ? L"src" : L"href", v ? v : L"");
  return S_OK;
}
STDMETHODIMP TFakeElement::get_href(BSTR *p) {
  if (Is(L"IMG"))
    return get_src(p);
  const std::wstring href = Attribute(L"href");
  return GiveBstr(p, href.empty() || !FDocument ? href : FDocument->Resolve(href));
}

// ---------------------------------------------------------------------------
// TFakeDocument

const com::TInterfaceEntry *TFakeDocument::Interfaces() {
  static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFakeDocument, IHTMLDocument2),
                                               ZU_INTERFACE_VIA(TFakeDocument, IHTMLDocument, IHTMLDocument2),
                                               ZU_INTERFACE_VIA(TFakeDocument, IDispatch, IHTMLDocument2),
                                               ZU_INTERFACE(TFakeDocument, IHTMLDocument3),
                                               ZU_INTERFACE(TFakeDocument, IOleContainer),
                                               ZU_INTERFACE(TFakeDocument, IParseDisplayName),
                                               ZU_INTERFACE_END};
  return table;
}

TFakeDocument::TFakeDocument(const std::wstring &url, const std::wstring &html, std::shared_ptr<const TPages> pages,
                             int depth)
    : FUrl(url), FPages(pages ? std::move(pages) : std::make_shared<const TPages>()), FDepth(depth) {
  FNodes = ParseFragment(html);
  BuildDocumentTree(this, FNodes);
}

TFakeDocument::~TFakeDocument() {
  for (TFakeElement *e : FElements)
    e->FDocument = nullptr;
  FElements.clear();
}

STDMETHODIMP TFakeDocument::QueryInterface(REFIID iid, void **out) {
  if (out && IsEqualIID(iid, IID_FakeDocumentSelf)) {
    *out = this;
    AddRef();
    return S_OK;
  }
  return TFakeObject::QueryInterface(iid, out);
}

std::vector<TFakeElement *> TFakeDocument::AllElements() const {
  std::vector<TFakeElement *> all;
  Preorder(FNodes, [&](TFakeElement *e) { all.push_back(e); });
  return all;
}

std::vector<TFakeElement *> TFakeDocument::ElementsByTag(const std::wstring &tag) const {
  std::vector<TFakeElement *> found;
  const std::wstring t = Upper(tag);
  for (TFakeElement *e : AllElements())
    if (e->Tag() == t)
      found.push_back(e);
  return found;
}

TFakeElement *TFakeDocument::Body() const {
  for (TFakeElement *e : AllElements())
    if (e->Tag() == L"BODY" || e->Tag() == L"FRAMESET")
      return e;
  return nullptr;
}

std::vector<TFakeBrowser *> TFakeDocument::Frames() const {
  std::vector<TFakeBrowser *> frames;
  for (TFakeElement *e : AllElements())
    if (e->FrameBrowser())
      frames.push_back(e->FrameBrowser());
  return frames;
}

std::wstring TFakeDocument::Html() const {
  std::wstring out;
  for (const TNode &n : FNodes)
    switch (n.Kind) {
    case TNode::TextNode:
      out += EncodeText(n.Text);
      break;
    case TNode::MarkupNode:
      out += n.Text;
      break;
    case TNode::ElementNode:
      out += n.Elem->OuterHtml();
      break;
    }
  return out;
}

std::wstring TFakeDocument::Resolve(const std::wstring &url) const { return CombineUrlW(FUrl, url); }

namespace {
ComPtr<TFakeCollection> DocumentCollection(TFakeDocument *doc, std::vector<TFakeCollection::TFilter> filters) {
  ComPtr<TFakeDocument> self(doc);
  return com::MakeObject<TFakeCollection>(self, nullptr, TFakeCollection::Descendants, std::move(filters));
}
TFakeCollection::TFilter TagFilter(const std::wstring &tag) {
  const std::wstring t = Upper(tag);
  return [t](TFakeElement *e) { return e->Tag() == t; };
}
} // namespace

STDMETHODIMP TFakeDocument::get_all(IHTMLElementCollection **p) {
  if (!p)
    return E_POINTER;
  *p = DocumentCollection(this, {}).Detach();
  return S_OK;
}

STDMETHODIMP TFakeDocument::get_images(IHTMLElementCollection **p) {
  if (!p)
    return E_POINTER;
  *p = DocumentCollection(this, {TagFilter(L"IMG")}).Detach();
  return S_OK;
}

STDMETHODIMP TFakeDocument::get_links(IHTMLElementCollection **p) {
  if (!p)
    return E_POINTER;
  *p = DocumentCollection(this, {[](TFakeElement *e) {
                            return (e->Tag() == L"A" || e->Tag() == L"AREA") && e->HasAttribute(L"href");
                          }})
           .Detach();
  return S_OK;
}

STDMETHODIMP TFakeDocument::getElementsByTagName(BSTR v, IHTMLElementCollection **p) {
  if (!p)
    return E_POINTER;
  const std::wstring tag(v ? v : L"");
  std::vector<TFakeCollection::TFilter> filters;
  if (tag != L"*")
    filters.push_back(TagFilter(tag));
  *p = DocumentCollection(this, std::move(filters)).Detach();
  return S_OK;
}

STDMETHODIMP TFakeDocument::get_body(IHTMLElement **p) { return GiveInterface(static_cast<IHTMLElement *>(Body()), p); }

STDMETHODIMP TFakeDocument::get_documentElement(IHTMLElement **p) {
  for (const TNode &n : FNodes)
    if (n.Kind == TNode::ElementNode)
      return GiveInterface(static_cast<IHTMLElement *>(n.Elem.Get()), p);
  return GiveInterface(static_cast<IHTMLElement *>(nullptr), p);
}

STDMETHODIMP TFakeDocument::getElementById(BSTR v, IHTMLElement **p) {
  const std::wstring id(v ? v : L"");
  for (TFakeElement *e : AllElements())
    if (e->HasAttribute(L"id") && SameText(e->Attribute(L"id"), id))
      return GiveInterface(static_cast<IHTMLElement *>(e), p);
  return GiveInterface(static_cast<IHTMLElement *>(nullptr), p);
}

STDMETHODIMP TFakeDocument::get_readyState(BSTR *p) { return GiveBstr(p, L"complete"); }

STDMETHODIMP TFakeDocument::put_title(BSTR v) {
  FTitle = v ? v : L"";
  FTitleSet = true;
  return S_OK;
}

STDMETHODIMP TFakeDocument::get_title(BSTR *p) {
  if (FTitleSet)
    return GiveBstr(p, FTitle);
  const auto titles = ElementsByTag(L"TITLE");
  return GiveBstr(p, titles.empty() ? std::wstring() : titles.front()->InnerText());
}

STDMETHODIMP TFakeDocument::put_URL(BSTR v) {
  FUrl = v ? v : L"";
  return S_OK;
}
STDMETHODIMP TFakeDocument::get_URL(BSTR *p) { return GiveBstr(p, FUrl); }

STDMETHODIMP TFakeDocument::createElement(BSTR tag, IHTMLElement **p) {
  if (!p)
    return E_POINTER;
  std::wstring t(tag ? tag : L"");
  // createElement("<img src=x>") is the browser's shorthand for a parsed tag.
  if (!t.empty() && t[0] == L'<') {
    std::vector<TNode> nodes = ParseFragment(t);
    for (TNode &n : nodes)
      if (n.Kind == TNode::ElementNode) {
        *p = n.Elem.Detach();
        return S_OK;
      }
    return E_INVALIDARG;
  }
  if (t.empty())
    return E_INVALIDARG;
  ComPtr<TFakeElement> e = com::MakeObject<TFakeElement>(this, t);
  e->Embed();
  *p = e.Detach();
  return S_OK;
}

STDMETHODIMP TFakeDocument::ParseDisplayName(IBindCtx *, LPOLESTR, ULONG *, IMoniker **) { return E_NOTIMPL; }

STDMETHODIMP TFakeDocument::EnumObjects(DWORD flags, IEnumUnknown **out) {
  if (!out)
    return E_POINTER;
  ++FEnumCalls;
  std::vector<ComPtr<IUnknown>> items;
  if (flags & OLECONTF_EMBEDDINGS)
    for (TFakeElement *e : AllElements())
      if (IUnknown *u = e->Embedding())
        items.emplace_back(u);
  *out = com::MakeObject<TFakeEnumUnknown>(std::move(items)).Detach();
  return S_OK;
}

STDMETHODIMP TFakeDocument::LockContainer(BOOL) { return S_OK; }

namespace {
using D = TFakeDocument;
HRESULT DocGetById(D &d, const TDispArgs &a, VARIANT *r) {
  BSTR id = SysAllocString(a.Str(0).c_str());
  IHTMLElement *e = nullptr;
  const HRESULT hr = d.getElementById(id, &e);
  SysFreeString(id);
  IDispatch *disp = DispatchOf(e);
  if (e)
    e->Release();
  return ResultDispatch(r, disp, hr);
}
HRESULT DocByTag(D &d, const TDispArgs &a, VARIANT *r) {
  BSTR tag = SysAllocString(a.Str(0).c_str());
  IHTMLElementCollection *c = nullptr;
  const HRESULT hr = d.getElementsByTagName(tag, &c);
  SysFreeString(tag);
  return ResultDispatch(r, c, hr);
}
HRESULT DocCreateElement(D &d, const TDispArgs &a, VARIANT *r) {
  BSTR tag = SysAllocString(a.Str(0).c_str());
  IHTMLElement *e = nullptr;
  const HRESULT hr = d.createElement(tag, &e);
  SysFreeString(tag);
  IDispatch *disp = DispatchOf(e);
  if (e)
    e->Release();
  return ResultDispatch(r, disp, hr);
}
const TDispMember<D> KDocumentMembers[] = {
    {L"URL", 1, GetBstr<D, &D::get_URL>, PutBstr<D, &D::put_URL>, nullptr},
    {L"title", 2, GetBstr<D, &D::get_title>, PutBstr<D, &D::put_title>, nullptr},
    {L"body", 3, GetIface<D, IHTMLElement, &D::get_body>, nullptr, nullptr},
    {L"all", 4, GetIface<D, IHTMLElementCollection, &D::get_all>, nullptr, nullptr},
    {L"images", 5, GetIface<D, IHTMLElementCollection, &D::get_images>, nullptr, nullptr},
    {L"links", 6, GetIface<D, IHTMLElementCollection, &D::get_links>, nullptr, nullptr},
    {L"readyState", 7, GetBstr<D, &D::get_readyState>, nullptr, nullptr},
    {L"documentElement", 8, GetIface<D, IHTMLElement, &D::get_documentElement>, nullptr, nullptr},
    {L"getElementById", 9, nullptr, nullptr, DocGetById},
    {L"getElementsByTagName", 10, nullptr, nullptr, DocByTag},
    {L"createElement", 11, nullptr, nullptr, DocCreateElement},
    {L"parentWindow", 12, GetIface<D, IHTMLWindow2, &D::get_parentWindow>, nullptr, nullptr},
    {L"selection", 13, GetIface<D, IHTMLSelectionObject, &D::get_selection>, nullptr, nullptr},
};
} // namespace

STDMETHODIMP TFakeDocument::GetTypeInfoCount(UINT *count) {
  if (!count)
    return E_POINTER;
  *count = 0;
  return S_OK;
}
STDMETHODIMP TFakeDocument::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  return DispIdsOfNames(KDocumentMembers, names, count, ids);
}
STDMETHODIMP TFakeDocument::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                   EXCEPINFO *, UINT *) {
  return DispInvoke(KDocumentMembers, *this, id, flags, params, result);
}

// ---------------------------------------------------------------------------

ComPtr<TFakeDocument> MakeDocument(const std::wstring &url, const std::wstring &html, const TPages &pages) {
  return com::MakeObject<TFakeDocument>(url, html, std::make_shared<const TPages>(pages));
}

TFakeDocument *FakeDocumentOf(IUnknown *object) {
  void *self = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_FakeDocumentSelf, &self)) || !self)
    return nullptr;
  auto *doc = static_cast<TFakeDocument *>(self);
  doc->Release();
  return doc;
}

TFakeElement *FakeElementOf(IUnknown *object) {
  void *self = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_FakeElementSelf, &self)) || !self)
    return nullptr;
  auto *e = static_cast<TFakeElement *>(self);
  e->Release();
  return e;
}

std::wstring OuterHtml(IHTMLElement *element) {
  if (TFakeElement *e = FakeElementOf(element))
    return e->OuterHtml();
  return std::wstring();
}

std::wstring DocumentHtml(IHTMLDocument2 *document) {
  if (TFakeDocument *d = FakeDocumentOf(document))
    return d->Html();
  return std::wstring();
}

std::wstring BodyHtml(IHTMLDocument2 *document) {
  TFakeDocument *d = FakeDocumentOf(document);
  TFakeElement *body = d ? d->Body() : nullptr;
  return body ? body->InnerHtml() : std::wstring();
}

void InsertHtml(IHTMLElement *element, const std::wstring &html, const std::wstring &where) {
  if (!element)
    throw com::TComError(E_POINTER);
  TFakeElement *e = FakeElementOf(element);
  if (!e)
    throw com::TComError(E_NOINTERFACE);
  com::ThrowIfFailed(e->InsertHtml(where, html));
}

} // namespace fakes
