#pragma once
// Test databases: fresh main and branch databases built from the db/ scripts
// with the embedded Firebird engine, in throw-away folders.
//
// Each kind of database is built once per process with isql-fb into a private
// template folder (removed at exit); every Create*Database call copies that
// template file, so a fresh database costs one file copy.
//
// The databases have dialect 3 and the default character set ISO8859_1. Text
// is bytes: the helpers attach with no character set (NONE), as the program
// does, so Latin-1 bytes go in and come out unchanged.
//
// Attachments. The embedded engine lets one process at a time open a database
// file. RunSql and QueryText attach inside this process through libfbclient and
// detach before they return, so they may be used while the code under test
// holds its own connections to the same file. RunIsql starts an isql-fb
// process: never call it on a file that this process has attached (an open
// connection of the code under test included); close those first, or isql-fb
// fails with 'I/O error during "lock" operation ... Database already opened
// with engine instance, incompatible with current'.
//
// Branch paths. The program names a branch database RPCO_SERVIDOR + "\datos\"
// + RPCO_COD + "\varnex.fdb" and hands that string to Firebird unchanged. On
// Linux Firebird does not map backslashes: they are plain characters of a file
// name. "/tmp/r/suc1\datos\001\varnex.fdb" is the file named
// "suc1\datos\001\varnex.fdb" in the folder /tmp/r, and the folder form
// /tmp/r/suc1/datos/001/varnex.fdb is not found. BranchDatabasePath gives the
// string the program opens, and CreateBranchDatabase at that string creates
// exactly the file it opens.
//
// Errors are std::runtime_error carrying the server's or isql-fb's text.
// Call from the test's thread only.

#include <string>

namespace dbx {
class TSQLConnection;
}

namespace testsupport {

// Credentials of the test databases (the embedded engine accepts any password).
inline constexpr const char* kUser = "SYSDBA";
inline constexpr const char* kPassword = "masterkey";

// A fresh, empty folder under /tmp (or $TMPDIR), removed with all its contents
// when the object goes. Set CONSOPUNTOS_KEEP_SCRATCH=1 to keep it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The folder, without a trailing slash.
  [[nodiscard]] const std::string& Root() const noexcept { return root_; }
  // Root() + "/" + name.
  [[nodiscard]] std::string Path(const std::string& name) const;

 private:
  std::string root_;
};

// Gives a connection the data module's fixed settings and the database and
// credentials.
void ConfigureConnection(dbx::TSQLConnection& connection, const std::string& database,
                         const std::string& user = kUser, const std::string& password = kPassword);

// Creates a fresh main database (schema_common.sql + schema_main.sql) at path,
// replacing any file there and creating missing parent folders. Returns path.
std::string CreateMainDatabase(const std::string& path);

// Creates a fresh branch database (schema_common.sql + schema_branch.sql) at
// path, as CreateMainDatabase does. Returns path.
std::string CreateBranchDatabase(const std::string& path);

// serverFolder + "/datos/" + company + "/varnex.fdb": the main database path
// that the program builds.
std::string MainDatabasePath(const std::string& serverFolder, const std::string& company);

// server + "\datos\" + code + "\varnex.fdb": the branch database path that the
// program builds (backslashes kept; see above).
std::string BranchDatabasePath(const std::string& server, const std::string& code);

// Runs the statements of script, separated by ";" (quotes and comments
// respected; no SET TERM, so no procedure bodies), each in its own committed
// transaction. Throws at the first statement that fails.
void RunSql(const std::string& database, const std::string& script);

// Runs one SELECT and returns its rows as text: one line per row, joined with
// "\n" (no trailing newline); columns joined with "|". NULL is "NULL"; CHAR
// loses its trailing blanks, VARCHAR is given as stored; integers and
// NUMERIC/DECIMAL in plain digits with exactly their scale ("12.50",
// "-0.123456"); DATE "YYYY-MM-DD"; TIME "HH:MM:SS"; TIMESTAMP
// "YYYY-MM-DD HH:MM:SS"; a fraction of a second adds ".ffff" to both.
// An empty result gives "". Read-only: its transaction is rolled back. A
// statement without result columns throws.
std::string QueryText(const std::string& database, const std::string& select);

// Runs script with isql-fb (connected to database, no character set, stops at
// the first error) and returns what it printed. Use it for scripts with
// SET TERM. Throws with isql-fb's output when a statement fails. Never while
// this process has the database attached (see above).
std::string RunIsql(const std::string& database, const std::string& script);

// text with every single quote doubled, between single quotes.
std::string SqlQuote(const std::string& text);

// --- Seeding helpers (database of either kind unless told) -----------------

// Inserts a TERCEROS row and its CLIENTES row (other columns left to their
// defaults or NULL) and, when auditDate ("YYYY-MM-DD") is not empty, the
// AUDITORIA row that records its insertion on that date (TIDO_COD 103,
// AUDI_OPER 'I').
void AddCustomer(const std::string& database, const std::string& nit, const std::string& name,
                 const std::string& auditDate);

// Inserts one AUDITORIA row for document 103 (or tidoCod) with the given key,
// date ("YYYY-MM-DD") and operation.
void AddAuditRow(const std::string& database, const std::string& nit, const std::string& date,
                 const std::string& oper = "I", int tidoCod = 103);

// Inserts one MOVIMIENTO_PUNTOS row (branch database). points is an SQL
// number ("10.50", "-3"); expiry "YYYY-MM-DD" or empty for never.
void AddPointsMovement(const std::string& branch, const std::string& nit, const std::string& date,
                       const std::string& points, const std::string& expiry);

// Sets CONFIGURACION (INVENTARIO, ARTICULOS, property) to value (main database).
void SetConfiguration(const std::string& main, const std::string& property, const std::string& value);

// --- A company laid out as the program expects it --------------------------

// Under a scratch folder: the server folder <root>/srv, the main database
// <root>/srv/datos/<company>/varnex.fdb with the replication switch "SI" and
// the branch credentials SYSDBA / masterkey, and branches added one by one.
class CompanyLayout {
 public:
  explicit CompanyLayout(const ScratchDir& dir, std::string company = "DEMO");
  CompanyLayout(const CompanyLayout&) = delete;
  CompanyLayout& operator=(const CompanyLayout&) = delete;

  // The text for the server field: <root>/srv.
  [[nodiscard]] const std::string& ServerFolder() const noexcept { return serverFolder_; }
  [[nodiscard]] const std::string& Company() const noexcept { return company_; }
  [[nodiscard]] const std::string& MainPath() const noexcept { return mainPath_; }

  // The RPCO_SERVIDOR of a branch: <root>/suc<code>.
  [[nodiscard]] std::string BranchServer(const std::string& code) const;

  // Appends a REPLICA_COMPANIA row (code of at most 3 characters, name,
  // server or BranchServer(code), RPCO_ERRO 'N') and, when createDatabase,
  // creates the branch database at the path the program opens. Returns that
  // path. Name and server are the program's internal text (ISO-8859-1); the
  // file on disk has the path in UTF-8, as the program opens it, and so has
  // the path returned.
  std::string AddBranch(const std::string& code, const std::string& name, bool createDatabase = true,
                        const std::string& server = {});

 private:
  std::string root_;
  std::string company_;
  std::string serverFolder_;
  std::string mainPath_;
};

}  // namespace testsupport
