// Attach failures against a real Firebird server on 127.0.0.1, started by
// scripts/fbserver.sh under CONSOPUNTOS_FBSERVER_DIR.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ibase.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dbaccess/errors.h"
#include "dbaccess/sqlconnection.h"
#include "support/dbfixture.h"

using namespace dbx;

namespace {

std::string ServerDir() {
  const char* dir = std::getenv("CONSOPUNTOS_FBSERVER_DIR");
  return dir != nullptr ? dir : "";
}

std::string Port() {
  const char* port = std::getenv("FBSERVER_PORT");
  return port != nullptr ? port : "3055";
}

// A port on 127.0.0.1 where nobody listens.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

class ServerAttach : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (ServerDir().empty()) return;
    // A database made by the server itself, so only the server opens it.
    good = ServerDir() + "/db/server_ok.fdb";
    std::filesystem::remove(good);
    ISC_STATUS_ARRAY st{};
    isc_db_handle db = 0;
    isc_tr_handle tr = 0;
    const std::string sql = "CREATE DATABASE " + testsupport::SqlQuote("127.0.0.1/" + Port() + ":" + good) +
                            " USER 'SYSDBA' PASSWORD 'masterkey' DEFAULT CHARACTER SET ISO8859_1";
    ASSERT_EQ(isc_dsql_execute_immediate(st, &db, &tr, 0, sql.c_str(), 3, nullptr), 0);
    isc_detach_database(st, &db);
  }

  // The remote client keeps threads of its own; ending them here keeps the
  // leak check at exit from racing a thread that is still going away.
  static void TearDownTestSuite() { fb_shutdown(0, fb_shutrsn_app_stopped); }

  void SetUp() override {
    if (ServerDir().empty()) GTEST_SKIP() << "CONSOPUNTOS_FBSERVER_DIR not set";
    testsupport::ConfigureConnection(c, "", "", "");
  }

  std::string Fails(const std::string& database, const std::string& password) {
    c.Params().SetValue("Database", database);
    c.Params().SetValue("User_Name", "SYSDBA");
    c.Params().SetValue("password", password);
    std::string message = "<attached>";
    try {
      c.SetConnected(true);
    } catch (const EDatabaseError& e) {
      message = e.what();
      category = e.Category();
    }
    EXPECT_EQ(c.ConnectionState(), csClosed);
    EXPECT_FALSE(c.Connected());
    return message;
  }

  // After a failure the same connection attaches with correct parameters.
  void AttachesAgain() {
    c.Params().SetValue("Database", "127.0.0.1/" + Port() + ":" + good);
    c.Params().SetValue("password", "masterkey");
    c.SetConnected(true);
    EXPECT_EQ(c.ConnectionState(), csOpen);
    TSQLQuery q(nullptr, "QPrueba");
    q.SetSQLConnection(&c);
    q.SQL().Add("SELECT CURRENT_USER FROM RDB$DATABASE");
    q.Open();
    EXPECT_EQ(std::get<std::string>(q.Row().at(0)).substr(0, 6), "SYSDBA");
    c.SetConnected(false);
  }

  static inline std::string good;
  TSQLConnection c{nullptr, "ConReplica"};
  TErrorCategory category = TErrorCategory::kOther;  // of the last failure
};

}  // namespace

TEST_F(ServerAttach, ClosedPort) {
  const std::string m = Fails("127.0.0.1/" + std::to_string(ClosedPort()) + ":" + good, "masterkey");
  EXPECT_EQ(m.rfind("dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: ", 0), 0u) << m;
  EXPECT_NE(m.find("Unable to complete network request"), std::string::npos) << m;
  EXPECT_EQ(category, TErrorCategory::kConnectionLost);
  AttachesAgain();
}

TEST_F(ServerAttach, WrongPassword) {
  const std::string m = Fails("127.0.0.1/" + Port() + ":" + good, "wrong");
  EXPECT_EQ(m.rfind("dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: ", 0), 0u) << m;
  EXPECT_NE(m.find("Your user name and password are not defined"), std::string::npos) << m;
  EXPECT_EQ(category, TErrorCategory::kOther);
  AttachesAgain();
}

TEST_F(ServerAttach, MissingDatabase) {
  const std::string path = ServerDir() + "/db/missing/varnex.fdb";
  const std::string m = Fails("127.0.0.1/" + Port() + ":" + path, "masterkey");
  EXPECT_EQ(m.rfind("dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: ", 0), 0u) << m;
  EXPECT_NE(m.find("I/O error during \"open\" operation for file \"" + path + "\""), std::string::npos) << m;
  AttachesAgain();
}

// "Server Port" is written into the attachment string; "Connection Timeout"
// bounds the wait for a server that accepts the connection and never answers.
TEST_F(ServerAttach, ServerPortAndConnectionTimeout) {
  c.Params().SetValue("Server Port", Port());
  c.Params().SetValue("Database", "127.0.0.1:" + good);
  c.Params().SetValue("User_Name", "SYSDBA");
  c.Params().SetValue("password", "masterkey");
  c.SetConnected(true);
  EXPECT_EQ(c.ConnectionState(), csOpen);
  c.SetConnected(false);

  // Listening without ever accepting: the system completes the handshake.
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  c.Params().SetValue("Server Port", std::to_string(ntohs(addr.sin_port)));
  c.Params().SetValue("Connection Timeout", "2");
  const auto start = std::chrono::steady_clock::now();
  const std::string m = Fails("127.0.0.1:" + good, "masterkey");
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  close(fd);
  EXPECT_EQ(m.rfind("dbExpress Error: [0x0015]: Connection failed", 0), 0u) << m;
  EXPECT_LT(seconds, 15.0) << m;
  c.Params().SetValue("Connection Timeout", "");
  c.Params().SetValue("Server Port", "");
  AttachesAgain();
}

// Across a network, with statements kept: a text run for the first time goes
// as one request (no count of rows), again it is prepared and counts; a
// failure reads the same either way; a block's outputs come back both ways.
TEST_F(ServerAttach, StatementsRunOnceThenPrepared) {
  c.Params().SetValue("Database", "127.0.0.1/" + Port() + ":" + good);
  c.Params().SetValue("User_Name", "SYSDBA");
  c.Params().SetValue("password", "masterkey");
  c.KeepStatements = true;
  c.WireCompression = true;
  c.SetConnected(true);
  ASSERT_TRUE(c.IsRemote());
  c.Execute("RECREATE TABLE S (ID INTEGER NOT NULL PRIMARY KEY)", {});
  TSQLQuery q(nullptr, "QS");
  q.SetSQLConnection(&c);
  const auto run = [&q](const std::string& sql) {
    q.SQL().Clear();
    q.SQL().Add(sql);
    return q.ExecSQL();
  };
  EXPECT_EQ(run("INSERT INTO S (ID) VALUES (1)"), -1);
  EXPECT_EQ(run("UPDATE S SET ID = ID"), -1);
  EXPECT_EQ(run("UPDATE S SET ID = ID"), 1);
  for (const char* text : {"INSERT INTO S (ID) VALUES (1)", "INSERT INTO S (ID) VALUES ( 1)"}) {
    std::string message;
    try {
      run(text);
    } catch (const EDatabaseError& e) {
      message = e.what();
      EXPECT_EQ(e.Category(), TErrorCategory::kConstraint) << text;
    }
    EXPECT_EQ(message.rfind("SQL Server Error: violation of PRIMARY or UNIQUE KEY constraint", 0), 0u) << message;
  }
  // A text longer than the client's length field, both ways.
  const std::string longText = "DELETE FROM S /* " + std::string(70000, 'x') + " */ WHERE ID = 99";
  EXPECT_EQ(run(longText), -1);
  EXPECT_EQ(run(longText), 0);
  FieldDesc r;
  r.name = "R";
  r.type = ftInteger;
  const std::string block = "EXECUTE BLOCK (X INTEGER = ?) RETURNS (R INTEGER) AS BEGIN R = X + 1; SUSPEND; END";
  for (std::int64_t x : {5, 6}) {
    const Variant value{x};
    EXPECT_EQ(c.ExecuteBlock(block, {&value}, {r}, true), std::vector<Variant>{Variant{x + 1}});
  }
  c.SetConnected(false);
}
