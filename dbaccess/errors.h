// The exception classes of the database access layer. Every failure is an
// exception whose message is the exact text the error reporter inspects.
#pragma once

#include <stdexcept>
#include <string>

namespace dbx {

// Root of every exception the system raises itself. A failure the database
// client library reported keeps the library's error code (the first code of
// its status, isc_* / gds codes; 0 for the layer's own failures), so that a
// lost connection can be told from a statement the server refused.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, long serverCode = 0)
      : std::runtime_error(message), serverCode_(serverCode) {}
  [[nodiscard]] std::string Message() const { return what(); }
  [[nodiscard]] long ServerCode() const noexcept { return serverCode_; }

 private:
  long serverCode_;
};

// The silent abort: unwinds to the event loop, reported by nobody.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
};

// Connections, statements and fields.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

// A statement that met a row another transaction holds, and did not wait
// for it: the holder's transaction number, as the server reported it.
class ELockConflict : public EDatabaseError {
 public:
  ELockConflict(const std::string& message, long serverCode, long holder)
      : EDatabaseError(message, serverCode), holder_(holder) {}
  [[nodiscard]] long HolderTransaction() const noexcept { return holder_; }

 private:
  long holder_;
};

// A client dataset request that failed inside its provider.
class EOleException : public Exception {
 public:
  using Exception::Exception;
};

// A text that is not a date.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// An index outside a list.
class EListError : public Exception {
 public:
  using Exception::Exception;
};

// "%s: %s" from a component's name and a text; the text alone without a name.
[[nodiscard]] inline std::string NamedMessage(const std::string& name, const std::string& text) {
  return name.empty() ? text : name + ": " + text;
}

// printf-style "%s" / "%d" replacement for the system's fixed message texts.
[[nodiscard]] std::string Fmt(const std::string& pattern, const std::string& arg);
[[nodiscard]] std::string Fmt(const std::string& pattern, const std::string& a, const std::string& b);
[[nodiscard]] std::string Fmt(const std::string& pattern, const std::string& a, const std::string& b,
                              const std::string& c);

}  // namespace dbx

namespace dbx {

class TComponent;

// The application's handler for exceptions that nothing else catches. The
// dataset layer hands it exceptions raised inside its own event handlers.
using ApplicationExceptionHandler = void (*)(TComponent* sender, const std::exception& e);
void SetApplicationExceptionHandler(ApplicationExceptionHandler handler) noexcept;
void HandleApplicationException(TComponent* sender, const std::exception& e) noexcept;

}  // namespace dbx
