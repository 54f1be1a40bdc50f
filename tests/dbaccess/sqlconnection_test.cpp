// Connections and statements on throw-away embedded databases.
#include "dbaccess/sqlconnection.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "dbaccess/errors.h"
#include "dbaccess/sqltext.h"
#include "support/dbfixture.h"
#include "dbaccess/encoding.h"

using namespace dbx;

namespace {

const char* const kUser = "SYSDBA";
const char* const kPassword = "masterkey";

// CREATE DATABASE in an isql-fb process: the engine that creates a database
// keeps some buffers for the life of its process, so not in this one.
void CreateDatabase(const std::string& path) {
  const std::string sql = "CREATE DATABASE " + testsupport::SqlQuote(path) + " USER '" + kUser + "' PASSWORD '" +
                          kPassword + "' DEFAULT CHARACTER SET ISO8859_1;\n";
  FILE* isql = popen("isql-fb -q -bail >/dev/null 2>&1", "w");
  if (isql == nullptr) throw std::runtime_error("isql-fb not started");
  std::fputs(sql.c_str(), isql);
  if (pclose(isql) != 0) throw std::runtime_error("isql-fb failed: " + sql);
}


std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "<no EDatabaseError>";
}

class SqlConnectionDb : public ::testing::Test {
 protected:
  void SetUp() override {
    database = dir.Path("t.fdb");
    CreateDatabase(database);
    conn = new TSQLConnection(&owner, "Varnex");
    testsupport::ConfigureConnection(*conn, database);
    conn->Open();
    other = new TSQLConnection(&owner, "ConReplica");
    testsupport::ConfigureConnection(*other, database);
    q = new TSQLQuery(&owner, "QBorrar");
    q->SetSQLConnection(conn);
    Exec(
        "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, NOMBRE VARCHAR(20), COD CHAR(3), "
        "N152 NUMERIC(15,2), N185 NUMERIC(18,5), N92 NUMERIC(9,2) NOT NULL, N41 NUMERIC(4,1), "
        "S SMALLINT, B BIGINT, D DOUBLE PRECISION, F DATE, H TIME, TS TIMESTAMP, "
        "MEMO BLOB SUB_TYPE 1, BIN BLOB SUB_TYPE 0, FLAG BOOLEAN)");
  }

  int Exec(const std::string& sql) {
    q->SQL().Clear();
    q->SQL().Add(sql);
    return q->ExecSQL();
  }

  // Rows of a one-column query on the given connection, as integers.
  std::vector<std::int64_t> Ints(TSQLConnection* c, const std::string& sql) {
    TSQLQuery r(nullptr, "QLeer");
    r.SetSQLConnection(c);
    r.SQL().Add(sql);
    r.Open();
    std::vector<std::int64_t> out;
    for (; !r.Eof(); r.Next()) out.push_back(std::get<std::int64_t>(r.Row().at(0)));
    return out;
  }

  testsupport::ScratchDir dir;
  std::string database;
  TComponent owner;
  TSQLConnection* conn = nullptr;
  TSQLConnection* other = nullptr;
  TSQLQuery* q = nullptr;
};

}  // namespace

TEST(SqlConnectionParams, NameValueRules) {
  TStringList p;
  p.Add("Password=old");
  p.Add("USER_NAME=a");
  p.Add("Database");  // no "=": never a name
  p.Add("DriverName=Interbase");

  p.SetValue("User_Name", "b");
  EXPECT_EQ(p[1], "User_Name=b");
  EXPECT_EQ(p.Value("user_name"), "b");

  EXPECT_EQ(p.IndexOfName("Database"), -1);
  EXPECT_EQ(p.Value("Database"), "");
  p.SetValue("Database", "x.fdb");
  EXPECT_EQ(p.Count(), 5);
  EXPECT_EQ(p[4], "Database=x.fdb");

  p.SetValue("password", "");
  EXPECT_EQ(p.IndexOfName("Password"), -1);
  EXPECT_EQ(p.Count(), 4);
  p.SetValue("NoSuch", "");
  EXPECT_EQ(p.Count(), 4);
}

TEST(SqlConnectionErrors, ComposeTable) {
  TSQLConnection c(nullptr, "Varnex");
  struct Case {
    int status;
    std::string server;
    std::string last;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {21, "T1\r\nT2", "", "dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: T1\r\nT2"},
      {21, "", "", "dbExpress Error: [0x0015]: Connection failed"},
      {11, "", "", "dbExpress Error: dbExpress Error [0x000B]: Parameter Not Set"},
      {65, "", "", "dbExpress Error: [0x0065]: SQL Error"},
      {101, "violation of PRIMARY", "X", "SQL Server Error: violation of PRIMARY"},
      {101, "", "", "dbExpress Error: Error de código desconocido '101'"_l1},
      {101, "", "X", "X"},
      {18, "", "", "dbExpress Error: Error de código desconocido '18'"_l1},  // not in the table
  };
  for (const auto& k : cases) {
    std::string last = k.last;
    EXPECT_EQ(c.ComposeError(k.status, k.server, last), k.expected) << k.status;
    EXPECT_EQ(last, k.expected);
  }
  // RaiseError stores the message as the connection's last error.
  EXPECT_EQ(ErrorOf([&] { c.RaiseError(21, "boom"); }),
            "dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: boom");
  EXPECT_EQ(ErrorOf([&] { c.RaiseError(500, ""); }),
            "dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: boom");
  EXPECT_EQ(c.LastError(), "dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: boom");
}

TEST(SqlConnectionAttach, PropertyChecks) {
  TSQLConnection c(nullptr, "Varnex");
  testsupport::ConfigureConnection(c, "/nonexistent/x.fdb");
  c.DriverName.clear();
  EXPECT_EQ(ErrorOf([&] { c.Open(); }), "Falta la propiedad DriverName");
  c.DriverName = "Interbase";
  c.VendorLib.clear();
  EXPECT_EQ(ErrorOf([&] { c.Open(); }), "Varnex: Nombre de DLL/Librería Compartida no especificado"_l1);
  c.VendorLib = "GDS32.DLL";
  c.Params().SetValue("Database", " \t ");
  EXPECT_EQ(ErrorOf([&] { c.Open(); }), "Falta la propiedad DataBase");
  c.ConnectionName.clear();
  EXPECT_EQ(ErrorOf([&] { c.Open(); }), "Falta el nombre de la conexión"_l1);
  EXPECT_EQ(c.ConnectionState(), csClosed);
}

TEST(SqlConnectionAttach, MissingDatabaseThenCorrected) {
  testsupport::ScratchDir dir;
  const std::string missing = dir.Path("no-such.fdb");
  TSQLConnection c(nullptr, "ConReplica");
  testsupport::ConfigureConnection(c, "  " + missing + "\r\n");  // trimmed before the attach
  const std::string message = ErrorOf([&] { c.Open(); });
  EXPECT_EQ(message.rfind("dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: I/O error during \"open\" "
                          "operation for file \"" +
                              missing + "\"",
                          0),
            0u)
      << message;
  EXPECT_EQ(c.LastError(), message);
  EXPECT_EQ(c.ConnectionState(), csClosed);
  EXPECT_FALSE(c.Connected());

  const std::string good = dir.Path("good.fdb");
  CreateDatabase(good);
  c.Params().SetValue("Database", good);
  c.SetConnected(true);
  EXPECT_EQ(c.ConnectionState(), csOpen);
  EXPECT_EQ(c.QuoteChar(), "\"");
  c.SetConnected(true);  // already open: nothing
  EXPECT_EQ(c.ConnectionState(), csOpen);
  c.SetConnected(false);
  EXPECT_EQ(c.ConnectionState(), csClosed);
  c.SetConnected(false);
  EXPECT_EQ(c.ConnectionState(), csClosed);
}

TEST(SqlConnectionAttach, IsolationFromDriverKey) {
  testsupport::ScratchDir dir;
  const std::string db = dir.Path("i.fdb");
  CreateDatabase(db);
  TSQLConnection c(nullptr, "Varnex");
  testsupport::ConfigureConnection(c, db);
  struct Case {
    std::string value;
    int level;
  };
  for (const Case& k : std::vector<Case>{{"ReadCommited", xilReadCommitted},
                                         {"REPEATABLEREAD", xilRepeatableRead},
                                         {"dirtyread", xilDirtyRead},
                                         {" DirtyRead ", xilReadCommitted},  // compared as it stands
                                         {"", xilReadCommitted}}) {
    c.Close();
    c.Params().SetValue("interbase transisolation", k.value);
    c.Open();
    EXPECT_EQ(c.IsolationLevel(), k.level) << k.value;
  }
}

TEST_F(SqlConnectionDb, StatementMessages) {
  q->SQL().Clear();
  EXPECT_EQ(ErrorOf([&] { q->Open(); }), "QBorrar: No hay ninguna declaración SQL disponible"_l1);
  EXPECT_EQ(ErrorOf([&] { q->ExecSQL(); }), "QBorrar: No hay ninguna declaración SQL disponible"_l1);

  Exec("INSERT INTO T (ID, N92) VALUES (1, 0)");
  q->SQL().Clear();
  q->SQL().Add("DELETE FROM T");
  EXPECT_EQ(ErrorOf([&] { q->Open(); }), "QBorrar: Cursor no devuelto por la consulta");
  EXPECT_EQ(Ints(conn, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{1});  // not run by Open

  q->SQL().Clear();
  q->SQL().Add("SELECT ID FROM T");
  q->Open();
  EXPECT_EQ(ErrorOf([&] { q->ExecSQL(); }), "QBorrar: No es posible efectuar ésta operación en un DataSet abierto"_l1);
  EXPECT_TRUE(q->Active());
  q->SQL().Add("WHERE ID = 2");  // any change closes the statement
  EXPECT_FALSE(q->Active());
  q->Open();
  EXPECT_TRUE(q->IsEmpty());
  EXPECT_TRUE(q->Eof());

  // A procedure with outputs returns a row but no cursor: Open neither runs
  // it nor takes it for a select; a select behind comments is one.
  q->Close();
  Exec("CREATE PROCEDURE MARCAR RETURNS (R INTEGER) AS BEGIN INSERT INTO T (ID, N92) VALUES (5, 0); R = 5; END");
  q->SQL().Clear();
  q->SQL().Add("EXECUTE PROCEDURE MARCAR");
  EXPECT_EQ(ErrorOf([&] { q->Open(); }), "QBorrar: Cursor no devuelto por la consulta");
  EXPECT_EQ(Ints(conn, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{1});
  q->SQL().Clear();
  q->SQL().Add("/* primero */ -- el total\r\n  select COUNT(*) FROM T");
  q->Open();
  EXPECT_EQ(q->Row()[0], Variant{std::int64_t{1}});

  // A text longer than the client library's length field runs whole (here
  // a cut would drop the WHERE and delete all); one that holds a NUL, or
  // longer than the engine takes, is refused whole.
  q->Close();
  q->SQL().Clear();
  const std::string longText = "DELETE FROM T WHERE ID = 99 AND '" + std::string(65535, 'x') + "' = ''";
  q->SQL().Add(longText);  // the statement's text ends with CR LF
  q->ExecSQL();
  const std::string withNul = "DELETE FROM T WHERE ID = 99 AND '" + std::string(65535, '\0') + "' = ''";
  EXPECT_EQ(ErrorOf([&] { conn->Execute(withNul, {}); }),
            "La declaración SQL tiene "_l1 + std::to_string(withNul.size()) + " bytes; el m\xE1ximo es 65535");
  const std::string tooLong = "DELETE FROM T WHERE '" + std::string(10 * 1024 * 1024, 'x') + "' = ''";
  EXPECT_EQ(ErrorOf([&] { conn->Execute(tooLong, {}); }),
            "La declaración SQL tiene "_l1 + std::to_string(tooLong.size()) + " bytes; el m\xE1ximo es 10485760");
  EXPECT_EQ(Ints(conn, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{1});
}

// Each failure keeps every code the server gave, its SQLCODE and SQLSTATE,
// and the category the batch and the lock read.
TEST_F(SqlConnectionDb, ServerErrorsKeepTheirIdentity) {
  Exec("INSERT INTO T (ID, N92) VALUES (1, 0)");
  struct Case {
    const char* sql;
    long code;  // one of the gds codes the status holds
    long sqlCode;
    const char* sqlState;
    TErrorCategory category;
  };
  const Case cases[] = {
      {"INSERT INTO T (ID, N92) VALUES (1, 0)", isc_unique_key_violation, -803, "23000", TErrorCategory::kConstraint},
      {"INSERT INTO T (ID) VALUES (2)", isc_not_valid, -625, "23000", TErrorCategory::kConstraint},
      {"INSERT INTO T (ID, N92) VALUES (3, 'abc')", isc_convert_error, -413, "22018", TErrorCategory::kConversion},
      {"UPDATE T SET S = 100000", isc_arith_except, -802, "22003", TErrorCategory::kConversion},
      {"SELEC 1 FROM RDB$DATABASE", isc_dsql_token_unk_err, -104, "42000", TErrorCategory::kOther},
      {"DELETE FROM NO_EXISTE", isc_dsql_relation_err, -204, "42S02", TErrorCategory::kOther},
  };
  for (const Case& c : cases) {
    TServerError server;
    try {
      conn->Execute(c.sql, {});
      ADD_FAILURE() << c.sql << " ran";
    } catch (const EDatabaseError& e) {
      server = e.Server();
      EXPECT_EQ(e.ServerCode(), server.codes.empty() ? 0 : server.codes.front()) << c.sql;
    }
    EXPECT_NE(std::find(server.codes.begin(), server.codes.end(), c.code), server.codes.end()) << c.sql;
    EXPECT_EQ(server.sqlCode, c.sqlCode) << c.sql;
    EXPECT_EQ(server.sqlState, c.sqlState) << c.sql;
    EXPECT_EQ(server.category, c.category) << c.sql;
  }
  EXPECT_EQ(Ints(conn, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{1});
}

// Blocks stay prepared while their texts come again, the most recent
// first: more texts than are kept, taken in turn and freed between, each
// give their own outputs.
TEST_F(SqlConnectionDb, KeptBlocksAnswerForTheirOwnTexts) {
  FieldDesc r;
  r.name = "R";
  r.type = ftInteger;
  const auto text = [](int k) {
    return "EXECUTE BLOCK (X INTEGER = ?) RETURNS (R INTEGER) AS BEGIN R = X * " + std::to_string(k) +
           "; SUSPEND; END";
  };
  for (int round = 0; round < 3; ++round) {
    for (int k : {1, 2, 3, 4, 5, 6, 2, 2, 6}) {
      const Variant x{std::int64_t{round + 10}};
      const std::vector<Variant> expected{Variant{std::int64_t{(round + 10) * k}}};
      EXPECT_EQ(conn->ExecuteBlock(text(k), {&x}, {r}, false), expected) << k;
    }
    if (round == 1) conn->ReleaseKeptStatements();
  }
  EXPECT_EQ(conn->ConnectionState(), csOpen);
  // A block that fails leaves the connection open for the next.
  const Variant zero{std::int64_t{0}};
  EXPECT_NE(ErrorOf([&] { conn->ExecuteBlock(text(1) + " x", {&zero}, {r}, false); }), "");
  EXPECT_EQ(conn->ConnectionState(), csOpen);
  EXPECT_EQ(conn->ExecuteBlock(text(3), {&zero}, {r}, false), std::vector<Variant>{Variant{std::int64_t{0}}});
}

// Kept statements: more texts than are kept, each run again, count their
// own rows; a text kept on one statement object serves another.
TEST_F(SqlConnectionDb, KeptStatementsCountTheirOwnRows) {
  conn->KeepStatements = true;
  for (int id = 1; id <= 10; ++id) Exec("INSERT INTO T (ID, N92) VALUES (" + std::to_string(id) + ", 0)");
  for (int round = 0; round < 2; ++round)
    for (int limit = 1; limit <= 10; ++limit)
      EXPECT_EQ(Exec("UPDATE T SET S = " + std::to_string(round) + " WHERE ID <= " + std::to_string(limit)), limit)
          << limit;
  TSQLQuery again(nullptr, "QOtra");
  again.SetSQLConnection(conn);
  again.SQL().Add("UPDATE T SET S = 1 WHERE ID <= 10");
  EXPECT_EQ(again.ExecSQL(), 10);
  EXPECT_EQ(Ints(conn, "SELECT SUM(S) FROM T"), std::vector<std::int64_t>{10});
}

TEST_F(SqlConnectionDb, RejectedStatementLeavesConnectionUsable) {
  Exec("INSERT INTO T (ID, N92) VALUES (1, 0)");
  const std::string message = ErrorOf([&] { Exec("INSERT INTO T (ID, N92) VALUES (1, 0)"); });
  EXPECT_EQ(message.rfind("SQL Server Error: violation of PRIMARY or UNIQUE KEY constraint", 0), 0u) << message;
  EXPECT_EQ(message.substr(18, 20), "violation of PRIMARY");
  EXPECT_NE(message.find("\r\n"), std::string::npos);  // the server's later messages follow
  EXPECT_EQ(conn->LastError(), message);
  EXPECT_FALSE(q->Active());
  EXPECT_EQ(conn->ConnectionState(), csOpen);
  // The client library's code goes with the text: a rejected row is not a
  // lost connection.
  try {
    Exec("INSERT INTO T (ID, N92) VALUES (1, 0)");
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.ServerCode(), 335544665L);  // isc_unique_key_violation
  }

  // Syntax errors come from the prepare; the connection goes on.
  const std::string syntax = ErrorOf([&] { Exec("SELEC nothing"); });
  EXPECT_EQ(syntax.rfind("SQL Server Error: Dynamic SQL Error", 0), 0u) << syntax;
  EXPECT_EQ(Exec("INSERT INTO T (ID, N92) VALUES (2, 0)"), 1);
  EXPECT_EQ(Ints(conn, "SELECT ID FROM T ORDER BY ID"), (std::vector<std::int64_t>{1, 2}));

  // Connection-level execute reports the same form and leaves the state open.
  const std::string dup = ErrorOf([&] {
    conn->Execute("INSERT INTO T (ID, N92) VALUES (?, ?)", {{ftInteger, std::int64_t{2}}, {ftBCD, Decimal{0, 2, 9}}});
  });
  EXPECT_EQ(dup.substr(0, 38), "SQL Server Error: violation of PRIMARY");
  EXPECT_EQ(conn->ConnectionState(), csOpen);
  EXPECT_EQ(ErrorOf([&] { conn->Execute("DELETE FROM T WHERE ID = ?", {}); }),
            "dbExpress Error: dbExpress Error [0x000B]: Parameter Not Set");
}

// Parameters are counted by the server, not by looking for "?" in the text.
TEST_F(SqlConnectionDb, ParameterCountsFromTheServer) {
  EXPECT_EQ(conn->Execute("INSERT INTO T (ID, N92, NOMBRE) VALUES (1, 0, '?') /* ? */", {}), 1);
  EXPECT_EQ(ErrorOf([&] {
              conn->Execute("DELETE FROM T WHERE ID = 1", {{ftInteger, std::int64_t{1}}});
            }),
            "dbExpress Error: [0x0009]: Invalid Parameter");
  EXPECT_EQ(ErrorOf([&] {
              conn->Execute("UPDATE T SET NOMBRE = ? WHERE ID = ?", {{ftString, std::string("x")}});
            }),
            "dbExpress Error: dbExpress Error [0x000B]: Parameter Not Set");
  EXPECT_EQ(conn->Execute("UPDATE T SET NOMBRE = ? WHERE ID = ? AND NOMBRE = '?'",
                          {{ftString, std::string("y")}, {ftInteger, std::int64_t{1}}}),
            1);
  q->SQL().SetText("SELECT ID FROM T WHERE ID = ?");
  EXPECT_EQ(ErrorOf([&] { q->Open(); }), "dbExpress Error: dbExpress Error [0x000B]: Parameter Not Set");
  q->SQL().SetText("SELECT NOMBRE FROM T WHERE NOMBRE <> '?'");
  q->Open();
  EXPECT_FALSE(q->IsEmpty());
  q->Close();
  EXPECT_EQ(ErrorOf([&] { Exec("DELETE FROM T WHERE ID = ?"); }),
            "dbExpress Error: dbExpress Error [0x000B]: Parameter Not Set");
  EXPECT_EQ(Ints(conn, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{1});

  // A statement whose parameters nobody binds is refused unrun, also inside
  // an explicit transaction, which goes on.
  other->Open();
  conn->StartTransaction(conn->IsolationLevel());
  EXPECT_EQ(ErrorOf([&] { Exec("UPDATE T SET N92 = ?"); }),
            "dbExpress Error: dbExpress Error [0x000B]: Parameter Not Set");
  EXPECT_EQ(ErrorOf([&] { conn->Execute("UPDATE T SET N92 = ? WHERE ID = 1", {}); }),
            "dbExpress Error: dbExpress Error [0x000B]: Parameter Not Set");
  EXPECT_TRUE(conn->InTransaction());
  EXPECT_EQ(Exec("UPDATE T SET N92 = 7"), 1);
  conn->Commit();
  EXPECT_EQ(Ints(other, "SELECT CAST(N92 AS INTEGER) FROM T"), std::vector<std::int64_t>{7});
}

TEST_F(SqlConnectionDb, CommittedOnCompletionAndRowsAffected) {
  other->Open();
  EXPECT_EQ(Exec("INSERT INTO T (ID, N92) SELECT RDB$RELATION_ID, 0 FROM RDB$RELATIONS ROWS 3"), 3);
  EXPECT_EQ(q->RowsAffected(), 3);
  EXPECT_EQ(Ints(other, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{3});
  EXPECT_EQ(Exec("UPDATE T SET S = 1"), 3);
  EXPECT_EQ(Exec("DELETE FROM T"), 3);
  EXPECT_EQ(Ints(other, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{0});
  EXPECT_EQ(
      conn->Execute("INSERT INTO T (ID, N92) VALUES (?, ?)", {{ftInteger, std::int64_t{7}}, {ftBCD, Decimal{5, 2, 9}}}),
      1);
  EXPECT_EQ(conn->ConnectionState(), csOpen);
  EXPECT_EQ(Ints(other, "SELECT ID FROM T"), std::vector<std::int64_t>{7});
  // A statement executed again after its transaction ended still works.
  q->SQL().Clear();
  q->SQL().Add("UPDATE T SET S = S");
  EXPECT_EQ(q->ExecSQL(), 1);
  EXPECT_EQ(q->ExecSQL(), 1);
}

TEST_F(SqlConnectionDb, ExplicitTransaction) {
  other->Open();
  conn->StartTransaction(conn->IsolationLevel());
  EXPECT_TRUE(conn->InTransaction());
  EXPECT_EQ(
      conn->Execute("INSERT INTO T (ID, N92) VALUES (?, ?)", {{ftInteger, std::int64_t{1}}, {ftBCD, Decimal{0, 2, 9}}}),
      1);
  Exec("INSERT INTO T (ID, N92) VALUES (2, 0)");
  EXPECT_EQ(Ints(conn, "SELECT ID FROM T ORDER BY ID"), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(Ints(other, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{0});
  conn->Rollback();
  EXPECT_EQ(conn->TransactionCount(), 0);
  EXPECT_EQ(Ints(conn, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{0});

  conn->StartTransaction(conn->IsolationLevel());
  conn->Execute("INSERT INTO T (ID, N92) VALUES (?, ?)", {{ftInteger, std::int64_t{3}}, {ftBCD, Decimal{0, 2, 9}}});
  conn->Commit();
  EXPECT_EQ(Ints(other, "SELECT ID FROM T"), std::vector<std::int64_t>{3});

  // Detaching with a transaction open rolls it back and resets the count.
  conn->StartTransaction(conn->IsolationLevel());
  conn->Execute("DELETE FROM T", {});
  conn->Close();
  EXPECT_EQ(conn->TransactionCount(), 0);
  EXPECT_EQ(Ints(other, "SELECT ID FROM T"), std::vector<std::int64_t>{3});
}

// A transaction object ends what it started, once: the connection's
// transaction ended elsewhere is not ended again, and a later one is not
// touched by an earlier object.
TEST_F(SqlConnectionDb, TransactionObjectsEndOnlyTheirOwn) {
  other->Open();
  {
    TTransaction tx(*conn);
    Exec("INSERT INTO T (ID, N92) VALUES (1, 0)");
    conn->Commit();  // ended by someone else
    EXPECT_FALSE(conn->InTransaction());
    conn->StartTransaction(conn->IsolationLevel());
    Exec("INSERT INTO T (ID, N92) VALUES (2, 0)");
    tx.Commit();  // commits the transaction in force
    tx.Rollback();  // ended already: nothing
    EXPECT_FALSE(conn->InTransaction());
  }
  {
    TTransaction first(*conn);
    Exec("INSERT INTO T (ID, N92) VALUES (3, 0)");
    first.Rollback();
    TTransaction second(*conn);
    Exec("INSERT INTO T (ID, N92) VALUES (4, 0)");
    first.Commit();  // ended: leaves the second alone
    EXPECT_TRUE(conn->InTransaction());
    second.Commit();
  }
  {
    TTransaction abandoned(*conn);
    Exec("INSERT INTO T (ID, N92) VALUES (5, 0)");
  }  // rolled back
  EXPECT_FALSE(conn->InTransaction());
  EXPECT_EQ(Ints(other, "SELECT ID FROM T ORDER BY ID"), (std::vector<std::int64_t>{1, 2, 4}));
}

// The types a block declares for a statement's parameters, as the server
// describes them: what a value converts to on its way in.
TEST_F(SqlConnectionDb, DescribedParametersNameTheirTypes) {
  const std::vector<FieldDesc> described = conn->DescribeParameters(
      "INSERT INTO T (ID, NOMBRE, COD, N152, N41, S, B, D, F, H, TS, MEMO, BIN, FLAG) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  const std::string cs = " CHARACTER SET " + conn->CharacterSet();
  const std::vector<std::string> expected = {
      "INTEGER", "VARCHAR(20)" + cs, "CHAR(3)" + cs, "NUMERIC(18,2)", "NUMERIC(18,1)", "SMALLINT", "BIGINT",
      "DOUBLE PRECISION", "DATE", "TIME", "TIMESTAMP", "", "", "BOOLEAN"};
  std::vector<std::string> names;
  for (const FieldDesc& d : described) names.push_back(SqlTypeName(d, conn->CharacterSet()));
  EXPECT_EQ(names, expected);
  EXPECT_EQ(conn->DescribeParameters("EXECUTE BLOCK AS BEGIN END").size(), 0u);
}

// Statements outside an explicit transaction share one the server commits
// after each of them: every write is seen at once by another attachment, and
// the shared transaction ends when the connection is idle and every 1000
// statements, so that it does not hold back the oldest active transaction.
// AutoCommit=False gives each statement its own transaction instead.
TEST_F(SqlConnectionDb, TransactionKeptForStatementsEnds) {
  other->Open();
  const std::int64_t id = Ints(conn, "SELECT CURRENT_CONNECTION FROM RDB$DATABASE").at(0);
  const std::string transactions =
      "SELECT COUNT(*) FROM MON$TRANSACTIONS WHERE MON$ATTACHMENT_ID = " + std::to_string(id);
  // From an attachment of its own each time: a transaction keeps its first
  // monitoring snapshot.
  const auto open = [&] { return std::stoll(testsupport::QueryText(database, transactions)); };
  Exec("INSERT INTO T (ID, N92) VALUES (1, 0)");
  EXPECT_EQ(Ints(other, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{1});
  EXPECT_EQ(open(), 1);
  conn->EndIdleWork();
  EXPECT_EQ(open(), 0);
  for (int i = 0; i < 999; ++i) Exec("UPDATE T SET S = " + std::to_string(i));
  EXPECT_EQ(open(), 1);
  Exec("UPDATE T SET S = 0");  // the 1000th
  EXPECT_EQ(open(), 0);
  // A failed statement leaves nothing and the connection goes on.
  EXPECT_NE(ErrorOf([&] { Exec("INSERT INTO T (ID, N92) VALUES (1, 0)"); }).find("violation of PRIMARY"),
            std::string::npos);
  EXPECT_EQ(Ints(other, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{1});

  conn->Close();
  conn->Params().SetValue("AutoCommit", "False");
  conn->Open();
  Exec("INSERT INTO T (ID, N92) VALUES (2, 0)");
  EXPECT_EQ(Ints(other, "SELECT COUNT(*) FROM T"), std::vector<std::int64_t>{2});
  const std::int64_t id2 = Ints(conn, "SELECT CURRENT_CONNECTION FROM RDB$DATABASE").at(0);
  EXPECT_EQ(testsupport::QueryText(database, "SELECT COUNT(*) FROM MON$TRANSACTIONS WHERE MON$ATTACHMENT_ID = " +
                                                  std::to_string(id2)),
            "0");
}

// CommitRetain=True: a commit keeps the cursors open in the transaction.
TEST_F(SqlConnectionDb, CommitRetainKeepsCursorsOpen) {
  for (int i = 1; i <= 3; ++i) Exec("INSERT INTO T (ID, N92) VALUES (" + std::to_string(i) + ", 0)");
  TSQLQuery cursor(nullptr, "QCursor");
  cursor.SetSQLConnection(conn);
  cursor.SQL().Add("SELECT ID FROM T ORDER BY ID");
  for (const bool retain : {false, true}) {
    conn->Close();
    conn->Params().SetValue("CommitRetain", retain ? "True" : "False");
    conn->Open();
    conn->StartTransaction(conn->IsolationLevel());
    cursor.Open();
    conn->Execute("UPDATE T SET S = 1", {});
    conn->Commit();
    EXPECT_EQ(cursor.Active(), retain);
    if (retain) {
      cursor.Next();
      cursor.Next();
      EXPECT_EQ(std::get<std::int64_t>(cursor.Row().at(0)), 3);
      cursor.Close();
    }
    EXPECT_EQ(Ints(other, "SELECT COUNT(*) FROM T WHERE S = 1"), std::vector<std::int64_t>{3});
    Exec("UPDATE T SET S = NULL");
  }
}

TEST_F(SqlConnectionDb, ColumnTypesAndValues) {
  const std::string latin =
      "Pe\xF1"
      "a \xC1ngel";  // ISO8859_1 bytes, not UTF-8
  const std::string blob(70000, '\xE9');
  const std::vector<Param> row = {
      {ftInteger, std::int64_t{1}},
      {ftString, latin},
      {ftString, std::string("AB")},
      {ftFMTBcd, Decimal{-123456789012345, 2, 15}},
      {ftFMTBcd, Decimal{1234567890123, 5, 18}},
      {ftBCD, Decimal{1234, 2, 9}},
      {ftBCD, Decimal{-15, 1, 4}},
      {ftSmallint, std::int64_t{-7}},
      {ftLargeint, std::int64_t{9000000000000000000}},
      {ftFloat, 2.5},
      {ftDate, Date{1899, 12, 30}},
      {ftTime, Time{23, 59, 58, 9999}},
      {ftTimeStamp, DateTime{{2024, 2, 29}, {13, 45, 7, 1234}}},
      {ftMemo, latin + "\r\nline"},
      {ftBlob, blob},
      {ftBoolean, std::int64_t{1}},
  };
  conn->Execute(
      "INSERT INTO T (ID, NOMBRE, COD, N152, N185, N92, N41, S, B, D, F, H, TS, MEMO, BIN, FLAG) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      row);
  std::vector<Param> nulls(row.size());
  nulls[0].value = std::int64_t{2};
  nulls[5].value = Decimal{0, 2, 9};
  conn->Execute(
      "INSERT INTO T (ID, NOMBRE, COD, N152, N185, N92, N41, S, B, D, F, H, TS, MEMO, BIN, FLAG) "
      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
      nulls);

  q->SQL().Clear();
  q->SQL().Add("SELECT ID, NOMBRE, COD, N152, N185, N92, N41, S, B, D, F, H, TS, MEMO, BIN, FLAG AS ES");
  q->SQL().Add("FROM T ORDER BY ID");
  q->Open();
  struct Expect {
    const char* name;
    TFieldType type;
    int size, precision, scale;
    bool required, fixedChar;
  };
  const std::vector<Expect> columns = {
      {"ID", ftInteger, 0, 0, 0, true, false},    {"NOMBRE", ftString, 20, 0, 0, false, false},
      {"COD", ftString, 3, 0, 0, false, true},    {"N152", ftFMTBcd, 0, 18, 2, false, false},
      {"N185", ftFMTBcd, 0, 18, 5, false, false}, {"N92", ftBCD, 0, 9, 2, true, false},
      {"N41", ftBCD, 0, 4, 1, false, false},      {"S", ftSmallint, 0, 0, 0, false, false},
      {"B", ftLargeint, 0, 0, 0, false, false},   {"D", ftFloat, 0, 0, 0, false, false},
      {"F", ftDate, 0, 0, 0, false, false},       {"H", ftTime, 0, 0, 0, false, false},
      {"TS", ftTimeStamp, 0, 0, 0, false, false}, {"MEMO", ftMemo, 0, 0, 0, false, false},
      {"BIN", ftBlob, 0, 0, 0, false, false},     {"ES", ftBoolean, 0, 0, 0, false, false},
  };
  ASSERT_EQ(q->Columns().size(), columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const FieldDesc& d = q->Columns()[i];
    const Expect& e = columns[i];
    EXPECT_EQ(d.name, e.name);
    EXPECT_EQ(d.type, e.type) << e.name;
    EXPECT_EQ(d.size, e.size) << e.name;
    EXPECT_EQ(d.precision, e.precision) << e.name;
    EXPECT_EQ(d.scale, e.scale) << e.name;
    EXPECT_EQ(d.required, e.required) << e.name;
    EXPECT_EQ(d.fixedChar, e.fixedChar) << e.name;
  }

  ASSERT_FALSE(q->IsEmpty());
  std::vector<Variant> expected;
  for (const Param& p : row) expected.push_back(p.value);
  expected[2] = std::string("AB ");                // CHAR keeps its padding
  expected[3] = Decimal{-123456789012345, 2, 18};  // precision from the storage
  expected[4] = Decimal{1234567890123, 5, 18};
  expected[5] = Decimal{1234, 2, 9};
  expected[6] = Decimal{-15, 1, 4};
  EXPECT_EQ(q->Row(), expected);

  q->Next();
  ASSERT_FALSE(q->Eof());
  EXPECT_EQ(q->Row()[0], Variant{std::int64_t{2}});
  for (std::size_t i = 1; i < q->Row().size(); ++i) {
    if (i != 5) {
      EXPECT_TRUE(IsNull(q->Row()[i])) << i;
    }
  }
  q->Next();
  EXPECT_TRUE(q->Eof());
  EXPECT_EQ(q->Row()[0], Variant{std::int64_t{2}});  // stays on the last row
  EXPECT_FALSE(q->IsEmpty());
}

// Parameters with a counterpart in the client library reach it at the next
// attach: Trim Char, BlobSize (for statements bound with MaxBlobSize 0),
// OS Authentication; values that are not numbers are refused and ignored.
TEST_F(SqlConnectionDb, ParametersHandedOverAtAttach) {
  conn->Execute("INSERT INTO T (ID, COD, N92, MEMO) VALUES (?, ?, ?, ?)",
                {{ftInteger, std::int64_t{7}}, {ftString, std::string("A")}, {ftBCD, Decimal{0, 2, 9}},
                 {ftMemo, std::string(3000, 'm')}});
  const auto read = [&](TSQLQuery& query, const char* column) {
    query.SQL().Clear();
    query.SQL().Add(std::string("SELECT ") + column + " FROM T WHERE ID = 7");
    query.Open();
    std::string value = std::get<std::string>(query.Row().at(0));
    query.Close();
    return value;
  };
  EXPECT_EQ(read(*q, "COD"), "A  ");
  EXPECT_EQ(read(*q, "MEMO").size(), 3000u);

  conn->Close();
  conn->Params().SetValue("Trim Char", "True");
  conn->Params().SetValue("BlobSize", " 1 ");
  conn->Params().SetValue("OS Authentication", "True");
  conn->Params().SetValue("Connection Timeout", "soon");
  TSQLQuery limited(nullptr, "QLimitado");
  limited.MaxBlobSize = 0;
  limited.SetSQLConnection(conn);
  EXPECT_EQ(limited.MaxBlobSize, 1);
  conn->Open();
  EXPECT_EQ(conn->BlobSize(), 1);
  EXPECT_EQ(read(*q, "COD"), "A");
  EXPECT_EQ(read(*q, "MEMO").size(), 3000u);  // MaxBlobSize -1: whole
  EXPECT_EQ(read(limited, "MEMO"), std::string(1024, 'm'));
}

TEST(SqlConnectionParams, ServerPortGoesIntoTheAttachmentString) {
  EXPECT_EQ(WithServerPort("srv:/d/v.fdb", "3051"), "srv/3051:/d/v.fdb");
  EXPECT_EQ(WithServerPort("srv:C:\\d\\v.fdb", "3051"), "srv/3051:C:\\d\\v.fdb");
  EXPECT_EQ(WithServerPort("srv/3050:/d/v.fdb", "3051"), "srv/3050:/d/v.fdb");  // its own port stays
  EXPECT_EQ(WithServerPort("[::1]:/d/v.fdb", "3051"), "[::1]/3051:/d/v.fdb");
  EXPECT_EQ(WithServerPort("inet://srv/d/v.fdb", "3051"), "inet://srv:3051/d/v.fdb");
  EXPECT_EQ(WithServerPort("inet://srv:3050/d/v.fdb", "3051"), "inet://srv:3050/d/v.fdb");
  EXPECT_EQ(WithServerPort("/d/v.fdb", "3051"), "/d/v.fdb");          // no host: embedded
  EXPECT_EQ(WithServerPort("C:\\d\\v.fdb", "3051"), "C:\\d\\v.fdb");  // a drive, not a host
  EXPECT_EQ(WithServerPort("/d/a:b.fdb", "3051"), "/d/a:b.fdb");
}

TEST_F(SqlConnectionDb, DetachClosesStatementsAndProcedures) {
  Exec("INSERT INTO T (ID, N92) VALUES (1, 0)");
  Exec("INSERT INTO T (ID, N92) VALUES (2, 0)");
  q->SQL().Clear();
  q->SQL().Add("SELECT ID FROM T ORDER BY ID");
  q->Open();
  ASSERT_TRUE(q->Active());
  conn->SetConnected(false);
  EXPECT_FALSE(q->Active());
  EXPECT_EQ(conn->ConnectionState(), csClosed);
  q->Open();  // attaches again on its own
  EXPECT_EQ(conn->ConnectionState(), csOpen);
  EXPECT_EQ(q->Row()[0], Variant{std::int64_t{1}});
  q->Close();
  q->Close();

  // A procedure with output parameters runs through the prepared execute.
  Exec(
      "CREATE PROCEDURE SUMAR (A INTEGER) RETURNS (R INTEGER) AS BEGIN "
      "R = A + 1; INSERT INTO T (ID, N92) VALUES (:R, 0); END");
  Exec("EXECUTE PROCEDURE SUMAR(9)");
  conn->Execute("EXECUTE PROCEDURE SUMAR(?)", {{ftInteger, std::int64_t{19}}});
  EXPECT_EQ(Ints(other, "SELECT ID FROM T ORDER BY ID"), (std::vector<std::int64_t>{1, 2, 10, 20}));

  // A select run by execute leaves no cursor behind, and the same prepared
  // text can then be opened.
  q->SQL().Clear();
  q->SQL().Add("SELECT ID FROM T ORDER BY ID DESC");
  EXPECT_EQ(q->ExecSQL(), 0);
  EXPECT_FALSE(q->Active());
  q->Open();
  EXPECT_EQ(q->Row()[0], Variant{std::int64_t{20}});
  q->Close();
  EXPECT_EQ(q->ExecSQL(), 0);

  // A connection that goes first leaves its statements without one.
  auto* lone = new TSQLConnection(nullptr, "Lone");
  testsupport::ConfigureConnection(*lone, database);
  TSQLQuery stray(nullptr, "QStray");
  stray.SetSQLConnection(lone);
  stray.SQL().Add("SELECT ID FROM T");
  stray.Open();
  delete lone;
  EXPECT_EQ(stray.SQLConnection(), nullptr);
  EXPECT_FALSE(stray.Active());
}

TEST_F(SqlConnectionDb, StatementsOfEverySizeOneAfterAnother) {
  // Values shorter than the ones bound before arrive without leftovers.
  for (const auto& [id, nombre, cod] : std::vector<std::tuple<int, std::string, std::string>>{
           {1, std::string(20, 'x'), "abc"}, {2, "yo", "d"}, {3, "", ""}}) {
    conn->Execute("INSERT INTO T (ID, NOMBRE, COD, N92) VALUES (?, ?, ?, 0)",
                  {{ftInteger, std::int64_t{id}}, {ftString, nombre}, {ftString, cod}});
  }
  conn->Execute("INSERT INTO T (ID, NOMBRE, N92) VALUES (?, ?, ?)",
                {{ftInteger, std::int64_t{4}}, {ftString, Variant{}}, {ftBCD, Decimal{150, 2, 9}}});

  // One statement object through results of 16, 1 and 32 columns and back.
  auto open = [this](const std::string& sql) {
    q->Close();
    q->SQL().Clear();
    q->SQL().Add(sql);
    q->Open();
    return q->Columns().size();
  };
  EXPECT_EQ(open("SELECT * FROM T ORDER BY ID"), 16u);
  EXPECT_EQ(q->Row()[1], Variant{std::string(20, 'x')});
  EXPECT_EQ(q->Row()[2], Variant{std::string("abc")});
  EXPECT_EQ(open("SELECT NOMBRE FROM T WHERE ID = 2"), 1u);
  EXPECT_EQ(q->Row()[0], Variant{std::string("yo")});
  EXPECT_EQ(open("SELECT A.*, B.* FROM T A JOIN T B ON B.ID = A.ID + 1 ORDER BY A.ID"), 32u);
  EXPECT_EQ(q->Row()[0], Variant{std::int64_t{1}});
  EXPECT_EQ(q->Row()[16], Variant{std::int64_t{2}});
  EXPECT_EQ(q->Row()[17], Variant{std::string("yo")});
  EXPECT_EQ(q->Row()[18], Variant{std::string("d  ")});  // CHAR keeps its blanks
  EXPECT_EQ(open("SELECT NOMBRE, COD, N92 FROM T WHERE ID = 3"), 3u);
  EXPECT_EQ(q->Row()[0], Variant{std::string()});
  EXPECT_EQ(q->Row()[1], Variant{std::string("   ")});
  EXPECT_EQ(open("SELECT NOMBRE, N92 FROM T WHERE ID = 4"), 2u);
  EXPECT_TRUE(IsNull(q->Row()[0]));
  EXPECT_EQ(q->Row()[1], (Variant{Decimal{150, 2, 9}}));
  q->Close();

  // Executes and statements keep working across a new attachment.
  conn->SetConnected(false);
  conn->SetConnected(true);
  const int updated =
      conn->Execute("UPDATE T SET N92 = ? WHERE ID < ?", {{ftBCD, Decimal{5, 0, 9}}, {ftInteger, std::int64_t{3}}});
  EXPECT_EQ(updated, 2);
  EXPECT_EQ(Exec("DELETE FROM T WHERE N92 = 5"), 2);
  q->SetSQLConnection(other);
  EXPECT_EQ(Exec("DELETE FROM T WHERE ID = 3"), 1);
  EXPECT_EQ(Ints(conn, "SELECT ID FROM T"), (std::vector<std::int64_t>{4}));
}

TEST(SqlTable, CommandText) {
  TSQLTable t(nullptr, "TReplica");
  t.TableName = "REPLICA_COMPANIA";
  EXPECT_EQ(t.CommandText(), "select * from REPLICA_COMPANIA\r\n");
}
