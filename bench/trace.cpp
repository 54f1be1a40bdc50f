// bench_trace: a preloaded library that writes the statement stream a process
// sends through the Firebird client library, one line per call, to the file
// named by BENCH_TRACE: attaches, transactions (numbered in the order they
// start), prepared texts, executions and fetches. Handles are replaced by
// their order numbers so two processes sending the same stream write the
// same lines.
//
//   BENCH_TRACE=out.txt LD_PRELOAD=libbench_trace.so program ...
#include <dlfcn.h>
#include <ibase.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <map>
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
  const ISC_STATUS rc = real(st, len, name, db, dpbLen, dpb);
  if (rc == 0) dbs[*db] = ++dbCount;
  Line("attach db%d %s%s", rc == 0 ? dbCount : 0, Visible(name, static_cast<unsigned short>(len)).c_str(),
       rc == 0 ? "" : " FAILED");
  return rc;
}

ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* st, isc_db_handle* db) {
  static auto real = Real<decltype(&isc_detach_database)>("isc_detach_database");
  Line("detach db%d", Number(dbs, *db));
  return real(st, db);
}

ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS* st, isc_tr_handle* tr, short count, ...) {
  static auto real = Real<decltype(&isc_start_transaction)>("isc_start_transaction");
  va_list args;
  va_start(args, count);
  isc_db_handle* db = va_arg(args, isc_db_handle*);
  const int tpbLen = va_arg(args, int);
  const char* tpb = va_arg(args, const char*);
  va_end(args);
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
  return real(st, tr);
}

ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* st, isc_tr_handle* tr) {
  static auto real = Real<decltype(&isc_rollback_transaction)>("isc_rollback_transaction");
  Line("rollback tr%d", Number(trs, *tr));
  return real(st, tr);
}

ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* st, isc_tr_handle* tr, isc_stmt_handle* stmt, unsigned short len,
                                       const ISC_SCHAR* text, unsigned short dialect, XSQLDA* out) {
  static auto real = Real<decltype(&isc_dsql_prepare)>("isc_dsql_prepare");
  const ISC_STATUS rc = real(st, tr, stmt, len, text, dialect, out);
  stmts[*stmt] = ++stmtCount;
  Line("prepare tr%d %s%s", Number(trs, *tr), Visible(text, len).c_str(), rc == 0 ? "" : " FAILED");
  return rc;
}

// isc_dsql_execute runs through isc_dsql_execute2: only the latter is written.
ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* st, isc_tr_handle* tr, isc_stmt_handle* stmt,
                                        unsigned short dialect, const XSQLDA* in, const XSQLDA* out) {
  static auto real = Real<decltype(&isc_dsql_execute2)>("isc_dsql_execute2");
  Line("execute tr%d params %s", Number(trs, *tr), Params(in).c_str());
  return real(st, tr, stmt, dialect, in, out);
}

ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* st, isc_stmt_handle* stmt, unsigned short dialect,
                                     const XSQLDA* out) {
  static auto real = Real<decltype(&isc_dsql_fetch)>("isc_dsql_fetch");
  const ISC_STATUS rc = real(st, stmt, dialect, out);
  Line(rc == 100 ? "fetch end" : "fetch");
  return rc;
}

}  // extern "C"
