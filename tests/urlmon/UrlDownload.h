// The client end of a download through the system's URL monikers: a bind
// status callback that collects what the binding delivers, like a browser's
// reader would.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct TDownload {
  HRESULT BindResult = E_FAIL; // what BindToStorage returned
  bool Stopped = false;        // OnStopBinding came
  HRESULT StopResult = E_FAIL; // and what it said
  std::wstring MimeType;       // the last BINDSTATUS_MIMETYPEAVAILABLE
  std::string Bytes;
};

// Binds `url` to a stream asynchronously, pulling data as notifications come
// and pumping this thread's messages until the binding stops (or half a
// minute passes, which counts as a hang and aborts it).
TDownload DownloadThroughMoniker(const std::wstring &url);

// Pumps this thread's messages until `done` holds or half a minute passes; false then.
bool PumpMessagesUntil(const std::function<bool()> &done);

bool ReadFileBytes(const std::wstring &path, std::string &bytes);
bool WriteFileBytes(const std::wstring &path, const std::string &bytes);
