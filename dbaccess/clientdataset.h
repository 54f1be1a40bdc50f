// Client datasets: in-memory rows fetched from their provider in packets, an
// insert buffer, a change log of inserted rows, and the client half of the
// apply. One thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/batch.h"
#include "dbaccess/component.h"
#include "dbaccess/delta.h"
#include "dbaccess/errors.h"
#include "dbaccess/field.h"
#include "dbaccess/provider.h"
#include "dbaccess/sqlconnection.h"
#include "dbaccess/sqltext.h"

namespace dbx {

enum class TDataSetState { dsInactive, dsBrowse, dsInsert };

using TDataSetErrorEvent = std::function<void(TClientDataSet& dataSet, const EDatabaseError& e, TDataAction& action)>;
using TReconcileErrorEvent = std::function<void(TClientDataSet& dataSet, const EReconcileError& e,
                                                TUpdateKind updateKind, TReconcileAction& action)>;

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
  // The application's handler, for an exception that escapes OnReconcileError.
  std::function<void(TComponent* sender, const std::exception& e)> OnHandlerException;

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

  // The locale settings of the field texts, not owned (nullptr: the
  // defaults); they are read at each conversion.
  void SetFormats(const FormatSettings* formats) noexcept { formats_ = formats; }

  // FieldHost
  [[nodiscard]] const Variant& GetFieldValue(const TField& field) const override;
  void SetFieldValue(const TField& field, Variant value) override;
  [[nodiscard]] const FormatSettings& Formats() const noexcept override {
    return formats_ != nullptr ? *formats_ : DefaultFormatSettings();
  }

  [[nodiscard]] TDataSetProvider* Provider() const;

 private:
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
  const FormatSettings* formats_ = nullptr;
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
