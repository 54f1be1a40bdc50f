// Rows sent in chunks against throw-away embedded databases: every outcome
// is the one of sending them one after another.
#include "dbaccess/batch.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/errors.h"
#include "dbaccess/sqlconnection.h"
#include "support/dbfixture.h"
#include "support/rowstream.h"

using namespace dbx;

namespace {


// The refill's shape, with a column of the caller's in place of PTCA_ACUMULADO.
std::shared_ptr<TRowShape> Refill(const std::string& points = "PTCA_ACUMULADO") {
  auto shape = std::make_shared<TRowShape>();
  shape->name = "puntos_cliente_acumulado";
  shape->columns = {"TERC_NIT", "PTCA_FECHA", points, "PTCA_PORVENCER"};
  shape->texts = {"INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, " + points +
                      ", PTCA_PORVENCER) VALUES (",
                  ",", ",", ",", ")"};
  shape->forms = {TSlotForm::kQuotedKey, TSlotForm::kLiteral, TSlotForm::kLiteral, TSlotForm::kLiteral};
  return shape;
}

// "K" and the number (appended: GCC 12 warns, -Wrestrict, on "K" + text).
std::string Nit(int n) {
  std::string nit = "K";
  nit += std::to_string(n);
  return nit;
}

TBatchRow Row(const std::shared_ptr<TRowShape>& shape, int position, const std::string& nit, int points) {
  return TBatchRow{shape, {Variant(nit), Variant(Date{2008, 12, 1}), Variant(std::int64_t{points}), Variant(std::int64_t{0})},
                   nullptr, {}, position, 0};
}

// A stream of given rows; a row alone runs its one-row text (or the
// caller's way), and what became of each is kept by position.
struct Stream : testsupport::RowStream {
  void RunAlone(const TBatchRow& row) override {
    alone.push_back(row.position);
    runAlone(row);
  }
  void Dropped(const TBatchRow& row) override { dropped.push_back(row.position); }

  std::function<void(const TBatchRow&)> runAlone;
  std::vector<int> alone, dropped;
};

class BatchDb : public ::testing::Test {
 protected:
  void SetUp() override {
    database = testsupport::CreateBranchDatabase(dir.Path("b.fdb"));
    conn = new TSQLConnection(&owner, "ConReplica");
    testsupport::ConfigureConnection(*conn, database);
    conn->Open();
    q = new TSQLQuery(&owner, "QAcumulado");
    q->SetSQLConnection(conn);
    stream.runAlone = [this](const TBatchRow& row) { Run(RowText(*row.shape, row.values)); };
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
  // Sends the stream; the message of what it raised.
  std::string Send(int rowsPerChunk, TStatementBatch* batch = nullptr) {
    TStatementBatch own(*conn, rowsPerChunk);
    try {
      (batch != nullptr ? *batch : own).Send(stream, stream);
    } catch (const EDatabaseError& e) {
      return e.what();
    }
    return {};
  }

  testsupport::ScratchDir dir;
  std::string database;
  TComponent owner{nullptr, "owner"};
  TSQLConnection* conn = nullptr;
  TSQLQuery* q = nullptr;
  Stream stream;
};

TEST_F(BatchDb, ChunksWriteEveryRowOnceInOrder) {
  for (int rows : {1, 2, 7}) {
    Run("DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    stream.rows.clear();
    stream.next = 0;
    stream.written.clear();
    stream.alone.clear();
    for (int i = 1; i <= 10; ++i) stream.rows.push_back(Row(Refill(), i, Nit(100 + i), i));
    EXPECT_EQ("", Send(rows));
    EXPECT_EQ(rows == 1 ? 0u : 10u, stream.written.size()) << rows;
    EXPECT_EQ(rows == 1 ? 10u : 0u, stream.alone.size()) << rows;
    EXPECT_EQ(
        "K101|1.00\nK102|2.00\nK103|3.00\nK104|4.00\nK105|5.00\nK106|6.00\nK107|7.00\nK108|8.00\nK109|9.00\n"
        "K110|10.00",
        Rows())
        << rows;
  }
}

// A chunk longer than a block holds goes in several blocks, in order: in
// the process, as many rows as a block binds.
TEST_F(BatchDb, LongChunksGoInBlocksOfTheMostRows) {
  const int n = 300;
  for (int i = 1; i <= n; ++i) stream.rows.push_back(Row(Refill(), i, Nit(1000 + i), i));
  TStatementBatch batch(*conn, 1000);
  EXPECT_EQ("", Send(0, &batch));
  EXPECT_EQ(static_cast<std::size_t>(n), stream.written.size());
  EXPECT_TRUE(stream.alone.empty());
  const int perBlock = std::min(kProcessBlockLimits.statements, kProcessBlockLimits.parameters / 4);
  EXPECT_EQ((n + perBlock - 1) / perBlock, batch.BlocksSent());
  EXPECT_EQ("300|K1001|K1300|45150.00",
            testsupport::QueryText(database, "SELECT COUNT(*), MIN(TERC_NIT), MAX(TERC_NIT), SUM(PTCA_ACUMULADO) "
                                             "FROM PUNTOS_CLIENTE_ACUMULADO"));
}

// A failing row: the ones before it stay, it runs alone (and raises there,
// as it would alone), the ones read after it are never sent.
TEST_F(BatchDb, TheFirstFailureRunsAloneAndEndsTheStream) {
  Run("ALTER TABLE PUNTOS_CLIENTE_ACUMULADO ADD CONSTRAINT CK_PRUEBA CHECK (PTCA_ACUMULADO < 6)");
  for (int i = 1; i <= 10; ++i) stream.rows.push_back(Row(Refill(), i, Nit(100 + i), i));
  EXPECT_NE(std::string::npos, Send(4).find("CK_PRUEBA"));
  EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), stream.written);
  EXPECT_EQ((std::vector<int>{6}), stream.alone);
  EXPECT_EQ((std::vector<int>{7, 8}), stream.dropped);
  EXPECT_EQ(8u, stream.next);
  EXPECT_EQ("K101|1.00\nK102|2.00\nK103|3.00\nK104|4.00\nK105|5.00", Rows());
}

// A failure that running alone does not repeat (alone, the duplicate is
// written under another key): the rows after it go on.
TEST_F(BatchDb, ARowThatSucceedsAloneLetsTheRestGoOn) {
  stream.rows = {Row(Refill(), 1, "A1", 1), Row(Refill(), 2, "A1", 2), Row(Refill(), 3, "A2", 3),
                 Row(Refill(), 4, "A3", 4)};
  stream.runAlone = [this](const TBatchRow& row) { Run(RowText(*row.shape, Row(Refill(), 0, "A1B", 2).values)); };
  EXPECT_EQ("", Send(10));
  EXPECT_EQ((std::vector<int>{1, 3, 4}), stream.written);
  EXPECT_EQ((std::vector<int>{2}), stream.alone);
  EXPECT_EQ("A1|1.00\nA1B|2.00\nA2|3.00\nA3|4.00", Rows());
}

// A block the server refuses as a whole (a row names no column of the
// table): nothing of it ran, so every row runs alone, in order.
TEST_F(BatchDb, ABlockRefusedWholeRunsRowByRow) {
  stream.rows = {Row(Refill(), 1, "B1", 1), Row(Refill("NO_SUCH_COLUMN"), 2, "B2", 2), Row(Refill(), 3, "B3", 3)};
  EXPECT_NE(std::string::npos, Send(10).find("NO_SUCH_COLUMN"));
  EXPECT_TRUE(stream.written.empty());
  EXPECT_EQ((std::vector<int>{1, 2}), stream.alone);
  EXPECT_EQ((std::vector<int>{3}), stream.dropped);
  EXPECT_EQ("B1|1.00", Rows());
}

// The apply's inserts, each written only where its guard finds no row at its
// turn: the guard compares as the probe does (trailing blanks, quotes, case),
// and a key that repeats finds the row written before it; a key the column
// cannot take stops the block and runs alone.
TEST_F(BatchDb, GuardedInsertsSkipWhatTheProbeFindsAtTheirTurn) {
  Run("INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_ACUMULADO) VALUES ('X''1', 1)");
  Run("INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_ACUMULADO) VALUES ('X2', 2)");
  auto insert = std::make_shared<TRowShape>();
  insert->name = "\"PUNTOS_CLIENTE_ACUMULADO\"";
  insert->columns = {"\"TERC_NIT\"", "\"PTCA_ACUMULADO\""};
  insert->texts = {"insert into \"PUNTOS_CLIENTE_ACUMULADO\" (\"TERC_NIT\", \"PTCA_ACUMULADO\") values (", ", ", ")"};
  insert->forms.assign(2, TSlotForm::kParameter);
  insert->oneRow = true;
  const auto guard = std::make_shared<TRowShape>(
      TRowShape{TRowShape::Target::kComparison, "PUNTOS_CLIENTE_ACUMULADO", {},
                {"SELECT TERC_NIT FROM PUNTOS_CLIENTE_ACUMULADO WHERE TERC_NIT = ", ""}, {TSlotForm::kQuotedKey}});
  const auto byPoints = std::make_shared<TRowShape>(
      TRowShape{TRowShape::Target::kComparison, "PUNTOS_CLIENTE_ACUMULADO", {},
                {"SELECT TERC_NIT FROM PUNTOS_CLIENTE_ACUMULADO WHERE PTCA_ACUMULADO = ", ""}, {TSlotForm::kQuotedKey}});
  int position = 0;
  for (const char* nit : {"X'1", "X2 ", "x2", "C1", "C2", "C1", "abc", "C3"}) {
    const Variant key{std::string(nit)};
    stream.rows.push_back(TBatchRow{insert, {key, Variant{Decimal{250, 2, 15}}},
                                    std::string(nit) == "abc" ? byPoints : guard, key, ++position, 0});
  }
  stream.runAlone = [](const TBatchRow&) {};
  EXPECT_EQ("", Send(10));
  EXPECT_EQ((std::vector<int>{1, 2, 6}), stream.found);
  EXPECT_EQ((std::vector<int>{3, 4, 5, 8}), stream.written);
  EXPECT_EQ((std::vector<int>{7}), stream.alone);
  EXPECT_EQ("C1|2.50\nC2|2.50\nC3|2.50\nX'1|1.00\nX2|2.00\nx2|2.50", Rows());
}

// Rows as wide as a table allows still go in blocks (the parameters of a
// block take megabytes), as many as a block binds.
TEST_F(BatchDb, WideRowsGoInBlocks) {
  Run("CREATE TABLE ANCHA (K INTEGER NOT NULL, A VARCHAR(8000), B VARCHAR(8000), C VARCHAR(8000), "
      "D VARCHAR(8000), E VARCHAR(8000), F VARCHAR(8000), G VARCHAR(8000))");
  auto wide = std::make_shared<TRowShape>();
  wide->name = "ANCHA";
  wide->columns = {"K", "A", "B", "C", "D", "E", "F", "G"};
  wide->texts = {"INSERT INTO ANCHA (K, A, B, C, D, E, F, G) VALUES (", ",", ",", ",", ",", ",", ",", ",", ")"};
  wide->forms.assign(8, TSlotForm::kParameter);
  for (int i = 0; i < 300; ++i) {
    stream.rows.push_back(TBatchRow{wide, std::vector<Variant>(8, Variant{std::string(8000, 'x')}), nullptr, {}, i, 0});
    stream.rows.back().values[0] = std::int64_t{i};
  }
  TStatementBatch batch(*conn, 250);
  EXPECT_EQ("", Send(0, &batch));
  EXPECT_EQ(300u, stream.written.size());
  // A chunk every 250 rows; as many rows of 8 parameters as a block binds.
  const int perBlock = kProcessBlockLimits.parameters / 8;
  EXPECT_EQ((250 + perBlock - 1) / perBlock + (50 + perBlock - 1) / perBlock, batch.BlocksSent());
  EXPECT_EQ("300|8000", testsupport::QueryText(database, "SELECT COUNT(*), MIN(CHAR_LENGTH(G)) FROM ANCHA"));
}

// A source that fails: the rows read before it are sent first, as one
// after another would have sent them, and its failure goes on.
TEST_F(BatchDb, ASourceThatFailsHasItsEarlierRowsSent) {
  for (int i = 1; i <= 5; ++i) stream.rows.push_back(Row(Refill(), i, Nit(200 + i), i));
  struct Failing : TRowSource {
    Stream& rows;
    explicit Failing(Stream& s) : rows(s) {}
    bool Next(TBatchRow& row) override {
      if (rows.next == 3) throw EDatabaseError("fuente agotada");
      return rows.Next(row);
    }
  } source(stream);
  TStatementBatch batch(*conn, 10);
  std::string message;
  try {
    batch.Send(source, stream);
  } catch (const EDatabaseError& e) {
    message = e.what();
  }
  EXPECT_EQ("fuente agotada", message);
  EXPECT_EQ((std::vector<int>{1, 2, 3}), stream.written);
  EXPECT_TRUE(stream.dropped.empty());
  EXPECT_EQ("K201|1.00\nK202|2.00\nK203|3.00", Rows());
}

// A procedure's calls go in blocks, a number declared as the server
// describes its parameter; a parameter no block variable takes (a blob)
// leaves such calls to run alone.
TEST_F(BatchDb, ProcedureCallsInBlocksUnlessAParameterCannotBeDeclared) {
  for (const char* type : {"INTEGER", "BLOB SUB_TYPE 1"}) {
    const bool blocks = std::string(type) == "INTEGER";
    Run("DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    // A procedure of its own for each: the attachment keeps what it described.
    const std::string name = blocks ? "SUMAR_TEXTO" : "SUMAR_BLOB";
    Run("CREATE PROCEDURE " + name + " (K VARCHAR(20), M " + type +
        ") AS BEGIN INSERT INTO PUNTOS_CLIENTE_ACUMULADO (TERC_NIT, PTCA_ACUMULADO) VALUES (:K, 1); END");
    const auto call = std::make_shared<TRowShape>(TRowShape{TRowShape::Target::kProcedure, name, {},
                                                            {"EXECUTE PROCEDURE " + name + "(", ", ", ")"},
                                                            {TSlotForm::kQuotedKey, TSlotForm::kLiteral}});
    stream = Stream{};
    stream.runAlone = [this](const TBatchRow& row) { Run(RowText(*row.shape, row.values)); };
    for (int i = 1; i <= 2; ++i)
      stream.rows.push_back(
          TBatchRow{call, {Variant{"P" + std::to_string(i)}, Variant{std::int64_t{7}}}, nullptr, {}, i, 0});
    EXPECT_EQ("", Send(10)) << type;
    const std::vector<int> both{1, 2}, none;
    EXPECT_EQ(blocks ? both : none, stream.written) << type;
    EXPECT_EQ(blocks ? none : both, stream.alone) << type;
    EXPECT_EQ("P1|1.00\nP2|1.00", Rows()) << type;
  }
}

// Whether a text opens a cursor: its first word, past blanks and comments.
TEST(IsSelectText, TheFirstWordDecides) {
  for (const char* text : {"SELECT 1 FROM RDB$DATABASE", "  select x", "/* a */ -- b\r\nSelect\ty", "SELECT"})
    EXPECT_TRUE(IsSelectText(text)) << text;
  for (const char* text : {"SELECTX FROM T", "UPDATE T SET A = 'SELECT'", "-- SELECT", "", "/* SELECT */",
                           "EXECUTE PROCEDURE SELECT_ALL", "\"SELECT\""})
    EXPECT_FALSE(IsSelectText(text)) << text;
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

// A row's statement is the text of its shape with each value in its
// literal's form; a literal stands for the value a block binds in its place.
TEST(RowText, LiteralsOfEveryKindAndTheValuesTheyStandFor) {
  TRowShape shape{TRowShape::Target::kProcedure, "P", {}, {"EXECUTE PROCEDURE P(", ", ", ")"},
                  {TSlotForm::kQuotedKey, TSlotForm::kLiteral}};
  const struct {
    Variant value;
    std::string text;
    Variant bound;
  } cases[] = {
      {Variant{std::string("it's")}, "'it''s'", Variant{std::string("it's")}},
      {Variant{Null{}}, "NULL", Variant{Null{}}},
      {Variant{std::int64_t{-42}}, "-42", Variant{std::int64_t{-42}}},
      {Variant{Decimal{31750, 2, 15}}, "317.5", Variant{Decimal{3175, 1, 18}}},
      {Variant{Decimal{31700, 2, 15}}, "317", Variant{std::int64_t{317}}},
      {Variant{0.1}, "0.1", Variant{Decimal{1, 1, 18}}},
      {Variant{1e20}, "1e+20", Variant{1e20}},
      // 2^63 is exact only after a minus, as the server reads it.
      {Variant{Decimal{INT64_MIN, 4, 18}}, "-922337203685477.5808", Variant{Decimal{INT64_MIN, 4, 18}}},
      {Variant{Date{2008, 12, 1}}, "'2008-12-01'", Variant{std::string("2008-12-01")}},
      {Variant{DateTime{{2008, 12, 1}, {9, 30, 0, 500}}}, "'2008-12-01 09:30:00.05'",
       Variant{std::string("2008-12-01 09:30:00.05")}},
  };
  for (const auto& c : cases) {
    std::string expected = "EXECUTE PROCEDURE P('K', ";
    expected += c.text;  // appended: GCC 12 warns (-Wrestrict) on a + chain here
    expected += ")";
    EXPECT_EQ(expected, RowText(shape, {Variant{std::string("K")}, c.value}));
    Variant bound;
    ASSERT_TRUE(LiteralValue(c.text, bound)) << c.text;
    EXPECT_EQ(c.bound, bound) << c.text;
  }
  EXPECT_EQ("EXECUTE PROCEDURE P('5', NULL)", RowText(shape, {Variant{std::int64_t{5}}, Variant{}}));
}

const TRowShape kInsertT{TRowShape::Target::kTable, "T", {"ID", "NOMBRE"},
                         {"INSERT INTO T (ID, NOMBRE) VALUES (", ", ", ")"}, {TSlotForm::kLiteral, TSlotForm::kLiteral}};
constexpr TBlockText::Limits kWide{256, 256, 8000, 1024 * 1024};

// A block of rows numbered from first on.
TBlockText BlockOf(int first, int rows, const TBlockText::Limits& limits = kWide) {
  TBlockText block("ISO8859_1", limits);
  for (int i = first; i < first + rows; ++i)
    block.Append(kInsertT, {Variant{std::int64_t{i}}, Variant{"fila " + std::to_string(i)}}, {}, nullptr, nullptr);
  return block;
}

// Blocks of the same shapes and lengths are one text whatever their values:
// the attachment prepares it once.
TEST(BlockText, SameShapesAndLengthsGiveOneText) {
  const TBlockText a = BlockOf(1, 3), b = BlockOf(100, 3);
  EXPECT_EQ(a.Text(), b.Text());
  EXPECT_NE(a.Text(), BlockOf(1, 2).Text());
  ASSERT_EQ(a.Values().size(), 6u);
  EXPECT_EQ(a.Values()[0], Variant{std::int64_t{1}});
  EXPECT_EQ(b.Values()[5], Variant{std::string("fila 102")});
  EXPECT_NE(a.Text().find("TYPE OF COLUMN"), std::string::npos) << a.Text();
}

// Each limit ends the block where the next row would pass it; a refused row
// leaves the block as it was.
TEST(BlockText, EachLimitEndsTheBlock) {
  const std::size_t two = BlockOf(1, 2).Text().size(), three = BlockOf(1, 3).Text().size();
  const struct {
    TBlockText::Limits limits;
    std::size_t rows;
  } cases[] = {
      {{2, 256, 8000, 1024 * 1024}, 2},
      {{256, 3, 8000, 1024 * 1024}, 3},  // a table's INSERT names one context
      {{256, 256, 5, 1024 * 1024}, 2},   // two values a row
      {{256, 256, 8000, (two + three) / 2}, 2},
  };
  for (const auto& c : cases) {
    TBlockText block = BlockOf(1, static_cast<int>(c.rows), c.limits);
    ASSERT_EQ(block.Rows(), c.rows);
    const std::string before = block.Text();
    EXPECT_FALSE(block.Append(kInsertT, {Variant{std::int64_t{9}}, Variant{std::string("x")}}, {}, nullptr, nullptr));
    EXPECT_EQ(block.Rows(), c.rows);
    EXPECT_EQ(block.Text(), before);
    EXPECT_LE(block.Text().size(), c.limits.text);
  }
  // A row of the wrong number of values, or one no parameter can carry.
  TBlockText block("ISO8859_1", kWide);
  EXPECT_FALSE(block.Append(kInsertT, {Variant{std::int64_t{1}}}, {}, nullptr, nullptr));
  EXPECT_EQ(block.Rows(), 0u);
}

// A guarded row names two contexts, binds its key before its values and
// writes only where its guard finds nothing.
TEST(BlockText, GuardsCountAsContextsAndBindTheKeyFirst) {
  const TRowShape guard{TRowShape::Target::kComparison, "T", {}, {"SELECT ID FROM T WHERE NOMBRE = ", ""},
                        {TSlotForm::kQuotedKey}};
  TBlockText block("ISO8859_1", {256, 5, 8000, 1024 * 1024});
  for (int i = 1; i <= 3; ++i) {
    const Variant key{"n" + std::to_string(i)};
    EXPECT_EQ(block.Append(kInsertT, {Variant{std::int64_t{i}}, key}, {}, &guard, &key), i <= 2) << i;
  }
  ASSERT_EQ(block.Rows(), 2u);
  const std::vector<Variant> values = {Variant{std::string("n1")}, Variant{std::int64_t{1}}, Variant{std::string("n1")},
                                       Variant{std::string("n2")}, Variant{std::int64_t{2}}, Variant{std::string("n2")}};
  EXPECT_EQ(block.Values(), values);
  const std::string text = block.Text();
  EXPECT_NE(text.find("IF (EXISTS(SELECT ID FROM T WHERE NOMBRE = :LOTE$K1))"), std::string::npos) << text;
  ASSERT_NE(text.find("VALUES (:LOTE$P"), std::string::npos) << text;
  EXPECT_EQ(text.find(" = ?", text.find("VALUES")), std::string::npos) << text;  // no marker in the body
}

// What a block's outputs say of its rows.
TEST(BlockText, OutcomeOfTheOutputs) {
  const struct {
    std::vector<Variant> outputs;
    std::size_t rows;
    bool read;
    std::size_t ran;
    std::vector<bool> found;
  } cases[] = {
      {{Variant{std::int64_t{0}}, Variant{std::string("101")}}, 3, true, 3, {true, false, true}},
      {{Variant{std::int64_t{2}}, Variant{std::string("0")}}, 3, true, 1, {false}},
      {{Variant{std::int64_t{1}}, Variant{}}, 3, true, 0, {}},
      {{Variant{std::int64_t{4}}, Variant{std::string("000")}}, 3, false, 0, {}},
      {{Variant{std::int64_t{-1}}, Variant{std::string("000")}}, 3, false, 0, {}},
      {{Variant{std::int64_t{0}}, Variant{std::string("10")}}, 3, false, 0, {}},
      {{Variant{std::int64_t{0}}, Variant{std::string("1x1")}}, 3, false, 0, {}},
      {{Variant{std::string("0")}, Variant{std::string("111")}}, 3, false, 0, {}},
      {{Variant{std::int64_t{0}}}, 3, false, 0, {}},
  };
  for (const auto& c : cases) {
    std::size_t ran = 0;
    std::vector<bool> found;
    ASSERT_EQ(TBlockText::Outcome(c.outputs, c.rows, ran, found), c.read);
    if (!c.read) continue;
    EXPECT_EQ(ran, c.ran);
    EXPECT_EQ(found, c.found);
  }
}

}  // namespace
