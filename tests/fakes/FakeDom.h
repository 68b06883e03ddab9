// A document object model for tests, built from an HTML string with the
// project's own tag scanner, that answers the browser's document interfaces.
//
// What follows the browser's documented behaviour:
// - tag names are upper case (tagName, the tags() filter is case-insensitive);
// - getAttribute/setAttribute/removeAttribute with flags 0 match names without
//   regard to case; a missing attribute reads as VT_NULL with S_OK;
// - writing outerHTML replaces the element in the tree by the parsed HTML (a
//   plain text becomes a text node, an empty string removes the element);
//   the element itself is left detached;
// - the all collection and tags() are live: they reflect the tree when they
//   are read, not when they were taken; item() out of range gives S_OK and
//   null; item() by name matches id or name;
// - document.body is the first BODY, or FRAMESET in a frameset page; a page
//   without BODY gets one, as the browser's parser makes it;
// - frames and inline frames are embedded browsers that IOleContainer::
//   EnumObjects(OLECONTF_EMBEDDINGS) yields, together with plug-in objects
//   (OBJECT, EMBED, APPLET) that are not browsers, in document order;
// - img.src and a.href are absolute: the attribute combined with the page URL.
//   A missing or empty src attribute reads as an empty string.
// Assumptions where the browser would do more or is not documented:
// - no layout: width and height are the attributes as numbers (0 without);
// - attribute and text entities are decoded when parsed (&amp; &lt; &gt;
//   &quot; &apos; &nbsp; and numeric ones) and encoded again when written;
//   non-ASCII characters in tags pass through the 8-bit code page;
// - background (body, table, cell) and frame src are the attribute as written;
// - getAttribute returns attributes as strings (parsed) or as the variant that
//   setAttribute stored; "style" reads as the inline style's text;
// - element IDispatch also answers any attribute name the element has (as
//   expando properties), and a put through such a name sets the attribute;
// - comments and <!DOCTYPE> are kept and written back but are not elements;
// - a frame whose page is not in the page map (or nested too deep) shows
//   about:blank; a frame's page is looked up by its absolute URL.
#pragma once

#include <windows.h>
#include <oleidl.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakeObjects.h"
#include "FakeStubs.h"
#include "com/HResult.h"
#include "com/Variant.h"

namespace fakes {

using Microsoft::WRL::ComPtr;

// Absolute URL to the HTML of the page found there (frames, navigation).
using TPages = std::map<std::wstring, std::wstring>;

class TFakeDocument;
class TFakeElement;
class TFakeStyle;
class TFakeBrowser;

// One child of an element or of the document.
struct TNode {
  enum TKind { TextNode, MarkupNode, ElementNode };
  TKind Kind = TextNode;
  std::wstring Text; // Text: decoded text; Markup: the comment or declaration as written
  ComPtr<TFakeElement> Elem;
};

class TFakeStyle : public TFakeObject<TFakeStyle, TStub<IHTMLStyle>> {
public:
  static const com::TInterfaceEntry *Interfaces();

  // Property names are the CSS names in lower case ("background-image").
  std::wstring Get(const std::wstring &property) const;
  void Set(const std::wstring &property, const std::wstring &value);
  std::wstring CssText() const;
  void SetCssText(const std::wstring &text);

  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override;

  STDMETHODIMP put_cssText(BSTR v) override;
  STDMETHODIMP get_cssText(BSTR *p) override;
  STDMETHODIMP put_display(BSTR v) override;
  STDMETHODIMP get_display(BSTR *p) override;
  STDMETHODIMP put_visibility(BSTR v) override;
  STDMETHODIMP get_visibility(BSTR *p) override;
  STDMETHODIMP put_backgroundImage(BSTR v) override;
  STDMETHODIMP get_backgroundImage(BSTR *p) override;
  STDMETHODIMP put_border(BSTR v) override;
  STDMETHODIMP get_border(BSTR *p) override;
  STDMETHODIMP put_cursor(BSTR v) override;
  STDMETHODIMP get_cursor(BSTR *p) override;
  STDMETHODIMP put_textDecoration(BSTR v) override;
  STDMETHODIMP get_textDecoration(BSTR *p) override;
  STDMETHODIMP put_width(VARIANT v) override;
  STDMETHODIMP get_width(VARIANT *p) override;
  STDMETHODIMP put_height(VARIANT v) override;
  STDMETHODIMP get_height(VARIANT *p) override;
  STDMETHODIMP put_color(VARIANT v) override;
  STDMETHODIMP get_color(VARIANT *p) override;
  STDMETHODIMP put_backgroundColor(VARIANT v) override;
  STDMETHODIMP get_backgroundColor(VARIANT *p) override;

private:
  std::vector<std::pair<std::wstring, std::wstring>> FProperties; // in the order first set
};

class TFakeElement : public TFakeObject<TFakeElement, TStub<IHTMLElement>, TStub<IHTMLElement2>, TStub<IHTMLImgElement>,
                                        TStub<IHTMLBodyElement>, TStub<IHTMLTable>, TStub<IHTMLTableCell>,
                                        TStub<IHTMLAnchorElement>, TStub<IHTMLFrameBase>> {
public:
  static const com::TInterfaceEntry *Interfaces();

  // `tag` in any case; the element belongs to `document` (which may be null).
  TFakeElement(TFakeDocument *document, const std::wstring &tag);
  ~TFakeElement() override;

  const std::wstring &Tag() const { return FTag; }
  TFakeDocument *Document() const { return FDocument; }
  TFakeElement *Parent() const { return FParent; }
  const std::vector<TNode> &Children() const { return FChildren; }
  // Attribute as a string; empty when missing.
  std::wstring Attribute(const std::wstring &name) const;
  bool HasAttribute(const std::wstring &name) const;
  void SetAttribute(const std::wstring &name, const std::wstring &value);
  // The embedded browser of a FRAME or IFRAME; null for other elements.
  TFakeBrowser *FrameBrowser() const { return FFrame.Get(); }
  // What EnumObjects yields for this element: the frame's browser, the
  // plug-in object, or null.
  IUnknown *Embedding() const;

  std::wstring OuterHtml() const;
  std::wstring InnerHtml() const;
  std::wstring InnerText() const;
  // Inserts parsed HTML: where is beforeBegin, afterBegin, beforeEnd or afterEnd.
  HRESULT InsertHtml(const std::wstring &where, const std::wstring &html);

  STDMETHODIMP QueryInterface(REFIID iid, void **out) override;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override;

  // IHTMLElement
  STDMETHODIMP setAttribute(BSTR name, VARIANT value, LONG flags) override;
  STDMETHODIMP getAttribute(BSTR name, LONG flags, VARIANT *value) override;
  STDMETHODIMP removeAttribute(BSTR name, LONG flags, VARIANT_BOOL *removed) override;
  STDMETHODIMP put_className(BSTR v) override;
  STDMETHODIMP get_className(BSTR *p) override;
  STDMETHODIMP put_id(BSTR v) override;
  STDMETHODIMP get_id(BSTR *p) override;
  STDMETHODIMP get_tagName(BSTR *p) override;
  STDMETHODIMP get_parentElement(IHTMLElement **p) override;
  STDMETHODIMP get_style(IHTMLStyle **p) override;
  STDMETHODIMP get_document(IDispatch **p) override;
  STDMETHODIMP put_title(BSTR v) override;
  STDMETHODIMP get_title(BSTR *p) override;
  STDMETHODIMP contains(IHTMLElement *child, VARIANT_BOOL *result) override;
  STDMETHODIMP get_sourceIndex(LONG *p) override;
  STDMETHODIMP put_innerHTML(BSTR v) override;
  STDMETHODIMP get_innerHTML(BSTR *p) override;
  STDMETHODIMP put_innerText(BSTR v) override;
  STDMETHODIMP get_innerText(BSTR *p) override;
  STDMETHODIMP put_outerHTML(BSTR v) override;
  STDMETHODIMP get_outerHTML(BSTR *p) override;
  STDMETHODIMP insertAdjacentHTML(BSTR where, BSTR html) override;
  STDMETHODIMP get_children(IDispatch **p) override;
  STDMETHODIMP get_all(IDispatch **p) override;

  // IHTMLElement2
  STDMETHODIMP getElementsByTagName(BSTR v, IHTMLElementCollection **p) override;

  // IHTMLImgElement, IHTMLFrameBase (src, name are shared)
  STDMETHODIMP put_src(BSTR v) override;
  STDMETHODIMP get_src(BSTR *p) override;
  STDMETHODIMP put_alt(BSTR v) override;
  STDMETHODIMP get_alt(BSTR *p) override;
  STDMETHODIMP put_name(BSTR v) override;
  STDMETHODIMP get_name(BSTR *p) override;
  STDMETHODIMP put_width(LONG v) override;
  STDMETHODIMP get_width(LONG *p) override;
  STDMETHODIMP put_height(LONG v) override;
  STDMETHODIMP get_height(LONG *p) override;

  // IHTMLBodyElement, IHTMLTable, IHTMLTableCell
  STDMETHODIMP put_background(BSTR v) override;
  STDMETHODIMP get_background(BSTR *p) override;

  // IHTMLAnchorElement (and the image's href, which is its src)
  STDMETHODIMP put_href(BSTR v) override;
  STDMETHODIMP get_href(BSTR *p) override;
  STDMETHODIMP put_target(BSTR v) override;
  STDMETHODIMP get_target(BSTR *p) override;

private:
  friend class TFakeDocument;
  friend struct THtmlBuilder;
  friend void BuildDocumentTree(TFakeDocument *doc, std::vector<TNode> &nodes);

  struct TAttr {
    std::wstring Name; // as first written, lower case when parsed
    com::Variant Value;
  };
  TAttr *FindAttr(const std::wstring &name);
  const TAttr *FindAttr(const std::wstring &name) const;
  // Where this element sits: its parent's children or the document's nodes.
  std::vector<TNode> *Siblings() const;
  void AppendChild(TNode node);
  void AdoptChildren(std::vector<TNode> &nodes, size_t at);
  // Makes the embedded object of a frame or plug-in once the attributes are there.
  void Embed();
  void WriteOuter(std::wstring &out) const;
  void WriteInner(std::wstring &out) const;
  void CollectText(std::wstring &out) const;
  bool Is(const wchar_t *tag) const;
  bool Supports(REFIID iid) const;

  std::wstring FTag;
  TFakeDocument *FDocument; // not owned; cleared when the document goes
  TFakeElement *FParent = nullptr;
  std::vector<TAttr> FAttrs;
  std::vector<TNode> FChildren;
  ComPtr<TFakeStyle> FStyle;
  ComPtr<TFakeBrowser> FFrame;
  ComPtr<IUnknown> FPlugin;
};

class TFakeDocument : public TFakeObject<TFakeDocument, TStub<IHTMLDocument2>, TStub<IHTMLDocument3>, IOleContainer> {
public:
  static const com::TInterfaceEntry *Interfaces();

  // `pages` serves the frames (at any depth); `depth` counts frames above.
  TFakeDocument(const std::wstring &url, const std::wstring &html, std::shared_ptr<const TPages> pages, int depth = 0);
  ~TFakeDocument() override;

  const std::wstring &Url() const { return FUrl; }
  const std::vector<TNode> &Nodes() const { return FNodes; }
  TFakeElement *Body() const;
  // Every element in document order (what the all collection holds now).
  std::vector<TFakeElement *> AllElements() const;
  std::vector<TFakeElement *> ElementsByTag(const std::wstring &tag) const;
  // The browsers of the frames, in document order (not those of nested frames).
  std::vector<TFakeBrowser *> Frames() const;
  // The whole document written back as HTML.
  std::wstring Html() const;
  // The page's absolute URL for `url` as written in it.
  std::wstring Resolve(const std::wstring &url) const;
  // When false, img.src gives the attribute as written instead of absolute.
  void SetAbsoluteImageSrc(bool absolute) { FAbsoluteSrc = absolute; }
  bool AbsoluteImageSrc() const { return FAbsoluteSrc; }
  const std::shared_ptr<const TPages> &Pages() const { return FPages; }
  int Depth() const { return FDepth; }
  // Number of EnumObjects calls so far.
  int EnumObjectsCalls() const { return FEnumCalls; }
  // What the user has selected (document.selection); empty: nothing.
  void SetSelectedText(const std::wstring &text) { FSelectedText = text; }
  const std::wstring &SelectedText() const { return FSelectedText; }
  // Code given to the window's execScript, and alert messages, in order.
  const std::vector<std::wstring> &Scripts() const { return FScripts; }
  const std::vector<std::wstring> &Alerts() const { return FAlerts; }

  // Parses `html` into nodes that belong to this document.
  std::vector<TNode> ParseFragment(const std::wstring &html);

  STDMETHODIMP QueryInterface(REFIID iid, void **out) override;

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override;

  // IHTMLDocument2
  STDMETHODIMP get_all(IHTMLElementCollection **p) override;
  STDMETHODIMP get_body(IHTMLElement **p) override;
  STDMETHODIMP get_images(IHTMLElementCollection **p) override;
  STDMETHODIMP get_links(IHTMLElementCollection **p) override;
  STDMETHODIMP get_readyState(BSTR *p) override;
  STDMETHODIMP put_title(BSTR v) override;
  STDMETHODIMP get_title(BSTR *p) override;
  STDMETHODIMP put_URL(BSTR v) override;
  STDMETHODIMP get_URL(BSTR *p) override;
  STDMETHODIMP createElement(BSTR tag, IHTMLElement **p) override;
  STDMETHODIMP get_parentWindow(IHTMLWindow2 **p) override;
  STDMETHODIMP get_selection(IHTMLSelectionObject **p) override;

  // IHTMLDocument3
  STDMETHODIMP get_documentElement(IHTMLElement **p) override;
  STDMETHODIMP getElementById(BSTR v, IHTMLElement **p) override;
  STDMETHODIMP getElementsByTagName(BSTR v, IHTMLElementCollection **p) override;

  // IOleContainer
  STDMETHODIMP ParseDisplayName(IBindCtx *, LPOLESTR, ULONG *, IMoniker **) override;
  STDMETHODIMP EnumObjects(DWORD flags, IEnumUnknown **out) override;
  STDMETHODIMP LockContainer(BOOL) override;

private:
  friend class TFakeElement;
  friend class TFakeWindow;

  std::wstring FUrl;
  std::wstring FTitle;
  bool FTitleSet = false;
  std::shared_ptr<const TPages> FPages;
  int FDepth;
  bool FAbsoluteSrc = true;
  int FEnumCalls = 0;
  std::wstring FSelectedText;
  std::vector<std::wstring> FScripts, FAlerts;
  std::vector<TNode> FNodes;
  std::set<TFakeElement *> FElements; // every element made for this document, alive
};

// The document's window; each window.frames item is the window of a frame's
// document. Assumptions: a new window object for every parentWindow read;
// parent and top are the window itself; status is only stored (the browser's
// StatusTextChange is fired by TFakeBrowser, not by the window).
class TFakeWindow : public TFakeObject<TFakeWindow, TStub<IHTMLWindow2>> {
public:
  static const com::TInterfaceEntry *Interfaces();
  explicit TFakeWindow(ComPtr<TFakeDocument> document) : FDocument(std::move(document)) {}

  STDMETHODIMP GetTypeInfoCount(UINT *count) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result, EXCEPINFO *,
                      UINT *) override;

  // IHTMLFramesCollection2
  STDMETHODIMP item(VARIANT *index, VARIANT *result) override;
  STDMETHODIMP get_length(LONG *p) override;
  // IHTMLWindow2
  STDMETHODIMP get_frames(IHTMLFramesCollection2 **p) override;
  STDMETHODIMP put_status(BSTR v) override;
  STDMETHODIMP get_status(BSTR *p) override;
  STDMETHODIMP alert(BSTR message) override;
  STDMETHODIMP put_name(BSTR v) override;
  STDMETHODIMP get_name(BSTR *p) override;
  STDMETHODIMP get_parent(IHTMLWindow2 **p) override;
  STDMETHODIMP get_self(IHTMLWindow2 **p) override;
  STDMETHODIMP get_top(IHTMLWindow2 **p) override;
  STDMETHODIMP get_window(IHTMLWindow2 **p) override;
  STDMETHODIMP get_document(IHTMLDocument2 **p) override;
  STDMETHODIMP execScript(BSTR code, BSTR language, VARIANT *result) override;

private:
  ComPtr<TFakeDocument> FDocument;
  std::wstring FName, FStatus;
};

// A document made from HTML at `url`; `pages` serves its frames.
ComPtr<TFakeDocument> MakeDocument(const std::wstring &url, const std::wstring &html, const TPages &pages = {});

// The fake behind an interface of a fake document or element; null for
// anything else. The caller keeps its own reference.
TFakeDocument *FakeDocumentOf(IUnknown *object);
TFakeElement *FakeElementOf(IUnknown *object);

// The element or document written back as HTML, for assertions.
std::wstring OuterHtml(IHTMLElement *element);
std::wstring DocumentHtml(IHTMLDocument2 *document);
// The body's inner HTML.
std::wstring BodyHtml(IHTMLDocument2 *document);

// Inserts HTML into an element as a script would (insertAdjacentHTML).
void InsertHtml(IHTMLElement *element, const std::wstring &html, const std::wstring &where = L"beforeEnd");

} // namespace fakes
