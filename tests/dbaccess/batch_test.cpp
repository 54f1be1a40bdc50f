// Statements sent in chunks against throw-away embedded databases: every
// outcome is the one of sending them one after another.
#include "dbaccess/batch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbaccess/errors.h"
#include "dbaccess/sqlconnection.h"
#include "support/dbfixture.h"

using namespace dbx;

namespace {

void Configure(TSQLConnection& c, const std::string& database) {
  c.ConnectionName = "IBLocal";
  for (const char* line : {"SQLDialect=3", "Interbase TransIsolation=ReadCommited", "WaitOnLocks=True"})
    c.Params().Add(line);
  c.Params().SetValue("Database", database);
  c.Params().SetValue("User_Name", testsupport::kUser);
  c.Params().SetValue("password", testsupport::kPassword);
}

std::string Refill(const std::string& nit, const std::string& points) {
  return "INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER) VALUES ('" +
         nit + "','2008-12-01'," + points + ",0)";
}

class BatchDb : public ::testing::Test {
 protected:
  void SetUp() override {
    database = testsupport::CreateBranchDatabase(dir.Path("b.fdb"));
    conn = new TSQLConnection(&owner, "ConReplica");
    Configure(*conn, database);
    conn->Open();
    q = new TSQLQuery(&owner, "QAcumulado");
    q->SetSQLConnection(conn);
  }
  void TearDown() override { conn->Close(); }

  void Run(const std::string& text) {
    q->Close();
    q->SQL().Clear();
    q->SQL().Add(text);
    q->ExecSQL();
  }
  std::string Rows() {
    return testsupport::QueryText(database, "SELECT TERC_NIT, PTCA_ACUMULADO FROM PUNTOS_CLIENTE_ACUMULADO ORDER BY 1");
  }

  testsupport::ScratchDir dir;
  std::string database;
  TComponent owner{nullptr, "owner"};
  TSQLConnection* conn = nullptr;
  TSQLQuery* q = nullptr;
};

// The literal statements of a batch, each with what running it alone does.
struct Sent {
  std::vector<std::string> alone;  // statements run alone, in order
  int done = 0;
};

TEST_F(BatchDb, ChunksRunEveryStatementOnceInOrder) {
  for (int rows : {1, 2, 7}) {
    Run("DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    Sent sent;
    TStatementBatch batch(*conn, rows);
    for (int i = 1; i <= 10; ++i) {
      std::string nit = "K";
      nit += std::to_string(100 + i);
      const std::string text = Refill(nit, std::to_string(i));
      batch.Add(text, [&, text] { Run(text); sent.alone.push_back(text); }, [&] { ++sent.done; });
    }
    batch.Flush();
    EXPECT_EQ(10, sent.done + static_cast<int>(sent.alone.size())) << rows;
    EXPECT_EQ(rows == 1 ? 10u : 0u, sent.alone.size()) << rows;
    EXPECT_EQ(
        "K101|1.00\nK102|2.00\nK103|3.00\nK104|4.00\nK105|5.00\nK106|6.00\nK107|7.00\nK108|8.00\nK109|9.00\n"
        "K110|10.00",
        Rows())
        << rows;
  }
}

}  // namespace
