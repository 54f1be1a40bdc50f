// A connection, statement, provider and client dataset on a fresh main
// database, wired as the data module wires its own.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "dbaccess/clientdataset.h"
#include "support/dbfixture.h"

namespace cdstest {

class ClientDataSetEnv : public ::testing::Test {
 protected:
  void SetUp() override {
    database = testsupport::CreateMainDatabase(dir.Path("main.fdb"));
    connection = new dbx::TSQLConnection(&owner, "Varnex");
    testsupport::ConfigureConnection(*connection, database);
    connection->Open();
    query = new dbx::TSQLQuery(&owner, "QClientesd");
    query->SetSQLConnection(connection);
    provider = new dbx::TDataSetProvider(&owner, "PCliented");
    provider->DataSet = query;
    provider->Options = dbx::poAllowCommandText;
    cds = new dbx::TClientDataSet(&owner, "CCliented");
    cds->ProviderName = "PCliented";
  }

  // Fills PUNTOS_CLIENTE_ACUMULADO with rows N00001, N00002, ...
  void SeedPoints(int count) {
    connection->Execute(
        "EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN WHILE (I <= " + std::to_string(count) +
            ") DO BEGIN INSERT INTO PUNTOS_CLIENTE_ACUMULADO (TERC_NIT, PTCA_ACUMULADO) "
            "VALUES ('N' || LPAD(:I, 5, '0'), :I); I = I + 1; END END",
        {});
  }

  void OpenOn(const std::string& sql) {
    cds->CommandText = sql;
    cds->Open();
  }

  testsupport::ScratchDir dir;
  std::string database;
  dbx::TComponent owner;
  dbx::TSQLConnection* connection = nullptr;
  dbx::TSQLQuery* query = nullptr;
  dbx::TDataSetProvider* provider = nullptr;
  dbx::TClientDataSet* cds = nullptr;
};

// The message of the exception of type E that f raises ("" when none).
template <typename E, typename F>
std::string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "";
}

}  // namespace cdstest
