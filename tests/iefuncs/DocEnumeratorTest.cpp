#include <gtest/gtest.h>

#include <stdexcept>

#include "FakeBrowser.h"
#include "FakeDom.h"
#include "Lib/IEFuncs.h"
#include "com/Bstr.h"

using Microsoft::WRL::ComPtr;

namespace {

std::wstring UrlOf(IHTMLDocument2 *doc) {
  com::Bstr url;
  doc->get_URL(url.Receive());
  return url.Str();
}

// A frameset with frames A and B and a plug-in between them; A holds an
// inline frame C.
const fakes::TPages KPages = {
    {L"http://site/a.html", L"<body>A<iframe src=c.html></iframe></body>"},
    {L"http://site/b.html", L"<body>B</body>"},
    {L"http://site/c.html", L"<body>C</body>"},
};
const wchar_t KFrameset[] = L"<frameset><frame src=a.html><embed src=movie.swf><frame src=b.html></frameset>";

class DocEnumeratorTest : public testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(fakes::LiveObjects(), 0); }

  // Runs over `doc`; the callback stops at the URL `stopAt` and throws at `throwAt`.
  bool Walk(IHTMLDocument2 *doc, const std::wstring &stopAt = L"", const std::wstring &throwAt = L"") {
    TDocEnumerator walker;
    walker.SetCallback([&](TDocEnumerator &, IHTMLDocument2 *d) {
      const std::wstring url = UrlOf(d);
      Seen.push_back(url);
      if (url == throwAt)
        throw std::runtime_error("callback failed");
      return url != stopAt;
    });
    return walker.Run(doc);
  }
  std::vector<std::wstring> Seen;
};

TEST_F(DocEnumeratorTest, APageWithoutFramesIsVisitedOnce) {
  auto doc = fakes::MakeDocument(L"http://site/", L"<p>text<object classid=x></object>");
  EXPECT_TRUE(Walk(doc.Get()));
  EXPECT_EQ(Seen, std::vector<std::wstring>{L"http://site/"});
}

TEST_F(DocEnumeratorTest, FramesAreWalkedDepthFirstInContainerOrderSkippingPlugins) {
  auto doc = fakes::MakeDocument(L"http://site/top.html", KFrameset, KPages);
  EXPECT_TRUE(Walk(doc.Get()));
  EXPECT_EQ(Seen, (std::vector<std::wstring>{L"http://site/top.html", L"http://site/a.html", L"http://site/c.html",
                                             L"http://site/b.html"}));
}

TEST_F(DocEnumeratorTest, AStopEndsTheWholeWalk) {
  auto doc = fakes::MakeDocument(L"http://site/top.html", KFrameset, KPages);
  EXPECT_FALSE(Walk(doc.Get(), L"http://site/a.html"));
  EXPECT_EQ(Seen, (std::vector<std::wstring>{L"http://site/top.html", L"http://site/a.html"}));
  Seen.clear();
  EXPECT_FALSE(Walk(doc.Get(), L"http://site/c.html")) << "a stop deep down reaches the top";
  EXPECT_EQ(Seen.size(), 3u);
}

TEST_F(DocEnumeratorTest, WithoutCallbackNothingIsVisited) {
  auto doc = fakes::MakeDocument(L"http://site/top.html", KFrameset, KPages);
  TDocEnumerator walker;
  EXPECT_FALSE(walker.Run(doc.Get()));
  EXPECT_EQ(doc->EnumObjectsCalls(), 0);
}

TEST_F(DocEnumeratorTest, ACallbackFailureInAFrameSkipsThatFrameOnly) {
  auto doc = fakes::MakeDocument(L"http://site/top.html", KFrameset, KPages);
  EXPECT_TRUE(Walk(doc.Get(), L"", L"http://site/a.html"));
  EXPECT_EQ(Seen, (std::vector<std::wstring>{L"http://site/top.html", L"http://site/a.html", L"http://site/b.html"}));
  Seen.clear();
  EXPECT_THROW(Walk(doc.Get(), L"", L"http://site/top.html"), std::runtime_error)
      << "a failure for the document given to Run reaches its caller";
}

// A container whose enumerator breaks after handing out the first frame.
class TBrokenContainer : public fakes::TFakeDocument {
public:
  using TFakeDocument::TFakeDocument;
  STDMETHODIMP EnumObjects(DWORD flags, IEnumUnknown **out) override {
    ComPtr<IEnumUnknown> inner;
    const HRESULT hr = TFakeDocument::EnumObjects(flags, inner.GetAddressOf());
    if (FAILED(hr))
      return hr;
    *out = com::MakeObject<TBrokenEnum>(inner).Detach();
    return S_OK;
  }

private:
  class TBrokenEnum : public com::TComObject<TBrokenEnum, IEnumUnknown> {
  public:
    static const com::TInterfaceEntry *Interfaces() {
      static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TBrokenEnum, IEnumUnknown), ZU_INTERFACE_END};
      return table;
    }
    explicit TBrokenEnum(ComPtr<IEnumUnknown> inner) : FInner(std::move(inner)) {}
    STDMETHODIMP Next(ULONG n, IUnknown **out, ULONG *fetched) override {
      return FCalls++ == 0 ? FInner->Next(n, out, fetched) : E_UNEXPECTED;
    }
    STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
    STDMETHODIMP Reset() override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IEnumUnknown **) override { return E_NOTIMPL; }

  private:
    ComPtr<IEnumUnknown> FInner;
    int FCalls = 0;
  };
};

TEST_F(DocEnumeratorTest, AFailingContainerEndsTheWalkAsFalse) {
  auto doc = com::MakeObject<TBrokenContainer>(L"http://site/top.html", KFrameset,
                                               std::make_shared<const fakes::TPages>(KPages));
  EXPECT_FALSE(Walk(doc.Get()));
  EXPECT_EQ(Seen, (std::vector<std::wstring>{L"http://site/top.html", L"http://site/a.html", L"http://site/c.html"}));
}

// Anything the browser may hand out that is not a container.
class TPlainDocument : public com::TComObject<TPlainDocument, TStub<IHTMLDocument2>> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TPlainDocument, IHTMLDocument2), ZU_INTERFACE_END};
    return table;
  }
};

TEST_F(DocEnumeratorTest, ADocumentThatIsNoContainerHasNoFrames) {
  auto doc = com::MakeObject<TPlainDocument>();
  int calls = 0;
  TDocEnumerator walker;
  walker.SetCallback([&](TDocEnumerator &, IHTMLDocument2 *) { return ++calls > 0; });
  EXPECT_TRUE(walker.Run(doc.Get()));
  EXPECT_EQ(calls, 1);
}

// Attribute helpers ------------------------------------------------------------

class ElementAttributeTest : public DocEnumeratorTest {};

TEST_F(ElementAttributeTest, ReadsAndWritesAttributesAsStrings) {
  auto doc = fakes::MakeDocument(L"http://site/", L"<body TER_COMPLETE=yes empty=''>");
  ComPtr<IHTMLElement> body;
  ASSERT_EQ(doc->get_body(body.GetAddressOf()), S_OK);
  std::wstring value = L"left over";
  EXPECT_FALSE(GetElementAttribute(body.Get(), L"never_set", value));
  EXPECT_EQ(value, L"");
  EXPECT_FALSE(GetElementAttribute(body.Get(), L"empty", value));
  EXPECT_TRUE(GetElementAttribute(body.Get(), L"ter_complete", value)) << "names match without regard to case";
  EXPECT_EQ(value, L"yes");

  SetElementAttribute(body.Get(), L"ter_complete", L"ok");
  EXPECT_TRUE(GetElementAttribute(body.Get(), L"Ter_Complete", value));
  EXPECT_EQ(value, L"ok");

  // An attribute a script set to a number reads as its text.
  com::Bstr name(L"count");
  VARIANT number;
  number.vt = VT_I4;
  number.lVal = 42;
  ASSERT_EQ(body->setAttribute(name.Get(), number, 0), S_OK);
  EXPECT_TRUE(GetElementAttribute(body.Get(), L"count", value));
  EXPECT_EQ(value, L"42");
}

class TFailingElement : public com::TComObject<TFailingElement, TStub<IHTMLElement>> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TFailingElement, IHTMLElement), ZU_INTERFACE_END};
    return table;
  }
};

TEST_F(ElementAttributeTest, ElementFailuresPropagate) {
  auto element = com::MakeObject<TFailingElement>();
  std::wstring value;
  try {
    GetElementAttribute(element.Get(), L"x", value);
    ADD_FAILURE() << "no exception";
  } catch (const com::TComError &e) {
    EXPECT_EQ(e.Code(), E_NOTIMPL);
  }
  EXPECT_THROW(SetElementAttribute(element.Get(), L"x", L"y"), com::TComError);
}

} // namespace
