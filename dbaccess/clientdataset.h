// Client datasets and their providers: in-memory rows fetched in packets,
// a change log of inserted rows, and the apply that sends it to the database.
// One thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/batch.h"
#include "dbaccess/component.h"
#include "dbaccess/errors.h"
#include "dbaccess/field.h"
#include "dbaccess/sqlconnection.h"
#include "dbaccess/sqltext.h"

namespace dbx {

enum TDataAction : int { daFail = 0, daAbort = 1, daRetry = 2 };
enum TResolverResponse : int { rrSkip = 0, rrAbort = 1, rrMerge = 2, rrApply = 3, rrIgnore = 4 };
enum TUpdateKind : int { ukModify = 0, ukInsert = 1, ukDelete = 2 };
enum TReconcileAction : int { raSkip = 0, raAbort = 1, raMerge = 2, raCorrect = 3, raCancel = 4, raRefresh = 5 };
enum TProviderOption : unsigned {
  poAllowCommandText = 1u << 0,
  poReadOnly = 1u << 1,
  poDisableInserts = 1u << 2,
  poAllowMultiRecordUpdates = 1u << 3,
};
enum class TDataSetState { dsInactive, dsBrowse, dsInsert };

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

class TClientDataSet;
class TDataSetProvider;

using TDataSetErrorEvent = std::function<void(TClientDataSet& dataSet, const EDatabaseError& e, TDataAction& action)>;
using TResolverErrorEvent = std::function<void(TComponent* sender, TClientDataSet& dataSet, const EUpdateError& e,
                                               TUpdateKind updateKind, TResolverResponse& response)>;
using TReconcileErrorEvent = std::function<void(TClientDataSet& dataSet, const EReconcileError& e,
                                                TUpdateKind updateKind, TReconcileAction& action)>;

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

class TDataSetProvider : public TComponent {
 public:
  TDataSetProvider(TComponent* owner, std::string name);

  TSQLQuery* DataSet = nullptr;
  unsigned Options = 0;
  TResolverErrorEvent OnUpdateError;

  // Requests of a client dataset. count -1 means every row.
  RowPacket GetRows(int count, const std::string& commandText, bool withMetadata);
  void Execute(const std::string& commandText);
  // Writes the delta inside one transaction; returns the error count and
  // fills the error packet and the outcome of every row. Never raises for a
  // row the database rejects. Everything an apply works on is its own, so a
  // handler may apply again (this provider or another) while it runs.
  int ApplyUpdates(const std::vector<DeltaField>& fields, const std::vector<DeltaRow>& delta, int maxErrors,
                   std::vector<ErrorPacketEntry>& errors, ApplyOutcome& outcome);
  void Reset() noexcept;

  // One inserted row of a delta as the apply's INSERT writes it, for a
  // stream: the same table, columns and values. False when the apply would
  // not write it so (it refuses the row, or its table has more than one part).
  bool BatchRowOf(const std::vector<DeltaField>& fields, const DeltaRow& row, const std::string& quote,
                  TBatchRow& out);

  // The outcome of the last apply that finished.
  [[nodiscard]] const ApplyOutcome& LastApply() const noexcept { return lastApply_; }
  // Get-rows requests served so far.
  [[nodiscard]] int GetRowsRequests() const noexcept { return getRowsRequests_; }

 private:
  void WriteRow(TSQLConnection& connection, const std::string& quotedTable, const std::vector<DeltaField>& fields,
                const DeltaRow& row);
  // The quoted table an apply writes to, found again only when the text changes.
  const std::string& QuotedTable(const std::string& commandText, const std::string& quote);

  bool openedStatement_ = false;
  // The last table found and the last INSERT text: every row of an apply,
  // and usually every apply of a dataset, writes the same columns.
  struct {
    std::string commandText, quote, quotedTable;
  } table_;
  struct {
    std::string quotedTable, quote;
    std::vector<std::string> columns;
    std::string text;
  } insert_;
  std::shared_ptr<const TRowShape> shape_;   // of the last row BatchRowOf gave
  std::vector<const std::string*> columns_;  // names of the row being written
  std::vector<const Variant*> values_;       // and its values, in place
  int getRowsRequests_ = 0;
  ApplyOutcome lastApply_;
};

class TClientDataSet : public TComponent, public FieldHost {
 public:
  TClientDataSet(TComponent* owner, std::string name);
  ~TClientDataSet() override;

  std::string ProviderName;
  std::string CommandText;
  int PacketRecords = -1;
  bool FetchOnDemand = true;

  TDataSetErrorEvent OnEditError;
  TDataSetErrorEvent OnPostError;
  TDataSetErrorEvent OnDeleteError;
  TReconcileErrorEvent OnReconcileError;

  // Declares a persistent field (owned by the dataset's owner, like a
  // design-time field); declared fields are bound to columns by name at Open.
  TField* DeclareField(std::string componentName, const FieldDesc& desc);

  void Open();
  void Close() noexcept;
  [[nodiscard]] bool Active() const noexcept { return state_ != TDataSetState::dsInactive; }
  [[nodiscard]] TDataSetState State() const noexcept { return state_; }
  void First();
  void Next();
  [[nodiscard]] bool Eof() const noexcept { return eof_; }
  [[nodiscard]] bool IsEmpty() const noexcept { return rows_.empty(); }
  [[nodiscard]] int RecordCount() const noexcept { return static_cast<int>(rows_.size()); }
  [[nodiscard]] int RecNo() const noexcept { return current_ + 1; }
  // Moves to a row held (1 is the first); nothing is fetched.
  void MoveTo(int recNo);
  // Rows held after the current one: Next reaches them without a request.
  [[nodiscard]] int HeldAhead() const noexcept { return current_ < 0 ? 0 : RecordCount() - 1 - current_; }

  [[nodiscard]] int FieldCount() const noexcept { return static_cast<int>(fields_.size()); }
  // The i-th field; "List index out of bounds (%d)" outside the list.
  [[nodiscard]] TField& Fields(int index) const;
  [[nodiscard]] TField* FindField(const std::string& fieldName) const;
  [[nodiscard]] TField& FieldByName(const std::string& fieldName) const;

  void Insert();
  // The first required field that is null in the row being inserted: what
  // makes a Post fail; nullptr when none does.
  [[nodiscard]] const TField* RequiredFieldMissing() const;
  void Post();
  void Cancel();
  // Sends the change log; returns the rows that failed.
  int ApplyUpdates(int maxErrors);
  // The row just posted as a row of a stream that writes it as the apply's
  // INSERT would (TStatementBatch): it leaves the change log now and stays
  // as an applied row (TBatchRow::datasetRow); RemoveRow takes it away when
  // the stream does not write it. False, with no shape in the row, when the
  // apply would not write it so: the row must then run alone.
  bool TakeBatchRow(TBatchRow& row);
  // Removes an inserted row (TBatchRow::datasetRow) from the dataset.
  void RemoveRow(std::uint64_t id);
  // Whether going past the last row held asks the provider for more rows.
  [[nodiscard]] bool MoreToFetch() const noexcept { return !providerEof_ && FetchOnDemand; }
  // Runs the command text through the provider.
  void Execute();
  // Rows in the change log.
  [[nodiscard]] int ChangeCount() const noexcept { return static_cast<int>(changeLog_.size()); }
  // Drops the change log and the pending rows it holds.
  void CancelUpdates();
  // The error packet of the last apply.
  [[nodiscard]] const std::vector<ErrorPacketEntry>& LastApplyErrors() const noexcept { return lastErrors_; }
  // Fields of the current index (none: the system gives no dataset an index).
  [[nodiscard]] std::vector<TField*> IndexFields() const { return {}; }

  // FieldHost
  [[nodiscard]] const Variant& GetFieldValue(const TField& field) const override;
  void SetFieldValue(const TField& field, Variant value) override;

  [[nodiscard]] TDataSetProvider* Provider() const;

 private:
  friend class TDataSetProvider;
  struct Row {
    std::vector<Variant> values;  // one per field, in field order
    std::vector<bool> assigned;   // of an inserted row; empty for a fetched one
    std::uint64_t id = 0;         // of an inserted row: unique within the dataset
  };
  void BindFields(const std::vector<FieldDesc>& columns);
  void FetchPacket(const std::string& commandText, bool withMetadata);
  void StoreRows(std::vector<std::vector<Variant>>& rows);
  void RunWithErrorEvent(const TDataSetErrorEvent& handler, const std::function<void()>& op);
  void DoPost();
  void CheckActive() const;
  void DropCreatedFields() noexcept;
  void BuildDeltaFields(std::vector<DeltaField>& deltaFields) const;
  // Removes the rows that match from the dataset (and its change log).
  void RemoveRows(const std::function<bool(const Row&)>& match);
  // Shows the delta of an apply: fields from the delta, positioned on a row.
  void LoadDelta(const std::vector<DeltaField>& fields, const std::vector<DeltaRow>& delta, int position);

  TDataSetState state_ = TDataSetState::dsInactive;
  std::vector<TField*> fields_;             // in column order
  std::vector<TField*> declaredFields_;     // persistent fields
  mutable TComponent* provider_ = nullptr;  // last found by ProviderName
  std::deque<std::unique_ptr<Row>> rows_;   // inserts go before the current row, mostly the first
  std::vector<Row*> changeLog_;
  std::vector<TField*> createdFields_;  // owned, destroyed at Close
  std::vector<int> columnOfField_;      // result column of each field
  std::unique_ptr<Row> insertRow_;
  int insertPos_ = 0;
  std::uint64_t nextRowId_ = 1;
  int current_ = -1;
  bool eof_ = true;
  bool providerEof_ = true;
  std::vector<ErrorPacketEntry> lastErrors_;
  struct Delta {
    std::vector<DeltaField> fields;
    std::vector<DeltaRow> rows;
  };
  Delta delta_;  // storage of the apply's copy
  bool applying_ = false;
};

// Message of an exception as it leaves a provider request: trailing full
// stops and characters with codes of 32 or below removed, repeatedly.
[[nodiscard]] std::string TrimProviderMessage(const std::string& message);

// The type name of a field type as messages show it ("String", "FMTBcd").
[[nodiscard]] std::string FieldTypeName(TFieldType type);

}  // namespace dbx
