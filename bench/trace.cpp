// bench_trace: a preloaded library that writes the statement stream a process
// sends through the Firebird client library, one line per call, to the file
// named by BENCH_TRACE: attaches, transactions (numbered in the order they
// start), prepared texts, executions and fetches. Handles are replaced by
// their order numbers so two processes sending the same stream write the
// same lines.
//
//   BENCH_TRACE=out.txt LD_PRELOAD=libbench_trace.so program ...
//
// With BENCH_RT=FILE it also counts the round trips to the server, from the
// client's side: a request sent on a TCP socket followed by an answer read
// is one. Each is laid to the call in progress, by the kind of its statement
// (probe, apply insert, ...), and FILE gets, at exit, one line per kind:
//   KIND STATEMENTS ROUND_TRIPS
// (statements are executions; transactions, attaches and detaches have kinds
// of their own with no statements).
#include <dlfcn.h>
#include <ibase.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

namespace {

FILE* Out() {
  static FILE* out = [] {
    const char* path = std::getenv("BENCH_TRACE");
    return path != nullptr ? std::fopen(path, "w") : nullptr;
  }();
  return out;
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

std::map<unsigned, int> dbs, trs, stmts;
int dbCount = 0, trCount = 0, stmtCount = 0;

// ---- Round trips -----------------------------------------------------------

struct Tally {
  long statements = 0;
  long roundTrips = 0;
};
// Never destroyed: the report at exit still reads it.
std::map<std::string, Tally>& Tallies() {
  static auto* t = new std::map<std::string, Tally>;
  return *t;
}
// Never destroyed either: the client library still calls in during exit.
std::map<unsigned, std::string>& stmtKinds = *new std::map<unsigned, std::string>;  // statement handle -> kind
std::set<int>& serverSockets = *new std::set<int>;
const char* current = "other";  // the kind the call in progress counts for
bool sentSinceAnswer = false;

std::string KindOf(const std::string& text) {
  const auto has = [&text](const char* s) { return text.find(s) != std::string::npos; };
  // Chunks: statements of one kind joined into one.
  if (has("EXECUTE BLOCK")) {
    if (has("insert into \"")) return "apply-chunk";
    if (has("EXECUTE PROCEDURE")) return "procedure-chunk";
    if (has("INSERT INTO puntos_cliente_acumulado")) return "refill-chunk";
    return "other";
  }
  if (has("IIF(EXISTS(SELECT TERC_NIT FROM")) return "probe-chunk";
  if (has("SELECT TERC_NIT FROM")) return "probe";
  if (has("select conf_valor")) return "config-lookup";
  if (has("REPLICA_COMPANIA")) return "replica-list";
  if (has("WHERE TERC_NIT = '0'")) return "template-select";
  if (has("FROM AUDITORIA")) return "audit-select";
  if (has("RESUMEN_PUNTOS_TX")) return "points-summary";
  if (has("EXECUTE PROCEDURE")) return "procedure-call";
  if (has("insert into \"")) return "apply-insert";
  if (has("INSERT INTO puntos_cliente_acumulado")) return "refill-insert";
  if (has("DELETE FROM")) return "delete";
  if (has("PTCA_FECHA")) return "accumulated-read";
  return "other";
}

// Sets the kind of the calls made while it lives.
struct Counting {
  const char* saved;
  explicit Counting(const char* kind) : saved(current) { current = kind; }
  ~Counting() { current = saved; }
};

const char* KindOfStmt(isc_stmt_handle* stmt) {
  if (stmt == nullptr) return "other";
  auto it = stmtKinds.find(*stmt);
  return it == stmtKinds.end() ? "other" : it->second.c_str();
}

struct RoundTripReport {
  ~RoundTripReport() {
    const char* path = std::getenv("BENCH_RT");
    if (path == nullptr) return;
    FILE* f = std::fopen(path, "w");
    if (f == nullptr) return;
    for (const auto& [kind, t] : Tallies()) std::fprintf(f, "%s %ld %ld\n", kind.c_str(), t.statements, t.roundTrips);
    std::fclose(f);
  }
} report;

int Number(std::map<unsigned, int>& m, unsigned handle) {
  auto it = m.find(handle);
  return it == m.end() ? -1 : it->second;
}

// Texts with their line ends made visible.
std::string Visible(const char* text, unsigned short length) {
  std::string s = length != 0 ? std::string(text, length) : std::string(text);
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

// Types, scales and null flags of bound parameters.
std::string Params(const XSQLDA* in) {
  std::string out = std::to_string(in != nullptr ? in->sqld : 0);
  for (int i = 0; in != nullptr && i < in->sqld; ++i) {
    const XSQLVAR& v = in->sqlvar[i];
    // Appended piece by piece: GCC 12 at -O3 warns (-Wrestrict) on " " + std::string.
    out += ' ';
    out += std::to_string(v.sqltype);
    out += '/';
    out += std::to_string(v.sqlscale);
    if (v.sqlind != nullptr && *v.sqlind < 0) out += "/null";
  }
  return out;
}

void Line(const char* format, ...) {
  if (Out() == nullptr) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(Out(), format, args);
  va_end(args);
  std::fputc('\n', Out());
}

}  // namespace

extern "C" {

ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* st, short len, const ISC_SCHAR* name, isc_db_handle* db,
                                          short dpbLen, const ISC_SCHAR* dpb) {
  static auto real = Real<decltype(&isc_attach_database)>("isc_attach_database");
  Counting counting("attach");
  const ISC_STATUS rc = real(st, len, name, db, dpbLen, dpb);
  if (rc == 0) dbs[*db] = ++dbCount;
  Line("attach db%d %s%s", rc == 0 ? dbCount : 0, Visible(name, static_cast<unsigned short>(len)).c_str(),
       rc == 0 ? "" : " FAILED");
  return rc;
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* st, isc_db_handle* db) {
  static auto real = Real<decltype(&isc_detach_database)>("isc_detach_database");
  Line("detach db%d", Number(dbs, *db));
  Counting counting("detach");
  return real(st, db);
}

ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS* st, isc_tr_handle* tr, short count, ...) {
  static auto real = Real<decltype(&isc_start_transaction)>("isc_start_transaction");
  va_list args;
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wvarargs"  // the library's signature puts a short before the ...
#endif
  va_start(args, count);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif
  isc_db_handle* db = va_arg(args, isc_db_handle*);
  const int tpbLen = va_arg(args, int);
  const char* tpb = va_arg(args, const char*);
  va_end(args);
  Counting counting("transaction");
  const ISC_STATUS rc = real(st, tr, count, db, tpbLen, tpb);
  if (rc == 0) trs[*tr] = ++trCount;
  std::string bytes;
  for (int i = 0; i < tpbLen; ++i) bytes += std::to_string(static_cast<unsigned char>(tpb[i])) + ".";
  Line("start tr%d db%d tpb %s", rc == 0 ? trCount : 0, Number(dbs, *db), bytes.c_str());
  return rc;
}

ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* st, isc_tr_handle* tr) {
  static auto real = Real<decltype(&isc_commit_transaction)>("isc_commit_transaction");
  Line("commit tr%d", Number(trs, *tr));
  Counting counting("transaction");
  return real(st, tr);
}

ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* st, isc_tr_handle* tr) {
  static auto real = Real<decltype(&isc_rollback_transaction)>("isc_rollback_transaction");
  Line("rollback tr%d", Number(trs, *tr));
  Counting counting("transaction");
  return real(st, tr);
}

ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* st, isc_tr_handle* tr, isc_stmt_handle* stmt, unsigned short len,
                                       const ISC_SCHAR* text, unsigned short dialect, XSQLDA* out) {
  static auto real = Real<decltype(&isc_dsql_prepare)>("isc_dsql_prepare");
  const std::string kind = KindOf(Visible(text, len));
  stmtKinds[*stmt] = kind;
  Counting counting(stmtKinds[*stmt].c_str());
  const ISC_STATUS rc = real(st, tr, stmt, len, text, dialect, out);
  stmts[*stmt] = ++stmtCount;
  stmtKinds[*stmt] = kind;
  Line("prepare tr%d %s%s", Number(trs, *tr), Visible(text, len).c_str(), rc == 0 ? "" : " FAILED");
  return rc;
}

// isc_dsql_execute runs through isc_dsql_execute2: only the latter is written.
ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* st, isc_tr_handle* tr, isc_stmt_handle* stmt,
                                        unsigned short dialect, const XSQLDA* in, const XSQLDA* out) {
  static auto real = Real<decltype(&isc_dsql_execute2)>("isc_dsql_execute2");
  Line("execute tr%d params %s", Number(trs, *tr), Params(in).c_str());
  Counting counting(KindOfStmt(stmt));
  ++Tallies()[current].statements;
  return real(st, tr, stmt, dialect, in, out);
}

// A text run as one request, without a statement of its own.
ISC_STATUS ISC_EXPORT isc_dsql_exec_immed2(ISC_STATUS* st, isc_db_handle* db, isc_tr_handle* tr, unsigned short len,
                                           const ISC_SCHAR* text, unsigned short dialect, const XSQLDA* in,
                                           const XSQLDA* out) {
  static auto real = Real<decltype(&isc_dsql_exec_immed2)>("isc_dsql_exec_immed2");
  const std::string kind = KindOf(Visible(text, len));
  Line("execute once tr%d %s params %s", Number(trs, *tr), Visible(text, len).c_str(), Params(in).c_str());
  Counting counting(kind.c_str());
  ++Tallies()[current].statements;
  return real(st, db, tr, len, text, dialect, in, out);
}

ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* st, isc_stmt_handle* stmt, unsigned short dialect,
                                     const XSQLDA* out) {
  static auto real = Real<decltype(&isc_dsql_fetch)>("isc_dsql_fetch");
  Counting counting(KindOfStmt(stmt));
  const ISC_STATUS rc = real(st, stmt, dialect, out);
  Line(rc == 100 ? "fetch end" : "fetch");
  return rc;
}

ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* st, isc_stmt_handle* stmt, short itemsLen, const ISC_SCHAR* items,
                                        short bufferLen, ISC_SCHAR* buffer) {
  static auto real = Real<decltype(&isc_dsql_sql_info)>("isc_dsql_sql_info");
  std::string list;
  for (short i = 0; i < itemsLen; ++i) {
    list += ' ';
    list += std::to_string(static_cast<unsigned char>(items[i]));
  }
  Line("info%s", list.c_str());
  Counting counting(KindOfStmt(stmt));
  return real(st, stmt, itemsLen, items, bufferLen, buffer);
}

ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* st, isc_stmt_handle* stmt, unsigned short option) {
  static auto real = Real<decltype(&isc_dsql_free_statement)>("isc_dsql_free_statement");
  Counting counting(KindOfStmt(stmt));
  return real(st, stmt, option);
}

// The client library's sockets: a TCP connection it opens.
int connect(int fd, const struct sockaddr* addr, socklen_t len) {
  static auto real = Real<int (*)(int, const struct sockaddr*, socklen_t)>("connect");
  if (addr != nullptr && (addr->sa_family == AF_INET || addr->sa_family == AF_INET6)) serverSockets.insert(fd);
  return real(fd, addr, len);
}

ssize_t send(int fd, const void* buf, size_t len, int flags) {
  static auto real = Real<ssize_t (*)(int, const void*, size_t, int)>("send");
  const ssize_t n = real(fd, buf, len, flags);
  if (n > 0 && serverSockets.count(fd) != 0) sentSinceAnswer = true;
  return n;
}

ssize_t recv(int fd, void* buf, size_t len, int flags) {
  static auto real = Real<ssize_t (*)(int, void*, size_t, int)>("recv");
  const ssize_t n = real(fd, buf, len, flags);
  if (n > 0 && serverSockets.count(fd) != 0 && sentSinceAnswer) {
    sentSinceAnswer = false;
    ++Tallies()[current].roundTrips;
  }
  return n;
}

int close(int fd) {
  static auto real = Real<int (*)(int)>("close");
  serverSockets.erase(fd);
  return real(fd);
}

}  // extern "C"
