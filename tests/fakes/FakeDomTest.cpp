#include <gtest/gtest.h>

#include "FakeBrowser.h"
#include "FakeDom.h"
#include "com/Bstr.h"
#include "com/Variant.h"

using Microsoft::WRL::ComPtr;

namespace {

class FakeDomTest : public testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(fakes::LiveObjects(), 0) << "fakes outlived the test"; }
};

std::wstring Str(const com::Bstr &b) { return b.Str(); }

ComPtr<IHTMLElement> Item(IHTMLElementCollection *all, long i) {
  ComPtr<IDispatch> d;
  com::Variant index(i), none;
  EXPECT_EQ(all->item(index.Get(), none.Get(), d.GetAddressOf()), S_OK);
  ComPtr<IHTMLElement> e;
  if (d)
    d.As(&e);
  return e;
}

ComPtr<IHTMLElementCollection> Tags(IHTMLDocument2 *doc, const wchar_t *tag) {
  ComPtr<IHTMLElementCollection> all;
  EXPECT_EQ(doc->get_all(all.GetAddressOf()), S_OK);
  ComPtr<IDispatch> d;
  com::Variant name(std::wstring_view{tag});
  EXPECT_EQ(all->tags(name.Get(), d.GetAddressOf()), S_OK);
  ComPtr<IHTMLElementCollection> images;
  d.As(&images);
  return images;
}

long Length(IHTMLElementCollection *c) {
  long n = -1;
  EXPECT_EQ(c->get_length(&n), S_OK);
  return n;
}

TEST_F(FakeDomTest, PageWithoutBodyGetsTheBrowsersStructure) {
  auto doc = fakes::MakeDocument(L"http://site/a/page.html",
                                 L"<!DOCTYPE html><title>T &amp; U</title><p class=x>one<br>two<p>three");
  EXPECT_EQ(doc->Html(), L"<!DOCTYPE html><HTML><BODY><TITLE>T &amp; U</TITLE><P class=\"x\">one<BR>two</P>"
                         L"<P>three</P></BODY></HTML>");
  com::Bstr title, url;
  ASSERT_EQ(doc->get_title(title.Receive()), S_OK);
  EXPECT_EQ(Str(title), L"T & U");
  ASSERT_EQ(doc->get_URL(url.Receive()), S_OK);
  EXPECT_EQ(Str(url), L"http://site/a/page.html");

  ComPtr<IHTMLElementCollection> all;
  ASSERT_EQ(doc->get_all(all.GetAddressOf()), S_OK);
  std::wstring tags;
  for (long i = 0; i < Length(all.Get()); ++i) {
    com::Bstr tag;
    Item(all.Get(), i)->get_tagName(tag.Receive());
    tags += Str(tag) + L" ";
  }
  EXPECT_EQ(tags, L"HTML BODY TITLE P BR P ");
  EXPECT_EQ(Item(all.Get(), 6), nullptr) << "out of range gives null, not a failure";
}

TEST_F(FakeDomTest, AttributesIgnoreCaseAndMissingOnesAreNull) {
  auto doc = fakes::MakeDocument(L"http://site/", L"<body TER_Complete=yes bgcolor=red>");
  ComPtr<IHTMLElement> body;
  ASSERT_EQ(doc->get_body(body.GetAddressOf()), S_OK);
  ASSERT_TRUE(body);

  com::Bstr name(L"ter_complete");
  com::Variant value;
  ASSERT_EQ(body->getAttribute(name.Get(), 0, value.Receive()), S_OK);
  ASSERT_EQ(value.Type(), VT_BSTR);
  EXPECT_STREQ(value.Get().bstrVal, L"yes");

  com::Variant ok(std::wstring_view{L"ok"});
  ASSERT_EQ(body->setAttribute(name.Get(), ok.Get(), 0), S_OK);
  EXPECT_EQ(fakes::FakeElementOf(body.Get())->Attribute(L"TER_COMPLETE"), L"ok");

  com::Bstr missing(L"nothing");
  ASSERT_EQ(body->getAttribute(missing.Get(), 0, value.Receive()), S_OK);
  EXPECT_EQ(value.Type(), VT_NULL);
}

TEST_F(FakeDomTest, ImagesGiveAbsoluteSrcAltAndSize) {
  auto doc = fakes::MakeDocument(L"http://site/a/page.html",
                                 L"<img src=\"../i/x.gif\" alt=Ad width=120 height=60><img alt=none><img src=''>");
  auto images = Tags(doc.Get(), L"img");
  ASSERT_EQ(Length(images.Get()), 3);
  ComPtr<IHTMLImgElement> img;
  ASSERT_EQ(Item(images.Get(), 0).As(&img), S_OK);
  com::Bstr src, alt;
  long w = 0, h = 0;
  img->get_src(src.Receive());
  img->get_alt(alt.Receive());
  img->get_width(&w);
  img->get_height(&h);
  EXPECT_EQ(Str(src), L"http://site/i/x.gif");
  EXPECT_EQ(Str(alt), L"Ad");
  EXPECT_EQ(w, 120);
  EXPECT_EQ(h, 60);
  for (long i : {1L, 2L}) {
    ASSERT_EQ(Item(images.Get(), i).As(&img), S_OK);
    img->get_src(src.Receive());
    EXPECT_EQ(Str(src), L"") << i;
  }
  doc->SetAbsoluteImageSrc(false);
  ASSERT_EQ(Item(images.Get(), 0).As(&img), S_OK);
  img->get_src(src.Receive());
  EXPECT_EQ(Str(src), L"../i/x.gif");

  ComPtr<IHTMLTable> notATable;
  EXPECT_EQ(Item(images.Get(), 0).As(&notATable), E_NOINTERFACE) << "element interfaces follow the tag";
}

TEST_F(FakeDomTest, WritingOuterHtmlReplacesTheElementInTheLiveTree) {
  auto doc = fakes::MakeDocument(L"http://site/", L"<div><img src=a.gif><img src=b.gif><img src=c.gif></div>");
  auto images = Tags(doc.Get(), L"IMG");
  ASSERT_EQ(Length(images.Get()), 3);
  com::Bstr text(L"[AD]"), html(L"<span>x</span>"), empty(L"");
  ComPtr<IHTMLElement> c = Item(images.Get(), 2);
  ASSERT_EQ(c->put_outerHTML(text.Get()), S_OK);
  EXPECT_EQ(Length(images.Get()), 2) << "collections are live";
  ASSERT_EQ(Item(images.Get(), 1)->put_outerHTML(html.Get()), S_OK);
  ASSERT_EQ(Item(images.Get(), 0)->put_outerHTML(empty.Get()), S_OK);
  EXPECT_EQ(Length(images.Get()), 0);
  EXPECT_EQ(fakes::BodyHtml(doc.Get()), L"<DIV><SPAN>x</SPAN>[AD]</DIV>");

  ComPtr<IHTMLElement> parent;
  ASSERT_EQ(c->get_parentElement(parent.GetAddressOf()), S_OK);
  EXPECT_EQ(parent, nullptr) << "the replaced element is detached";
}

TEST_F(FakeDomTest, ScriptInsertedHtmlJoinsTheDocument) {
  auto doc = fakes::MakeDocument(L"http://site/", L"<body><p id=first>a</p></body>");
  ComPtr<IHTMLElement> body;
  doc->get_body(body.GetAddressOf());
  fakes::InsertHtml(body.Get(), L"<img src=late.gif>");
  fakes::InsertHtml(body.Get(), L"<b>start</b>", L"afterBegin");
  EXPECT_EQ(fakes::BodyHtml(doc.Get()), L"<B>start</B><P id=\"first\">a</P><IMG src=\"late.gif\">");
  EXPECT_EQ(Length(Tags(doc.Get(), L"img").Get()), 1);
  EXPECT_THROW(fakes::InsertHtml(body.Get(), L"x", L"nowhere"), com::TComError);

  ComPtr<IHTMLElementCollection> all;
  doc->get_all(all.GetAddressOf());
  ComPtr<IDispatch> byName;
  com::Variant id(std::wstring_view{L"FIRST"}), none;
  ASSERT_EQ(all->item(id.Get(), none.Get(), byName.GetAddressOf()), S_OK);
  ComPtr<IHTMLElement> first;
  ASSERT_TRUE(byName && SUCCEEDED(byName.As(&first)));
  com::Bstr inner;
  first->get_innerText(inner.Receive());
  EXPECT_EQ(Str(inner), L"a");
}

TEST_F(FakeDomTest, FramesArePagesInEmbeddedBrowsersInDocumentOrder) {
  const fakes::TPages pages = {
      {L"http://site/a.html", L"<body>A<iframe src=c.html></iframe></body>"},
      {L"http://site/c.html", L"<body>C</body>"},
      {L"http://site/b.html", L"<body>B</body>"},
  };
  auto doc = fakes::MakeDocument(
      L"http://site/top.html",
      L"<frameset><frame src=a.html><object classid=x></object><frame src=b.html><frame src=missing.html></frameset>",
      pages);
  ComPtr<IOleContainer> container;
  ASSERT_EQ(doc.As(&container), S_OK);
  ComPtr<IEnumUnknown> objects;
  ASSERT_EQ(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.GetAddressOf()), S_OK);
  std::vector<std::wstring> seen;
  for (;;) {
    ComPtr<IUnknown> object;
    ULONG fetched = 0;
    if (objects->Next(1, object.GetAddressOf(), &fetched) != S_OK)
      break;
    ComPtr<IWebBrowser2> browser;
    if (FAILED(object.As(&browser))) {
      seen.push_back(L"plug-in");
      continue;
    }
    ComPtr<IDispatch> d;
    ASSERT_EQ(browser->get_Document(d.GetAddressOf()), S_OK);
    ComPtr<IHTMLDocument2> frameDoc;
    ASSERT_EQ(d.As(&frameDoc), S_OK);
    com::Bstr url;
    frameDoc->get_URL(url.Receive());
    seen.push_back(Str(url));
  }
  EXPECT_EQ(seen,
            (std::vector<std::wstring>{L"http://site/a.html", L"plug-in", L"http://site/b.html", L"about:blank"}));
  ComPtr<IHTMLElement> body;
  doc->get_body(body.GetAddressOf());
  com::Bstr tag;
  body->get_tagName(tag.Receive());
  EXPECT_EQ(Str(tag), L"FRAMESET") << "a frameset page's body is its frameset";

  fakes::TFakeDocument *a = doc->Frames().at(0)->Document();
  ASSERT_EQ(a->Frames().size(), 1u);
  EXPECT_EQ(a->Frames()[0]->Document()->Url(), L"http://site/c.html");

  // An element's document is the one it belongs to, not the top.
  ComPtr<IDispatch> owner;
  ComPtr<IHTMLElement> aBody;
  a->get_body(aBody.GetAddressOf());
  ASSERT_EQ(aBody->get_document(owner.GetAddressOf()), S_OK);
  EXPECT_EQ(fakes::FakeDocumentOf(owner.Get()), a);

  ASSERT_EQ(container->EnumObjects(OLECONTF_LINKS, objects.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IUnknown> none;
  EXPECT_EQ(objects->Next(1, none.GetAddressOf(), nullptr), S_FALSE) << "only embeddings are frames";
}

HRESULT Call(IDispatch *d, const wchar_t *name, WORD flags, std::vector<com::Variant> args, VARIANT *result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  HRESULT hr = d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr))
    return hr;
  std::vector<VARIANT> rgvarg;
  for (auto it = args.rbegin(); it != args.rend(); ++it)
    rgvarg.push_back(it->Get());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params = {rgvarg.data(), flags == DISPATCH_PROPERTYPUT ? &put : nullptr, static_cast<UINT>(rgvarg.size()),
                       flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  return d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

TEST_F(FakeDomTest, LateBindingByName) {
  auto doc = fakes::MakeDocument(L"http://site/p.html", L"<body ter_complete=yes><img src=x.gif></body>");
  IHTMLDocument2 *d = doc.Get();
  com::Variant v;
  ASSERT_EQ(Call(d, L"url", DISPATCH_PROPERTYGET, {}, v.Receive()), S_OK);
  EXPECT_STREQ(v.Get().bstrVal, L"http://site/p.html");

  ASSERT_EQ(Call(d, L"body", DISPATCH_PROPERTYGET, {}, v.Receive()), S_OK);
  ASSERT_EQ(v.Type(), VT_DISPATCH);
  ComPtr<IDispatch> body(v.Get().pdispVal);
  com::Variant got;
  ASSERT_EQ(Call(body.Get(), L"getAttribute", DISPATCH_METHOD,
                 {com::Variant(std::wstring_view{L"TER_COMPLETE"}), com::Variant(0L)}, got.Receive()),
            S_OK);
  EXPECT_STREQ(got.Get().bstrVal, L"yes");
  // The attribute is an expando property too, and a put through it sets it.
  ASSERT_EQ(Call(body.Get(), L"ter_complete", DISPATCH_PROPERTYPUT, {com::Variant(std::wstring_view{L"ok"})}, nullptr),
            S_OK);
  EXPECT_EQ(doc->Body()->Attribute(L"ter_complete"), L"ok");
  EXPECT_EQ(Call(body.Get(), L"noSuchThing", DISPATCH_PROPERTYGET, {}, got.Receive()), DISP_E_UNKNOWNNAME);

  ASSERT_EQ(Call(d, L"all", DISPATCH_PROPERTYGET, {}, v.Receive()), S_OK);
  ComPtr<IDispatch> all(v.Get().pdispVal);
  ASSERT_EQ(Call(all.Get(), L"tags", DISPATCH_METHOD, {com::Variant(std::wstring_view{L"img"})}, v.Receive()), S_OK);
  ComPtr<IDispatch> images(v.Get().pdispVal);
  ASSERT_EQ(Call(images.Get(), L"item", DISPATCH_METHOD, {com::Variant(0L)}, v.Receive()), S_OK);
  ComPtr<IDispatch> img(v.Get().pdispVal);
  ASSERT_EQ(Call(img.Get(), L"src", DISPATCH_PROPERTYGET, {}, v.Receive()), S_OK);
  EXPECT_STREQ(v.Get().bstrVal, L"http://site/x.gif");
  ASSERT_EQ(Call(img.Get(), L"outerHTML", DISPATCH_PROPERTYPUT, {com::Variant(std::wstring_view{L"[AD]"})}, nullptr),
            S_OK);
  EXPECT_EQ(fakes::BodyHtml(doc.Get()), L"[AD]");
}

TEST_F(FakeDomTest, InlineStyleAndBackgrounds) {
  auto doc = fakes::MakeDocument(L"http://site/a/", L"<body background=images/bg.gif><table background=t.gif>"
                                                    L"<tr><td background=c.gif style='color: red'>x<td>y</table>");
  ComPtr<IHTMLBodyElement> body;
  ASSERT_EQ(fakes::ComPtr<IHTMLElement>(doc->Body()).As(&body), S_OK);
  com::Bstr bg;
  body->get_background(bg.Receive());
  EXPECT_EQ(Str(bg), L"images/bg.gif") << "background is the attribute as written";
  auto cells = Tags(doc.Get(), L"td");
  ASSERT_EQ(Length(cells.Get()), 2);
  ComPtr<IHTMLElement> cell = Item(cells.Get(), 0);
  ComPtr<IHTMLStyle> style;
  ASSERT_EQ(cell->get_style(style.GetAddressOf()), S_OK);
  com::Variant color;
  style->get_color(color.Receive());
  EXPECT_STREQ(color.Get().bstrVal, L"red");
  com::Bstr none(L"none");
  style->put_display(none.Get());
  EXPECT_EQ(fakes::OuterHtml(cell.Get()), L"<TD background=\"c.gif\" style=\"COLOR: red; DISPLAY: none\">x</TD>");
}

TEST_F(FakeDomTest, WindowFramesSelectionAndScripts) {
  auto doc = fakes::MakeDocument(L"http://site/", L"<frameset><frame name=left src=l.html><frame src=r.html>",
                                 {{L"http://site/l.html", L"L"}, {L"http://site/r.html", L"R"}});
  ComPtr<IHTMLWindow2> window;
  ASSERT_EQ(doc->get_parentWindow(window.GetAddressOf()), S_OK);
  long frames = 0;
  window->get_length(&frames);
  EXPECT_EQ(frames, 2);
  com::Variant byName(std::wstring_view{L"LEFT"}), byIndex(1L), frame;
  for (auto *index : {&byName, &byIndex}) {
    ASSERT_EQ(window->item(const_cast<VARIANT *>(&index->Get()), frame.Receive()), S_OK);
    ComPtr<IHTMLWindow2> frameWindow;
    ASSERT_EQ(ComPtr<IDispatch>(frame.Get().pdispVal).As(&frameWindow), S_OK);
    ComPtr<IHTMLDocument2> frameDoc;
    frameWindow->get_document(frameDoc.GetAddressOf());
    com::Bstr url;
    frameDoc->get_URL(url.Receive());
    EXPECT_EQ(Str(url), index == &byName ? L"http://site/l.html" : L"http://site/r.html");
  }
  com::Bstr code(L"highlight()"), language(L"JScript");
  com::Variant result;
  ASSERT_EQ(window->execScript(code.Get(), language.Get(), result.Receive()), S_OK);
  EXPECT_EQ(doc->Scripts(), std::vector<std::wstring>{L"highlight()"});

  ComPtr<IHTMLSelectionObject> selection;
  ASSERT_EQ(doc->get_selection(selection.GetAddressOf()), S_OK);
  com::Bstr type;
  selection->get_type(type.Receive());
  EXPECT_EQ(Str(type), L"None");
  doc->SetSelectedText(L"read <this>");
  ComPtr<IDispatch> rangeDispatch;
  ASSERT_EQ(selection->createRange(rangeDispatch.GetAddressOf()), S_OK);
  ComPtr<IHTMLTxtRange> range;
  ASSERT_EQ(rangeDispatch.As(&range), S_OK);
  com::Bstr text, html;
  range->get_text(text.Receive());
  range->get_htmlText(html.Receive());
  EXPECT_EQ(Str(text), L"read <this>");
  EXPECT_EQ(Str(html), L"read &lt;this&gt;");
}

} // namespace
