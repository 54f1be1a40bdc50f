// What a client dataset and its provider exchange: the kinds of changes and
// the answers to a failed row, the delta of an apply and its outcome, the
// error packet and the packets of rows; the errors of one row.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "dbaccess/errors.h"
#include "dbaccess/field.h"
#include "dbaccess/values.h"

namespace dbx {

enum TDataAction : int { daFail = 0, daAbort = 1, daRetry = 2 };
enum TResolverResponse : int { rrSkip = 0, rrAbort = 1, rrMerge = 2, rrApply = 3, rrIgnore = 4 };
enum TUpdateKind : int { ukModify = 0, ukInsert = 1, ukDelete = 2 };
enum TReconcileAction : int { raSkip = 0, raAbort = 1, raMerge = 2, raCorrect = 3, raCancel = 4, raRefresh = 5 };

// The error of one row of an apply: the message of the exception the row's
// statement raised, unchanged, its codes, that exception itself, and the
// server's identity of it (Server(), Category()).
class EUpdateError : public EDatabaseError {
 public:
  EUpdateError(const std::string& message, int errorCode, int previousError, std::exception_ptr original = {},
               TServerError server = {})
      : EDatabaseError(message, std::move(server)),
        errorCode_(errorCode),
        previousError_(previousError),
        original_(std::move(original)) {}
  [[nodiscard]] int ErrorCode() const noexcept { return errorCode_; }
  [[nodiscard]] int PreviousError() const noexcept { return previousError_; }
  // The exception raised while writing the row (rethrow it to inspect it).
  [[nodiscard]] const std::exception_ptr& OriginalException() const noexcept { return original_; }

 private:
  int errorCode_;
  int previousError_;
  std::exception_ptr original_;
};

// A failed row as the client dataset sees it when reconciling.
class EReconcileError : public EDatabaseError {
 public:
  EReconcileError(const std::string& message, std::string context, int errorCode, int previousError)
      : EDatabaseError(message), context_(std::move(context)), errorCode_(errorCode), previousError_(previousError) {}
  [[nodiscard]] const std::string& Context() const noexcept { return context_; }
  [[nodiscard]] int ErrorCode() const noexcept { return errorCode_; }
  [[nodiscard]] int PreviousError() const noexcept { return previousError_; }

 private:
  std::string context_;
  int errorCode_;
  int previousError_;
};

// One logged change: its kind and, per field, the new value and whether it was assigned.
struct DeltaRow {
  TUpdateKind kind = ukInsert;
  std::vector<Variant> values;
  std::vector<bool> assigned;
};

// A field of the delta with what the apply needs to know about it.
struct DeltaField {
  FieldDesc desc;
  unsigned providerFlags = pfInUpdate | pfInWhere;
  bool readOnly = false;
  TFieldKind kind = TFieldKind::fkData;
};

// What became of each delta row in the last apply of a provider.
struct ApplyOutcome {
  bool committed = false;      // rows written stand (committed, or left in a caller's transaction)
  std::vector<bool> resolved;  // per delta row: written, or ignored by the handler
};

// One entry of the error packet an apply answers with.
struct ErrorPacketEntry {
  int row = 0;       // position in the delta
  int response = 0;  // TResolverResponse + 1
  std::string message;
  std::string context;
  int category = 1;
  int errorCode = 1;
};

// The answer to a get-rows request.
struct RowPacket {
  std::vector<FieldDesc> columns;
  std::vector<std::vector<Variant>> rows;
  int localeId = 0;
};

}  // namespace dbx
