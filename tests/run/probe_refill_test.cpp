// Keys and values of any bytes through the run's existence probe and the
// refill of the accumulated points, on a real branch database: each probe
// finds exactly its key, and each row arrives byte for byte.
//
// The property is written once, over a probe and a refill given as
// functions, so that other ways of probing and refilling (in blocks, say)
// are held to it too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "consopuntos/transmision.h"
#include "dbaccess/batch.h"
#include "dbaccess/sqlconnection.h"
#include "dbaccess/textforms.h"
#include "dm/dm.h"
#include "support/context.h"
#include "support/files.h"
#include "support/dbfixture.h"
#include "support/rowstream.h"
#include "support/escaped.h"

using namespace dbx;

namespace {

// One row of PUNTOS_CLIENTE_ACUMULADO as the distribution pass reads it.
struct AccumulatedRow {
  std::string nit;
  Variant fecha, acumulado, porVencer;
};

// For each key, the TERC_NIT values that its probe finds, in any order.
using KeysProbe =
    std::function<std::vector<std::vector<std::string>>(TSQLQuery& probe, const std::vector<std::string>& keys)>;
// Inserts the rows into the emptied table.
using RefillRows = std::function<void(TSQLQuery& statement, const std::vector<AccumulatedRow>& rows)>;

// The run's way: one probe statement per key.
std::vector<std::vector<std::string>> ProbeOneByOne(TSQLQuery& probe, const std::vector<std::string>& keys) {
  std::vector<std::vector<std::string>> found;
  for (const std::string& key : keys) {
    probe.SQL().Clear();
    probe.SQL().Add(SondaExistencia("TERCEROS", Variant(key)));
    probe.Open();
    std::vector<std::string> nits;
    for (; !probe.IsEmpty() && !probe.Eof(); probe.Next()) nits.push_back(std::get<std::string>(probe.Row().at(0)));
    probe.Close();
    found.push_back(nits);
  }
  return found;
}

// The run's way: one INSERT per row.
void RefillRowByRow(TSQLQuery& statement, const std::vector<AccumulatedRow>& rows) {
  for (const AccumulatedRow& r : rows) {
    statement.Close();
    statement.SQL().Clear();
    statement.SQL().Add(InsercionAcumulado(Variant(r.nit), r.fecha, r.acumulado, r.porVencer));
    statement.ExecSQL();
  }
}

// Rows of a stream, and what became of each (by position); none may run alone.
struct Stream : testsupport::RowStream {
  void RunAlone(const TBatchRow& row) override { ADD_FAILURE() << "row " << row.position << " ran alone"; }
};

// Each key as the guard of an insert into SONDAS: a guard compares as the
// probe does, so the row is written exactly where the probe finds nothing.
std::vector<std::vector<std::string>> ProbeInChunks(TSQLQuery& probe, const std::vector<std::string>& keys) {
  auto insert = std::make_shared<TRowShape>(TRowShape{TRowShape::Target::kTable, "SONDAS", {"K"},
                                                      {"INSERT INTO SONDAS (K) VALUES (", ")"}, {TSlotForm::kQuotedKey}});
  Stream stream;
  for (std::size_t i = 0; i < keys.size(); ++i)
    stream.rows.push_back(TBatchRow{insert, {Variant(keys[i])}, FormaSonda("TERCEROS"), Variant(keys[i]),
                                    static_cast<int>(i), 0});
  TStatementBatch(*probe.SQLConnection(), 250).Send(stream, stream);
  std::vector<std::vector<std::string>> found(keys.size());
  for (const int i : stream.found) found[static_cast<std::size_t>(i)] = {keys[static_cast<std::size_t>(i)]};
  EXPECT_EQ(keys.size(), stream.found.size() + stream.written.size());
  return found;
}

// In chunks: the refill's rows joined into blocks; none may run alone.
void RefillInChunks(TSQLQuery& statement, const std::vector<AccumulatedRow>& rows) {
  Stream stream;
  for (const AccumulatedRow& r : rows)
    stream.rows.push_back(TBatchRow{FormaInsercionAcumulado(), {Variant(r.nit), r.fecha, r.acumulado, r.porVencer},
                                    nullptr, {}, static_cast<int>(stream.rows.size()), 0});
  TStatementBatch(*statement.SQLConnection(), 250).Send(stream, stream);
  EXPECT_EQ(stream.written.size(), rows.size());
}

// A key of TERC_NIT VARCHAR(20): bytes 1 to 255, quotes often, the full
// length often.
std::string RandomKey(std::mt19937& rng) {
  std::uniform_int_distribution<int> lengthPick(0, 3);
  std::uniform_int_distribution<int> length(1, 20);
  std::uniform_int_distribution<int> byte(1, 255);
  std::uniform_int_distribution<int> quote(0, 5);
  const int n = lengthPick(rng) == 0 ? length(rng) : 20;
  std::string key;
  for (int i = 0; i < n; ++i) key += static_cast<char>(quote(rng) == 0 ? '\'' : byte(rng));
  return key;
}

// Firebird compares texts as if padded with blanks: keys that differ only in
// trailing blanks are the same key.
std::string Compared(std::string key) {
  while (!key.empty() && key.back() == ' ') key.pop_back();
  return key;
}

Variant RandomPoints(std::mt19937& rng) {
  std::uniform_int_distribution<int> nullPick(0, 9);
  if (nullPick(rng) == 0) return Null{};
  // NUMERIC(15,2): up to 9999999999999.99 either way.
  std::uniform_int_distribution<std::int64_t> unscaled(-999999999999999, 999999999999999);
  return Decimal{unscaled(rng), 2, 15};
}

Variant RandomDate(std::mt19937& rng) {
  std::uniform_int_distribution<int> nullPick(0, 9);
  if (nullPick(rng) == 0) return Null{};
  std::uniform_int_distribution<int> year(1, 9999), month(1, 12), day(1, 31);
  Date d{year(rng), month(rng), 1};
  d.day = std::min(day(rng), DaysInMonth(d.year, d.month));
  return d;
}

// Values as stored: a decimal by its digits and scale (the precision read
// back is the column's), anything else as it is.
bool SameValue(const Variant& stored, const Variant& sent) {
  const auto* a = std::get_if<Decimal>(&stored);
  const auto* b = std::get_if<Decimal>(&sent);
  if (a != nullptr && b != nullptr) return a->unscaled == b->unscaled && a->scale == b->scale;
  return stored == sent;
}

class ProbeRefillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    branch_ = testsupport::CreateBranchDatabase(scratch_.Path("branch.fdb"));
    TStringList& p = dm_.ConReplica->Params();
    p.SetValue("Database", branch_);
    p.SetValue("User_Name", testsupport::kUser);
    p.SetValue("password", testsupport::kPassword);
    dm_.ConReplica->Open();
    testsupport::RunSql(branch_, "CREATE TABLE SONDAS (K VARCHAR(20));\n");
  }

  // Random keys and rows from a fixed seed: rows go through the refill into
  // PUNTOS_CLIENTE_ACUMULADO and their keys into TERCEROS; then every key and
  // as many keys that are not there go through the probe.
  void ExpectProbeAndRefillExact(const KeysProbe& probeKeys, const RefillRows& refillRows) {
    unsigned seed = 20081201;
    if (const char* s = std::getenv("CONSOPUNTOS_PROPERTY_SEED")) seed = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    std::cout << "[ property ] seed " << seed << " (CONSOPUNTOS_PROPERTY_SEED)\n";
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);

    std::vector<AccumulatedRow> rows;
    std::vector<std::string> absent;
    std::set<std::string> taken;
    std::set<unsigned char> bytes;
    while (rows.size() < 300 || absent.size() < 100) {
      const std::string key = RandomKey(rng);
      if (!taken.insert(Compared(key)).second) continue;
      for (const char c : key) bytes.insert(static_cast<unsigned char>(c));
      if (rows.size() < 300) {
        rows.push_back({key, RandomDate(rng), RandomPoints(rng), RandomPoints(rng)});
      } else {
        absent.push_back(key);
      }
    }
    ASSERT_EQ(bytes.size(), 255u) << "the keys hold every byte from 1 to 255";

    dm_.QAcumulado->SQL().Clear();
    dm_.QAcumulado->SQL().Add("DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    dm_.QAcumulado->ExecSQL();
    refillRows(*dm_.QAcumulado, rows);
    std::string terceros;
    for (const AccumulatedRow& r : rows)
      terceros += "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES (" + testsupport::SqlQuote(r.nit) + ", 'X');\n";
    testsupport::RunSql(branch_, terceros);

    // Every row arrived, byte for byte.
    TSQLQuery* read = dm_.QBorrarep;
    read->SQL().Clear();
    read->SQL().Add("select TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER from PUNTOS_CLIENTE_ACUMULADO");
    read->Open();
    std::map<std::string, std::vector<Variant>> stored;
    for (; !read->IsEmpty() && !read->Eof(); read->Next())
      stored[std::get<std::string>(read->Row().at(0))] = read->Row();
    read->Close();
    EXPECT_EQ(stored.size(), rows.size());
    for (const AccumulatedRow& r : rows) {
      const auto it = stored.find(r.nit);
      ASSERT_NE(it, stored.end()) << "row of key " << testsupport::Escaped(r.nit) << " missing or changed";
      EXPECT_TRUE(SameValue(it->second.at(1), r.fecha)) << "PTCA_FECHA of " << testsupport::Escaped(r.nit);
      EXPECT_TRUE(SameValue(it->second.at(2), r.acumulado)) << "PTCA_ACUMULADO of " << testsupport::Escaped(r.nit);
      EXPECT_TRUE(SameValue(it->second.at(3), r.porVencer)) << "PTCA_PORVENCER of " << testsupport::Escaped(r.nit);
    }

    // Each probe finds exactly its key; a key that is not there, nothing.
    std::vector<std::string> keys;
    for (const AccumulatedRow& r : rows) keys.push_back(r.nit);
    keys.insert(keys.end(), absent.begin(), absent.end());
    const std::vector<std::vector<std::string>> found = probeKeys(*dm_.QBorrarep, keys);
    ASSERT_EQ(found.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const std::vector<std::string> expected =
          i < rows.size() ? std::vector<std::string>{keys[i]} : std::vector<std::string>{};
      EXPECT_EQ(found[i], expected) << "probe of key " << testsupport::Escaped(keys[i]);
    }

    // The apply's blocks guard each row with its key bound as a parameter:
    // a key there is found, a key not there is written as sent.
    auto apply = std::make_shared<TRowShape>(TRowShape{
        TRowShape::Target::kTable, "\"TERCEROS\"", {"\"TERC_NIT\"", "\"TERC_NOMBRE\""},
        {"insert into \"TERCEROS\" (\"TERC_NIT\", \"TERC_NOMBRE\") values (", ", ", ")"},
        {TSlotForm::kParameter, TSlotForm::kParameter}, true});
    Stream stream;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      // Those there and those not, mixed.
      const std::string& key = i % 2 == 0 ? keys[i / 2] : keys[keys.size() - 1 - i / 2];
      stream.rows.push_back(TBatchRow{apply, {Variant(key), Variant(std::string("Y"))}, FormaSonda("TERCEROS"),
                                      Variant(key), static_cast<int>(i), 0});
    }
    TStatementBatch(*dm_.QBorrarep->SQLConnection(), 250).Send(stream, stream);
    std::vector<std::string> written, alone;
    for (const int i : stream.written) written.push_back(std::get<std::string>(stream.rows[static_cast<std::size_t>(i)].key));
    for (const int i : stream.found) alone.push_back(std::get<std::string>(stream.rows[static_cast<std::size_t>(i)].key));
    std::sort(written.begin(), written.end());
    std::sort(alone.begin(), alone.end());
    std::vector<std::string> there(keys.begin(), keys.begin() + static_cast<std::ptrdiff_t>(rows.size()));
    std::sort(there.begin(), there.end());
    std::sort(absent.begin(), absent.end());
    EXPECT_EQ(alone, there);
    EXPECT_EQ(written, absent);
    read->SQL().Clear();
    read->SQL().Add("select TERC_NIT from TERCEROS where TERC_NOMBRE = 'Y'");
    read->Open();
    std::set<std::string> inserted;
    for (; !read->IsEmpty() && !read->Eof(); read->Next()) inserted.insert(std::get<std::string>(read->Row().at(0)));
    read->Close();
    EXPECT_EQ(inserted, std::set<std::string>(absent.begin(), absent.end()));
  }

  testsupport::ScratchDir scratch_;
  std::string branch_;
  testsupport::WorkDir cwd_;
  testsupport::RecordingContext context_;
  Tfdm dm_{context_};
};

TEST_F(ProbeRefillTest, KeysAndValuesOfAnyBytesProbedAndRefilledRowByRow) {
  ExpectProbeAndRefillExact(ProbeOneByOne, RefillRowByRow);
  EXPECT_TRUE(context_.ui.events.empty());
}

TEST_F(ProbeRefillTest, KeysAndValuesOfAnyBytesProbedAndRefilledInChunks) {
  ExpectProbeAndRefillExact(ProbeInChunks, RefillInChunks);
  EXPECT_TRUE(context_.ui.events.empty());
}

}  // namespace
