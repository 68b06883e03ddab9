// Exceptions of the toolbar library and its error trace: every traced
// function appends its own number to the message of an exception passing
// through, so the text that finally reaches the user or a COM caller names the
// chain of functions it crossed, innermost first.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace kwo {

// Base of every exception the library raises and traces. The message is an
// 8-bit string in the system code page.
class Exception : public std::exception {
public:
  explicit Exception(std::string message, int32_t helpContext = 0)
      : FMessage(std::move(message)), FHelpContext(helpContext) {}
  const std::string &Message() const { return FMessage; }
  int32_t HelpContext() const { return FHelpContext; }
  const char *what() const noexcept override { return FMessage.c_str(); }

private:
  std::string FMessage;
  int32_t FHelpContext;
};

// A COM call that reported a failure code.
class EOleSysError : public Exception {
public:
  EOleSysError(std::string message, int32_t errorCode, int32_t helpContext = 0)
      : Exception(std::move(message), helpContext), FErrorCode(errorCode) {}
  int32_t ErrorCode() const { return FErrorCode; }

private:
  int32_t FErrorCode;
};

// An automation call that failed with exception information from the callee.
class EOleException : public EOleSysError {
public:
  EOleException(std::string message, int32_t errorCode, std::string source, std::string helpFile,
                int32_t helpContext = 0)
      : EOleSysError(std::move(message), errorCode, helpContext), FSource(std::move(source)),
        FHelpFile(std::move(helpFile)) {}
  const std::string &Source() const { return FSource; }
  const std::string &HelpFile() const { return FHelpFile; }

private:
  std::string FSource;
  std::string FHelpFile;
};

// Carried through the trace with its flag; nothing in the library interprets
// the flag.
class OrmException : public Exception {
public:
  OrmException(std::string message, uint8_t flag) : Exception(std::move(message)), FFlag(flag) {}
  uint8_t Flag() const { return FFlag; }

private:
  uint8_t FFlag;
};

// Arithmetic on sizes read from outside data that does not fit.
class EIntOverflow : public Exception {
public:
  using Exception::Exception;
};

// Appended to a message before each trace number.
inline constexpr char TraceSeparator[] = "\r\n>>";

// Raises a new exception whose message is e's followed by the separator and
// `number`. Automation exceptions keep their code, source, help file and help
// context, and OrmException its flag; every other kind becomes a plain
// Exception with help context 0.
[[noreturn]] void ReraiseWithTrace(const Exception &e, int32_t number);

// Runs `body` as traced function `number`: an Exception leaving it is
// re-raised with the number appended; anything else passes untouched. Clean-up
// belongs in destructors inside `body`, so it has run before the number is
// added.
template <class F> decltype(auto) Traced(int32_t number, F &&body) {
  try {
    return std::forward<F>(body)();
  } catch (const Exception &e) {
    ReraiseWithTrace(e, number);
  }
}

} // namespace kwo
