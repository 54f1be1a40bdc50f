#include "dbaccess/sqlconnection.h"

#include <langinfo.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"
#include "dbaccess/fbclient.h"
#include "dbaccess/sqltext.h"
#include "dbaccess/stop.h"

namespace dbx {

namespace {


bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// Whether a text has a "?" or ":" outside its literals and quoted names (a
// parameter, which only a prepared statement reports as not set).
bool HasMarkers(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '?' || c == ':') return true;
    if (c == '\'' || c == '"') {
      const std::size_t close = text.find(c, i + 1);
      if (close == std::string::npos) return true;
      i = close;  // a doubled quote closes and opens again
    }
  }
  return false;
}

std::string Trim(const std::string& s) {
  auto b = std::find_if_not(s.begin(), s.end(), IsBlankOrControl);
  auto e = std::find_if_not(s.rbegin(), s.rend(), IsBlankOrControl).base();
  return b < e ? std::string(b, e) : std::string();
}

// ASCII letters only, whatever the process's locale.
std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

// The integer a parameter's value holds (blanks trimmed); false when it is none.
bool ToInt(const std::string& value, int& result) {
  const std::string text = Trim(value);
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end == nullptr || *end != '\0') return false;
  result = static_cast<int>(n);
  return true;
}

void AddDpbText(std::string& dpb, char item, const std::string& value) {
  const std::size_t len = std::min<std::size_t>(value.size(), 255);
  dpb += item;
  dpb += static_cast<char>(len);
  dpb.append(value, 0, len);
}

void AddDpbInt(std::string& dpb, char item, int value) {
  dpb += item;
  dpb += static_cast<char>(4);
  for (int i = 0; i < 4; ++i) dpb += static_cast<char>((static_cast<unsigned>(value) >> (8 * i)) & 0xFF);
}

}  // namespace

void PrepareClientLibrary() {
  // The client library turns a UTF-8 file name into the process's character
  // type (LC_CTYPE) to open it: it must be a UTF-8 one.
  static const bool prepared = [] {
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0 &&
        (setlocale(LC_CTYPE, "") == nullptr || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0))
      setlocale(LC_CTYPE, "C.UTF-8");
    return true;
  }();
  (void)prepared;
}

// ---------------------------------------------------------------------------
// TSQLConnection

TSQLConnection::TSQLConnection(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {
  AddLiveConnection(this);
}

TSQLConnection::~TSQLConnection() {
  RemoveLiveConnection(this);
  Detach();
  for (TSQLQuery* q : statements_) q->connection_ = nullptr;
  statements_.clear();
}

std::string TSQLConnection::ComposeError(int status, const std::string& serverText, std::string& lastError) const {
  std::string message;
  if (status >= 1 && status <= 100) {
    if (const char* text = StatusText(status)) message = std::string(kDbExpressError) + text;
  }
  if (!serverText.empty()) {
    if (!message.empty()) message += "\r\n";
    message += std::string(kSqlServerError) + serverText;
  }
  if (message.empty()) message = lastError;
  if (message.empty())
    message = Fmt("dbExpress Error: Error de código desconocido '%s'"_l1,
                  std::to_string(static_cast<unsigned>(status) & 0xFFFFu));
  lastError = message;
  return message;
}

void TSQLConnection::RaiseError(int status, const std::string& serverText, TServerError server) {
  StopPoint();  // a failure of a call that a stop request cancelled
  server.database = params_.Value("Database");
  throw EDatabaseError(ComposeError(status, serverText, lastError_), std::move(server));
}

void TSQLConnection::Raise(const fb::Failure& failure) {
  RaiseError(static_cast<int>(failure.status), failure.text, failure.server);
}

void TSQLConnection::SetConnected(bool value) {
  if (value) {
    if (!Connected()) Attach();
  } else if (Connected()) {
    Detach();
  }
}

// The attachment string with a port: Firebird takes the port only inside
// it, as host/port:path or inet://host:port/path. A string without a host,
// or that names a port already, is left as it is.
std::string WithServerPort(const std::string& database, const std::string& port) {
  if (port.empty()) return database;
  for (const char* scheme : {"inet://", "inet4://", "inet6://"}) {
    const std::string prefix = scheme;
    if (database.compare(0, prefix.size(), prefix) != 0) continue;
    std::size_t hostEnd = prefix.size();
    if (hostEnd < database.size() && database[hostEnd] == '[') hostEnd = database.find(']', hostEnd);
    if (hostEnd == std::string::npos) return database;
    const std::size_t end = database.find_first_of(":/", hostEnd);
    if (end == std::string::npos || database[end] == ':') return database;
    return database.substr(0, end) + ":" + port + database.substr(end);
  }
  std::size_t hostEnd = 0;
  if (!database.empty() && database[0] == '[') {
    hostEnd = database.find(']');
    if (hostEnd == std::string::npos) return database;
  }
  const std::size_t colon = database.find(':', hostEnd);
  // One letter before the colon is a drive, not a host.
  if (colon == std::string::npos || colon < 2) return database;
  const std::string host = database.substr(0, colon);
  if (host.find_first_of("/\\") != std::string::npos) return database;
  return host + "/" + port + database.substr(colon);
}

namespace {

// Whether an attachment string names a server: inet://..., \\host\path,
// [v6]:path, or host[/port]:path (a host of two characters or more, so
// that C:\path is a drive); a path alone is a file of this process's
// engine.
bool NamesServer(const std::string& database) {
  for (const char* scheme : {"inet://", "inet4://", "inet6://"})
    if (database.starts_with(scheme)) return true;
  if (database.starts_with("\\\\") || database.starts_with("[")) return true;
  const std::size_t colon = database.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  const std::string host = database.substr(0, colon);
  return host.front() != '/' && host.find('\\') == std::string::npos &&
         std::count(host.begin(), host.end(), '/') <= 1;
}

}  // namespace

void TSQLConnection::Attach() {
  StopPoint();
  if (DriverName.empty()) throw EDatabaseError("Falta la propiedad DriverName");
  if (LibraryName.empty() || VendorLib.empty())
    throw EDatabaseError(NamedMessage(Name(), "Nombre de DLL/Librería Compartida no especificado"_l1));
  std::string database = Trim(params_.Value("Database"));
  if (database.empty())
    throw EDatabaseError(ConnectionName.empty() ? "Falta el nombre de la conexión"_l1 : "Falta la propiedad DataBase");

  state_ = csConnecting;
  try {
    fb::AttachmentOptions options;
    const std::string user = params_.Value("User_Name");
    const std::string password = params_.Value("Password");
    const auto present = [this](const char* name) { return params_.IndexOfName(name) >= 0; };
    const auto flag = [this](const char* name) { return Upper(Trim(params_.Value(name))) == "TRUE"; };
    // An integer option; a value that is not one is refused, and so ignored.
    const auto integer = [this](const char* name, int& value) { return ToInt(params_.Value(name), value); };

    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    if (!user.empty()) AddDpbText(dpb, isc_dpb_user_name, user);
    if (!password.empty()) AddDpbText(dpb, isc_dpb_password, password);
    // The options, in the order the driver hands them over. HostName,
    // BlockingMode, "Multiple Transaction" and "Custom String" have no
    // counterpart in the Firebird client library and are not used.
    if (present("RoleName")) {
      const std::string role = Trim(params_.Value("RoleName"));
      if (!role.empty()) AddDpbText(dpb, isc_dpb_sql_role_name, role);
    }
    if (present("WaitOnLocks")) options.waitOnLocks = flag("WaitOnLocks");
    if (int seconds = 0; integer("Lock Timeout", seconds) && seconds > 0) options.lockTimeout = seconds;
    if (present("CommitRetain")) options.commitRetain = flag("CommitRetain");
    if (present("AutoCommit")) options.autoCommit = flag("AutoCommit");
    const std::string charset = Trim(params_.Value("ServerCharSet"));
    if (!charset.empty()) AddDpbText(dpb, isc_dpb_lc_ctype, charset);

    // The value in lower case, as it stands: " DirtyRead " is none of the names.
    const std::string isolation = Lower(params_.Value(DriverName + " TransIsolation"));
    isolation_ = isolation == "repeatableread" ? xilRepeatableRead
                 : isolation == "dirtyread"    ? xilDirtyRead
                                               : xilReadCommitted;
    options.isolation = isolation_;

    const std::string dialect = Trim(params_.Value("SQLDialect"));
    options.dialect = dialect.empty() ? 3 : std::atoi(dialect.c_str());
    if (options.dialect < 1 || options.dialect > 3) options.dialect = 3;
    AddDpbInt(dpb, isc_dpb_sql_dialect, options.dialect);

    if (present("OS Authentication") && flag("OS Authentication")) AddDpbText(dpb, isc_dpb_trusted_auth, "");
    int port = 0;
    if (integer("Server Port", port) && port > 0 && port < 65536)
      database = WithServerPort(database, std::to_string(port));
    if (present("Trim Char")) options.trimChar = flag("Trim Char");
    int timeout = 0;
    if (integer("Connection Timeout", timeout) && timeout > 0) AddDpbInt(dpb, isc_dpb_connect_timeout, timeout);
    if (WireCompression) AddDpbText(dpb, isc_dpb_config, "WireCompression=true");
    blobSize_ = BlobSizeParam();

    // The database string is internal text; the client library takes file
    // names in UTF-8 when told so, and then hands every other text of the
    // block (user, password, role) over unchanged.
    PrepareClientLibrary();
    dpb += static_cast<char>(isc_dpb_utf8_filename);
    dpb += '\0';
    const std::string attachment = Latin1ToUtf8(database);
    auto conn = std::make_unique<fb::Attachment>(options);
    try {
      conn->Attach(attachment, dpb);
    } catch (fb::Failure& failure) {
      // Its text names the file as it was handed over: back to internal text.
      if (std::string internal; Utf8ToLatin1(failure.text, internal)) failure.text = std::move(internal);
      RaiseError(static_cast<int>(TStatus::kConnectionFailed), failure.text, failure.server);
    }
    AddAttachment(*conn->Db());
    // Dialect 3 quotes identifiers with the double quote.
    quoteChar_.clear();
    if (options.dialect == 3) quoteChar_.push_back('"');
    handle_ = std::move(conn);
    remote_ = NamesServer(database);
    transactionCount_ = 0;
    state_ = csOpen;
  } catch (...) {
    handle_.reset();
    state_ = csClosed;
    throw;
  }
}

int TSQLConnection::BlobSizeParam() const {
  int size = -1;
  return ToInt(params_.Value("BlobSize"), size) ? size : -1;
}

void TSQLConnection::Detach() noexcept {
  if (!handle_) {
    state_ = csClosed;
    return;
  }
  state_ = csDisconnecting;
  for (TSQLQuery* q : statements_) q->ConnectionClosing();
  if (execCursor_) execCursor_->Reset();
  if (onceCursor_) onceCursor_->Reset();
  for (auto& c : blockCursors_)
    if (c) c->Reset();
  parked_.clear();
  seen_.clear();
  parameters_.clear();
  RemoveAttachment(*handle_->Db());
  handle_.reset();  // rolls back an explicit transaction left open, ends the kept one, detaches
  transactionCount_ = 0;
  state_ = csClosed;
}

void TSQLConnection::RegisterStatement(TSQLQuery* query) {
  if (std::find(statements_.begin(), statements_.end(), query) == statements_.end()) statements_.push_back(query);
}

void TSQLConnection::UnregisterStatement(TSQLQuery* query) {
  statements_.erase(std::remove(statements_.begin(), statements_.end(), query), statements_.end());
}

void TSQLConnection::CloseStatementsInTransaction() noexcept {
  for (TSQLQuery* q : statements_)
    if (q->cursor_ && q->cursor_->CurrentWork() == fb::Work::kExplicit) q->Close();
}

void TSQLConnection::StartTransaction(int isolationLevel, bool whenNeeded) {
  StopPoint();
  if (!Connected()) SetConnected(true);
  if (transactionCount_ > 0) RaiseError(static_cast<int>(TStatus::kTransactionActive), std::string());
  explicitIsolation_ = isolationLevel;
  transactionCount_ = 1;
  if (!whenNeeded) MaterializeTransaction();
}

void TSQLConnection::MaterializeTransaction() {
  if (transactionCount_ == 0 || handle_->HasExplicit()) return;
  try {
    handle_->StartExplicit(explicitIsolation_);
  } catch (const fb::Failure& failure) {
    transactionCount_ = 0;
    Raise(failure);
  }
}

bool TSQLConnection::RetainForOpenCursors() {
  int open = 0;
  for (TSQLQuery* q : statements_)
    if (q->cursor_ && q->cursor_->CurrentWork() == fb::Work::kExplicit && q->cursor_->CursorOpen()) ++open;
  if (open == 0) return false;
  // One transaction is retained at a time: the cursors of an earlier one close.
  for (TSQLQuery* q : statements_)
    if (q->cursor_ && q->cursor_->CurrentWork() == fb::Work::kRetained) q->Close();
  try {
    handle_->RetainExplicit(open);
  } catch (const fb::Failure& failure) {
    CloseStatementsInTransaction();
    Raise(failure);
  }
  // The open cursors go on in the retained transaction; the others' work is over.
  for (TSQLQuery* q : statements_)
    if (q->cursor_ && q->cursor_->CurrentWork() == fb::Work::kExplicit) {
      if (q->cursor_->CursorOpen())
        q->cursor_->MoveToRetained();
      else
        q->cursor_->Finish(true);
    }
  return true;
}

void TSQLConnection::EndTransaction(bool commit) {
  if (!handle_ || transactionCount_ == 0) return;
  transactionCount_ = 0;
  if (!handle_->HasExplicit()) return;  // never needed on the server
  // With CommitRetain the work is committed and the transaction goes on for
  // the cursors open in it; it ends when the last of them closes.
  if (commit && handle_->Options().commitRetain && RetainForOpenCursors()) return;
  CloseStatementsInTransaction();
  try {
    if (commit)
      handle_->CommitExplicit();
    else
      handle_->RollbackExplicit();
  } catch (const fb::Failure& failure) {
    Raise(failure);
  }
}

void TSQLConnection::Commit() { EndTransaction(true); }

void TSQLConnection::Rollback() { EndTransaction(false); }

void TSQLConnection::EndIdleWork() noexcept {
  if (handle_) handle_->EndKept();
}

void TSQLConnection::Abandon() noexcept {
  if (!handle_) return;
  RemoveAttachment(*handle_->Db());
  handle_->Abandon();
  state_ = csClosed;
}

int TSQLConnection::Execute(const std::string& sql, const std::vector<Param>& params) {
  std::vector<const Variant*> values;
  values.reserve(params.size());
  for (const Param& p : params) values.push_back(&p.value);
  return ExecuteRow(sql, values);
}

int TSQLConnection::ExecuteRow(const std::string& sql, const std::vector<const Variant*>& params) {
  // One cursor serves every execute of the connection and keeps its last
  // text prepared: the apply runs the same INSERT row after row.
  if (!execCursor_) execCursor_ = std::make_unique<fb::Cursor>();
  int rows = 0;
  RunKeptPrepared(*execCursor_, sql, params, nullptr, &rows);
  return rows;
}

// A connection-level execution: attaches when needed, checks the text, and
// reads executing while it lasts.
class TSQLConnection::Execution {
 public:
  Execution(TSQLConnection& c, const std::string& sql) : c_(c) {
    StopPoint();
    if (!c_.Connected()) c_.SetConnected(true);
    c_.CheckStatementText(sql, {});
    c_.state_ = csExecuting;
  }
  ~Execution() {
    if (c_.state_ == csExecuting) c_.state_ = csOpen;
  }
  Execution(const Execution&) = delete;
  Execution& operator=(const Execution&) = delete;

 private:
  TSQLConnection& c_;
};

std::vector<Variant> TSQLConnection::ExecuteBlock(const std::string& sql, const std::vector<const Variant*>& params,
                                                  const std::vector<FieldDesc>& outputs, bool once) {
  std::vector<Variant> row;
  // A text stays prepared while it comes again; across a network, one that
  // comes for the first time and is not likely to come again goes as one
  // request.
  const auto prepared = [&sql](const std::unique_ptr<fb::Cursor>& c) { return c && c->Prepared() && c->Text() == sql; };
  const auto at = std::find_if(blockCursors_.begin(), blockCursors_.end(), prepared);
  if (at == blockCursors_.end() && once && RunsOnce(sql)) {
    RunOnce(sql, params, outputs, &row);
    return row;
  }
  // Most recently used first; a new text takes the place of the oldest.
  const auto slot = at == blockCursors_.end() ? blockCursors_.end() - 1 : at;
  std::rotate(blockCursors_.begin(), slot, slot + 1);
  if (!blockCursors_[0]) blockCursors_[0] = std::make_unique<fb::Cursor>();
  RunKeptPrepared(*blockCursors_[0], sql, params, &row, nullptr, isc_info_sql_stmt_select);
  return row;
}

void TSQLConnection::RunOnce(const std::string& sql, const std::vector<const Variant*>& values,
                             const std::vector<FieldDesc>& outputs, std::vector<Variant>* row) {
  const Execution execution(*this, sql);
  if (!onceCursor_) onceCursor_ = std::make_unique<fb::Cursor>();
  onceCursor_->UseAttachment(handle_.get());
  try {
    onceCursor_->RunImmediate(sql, values, outputs, row, 0 /* NONE */);
  } catch (const fb::Failure& failure) {
    Raise(failure);
  }
}

bool TSQLConnection::RunsOnce(const std::string& text) {
  return remote_ && CharacterSet() == "NONE" && seen_.insert(std::hash<std::string>{}(text)).second;
}

void TSQLConnection::Park(std::unique_ptr<fb::Cursor> cursor) noexcept {
  constexpr std::size_t kParked = 8;
  if (!handle_ || state_ == csDisconnecting || !cursor || !cursor->Prepared()) return;
  cursor->Finish(true);
  if (parked_.size() >= kParked) parked_.erase(parked_.begin());
  parked_.push_back(std::move(cursor));
}

std::unique_ptr<fb::Cursor> TSQLConnection::TakeParked(const std::string& text) {
  for (auto it = parked_.rbegin(); it != parked_.rend(); ++it) {
    if ((*it)->Text() != text) continue;
    std::unique_ptr<fb::Cursor> cursor = std::move(*it);
    parked_.erase(std::next(it).base());
    return cursor;
  }
  return nullptr;
}

std::vector<FieldDesc> TSQLConnection::DescribeParameters(const std::string& sql) {
  if (const auto it = parameters_.find(sql); it != parameters_.end() && handle_) return it->second;
  const Execution execution(*this, sql);
  fb::Cursor cursor(handle_.get());
  std::vector<FieldDesc> described;
  try {
    cursor.Prepare(sql, false, 1);
    described = cursor.Parameters();
    cursor.Reset();
  } catch (const fb::Failure& failure) {
    Raise(failure);
  }
  parameters_[sql] = described;
  return described;
}

std::string TSQLConnection::CharacterSet() const {
  const std::string charset = Trim(params_.Value("ServerCharSet"));
  return charset.empty() ? "NONE" : charset;
}

void TSQLConnection::ReleaseKeptStatements() noexcept {
  for (auto& c : blockCursors_)
    if (c) c->Reset();
}

void TSQLConnection::CheckStatementText(const std::string& text, const std::string& name) const {
  // A text longer than the client library's length field goes as a text
  // that ends at its first NUL: one that holds a NUL would run cut short.
  const std::size_t limit = text.find('\0') == std::string::npos ? fb::kMaxEngineStatementText : fb::kMaxStatementText;
  if (text.size() > limit)
    throw EDatabaseError(NamedMessage(name, Fmt("La declaración SQL tiene %s bytes; el máximo es %s"_l1,
                                                std::to_string(text.size()), std::to_string(limit))));
}

void TSQLConnection::RunKeptPrepared(fb::Cursor& cursor, const std::string& sql,
                                     const std::vector<const Variant*>& params, std::vector<Variant>* outputs,
                                     int* rows, int statementType) {
  const Execution execution(*this, sql);

  try {
    // (A detach resets it: a prepared statement is of this attachment.)
    if (!cursor.Prepared() || cursor.Text() != sql || cursor.ParametersDescribed() != !params.empty()) {
      cursor.Reset();
      cursor.UseAttachment(handle_.get());
      cursor.Prepare(sql, outputs != nullptr, params.size(), statementType);
    }
    // Output values of a procedure are not wanted unless asked for: none are
    // described then.
    cursor.Run(&params, false, outputs, rows);
  } catch (const fb::Failure& failure) {
    Raise(failure);
  }
}

// ---------------------------------------------------------------------------
// TTransaction

TTransaction::TTransaction(TSQLConnection& connection, bool whenNeeded) : connection_(connection) {
  connection_.StartTransaction(connection_.IsolationLevel(), whenNeeded);
  active_ = true;
}

TTransaction::~TTransaction() {
  if (!active_ || !connection_.InTransaction()) return;
  try {
    connection_.Rollback();
  } catch (...) {
  }
}

void TTransaction::Commit() {
  if (!std::exchange(active_, false)) return;
  if (connection_.InTransaction()) connection_.Commit();
}

void TTransaction::Rollback() {
  if (!std::exchange(active_, false)) return;
  if (connection_.InTransaction()) connection_.Rollback();
}

// ---------------------------------------------------------------------------
// TSQLQuery

TSQLQuery::TSQLQuery(TComponent* owner, std::string name) : TComponent(owner, std::move(name)) {
  sql_.onChange = [this] {
    Close();
    Unprepare();
  };
}

TSQLQuery::~TSQLQuery() {
  sql_.onChange = nullptr;
  Close();
  Unprepare();
  if (connection_ != nullptr) connection_->UnregisterStatement(this);
}

void TSQLQuery::SetSQLConnection(TSQLConnection* connection) {
  if (connection == connection_) return;
  Close();
  Unprepare();
  if (connection_ != nullptr) connection_->UnregisterStatement(this);
  connection_ = connection;
  if (connection_ != nullptr) {
    connection_->RegisterStatement(this);
    if (MaxBlobSize == 0) MaxBlobSize = connection_->BlobSizeParam();
  }
}

void TSQLQuery::Fail(const fb::Failure& failure) {
  if (cursor_) cursor_->Finish(false);
  Close();
  Unprepare();
  StopPoint();  // a failure of a call that a stop request cancelled
  const std::string message =
      connection_->ComposeError(static_cast<int>(failure.status), failure.text, lastError_);
  connection_->lastError_ = message;
  TServerError server = failure.server;
  server.database = connection_->Params().Value("Database");
  throw EDatabaseError(message, std::move(server));
}

std::string TSQLQuery::PrepareForRun() {
  StopPoint();
  if (connection_ == nullptr) throw EDatabaseError(NamedMessage(Name(), "Falta la propiedad SQLConnection"));
  if (!connection_->Connected()) connection_->SetConnected(true);
  std::string text = CommandText();
  if (std::all_of(text.begin(), text.end(), IsBlankOrControl))
    throw EDatabaseError(NamedMessage(Name(), "No hay ninguna declaración SQL disponible"_l1));
  connection_->CheckStatementText(text, Name());
  return text;
}

void TSQLQuery::Prepare(const std::string& text, bool columns) {
  try {
    if (Prepared()) {
      if (columns && !cursor_->ColumnsDescribed()) cursor_->DescribeColumns();
      return;
    }
    if (connection_->KeepStatements) {
      if (auto kept = connection_->TakeParked(text)) {
        cursor_ = std::move(kept);
        if (columns && !cursor_->ColumnsDescribed()) cursor_->DescribeColumns();
        return;
      }
    }
    if (!cursor_) cursor_ = std::make_unique<fb::Cursor>();
    cursor_->UseAttachment(connection_->handle_.get());
    cursor_->Prepare(text, columns, 0, 0, IsSelectText(text));
  } catch (const fb::Failure& failure) {
    Fail(failure);
  }
}

bool TSQLQuery::Prepared() const noexcept { return cursor_ && cursor_->Prepared(); }

void TSQLQuery::Unprepare() noexcept {
  if (cursor_ && connection_ != nullptr && connection_->KeepStatements && cursor_->Prepared())
    connection_->Park(std::move(cursor_));  // for when its text comes again
  if (cursor_) cursor_->Reset();            // closes, ends its own transaction and drops the handle
  cursorOpen_ = false;
}

void TSQLQuery::Open() {
  if (Active()) return;
  const std::string text = PrepareForRun();
  Prepare(text, true);
  if (!cursor_->ReturnsCursor()) {
    // Nothing is run: a statement without a result is not executed by Open.
    Close();
    Unprepare();
    throw EDatabaseError(NamedMessage(Name(), "Cursor no devuelto por la consulta"));
  }
  cursor_->SetBlobLimit(MaxBlobSize > 0 ? static_cast<long long>(MaxBlobSize) * 1024 : -1);
  try {
    cursor_->Run(nullptr, true, nullptr, nullptr);
  } catch (const fb::Failure& failure) {
    Fail(failure);
  }
  cursorOpen_ = true;
  columns_ = cursor_->Columns();
  rowsAffected_ = 0;
  hasRow_ = false;
  eof_ = false;
  if (FetchRow()) {
    hasRow_ = true;
  } else {
    eof_ = true;
    row_.clear();
  }
}

bool TSQLQuery::FetchRow() {
  StopPoint();
  try {
    return cursor_->Fetch(row_);
  } catch (const fb::Failure& failure) {
    Fail(failure);
  }
}

void TSQLQuery::Next() {
  if (!Active() || eof_) return;
  if (!cursor_->CursorOpen() || !FetchRow()) eof_ = true;
}

void TSQLQuery::Close() noexcept {
  if (cursor_) cursor_->Finish(true);
  cursorOpen_ = false;
  hasRow_ = false;
  eof_ = true;
  columns_.clear();
  row_.clear();
}

int TSQLQuery::ExecSQL() {
  if (Active())
    throw EDatabaseError(NamedMessage(Name(), "No es posible efectuar ésta operación en un DataSet abierto"_l1));
  const std::string text = PrepareForRun();
  // A text run for the first time, across a network, goes as one request;
  // how many rows it changed is then not known (-1).
  if (connection_->KeepStatements && !Prepared() && !HasMarkers(text)) {
    if (std::unique_ptr<fb::Cursor> kept = connection_->TakeParked(text)) {
      cursor_ = std::move(kept);
    } else if (connection_->RunsOnce(text)) {
      try {
        connection_->RunOnce(text, {}, {}, nullptr);
      } catch (const EDatabaseError&) {
        Close();
        throw;
      }
      rowsAffected_ = -1;
      return -1;
    }
  }
  Prepare(text, false);
  // A procedure's output values are not wanted: none are described here (a
  // procedure described by Open was refused and dropped there).
  int rows = 0;
  try {
    cursor_->Run(nullptr, false, nullptr, &rows);
  } catch (const fb::Failure& failure) {
    Fail(failure);
  }
  rowsAffected_ = rows;
  return rows;
}

void TSQLQuery::ConnectionClosing() noexcept {
  Close();
  Unprepare();
}

std::string TSQLTable::CommandText() const { return "select * from " + TableName + "\r\n"; }

}  // namespace dbx
