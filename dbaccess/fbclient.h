// Owners of the Firebird client library's handles (legacy ISC API): a
// transaction, a statement and a blob each have one owner that releases it
// in its destructor and never throws there; an attachment owns its
// transactions; a cursor owns its statement and knows which transaction its
// work runs in. A failing call throws fb::Failure, the layer's one internal
// failure, which the connection's public face turns into the message of the
// system's exceptions.
// Internal to dbaccess: nothing outside this library includes it.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/errors.h"
#include "dbaccess/field.h"
#include "dbaccess/values.h"

namespace dbx::fb {

// A status vector of one call.
struct Status {
  ISC_STATUS_ARRAY v{};
  [[nodiscard]] ISC_STATUS* get() noexcept { return v; }
  [[nodiscard]] bool Failed() const noexcept { return v[0] == 1 && v[1] != 0; }
  // The client library's interpretation: every message in order, the first
  // unchanged, joined with CR LF. Empty when the vector holds no error.
  [[nodiscard]] std::string Text() const;
  // The codes, SQLCODE, SQLSTATE, the transaction named and the category.
  [[nodiscard]] TServerError Server() const;
};

// The category of a failure from its codes and SQLSTATE.
[[nodiscard]] TErrorCategory CategoryOf(const std::vector<long>& codes, const std::string& sqlState) noexcept;

// The layer's internal failure: the status to report and, for a failure of
// the client library, the server's text and identity, read at once (the
// strings of a status vector do not outlive the library's next call).
struct Failure {
  TStatus status = TStatus::kServerError;
  std::string text;
  TServerError server;
};
[[noreturn]] void Throw(const Status& st);
[[noreturn]] void Throw(TStatus status);
// Throws the status's failure when a call did not return 0.
inline void Check(ISC_STATUS rc, const Status& st) {
  if (rc != 0) Throw(st);
}

// The longest statement text the client library takes with its length, and
// the longest the engine takes at all (passed with length 0, as a text that
// ends at its first NUL).
inline constexpr std::size_t kMaxStatementText = 65535;
inline constexpr std::size_t kMaxEngineStatementText = 10 * 1024 * 1024;

// A transaction handle.
class Transaction {
 public:
  Transaction() = default;
  Transaction(Transaction&& other) noexcept;
  Transaction& operator=(Transaction&& other) noexcept;
  ~Transaction() { RollbackQuietly(); }

  [[nodiscard]] bool Active() const noexcept { return handle_ != 0; }
  [[nodiscard]] isc_tr_handle* Handle() noexcept { return &handle_; }
  void Start(isc_db_handle* db, const std::string& tpb);
  // Ends with a commit; when the commit fails, the transaction is rolled
  // back and the commit's failure thrown.
  void Commit();
  // Commits and goes on (the cursors open in it stay open).
  void CommitRetaining();
  void Rollback();
  void CommitQuietly() noexcept;
  void RollbackQuietly() noexcept;

 private:
  isc_tr_handle handle_ = 0;
};

// A statement handle.
class Statement {
 public:
  Statement() = default;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { Drop(); }

  [[nodiscard]] bool Allocated() const noexcept { return handle_ != 0; }
  [[nodiscard]] isc_stmt_handle* Handle() noexcept { return &handle_; }
  void Allocate(isc_db_handle* db);
  // Closes an open server cursor, ignoring failures.
  void CloseCursor() noexcept;
  void Drop() noexcept;

 private:
  isc_stmt_handle handle_ = 0;
};

// A blob handle: read whole, or created from bytes.
class Blob {
 public:
  Blob() = default;
  Blob(const Blob&) = delete;
  Blob& operator=(const Blob&) = delete;
  ~Blob();  // an unfinished blob is cancelled or closed, ignoring failures

  // The bytes of a blob, at most limit of them (limit < 0: all).
  std::string Read(isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD id, long long limit);
  // A new blob holding the bytes; its id.
  ISC_QUAD Write(isc_db_handle* db, isc_tr_handle* tr, const std::string& bytes);

 private:
  isc_blob_handle handle_ = 0;
  bool created_ = false;
};

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

// Which transaction a statement's work runs in.
enum class Work {
  kNone,      // no work in progress
  kOwn,       // a transaction started for this statement alone
  kKept,      // the attachment's kept transaction
  kExplicit,  // the explicit transaction
  kRetained,  // an explicit transaction committed with retaining, for its open cursors
};

// How the attachment behaves, from the connection's parameters.
struct AttachmentOptions {
  int dialect = 3;
  bool waitOnLocks = true;
  int lockTimeout = 0;        // seconds a wait on a lock lasts at most; 0 none
  bool commitRetain = false;  // commits keep the transaction's cursors open
  bool trimChar = false;      // CHAR values lose their trailing blanks
  bool autoCommit = true;     // statements may share the kept transaction
  int isolation = 0;
};

// One attachment and its transactions.
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
class Attachment {
 public:
  static constexpr int kKeptStatements = 1000;

  explicit Attachment(const AttachmentOptions& options) : options_(options) {}
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  // Ends every transaction (the explicit one rolled back, the others
  // committed) and detaches, ignoring failures.
  ~Attachment();

  void Attach(const std::string& path, const std::string& dpb);
  [[nodiscard]] isc_db_handle* Db() noexcept { return &db_; }
  [[nodiscard]] const AttachmentOptions& Options() const noexcept { return options_; }
  // Rolls every transaction back and detaches, ignoring failures (a stop).
  void Abandon() noexcept;

  // The transaction parameter block for an isolation level.
  [[nodiscard]] std::string Tpb(int isolationLevel, bool autocommit = false) const;
  void Start(Transaction& tr, int isolationLevel, bool autocommit = false);

  // The explicit transaction.
  [[nodiscard]] bool HasExplicit() const noexcept { return explicit_.Active(); }
  void StartExplicit(int isolationLevel) { Start(explicit_, isolationLevel); }
  void CommitExplicit() { explicit_.Commit(); }
  void RollbackExplicit() { explicit_.Rollback(); }
  // Commits the explicit transaction with retaining, for the given number of
  // cursors open in it, which then go on in it as the retained transaction.
  void RetainExplicit(int openCursors);
  [[nodiscard]] bool HasRetained() const noexcept { return retained_.Active(); }

  // Whether statements outside an explicit transaction use the kept one.
  [[nodiscard]] bool KeepsTransaction() const noexcept { return options_.autoCommit && options_.isolation != 1; }
  // Ends the kept transaction with a hard commit, unless a cursor is open in
  // it; failures end it too (a later statement starts another).
  void EndKept() noexcept;

  // A statement's work: the transaction it runs in, started when needed.
  isc_tr_handle* BeginWork(Work& work, Transaction& own);
  [[nodiscard]] isc_tr_handle* HandleOf(Work work, Transaction& own) noexcept;
  // The work ends: its own transaction commits (or rolls back); in the kept
  // one the statement is done; the last cursor of the retained one ends it.
  void EndWork(Work& work, Transaction& own, bool commit);
  void CursorOpened(Work work) noexcept;
  void CursorClosed(Work work) noexcept;

 private:
  void KeptStatementDone() noexcept;

  AttachmentOptions options_;
  isc_db_handle db_ = 0;
  Transaction explicit_;
  Transaction kept_;
  Transaction retained_;
  int keptCursors_ = 0;      // cursors open in the kept transaction
  int keptStatements_ = 0;   // statements run in it
  int retainedCursors_ = 0;  // cursors open in the retained one
};

// A prepared statement and, while a cursor is open, its work.
class Cursor {
 public:
  explicit Cursor(Attachment* attachment = nullptr) : attachment_(attachment) {}
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;
  ~Cursor() { Reset(); }

  // Closes and drops the statement, ignoring failures, and forgets what was
  // known of it; the descriptor buffers stay for the next statement.
  void Reset() noexcept;
  // The attachment of the next statement (after a Reset).
  void UseAttachment(Attachment* attachment) noexcept { attachment_ = attachment; }
  [[nodiscard]] Attachment* OnAttachment() const noexcept { return attachment_; }

  // Allocates and prepares the text; describes its columns (and asks its
  // type) when asked to, and its parameters for a caller with values to
  // bind. knownType (isc_info_sql_stmt_*) spares asking the server; select
  // says the text is a SELECT. The text is kept for re-execution.
  void Prepare(const std::string& text, bool columns, std::size_t values, int knownType = 0, bool select = false);
  [[nodiscard]] bool Prepared() const noexcept { return statement_.Allocated(); }
  [[nodiscard]] const std::string& Text() const noexcept { return text_; }
  [[nodiscard]] bool ParametersDescribed() const noexcept { return paramsDescribed_; }
  [[nodiscard]] bool ColumnsDescribed() const noexcept { return described_; }
  // Describes the columns of a statement prepared without them.
  void DescribeColumns();
  // Largest blob value read, in bytes; -1 whole.
  void SetBlobLimit(long long bytes) noexcept { blobLimit_ = bytes; }

  // Runs the prepared statement once, in the transaction in force: binds the
  // values (when given; without them, parameters the server wants are
  // reported as not set), executes, and then either keeps the cursor of a
  // statement that returns rows open (keepCursor), or reads the rows affected
  // (when rows is given) and ends the statement's work. outputs, when given,
  // receives the row that comes with the execution (a procedure's or block's
  // values, a singleton row), read before the work ends. After a failure the
  // work is ended (rolled back when its own) and the cursor closed.
  void Run(const std::vector<const Variant*>* values, bool keepCursor, std::vector<Variant>* outputs, int* rows);
  // Fetches the next row of the open cursor into row; false at the end,
  // where the cursor closes and the work ends.
  bool Fetch(std::vector<Variant>& row);
  // Closes the server cursor (if open) and ends the work, ignoring failures.
  void Finish(bool commit) noexcept;
  [[nodiscard]] bool CursorOpen() const noexcept { return cursorOpen_; }
  [[nodiscard]] Work CurrentWork() const noexcept { return work_; }
  // The work is now in the retained transaction (the explicit one was
  // committed with retaining while this cursor was open).
  void MoveToRetained() noexcept { work_ = Work::kRetained; }
  [[nodiscard]] bool ReturnsCursor() const noexcept;
  // Column descriptions of the prepared statement, and of its parameters
  // (prepared for values).
  [[nodiscard]] std::vector<FieldDesc> Columns() const;
  [[nodiscard]] std::vector<FieldDesc> Parameters() const;
  // Runs a text as one request, without a statement of its own (nothing of
  // it is kept): the values bound in their own types, a text as one of the
  // given character set; outputs, when given, receive the one row of the
  // given types that comes with the execution.
  void RunImmediate(const std::string& text, const std::vector<const Variant*>& values,
                    const std::vector<FieldDesc>& outputTypes, std::vector<Variant>* outputs, short charset);

 private:
  void Describe(bool ask);
  void BeginWork();
  void EndWork(bool commit);
  void CloseCursor() noexcept;
  bool LacksParameters() noexcept;
  void Info(const char* items, int count, int* rows = nullptr);
  [[nodiscard]] int RowsAffected();
  void ReadRow(std::vector<Variant>& row);
  // Binds values by position to the input variables.
  void Bind(const std::vector<const Variant*>& values);
  [[nodiscard]] isc_tr_handle* Tr() noexcept { return attachment_->HandleOf(work_, own_); }

  Attachment* attachment_;
  Statement statement_;
  Transaction own_;  // started for this statement alone
  Work work_ = Work::kNone;
  std::string text_;
  int type_ = 0;     // isc_info_sql_stmt_*: of a described statement with columns, or after execution
  int params_ = -1;  // input parameters; -1 while not asked
  bool cursorOpen_ = false;
  bool described_ = false;  // columns described
  bool select_ = false;     // the text is a SELECT: its type needs no request
  int knownType_ = 0;
  bool paramsDescribed_ = false;
  long long blobLimit_ = -1;
  Sqlda out_;
  Sqlda in_;
  // The parameters as the server described them: binding changes the
  // variables, and a statement executed again starts from these.
  struct ParamType {
    short sqltype, sqlscale, sqlsubtype, sqllen;
  };
  std::vector<ParamType> inTypes_;
};

}  // namespace dbx::fb
