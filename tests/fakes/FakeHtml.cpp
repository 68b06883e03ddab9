// Builds the element tree of a fake document from HTML, with the project's
// tag scanner cutting text and tags and its parser reading each tag.
#include <cstdint>
#include <cwctype>

#include "FakeDom.h"
#include "FakeInternal.h"
#include "filter/TagParser.h"

namespace fakes {

struct THtmlBuilder {
  TFakeDocument *Doc;
  std::vector<TNode> Top;
  std::vector<TFakeElement *> Open;
  TTagParser Parser;

  void Append(TNode node) {
    if (Open.empty())
      Top.push_back(std::move(node));
    else
      Open.back()->AppendChild(std::move(node));
  }
  void AppendText(const std::wstring &text) {
    if (!text.empty())
      Append(TNode{TNode::TextNode, DecodeEntities(text), nullptr});
  }

  // Pops the innermost open element named in `tags` (and what is inside it)
  // unless one named in `bounds` is open inside it.
  void CloseIfOpen(std::initializer_list<const wchar_t *> tags, std::initializer_list<const wchar_t *> bounds) {
    for (size_t i = Open.size(); i-- > 0;) {
      const std::wstring &t = Open[i]->Tag();
      for (const wchar_t *b : bounds)
        if (t == b)
          return;
      for (const wchar_t *n : tags)
        if (t == n) {
          Open.resize(i);
          return;
        }
    }
  }

  bool IsOpen(const std::wstring &tag) const {
    for (const TFakeElement *e : Open)
      if (e->Tag() == tag)
        return true;
    return false;
  }

  // The tags the browser's parser closes for one that starts.
  void CloseImplied(const std::wstring &tag) {
    if (tag == L"TD" || tag == L"TH")
      CloseIfOpen({L"TD", L"TH"}, {L"TABLE", L"TR"});
    else if (tag == L"TR")
      CloseIfOpen({L"TR"}, {L"TABLE"});
    else if (tag == L"LI")
      CloseIfOpen({L"LI"}, {L"UL", L"OL"});
    else if (tag == L"OPTION")
      CloseIfOpen({L"OPTION"}, {L"SELECT"});
    else if (tag == L"BODY" || tag == L"FRAMESET")
      CloseIfOpen({L"HEAD"}, {});
    static const wchar_t *const blocks[] = {L"P",  L"DIV", L"TABLE", L"UL", L"OL",  L"H1",   L"H2",
                                            L"H3", L"H4",  L"H5",    L"H6", L"PRE", L"FORM", L"BLOCKQUOTE"};
    for (const wchar_t *b : blocks)
      if (tag == b) {
        CloseIfOpen({L"P"}, {L"TABLE", L"TD", L"TH", L"BUTTON", L"BODY"});
        break;
      }
  }

  void EndTag(const std::wstring &tagText) {
    size_t i = 2;
    while (i < tagText.size() && tagText[i] != L'>' && !iswspace(tagText[i]))
      ++i;
    const std::wstring name = Upper(tagText.substr(2, i - 2));
    for (size_t k = Open.size(); k-- > 0;)
      if (Open[k]->Tag() == name) {
        Open.resize(k);
        return;
      }
  }

  // Returns the new element when it is left open.
  TFakeElement *StartTag(const uint8_t *tag, size_t bytes, const std::wstring &tagText) {
    Parser.Parse(true, tag, bytes);
    std::wstring name = Widen(Parser.TagName);
    bool selfClosing = tagText.size() >= 3 && tagText[tagText.size() - 2] == L'/';
    if (!name.empty() && name.back() == L'/') {
      name.pop_back();
      selfClosing = true;
    }
    if (name.empty()) {
      AppendText(tagText);
      return nullptr;
    }
    // A second HTML, HEAD or BODY start tag adds nothing.
    if ((name == L"HTML" || name == L"HEAD" || name == L"BODY") && IsOpen(name))
      return nullptr;
    CloseImplied(name);
    // Rows always sit in a table section.
    if (name == L"TR" && !Open.empty() && Open.back()->Tag() == L"TABLE") {
      ComPtr<TFakeElement> section = com::MakeObject<TFakeElement>(Doc, L"TBODY");
      Append(TNode{TNode::ElementNode, std::wstring(), section});
      Open.push_back(section.Get());
    }
    ComPtr<TFakeElement> e = com::MakeObject<TFakeElement>(Doc, name);
    const size_t values = Parser.AttrValues.size();
    for (size_t k = 0; k < Parser.AttrNames.size(); ++k) {
      std::wstring attr = Lower(Widen(Parser.AttrNames[k]));
      if (!attr.empty() && attr.back() == L'/' && k + 1 == Parser.AttrNames.size())
        attr.pop_back();
      if (attr.empty() || e->HasAttribute(attr))
        continue;
      e->SetAttribute(attr, DecodeEntities(k < values ? Widen(Parser.AttrValues[k]) : std::wstring()));
    }
    e->Embed();
    TFakeElement *raw = e.Get();
    Append(TNode{TNode::ElementNode, std::wstring(), e});
    if (selfClosing || IsVoidTag(name))
      return nullptr;
    Open.push_back(raw);
    return raw;
  }

  void Run(const std::wstring &html) {
    const auto *const begin = reinterpret_cast<const uint8_t *>(html.data());
    const size_t total = html.size() * 2;
    size_t at = 0; // bytes
    while (at < total) {
      const uint8_t *textStart = nullptr, *tagStart = nullptr;
      size_t textBytes = 0, tagBytes = 0;
      FindNextTag(true, begin + at, total - at, textStart, textBytes, tagStart, tagBytes);
      AppendText(html.substr(at / 2, textBytes / 2));
      if (!tagStart) {
        // A tag that never closes is text, as far as the page goes.
        AppendText(html.substr((at + textBytes) / 2));
        return;
      }
      const std::wstring tagText = html.substr(static_cast<size_t>(tagStart - begin) / 2, tagBytes / 2);
      at = static_cast<size_t>(tagStart - begin) + tagBytes;
      if (tagText.size() > 1 && tagText[1] == L'!') {
        Append(TNode{TNode::MarkupNode, tagText, nullptr});
        continue;
      }
      if (tagText.size() > 1 && tagText[1] == L'/') {
        EndTag(tagText);
        continue;
      }
      TFakeElement *open = StartTag(tagStart, tagBytes, tagText);
      if (open && IsRawTextTag(open->Tag())) {
        // Everything up to the end tag is the element's text.
        const std::wstring end = L"</" + open->Tag();
        const std::wstring rest = Upper(html.substr(at / 2));
        const size_t found = rest.find(end);
        const size_t stop = found == std::wstring::npos ? rest.size() : found;
        const std::wstring content = html.substr(at / 2, stop);
        if (!content.empty())
          open->AppendChild(
              TNode{TNode::TextNode, IsEscapedRawTextTag(open->Tag()) ? DecodeEntities(content) : content, nullptr});
        Open.pop_back();
        if (found == std::wstring::npos)
          return;
        const size_t close = html.find(L'>', at / 2 + found);
        at = close == std::wstring::npos ? total : (close + 1) * 2;
      }
    }
  }
};

std::vector<TNode> TFakeDocument::ParseFragment(const std::wstring &html) {
  THtmlBuilder b{this, {}, {}, {}};
  b.Run(html);
  return std::move(b.Top);
}

namespace {
bool IsBlank(const TNode &n) {
  if (n.Kind == TNode::MarkupNode)
    return true;
  if (n.Kind == TNode::TextNode)
    return n.Text.find_first_not_of(L" \t\r\n") == std::wstring::npos;
  return false;
}
} // namespace

// The structure every page has in the browser: an HTML element holding a
// HEAD maybe and a BODY (or FRAMESET), made up where the page has none.
void BuildDocumentTree(TFakeDocument *doc, std::vector<TNode> &nodes) {
  ComPtr<TFakeElement> html;
  for (const TNode &n : nodes)
    if (n.Kind == TNode::ElementNode && n.Elem->Tag() == L"HTML") {
      html = n.Elem;
      break;
    }
  if (!html) {
    html = com::MakeObject<TFakeElement>(doc, L"HTML");
    size_t first = 0;
    while (first < nodes.size() && IsBlank(nodes[first]))
      ++first;
    std::vector<TNode> inside(nodes.begin() + static_cast<std::ptrdiff_t>(first), nodes.end());
    nodes.resize(first);
    for (TNode &n : inside)
      html->AppendChild(std::move(n));
    nodes.push_back(TNode{TNode::ElementNode, std::wstring(), html});
  }
  for (const TNode &n : html->Children())
    if (n.Kind == TNode::ElementNode && (n.Elem->Tag() == L"BODY" || n.Elem->Tag() == L"FRAMESET"))
      return;
  ComPtr<TFakeElement> body = com::MakeObject<TFakeElement>(doc, L"BODY");
  std::vector<TNode> kept;
  std::vector<TNode> moved;
  for (const TNode &n : html->Children())
    (n.Kind == TNode::ElementNode && n.Elem->Tag() == L"HEAD" ? kept : moved).push_back(n);
  html->FChildren.clear();
  for (TNode &n : kept)
    html->AppendChild(std::move(n));
  for (TNode &n : moved)
    body->AppendChild(std::move(n));
  html->AppendChild(TNode{TNode::ElementNode, std::wstring(), body});
}

} // namespace fakes
