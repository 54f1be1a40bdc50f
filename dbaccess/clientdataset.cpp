// The client dataset: rows held in memory, fetched from its provider in
// packets, an insert buffer, a change log and the client half of the apply.
#include "dbaccess/clientdataset.h"

#include <algorithm>
#include <array>

#include "dbaccess/encoding.h"

namespace dbx {

namespace {

const char* const kMissingProvider = "Falta Proveedor de datos o paquete de datos";
const char* const kFieldNotFound = "Campo '%s' no encontrado";
const char* const kTypeMismatch = "Discrepancia de tipos para el campo '%s', esperado: %s actual: %s";
const char* const kFieldRequired = "Es necesario que el campo '%s' contenga algún valor"_l1;
const char* const kListIndex = "List index out of bounds (%d)";
const char* const kDataSetClosed = "No se puede realizar esta operación en un conjunto de datos cerrado"_l1;
const char* const kNotEditing = "El conjunto de datos no está en modo de edición o inserción"_l1;
const char* const kDataSetOpen = "No se puede realizar esta operación en un conjunto de datos abierto"_l1;

const Variant kNullValue{};

// Runs a provider request; what fails inside reaches the caller as EOleException.
template <typename F>
auto ProviderRequest(F&& request) -> decltype(request()) {
  try {
    return request();
  } catch (const Exception& e) {
    throw EOleException(TrimProviderMessage(e.what()), e.Server());
  } catch (const std::exception& e) {
    throw EOleException(TrimProviderMessage(e.what()));
  }
}

}  // namespace

std::string TrimProviderMessage(const std::string& message) {
  std::size_t end = message.size();
  while (end > 0 && (message[end - 1] == '.' || static_cast<unsigned char>(message[end - 1]) <= 32)) --end;
  return message.substr(0, end);
}

std::string FieldTypeName(TFieldType type) {
  static const std::array<const char*, 38> names{
      "Unknown",    "String",    "Smallint",  "Integer",    "Word",      "Boolean",     "Float",   "Currency",
      "BCD",        "Date",      "Time",      "DateTime",   "Bytes",     "VarBytes",    "AutoInc", "Blob",
      "Memo",       "Graphic",   "FmtMemo",   "ParadoxOle", "DBaseOle",  "TypedBinary", "Cursor",  "FixedChar",
      "WideString", "Largeint",  "ADT",       "Array",      "Reference", "DataSet",     "OraBlob", "OraClob",
      "Variant",    "Interface", "IDispatch", "Guid",       "TimeStamp", "FMTBcd"};
  const auto index = static_cast<std::size_t>(type);
  return index < names.size() ? names[index] : "Unknown";
}

TClientDataSet::TClientDataSet(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {}

TClientDataSet::~TClientDataSet() {
  // Without an owner (or while the owner is being destroyed) the declared
  // fields may already be gone: they are left alone.
  const bool ownerAlive = Owner() != nullptr;
  Close();
  if (ownerAlive)
    for (TField* f : declaredFields_) f->Bind(nullptr, -1);
}

TDataSetProvider* TClientDataSet::Provider() const {
  // The last one found serves while its owner still has it under that name:
  // a look-up by name reads every component of the owner.
  if (provider_ != nullptr && Owner() != nullptr && Owner()->Owns(provider_) && !ProviderName.empty() &&
      SameText(provider_->Name(), ProviderName))
    if (auto* cached = dynamic_cast<TDataSetProvider*>(provider_)) return cached;
  provider_ = nullptr;
  TComponent* found = Owner() != nullptr ? Owner()->FindComponent(ProviderName) : nullptr;
  auto* provider = dynamic_cast<TDataSetProvider*>(found);
  if (ProviderName.empty() || provider == nullptr) throw EDatabaseError(NamedMessage(Name(), kMissingProvider));
  provider_ = provider;
  return provider;
}

TField* TClientDataSet::DeclareField(std::string componentName, const FieldDesc& desc) {
  if (Active()) throw EDatabaseError(NamedMessage(Name(), kDataSetOpen));
  auto* field = new TField(Owner() != nullptr ? Owner() : this, std::move(componentName), desc);
  field->Bind(this, static_cast<int>(declaredFields_.size()));
  declaredFields_.push_back(field);
  fields_ = declaredFields_;
  return field;
}

void TClientDataSet::CheckActive() const {
  if (!Active()) throw EDatabaseError(NamedMessage(Name(), kDataSetClosed));
}

void TClientDataSet::DropCreatedFields() noexcept {
  for (TField* f : createdFields_) delete f;
  createdFields_.clear();
  fields_ = declaredFields_;
  columnOfField_.clear();
}

void TClientDataSet::BindFields(const std::vector<FieldDesc>& columns) {
  columnOfField_.clear();
  if (declaredFields_.empty()) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      auto* field = new TField(this, {}, columns[i]);
      createdFields_.push_back(field);
      field->Bind(this, static_cast<int>(i));
      columnOfField_.push_back(static_cast<int>(i));
    }
    fields_ = createdFields_;
    return;
  }
  for (TField* field : declaredFields_) {
    auto column = std::find_if(columns.begin(), columns.end(),
                               [&](const FieldDesc& c) { return SameText(c.name, field->FieldName()); });
    if (column == columns.end()) throw EDatabaseError(NamedMessage(Name(), Fmt(kFieldNotFound, field->FieldName())));
    if (column->type != field->DataType())
      throw EDatabaseError(NamedMessage(Name(), Fmt(kTypeMismatch, field->FieldName(), FieldTypeName(field->DataType()),
                                                    FieldTypeName(column->type))));
    columnOfField_.push_back(static_cast<int>(column - columns.begin()));
  }
  fields_ = declaredFields_;
}

void TClientDataSet::StoreRows(std::vector<std::vector<Variant>>& rows) {
  bool columnOrder = true;  // fields are the columns themselves: rows move whole
  for (std::size_t i = 0; i < columnOfField_.size(); ++i)
    columnOrder = columnOrder && columnOfField_[i] == static_cast<int>(i);
  for (auto& values : rows) {
    auto row = std::make_unique<Row>();
    if (columnOrder && values.size() == columnOfField_.size()) {
      row->values = std::move(values);
    } else {
      row->values.reserve(columnOfField_.size());
      for (int column : columnOfField_)
        row->values.push_back(static_cast<std::size_t>(column) < values.size()
                                  ? std::move(values[static_cast<std::size_t>(column)])
                                  : Variant{});
    }
    rows_.push_back(std::move(row));
  }
}

void TClientDataSet::FetchPacket(const std::string& commandText, bool withMetadata) {
  TDataSetProvider* provider = Provider();
  RowPacket packet = ProviderRequest([&] { return provider->GetRows(PacketRecords, commandText, withMetadata); });
  if (withMetadata) BindFields(packet.columns);
  providerEof_ = PacketRecords < 0 || static_cast<int>(packet.rows.size()) < PacketRecords;
  StoreRows(packet.rows);
}

void TClientDataSet::Open() {
  if (Active()) return;
  try {
    FetchPacket(CommandText, true);
  } catch (...) {
    rows_.clear();
    DropCreatedFields();
    if (TComponent* owner = Owner()) {
      if (auto* provider = dynamic_cast<TDataSetProvider*>(owner->FindComponent(ProviderName))) provider->Reset();
    }
    throw;
  }
  state_ = TDataSetState::dsBrowse;
  current_ = rows_.empty() ? -1 : 0;
  eof_ = rows_.empty();
}

void TClientDataSet::Close() noexcept {
  if (!Active()) return;
  state_ = TDataSetState::dsInactive;
  insertRow_.reset();
  changeLog_.clear();
  rows_.clear();
  current_ = -1;
  eof_ = true;
  providerEof_ = true;
  DropCreatedFields();
  if (TComponent* owner = Owner()) {
    if (auto* provider = dynamic_cast<TDataSetProvider*>(owner->FindComponent(ProviderName))) provider->Reset();
  }
}

void TClientDataSet::First() {
  CheckActive();
  if (state_ == TDataSetState::dsInsert) Post();
  current_ = rows_.empty() ? -1 : 0;
  eof_ = rows_.empty();
}

void TClientDataSet::Next() {
  CheckActive();
  if (state_ == TDataSetState::dsInsert) Post();
  if (current_ + 1 < RecordCount()) {
    ++current_;
    eof_ = false;
    return;
  }
  if (!providerEof_ && FetchOnDemand) {
    const int before = RecordCount();
    FetchPacket({}, false);
    if (RecordCount() > before) {
      ++current_;
      eof_ = false;
      return;
    }
  }
  eof_ = true;
}

TField& TClientDataSet::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) throw EListError(Fmt(kListIndex, std::to_string(index)));
  return *fields_[static_cast<std::size_t>(index)];
}

TField* TClientDataSet::FindField(const std::string& fieldName) const {
  for (TField* f : fields_)
    if (SameText(f->FieldName(), fieldName)) return f;
  return nullptr;
}

TField& TClientDataSet::FieldByName(const std::string& fieldName) const {
  TField* f = FindField(fieldName);
  if (f == nullptr) throw EDatabaseError(NamedMessage(Name(), Fmt(kFieldNotFound, fieldName)));
  return *f;
}

const Variant& TClientDataSet::GetFieldValue(const TField& field) const {
  const Row* row = nullptr;
  if (state_ == TDataSetState::dsInsert)
    row = insertRow_.get();
  else if (state_ == TDataSetState::dsBrowse && current_ >= 0 && current_ < RecordCount())
    row = rows_[static_cast<std::size_t>(current_)].get();
  const int index = field.Index();
  if (row == nullptr || index < 0 || static_cast<std::size_t>(index) >= row->values.size()) return kNullValue;
  return row->values[static_cast<std::size_t>(index)];
}

void TClientDataSet::SetFieldValue(const TField& field, Variant value) {
  if (state_ != TDataSetState::dsInsert || !insertRow_) throw EDatabaseError(NamedMessage(Name(), kNotEditing));
  const int index = field.Index();
  if (index < 0 || static_cast<std::size_t>(index) >= insertRow_->values.size())
    throw EDatabaseError(NamedMessage(Name(), Fmt(kFieldNotFound, field.FieldName())));
  insertRow_->values[static_cast<std::size_t>(index)] = std::move(value);
  insertRow_->assigned[static_cast<std::size_t>(index)] = true;
}

void TClientDataSet::Insert() {
  CheckActive();
  if (state_ == TDataSetState::dsInsert) Post();
  insertRow_ = std::make_unique<Row>();
  insertRow_->values.assign(fields_.size(), Variant{});
  insertRow_->assigned.assign(fields_.size(), false);
  insertRow_->id = nextRowId_++;
  insertPos_ = std::max(current_, 0);
  state_ = TDataSetState::dsInsert;
  eof_ = false;
}

void TClientDataSet::RunWithErrorEvent(const TDataSetErrorEvent& handler, const std::function<void()>& op) {
  for (;;) {
    try {
      op();
      return;
    } catch (const EDatabaseError& e) {
      TDataAction action = daFail;
      if (handler) handler(*this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort();
      // daRetry: attempt the operation again
    }
  }
}

void TClientDataSet::Post() {
  RunWithErrorEvent(OnPostError, [this] { DoPost(); });
}

const TField* TClientDataSet::RequiredFieldMissing() const {
  if (state_ != TDataSetState::dsInsert || !insertRow_) return nullptr;
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TField& f = *fields_[i];
    if (f.Required() && f.FieldKind() == TFieldKind::fkData && !f.ReadOnly() && IsNull(insertRow_->values[i]))
      return &f;
  }
  return nullptr;
}

void TClientDataSet::DoPost() {
  if (state_ != TDataSetState::dsInsert) return;
  if (const TField* missing = RequiredFieldMissing()) throw EDatabaseError(Fmt(kFieldRequired, missing->FieldName()));
  Row* row = insertRow_.get();
  rows_.insert(rows_.begin() + insertPos_, std::move(insertRow_));
  changeLog_.push_back(row);
  current_ = insertPos_;
  state_ = TDataSetState::dsBrowse;
  eof_ = false;
}

void TClientDataSet::Cancel() {
  if (state_ != TDataSetState::dsInsert) return;
  insertRow_.reset();
  state_ = TDataSetState::dsBrowse;
  eof_ = rows_.empty();
}

void TClientDataSet::CancelUpdates() {
  Cancel();
  if (changeLog_.empty()) return;
  const std::vector<Row*> log = changeLog_;
  RemoveRows([&log](const Row& r) { return std::find(log.begin(), log.end(), &r) != log.end(); });
}

void TClientDataSet::RemoveRows(const std::function<bool(const Row&)>& match) {
  const Row* currentRow =
      current_ >= 0 && current_ < RecordCount() ? rows_[static_cast<std::size_t>(current_)].get() : nullptr;
  const int oldCurrent = current_;
  int removedBefore = 0;
  bool any = false;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (!match(*rows_[i])) continue;
    any = true;
    if (static_cast<int>(i) < oldCurrent) ++removedBefore;
  }
  if (!any) return;
  const bool currentRemoved = currentRow != nullptr && match(*currentRow);
  std::erase_if(changeLog_, [&match](const Row* r) { return match(*r); });
  std::erase_if(rows_, [&match](const std::unique_ptr<Row>& r) { return match(*r); });
  if (rows_.empty()) {
    current_ = -1;
    eof_ = true;
    return;
  }
  current_ = std::min(oldCurrent - removedBefore, RecordCount() - 1);
  if (current_ < 0) current_ = 0;
  if (currentRemoved) eof_ = false;
}

void TClientDataSet::MoveTo(int recNo) {
  CheckActive();
  if (state_ == TDataSetState::dsInsert) Post();
  if (recNo < 1 || recNo > RecordCount()) throw EListError(Fmt(kListIndex, std::to_string(recNo - 1)));
  current_ = recNo - 1;
  eof_ = false;
}

bool TClientDataSet::TakeBatchRow(TBatchRow& row) {
  if (state_ == TDataSetState::dsInsert) Post();
  if (changeLog_.empty()) return false;
  TDataSetProvider* provider = Provider();
  TSQLConnection* connection = provider->DataSet != nullptr ? provider->DataSet->SQLConnection() : nullptr;
  Row* last = changeLog_.back();
  changeLog_.pop_back();
  row.datasetRow = last->id;
  std::vector<DeltaField> deltaFields;
  BuildDeltaFields(deltaFields);
  if (connection != nullptr && provider->BatchRowOf(deltaFields, DeltaRow{ukInsert, last->values, last->assigned}, connection->QuoteChar(), row))
    return true;
  row.shape.reset();
  return false;
}

void TClientDataSet::RemoveRow(std::uint64_t id) {
  RemoveRows([id](const Row& r) { return r.id == id; });
}

void TClientDataSet::Execute() {
  TDataSetProvider* provider = Provider();
  ProviderRequest([&] { provider->Execute(CommandText); });
}

int TClientDataSet::ApplyUpdates(int maxErrors) {
  if (state_ == TDataSetState::dsInsert) Post();
  lastErrors_.clear();
  if (changeLog_.empty()) return 0;
  TDataSetProvider* provider = Provider();

  // The delta is a copy: a handler may change this dataset during the apply.
  // Its storage serves the next apply again; an apply started by a handler
  // during this one gets storage of its own.
  Delta nestedDelta;
  Delta& d = applying_ ? nestedDelta : delta_;
  struct Applying {
    bool& flag;
    bool before;
    ~Applying() { flag = before; }
  } applying{applying_, applying_};
  applying_ = true;
  std::vector<DeltaField>& deltaFields = d.fields;
  BuildDeltaFields(deltaFields);
  std::vector<DeltaRow>& delta = d.rows;
  delta.resize(changeLog_.size());
  // The rows by identity: a handler may change the change log meanwhile.
  std::vector<std::uint64_t> ids(changeLog_.size());
  for (std::size_t i = 0; i < changeLog_.size(); ++i) {
    delta[i].kind = ukInsert;
    delta[i].values = changeLog_[i]->values;
    delta[i].assigned = changeLog_[i]->assigned;
    ids[i] = changeLog_[i]->id;
  }

  std::vector<ErrorPacketEntry> errors;
  ApplyOutcome outcome;
  const int errorCount =
      ProviderRequest([&] {
        return provider->ApplyUpdates(deltaFields, delta, maxErrors, errors, outcome,
                                      [&](int row, const std::function<void(TClientDataSet&)>& use) {
                                        TClientDataSet deltaView(nullptr, {});
                                        deltaView.LoadDelta(deltaFields, delta, row);
                                        use(deltaView);
                                      });
      });
  lastErrors_ = errors;

  // Reconcile the failed rows; they stay in the change log either way.
  const int savedCurrent = current_;
  for (const ErrorPacketEntry& entry : errors) {
    const EReconcileError error(entry.message, entry.context, entry.errorCode, 0);
    TReconcileAction action = entry.response == rrSkip + 1 ? raSkip : raAbort;
    if (OnReconcileError) {
      const auto logIndex = static_cast<std::size_t>(entry.row - 1);
      if (logIndex < ids.size()) {
        for (std::size_t i = 0; i < rows_.size(); ++i)
          if (rows_[i]->id == ids[logIndex]) current_ = static_cast<int>(i);
      }
      try {
        OnReconcileError(*this, error, ukInsert, action);
      } catch (const std::exception& e) {
        // EAbort is silent.
        if (OnHandlerException && dynamic_cast<const EAbort*>(&e) == nullptr) {
          try {
            OnHandlerException(this, e);
          } catch (...) {
          }
        }
        action = raAbort;
      }
      current_ = savedCurrent;
    }
    if (action == raAbort) break;
  }

  if (outcome.committed) {
    std::vector<std::uint64_t> done;
    for (std::size_t i = 0; i < ids.size() && i < outcome.resolved.size(); ++i)
      if (outcome.resolved[i]) done.push_back(ids[i]);
    std::erase_if(changeLog_, [&done](const Row* row) {
      return std::find(done.begin(), done.end(), row->id) != done.end();
    });
  }
  return errorCount;
}

void TClientDataSet::BuildDeltaFields(std::vector<DeltaField>& deltaFields) const {
  deltaFields.resize(fields_.size());
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    const TField* f = fields_[i];
    deltaFields[i].desc = f->Desc();
    deltaFields[i].providerFlags = f->ProviderFlags();
    deltaFields[i].readOnly = f->ReadOnly();
    deltaFields[i].kind = f->FieldKind();
  }
}

void TClientDataSet::LoadDelta(const std::vector<DeltaField>& fields, const std::vector<DeltaRow>& delta,
                               int position) {
  Close();
  for (std::size_t i = 0; i < fields.size(); ++i) {
    auto* field = new TField(this, {}, fields[i].desc);
    field->SetReadOnly(fields[i].readOnly);
    field->SetProviderFlags(fields[i].providerFlags);
    field->Bind(this, static_cast<int>(i));
    createdFields_.push_back(field);
  }
  fields_ = createdFields_;
  for (const DeltaRow& d : delta) {
    auto row = std::make_unique<Row>();
    row->values = d.values;
    row->values.resize(fields.size());
    row->assigned = d.assigned;
    row->assigned.resize(fields.size(), false);
    rows_.push_back(std::move(row));
  }
  state_ = TDataSetState::dsBrowse;
  current_ = rows_.empty() ? -1 : std::clamp(position, 0, RecordCount() - 1);
  eof_ = rows_.empty();
}

}  // namespace dbx
