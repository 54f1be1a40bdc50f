#include "support/dbfixture.h"

#include <ibase.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>
#include <vector>

#include "dbaccess/encoding.h"
#include "dbaccess/sqlconnection.h"

#ifndef CONSOPUNTOS_SOURCE_DIR
#error "CONSOPUNTOS_SOURCE_DIR must name the source tree"
#endif

namespace fs = std::filesystem;

namespace testsupport {

void ConfigureConnection(dbx::TSQLConnection& c, const std::string& database, const std::string& user,
                         const std::string& password) {
  c.ConnectionName = "IBLocal";
  for (const char* line : {"BlobSize=-1", "CommitRetain=False", "Database=", "DriverName=Interbase",
                           "ErrorResourceFile=", "LocaleCode=0000", "Password=", "RoleName=RoleName", "ServerCharSet=",
                           "SQLDialect=3", "Interbase TransIsolation=ReadCommited", "User_Name=", "WaitOnLocks=True"})
    c.Params().Add(line);
  c.Params().SetValue("Database", database);
  c.Params().SetValue("User_Name", user);
  c.Params().SetValue("password", password);
}

namespace {

std::string TempBase() {
  const char* env = std::getenv("TMPDIR");
  return (env != nullptr && *env != '\0') ? std::string(env) : std::string("/tmp");
}

std::string MakeTempDir(const std::string& prefix) {
  std::string pattern = TempBase() + "/" + prefix + "XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder from " + pattern);
  }
  return std::string(buffer.data());
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string IsqlProgram() {
  const char* env = std::getenv("CONSOPUNTOS_ISQL");
  return (env != nullptr && *env != '\0') ? std::string(env) : std::string("isql-fb");
}

// Runs isql-fb on a script file. isql-fb drops bytes above 127 from a script
// read through a pipe, so scripts always go through -i.
std::string RunIsqlFile(const std::string& scriptPath) {
  std::string command = IsqlProgram() + " -q -b -i " + ShellQuote(scriptPath) + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot start " + command);
  std::string output;
  char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, n);
  int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("isql-fb failed on " + scriptPath + ":\n" + output);
  }
  return output;
}

// The per-process folder holding the two template databases and the scratch
// scripts of RunIsql.
class Templates {
 public:
  static Templates& Instance() {
    static Templates instance;
    return instance;
  }

  const std::string& Main() {
    std::call_once(mainOnce_, [this] { main_ = Build("main.fdb", "schema_main.sql"); });
    return main_;
  }
  const std::string& Branch() {
    std::call_once(branchOnce_, [this] { branch_ = Build("branch.fdb", "schema_branch.sql"); });
    return branch_;
  }
  std::string ScriptPath() { return dir_ + "/script-" + std::to_string(++scripts_) + ".sql"; }

 private:
  Templates() : dir_(MakeTempDir("cpts-tpl-")) {}
  ~Templates() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Build(const std::string& name, const std::string& schema) {
    const std::string db = dir_ + "/" + name;
    const std::string source = std::string(CONSOPUNTOS_SOURCE_DIR) + "/db/";
    std::string script = "SET SQL DIALECT 3;\n";
    script += "CREATE DATABASE " + SqlQuote(db) + " USER " + SqlQuote(kUser) + " PASSWORD " + SqlQuote(kPassword) +
              " PAGE_SIZE 8192 DEFAULT CHARACTER SET ISO8859_1;\n";
    script += "INPUT " + SqlQuote(source + "schema_common.sql") + ";\n";
    script += "INPUT " + SqlQuote(source + schema) + ";\n";
    script += "COMMIT;\n";
    const std::string scriptPath = ScriptPath();
    WriteFile(scriptPath, script);
    RunIsqlFile(scriptPath);
    std::remove(scriptPath.c_str());
    return db;
  }

  std::string dir_;
  std::once_flag mainOnce_, branchOnce_;
  std::string main_, branch_;
  int scripts_ = 0;
};

std::string CopyTemplate(const std::string& templatePath, const std::string& path) {
  const fs::path target(path);
  if (target.has_parent_path()) fs::create_directories(target.parent_path());
  fs::copy_file(templatePath, target, fs::copy_options::overwrite_existing);
  return path;
}

// --- libfbclient, for the in-process helpers -------------------------------

std::string StatusText(const ISC_STATUS* status) {
  std::string text;
  char buffer[1024];
  const ISC_STATUS* cursor = status;
  while (fb_interpret(buffer, sizeof buffer, &cursor) > 0) {
    if (!text.empty()) text += "\n";
    text += buffer;
  }
  return text;
}

void Check(const ISC_STATUS* status, const std::string& what) {
  if (status[0] == 1 && status[1] != 0) {
    throw std::runtime_error(what + ": " + StatusText(status));
  }
}

class Attachment {
 public:
  explicit Attachment(const std::string& path) {
    std::string dpb(1, static_cast<char>(isc_dpb_version1));
    auto add = [&dpb](char tag, const std::string& value) {
      dpb += tag;
      dpb += static_cast<char>(value.size());
      dpb += value;
    };
    add(isc_dpb_user_name, kUser);
    add(isc_dpb_password, kPassword);
    ISC_STATUS_ARRAY status;
    isc_attach_database(status, 0, path.c_str(), &handle_, static_cast<short>(dpb.size()), dpb.data());
    Check(status, "attach " + path);
  }
  ~Attachment() {
    ISC_STATUS_ARRAY status;
    if (handle_ != 0) isc_detach_database(status, &handle_);
  }
  Attachment(const Attachment&) = delete;
  Attachment& operator=(const Attachment&) = delete;
  isc_db_handle* Handle() { return &handle_; }

 private:
  isc_db_handle handle_ = 0;
};

class Transaction {
 public:
  explicit Transaction(Attachment& db) {
    ISC_STATUS_ARRAY status;
    isc_start_transaction(status, &handle_, 1, db.Handle(), 0, nullptr);
    Check(status, "start transaction");
  }
  ~Transaction() {
    ISC_STATUS_ARRAY status;
    if (handle_ != 0) isc_rollback_transaction(status, &handle_);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  void Commit() {
    ISC_STATUS_ARRAY status;
    isc_commit_transaction(status, &handle_);
    Check(status, "commit");
  }
  isc_tr_handle* Handle() { return &handle_; }

 private:
  isc_tr_handle handle_ = 0;
};

// Splits a script at the semicolons that lie outside quotes and comments.
std::vector<std::string> SplitStatements(const std::string& script) {
  std::vector<std::string> statements;
  std::string current;
  auto flush = [&] {
    const auto first = current.find_first_not_of(" \t\r\n");
    if (first != std::string::npos) {
      const auto last = current.find_last_not_of(" \t\r\n");
      statements.push_back(current.substr(first, last - first + 1));
    }
    current.clear();
  };
  for (size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    if (c == '\'' || c == '"') {
      const size_t end = script.find(c, i + 1);
      const size_t stop = end == std::string::npos ? script.size() : end + 1;
      current.append(script, i, stop - i);
      i = stop - 1;
    } else if (c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
      const size_t end = script.find('\n', i);
      i = end == std::string::npos ? script.size() : end;
      current += '\n';
    } else if (c == '/' && i + 1 < script.size() && script[i + 1] == '*') {
      const size_t end = script.find("*/", i + 2);
      i = end == std::string::npos ? script.size() : end + 1;
      current += ' ';
    } else if (c == ';') {
      flush();
    } else {
      current += c;
    }
  }
  flush();
  return statements;
}

std::string Decimal(int64_t value, int scale) {
  const bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string digits = std::to_string(magnitude);
  const size_t places = scale < 0 ? static_cast<size_t>(-scale) : 0;
  if (places > 0) {
    if (digits.size() <= places) digits.insert(0, places - digits.size() + 1, '0');
    digits.insert(digits.size() - places, 1, '.');
  } else if (scale > 0) {
    digits.append(static_cast<size_t>(scale), '0');
  }
  if (negative) digits.insert(0, 1, '-');
  return digits;
}

std::string DateText(ISC_DATE date) {
  struct tm parts {};
  isc_decode_sql_date(&date, &parts);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
  return buffer;
}

std::string TimeText(ISC_TIME time) {
  struct tm parts {};
  isc_decode_sql_time(&time, &parts);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", parts.tm_hour, parts.tm_min, parts.tm_sec);
  std::string text = buffer;
  const unsigned fraction = time % 10000;
  if (fraction != 0) {
    std::snprintf(buffer, sizeof buffer, ".%04u", fraction);
    text += buffer;
  }
  return text;
}

std::string ColumnText(const XSQLVAR& var) {
  if ((var.sqltype & 1) != 0 && *var.sqlind == -1) return "NULL";
  const char* data = var.sqldata;
  switch (var.sqltype & ~1) {
    case SQL_TEXT: {
      std::string text(data, static_cast<size_t>(var.sqllen));
      const auto last = text.find_last_not_of(' ');
      return last == std::string::npos ? std::string() : text.substr(0, last + 1);
    }
    case SQL_VARYING: {
      short length;
      std::memcpy(&length, data, sizeof length);
      return std::string(data + sizeof length, static_cast<size_t>(length));
    }
    case SQL_SHORT: {
      short v;
      std::memcpy(&v, data, sizeof v);
      return Decimal(v, var.sqlscale);
    }
    case SQL_LONG: {
      ISC_LONG v;
      std::memcpy(&v, data, sizeof v);
      return Decimal(v, var.sqlscale);
    }
    case SQL_INT64: {
      ISC_INT64 v;
      std::memcpy(&v, data, sizeof v);
      return Decimal(v, var.sqlscale);
    }
    case SQL_FLOAT: {
      float v;
      std::memcpy(&v, data, sizeof v);
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(v));
      return buffer;
    }
    case SQL_DOUBLE: {
      double v;
      std::memcpy(&v, data, sizeof v);
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.15g", v);
      return buffer;
    }
    case SQL_TYPE_DATE: {
      ISC_DATE v;
      std::memcpy(&v, data, sizeof v);
      return DateText(v);
    }
    case SQL_TYPE_TIME: {
      ISC_TIME v;
      std::memcpy(&v, data, sizeof v);
      return TimeText(v);
    }
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP v;
      std::memcpy(&v, data, sizeof v);
      return DateText(v.timestamp_date) + " " + TimeText(v.timestamp_time);
    }
    case SQL_BOOLEAN:
      return *data != 0 ? "TRUE" : "FALSE";
    case SQL_BLOB:
      return "<blob>";
    default:
      return "<type " + std::to_string(var.sqltype & ~1) + ">";
  }
}

struct SqldaDeleter {
  void operator()(XSQLDA* p) const { std::free(p); }
};
using SqldaPtr = std::unique_ptr<XSQLDA, SqldaDeleter>;

SqldaPtr NewSqlda(short count) {
  auto* p = static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(count)));
  if (p == nullptr) throw std::bad_alloc();
  p->version = SQLDA_VERSION1;
  p->sqln = count;
  return SqldaPtr(p);
}

}  // namespace

// --- ScratchDir ---------------------------------------------------------------

ScratchDir::ScratchDir() : root_(MakeTempDir("cpts-")) {}

ScratchDir::~ScratchDir() {
  const char* keep = std::getenv("CONSOPUNTOS_KEEP_SCRATCH");
  if (keep != nullptr && *keep != '\0' && std::string(keep) != "0") return;
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string ScratchDir::Path(const std::string& name) const { return root_ + "/" + name; }

// --- Databases ----------------------------------------------------------------

std::string CreateMainDatabase(const std::string& path) { return CopyTemplate(Templates::Instance().Main(), path); }

std::string CreateBranchDatabase(const std::string& path) { return CopyTemplate(Templates::Instance().Branch(), path); }

std::string MainDatabasePath(const std::string& serverFolder, const std::string& company) {
  return serverFolder + "/datos/" + company + "/varnex.fdb";
}

std::string BranchDatabasePath(const std::string& server, const std::string& code) {
  return server + "\\datos\\" + code + "\\varnex.fdb";
}

std::string SqlQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

void RunSql(const std::string& database, const std::string& script) {
  Attachment db(database);
  for (const std::string& statement : SplitStatements(script)) {
    Transaction tr(db);
    ISC_STATUS_ARRAY status;
    isc_dsql_execute_immediate(status, db.Handle(), tr.Handle(), 0, statement.c_str(), SQL_DIALECT_V6, nullptr);
    Check(status, statement);
    tr.Commit();
  }
}

std::string QueryText(const std::string& database, const std::string& select) {
  Attachment db(database);
  Transaction tr(db);
  ISC_STATUS_ARRAY status;
  isc_stmt_handle stmt = 0;
  isc_dsql_allocate_statement(status, db.Handle(), &stmt);
  Check(status, "allocate statement");
  struct StatementGuard {
    isc_stmt_handle* h;
    ~StatementGuard() {
      ISC_STATUS_ARRAY s;
      isc_dsql_free_statement(s, h, DSQL_drop);
    }
  } guard{&stmt};

  SqldaPtr out = NewSqlda(1);
  isc_dsql_prepare(status, tr.Handle(), &stmt, 0, select.c_str(), SQL_DIALECT_V6, out.get());
  Check(status, select);
  if (out->sqld > out->sqln) {
    out = NewSqlda(out->sqld);
    isc_dsql_describe(status, &stmt, SQL_DIALECT_V6, out.get());
    Check(status, "describe");
  }
  if (out->sqld == 0) throw std::runtime_error("no result columns (use RunSql): " + select);
  const int columns = out->sqld;
  std::vector<std::vector<char>> buffers(static_cast<size_t>(columns));
  std::vector<short> indicators(static_cast<size_t>(columns), 0);
  for (int i = 0; i < columns; ++i) {
    XSQLVAR& var = out->sqlvar[i];
    size_t size = static_cast<size_t>(var.sqllen) + 2;
    buffers[static_cast<size_t>(i)].assign(size, '\0');
    var.sqldata = buffers[static_cast<size_t>(i)].data();
    var.sqlind = &indicators[static_cast<size_t>(i)];
  }
  isc_dsql_execute(status, tr.Handle(), &stmt, SQL_DIALECT_V6, nullptr);
  Check(status, select);

  std::string text;
  bool firstRow = true;
  for (;;) {
    const ISC_STATUS fetched = isc_dsql_fetch(status, &stmt, SQL_DIALECT_V6, out.get());
    if (fetched == 100) break;
    Check(status, "fetch");
    if (!firstRow) text += "\n";
    firstRow = false;
    for (int i = 0; i < columns; ++i) {
      if (i > 0) text += "|";
      text += ColumnText(out->sqlvar[i]);
    }
  }
  return text;
}

std::string RunIsql(const std::string& database, const std::string& script) {
  std::string text =
      "CONNECT " + SqlQuote(database) + " USER " + SqlQuote(kUser) + " PASSWORD " + SqlQuote(kPassword) + ";\n";
  text += script;
  text += "\nCOMMIT;\n";
  const std::string path = Templates::Instance().ScriptPath();
  WriteFile(path, text);
  std::string output;
  try {
    output = RunIsqlFile(path);
  } catch (...) {
    std::remove(path.c_str());
    throw;
  }
  std::remove(path.c_str());
  return output;
}

// --- Seeding ------------------------------------------------------------------

void AddCustomer(const std::string& database, const std::string& nit, const std::string& name,
                 const std::string& auditDate) {
  RunSql(database, "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES (" + SqlQuote(nit) + ", " + SqlQuote(name) +
                       ");\nINSERT INTO CLIENTES (TERC_NIT) VALUES (" + SqlQuote(nit) + ")");
  if (!auditDate.empty()) AddAuditRow(database, nit, auditDate);
}

void AddAuditRow(const std::string& database, const std::string& nit, const std::string& date, const std::string& oper,
                 int tidoCod) {
  RunSql(database, "INSERT INTO AUDITORIA (TIDO_COD, AUDI_COD, AUDI_FECHA, AUDI_OPER) VALUES (" +
                       std::to_string(tidoCod) + ", " + SqlQuote(nit) + ", DATE " + SqlQuote(date) + ", " +
                       SqlQuote(oper) + ")");
}

void AddPointsMovement(const std::string& branch, const std::string& nit, const std::string& date,
                       const std::string& points, const std::string& expiry) {
  RunSql(branch, "INSERT INTO MOVIMIENTO_PUNTOS (TERC_NIT, MOPU_FECHA, MOPU_PUNTOS, MOPU_VENCE) VALUES (" +
                     SqlQuote(nit) + ", DATE " + SqlQuote(date) + ", " + points + ", " +
                     (expiry.empty() ? std::string("NULL") : "DATE " + SqlQuote(expiry)) + ")");
}

void SetConfiguration(const std::string& main, const std::string& property, const std::string& value) {
  RunSql(main,
         "UPDATE OR INSERT INTO CONFIGURACION (CONF_MODULO, CONF_CATEGORIA, CONF_PROPIEDAD, "
         "CONF_VALOR) VALUES ('INVENTARIO', 'ARTICULOS', " +
             SqlQuote(property) + ", " + SqlQuote(value) + ")");
}

// --- CompanyLayout --------------------------------------------------------------

CompanyLayout::CompanyLayout(const ScratchDir& dir, std::string company)
    : root_(dir.Root()),
      company_(std::move(company)),
      serverFolder_(root_ + "/srv"),
      mainPath_(MainDatabasePath(serverFolder_, company_)) {
  CreateMainDatabase(mainPath_);
  SetConfiguration(mainPath_, "REPLICAR CAMBIOS EN ARTICULOS", "SI");
  SetConfiguration(mainPath_, "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS", kUser);
  SetConfiguration(mainPath_, "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS", kPassword);
}

std::string CompanyLayout::BranchServer(const std::string& code) const { return root_ + "/suc" + code; }

std::string CompanyLayout::AddBranch(const std::string& code, const std::string& name, bool createDatabase,
                                     const std::string& serverFolder) {
  const std::string server = serverFolder.empty() ? BranchServer(code) : serverFolder;
  if (code.size() > 3 || server.size() > 60) {
    throw std::runtime_error("branch " + code + " does not fit REPLICA_COMPANIA: " + server);
  }
  RunSql(mainPath_, "INSERT INTO REPLICA_COMPANIA (RPCO_COD, RPCP_NOMBRE, RPCO_SERVIDOR, RPCO_ERRO) VALUES (" +
                        SqlQuote(code) + ", " + SqlQuote(name) + ", " + SqlQuote(server) + ", 'N')");
  const std::string path = dbx::Latin1ToUtf8(BranchDatabasePath(server, code));
  if (createDatabase) CreateBranchDatabase(path);
  return path;
}

}  // namespace testsupport

// libfbclient keeps a few buffers for the life of the process (character
// conversions, big-number support of the wire protocol); they are no leaks of
// ours. Linked into every test executable, so sanitizer runs stay clean.
extern "C" __attribute__((used, visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:libtommath.so\nleak:__gconv_open\nleak:__gconv_lookup_cache\n";
}
