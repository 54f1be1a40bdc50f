#include "dbaccess/errors.h"

#include <array>
#include <initializer_list>

namespace dbx {

namespace {

struct StatusEntry {
  TStatus status;
  const char* text;
};
constexpr std::array kStatusTexts{
    StatusEntry{TStatus::kWarning, "[0x0001]: Warning"},
    StatusEntry{TStatus::kNoMemory, "[0x0002]: Insufficient Memory for Operation"},
    StatusEntry{TStatus::kInvalidFieldType, "[0x0003]: Invalid Field Type"},
    StatusEntry{TStatus::kInvalidHandle, "[0x0004]: Invalid Handle"},
    StatusEntry{TStatus::kNotSupported, "[0x0005]: Operation Not Supported"},
    StatusEntry{TStatus::kInvalidTime, "[0x0006]: Invalid Time"},
    StatusEntry{TStatus::kInvalidTranslation, "[0x0007]: Invalid Data Translation"},
    StatusEntry{TStatus::kOutOfRange, "[0x0008]: Parameter/Column out of Range"},
    StatusEntry{TStatus::kInvalidParameter, "[0x0009]: Invalid Parameter"},
    StatusEntry{TStatus::kEof, "[0x000A]: Result set at EOF"},
    StatusEntry{TStatus::kParameterNotSet, "dbExpress Error [0x000B]: Parameter Not Set"},
    StatusEntry{TStatus::kInvalidLogin, "[0x000C] Invalid Username/Password"},
    StatusEntry{TStatus::kInvalidPrecision, "[0x000D]: Invalid Precision"},
    StatusEntry{TStatus::kInvalidLength, "[0x000E]: Invalid Length"},
    StatusEntry{TStatus::kInvalidIsolation, "[0x000F]: Invalid Transaction Isolation Level"},
    StatusEntry{TStatus::kInvalidTransactionId, "[0x0010]: Invalid Transaction ID"},
    StatusEntry{TStatus::kDuplicateTransactionId, "[0x0011]: Duplicate Transaction ID"},
    StatusEntry{TStatus::kTransactionActive, "[0x0013]: Local Transaction already active"},
    StatusEntry{TStatus::kNoMultipleTransactions, "[0x0014]: Multiple Transactions not Enabled"},
    StatusEntry{TStatus::kConnectionFailed, "[0x0015]: Connection failed"},
    StatusEntry{TStatus::kDriverInitFailed, "[0x0016]: Driver initialization failed"},
    StatusEntry{TStatus::kOptimisticLockFailed, "[0x0017]: Optimistic Locking failed"},
    StatusEntry{TStatus::kInvalidRef, "[0x0018]: Invalid REF"},
    StatusEntry{TStatus::kNoTable, "[0x0019]: No table found"},
    StatusEntry{TStatus::kNoMoreData, "[0x0064]: No more data"},
    StatusEntry{TStatus::kSqlError, "[0x0065]: SQL Error"},
};

}  // namespace

const char* StatusText(int status) noexcept {
  for (const StatusEntry& e : kStatusTexts)
    if (static_cast<int>(e.status) == status) return e.text;
  return nullptr;
}

TServerError ServerErrorOf(const std::exception& e) {
  const auto* own = dynamic_cast<const Exception*>(&e);
  return own != nullptr ? own->Server() : TServerError{};
}

static std::string Substitute(const std::string& pattern, std::initializer_list<const std::string*> args) {
  std::string out;
  auto it = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd') &&
        it != args.end()) {
      out += **it++;
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

std::string Fmt(const std::string& pattern, const std::string& arg) { return Substitute(pattern, {&arg}); }
std::string Fmt(const std::string& pattern, const std::string& a, const std::string& b) {
  return Substitute(pattern, {&a, &b});
}
std::string Fmt(const std::string& pattern, const std::string& a, const std::string& b, const std::string& c) {
  return Substitute(pattern, {&a, &b, &c});
}

}  // namespace dbx

