#include <gtest/gtest.h>

#include "FakeBrowser.h"
#include "FakeDom.h"
#include "Lib/IEFuncs.h"
#include "com/Bstr.h"

using Microsoft::WRL::ComPtr;

namespace {

using TPairs = std::vector<std::pair<std::wstring, std::wstring>>;

TPairs Pairs(const TImgCollector &c) {
  TPairs pairs;
  for (int i = 0; i < c.ImageCount(); ++i)
    pairs.emplace_back(c.GetImageURL(i), c.GetImageCaption(i));
  return pairs;
}

// One logo three times (once in other letter case) and once more in a frame;
// an image captioned by its title, one without src; the same relative
// background on the body and a cell.
const wchar_t KPage[] = L"<body background=images/bg.gif>"
                        L"<img src=pic.gif alt='' title=Titled><img src=logo.gif alt=Logo><img src=LOGO.GIF alt=Upper>"
                        L"<img alt=NoSource><img src=logo.gif alt=Again>"
                        L"<table background=t.gif><tr><td background=images/bg.gif>x<td background=cell.gif>y</table>"
                        L"<iframe src=frame.html></iframe></body>";
const fakes::TPages KPages = {{L"http://site/a/frame.html", L"<img src=logo.gif alt=Frame><img src=f.gif alt=F>"}};

const TPairs KExpected = {
    {L"http://site/a/cell.gif", L""},      {L"http://site/a/f.gif", L"F"},
    {L"http://site/a/images/bg.gif", L""}, {L"http://site/a/index.html", L"NoSource"},
    {L"http://site/a/logo.gif", L"Logo"},  {L"http://site/a/pic.gif", L"Titled"},
    {L"http://site/a/t.gif", L""},
};

class ImgCollectorTest : public testing::TestWithParam<bool> {
protected:
  void TearDown() override { EXPECT_EQ(fakes::LiveObjects(), 0); }
};

// With the browser's absolute img.src and with src as written: the collector
// makes every URL absolute against the image's own document either way.
TEST_P(ImgCollectorTest, ListsEachImageOnceSortedWithItsFirstCaption) {
  auto doc = fakes::MakeDocument(L"http://site/a/index.html", KPage, KPages);
  doc->SetAbsoluteImageSrc(GetParam());
  doc->Frames().at(0)->Document()->SetAbsoluteImageSrc(GetParam());
  TImgCollector collector;
  ASSERT_TRUE(collector.Collect(doc.Get()));
  EXPECT_EQ(Pairs(collector), KExpected);
  ASSERT_TRUE(collector.Collect(doc.Get())) << "a second run starts afresh";
  EXPECT_EQ(Pairs(collector), KExpected);
}

INSTANTIATE_TEST_SUITE_P(Src, ImgCollectorTest, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool> &p) { return p.param ? "Absolute" : "AsWritten"; });

TEST(ImgCollector, PairsStayTogetherWhateverTheOrderOfDiscovery) {
  // Found in descending order, so every insertion goes to the front.
  auto doc = fakes::MakeDocument(L"http://site/", L"<img src=z.gif alt=Z><img src=m.gif alt=M><img src=B.gif alt=B>"
                                                  L"<img src=a.gif alt=A>");
  TImgCollector collector;
  ASSERT_TRUE(collector.Collect(doc.Get()));
  EXPECT_EQ(Pairs(collector), (TPairs{{L"http://site/a.gif", L"A"},
                                      {L"http://site/B.gif", L"B"},
                                      {L"http://site/m.gif", L"M"},
                                      {L"http://site/z.gif", L"Z"}}));
}

class TNoElements : public com::TComObject<TNoElements, TStub<IHTMLDocument2>> {
public:
  static const com::TInterfaceEntry *Interfaces() {
    static const com::TInterfaceEntry table[] = {ZU_INTERFACE(TNoElements, IHTMLDocument2), ZU_INTERFACE_END};
    return table;
  }
};

TEST(ImgCollector, ADocumentThatCannotBeWalkedGivesFalseAndNothing) {
  auto doc = com::MakeObject<TNoElements>();
  TImgCollector collector;
  EXPECT_FALSE(collector.Collect(doc.Get()));
  EXPECT_EQ(collector.ImageCount(), 0);
}

TEST(ElemEnumerator, CallsBackForElementsWithTheInterfaceUntilStopped) {
  auto doc = fakes::MakeDocument(L"http://site/", L"<table><tr><td>1<td>2</table><table><tr><th>3</table>");
  TElemEnumerator elements;
  EXPECT_FALSE(elements.Enumerate(doc.Get(), IID_IHTMLTableCell)) << "no callback";
  std::vector<std::wstring> texts;
  elements.SetCallback([&](TDocEnumerator &, IUnknown *cell) {
    com::Bstr text;
    ComPtr<IHTMLElement> e;
    static_cast<IHTMLTableCell *>(cell)->QueryInterface(IID_IHTMLElement, reinterpret_cast<void **>(e.GetAddressOf()));
    e->get_innerText(text.Receive());
    texts.push_back(text.Str());
    return text.Str() != L"2";
  });
  EXPECT_FALSE(elements.Enumerate(doc.Get(), IID_IHTMLTableCell));
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"1", L"2"}));

  // A callback that removes what it visits: the collection is read again for
  // every item, so nothing is visited twice and nothing fails.
  int visits = 0;
  elements.SetCallback([&](TDocEnumerator &, IUnknown *cell) {
    ++visits;
    ComPtr<IHTMLElement> e;
    static_cast<IHTMLTableCell *>(cell)->QueryInterface(IID_IHTMLElement, reinterpret_cast<void **>(e.GetAddressOf()));
    com::Bstr empty(L"");
    return SUCCEEDED(e->put_outerHTML(empty.Get()));
  });
  EXPECT_TRUE(elements.Enumerate(doc.Get(), IID_IHTMLTableCell)) << "indexes past the shrunk end are empty";
  EXPECT_EQ(visits, 2) << "the cell that moved down into a visited index is not seen";
}

} // namespace
