#include "dbaccess/fbclient.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

namespace dbx::fb {

namespace {

// ISC_DATE counts days from 1858-11-17; ISC_TIME ten-thousandths of a second.
const std::int64_t kIscEpoch = DaysFromCivil(Date{1858, 11, 17});
constexpr std::int64_t kTicksPerSecond = 10000;

Date DecodeDate(ISC_DATE d) { return CivilFromDays(kIscEpoch + d); }

Time DecodeTime(ISC_TIME t) {
  const std::int64_t secs = t / kTicksPerSecond;
  return Time{static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60),
              static_cast<int>(t % kTicksPerSecond)};
}

ISC_DATE EncodeDate(const Date& d) { return static_cast<ISC_DATE>(DaysFromCivil(d) - kIscEpoch); }

ISC_TIME EncodeTime(const Time& t) {
  return static_cast<ISC_TIME>(((static_cast<std::int64_t>(t.hour) * 60 + t.minute) * 60 + t.second) * kTicksPerSecond +
                               t.fraction);
}

// Decimal precision from the storage of a scaled integer.
int StoragePrecision(int sqltype) {
  switch (sqltype) {
    case SQL_SHORT:
      return 4;
    case SQL_LONG:
      return 9;
    default:
      return 18;
  }
}

bool IsScaledInteger(const XSQLVAR& v) {
  const int t = v.sqltype & ~1;
  return (t == SQL_SHORT || t == SQL_LONG || t == SQL_INT64) &&
         (v.sqlscale < 0 || v.sqlsubtype == 1 || v.sqlsubtype == 2);
}

std::int64_t ReadInteger(const XSQLVAR& v) {
  switch (v.sqltype & ~1) {
    case SQL_SHORT: {
      ISC_SHORT x;
      std::memcpy(&x, v.sqldata, sizeof x);
      return x;
    }
    case SQL_LONG: {
      ISC_LONG x;
      std::memcpy(&x, v.sqldata, sizeof x);
      return x;
    }
    default: {
      ISC_INT64 x;
      std::memcpy(&x, v.sqldata, sizeof x);
      return x;
    }
  }
}

int InfoInteger(const char* p, int len) { return static_cast<int>(isc_vax_integer(p, static_cast<short>(len))); }

template <typename T>
void Put(Sqlda& da, int i, short sqltype, const T& value, short scale = 0) {
  XSQLVAR& v = da.Var(i);
  v.sqltype = static_cast<short>(sqltype | 1);
  v.sqllen = sizeof(T);
  v.sqlscale = scale;
  v.sqlsubtype = 0;
  char* buf = da.Buffer(i, sizeof(T));
  std::memcpy(buf, &value, sizeof(T));
  *v.sqlind = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Failures

namespace {

bool IsConnectionLost(long code) noexcept {
  switch (code) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_net_connect_err:
    case isc_net_connect_listen_err:
    case isc_lost_db_connection:
    case isc_conn_lost:
    case isc_shutdown:
    case isc_att_shutdown:
    case isc_bad_db_handle:
    case isc_cancelled:
      return true;
    default:
      return false;
  }
}

bool IsLockConflict(long code) noexcept {
  return code == isc_lock_conflict || code == isc_deadlock || code == isc_update_conflict ||
         code == isc_lock_timeout;
}

bool IsConstraint(long code) noexcept {
  return code == isc_unique_key_violation || code == isc_foreign_key || code == isc_check_constraint ||
         code == isc_not_valid || code == isc_no_dup || code == isc_not_valid_for || code == isc_not_valid_for_var;
}

bool IsConversion(long code) noexcept {
  return code == isc_convert_error || code == isc_arith_except || code == isc_string_truncation ||
         code == isc_numeric_out_of_range;
}

}  // namespace

TErrorCategory CategoryOf(const std::vector<long>& codes, const std::string& sqlState) noexcept {
  const auto any = [&codes](bool (*test)(long) noexcept) {
    for (const long c : codes)
      if (test(c)) return true;
    return false;
  };
  if (any(IsConnectionLost)) return TErrorCategory::kConnectionLost;
  if (any(IsLockConflict) || sqlState == "40001") return TErrorCategory::kLockConflict;
  if (any(IsConstraint) || sqlState.starts_with("23")) return TErrorCategory::kConstraint;
  if (any(IsConversion) || sqlState.starts_with("22")) return TErrorCategory::kConversion;
  return TErrorCategory::kOther;
}

std::string Status::Text() const {
  if (!Failed()) return {};
  std::string text;
  const ISC_STATUS* p = v;
  char buffer[1024];
  while (fb_interpret(buffer, sizeof buffer, &p) > 0) {
    if (!text.empty()) text += "\r\n";
    text += buffer;
  }
  return text;
}

TServerError Status::Server() const {
  TServerError e;
  if (!Failed()) return e;
  for (std::size_t i = 0; i + 1 < std::size(v) && v[i] != isc_arg_end;) {
    const ISC_STATUS kind = v[i];
    if (kind == isc_arg_gds) {
      e.codes.push_back(static_cast<long>(v[i + 1]));
      // The transaction named comes as a number, or (Firebird 3) as its text.
      if (v[i + 1] == isc_concurrent_transaction && i + 3 < std::size(v)) {
        if (v[i + 2] == isc_arg_number) e.concurrentTransaction = static_cast<long>(v[i + 3]);
        if (v[i + 2] == isc_arg_string && v[i + 3] != 0)
          e.concurrentTransaction = std::strtol(reinterpret_cast<const char*>(v[i + 3]), nullptr, 10);
      }
    } else if (kind == isc_arg_warning) {
      break;  // the warnings after the error are not part of it
    }
    i += kind == isc_arg_cstring ? 3 : 2;  // a kind and its one value; a counted string has two
  }
  e.sqlCode = isc_sqlcode(v);
  char state[6] = {};
  fb_sqlstate(state, v);
  e.sqlState = state;
  if (e.sqlState == "00000") e.sqlState.clear();
  e.category = CategoryOf(e.codes, e.sqlState);
  return e;
}

void Throw(const Status& st) { throw Failure{TStatus::kServerError, st.Text(), st.Server()}; }

void Throw(TStatus status) { throw Failure{status, {}, {}}; }

// ---------------------------------------------------------------------------
// Handles

Transaction::Transaction(Transaction&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

Transaction& Transaction::operator=(Transaction&& other) noexcept {
  if (this != &other) {
    RollbackQuietly();
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

void Transaction::Start(isc_db_handle* db, const std::string& tpb) {
  RollbackQuietly();
  Status st;
  if (isc_start_transaction(st.get(), &handle_, 1, db, static_cast<unsigned short>(tpb.size()), tpb.data()) != 0) {
    handle_ = 0;
    Throw(st);
  }
}

void Transaction::Commit() {
  if (handle_ == 0) return;
  Status st;
  if (isc_commit_transaction(st.get(), &handle_) == 0) {
    handle_ = 0;
    return;
  }
  Failure failure{TStatus::kServerError, st.Text(), st.Server()};
  RollbackQuietly();
  throw failure;
}

void Transaction::CommitRetaining() {
  Status st;
  Check(isc_commit_retaining(st.get(), &handle_), st);
}

void Transaction::Rollback() {
  if (handle_ == 0) return;
  Status st;
  const ISC_STATUS rc = isc_rollback_transaction(st.get(), &handle_);
  handle_ = 0;
  Check(rc, st);
}

void Transaction::CommitQuietly() noexcept {
  if (handle_ == 0) return;
  Status st;
  if (isc_commit_transaction(st.get(), &handle_) != 0) isc_rollback_transaction(st.get(), &handle_);
  handle_ = 0;
}

void Transaction::RollbackQuietly() noexcept {
  if (handle_ == 0) return;
  Status st;
  isc_rollback_transaction(st.get(), &handle_);
  handle_ = 0;
}

void Statement::Allocate(isc_db_handle* db) {
  Drop();
  Status st;
  if (isc_dsql_allocate_statement(st.get(), db, &handle_) != 0) {
    handle_ = 0;
    Throw(st);
  }
}

void Statement::CloseCursor() noexcept {
  if (handle_ == 0) return;
  Status st;
  isc_dsql_free_statement(st.get(), &handle_, DSQL_close);
}

void Statement::Drop() noexcept {
  if (handle_ == 0) return;
  Status st;
  isc_dsql_free_statement(st.get(), &handle_, DSQL_drop);
  handle_ = 0;
}

Blob::~Blob() {
  if (handle_ == 0) return;
  Status st;
  if (created_)
    isc_cancel_blob(st.get(), &handle_);
  else
    isc_close_blob(st.get(), &handle_);
}

std::string Blob::Read(isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD id, long long limit) {
  Status st;
  created_ = false;
  Check(isc_open_blob2(st.get(), db, tr, &handle_, &id, 0, nullptr), st);
  std::string bytes;
  char chunk[32768];
  bool limited = false;
  for (;;) {
    unsigned short got = 0;
    const ISC_STATUS rc = isc_get_segment(st.get(), &handle_, &got, sizeof chunk, chunk);
    if (rc != 0 && rc != isc_segment) break;
    bytes.append(chunk, got);
    if (limit >= 0 && bytes.size() >= static_cast<std::size_t>(limit)) {
      bytes.resize(static_cast<std::size_t>(limit));
      limited = true;
      break;
    }
  }
  if (!limited && st.v[1] != isc_segstr_eof && st.Failed()) Throw(st);  // the destructor closes it
  const ISC_STATUS rc = isc_close_blob(st.get(), &handle_);
  handle_ = 0;
  Check(rc, st);
  return bytes;
}

ISC_QUAD Blob::Write(isc_db_handle* db, isc_tr_handle* tr, const std::string& bytes) {
  Status st;
  ISC_QUAD id{};
  created_ = true;
  Check(isc_create_blob2(st.get(), db, tr, &handle_, &id, 0, nullptr), st);
  for (std::size_t pos = 0; pos < bytes.size(); pos += 32768) {
    const auto len = static_cast<unsigned short>(std::min<std::size_t>(32768, bytes.size() - pos));
    Check(isc_put_segment(st.get(), &handle_, len, bytes.data() + pos), st);  // the destructor cancels it
  }
  const ISC_STATUS rc = isc_close_blob(st.get(), &handle_);
  handle_ = 0;
  Check(rc, st);
  return id;
}

void Sqlda::Resize(int count) {
  count = std::max(count, 1);
  const std::size_t bytes = XSQLDA_LENGTH(count);
  if (count > capacity_) {
    raw_ = std::make_unique_for_overwrite<std::int64_t[]>((bytes + sizeof(std::int64_t) - 1) / sizeof(std::int64_t));
    capacity_ = count;
  }
  XSQLDA* da = get();
  std::memset(da, 0, bytes);
  da->version = SQLDA_VERSION1;
  da->sqln = static_cast<ISC_SHORT>(count);
  // The data buffers keep their storage for the next statement.
}

char* Sqlda::Buffer(int i, std::size_t bytes) {
  const auto n = static_cast<std::size_t>(Count());
  if (buffers_.size() < n || indicators_.size() < n) AllocateBuffers();
  return Point(i, bytes);
}

void Sqlda::AllocateBuffers() {
  const auto n = static_cast<std::size_t>(Count());
  if (buffers_.size() < n) buffers_.resize(n);
  indicators_.assign(std::max(n, indicators_.size()), 0);
  for (int i = 0; i < Count(); ++i) Point(i, static_cast<std::size_t>(Var(i).sqllen) + 2);
}

char* Sqlda::Point(int i, std::size_t bytes) {
  auto& buf = buffers_[static_cast<std::size_t>(i)];
  buf.assign(bytes / sizeof(std::int64_t) + 2, 0);
  XSQLVAR& v = Var(i);
  v.sqldata = reinterpret_cast<ISC_SCHAR*>(buf.data());
  v.sqlind = &indicators_[static_cast<std::size_t>(i)];
  return v.sqldata;
}

// ---------------------------------------------------------------------------
// Attachment

Attachment::~Attachment() {
  explicit_.RollbackQuietly();
  retained_.CommitQuietly();
  keptCursors_ = 0;
  EndKept();
  if (db_ != 0) {
    Status st;
    isc_detach_database(st.get(), &db_);
  }
}

void Attachment::Attach(const std::string& path, const std::string& dpb) {
  Status st;
  if (isc_attach_database(st.get(), static_cast<short>(std::min<std::size_t>(path.size(), 32767)), path.c_str(), &db_,
                          static_cast<short>(dpb.size()), dpb.data()) != 0) {
    db_ = 0;
    Throw(st);
  }
}

void Attachment::Abandon() noexcept {
  if (db_ == 0) return;
  Status st;
  fb_cancel_operation(st.get(), &db_, fb_cancel_disable);  // a cancel asked for is not pending any more
  explicit_.RollbackQuietly();
  retained_.RollbackQuietly();
  kept_.RollbackQuietly();
  isc_detach_database(st.get(), &db_);
  db_ = 0;
}

std::string Attachment::Tpb(int isolationLevel, bool autocommit) const {
  std::string tpb;
  tpb += static_cast<char>(isc_tpb_version3);
  tpb += static_cast<char>(isc_tpb_write);
  tpb += static_cast<char>(options_.waitOnLocks ? isc_tpb_wait : isc_tpb_nowait);
  if (options_.waitOnLocks && options_.lockTimeout > 0) {
    tpb += static_cast<char>(isc_tpb_lock_timeout);
    tpb += static_cast<char>(4);
    for (int shift = 0; shift < 32; shift += 8) tpb += static_cast<char>((options_.lockTimeout >> shift) & 0xFF);
  }
  if (isolationLevel == 1) {
    tpb += static_cast<char>(isc_tpb_concurrency);
  } else {
    // Firebird has no dirty read: read committed serves for both.
    tpb += static_cast<char>(isc_tpb_read_committed);
    tpb += static_cast<char>(isc_tpb_rec_version);
  }
  if (autocommit) tpb += static_cast<char>(isc_tpb_autocommit);
  return tpb;
}

void Attachment::Start(Transaction& tr, int isolationLevel, bool autocommit) {
  tr.Start(&db_, Tpb(isolationLevel, autocommit));
}

void Attachment::RetainExplicit(int openCursors) {
  try {
    explicit_.CommitRetaining();
  } catch (...) {
    explicit_.RollbackQuietly();
    throw;
  }
  retained_ = std::move(explicit_);
  retainedCursors_ = openCursors;
}

void Attachment::EndKept() noexcept {
  if (!kept_.Active() || keptCursors_ > 0) return;
  // Everything it wrote is committed already: the commit only ends it.
  kept_.CommitQuietly();
  keptStatements_ = 0;
}

void Attachment::KeptStatementDone() noexcept {
  if (++keptStatements_ >= kKeptStatements) EndKept();
}

isc_tr_handle* Attachment::BeginWork(Work& work, Transaction& own) {
  if (work != Work::kNone) return HandleOf(work, own);
  if (explicit_.Active()) {
    work = Work::kExplicit;
  } else if (KeepsTransaction()) {
    if (!kept_.Active()) {
      keptStatements_ = 0;
      keptCursors_ = 0;
      Start(kept_, options_.isolation, true);
    }
    work = Work::kKept;
  } else {
    Start(own, options_.isolation);
    work = Work::kOwn;
  }
  return HandleOf(work, own);
}

isc_tr_handle* Attachment::HandleOf(Work work, Transaction& own) noexcept {
  switch (work) {
    case Work::kOwn:
      return own.Handle();
    case Work::kKept:
      return kept_.Handle();
    case Work::kExplicit:
      return explicit_.Handle();
    case Work::kRetained:
      return retained_.Handle();
    case Work::kNone:
      break;
  }
  return nullptr;
}

void Attachment::EndWork(Work& work, Transaction& own, bool commit) {
  const Work ended = std::exchange(work, Work::kNone);
  switch (ended) {
    case Work::kKept:
      KeptStatementDone();
      return;
    case Work::kRetained:
      // The last cursor of a transaction committed with retaining ends it.
      if (--retainedCursors_ <= 0 && retained_.Active()) {
        retainedCursors_ = 0;
        retained_.CommitQuietly();
      }
      return;
    case Work::kOwn:
      if (commit)
        own.Commit();
      else
        own.RollbackQuietly();
      return;
    case Work::kExplicit:
    case Work::kNone:
      return;
  }
}

void Attachment::CursorOpened(Work work) noexcept {
  if (work == Work::kKept) ++keptCursors_;
}

void Attachment::CursorClosed(Work work) noexcept {
  if (work == Work::kKept && keptCursors_ > 0) --keptCursors_;
}

// ---------------------------------------------------------------------------
// Cursor

void Cursor::Reset() noexcept {
  Finish(true);
  statement_.Drop();
  type_ = 0;
  params_ = -1;
  described_ = false;
  select_ = false;
  knownType_ = 0;
  text_.clear();
  paramsDescribed_ = false;
  inTypes_.clear();
}

void Cursor::Prepare(const std::string& text, bool columns, std::size_t values, int knownType, bool select) {
  try {
    statement_.Allocate(attachment_->Db());
    knownType_ = knownType;
    select_ = select;
    BeginWork();
    const auto dialect = static_cast<unsigned short>(attachment_->Options().dialect);
    // Every request goes through the engine's locks, and each description
    // makes it fill a large buffer: the columns are described only for a
    // caller that reads rows (with room for as many as the largest statement
    // before, so that the prepare itself describes most selects), the type
    // is asked then only of a statement with columns that is not a SELECT,
    // and the parameters are described only for a caller with values to
    // bind. Execution reports the type otherwise (RowsAffected).
    out_.Resize(out_.Capacity());
    // A text longer than the client library's length field goes with length
    // 0, as a text that ends at its first NUL (the connection sees to it
    // that it holds none).
    const auto length = static_cast<unsigned short>(text.size() <= kMaxStatementText ? text.size() : 0);
    Status st;
    Check(isc_dsql_prepare(st.get(), Tr(), statement_.Handle(), length, text.c_str(), dialect,
                           columns ? out_.get() : nullptr),
          st);
    in_.Resize(1);
    if (columns) Describe(false);
    if (values > 0 && params_ != 0) {
      in_.Resize(std::max(params_, static_cast<int>(std::min<std::size_t>(values, 1000))));
      Check(isc_dsql_describe_bind(st.get(), statement_.Handle(), dialect, in_.get()), st);
      if (in_.Count() > in_.get()->sqln) {
        in_.Resize(in_.Count());
        Check(isc_dsql_describe_bind(st.get(), statement_.Handle(), dialect, in_.get()), st);
      }
      params_ = in_.Count();
    }
    in_.AllocateBuffers();
    inTypes_.clear();
    for (int i = 0; i < in_.Count(); ++i) {
      const XSQLVAR& v = in_.Var(i);
      inTypes_.push_back({v.sqltype, v.sqlscale, v.sqlsubtype, v.sqllen});
    }
    text_ = text;
    paramsDescribed_ = values > 0;
  } catch (...) {
    Finish(false);
    Reset();
    throw;
  }
}

void Cursor::DescribeColumns() {
  try {
    Describe(true);
  } catch (...) {
    Finish(false);
    throw;
  }
}

void Cursor::Describe(bool ask) {
  const auto dialect = static_cast<unsigned short>(attachment_->Options().dialect);
  Status st;
  if (ask) Check(isc_dsql_describe(st.get(), statement_.Handle(), dialect, out_.get()), st);
  if (out_.Count() > out_.get()->sqln) {
    out_.Resize(out_.Count());
    Check(isc_dsql_describe(st.get(), statement_.Handle(), dialect, out_.get()), st);
  }
  out_.AllocateBuffers();
  described_ = true;
  if (out_.Count() == 0) return;
  if (select_ || knownType_ != 0) {
    // A SELECT always returns a cursor; parameters nobody binds are found
    // when the server refuses the execution (LacksParameters).
    type_ = knownType_ != 0 ? knownType_ : isc_info_sql_stmt_select;
    return;
  }
  const char items[] = {isc_info_sql_stmt_type, isc_info_sql_bind, isc_info_sql_num_variables};
  Info(items, sizeof items);
}

void Cursor::Info(const char* items, int count, int* rows) {
  char buffer[64] = {};
  Status st;
  Check(isc_dsql_sql_info(st.get(), statement_.Handle(), static_cast<short>(count), items, sizeof buffer, buffer), st);
  const char* end = buffer + sizeof buffer;
  for (const char* p = buffer; p + 3 <= end && *p != isc_info_end;) {
    const char item = *p++;
    if (item == isc_info_sql_bind) continue;  // opens the parameter block
    const int len = InfoInteger(p, 2);
    p += 2;
    if (len < 0 || p + len > end) break;
    if (item == isc_info_sql_stmt_type) {
      type_ = InfoInteger(p, len);
    } else if (item == isc_info_sql_num_variables) {
      params_ = InfoInteger(p, len);
    } else if (item == isc_info_sql_records && rows != nullptr) {
      // Counts by kind: code, two-byte length, value.
      for (const char* q = p; q + 3 <= p + len && *q != isc_info_end;) {
        const char code = *q++;
        const int n = InfoInteger(q, 2);
        q += 2;
        if (n < 0 || q + n > p + len) break;
        if (code == isc_info_req_insert_count || code == isc_info_req_update_count || code == isc_info_req_delete_count)
          *rows += InfoInteger(q, n);
        q += n;
      }
    } else {
      break;
    }
    p += len;
  }
}

bool Cursor::LacksParameters() noexcept {
  if (params_ < 0) {
    const char items[] = {isc_info_sql_bind, isc_info_sql_num_variables};
    try {
      Info(items, sizeof items);
    } catch (const Failure&) {
      return false;
    }
  }
  return params_ > 0 && in_.Count() < params_;
}

void Cursor::BeginWork() { attachment_->BeginWork(work_, own_); }

void Cursor::EndWork(bool commit) {
  if (work_ != Work::kNone) attachment_->EndWork(work_, own_, commit);
}

void Cursor::Finish(bool commit) noexcept {
  CloseCursor();
  try {
    EndWork(commit);
  } catch (const Failure&) {
  }
}

void Cursor::CloseCursor() noexcept {
  if (!cursorOpen_) return;
  cursorOpen_ = false;
  attachment_->CursorClosed(work_);
  statement_.CloseCursor();
}

bool Cursor::ReturnsCursor() const noexcept {
  return type_ == isc_info_sql_stmt_select || type_ == isc_info_sql_stmt_select_for_upd;
}

void Cursor::Run(const std::vector<const Variant*>* values, bool keepCursor, std::vector<Variant>* outputs,
                 int* rows) {
  try {
    BeginWork();
    if (values != nullptr)
      Bind(*values);
    else if (params_ > 0)
      Throw(TStatus::kParameterNotSet);
    const XSQLDA* input = values != nullptr && in_.Count() > 0 ? in_.get() : nullptr;
    Status st;
    if (isc_dsql_execute2(st.get(), Tr(), statement_.Handle(), static_cast<unsigned short>(attachment_->Options().dialect),
                          input, outputs != nullptr ? out_.get() : nullptr) != 0) {
      Failure failure{TStatus::kServerError, st.Text(), st.Server()};
      if (LacksParameters()) failure = Failure{TStatus::kParameterNotSet, {}, {}};  // the fixed status says it all
      throw failure;
    }
    if (keepCursor) {
      if (!cursorOpen_) {
        cursorOpen_ = true;
        attachment_->CursorOpened(work_);
      }
      return;
    }
    if (outputs != nullptr) ReadRow(*outputs);
    if (rows != nullptr) {
      *rows = RowsAffected();
      if (ReturnsCursor() && !cursorOpen_) {
        cursorOpen_ = true;
        attachment_->CursorOpened(work_);
      }
    }
    CloseCursor();
    EndWork(true);
  } catch (...) {
    Finish(false);
    throw;
  }
}

bool Cursor::Fetch(std::vector<Variant>& row) {
  try {
    Status st;
    const ISC_STATUS rc = isc_dsql_fetch(st.get(), statement_.Handle(), SQL_DIALECT_CURRENT, out_.get());
    if (rc == 100) {
      // Fully fetched: the statement's own transaction ends here.
      CloseCursor();
      EndWork(true);
      return false;
    }
    Check(rc, st);
    ReadRow(row);
    return true;
  } catch (...) {
    Finish(false);
    throw;
  }
}

int Cursor::RowsAffected() {
  int rows = 0;
  const char items[] = {isc_info_sql_stmt_type, isc_info_sql_records};
  Info(items, sizeof items, &rows);
  return rows;
}

namespace {

// The descriptions of a descriptor's variables.
std::vector<FieldDesc> Descriptions(const Sqlda& da) {
  std::vector<FieldDesc> cols;
  cols.reserve(static_cast<std::size_t>(da.Count()));
  for (int i = 0; i < da.Count(); ++i) {
    const XSQLVAR& v = da.Var(i);
    FieldDesc d;
    d.name = v.aliasname_length > 0 ? std::string(v.aliasname, static_cast<std::size_t>(v.aliasname_length))
                                    : std::string(v.sqlname, static_cast<std::size_t>(v.sqlname_length));
    d.required = (v.sqltype & 1) == 0;
    const int t = v.sqltype & ~1;
    if (IsScaledInteger(v)) {
      d.scale = -v.sqlscale;
      d.precision = std::max(StoragePrecision(t), d.scale);
      d.type = d.precision <= 14 && d.scale <= 4 ? ftBCD : ftFMTBcd;
    } else {
      switch (t) {
        case SQL_TEXT:
          d.type = ftString;
          d.fixedChar = true;
          d.size = v.sqllen;
          break;
        case SQL_VARYING:
          d.type = ftString;
          d.size = v.sqllen;
          break;
        case SQL_SHORT:
          d.type = ftSmallint;
          break;
        case SQL_LONG:
          d.type = ftInteger;
          break;
        case SQL_INT64:
          d.type = ftLargeint;
          break;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
          d.type = ftFloat;
          break;
        case SQL_TYPE_DATE:
          d.type = ftDate;
          break;
        case SQL_TYPE_TIME:
          d.type = ftTime;
          break;
        case SQL_TIMESTAMP:
          d.type = ftTimeStamp;
          break;
        case SQL_BLOB:
          d.type = v.sqlsubtype == 1 ? ftMemo : ftBlob;
          break;
        case SQL_BOOLEAN:
          d.type = ftBoolean;
          break;
        default:
          d.type = ftUnknown;
          break;
      }
    }
    cols.push_back(std::move(d));
  }
  return cols;
}

// A variable of the SQL type of a described value (for an execution
// without a prepared statement).
void Declare(XSQLVAR& v, const FieldDesc& d) {
  v.sqlscale = 0;
  v.sqlsubtype = 0;
  switch (d.type) {
    case ftInteger:
      v.sqltype = SQL_LONG | 1;
      v.sqllen = sizeof(ISC_LONG);
      break;
    case ftString:
      v.sqltype = SQL_VARYING | 1;
      v.sqllen = static_cast<short>(std::max(d.size, 1));
      break;
    default:
      v.sqltype = SQL_TEXT | 1;
      v.sqllen = 1;
      break;
  }
}

}  // namespace

std::vector<FieldDesc> Cursor::Columns() const { return Descriptions(out_); }

std::vector<FieldDesc> Cursor::Parameters() const { return Descriptions(in_); }

void Cursor::RunImmediate(const std::string& text, const std::vector<const Variant*>& values,
                          const std::vector<FieldDesc>& outputTypes, std::vector<Variant>* outputs, short charset) {
  try {
    Reset();
    BeginWork();
    // The values go in the types they have, texts in the attachment's
    // character set, as a literal's.
    in_.Resize(static_cast<int>(values.size()));
    in_.get()->sqld = static_cast<ISC_SHORT>(values.size());
    inTypes_.clear();
    params_ = static_cast<int>(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      XSQLVAR& v = in_.Var(static_cast<int>(i));
      v.sqltype = SQL_TEXT | 1;
      v.sqllen = 0;
      v.sqlsubtype = charset;
      inTypes_.push_back({v.sqltype, v.sqlscale, v.sqlsubtype, v.sqllen});
    }
    in_.AllocateBuffers();
    if (!values.empty()) Bind(values);
    out_.Resize(static_cast<int>(outputTypes.size()));
    out_.get()->sqld = static_cast<ISC_SHORT>(outputTypes.size());
    for (std::size_t i = 0; i < outputTypes.size(); ++i) Declare(out_.Var(static_cast<int>(i)), outputTypes[i]);
    out_.AllocateBuffers();
    const auto length = static_cast<unsigned short>(text.size() <= kMaxStatementText ? text.size() : 0);
    Status st;
    Check(isc_dsql_exec_immed2(st.get(), attachment_->Db(), Tr(), length, text.c_str(),
                               static_cast<unsigned short>(attachment_->Options().dialect),
                               values.empty() ? nullptr : in_.get(), outputs != nullptr ? out_.get() : nullptr),
          st);
    if (outputs != nullptr) ReadRow(*outputs);
    EndWork(true);
    Reset();
  } catch (...) {
    Finish(false);
    Reset();
    throw;
  }
}


void Cursor::ReadRow(std::vector<Variant>& row) {
  row.assign(static_cast<std::size_t>(out_.Count()), Null{});
  for (int i = 0; i < out_.Count(); ++i) {
    const XSQLVAR& v = out_.Var(i);
    if ((v.sqltype & 1) != 0 && *v.sqlind < 0) continue;
    Variant& value = row[static_cast<std::size_t>(i)];
    const int t = v.sqltype & ~1;
    if (IsScaledInteger(v)) {
      const int scale = -v.sqlscale;
      value = Decimal{ReadInteger(v), scale, std::max(StoragePrecision(t), scale)};
      continue;
    }
    switch (t) {
      case SQL_TEXT: {
        std::size_t len = static_cast<std::size_t>(v.sqllen);
        if (attachment_->Options().trimChar)
          while (len > 0 && v.sqldata[len - 1] == ' ') --len;
        value = std::string(v.sqldata, len);
        break;
      }
      case SQL_VARYING: {
        ISC_USHORT len;
        std::memcpy(&len, v.sqldata, sizeof len);
        value = std::string(v.sqldata + sizeof len, len);
        break;
      }
      case SQL_SHORT:
      case SQL_LONG:
      case SQL_INT64:
        value = ReadInteger(v);
        break;
      case SQL_FLOAT: {
        float f;
        std::memcpy(&f, v.sqldata, sizeof f);
        value = static_cast<double>(f);
        break;
      }
      case SQL_DOUBLE:
      case SQL_D_FLOAT: {
        double d;
        std::memcpy(&d, v.sqldata, sizeof d);
        value = d;
        break;
      }
      case SQL_TYPE_DATE: {
        ISC_DATE d;
        std::memcpy(&d, v.sqldata, sizeof d);
        value = DecodeDate(d);
        break;
      }
      case SQL_TYPE_TIME: {
        ISC_TIME tm;
        std::memcpy(&tm, v.sqldata, sizeof tm);
        value = DecodeTime(tm);
        break;
      }
      case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts;
        std::memcpy(&ts, v.sqldata, sizeof ts);
        value = DateTime{DecodeDate(ts.timestamp_date), DecodeTime(ts.timestamp_time)};
        break;
      }
      case SQL_BOOLEAN:
        value = static_cast<std::int64_t>(*v.sqldata != 0 ? 1 : 0);
        break;
      case SQL_BLOB: {
        ISC_QUAD id;
        std::memcpy(&id, v.sqldata, sizeof id);
        Blob blob;
        value = blob.Read(attachment_->Db(), Tr(), id, blobLimit_);
        break;
      }
      default:
        break;  // arrays and unknown types read as null
    }
  }
}


void Cursor::Bind(const std::vector<const Variant*>& values) {
  const int expected = std::max(params_, in_.Count());
  if (static_cast<int>(values.size()) < expected) Throw(TStatus::kParameterNotSet);
  if (static_cast<int>(values.size()) > expected) Throw(TStatus::kInvalidParameter);
  for (int i = 0; i < in_.Count(); ++i) {
    XSQLVAR& v = in_.Var(i);
    if (static_cast<std::size_t>(i) < inTypes_.size()) {
      const ParamType& t = inTypes_[static_cast<std::size_t>(i)];
      v.sqltype = t.sqltype;
      v.sqlscale = t.sqlscale;
      v.sqlsubtype = t.sqlsubtype;
      v.sqllen = t.sqllen;
    }
    const int described = v.sqltype & ~1;
    const Variant& value = *values[static_cast<std::size_t>(i)];
    if (IsNull(value)) {
      v.sqltype = static_cast<short>(described | 1);
      in_.Buffer(i, static_cast<std::size_t>(v.sqllen) + 2);
      *v.sqlind = -1;
    } else if (const auto* n = std::get_if<std::int64_t>(&value)) {
      if (described == SQL_BOOLEAN)
        Put(in_, i, SQL_BOOLEAN, static_cast<FB_BOOLEAN>(*n != 0 ? FB_TRUE : FB_FALSE));
      else
        Put(in_, i, SQL_INT64, static_cast<ISC_INT64>(*n));
    } else if (const auto* d = std::get_if<double>(&value)) {
      Put(in_, i, SQL_DOUBLE, *d);
    } else if (const auto* dec = std::get_if<Decimal>(&value)) {
      Put(in_, i, SQL_INT64, static_cast<ISC_INT64>(dec->unscaled), static_cast<short>(-dec->scale));
    } else if (const auto* date = std::get_if<Date>(&value)) {
      Put(in_, i, SQL_TYPE_DATE, EncodeDate(*date));
    } else if (const auto* time = std::get_if<Time>(&value)) {
      Put(in_, i, SQL_TYPE_TIME, EncodeTime(*time));
    } else if (const auto* dt = std::get_if<DateTime>(&value)) {
      ISC_TIMESTAMP ts{EncodeDate(dt->date), EncodeTime(dt->time)};
      Put(in_, i, SQL_TIMESTAMP, ts);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
      if (described == SQL_BLOB) {
        // Text for a blob goes through a blob of its own.
        Blob blob;
        const ISC_QUAD id = blob.Write(attachment_->Db(), Tr(), *s);
        const short subtype = v.sqlsubtype;
        Put(in_, i, SQL_BLOB, id);
        v.sqlsubtype = subtype;
      } else {
        if (s->size() > 32765) Throw(TStatus::kInvalidLength);
        const short charset = described == SQL_TEXT || described == SQL_VARYING ? v.sqlsubtype : 0;
        v.sqltype = SQL_TEXT | 1;
        v.sqllen = static_cast<short>(s->size());
        v.sqlscale = 0;
        v.sqlsubtype = charset;
        char* buf = in_.Buffer(i, s->size());
        if (!s->empty()) std::memcpy(buf, s->data(), s->size());
        *v.sqlind = 0;
      }
    }
  }
}

}  // namespace dbx::fb
