#include "ZuHTMLFilterCore.h"

#include <algorithm>
#include <cstring>

#include "FilterResults.h"

using namespace zu;

// Tags are parsed where they lie in FPending.
static_assert(TByteStream::ReadAhead >= TTagParser::ReadAhead);

void TZuHTMLFilterCore::BeginDocument(IInternetBindInfo *) {}
bool TZuHTMLFilterCore::PassText() { return true; }
bool TZuHTMLFilterCore::PassTag(TTagParser &, TByteStream &) { return true; }
void TZuHTMLFilterCore::EndDocument(TByteStream &) {}
bool TZuHTMLFilterCore::IsFiltering() { return false; }

int32_t TZuHTMLFilterCore::Read(IZuRawSource *inner, void *buffer, uint32_t size, uint32_t *bytesRead) {
  uint32_t ignored = 0;
  if (!bytesRead)
    bytesRead = &ignored;
  if (!IsFiltering())
    return inner ? inner->ReadRaw(buffer, size, bytesRead) : kE_FAIL;
  try {
    return FilterRead(inner, buffer, size, bytesRead);
  } catch (...) {
    // The bytes a failed PassTag left in FPending are scanned afresh next time.
    FScan.Reset();
    *bytesRead = 0;
    return kE_FAIL;
  }
}

int32_t TZuHTMLFilterCore::FilterRead(IZuRawSource *inner, void *buffer, uint32_t size, uint32_t *bytesRead) {
  *bytesRead = 0;
  int32_t last = kS_OK;
  while (!FEndOfData && FOutput.Size() < size && last == kS_OK) {
    if (!inner)
      return kE_FAIL;
    uint32_t got = 0;
    uint8_t *const chunk = FPending.Prepare(ReadBufferSize);
    last = inner->ReadRaw(chunk, ReadBufferSize, &got);
    FEndOfData = last == kS_FALSE;
    // An inner protocol that claims more than it was given room for is not
    // believed beyond the buffer.
    got = std::min(got, ReadBufferSize);
    if (got > 0) {
      if (FEncoding == EncodingUnknown) {
        if (got < 2)
          FEncoding = EncodingShortFirst;
        else if (chunk[0] == 0xFF && chunk[1] == 0xFE)
          FEncoding = EncodingUtf16;
        else
          FEncoding = EncodingAnsi;
      }
      FPending.Commit(got);
      ScanPending();
    }
    // A failed download is reported at once; bytes that came with the failure
    // are kept for a later read rather than dropped.
    if (last == kINET_E_DOWNLOAD_FAILURE || last == kINET_E_DATA_NOT_AVAILABLE)
      return last;
    if (got == 0 && last == kS_OK) {
      // S_OK with nothing read would spin this loop forever.
      break;
    }
  }
  // Runs once, right after the inner protocol's end; and should a subclass have
  // thrown before it ran, on the next read, so nothing stays pending for ever.
  if (FEndOfData && !FEndFlushed) {
    FEndFlushed = true;
    FOutput.Append(FPending);
    FScan.Reset();
    EndDocument(FOutput);
  }
  const size_t n = std::min<size_t>(size, FOutput.Size());
  if (n)
    std::memcpy(buffer, FOutput.Data(), n);
  FOutput.Consume(n);
  *bytesRead = static_cast<uint32_t>(n);
  if (last == kE_PENDING)
    return kE_PENDING;
  return FOutput.Empty() && FPending.Empty() && FEndOfData ? kS_FALSE : kS_OK;
}

void TZuHTMLFilterCore::ScanPending() {
  const bool unicode = IsUnicode();
  const unsigned unitShift = unicode ? 1 : 0;
  // Runs and tags that pass unchanged go to FOutput by reference and are
  // copied once, together, when the scan ends or a hook writes to FOutput.
  const uint8_t *const data = FPending.Data();
  const size_t size = FPending.Size();
  size_t done = 0; // bytes at the front that were handed out or dropped
  try {
    TTagCut cuts[64];
    size_t count;
    do {
      count = ScanForTags(unicode, data + done, size - done, FScan, cuts, 64);
      for (size_t c = 0; c < count; ++c) {
        if (const size_t textBytes = cuts[c].TextChars << unitShift) {
          if (PassText())
            FOutput.WriteLater(data + done, textBytes);
          // The text goes before the tag is handled, so that a PassTag that
          // throws cannot make the text come out twice.
          done += textBytes;
        }
        if (const size_t tagBytes = cuts[c].TagChars << unitShift) {
          const uint8_t *tag = data + done;
          FParser.ParseNameFirst(unicode, tag, tagBytes);
          if (PassTag(FParser, FOutput))
            FOutput.WriteLater(tag, tagBytes);
          done += tagBytes;
        }
      }
    } while (cuts[count - 1].TagChars);
  } catch (...) {
    try {
      FOutput.Settle();
    } catch (...) {
      // Bytes that never reached FOutput are scanned again next time.
      done = static_cast<size_t>(FOutput.Lent() - data);
      FOutput.DropLent();
    }
    FParser.KeepOwnCopy();
    FPending.Consume(done);
    throw;
  }
  // The last tag's attributes may yet be looked at, after FPending has moved on.
  FParser.KeepOwnCopy();
  FOutput.Settle();
  FPending.Consume(done);
}
