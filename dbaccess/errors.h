// The exception classes of the database access layer and what a failure
// keeps of the server's word. Every failure is an exception whose message is
// the exact text the error reporter inspects; a failure the server reported
// also keeps its identity (every code, SQLCODE, SQLSTATE) and its category.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dbx {

// The frames in which the layer writes a failure's message. The reporter
// reads them back: a connection failure begins with the word of the first,
// and a statement the server rejected has the server's own text right after
// the second.
inline constexpr std::string_view kDbExpressError = "dbExpress Error: ";
inline constexpr std::string_view kDbExpressWord = "dbExpress";
inline constexpr std::string_view kSqlServerError = "SQL Server Error: ";

// The layer's status numbers: 1 to 100 have the fixed texts below;
// kServerError stands for a failure whose text is the server's.
enum class TStatus : int {
  kNone = 0,
  kWarning = 1,
  kNoMemory = 2,
  kInvalidFieldType = 3,
  kInvalidHandle = 4,
  kNotSupported = 5,
  kInvalidTime = 6,
  kInvalidTranslation = 7,
  kOutOfRange = 8,
  kInvalidParameter = 9,
  kEof = 10,
  kParameterNotSet = 11,
  kInvalidLogin = 12,
  kInvalidPrecision = 13,
  kInvalidLength = 14,
  kInvalidIsolation = 15,
  kInvalidTransactionId = 16,
  kDuplicateTransactionId = 17,
  kTransactionActive = 19,
  kNoMultipleTransactions = 20,
  kConnectionFailed = 21,
  kDriverInitFailed = 22,
  kOptimisticLockFailed = 23,
  kInvalidRef = 24,
  kNoTable = 25,
  kNoMoreData = 64,
  kSqlError = 65,
  kServerError = 101,
};
// The fixed text of a status ("[0x0015]: Connection failed"); nullptr for
// a status without one.
[[nodiscard]] const char* StatusText(int status) noexcept;

// What kind of failure the server reported.
enum class TErrorCategory {
  kOther,
  kConnectionLost,  // the attachment is gone: nothing more can be sent on it
  kConstraint,      // a key, a check, a required value (SQLSTATE class 23)
  kLockConflict,    // a row another transaction holds (SQLSTATE 40001, lock time-out)
  kConversion,      // a value that does not convert or fit (SQLSTATE class 22)
};

// The server's identity of a failure.
struct TServerError {
  std::vector<long> codes;        // every gds code of the status vector, in order
  long sqlCode = 0;               // SQLCODE
  std::string sqlState;           // SQLSTATE, five characters; empty when none
  long concurrentTransaction = 0; // the transaction that holds what was wanted, when the server names it
  TErrorCategory category = TErrorCategory::kOther;
  std::string database;           // the attachment string of the connection that failed
};

// Root of every exception the system raises itself.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message, TServerError server = {})
      : std::runtime_error(message), server_(std::move(server)) {}
  [[nodiscard]] std::string Message() const { return what(); }
  // The first code the server gave; 0 for the layer's own failures.
  [[nodiscard]] long ServerCode() const noexcept { return server_.codes.empty() ? 0 : server_.codes.front(); }
  [[nodiscard]] const TServerError& Server() const noexcept { return server_; }
  [[nodiscard]] TErrorCategory Category() const noexcept { return server_.category; }

 private:
  TServerError server_;
};

// The server's identity of any exception: an Exception's, nothing for others.
[[nodiscard]] TServerError ServerErrorOf(const std::exception& e);

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
