// Walks over a page: its top document and the documents of its frames at any
// depth, the elements of each, and the page's images.
#pragma once

#include <windows.h>
#include <mshtml.h>

#include <functional>
#include <string>
#include <vector>

class TDocEnumerator;
// Called for each document; false stops the whole walk.
using DocumentCallback = std::function<bool(TDocEnumerator &, IHTMLDocument2 *)>;

// Depth first: a document, then for each frame in its container's order the
// frame's document and all of its own frames, before the next frame.
class TDocEnumerator {
public:
  void SetCallback(DocumentCallback callback);
  // False without a callback, when a callback stopped the walk, or when the
  // walk failed. What the callback throws for the document given here reaches
  // the caller; for a frame's document it skips that frame.
  bool Run(IHTMLDocument2 *document);

private:
  bool Walk(IHTMLDocument2 *document);
  DocumentCallback FCallback;
};

// getAttribute(name, 0): false with an empty value when the attribute is
// unset, null or empty. Failures of the element throw com::TComError.
bool GetElementAttribute(IHTMLElement *element, const std::wstring &name, std::wstring &value);
// setAttribute(name, value as a string, 0); failures throw com::TComError.
void SetElementAttribute(IHTMLElement *element, const std::wstring &name, const std::wstring &value);

// Called with an element already queried for the enumerator's interface (cast
// it to that interface); false stops the walk.
using ElementCallback = std::function<bool(TDocEnumerator &, IUnknown *)>;

// Calls back for every element, in every document of the page, that has one
// element interface.
class TElemEnumerator {
public:
  void SetCallback(ElementCallback callback);
  // False without a callback, when a callback returned false, or when the
  // walk failed; never throws.
  bool Enumerate(IHTMLDocument2 *document, REFIID iid);

private:
  bool VisitDocument(TDocEnumerator &enumerator, IHTMLDocument2 *document);
  ElementCallback FOnElement;
  IID FIID = IID_NULL;
};

// The page's images (image elements, then body, table and cell backgrounds,
// in all documents) as absolute URLs with captions, sorted by URL without
// regard to case, each URL once with the caption of its first finding.
class TImgCollector {
public:
  bool Collect(IHTMLDocument2 *document);
  int ImageCount() const { return static_cast<int>(FURLs.size()); }
  const std::wstring &GetImageURL(int i) const { return FURLs.at(static_cast<size_t>(i)); }
  const std::wstring &GetImageCaption(int i) const { return FCaptions.at(static_cast<size_t>(i)); }

private:
  bool VisitImage(TDocEnumerator &enumerator, IUnknown *image);
  template <class TElement> bool VisitBackground(TDocEnumerator &enumerator, IUnknown *element);
  bool Find(const std::wstring &url, size_t &at) const;
  void Insert(const std::wstring &url, const std::wstring &caption);

  std::vector<std::wstring> FURLs; // sorted
  std::vector<std::wstring> FCaptions;
};
