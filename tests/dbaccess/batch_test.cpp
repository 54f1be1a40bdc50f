// Statements sent in chunks against throw-away embedded databases: every
// outcome is the one of sending them one after another.
#include "dbaccess/batch.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A chunk longer than a block holds goes in several blocks, each of at most
// kMaxBlockStatements statements, in order.
TEST_F(BatchDb, LongChunksGoInBlocksOfTheMostStatements) {
  Sent sent;
  TStatementBatch batch(*conn, 1000);
  const int n = 2 * kMaxBlockStatements + 44;
  for (int i = 1; i <= n; ++i) {
    std::string nit = "K";
    nit += std::to_string(1000 + i);
    const std::string text = Refill(nit, std::to_string(i));
    batch.Add(text, [&, text] { sent.alone.push_back(text); }, [&] { ++sent.done; });
  }
  batch.Flush();
  EXPECT_EQ(n, sent.done);
  EXPECT_TRUE(sent.alone.empty());
  EXPECT_EQ(3, batch.BlocksSent());
  std::string expected = std::to_string(n);
  expected += "|K1001|K";
  expected += std::to_string(1000 + n);
  expected += "|";
  expected += std::to_string(n * (n + 1) / 2);
  expected += ".00";
  EXPECT_EQ(expected,
            testsupport::QueryText(database, "SELECT COUNT(*), MIN(TERC_NIT), MAX(TERC_NIT), SUM(PTCA_ACUMULADO) "
                                             "FROM PUNTOS_CLIENTE_ACUMULADO"));
}

// A failing statement in a chunk: the ones before it stay, it runs alone
// (and raises there, as it would alone), the ones after it are never sent.
TEST_F(BatchDb, TheFirstFailureRunsAloneAndEndsTheChunk) {
  Run("ALTER TABLE PUNTOS_CLIENTE_ACUMULADO ADD CONSTRAINT CK_PRUEBA CHECK (PTCA_ACUMULADO < 6)");
  Sent sent;
  std::string raised;
  try {
    TStatementBatch batch(*conn, 4);
    for (int i = 1; i <= 10; ++i) {
      std::string nit = "K";
      nit += std::to_string(100 + i);
      const std::string text = Refill(nit, std::to_string(i));
      batch.Step([&] { batch.Add(text, [&, text] { sent.alone.push_back(text); Run(text); }, [&] { ++sent.done; }); });
    }
    batch.Flush();
  } catch (const EDatabaseError& e) {
    raised = e.what();
  }
  EXPECT_EQ(5, sent.done);  // K101..K104 in the first chunk, K105 in the second
  ASSERT_EQ(1u, sent.alone.size());
  EXPECT_NE(std::string::npos, sent.alone.front().find("'K106'"));
  EXPECT_NE(std::string::npos, raised.find("CK_PRUEBA"));
  EXPECT_EQ("K101|1.00\nK102|2.00\nK103|3.00\nK104|4.00\nK105|5.00", Rows());
}

// A failure that running alone does not repeat (a row rejected in a block
// only because of an earlier one would be written alone): the chunk goes on
// after it.
TEST_F(BatchDb, AStatementThatSucceedsAloneLetsTheRestGoOn) {
  Sent sent;
  TStatementBatch batch(*conn, 10);
  const std::vector<std::string> texts{Refill("A1", "1"), Refill("A1", "2"), Refill("A2", "3"), Refill("A3", "4")};
  for (const std::string& text : texts)
    batch.Add(text, [&, text] {
      sent.alone.push_back(text);
      // Alone, the duplicate is written under another key.
      Run(text.find("'A1','2008-12-01',2") != std::string::npos ? Refill("A1B", "2") : text);
    }, [&] { ++sent.done; });
  batch.Flush();
  EXPECT_EQ(3, sent.done);
  ASSERT_EQ(1u, sent.alone.size());
  EXPECT_EQ(texts[1], sent.alone.front());
  EXPECT_EQ("A1|1.00\nA1B|2.00\nA2|3.00\nA3|4.00", Rows());
}

// A chunk the server refuses as a whole (one statement does not compile):
// nothing of it ran, so every statement runs alone, in order.
TEST_F(BatchDb, AChunkRefusedWholeRunsStatementByStatement) {
  Sent sent;
  std::string raised;
  try {
    TStatementBatch batch(*conn, 10);
    for (const std::string& text :
         {Refill("B1", "1"), std::string("INSERT INTO puntos_cliente_acumulado (TERC_NIT, NO_SUCH_COLUMN) VALUES ('B2', 1)"),
          Refill("B3", "3")})
      batch.Add(text, [&, text] { sent.alone.push_back(text); Run(text); }, [&] { ++sent.done; });
    batch.Flush();
  } catch (const EDatabaseError& e) {
    raised = e.what();
  }
  EXPECT_EQ(0, sent.done);
  EXPECT_EQ(2u, sent.alone.size());
  EXPECT_NE(std::string::npos, raised.find("NO_SUCH_COLUMN"));
  EXPECT_EQ("B1|1.00", Rows());
}

// Inserts of an apply, written only where the probe finds nothing: a key
// that repeats in the chunk finds the row written before it.
TEST_F(BatchDb, InsertsSkipWhatTheProbeFindsAtTheirTurn) {
  Sent sent;
  std::vector<std::string> dropped;
  TStatementBatch batch(*conn, 10);
  for (const char* nit : {"C1", "C2", "C1", "C3"}) {
    TBatchInsert insert{"\"PUNTOS_CLIENTE_ACUMULADO\"", {"\"TERC_NIT\"", "\"PTCA_ACUMULADO\""},
                        {Variant{std::string(nit)}, Variant{Decimal{250, 2, 15}}}};
    batch.Add(std::move(insert),
              TBatchProbe{"SELECT TERC_NIT FROM PUNTOS_CLIENTE_ACUMULADO WHERE TERC_NIT = ", std::string("'") + nit + "'"},
              [&, nit] { sent.alone.push_back(nit); }, [&] { ++sent.done; }, [&, nit] { dropped.push_back(nit); });
  }
  batch.Flush();
  EXPECT_EQ(3, sent.done);
  EXPECT_EQ((std::vector<std::string>{"C1"}), sent.alone);
  EXPECT_EQ((std::vector<std::string>{"C1"}), dropped);
  EXPECT_EQ("C1|2.50\nC2|2.50\nC3|2.50", Rows());
}

// Rows as wide as a table allows still go in blocks (the parameters of a
// block take megabytes); a block's text never passes what the client library
// takes.
TEST_F(BatchDb, WideRowsGoInBlocks) {
  Run("CREATE TABLE ANCHA (K INTEGER NOT NULL, A VARCHAR(8000), B VARCHAR(8000), C VARCHAR(8000), "
      "D VARCHAR(8000), E VARCHAR(8000), F VARCHAR(8000), G VARCHAR(8000))");
  Sent sent;
  TStatementBatch batch(*conn, 250);
  const std::string wide(8000, 'x');
  for (int i = 0; i < 300; ++i) {
    TBatchInsert insert{"\"ANCHA\"", {"\"K\"", "\"A\"", "\"B\"", "\"C\"", "\"D\"", "\"E\"", "\"F\"", "\"G\""},
                        std::vector<Variant>(8, Variant{wide})};
    insert.values[0] = static_cast<std::int64_t>(i);
    batch.Add(std::move(insert), {}, [&] { sent.alone.push_back("row"); }, [&] { ++sent.done; }, {});
  }
  batch.Flush();
  EXPECT_EQ(300, sent.done);
  EXPECT_TRUE(sent.alone.empty());
  // A flush every 250 rows; as many rows of 8 parameters as a block binds.
  const int perBlock = kMaxBlockParameters / 8;
  EXPECT_EQ((250 + perBlock - 1) / perBlock + (50 + perBlock - 1) / perBlock, batch.BlocksSent());
  EXPECT_EQ("300|8000", testsupport::QueryText(database, "SELECT COUNT(*), MIN(CHAR_LENGTH(G)) FROM ANCHA"));
}

// One selection tells which keys a probe finds, each compared as the probe
// compares it; a key the server cannot compare fails the selection.
TEST_F(BatchDb, ProbeKeysFindsWhatTheProbeFinds) {
  Run(Refill("X''1", "1"));
  Run(Refill("X2", "2"));
  std::vector<std::string> keys{"'X''1'", "'X2 '", "'x2'", "'X3'", "''"};
  for (int i = 0; i < 600; ++i) keys.push_back("'N" + std::to_string(i) + "'");
  std::vector<bool> found;
  ASSERT_TRUE(ProbeKeys(*conn, "SELECT TERC_NIT FROM PUNTOS_CLIENTE_ACUMULADO WHERE TERC_NIT = ", keys, found));
  ASSERT_EQ(keys.size(), found.size());
  EXPECT_TRUE(found[0]);
  EXPECT_TRUE(found[1]);  // trailing blanks compare equal
  EXPECT_FALSE(found[2]);
  EXPECT_FALSE(found[3]);
  EXPECT_FALSE(found[4]);
  EXPECT_EQ(0, std::count(found.begin() + 5, found.end(), true));
  EXPECT_FALSE(ProbeKeys(*conn, "SELECT TERC_NIT FROM PUNTOS_CLIENTE_ACUMULADO WHERE PTCA_ACUMULADO = ",
                         {"'1'", "'abc'"}, found));
  // A text that would be more than one statement is not joined.
  EXPECT_FALSE(ProbeKeys(*conn, "SELECT TERC_NIT FROM PUNTOS_CLIENTE_ACUMULADO WHERE TERC_NIT = ", {"'a'; --"}, found));
}

TEST(IsOneStatement, LiteralsAndQuotedNamesHideWhatTheyHold) {
  const struct {
    const char* text;
    bool one;
  } cases[] = {
      {"INSERT INTO T VALUES ('a;b', '--', '/*')", true},
      {"INSERT INTO \"T;\" VALUES ('it''s')", true},
      {"SELECT 1 FROM T; DROP TABLE T", false},
      {"SELECT 1 FROM T -- comment", false},
      {"SELECT 1 FROM T /* comment */", false},
      {"SELECT 'open FROM T", false},
      {"SELECT \"open FROM T", false},
      {"SELECT q'{x}' FROM T", false},
      {"SELECT eq'x' FROM T", true},
      {"   ", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.one, IsOneStatement(c.text)) << c.text;
}

}  // namespace
