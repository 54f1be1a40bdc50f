// Connections and statements over the Firebird client library.
// One thread only: every call runs to its end on the caller's thread and
// either returns or raises EDatabaseError with the exact message texts.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "dbaccess/component.h"
#include "dbaccess/errors.h"
#include "dbaccess/field.h"
#include "dbaccess/stop.h"
#include "dbaccess/strings.h"
#include "dbaccess/values.h"

namespace dbx {

class TSQLQuery;
namespace fb {
class Attachment;  // client library handles of an attachment
class Cursor;      // and of a prepared statement
struct Failure;
}  // namespace fb

// Connection states.
enum : int { csClosed = 0, csOpen = 1, csConnecting = 2, csExecuting = 3, csDisconnecting = 5 };
// Isolation levels.
enum : int { xilReadCommitted = 0, xilRepeatableRead = 1, xilDirtyRead = 2 };

// Makes the process's character type (LC_CTYPE) a UTF-8 one when it is not,
// as the client library needs to open files named in UTF-8; the other locale
// categories stay. Done once, before the first attach; call it earlier where
// the client library is used outside this layer.
void PrepareClientLibrary();

// The attachment string with a TCP port written into it (host/port:path,
// inet://host:port/path); a string without a host, or with a port, stays.
[[nodiscard]] std::string WithServerPort(const std::string& database, const std::string& port);

// A positional parameter of a connection-level execute.
struct Param {
  TFieldType type = ftUnknown;
  Variant value;
};

// Connection parameters, read at every attach (names without regard to case):
//   Database (trimmed), User_Name, Password    the attach; user and password untrimmed
//   RoleName, ServerCharSet, SQLDialect        role, character set (when not empty), dialect
//   WaitOnLocks, CommitRetain                  TRUE/other: wait on locks; commits keep open cursors
//   AutoCommit                                 absent or TRUE: statements outside an explicit
//                                              transaction share one the server commits after
//                                              each (read committed only); else one each
//   "<DriverName> TransIsolation"              repeatableread / dirtyread / read committed
//   BlobSize                                   blob limit in KB for statements with MaxBlobSize 0
//   "OS Authentication"                        TRUE: trusted authentication
//   "Server Port"                              written into the attachment string
//   "Trim Char"                                TRUE: CHAR values lose their trailing blanks
//   "Connection Timeout"                       seconds the client library waits for the server
//   "Lock Timeout"                             seconds a statement waits for a lock (WaitOnLocks)
//   LocaleCode                                 read by client datasets
// HostName, BlockingMode, "Multiple Transaction", "Custom String", RowsetSize
// and ErrorResourceFile have no counterpart in the Firebird client library
// (the host is part of Database; calls are synchronous; the library fetches
// as many rows per request as its buffer holds; its message file is chosen
// for the whole process by FIREBIRD_MSG) and are not used.
class TSQLConnection : public TComponent, public TLiveConnection {
 public:
  TSQLConnection(TComponent* owner, std::string name);
  ~TSQLConnection() override;  // detaches; never throws

  // Fixed loading properties.
  std::string ConnectionName;
  std::string DriverName = "Interbase";
  std::string GetDriverFunc = "getSQLDriverINTERBASE";
  std::string LibraryName = "dbexpint.dll";
  std::string VendorLib = "GDS32.DLL";
  bool LoginPrompt = false;
  // A connection stays attached when its statements close (it keeps its
  // connection always).
  // For a stream sent in chunks (the run sets it): a statement text that
  // comes again on the attachment keeps its prepared statement, and, across
  // a network, one run for the first time goes as one request. Off, every
  // statement is prepared and executed as it comes.
  bool KeepStatements = false;
  // The client library's compression of what crosses the network.
  bool WireCompression = false;

  [[nodiscard]] TStringList& Params() noexcept { return params_; }
  [[nodiscard]] const TStringList& Params() const noexcept { return params_; }

  [[nodiscard]] bool Connected() const noexcept { return state_ == csOpen || state_ == csExecuting; }
  // true attaches (nothing when already connected); false detaches.
  void SetConnected(bool value);
  void Open() { SetConnected(true); }
  void Close() { SetConnected(false); }
  [[nodiscard]] int ConnectionState() const noexcept { return state_; }

  // Identifier quote character reported at attach ("\"" with dialect 3).
  [[nodiscard]] const std::string& QuoteChar() const noexcept { return quoteChar_; }
  [[nodiscard]] int IsolationLevel() const noexcept { return isolation_; }
  [[nodiscard]] int TransactionCount() const noexcept { return transactionCount_; }
  [[nodiscard]] bool InTransaction() const noexcept { return transactionCount_ > 0; }
  [[nodiscard]] const std::string& LastError() const noexcept { return lastError_; }
  // The blob size limit in kilobytes (-1: none): as read at the last attach,
  // and as the parameter list says now.
  [[nodiscard]] int BlobSize() const noexcept { return blobSize_; }
  [[nodiscard]] int BlobSizeParam() const;

  // The explicit transaction. While it is open every statement of this
  // connection runs inside it; otherwise each statement commits on completion.
  // whenNeeded: the transaction is open for the layer (TransactionCount 1)
  // and reaches the server only at MaterializeTransaction; until then
  // statements run as outside it. For work whose one statement leaves the
  // same database committed or not (an apply of one row).
  void StartTransaction(int isolationLevel, bool whenNeeded = false);
  void MaterializeTransaction();
  // With CommitRetain, a commit keeps the transaction for the cursors open
  // in it until they close.
  void Commit();
  void Rollback();
  // Nothing more is coming for a while (a dialog waits, a handler ended):
  // the transaction kept for statements ends, unless a cursor is open in it.
  void EndIdleWork() noexcept override;
  // For a stop: rolls back every transaction and detaches, ignoring failures;
  // the objects on the connection are left as they are (the process ends).
  void Abandon() noexcept override;

  // Prepares and runs a text with positional "?" parameters; returns the rows
  // affected. The state reads executing during the call, open afterwards.
  int Execute(const std::string& sql, const std::vector<Param>& params);
  // The same with the values read in place (a dataset's row).
  int ExecuteRow(const std::string& sql, const std::vector<const Variant*>& values);

  // Runs a block whose one row of outputs, of the given types, comes with
  // its execution (a selectable block that returns one row), and returns that row; the values bind to its
  // "?" parameters. The last texts stay prepared while they come again.
  // once: the text is not likely to come again, and the values bind in
  // their own types (no parameter needs its declared type to bind); then,
  // across a network, a text the attachment has not seen goes as one
  // request, without a statement of its own.
  std::vector<Variant> ExecuteBlock(const std::string& sql, const std::vector<const Variant*>& values,
                                    const std::vector<FieldDesc>& outputs, bool once);
  // Frees the statements ExecuteBlock keeps prepared (the server's memory
  // for them), when their texts will not come again.
  void ReleaseKeptStatements() noexcept;
  // The parameters of a statement as the server describes them; kept for
  // the attachment.
  [[nodiscard]] std::vector<FieldDesc> DescribeParameters(const std::string& sql);
  // The character set the attachment names (ServerCharSet), that of a
  // literal in its statements: NONE when it names none.
  [[nodiscard]] std::string CharacterSet() const;
  // Whether the attachment string names a server (host:path and the like)
  // rather than a file the engine in this process opens.
  [[nodiscard]] bool IsRemote() const noexcept { return remote_; }

  // Raises EDatabaseError composed from a status and the failing handle's
  // server text (empty when none), storing it as the last error; the
  // server's identity of the failure goes with it.
  [[noreturn]] void RaiseError(int status, const std::string& serverText, TServerError server = {});
  // Composes the message as above without raising.
  [[nodiscard]] std::string ComposeError(int status, const std::string& serverText, std::string& lastError) const;

  // Internals shared with statements.
  void RegisterStatement(TSQLQuery* query);
  void UnregisterStatement(TSQLQuery* query);

 private:
  friend class TSQLQuery;
  void Attach();
  void Detach() noexcept;
  [[noreturn]] void Raise(const fb::Failure& failure);
  // A statement text the client library cannot take whole is refused (it
  // would run a different statement).
  void CheckStatementText(const std::string& text, const std::string& name) const;
  // A connection-level execution (attach when needed, the text checked, the
  // state executing while it lasts).
  class Execution;
  // Prepares the text on the cursor unless it is prepared already, and runs
  // it with the values: outputs or rows affected as asked.
  void RunKeptPrepared(fb::Cursor& cursor, const std::string& sql, const std::vector<const Variant*>& params,
                       std::vector<Variant>* outputs, int* rows, int statementType = 0);
  void EndTransaction(bool commit);
  // Commits the explicit transaction with retaining when cursors are open in
  // it, which then go on in the retained one; false (nothing done) when none is.
  bool RetainForOpenCursors();
  // Closes the statements whose cursor runs in the explicit transaction.
  void CloseStatementsInTransaction() noexcept;
  // With KeepStatements: a statement's prepared text put aside for when it
  // comes again, and taken back (nullptr when none is kept).
  void Park(std::unique_ptr<fb::Cursor> cursor) noexcept;
  std::unique_ptr<fb::Cursor> TakeParked(const std::string& text);
  // Whether a text goes as one request: across a network, in the character
  // set NONE, the first time the attachment sees it (it has seen it now).
  bool RunsOnce(const std::string& text);
  // A text run as one request (its values bound in their own types).
  void RunOnce(const std::string& sql, const std::vector<const Variant*>& values, const std::vector<FieldDesc>& outputs,
               std::vector<Variant>* row);

  TStringList params_;
  int state_ = csClosed;
  std::string quoteChar_;
  int isolation_ = xilReadCommitted;
  int transactionCount_ = 0;
  int explicitIsolation_ = xilReadCommitted;
  int blobSize_ = -1;
  std::string lastError_;
  std::unique_ptr<fb::Attachment> handle_;
  std::unique_ptr<fb::Cursor> execCursor_;                // reused by Execute
  std::array<std::unique_ptr<fb::Cursor>, 4> blockCursors_;  // ExecuteBlock's, most recent first
  std::unique_ptr<fb::Cursor> onceCursor_;                  // a text run as one request
  std::vector<std::unique_ptr<fb::Cursor>> parked_;         // statements' prepared texts, most recent last
  std::unordered_set<std::size_t> seen_;                    // texts run on the attachment (hashes)
  std::map<std::string, std::vector<FieldDesc>> parameters_;  // DescribeParameters'
  bool remote_ = false;
  std::vector<TSQLQuery*> statements_;
};

// The owner of an explicit transaction of a connection: starts it (read at
// the connection's isolation level; whenNeeded as StartTransaction says),
// and rolls it back when it goes without a Commit, as when an exception
// passes; a failure of that roll back is ignored (the exception goes on).
class TTransaction {
 public:
  explicit TTransaction(TSQLConnection& connection, bool whenNeeded = false);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;

  void Commit();
  void Rollback();

 private:
  TSQLConnection& connection_;
  bool active_ = false;  // started here and not ended here yet
};

// A statement bound to a connection.
class TSQLQuery : public TComponent {
 public:
  TSQLQuery(TComponent* owner, std::string name);
  ~TSQLQuery() override;

  // Any change of the text closes the statement and discards its preparation.
  [[nodiscard]] TStringList& SQL() noexcept { return sql_; }
  [[nodiscard]] const TStringList& SQL() const noexcept { return sql_; }
  [[nodiscard]] TSQLConnection* SQLConnection() const noexcept { return connection_; }
  // Binding a statement whose MaxBlobSize is 0 gives it the connection's BlobSize.
  void SetSQLConnection(TSQLConnection* connection);
  // Largest blob value fetched, in kilobytes; -1 (or 0) fetches blobs whole.
  int MaxBlobSize = -1;

  // Runs a statement that returns rows and positions on the first row.
  void Open();
  void Close() noexcept;
  [[nodiscard]] bool Active() const noexcept { return cursor_ != nullptr && cursorOpen_; }
  // True when the open statement has no current row.
  [[nodiscard]] bool IsEmpty() const noexcept { return !hasRow_; }
  [[nodiscard]] bool Eof() const noexcept { return eof_; }
  // Moves to the next row; at the end sets Eof and keeps the last row.
  void Next();
  // Prepared execution of a statement that returns no rows; the rows affected.
  int ExecSQL();
  [[nodiscard]] int RowsAffected() const noexcept { return rowsAffected_; }

  // Column descriptions of the open result and the values of the current row.
  [[nodiscard]] const std::vector<FieldDesc>& Columns() const noexcept { return columns_; }
  [[nodiscard]] const std::vector<Variant>& Row() const noexcept { return row_; }
  // Moves the current row's values out (into a provider's packet); Row() is
  // empty until the next row is fetched.
  [[nodiscard]] std::vector<Variant> TakeRow() noexcept {
    std::vector<Variant> row;
    row.swap(row_);
    return row;
  }

  // The statement's text: every line of SQL followed by CR LF.
  [[nodiscard]] virtual std::string CommandText() const { return sql_.Text(); }

  // Called by the connection when it detaches.
  void ConnectionClosing() noexcept;

 private:
  friend class TSQLConnection;
  // Attaches when needed and checks the text; returns the text to prepare.
  std::string PrepareForRun();
  // Prepares once; columns are described for Open.
  void Prepare(const std::string& text, bool columns);
  [[nodiscard]] bool Prepared() const noexcept;
  // Drops the statement; the cursor object and its buffers stay for the next.
  void Unprepare() noexcept;
  [[noreturn]] void Fail(const fb::Failure& failure);
  bool FetchRow();

  TStringList sql_;
  TSQLConnection* connection_ = nullptr;
  std::unique_ptr<fb::Cursor> cursor_;
  bool cursorOpen_ = false;
  bool hasRow_ = false;
  bool eof_ = true;
  int rowsAffected_ = 0;
  std::string lastError_;
  std::vector<FieldDesc> columns_;
  std::vector<Variant> row_;
};

// A statement that reads a whole table: "select * from " + TableName.
class TSQLTable : public TSQLQuery {
 public:
  using TSQLQuery::TSQLQuery;
  std::string TableName;
  bool GetMetadata = false;
  [[nodiscard]] std::string CommandText() const override;
};

}  // namespace dbx
