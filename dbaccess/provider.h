// The provider of a client dataset: rows in packets from its statement,
// statements run for the client, and the apply of inserted rows inside one
// transaction.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/batch.h"
#include "dbaccess/component.h"
#include "dbaccess/delta.h"
#include "dbaccess/sqlconnection.h"

namespace dbx {

class TClientDataSet;

enum TProviderOption : unsigned {
  poAllowCommandText = 1u << 0,
  poReadOnly = 1u << 1,
  poDisableInserts = 1u << 2,
  poAllowMultiRecordUpdates = 1u << 3,
};

using TResolverErrorEvent = std::function<void(TComponent* sender, TClientDataSet& dataSet, const EUpdateError& e,
                                               TUpdateKind updateKind, TResolverResponse& response)>;
// Shows one row of a delta (its index) as a client dataset to `use`: what
// OnUpdateError receives. The client dataset that applies supplies it.
using TDeltaView = std::function<void(int row, const std::function<void(TClientDataSet&)>& use)>;

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
                   std::vector<ErrorPacketEntry>& errors, ApplyOutcome& outcome, const TDeltaView& view);
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

}  // namespace dbx
