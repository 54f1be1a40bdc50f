// bench_baseline: the transmission run's statement stream sent straight
// through the Firebird client library, with no dataset layer: the same texts,
// in the same order, in the same transactions, with the same requests for
// rows affected. It is the floor the program is measured against.
//
// Transactions as the program's layer keeps them: statements outside the
// refill share one read-committed transaction per attachment, started with
// isc_tpb_autocommit (the server commits each statement's writes), ended with
// a hard commit every 1000 statements when no cursor is open in it and at
// detach; an applied row runs in it too (one row needs no transaction of its
// own), its INSERT prepared once per text and attachment; the refill has its
// transaction.
//
//   bench_baseline SERVER USER PASSWORD COMPANY YYYY-MM-DD [--peer FILE]
//
// With --peer it also writes the stream as an isql script (one COMMIT after
// each statement, the reads of each pass grouped on one connection), with
// the values of this run written in as literals.
#include <ibase.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Die(const std::string& what, const ISC_STATUS* status) {
  std::string text;
  if (status != nullptr) {
    const ISC_STATUS* p = status;
    char buffer[1024];
    while (fb_interpret(buffer, sizeof buffer, &p) > 0) text += std::string("\n  ") + buffer;
  }
  std::fprintf(stderr, "bench_baseline: %s%s\n", what.c_str(), text.c_str());
  std::exit(1);
}

struct Status {
  ISC_STATUS_ARRAY v{};
  ISC_STATUS* get() { return v; }
};

void Check(ISC_STATUS rc, Status& st, const std::string& what) {
  if (rc != 0) Die(what, st.v);
}

// ---------------------------------------------------------------------------
// Values as the run handles them.

struct Value {
  enum Kind { kNull, kText, kScaled, kDate, kTime, kTimestamp } kind = kNull;
  std::string text;
  std::int64_t unscaled = 0;
  int scale = 0;
  ISC_DATE date = 0;
  ISC_TIME time = 0;
};
using Row = std::vector<Value>;

void CivilFromIsc(ISC_DATE d, int& y, unsigned& m, unsigned& day) {
  // ISC_DATE counts days from 1858-11-17, day -40587 of the Unix epoch;
  // civil date from days (H. Hinnant's algorithm).
  const std::int64_t z = static_cast<std::int64_t>(d) - 40587 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
}

std::string DateBody(ISC_DATE d) {
  int y;
  unsigned m, day;
  CivilFromIsc(d, y, m, day);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", y, m, day);
  return buffer;
}

std::string TimeBody(ISC_TIME t) {
  const unsigned secs = t / 10000, fraction = t % 10000;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02u:%02u:%02u", secs / 3600, secs / 60 % 60, secs % 60);
  std::string out = buffer;
  if (fraction != 0) {
    std::snprintf(buffer, sizeof buffer, "%04u", fraction);
    std::string f = buffer;
    while (!f.empty() && f.back() == '0') f.pop_back();
    out += '.' + f;
  }
  return out;
}

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string DecimalText(std::int64_t unscaled, int scale) {
  const bool negative = unscaled < 0;
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(unscaled) + 1 : static_cast<std::uint64_t>(unscaled);
  if (magnitude == 0) return "0";
  std::string digits = std::to_string(magnitude);
  const auto s = static_cast<std::size_t>(scale);
  if (digits.size() <= s) digits.insert(0, s + 1 - digits.size(), '0');
  std::string fraction = digits.substr(digits.size() - s);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string out = (negative ? "-" : "") + digits.substr(0, digits.size() - s);
  if (!fraction.empty()) out += "." + fraction;
  return out;
}

// The SQL text of a value, as the run writes it into a statement.
std::string Literal(const Value& v) {
  switch (v.kind) {
    case Value::kNull: return "NULL";
    case Value::kText: return Quoted(v.text);
    case Value::kScaled: return DecimalText(v.unscaled, v.scale);
    case Value::kDate: return "'" + DateBody(v.date) + "'";
    case Value::kTime: return "'" + TimeBody(v.time) + "'";
    case Value::kTimestamp: return "'" + DateBody(v.date) + " " + TimeBody(v.time) + "'";
  }
  return "NULL";
}

// A key compared with a text column: always quoted.
std::string Key(const Value& v) {
  if (v.kind == Value::kNull) return "''";
  const std::string literal = Literal(v);
  return literal.front() == '\'' ? literal : Quoted(literal);
}

// ---------------------------------------------------------------------------
// An XSQLDA with room for its variables' data.

class Sqlda {
 public:
  explicit Sqlda(int n) { Reset(n); }
  void Reset(int n) {
    raw_.assign(XSQLDA_LENGTH(n) / sizeof(std::int64_t) + 1, 0);
    get()->version = SQLDA_VERSION1;
    get()->sqln = static_cast<ISC_SHORT>(n);
  }
  XSQLDA* get() { return reinterpret_cast<XSQLDA*>(raw_.data()); }
  int Count() { return get()->sqld; }
  XSQLVAR& Var(int i) { return get()->sqlvar[i]; }
  void Allocate() {
    data_.assign(static_cast<std::size_t>(Count()), {});
    ind_.assign(static_cast<std::size_t>(Count()), 0);
    for (int i = 0; i < Count(); ++i) Point(i, static_cast<std::size_t>(Var(i).sqllen) + 2);
  }
  char* Point(int i, std::size_t bytes) {
    auto& d = data_[static_cast<std::size_t>(i)];
    if (d.size() * sizeof(std::int64_t) < bytes) d.assign(bytes / sizeof(std::int64_t) + 1, 0);
    Var(i).sqldata = reinterpret_cast<ISC_SCHAR*>(d.data());
    Var(i).sqlind = &ind_[static_cast<std::size_t>(i)];
    return Var(i).sqldata;
  }

 private:
  std::vector<std::int64_t> raw_;
  std::vector<std::vector<std::int64_t>> data_;
  std::vector<short> ind_;
};

Row ReadRow(Sqlda& da) {
  Row row(static_cast<std::size_t>(da.Count()));
  for (int i = 0; i < da.Count(); ++i) {
    XSQLVAR& v = da.Var(i);
    Value& out = row[static_cast<std::size_t>(i)];
    if ((v.sqltype & 1) != 0 && *v.sqlind < 0) continue;
    switch (v.sqltype & ~1) {
      case SQL_TEXT:
        out.kind = Value::kText;
        out.text.assign(v.sqldata, static_cast<std::size_t>(v.sqllen));
        break;
      case SQL_VARYING: {
        ISC_USHORT len;
        std::memcpy(&len, v.sqldata, sizeof len);
        out.kind = Value::kText;
        out.text.assign(v.sqldata + sizeof len, len);
        break;
      }
      case SQL_SHORT: {
        ISC_SHORT x;
        std::memcpy(&x, v.sqldata, sizeof x);
        out = Value{Value::kScaled, {}, x, -v.sqlscale};
        break;
      }
      case SQL_LONG: {
        ISC_LONG x;
        std::memcpy(&x, v.sqldata, sizeof x);
        out = Value{Value::kScaled, {}, x, -v.sqlscale};
        break;
      }
      case SQL_INT64: {
        ISC_INT64 x;
        std::memcpy(&x, v.sqldata, sizeof x);
        out = Value{Value::kScaled, {}, x, -v.sqlscale};
        break;
      }
      case SQL_TYPE_DATE:
        out.kind = Value::kDate;
        std::memcpy(&out.date, v.sqldata, sizeof out.date);
        break;
      case SQL_TYPE_TIME:
        out.kind = Value::kTime;
        std::memcpy(&out.time, v.sqldata, sizeof out.time);
        break;
      case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts;
        std::memcpy(&ts, v.sqldata, sizeof ts);
        out.kind = Value::kTimestamp;
        out.date = ts.timestamp_date;
        out.time = ts.timestamp_time;
        break;
      }
      default: Die("unexpected column type", nullptr);
    }
  }
  return row;
}

template <typename T>
void Put(Sqlda& da, int i, short type, const T& value, short scale = 0) {
  XSQLVAR& v = da.Var(i);
  v.sqltype = static_cast<short>(type | 1);
  v.sqllen = sizeof(T);
  v.sqlscale = scale;
  v.sqlsubtype = 0;
  std::memcpy(da.Point(i, sizeof(T)), &value, sizeof(T));
  *v.sqlind = 0;
}

// Binds a row to described parameters, in the types the run binds them.
void Bind(Sqlda& in, const Row& row) {
  for (int i = 0; i < in.Count(); ++i) {
    XSQLVAR& v = in.Var(i);
    const Value& x = row[static_cast<std::size_t>(i)];
    switch (x.kind) {
      case Value::kNull:
        v.sqltype = static_cast<short>(v.sqltype | 1);
        in.Point(i, static_cast<std::size_t>(v.sqllen) + 2);
        *v.sqlind = -1;
        break;
      case Value::kText: {
        const int type = v.sqltype & ~1;
        const short charset = type == SQL_TEXT || type == SQL_VARYING ? v.sqlsubtype : 0;
        v.sqltype = SQL_TEXT | 1;
        v.sqllen = static_cast<short>(x.text.size());
        v.sqlscale = 0;
        v.sqlsubtype = charset;
        std::memcpy(in.Point(i, x.text.size()), x.text.data(), x.text.size());
        *v.sqlind = 0;
        break;
      }
      case Value::kScaled: Put(in, i, SQL_INT64, static_cast<ISC_INT64>(x.unscaled), static_cast<short>(-x.scale)); break;
      case Value::kDate: Put(in, i, SQL_TYPE_DATE, x.date); break;
      case Value::kTime: Put(in, i, SQL_TYPE_TIME, x.time); break;
      case Value::kTimestamp: Put(in, i, SQL_TIMESTAMP, ISC_TIMESTAMP{x.date, x.time}); break;
    }
  }
}

// ---------------------------------------------------------------------------
// The peer script, written while the stream runs.

class Peer {
 public:
  enum Side { kMain, kBranch };
  void Open(const std::string& path) { out_.open(path, std::ios::binary); }
  [[nodiscard]] bool On() const { return out_.is_open(); }
  void Database(Side side, const std::string& path) { db_[side] = path; }
  // A statement (without its line end) and the COMMIT after it.
  void Add(Side side, const std::string& text) {
    if (On()) pending_[side] += text + ";\nCOMMIT;\n";
  }
  // Writes the pending statements, the reading side first.
  void Flush(Side first) {
    if (!On()) return;
    for (Side s : {first, first == kMain ? kBranch : kMain}) {
      if (pending_[s].empty()) continue;
      out_ << "CONNECT " << Quoted(db_[s]) << " USER 'SYSDBA' PASSWORD 'masterkey';\n" << pending_[s];
      pending_[s].clear();
    }
  }

 private:
  std::ofstream out_;
  std::string db_[2];
  std::string pending_[2];
};

Peer peer;
long rowsWritten = 0;

// ---------------------------------------------------------------------------
// One attachment with its transactions.

const char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_wait, isc_tpb_read_committed, isc_tpb_rec_version};
const char kKeptTpb[] = {isc_tpb_version3,       isc_tpb_write,       isc_tpb_wait,
                         isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_autocommit};
// The lock of the replication switch: its own transaction, no waiting.
const char kLockTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_nowait, isc_tpb_read_committed, isc_tpb_rec_version};
constexpr int kKeptStatements = 1000;

// Rows affected of the last execution, as the program asks for them.
int RowsAffected(isc_stmt_handle& stmt) {
  Status st;
  const char items[] = {isc_info_sql_stmt_type, isc_info_sql_records};
  char info[64] = {};
  Check(isc_dsql_sql_info(st.get(), &stmt, sizeof items, items, sizeof info, info), st, "info");
  int rows = 0;
  for (const char* p = info; p + 3 <= info + sizeof info && *p != isc_info_end;) {
    const char item = *p++;
    const int len = static_cast<int>(isc_vax_integer(p, 2));
    p += 2;
    if (item == isc_info_sql_records) {
      for (const char* q = p; q + 3 <= p + len && *q != isc_info_end;) {
        const char code = *q++;
        const int n = static_cast<int>(isc_vax_integer(q, 2));
        q += 2;
        if (code == isc_info_req_insert_count || code == isc_info_req_update_count ||
            code == isc_info_req_delete_count)
          rows += static_cast<int>(isc_vax_integer(q, static_cast<short>(n)));
        q += n;
      }
    }
    p += len;
  }
  return rows;
}

struct Db {
  isc_db_handle db = 0;
  isc_tr_handle explicitTr = 0;
  isc_tr_handle keptTr = 0;
  int keptStatements = 0;
  int keptCursors = 0;
  isc_stmt_handle insertStmt = 0;  // the last applied INSERT, prepared
  std::string insertText;
  Sqlda insertIn{1};
  std::vector<std::array<short, 4>> insertTypes;
  Peer::Side side = Peer::kMain;

  [[nodiscard]] bool Open() const { return db != 0; }

  // The attach of the run's connections: user, password, role, dialect 3,
  // file name in UTF-8.
  bool Attach(const std::string& path, const std::string& user, const std::string& password, bool mayFail) {
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    const auto text = [&dpb](char item, const std::string& s) {
      dpb += item;
      dpb += static_cast<char>(s.size());
      dpb += s;
    };
    if (!user.empty()) text(isc_dpb_user_name, user);
    if (!password.empty()) text(isc_dpb_password, password);
    text(isc_dpb_sql_role_name, "RoleName");
    dpb += static_cast<char>(isc_dpb_sql_dialect);
    dpb += static_cast<char>(4);
    dpb.append("\x03\x00\x00\x00", 4);
    dpb += static_cast<char>(isc_dpb_utf8_filename);
    dpb += '\0';
    Status st;
    if (isc_attach_database(st.get(), static_cast<short>(path.size()), path.c_str(), &db, static_cast<short>(dpb.size()),
                            dpb.data()) != 0) {
      db = 0;
      if (!mayFail) Die("attach " + path, st.v);
      return false;
    }
    return true;
  }
  void Detach() {
    Status st;
    if (insertStmt != 0) isc_dsql_free_statement(st.get(), &insertStmt, DSQL_drop);
    insertStmt = 0;
    insertText.clear();
    keptCursors = 0;
    EndKept();
    if (db != 0) Check(isc_detach_database(st.get(), &db), st, "detach");
    db = 0;
  }
  void Start(isc_tr_handle& tr) {
    Status st;
    tr = 0;
    Check(isc_start_transaction(st.get(), &tr, 1, &db, sizeof kTpb, kTpb), st, "start transaction");
  }
  void Commit(isc_tr_handle& tr) {
    Status st;
    Check(isc_commit_transaction(st.get(), &tr), st, "commit");
    tr = 0;
  }
  // The transaction of a statement: the explicit one, or the kept one.
  isc_tr_handle* Work() {
    if (explicitTr != 0) return &explicitTr;
    if (keptTr == 0) {
      Status st;
      Check(isc_start_transaction(st.get(), &keptTr, 1, &db, sizeof kKeptTpb, kKeptTpb), st, "start kept");
      keptStatements = 0;
      keptCursors = 0;
    }
    return &keptTr;
  }
  // A statement completed in `tr`.
  void Done(isc_tr_handle* tr) {
    if (tr != &keptTr) return;
    if (++keptStatements >= kKeptStatements) EndKept();
  }
  void EndKept() {
    if (keptTr == 0 || keptCursors > 0) return;
    Commit(keptTr);
    keptStatements = 0;
  }
};

// A statement that returns no rows: prepared and run in the explicit
// transaction when one is open, else in the kept one; the rows affected read.
void Exec(Db& c, const std::string& text) {
  peer.Add(c.side, text);
  Status st;
  isc_stmt_handle stmt = 0;
  Check(isc_dsql_allocate_statement(st.get(), &c.db, &stmt), st, "allocate");
  isc_tr_handle* tr = c.Work();
  Check(isc_dsql_prepare(st.get(), tr, &stmt, 0, (text + "\r\n").c_str(), 3, nullptr), st, "prepare " + text);
  Check(isc_dsql_execute(st.get(), tr, &stmt, 3, nullptr), st, "execute " + text);
  (void)RowsAffected(stmt);
  c.Done(tr);
  Check(isc_dsql_free_statement(st.get(), &stmt, DSQL_drop), st, "free");
}

// A select in the kept transaction, read in packets as the run's datasets
// read it: a packet of up to `packet` rows (all rows when negative), one row
// fetched ahead; the statement completes when the last row has been fetched.
class Select {
 public:
  Select(Db& c, const std::string& text, int packet) : c_(c), packet_(packet), out_(20) {
    peer.Add(c.side, text);
    Status st;
    Check(isc_dsql_allocate_statement(st.get(), &c_.db, &stmt_), st, "allocate");
    tr_ = c_.Work();
    Check(isc_dsql_prepare(st.get(), tr_, &stmt_, 0, (text + "\r\n").c_str(), 3, out_.get()), st, "prepare " + text);
    if (out_.Count() > out_.get()->sqln) {
      out_.Reset(out_.Count());
      Check(isc_dsql_describe(st.get(), &stmt_, 3, out_.get()), st, "describe");
    }
    out_.Allocate();
    Check(isc_dsql_execute(st.get(), tr_, &stmt_, 3, nullptr), st, "execute " + text);
    cursorOpen_ = true;
    if (tr_ == &c_.keptTr) ++c_.keptCursors;
    Fetch();
    ReadPacket();
  }
  ~Select() { Close(); }
  Select(const Select&) = delete;
  Select& operator=(const Select&) = delete;

  // Column names of the result.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < out_.Count(); ++i)
      names.emplace_back(out_.Var(i).sqlname, static_cast<std::size_t>(out_.Var(i).sqlname_length));
    return names;
  }
  // The next row, fetching the next packet when the held rows are used up.
  const Row* Next() {
    if (pos_ >= rows_.size()) {
      if (packetsDone_) return nullptr;
      ReadPacket();
      if (pos_ >= rows_.size()) return nullptr;
    }
    return &rows_[pos_++];
  }
  void Close() {
    Status st;
    CloseCursor();
    if (tr_ != nullptr) c_.Done(tr_);
    tr_ = nullptr;
    if (stmt_ != 0) isc_dsql_free_statement(st.get(), &stmt_, DSQL_drop);
    stmt_ = 0;
  }

 private:
  void CloseCursor() {
    if (!cursorOpen_) return;
    Status st;
    isc_dsql_free_statement(st.get(), &stmt_, DSQL_close);
    cursorOpen_ = false;
    if (tr_ == &c_.keptTr) --c_.keptCursors;
  }
  void Fetch() {
    Status st;
    const ISC_STATUS rc = isc_dsql_fetch(st.get(), &stmt_, 3, out_.get());
    if (rc == 100) {
      CloseCursor();
      c_.Done(tr_);
      tr_ = nullptr;
      ahead_.reset();
      return;
    }
    Check(rc, st, "fetch");
    ahead_ = ReadRow(out_);
  }
  void ReadPacket() {
    rows_.clear();
    pos_ = 0;
    while ((packet_ < 0 || static_cast<int>(rows_.size()) < packet_) && ahead_) {
      rows_.push_back(std::move(*ahead_));
      Fetch();
    }
    packetsDone_ = packet_ < 0 || static_cast<int>(rows_.size()) < packet_;
  }

  Db& c_;
  int packet_;
  Sqlda out_;
  isc_tr_handle* tr_ = nullptr;
  isc_stmt_handle stmt_ = 0;
  bool cursorOpen_ = false;
  std::optional<Row> ahead_;
  std::vector<Row> rows_;
  std::size_t pos_ = 0;
  bool packetsDone_ = false;
};

// Whether a select returns a row; it completes when closed.
bool Probe(Db& c, const std::string& text) {
  peer.Add(c.side, text);
  Status st;
  isc_stmt_handle stmt = 0;
  Sqlda out(1);
  Check(isc_dsql_allocate_statement(st.get(), &c.db, &stmt), st, "allocate");
  isc_tr_handle* tr = c.Work();
  Check(isc_dsql_prepare(st.get(), tr, &stmt, 0, (text + "\r\n").c_str(), 3, out.get()), st, "prepare " + text);
  out.Allocate();
  Check(isc_dsql_execute(st.get(), tr, &stmt, 3, nullptr), st, "execute " + text);
  if (tr == &c.keptTr) ++c.keptCursors;
  const ISC_STATUS rc = isc_dsql_fetch(st.get(), &stmt, 3, out.get());
  if (rc != 0 && rc != 100) Die("fetch " + text, st.v);
  isc_dsql_free_statement(st.get(), &stmt, DSQL_close);
  if (tr == &c.keptTr) --c.keptCursors;
  c.Done(tr);
  Check(isc_dsql_free_statement(st.get(), &stmt, DSQL_drop), st, "free");
  return rc == 0;
}

std::string Join(const std::vector<std::string>& items, const std::string& quote) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) out += (i > 0 ? ", " : "") + quote + items[i] + quote;
  return out;
}

// The apply of one inserted row: the parameterised INSERT naming every
// column, prepared once per text, run in the kept transaction (one row needs
// none of its own), the rows affected checked.
void ApplyInsert(Db& c, const std::string& table, const std::vector<std::string>& columns, const Row& row) {
  if (peer.On()) {
    std::vector<std::string> values;
    for (const Value& v : row) values.push_back(Literal(v));
    peer.Add(c.side, "INSERT INTO " + table + " (" + Join(columns, "") + ") VALUES (" + Join(values, "") + ")");
  }
  std::string marks;
  for (std::size_t i = 0; i < columns.size(); ++i) marks += i > 0 ? ", ?" : "?";
  const std::string text =
      "insert into \"" + table + "\"\r\n  (" + Join(columns, "\"") + ")\r\nvalues\r\n  (" + marks + ")\r\n";
  Status st;
  isc_tr_handle* tr = nullptr;
  if (c.insertStmt == 0 || c.insertText != text) {
    if (c.insertStmt != 0) isc_dsql_free_statement(st.get(), &c.insertStmt, DSQL_drop);
    c.insertStmt = 0;
    Check(isc_dsql_allocate_statement(st.get(), &c.db, &c.insertStmt), st, "allocate");
    tr = c.Work();
    Check(isc_dsql_prepare(st.get(), tr, &c.insertStmt, 0, text.c_str(), 3, nullptr), st, "prepare " + text);
    c.insertIn.Reset(static_cast<int>(columns.size()));
    Check(isc_dsql_describe_bind(st.get(), &c.insertStmt, 3, c.insertIn.get()), st, "describe bind");
    c.insertIn.Allocate();
    c.insertTypes.clear();
    for (int i = 0; i < c.insertIn.Count(); ++i) {
      const XSQLVAR& v = c.insertIn.Var(i);
      c.insertTypes.push_back({v.sqltype, v.sqlscale, v.sqlsubtype, v.sqllen});
    }
    c.insertText = text;
  } else {
    tr = c.Work();
    // Binding changed the variables: back to what the server described.
    for (int i = 0; i < c.insertIn.Count(); ++i) {
      XSQLVAR& v = c.insertIn.Var(i);
      const auto& t = c.insertTypes[static_cast<std::size_t>(i)];
      v.sqltype = t[0];
      v.sqlscale = t[1];
      v.sqlsubtype = t[2];
      v.sqllen = t[3];
    }
  }
  Sqlda& in = c.insertIn;
  Bind(in, row);
  Check(isc_dsql_execute(st.get(), tr, &c.insertStmt, 3, in.get()), st, "execute " + text);
  if (RowsAffected(c.insertStmt) != 1) Die("insert into " + table + " affected no row", nullptr);
  c.Done(tr);
  ++rowsWritten;
}

// The missing-row copy: every source row whose key the target lacks.
void CopyMissing(Select& source, Db& target, const std::string& table, const std::vector<std::string>& columns) {
  const std::string probe = "SELECT TERC_NIT FROM " + table + " WHERE TERC_NIT = ";
  while (const Row* row = source.Next())
    if (!Probe(target, probe + Key((*row)[0]))) ApplyInsert(target, table, columns, *row);
}

// ---------------------------------------------------------------------------
// The run.

struct Run {
  std::string server, user, password, company, fecha;  // fecha quoted
  Db main, branch, lock;

  std::string Configuracion(const std::string& propiedad) {
    Select s(main,
             "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and conf_categoria = 'ARTICULOS' "
             "and conf_propiedad = " +
                 Quoted(propiedad),
             -1);
    const Row* row = s.Next();
    return row != nullptr && row->at(0).kind == Value::kText ? row->at(0).text : std::string();
  }

  static std::string Audit(const char* table, const std::string& fecha) {
    return std::string("SELECT * FROM ") + table +
           " T WHERE EXISTS (SELECT AUDI_ID FROM AUDITORIA WHERE TIDO_COD = 103 AND AUDI_COD = T.TERC_NIT AND "
           "AUDI_FECHA = " +
           fecha + " AND AUDI_OPER = 'I')";
  }
  static std::string Template(const char* table) { return std::string("SELECT * FROM ") + table + " WHERE TERC_NIT = '0'"; }

  bool Connect(const Row& replica) {
    branch.Detach();
    const std::string carpeta = replica[2].text + "\\datos\\" + replica[0].text;
    const std::string usuario = Configuracion("NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS");
    const std::string clave = Configuracion("CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS");
    peer.Database(Peer::kBranch, carpeta + "\\varnex.fdb");
    return branch.Attach(carpeta + "\\varnex.fdb", usuario, clave, true);
  }

  void Collect() {
    for (const char* table : {"TERCEROS", "CLIENTES"}) {
      Select source(branch, Audit(table, fecha), -1);
      Select target(main, Template(table), 1000);
      CopyMissing(source, main, table, target.Names());
    }
    Select points(branch, "SELECT * FROM RESUMEN_PUNTOS_TX(" + fecha + ")", -1);
    while (const Row* r = points.Next()) {
      Exec(main, "EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS(" + Literal((*r)[0]) + ", " + fecha + "," +
                     Literal((*r)[1]) + "," + Literal((*r)[2]) + ")");
      ++rowsWritten;
    }
    peer.Flush(Peer::kBranch);
  }

  void Distribute() {
    for (const char* table : {"TERCEROS", "CLIENTES"}) {
      Select source(main, Audit(table, fecha), 1000);
      Select target(branch, Template(table), -1);
      CopyMissing(source, branch, table, target.Names());
    }
    branch.Start(branch.explicitTr);
    Exec(branch, "DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    Select acumulado(main, "select TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER from PUNTOS_CLIENTE_ACUMULADO",
                     1000);
    while (const Row* r = acumulado.Next()) {
      Exec(branch,
           "INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER) VALUES (" +
               Key((*r)[0]) + "," + Literal((*r)[1]) + "," + Literal((*r)[2]) + "," + Literal((*r)[3]) + ")");
      ++rowsWritten;
    }
    branch.Commit(branch.explicitTr);
    peer.Flush(Peer::kMain);
  }

  void Go() {
    main.side = Peer::kMain;
    branch.side = Peer::kBranch;
    const std::string path = server + "/datos/" + company + "/varnex.fdb";
    peer.Database(Peer::kMain, path);
    // The company connection, then the run's reconnect.
    main.Attach(path, user, password, false);
    main.Detach();
    main.Attach(path, user, password, false);
    if (Configuracion("REPLICAR CAMBIOS EN ARTICULOS") == "SI") {
      // One run of a company at a time: the switch's rows stay locked, on an
      // attachment of their own, until the walks end.
      lock.Attach(path, user, password, false);
      {
        Status st;
        Check(isc_start_transaction(st.get(), &lock.explicitTr, 1, &lock.db, sizeof kLockTpb, kLockTpb), st,
              "start lock");
        Select locked(lock,
                      "SELECT conf_valor FROM configuracion WHERE conf_modulo = 'INVENTARIO' AND conf_categoria = "
                      "'ARTICULOS' AND conf_propiedad = 'REPLICAR CAMBIOS EN ARTICULOS' WITH LOCK",
                      -1);
      }
      Exec(main, "DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
      std::vector<Row> replicas;
      {
        // The replica list is read whole, through its table statement.
        Select s(main, "select * from REPLICA_COMPANIA", -1);
        while (const Row* r = s.Next()) replicas.push_back(*r);
      }
      peer.Flush(Peer::kMain);
      for (const Row& r : replicas)
        if (Connect(r)) Collect();
      for (const Row& r : replicas)
        if (Connect(r)) Distribute();
      Status st;
      Check(isc_rollback_transaction(st.get(), &lock.explicitTr), st, "rollback lock");
      lock.Detach();
    }
    peer.Flush(Peer::kMain);
    // The program's handler ends here: each connection's kept transaction
    // ends, in the order the connections were made; then they detach.
    main.EndKept();
    branch.EndKept();
    branch.Detach();
    main.Detach();
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6 && !(argc == 8 && std::string(argv[6]) == "--peer")) {
    std::fprintf(stderr, "usage: %s SERVER USER PASSWORD COMPANY YYYY-MM-DD [--peer FILE]\n", argv[0]);
    return 2;
  }
  if (argc == 8) peer.Open(argv[7]);
  Run run;
  run.server = argv[1];
  run.user = argv[2];
  run.password = argv[3];
  run.company = argv[4];
  run.fecha = std::string("'") + argv[5] + "'";
  run.Go();
  std::printf("rows written: %ld\n", rowsWritten);
  return 0;
}
