// The provider side of a client dataset: rows in packets from its statement,
// statements run for the client, and the apply of inserted rows.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <optional>

#include "dbaccess/provider.h"

#include "dbaccess/encoding.h"

namespace dbx {

namespace {

const char* const kReadOnlyProvider = "No es posible aplicar actualizaciones a un proveedor de sólo lectura"_l1;
const char* const kNoTableName = "No es posible resolver registros. Nombre de tabla no encontrado.";
const char* const kInsertsDisabled = "Las inserciones no están permitidas"_l1;
const char* const kTooManyRows = "La actualización afectó a más de un registro."_l1;
const char* const kRowNotFound = "Registro no encontrado o cambiado por otro usuario";
const char* const kInvalidResponse = "Respuesta inválida"_l1;
const char* const kCommandTextNotAllowed = "Los cambios a CommandText no están permitidos"_l1;
const char* const kMissingDataSet = "Falta la propiedad DataSet";
const char* const kMissingConnection = "Falta la conexión del conjunto de datos"_l1;
const char* const kUnsupportedUpdate = "Sólo se pueden aplicar registros insertados"_l1;

std::string TrimLeftBlanks(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32) ++i;
  return text.substr(i);
}

int LocaleIdOf(const TSQLConnection* connection) {
  if (connection == nullptr) return 0;
  const std::string code = connection->Params().Value("LocaleCode");
  if (code.empty()) return 0;
  char* end = nullptr;
  const long value = std::strtol(code.c_str(), &end, 16);
  return (end != nullptr && *end == '\0') ? static_cast<int>(value) : 0;
}

// Whether a field of the delta takes part in an INSERT.
bool IsUpdatable(const DeltaField& f) {
  if ((f.providerFlags & pfInUpdate) == 0 || (f.providerFlags & pfHidden) != 0) return false;
  if (f.kind != TFieldKind::fkData || f.readOnly) return false;
  switch (f.desc.type) {
    case ftUnknown:
    case ftAutoInc:
    case ftCursor:
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
      return false;
    default:
      return true;
  }
}

}  // namespace

TDataSetProvider::TDataSetProvider(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

RowPacket TDataSetProvider::GetRows(int count, const std::string& commandText, bool withMetadata) {
  ++getRowsRequests_;
  if (DataSet == nullptr) throw EDatabaseError(NamedMessage(Name(), kMissingDataSet));
  if (!commandText.empty()) {
    if ((Options & poAllowCommandText) == 0) throw EDatabaseError(kCommandTextNotAllowed);
    DataSet->SQL().SetText(TrimLeftBlanks(commandText));
  }
  if (!DataSet->Active()) {
    DataSet->Open();
    openedStatement_ = true;
  }
  RowPacket packet;
  if (withMetadata) packet.columns = DataSet->Columns();
  packet.localeId = LocaleIdOf(DataSet->SQLConnection());
  while ((count < 0 || static_cast<int>(packet.rows.size()) < count) && !DataSet->Eof()) {
    packet.rows.push_back(DataSet->TakeRow());
    DataSet->Next();
  }
  if ((count < 0 || static_cast<int>(packet.rows.size()) < count) && openedStatement_) {
    DataSet->Close();
    openedStatement_ = false;
  }
  return packet;
}

void TDataSetProvider::Execute(const std::string& commandText) {
  if (DataSet == nullptr) throw EDatabaseError(NamedMessage(Name(), kMissingDataSet));
  if (!commandText.empty()) {
    if ((Options & poAllowCommandText) == 0) throw EDatabaseError(kCommandTextNotAllowed);
    DataSet->SQL().SetText(TrimLeftBlanks(commandText));
  }
  DataSet->ExecSQL();
}

void TDataSetProvider::Reset() noexcept {
  if (openedStatement_ && DataSet != nullptr) DataSet->Close();
  openedStatement_ = false;
}

const std::string& TDataSetProvider::QuotedTable(const std::string& commandText, const std::string& quote) {
  if (table_.commandText != commandText || table_.quote != quote || table_.quotedTable.empty()) {
    table_.quotedTable = QuoteTableName(TableNameFromSQL(commandText), quote);
    table_.commandText = commandText;
    table_.quote = quote;
  }
  return table_.quotedTable;
}

bool TDataSetProvider::BatchRowOf(const std::vector<DeltaField>& fields, const DeltaRow& row,
                                  const std::string& quote, TBatchRow& out) {
  if (row.kind != ukInsert || (Options & (poReadOnly | poDisableInserts)) != 0 || DataSet == nullptr) return false;
  const std::string table = TableNameFromSQL(DataSet->CommandText());
  if (table.empty() || table.find('.') != std::string::npos) return false;
  std::vector<std::string> columns;
  bool ownTypes = true;
  out.values.clear();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const bool assigned = i < row.assigned.size() && row.assigned[i];
    if (!assigned || !IsUpdatable(fields[i])) continue;
    columns.push_back(quote + fields[i].desc.name + quote);
    out.values.push_back(i < row.values.size() ? row.values[i] : Variant{});
    const TFieldType t = fields[i].desc.type;
    ownTypes = ownTypes && t != ftBoolean && t != ftBlob && t != ftMemo && t != ftGraphic && t != ftFmtMemo;
  }
  if (columns.empty()) return false;
  // Rows of the same table and columns share their shape.
  const std::string& quotedTable = QuotedTable(DataSet->CommandText(), quote);
  if (!shape_ || shape_->name != quotedTable || shape_->columns != columns || shape_->ownTypes != ownTypes) {
    auto shape = std::make_shared<TRowShape>();
    shape->target = TRowShape::Target::kTable;
    shape->name = quotedTable;
    shape->columns = columns;
    shape->forms.assign(columns.size(), TSlotForm::kParameter);
    // The apply's text, cut at its markers.
    const std::string text = InsertSQL(quotedTable, columns);
    std::size_t from = 0;
    for (std::size_t at = text.find('?'); at != std::string::npos; at = text.find('?', from)) {
      shape->texts.push_back(text.substr(from, at - from));
      from = at + 1;
    }
    shape->texts.push_back(text.substr(from));
    shape->oneRow = true;
    shape->ownTypes = ownTypes;
    shape_ = std::move(shape);
  }
  out.shape = shape_;
  return true;
}

void TDataSetProvider::WriteRow(TSQLConnection& connection, const std::string& quotedTable,
                                const std::vector<DeltaField>& fields, const DeltaRow& row) {
  if (row.kind != ukInsert) throw EDatabaseError(kUnsupportedUpdate);
  if ((Options & poDisableInserts) != 0) throw EDatabaseError(kInsertsDisabled);
  if (quotedTable.empty()) throw EDatabaseError(kNoTableName);
  static const Variant kNull;
  columns_.clear();
  values_.clear();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const bool assigned = i < row.assigned.size() && row.assigned[i];
    if (!assigned || !IsUpdatable(fields[i])) continue;
    columns_.push_back(&fields[i].desc.name);
    values_.push_back(i < row.values.size() ? &row.values[i] : &kNull);
  }
  const std::string& quote = connection.QuoteChar();
  if (insert_.quotedTable != quotedTable || insert_.quote != quote ||
      !std::equal(columns_.begin(), columns_.end(), insert_.columns.begin(), insert_.columns.end(),
                  [](const std::string* a, const std::string& b) { return *a == b; })) {
    insert_.quotedTable = quotedTable;
    insert_.quote = quote;
    insert_.columns.clear();
    std::vector<std::string> quoted;
    quoted.reserve(columns_.size());
    for (const std::string* name : columns_) {
      insert_.columns.push_back(*name);
      quoted.push_back(quote + *name + quote);
    }
    insert_.text = InsertSQL(quotedTable, quoted);
  }
  const int affected = connection.ExecuteRow(insert_.text, values_);
  if (affected > 1 && (Options & poAllowMultiRecordUpdates) == 0) {
    if (connection.InTransaction()) connection.Rollback();
    throw EDatabaseError(kTooManyRows);
  }
  if (affected == 0) throw EDatabaseError(kRowNotFound);
}

int TDataSetProvider::ApplyUpdates(const std::vector<DeltaField>& fields, const std::vector<DeltaRow>& delta,
                                   int maxErrors, std::vector<ErrorPacketEntry>& errors, ApplyOutcome& outcome,
                                   const TDeltaView& view) {
  outcome.committed = false;
  outcome.resolved.assign(delta.size(), false);
  errors.clear();
  if ((Options & poReadOnly) != 0) throw EDatabaseError(kReadOnlyProvider);
  if (DataSet == nullptr) throw EDatabaseError(NamedMessage(Name(), kMissingDataSet));
  TSQLConnection* connection = DataSet->SQLConnection();
  if (connection == nullptr) throw EDatabaseError(NamedMessage(DataSet->Name(), kMissingConnection));

  // One row leaves the same database whether its statement runs inside a
  // transaction of the server or commits on its own: the server's
  // transaction is started only for a second row, or for a handler that may
  // run statements of its own before the apply ends.
  std::optional<TTransaction> transaction;
  if (!connection->InTransaction()) transaction.emplace(*connection, delta.size() == 1);
  int errorCount = 0;
  int limit = maxErrors;  // lowered by an abort to stop the work
  bool rolledBack = false;
  // Not a row failure (an exception leaves here): nothing of this apply
  // stays, the transaction's owner rolls it back.
  const std::string quotedTable = QuotedTable(DataSet->CommandText(), connection->QuoteChar());
  for (std::size_t r = 0; r < delta.size(); ++r) {
    if (limit != -1 && errorCount > limit) break;
    int previousError = 0;
    bool retry = false;
    for (;;) {
      std::string message;
      std::exception_ptr original;
      TServerError server;
      try {
        if (retry) throw EDatabaseError(kInvalidResponse);  // an inserted row cannot be merged or reapplied
        WriteRow(*connection, quotedTable, fields, delta[r]);
        outcome.resolved[r] = true;
        break;
      } catch (const std::exception& e) {
        message = e.what();
        server = ServerErrorOf(e);
        original = std::current_exception();
      }
      if (!connection->InTransaction()) rolledBack = true;
      const EUpdateError error(message, 1, previousError, std::move(original), std::move(server));
      previousError = 1;
      TResolverResponse response = (limit != -1 && errorCount >= limit) ? rrAbort : rrSkip;
      if (OnUpdateError) {
        connection->MaterializeTransaction();
        view(static_cast<int>(r),
             [&](TClientDataSet& deltaView) { OnUpdateError(this, deltaView, error, delta[r].kind, response); });
      }
      if (response == rrMerge || response == rrApply) {
        if (rolledBack)
          response = rrAbort;  // nothing to write into any more
        else {
          retry = true;
          continue;
        }
      }
      if (response == rrIgnore) {
        outcome.resolved[r] = true;
        break;
      }
      if (response != rrSkip) response = rrAbort;
      ++errorCount;
      if (limit != -1 && errorCount > limit) response = rrAbort;
      // A transaction rolled back under the work ends it here.
      if (rolledBack) response = rrAbort;
      if (response == rrAbort) limit = errorCount - 1;
      errors.push_back(ErrorPacketEntry{static_cast<int>(r) + 1, response + 1, message, {}, 1, 1});
      break;
    }
  }

  const bool keep = !rolledBack && (errorCount <= maxErrors || maxErrors == -1);
  if (transaction) {
    if (keep)
      transaction->Commit();
    else
      transaction->Rollback();
  }
  outcome.committed = keep;
  lastApply_ = outcome;
  return errorCount;
}

}  // namespace dbx
