// Thin owners of the Firebird client library's handles (legacy ISC API).
// Internal to dbaccess: nothing outside this library includes it.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/field.h"
#include "dbaccess/values.h"

namespace dbx {

namespace fb {

// Status returned for failures that the server reports for a statement
// (above the table of fixed status texts, so the message is the server's).
inline constexpr int kStatusServerError = 101;

// A status vector of one call.
struct Status {
  ISC_STATUS_ARRAY v{};
  [[nodiscard]] ISC_STATUS* get() noexcept { return v; }
  [[nodiscard]] bool Failed() const noexcept { return v[0] == 1 && v[1] != 0; }
  // The first error code (isc_*), 0 when the vector holds no error.
  [[nodiscard]] long Code() const noexcept { return Failed() ? static_cast<long>(v[1]) : 0; }
  // The transaction that holds what the failed call wanted (a lock conflict,
  // an update conflict), as the server reports it; 0 when it reports none.
  [[nodiscard]] long ConcurrentTransaction() const noexcept;
  // The client library's interpretation: every message in order, the first
  // unchanged, joined with CR LF. Empty when the vector holds no error.
  [[nodiscard]] std::string Text() const;
};

// Whether an error code says the attachment is gone (the network, the
// server or the database shut down, a cancelled call): nothing more can be
// sent on it, so a statement that failed so is not tried again.
[[nodiscard]] bool IsConnectionLost(long code) noexcept;

// The longest statement text the client library takes.
inline constexpr std::size_t kMaxStatementText = 65535;

// An XSQLDA with its own data and indicator buffers.
class Sqlda {
 public:
  explicit Sqlda(int count = 1) { Resize(count); }
  Sqlda(const Sqlda&) = delete;
  Sqlda& operator=(const Sqlda&) = delete;

  [[nodiscard]] XSQLDA* get() noexcept { return reinterpret_cast<XSQLDA*>(raw_.get()); }
  [[nodiscard]] const XSQLDA* get() const noexcept { return reinterpret_cast<const XSQLDA*>(raw_.get()); }
  [[nodiscard]] int Count() const noexcept { return get()->sqld; }
  [[nodiscard]] XSQLVAR& Var(int i) noexcept { return get()->sqlvar[i]; }
  [[nodiscard]] const XSQLVAR& Var(int i) const noexcept { return get()->sqlvar[i]; }
  // Room for count descriptions, cleared; the described count is kept in sqld.
  void Resize(int count);
  // Descriptions there is room for without reallocating.
  [[nodiscard]] int Capacity() const noexcept { return capacity_; }
  // Points every variable at a buffer large enough for its sqltype/sqllen.
  void AllocateBuffers();
  // Buffer of one variable, sized for n bytes (for parameters).
  char* Buffer(int i, std::size_t bytes);

 private:
  char* Point(int i, std::size_t bytes);

  std::unique_ptr<std::int64_t[]> raw_;
  int capacity_ = 0;  // descriptions raw_ has room for
  std::vector<std::vector<std::int64_t>> buffers_;
  std::vector<short> indicators_;
};

}  // namespace fb

// The handles of one attachment and its transactions.
//
// Statements outside an explicit transaction commit when they complete. In
// read committed (the system's level) they share one transaction kept open on
// the attachment, started with isc_tpb_autocommit: the server commits each
// statement's writes when it completes (with retaining), which costs no
// request of its own. The kept transaction ends with a hard commit when the
// connection detaches, when the caller says it is idle, and every
// kKeptStatements statements, so that it does not hold back the server's
// garbage collection; never while a cursor is open in it. Other levels (a
// kept snapshot would not see later commits), and AutoCommit=False, give
// every statement a transaction of its own.
struct FbConnection {
  static constexpr int kKeptStatements = 1000;

  isc_db_handle db = 0;
  isc_tr_handle explicitTr = 0;  // the explicit transaction, 0 when none (or not started yet)
  isc_tr_handle keptTr = 0;      // the kept transaction, 0 when none
  isc_tr_handle retainedTr = 0;  // an explicit transaction committed with retaining, for its open cursors
  int dialect = 3;
  bool waitOnLocks = true;
  bool commitRetain = false;  // commits keep the transaction's cursors open
  bool trimChar = false;      // CHAR values lose their trailing blanks
  bool autoCommit = true;     // AutoCommit: statements may share the kept transaction
  int isolation = 0;
  int keptCursors = 0;      // cursors open in keptTr
  int keptStatements = 0;   // statements run in keptTr
  int retainedCursors = 0;  // cursors open in retainedTr

  FbConnection() = default;
  FbConnection(const FbConnection&) = delete;
  FbConnection& operator=(const FbConnection&) = delete;
  ~FbConnection();  // rolls back, ends the kept transaction and detaches, ignoring failures

  // Transaction parameter block for an isolation level.
  [[nodiscard]] std::string Tpb(int isolationLevel, bool autocommit = false) const;
  // Starts a transaction; returns false with the status filled on failure
  // (tr is then 0).
  bool Begin(isc_tr_handle& tr, int isolationLevel, fb::Status& st, bool autocommit = false);
  // Ends a transaction with a commit; when that fails it is rolled back, and
  // false returned with the commit's status. tr is 0 afterwards.
  static bool CommitOrRollback(isc_tr_handle& tr, fb::Status& st);
  // Whether statements outside an explicit transaction use the kept one.
  [[nodiscard]] bool KeepsTransaction() const noexcept { return autoCommit && isolation != 1; }
  // The kept transaction, started when there is none.
  bool BeginKept(fb::Status& st);
  // Ends the kept transaction with a hard commit, unless a cursor is open in
  // it; failures end it too (a later statement starts another).
  void EndKept() noexcept;
  // A statement of the kept transaction completed.
  void KeptStatementDone() noexcept;
};

// A prepared statement and, while a cursor is open, its transaction.
struct FbCursor {
  FbConnection* conn = nullptr;
  isc_stmt_handle stmt = 0;
  isc_tr_handle ownTr = 0;      // transaction started for this statement alone
  isc_tr_handle* tr = nullptr;  // the transaction in use (own, kept, explicit or retained)
  int type = 0;                 // isc_info_sql_stmt_*: of a described statement with columns, or after execution
  int params = -1;              // input parameters; -1 while not asked
  bool serverCursorOpen = false;
  bool described = false;   // columns described
  bool selectText = false;  // the text is a SELECT: its type needs no request
  int knownType = 0;        // isc_info_sql_stmt_* the caller knows the text to be; 0 asks
  std::string text;              // the prepared text, when a caller keeps it for re-execution
  bool paramsDescribed = false;  // prepared with its parameters described
  long long blobLimit = -1; // largest blob value read, in bytes; -1 whole
  fb::Sqlda out;
  fb::Sqlda in;
  // The parameters as the server described them: binding changes the
  // variables, and a statement executed again starts from these.
  struct ParamType {
    short sqltype, sqlscale, sqlsubtype, sqllen;
  };
  std::vector<ParamType> inTypes;

  explicit FbCursor(FbConnection* c) : conn(c) {}
  FbCursor(const FbCursor&) = delete;
  FbCursor& operator=(const FbCursor&) = delete;
  ~FbCursor();  // closes and drops, ignoring failures

  // Closes and drops the statement, ignoring failures, and forgets what was
  // known of it; the descriptor buffers stay for the next statement.
  void Reset() noexcept;
  // Allocates and prepares the text; describes its columns (and asks its
  // type) when asked to, and its parameters for a caller with values to bind.
  bool Prepare(const std::string& text, bool columns, std::size_t values, fb::Status& st);
  // Describes the columns of a statement prepared without them (ask), or
  // completes the description the prepare gave; asks the type when there are
  // columns.
  bool DescribeColumns(bool ask, fb::Status& st);
  // After a failed execution: whether the statement has parameters the
  // caller did not bind (the server refuses such an execution unrun).
  bool LacksParameters() noexcept;
  // Uses the explicit transaction when one is open, else the kept one or a
  // transaction of its own.
  bool BeginWork(fb::Status& st);
  // Ends the statement's work: its own transaction commits or rolls back; in
  // the kept one the statement is done (the server committed it).
  bool EndWork(bool commit, fb::Status& st);
  void EndWorkQuietly(bool commit) noexcept;
  // A cursor was opened by the last execution.
  void CursorOpened() noexcept;
  // Closes the server cursor (if open), ignoring failures.
  void CloseCursor() noexcept;
  [[nodiscard]] bool ReturnsCursor() const noexcept;
  // Sum of inserted, updated and deleted rows of the last execution; also
  // reads the statement type.
  bool RowsAffected(int& rows, fb::Status& st);

  // Column descriptions of the prepared statement.
  [[nodiscard]] std::vector<FieldDesc> Columns() const;
  // Values of the fetched row; blobs are read whole.
  bool ReadRow(std::vector<Variant>& row, fb::Status& st);
  // Runs the prepared statement once, in the transaction in force: binds
  // the values (when given; without them, parameters the server wants are
  // reported as not set), executes, and then either keeps the cursor of a
  // statement that returns rows open (keepCursor), or reads the rows
  // affected (when rows is given) and ends the statement's work. outputs,
  // when given, receives the row that comes with the execution (a
  // procedure's or block's values, a singleton row), read before the work
  // ends. Returns 0, or the status to raise (st holds the server's text);
  // after a failure the caller ends the work.
  int Run(const std::vector<const Variant*>* values, bool keepCursor, std::vector<Variant>* outputs, int* rows,
          fb::Status& st);
  // Binds values by position to the input variables.
  // Returns 0, a fixed status (parameter count), or kStatusServerError with st.
  int Bind(const std::vector<const Variant*>& values, fb::Status& st);

 private:
  // Reads statement type, parameter count and (into rows) rows affected
  // from an info request.
  bool Info(const char* items, int count, fb::Status& st, int* rows = nullptr);
};

}  // namespace dbx
