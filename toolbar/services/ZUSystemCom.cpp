#include "ZUSystemCom.h"

#include <new>

#include "com/HResult.h"

namespace kwo {

std::wstring AnsiToWide(std::string_view text) {
  if (text.empty())
    return std::wstring();
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string WideToAnsi(std::wstring_view text) {
  if (text.empty())
    return std::string();
  const int n =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

namespace {

std::string SystemErrorText(HRESULT hr) {
  char *buffer = nullptr;
  const DWORD n =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char *>(&buffer), 0, nullptr);
  std::string text(buffer ? buffer : "", n);
  if (buffer)
    LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  if (text.empty()) {
    char code[32];
    wsprintfA(code, "OLE error %08X", static_cast<unsigned>(hr));
    text = code;
  }
  return text;
}

} // namespace

HRESULT OleCheck(HRESULT hr) {
  if (FAILED(hr))
    throw EOleSysError(SystemErrorText(hr), hr);
  return hr;
}

HRESULT HResultFromException(const GUID &iid, const std::wstring &progId) noexcept {
  try {
    try {
      throw;
    } catch (const EOleException &e) {
      const HRESULT hr = FAILED(e.ErrorCode()) ? e.ErrorCode() : E_UNEXPECTED;
      return com::SetErrorInfoText(hr, iid, progId, AnsiToWide(e.Message()), AnsiToWide(e.HelpFile()),
                                   static_cast<DWORD>(e.HelpContext()));
    } catch (const EOleSysError &e) {
      const HRESULT hr = FAILED(e.ErrorCode()) ? e.ErrorCode() : E_UNEXPECTED;
      return com::SetErrorInfoText(hr, iid, progId, AnsiToWide(e.Message()), std::wstring(),
                                   static_cast<DWORD>(e.HelpContext()));
    } catch (const Exception &e) {
      return com::SetErrorInfoText(E_UNEXPECTED, iid, progId, AnsiToWide(e.Message()), std::wstring(),
                                   static_cast<DWORD>(e.HelpContext()));
    } catch (const com::TComError &e) {
      const HRESULT hr = FAILED(e.Code()) ? e.Code() : E_UNEXPECTED;
      return com::SetErrorInfoText(hr, iid, progId, e.Description());
    } catch (const std::bad_alloc &) {
      return com::SetErrorInfoText(E_OUTOFMEMORY, iid, progId, L"Out of memory");
    } catch (const std::exception &e) {
      return com::SetErrorInfoText(E_UNEXPECTED, iid, progId, AnsiToWide(e.what()));
    } catch (...) {
      return com::SetErrorInfoText(E_UNEXPECTED, iid, progId, std::wstring());
    }
  } catch (...) {
    // Building the description itself ran out of memory.
    return E_UNEXPECTED;
  }
}

} // namespace kwo
