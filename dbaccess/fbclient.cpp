#include "dbaccess/fbclient.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace dbx {

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
void Put(fb::Sqlda& da, int i, short sqltype, const T& value, short scale = 0) {
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

namespace fb {

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

long Status::ConcurrentTransaction() const noexcept {
  if (!Failed()) return 0;
  for (std::size_t i = 0; i + 1 < std::size(v) && v[i] != isc_arg_end;) {
    const ISC_STATUS kind = v[i];
    // The number comes as a number, or (Firebird 3) as its text.
    if (kind == isc_arg_gds && v[i + 1] == isc_concurrent_transaction && i + 3 < std::size(v)) {
      if (v[i + 2] == isc_arg_number) return static_cast<long>(v[i + 3]);
      if (v[i + 2] == isc_arg_string && v[i + 3] != 0)
        return std::strtol(reinterpret_cast<const char*>(v[i + 3]), nullptr, 10);
    }
    i += kind == isc_arg_cstring ? 3 : 2;  // a kind and its one value; a counted string has two
  }
  return 0;
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

}  // namespace fb

// ---------------------------------------------------------------------------

FbConnection::~FbConnection() {
  fb::Status st;
  if (explicitTr != 0) isc_rollback_transaction(st.get(), &explicitTr);
  if (retainedTr != 0) isc_commit_transaction(st.get(), &retainedTr);
  keptCursors = 0;
  EndKept();
  if (db != 0) isc_detach_database(st.get(), &db);
}

std::string FbConnection::Tpb(int isolationLevel, bool autocommit) const {
  std::string tpb;
  tpb += static_cast<char>(isc_tpb_version3);
  tpb += static_cast<char>(isc_tpb_write);
  tpb += static_cast<char>(waitOnLocks ? isc_tpb_wait : isc_tpb_nowait);
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

bool FbConnection::Begin(isc_tr_handle& tr, int isolationLevel, fb::Status& st, bool autocommit) {
  const std::string tpb = Tpb(isolationLevel, autocommit);
  tr = 0;
  if (isc_start_transaction(st.get(), &tr, 1, &db, static_cast<unsigned short>(tpb.size()), tpb.data()) == 0)
    return true;
  tr = 0;
  return false;
}

bool FbConnection::CommitOrRollback(isc_tr_handle& tr, fb::Status& st) {
  const bool committed = isc_commit_transaction(st.get(), &tr) == 0;
  if (!committed) {
    fb::Status ignored;
    isc_rollback_transaction(ignored.get(), &tr);
  }
  tr = 0;
  return committed;
}

bool FbConnection::BeginKept(fb::Status& st) {
  if (keptTr != 0) return true;
  keptStatements = 0;
  keptCursors = 0;
  return Begin(keptTr, isolation, st, true);
}

void FbConnection::EndKept() noexcept {
  if (keptTr == 0 || keptCursors > 0) return;
  // Everything it wrote is committed already: the commit only ends it.
  fb::Status st;
  CommitOrRollback(keptTr, st);
  keptStatements = 0;
}

void FbConnection::KeptStatementDone() noexcept {
  if (++keptStatements >= kKeptStatements) EndKept();
}

// ---------------------------------------------------------------------------

FbCursor::~FbCursor() { Reset(); }

void FbCursor::Reset() noexcept {
  CloseCursor();
  EndWorkQuietly(true);
  fb::Status st;
  if (stmt != 0) isc_dsql_free_statement(st.get(), &stmt, DSQL_drop);
  stmt = 0;
  type = 0;
  params = -1;
  described = false;
  selectText = false;
  knownType = 0;
  text.clear();
  paramsDescribed = false;
  inTypes.clear();
}

bool FbCursor::Prepare(const std::string& text, bool columns, std::size_t values, fb::Status& st) {
  if (isc_dsql_allocate_statement(st.get(), &conn->db, &stmt) != 0) return false;
  if (!BeginWork(st)) return false;
  const auto dialect = static_cast<unsigned short>(conn->dialect);
  // Every request goes through the engine's locks, and each description
  // makes it fill a large buffer: the columns are described only for a
  // caller that reads rows (with room for as many as the largest statement
  // before, so that the prepare itself describes most selects), the type is
  // asked then only of a statement with columns that is not a SELECT, and the
  // parameters are described only for a caller with values to bind.
  // Execution reports the type otherwise (RowsAffected).
  out.Resize(out.Capacity());
  // (The connection refuses longer texts before they get here.)
  if (isc_dsql_prepare(st.get(), tr, &stmt, static_cast<unsigned short>(std::min(text.size(), fb::kMaxStatementText)),
                       text.data(), dialect, columns ? out.get() : nullptr) != 0)
    return false;
  in.Resize(1);
  if (columns && !DescribeColumns(false, st)) return false;
  if (values > 0 && params != 0) {
    in.Resize(std::max(params, static_cast<int>(std::min<std::size_t>(values, 1000))));
    if (isc_dsql_describe_bind(st.get(), &stmt, dialect, in.get()) != 0) return false;
    if (in.Count() > in.get()->sqln) {
      in.Resize(in.Count());
      if (isc_dsql_describe_bind(st.get(), &stmt, dialect, in.get()) != 0) return false;
    }
    params = in.Count();
  }
  in.AllocateBuffers();
  inTypes.clear();
  for (int i = 0; i < in.Count(); ++i) {
    const XSQLVAR& v = in.Var(i);
    inTypes.push_back({v.sqltype, v.sqlscale, v.sqlsubtype, v.sqllen});
  }
  return true;
}

bool FbCursor::DescribeColumns(bool ask, fb::Status& st) {
  const auto dialect = static_cast<unsigned short>(conn->dialect);
  if (ask && isc_dsql_describe(st.get(), &stmt, dialect, out.get()) != 0) return false;
  if (out.Count() > out.get()->sqln) {
    out.Resize(out.Count());
    if (isc_dsql_describe(st.get(), &stmt, dialect, out.get()) != 0) return false;
  }
  out.AllocateBuffers();
  described = true;
  if (out.Count() == 0) return true;
  if (selectText || knownType != 0) {
    // A SELECT always returns a cursor; parameters nobody binds are found
    // when the server refuses the execution (LacksParameters).
    type = knownType != 0 ? knownType : isc_info_sql_stmt_select;
    return true;
  }
  const char items[] = {isc_info_sql_stmt_type, isc_info_sql_bind, isc_info_sql_num_variables};
  return Info(items, sizeof items, st);
}

bool FbCursor::Info(const char* items, int count, fb::Status& st, int* rows) {
  char buffer[64] = {};
  if (isc_dsql_sql_info(st.get(), &stmt, static_cast<short>(count), items, sizeof buffer, buffer) != 0) return false;
  const char* end = buffer + sizeof buffer;
  for (const char* p = buffer; p + 3 <= end && *p != isc_info_end;) {
    const char item = *p++;
    if (item == isc_info_sql_bind) continue;  // opens the parameter block
    const int len = InfoInteger(p, 2);
    p += 2;
    if (len < 0 || p + len > end) break;
    if (item == isc_info_sql_stmt_type) {
      type = InfoInteger(p, len);
    } else if (item == isc_info_sql_num_variables) {
      params = InfoInteger(p, len);
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
  return true;
}

bool FbCursor::LacksParameters() noexcept {
  if (params < 0) {
    const char items[] = {isc_info_sql_bind, isc_info_sql_num_variables};
    fb::Status ignored;
    if (!Info(items, sizeof items, ignored)) return false;
  }
  return params > 0 && in.Count() < params;
}

bool FbCursor::BeginWork(fb::Status& st) {
  if (tr != nullptr) return true;
  if (conn->explicitTr != 0) {
    tr = &conn->explicitTr;
    return true;
  }
  if (conn->KeepsTransaction()) {
    if (!conn->BeginKept(st)) return false;
    tr = &conn->keptTr;
    return true;
  }
  if (!conn->Begin(ownTr, conn->isolation, st)) return false;
  tr = &ownTr;
  return true;
}

bool FbCursor::EndWork(bool commit, fb::Status& st) {
  if (tr == nullptr) return true;
  const bool kept = tr == &conn->keptTr;
  const bool retained = tr == &conn->retainedTr;
  tr = nullptr;
  if (kept) {
    conn->KeptStatementDone();
    return true;
  }
  if (retained) {
    // The last cursor of a transaction committed with retaining ends it.
    if (--conn->retainedCursors <= 0 && conn->retainedTr != 0) {
      conn->retainedCursors = 0;
      FbConnection::CommitOrRollback(conn->retainedTr, st);
    }
    return true;
  }
  if (ownTr == 0) return true;
  if (commit) return FbConnection::CommitOrRollback(ownTr, st);
  isc_rollback_transaction(st.get(), &ownTr);
  ownTr = 0;
  return true;
}

void FbCursor::EndWorkQuietly(bool commit) noexcept {
  fb::Status st;
  EndWork(commit, st);
}

void FbCursor::CursorOpened() noexcept {
  if (serverCursorOpen) return;
  serverCursorOpen = true;
  if (tr == &conn->keptTr) ++conn->keptCursors;
}

void FbCursor::CloseCursor() noexcept {
  if (!serverCursorOpen) return;
  serverCursorOpen = false;
  if (tr == &conn->keptTr && conn->keptCursors > 0) --conn->keptCursors;
  fb::Status st;
  isc_dsql_free_statement(st.get(), &stmt, DSQL_close);
}

bool FbCursor::ReturnsCursor() const noexcept {
  return type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
}

int FbCursor::Run(const std::vector<const Variant*>* values, bool keepCursor, std::vector<Variant>* outputs,
                  int* rows, fb::Status& st) {
  if (!BeginWork(st)) return fb::kStatusServerError;
  if (values != nullptr) {
    if (const int status = Bind(*values, st); status != 0) return status;
  } else if (params > 0) {
    return 11;  // Parameter Not Set
  }
  const XSQLDA* input = values != nullptr && in.Count() > 0 ? in.get() : nullptr;
  if (isc_dsql_execute2(st.get(), tr, &stmt, static_cast<unsigned short>(conn->dialect), input,
                        outputs != nullptr ? out.get() : nullptr) != 0) {
    if (!LacksParameters()) return fb::kStatusServerError;
    st = fb::Status{};  // the fixed status says it all
    return 11;
  }
  if (keepCursor) {
    CursorOpened();
    return 0;
  }
  if (outputs != nullptr && !ReadRow(*outputs, st)) return fb::kStatusServerError;
  if (rows != nullptr) {
    if (!RowsAffected(*rows, st)) return fb::kStatusServerError;
    if (ReturnsCursor()) CursorOpened();
  }
  CloseCursor();
  if (!EndWork(true, st)) return fb::kStatusServerError;
  return 0;
}

bool FbCursor::RowsAffected(int& rows, fb::Status& st) {
  rows = 0;
  const char items[] = {isc_info_sql_stmt_type, isc_info_sql_records};
  return Info(items, sizeof items, st, &rows);
}

std::vector<FieldDesc> FbCursor::Columns() const {
  std::vector<FieldDesc> cols;
  cols.reserve(static_cast<std::size_t>(out.Count()));
  for (int i = 0; i < out.Count(); ++i) {
    const XSQLVAR& v = out.Var(i);
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

bool FbCursor::ReadRow(std::vector<Variant>& row, fb::Status& st) {
  row.assign(static_cast<std::size_t>(out.Count()), Null{});
  for (int i = 0; i < out.Count(); ++i) {
    const XSQLVAR& v = out.Var(i);
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
        if (conn->trimChar)
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
        isc_blob_handle blob = 0;
        if (isc_open_blob2(st.get(), &conn->db, tr, &blob, &id, 0, nullptr) != 0) return false;
        std::string bytes;
        char chunk[32768];
        bool limited = false;
        for (;;) {
          unsigned short got = 0;
          const ISC_STATUS rc = isc_get_segment(st.get(), &blob, &got, sizeof chunk, chunk);
          if (rc != 0 && rc != isc_segment) break;
          bytes.append(chunk, got);
          if (blobLimit >= 0 && bytes.size() >= static_cast<std::size_t>(blobLimit)) {
            bytes.resize(static_cast<std::size_t>(blobLimit));
            limited = true;
            break;
          }
        }
        const bool ended = limited || st.v[1] == isc_segstr_eof || !st.Failed();
        if (!ended) {
          fb::Status ignored;
          isc_close_blob(ignored.get(), &blob);
          return false;
        }
        if (isc_close_blob(st.get(), &blob) != 0) return false;
        value = std::move(bytes);
        break;
      }
      default:
        break;  // arrays and unknown types read as null
    }
  }
  return true;
}

int FbCursor::Bind(const std::vector<const Variant*>& values, fb::Status& st) {
  const int expected = std::max(params, in.Count());
  if (static_cast<int>(values.size()) < expected) return 11;  // Parameter Not Set
  if (static_cast<int>(values.size()) > expected) return 9;   // Invalid Parameter
  for (int i = 0; i < in.Count(); ++i) {
    XSQLVAR& v = in.Var(i);
    if (static_cast<std::size_t>(i) < inTypes.size()) {
      const ParamType& t = inTypes[static_cast<std::size_t>(i)];
      v.sqltype = t.sqltype;
      v.sqlscale = t.sqlscale;
      v.sqlsubtype = t.sqlsubtype;
      v.sqllen = t.sqllen;
    }
    const int described = v.sqltype & ~1;
    const Variant& value = *values[static_cast<std::size_t>(i)];
    if (IsNull(value)) {
      v.sqltype = static_cast<short>(described | 1);
      in.Buffer(i, static_cast<std::size_t>(v.sqllen) + 2);
      *v.sqlind = -1;
    } else if (const auto* n = std::get_if<std::int64_t>(&value)) {
      if (described == SQL_BOOLEAN)
        Put(in, i, SQL_BOOLEAN, static_cast<FB_BOOLEAN>(*n != 0 ? FB_TRUE : FB_FALSE));
      else
        Put(in, i, SQL_INT64, static_cast<ISC_INT64>(*n));
    } else if (const auto* d = std::get_if<double>(&value)) {
      Put(in, i, SQL_DOUBLE, *d);
    } else if (const auto* dec = std::get_if<Decimal>(&value)) {
      Put(in, i, SQL_INT64, static_cast<ISC_INT64>(dec->unscaled), static_cast<short>(-dec->scale));
    } else if (const auto* date = std::get_if<Date>(&value)) {
      Put(in, i, SQL_TYPE_DATE, EncodeDate(*date));
    } else if (const auto* time = std::get_if<Time>(&value)) {
      Put(in, i, SQL_TYPE_TIME, EncodeTime(*time));
    } else if (const auto* dt = std::get_if<DateTime>(&value)) {
      ISC_TIMESTAMP ts{EncodeDate(dt->date), EncodeTime(dt->time)};
      Put(in, i, SQL_TIMESTAMP, ts);
    } else if (const auto* s = std::get_if<std::string>(&value)) {
      if (described == SQL_BLOB) {
        // Text for a blob goes through a blob of its own.
        isc_blob_handle blob = 0;
        ISC_QUAD id{};
        if (isc_create_blob2(st.get(), &conn->db, tr, &blob, &id, 0, nullptr) != 0) return fb::kStatusServerError;
        for (std::size_t pos = 0; pos < s->size(); pos += 32768) {
          const auto len = static_cast<unsigned short>(std::min<std::size_t>(32768, s->size() - pos));
          if (isc_put_segment(st.get(), &blob, len, s->data() + pos) != 0) {
            fb::Status ignored;
            isc_cancel_blob(ignored.get(), &blob);
            return fb::kStatusServerError;
          }
        }
        if (isc_close_blob(st.get(), &blob) != 0) return fb::kStatusServerError;
        const short subtype = v.sqlsubtype;
        Put(in, i, SQL_BLOB, id);
        v.sqlsubtype = subtype;
      } else {
        if (s->size() > 32765) return 14;  // Invalid Length
        const short charset = described == SQL_TEXT || described == SQL_VARYING ? v.sqlsubtype : 0;
        v.sqltype = SQL_TEXT | 1;
        v.sqllen = static_cast<short>(s->size());
        v.sqlscale = 0;
        v.sqlsubtype = charset;
        char* buf = in.Buffer(i, s->size());
        if (!s->empty()) std::memcpy(buf, s->data(), s->size());
        *v.sqlind = 0;
      }
    }
  }
  return 0;
}

}  // namespace dbx
