// What a filtering Read does with a page's bytes: pulls raw chunks from the
// inner protocol, cuts them into text runs and tags, lets the subclass copy,
// drop or replace each, and hands the result to the reader. Portable; the COM
// protocol object (TZuHTMLFilter) is a thin shell around it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ByteStream.h"
#include "TagParser.h"

struct IInternetBindInfo;

// The inner protocol as the filter reads it: Read with the platform's result
// codes (S_OK, S_FALSE, E_PENDING, failures).
class IZuRawSource {
public:
  virtual int32_t ReadRaw(void *buffer, uint32_t size, uint32_t *bytesRead) = 0;

protected:
  ~IZuRawSource() = default;
};

class TZuHTMLFilterCore {
public:
  static constexpr uint32_t ReadBufferSize = 8192;
  enum : int { EncodingUnknown = 0, EncodingShortFirst = 1, EncodingAnsi = 2, EncodingUtf16 = 3 };

  TZuHTMLFilterCore() = default;
  TZuHTMLFilterCore(const TZuHTMLFilterCore &) = delete;
  TZuHTMLFilterCore &operator=(const TZuHTMLFilterCore &) = delete;
  virtual ~TZuHTMLFilterCore() = default;

  virtual void BeginDocument(IInternetBindInfo *bindInfo);
  virtual bool PassText();
  virtual bool PassTag(TTagParser &parser, TByteStream &output);
  virtual void EndDocument(TByteStream &output);
  virtual bool IsFiltering();

  // The filter's IInternetProtocol::Read. `inner` is null when there is no
  // inner protocol. Never throws.
  int32_t Read(IZuRawSource *inner, void *buffer, uint32_t size, uint32_t *bytesRead);

  int Encoding() const { return FEncoding; }
  bool IsUnicode() const { return FEncoding == EncodingUtf16; }
  bool EndOfData() const { return FEndOfData; }
  size_t PendingSize() const { return FPending.Size(); }
  size_t OutputSize() const { return FOutput.Size(); }

protected:
  TByteStream FOutput;
  // The inner protocol reads straight into this stream's end.
  TByteStream FPending;
  bool FEndOfData = false;
  TTagParser FParser;
  int FEncoding = EncodingUnknown;

private:
  int32_t FilterRead(IZuRawSource *inner, void *buffer, uint32_t size, uint32_t *bytesRead);
  void ScanPending();

  // Where the scan of FPending's partial tag stopped, so that a tag that
  // grows over many chunks is scanned once, not once per chunk.
  TTagScanState FScan;
  bool FEndFlushed = false;
};
