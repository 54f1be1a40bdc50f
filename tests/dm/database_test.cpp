// The data module against a real main database: the configuration lookup,
// and the error reporter on client datasets that hold rows.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dbaccess/clientdataset.h"
#include "dbaccess/errors.h"
#include "dm/application.h"
#include "dm/dm.h"
#include "dm/reporter.h"
#include "support/context.h"
#include "support/files.h"
#include "support/dbfixture.h"
#include "dbaccess/encoding.h"

using namespace dbx;

namespace {

const std::string kSwitch = "REPLICAR CAMBIOS EN ARTICULOS";
const std::string kUserProperty = "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS";
const std::string kPasswordProperty = "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS";

class MainDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    database_ = testsupport::CreateMainDatabase(scratch_.Path("varnex.fdb"));
    Connect(database_);
  }

  void Connect(const std::string& database) {
    TStringList& p = dm_.Varnex->Params();
    p.SetValue("Database", database);
    p.SetValue("User_Name", testsupport::kUser);
    p.SetValue("password", testsupport::kPassword);
    dm_.Varnex->Open();
  }

  void Sql(const std::string& script) { testsupport::RunSql(database_, script); }

  testsupport::ScratchDir scratch_;
  std::string database_;
  testsupport::WorkDir cwd_;
  testsupport::RecordingContext context_;
  Tfdm dm_{context_};
};

using ConfiguracionTest = MainDatabaseTest;

// A dialog waits for its "OK": the application's idle hook first ends the
// transaction the connection keeps between statements.
TEST_F(MainDatabaseTest, DialogEndsTheKeptWork) {
  const auto open = [&] {
    return testsupport::QueryText(
        database_, "SELECT COUNT(*) FROM MON$TRANSACTIONS WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION");
  };
  dm_.Varnex->Execute("DELETE FROM PUNTOS_CLIENTE_ACUMULADO", {});
  EXPECT_EQ(open(), "1");
  context_.Ui().ErrorDialog("x");
  EXPECT_EQ(open(), "0");
}

// A main database that is not there, as the connection reports it.
// The path is internal text with an accent: the client library names it in
// UTF-8, and the message gives it back as it was written.
TEST(MissingDatabaseTest, ReportsThePathOfTheMissingFile) {
  testsupport::ScratchDir scratch;
  const std::string missing = scratch.Path("datos/Compa\xf1ia/varnex.fdb");
  testsupport::WorkDir cwd;
  testsupport::RecordingContext context;
  Tfdm dm(context);
  TStringList& p = dm.Varnex->Params();
  p.SetValue("Database", missing);
  p.SetValue("User_Name", testsupport::kUser);
  p.SetValue("password", testsupport::kPassword);
  context.Application.Run(nullptr, [&] { dm.Varnex->Open(); });
  EXPECT_FALSE(dm.Varnex->Connected());
  EXPECT_EQ(context.ui.events, (std::vector<std::string>{"beep", "error:No se encontró el archivo o la ruta "_l1 + missing}));
}

TEST_F(ConfiguracionTest, ReturnsTheValueOfTheMatchingRow) {
  Sql("INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'REPLICAR CAMBIOS EN ARTICULOS', 'SI');"
      "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'VENTAS', 'REPLICAR CAMBIOS EN ARTICULOS', 'NO');"
      "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', '" +
      kUserProperty + "', 'REPLICA');");
  EXPECT_EQ(dm_.configuracion("INVENTARIO", "ARTICULOS", kSwitch), "SI");
  EXPECT_EQ(dm_.CConfiguracion->CommandText,
            "select conf_valor from configuracion where conf_modulo = 'INVENTARIO' and conf_categoria = "
            "'ARTICULOS' and conf_propiedad = 'REPLICAR CAMBIOS EN ARTICULOS'");
  // It stays open, with the one field conf_valor, until the next call.
  EXPECT_TRUE(dm_.CConfiguracion->Active());
  ASSERT_EQ(dm_.CConfiguracion->FieldCount(), 1);
  EXPECT_EQ(dm_.CConfiguracion->Fields(0).FieldName(), "CONF_VALOR");

  EXPECT_EQ(dm_.configuracion("INVENTARIO", "ARTICULOS", kUserProperty), "REPLICA");
  EXPECT_EQ(dm_.configuracion("INVENTARIO", "VENTAS", kSwitch), "NO");
  EXPECT_TRUE(context_.ui.events.empty());
}

TEST_F(ConfiguracionTest, NoMatchingRowShowsTheDialogAndGivesEmptyText) {
  Sql("INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'OTRA', 'X');");
  EXPECT_EQ(dm_.configuracion("INVENTARIO", "ARTICULOS", kPasswordProperty), "");
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"error:No se encontró la configuración "_l1 + kPasswordProperty}));
  // Matching is exact on every column: another module finds nothing either.
  EXPECT_EQ(dm_.configuracion("inventario", "ARTICULOS", "OTRA"), "");
  ASSERT_EQ(context_.ui.events.size(), 2u);
  EXPECT_EQ(context_.ui.events[1], "error:No se encontró la configuración OTRA"_l1);
  // The not-found dialog is no error report: nothing is logged.
  EXPECT_FALSE(std::filesystem::exists(cwd_.path() / "ERRORES.TXT"));
}

TEST_F(ConfiguracionTest, SeveralRowsGiveTheFirstWithoutMessage) {
  Sql("ALTER TABLE CONFIGURACION DROP CONSTRAINT PK_CONFIGURACION;");
  Sql("INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'REPLICAR CAMBIOS EN ARTICULOS', 'SI');"
      "INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'REPLICAR CAMBIOS EN ARTICULOS', 'NO');");
  EXPECT_EQ(dm_.configuracion("INVENTARIO", "ARTICULOS", kSwitch), "SI");
  EXPECT_EQ(dm_.CConfiguracion->RecordCount(), 2);
  EXPECT_TRUE(context_.ui.events.empty());
}

TEST_F(ConfiguracionTest, NullValueGivesEmptyTextWithoutDialog) {
  Sql("INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'REPLICAR CAMBIOS EN ARTICULOS', NULL);");
  EXPECT_EQ(dm_.configuracion("INVENTARIO", "ARTICULOS", kSwitch), "");
  EXPECT_TRUE(context_.ui.events.empty());
}

TEST_F(ConfiguracionTest, ArgumentsAreQuoted) {
  Sql("INSERT INTO CONFIGURACION VALUES ('INVENTARIO', 'ARTICULOS', 'CLAVE O''HARA', 'x''y');");
  EXPECT_EQ(dm_.configuracion("INVENTARIO", "ARTICULOS", "CLAVE O'HARA"), "x'y");
  EXPECT_TRUE(context_.ui.events.empty());
  // A text that would close the literal early matches nothing.
  EXPECT_EQ(dm_.configuracion("INVENTARIO", "ARTICULOS", "X' or '1' = '1"), "");
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"error:No se encontró la configuración X' or '1' = '1"_l1}));
}

TEST_F(ConfiguracionTest, StatementFailureGoesToTheCaller) {
  dm_.Varnex->Close();
  const std::string branch = testsupport::CreateBranchDatabase(scratch_.Path("branch.fdb"));
  Connect(branch);  // no CONFIGURACION table there
  EXPECT_THROW((void)dm_.configuracion("INVENTARIO", "ARTICULOS", kSwitch), EOleException);
  EXPECT_TRUE(context_.ui.events.empty());
}

// The main form's CCliented on TERCEROS, with the reporter's handlers.
class ClientDataSetReportTest : public MainDatabaseTest {
 protected:
  ClientDataSetReportTest() {
    provider_ = new TDataSetProvider(&form_, "PCliented");
    provider_->DataSet = dm_.QClientesd;
    provider_->Options = poAllowCommandText;
    client_ = new TClientDataSet(&form_, "CCliented");
    client_->ProviderName = "PCliented";
  }

  void OpenAndInsert() {
    client_->CommandText = "select * from TERCEROS where 1 = 0";
    client_->Open();
    client_->Insert();
  }

  TComponent form_{nullptr, "fconsopuntos"};
  TDataSetProvider* provider_;
  TClientDataSet* client_;
};

TEST_F(ClientDataSetReportTest, FieldRuleListsTheRequiredNullFields) {
  OpenAndInsert();
  EXPECT_EQ(ErrorText(nullptr, client_, "Field value required"),
            "Los campos TERC_NIT, TERC_TIPO, TERC_NOMBRE,  son obligatorios.");
  client_->FieldByName("TERC_TIPO").SetAsString("N");
  client_->FieldByName("TERC_EMAIL").SetAsString("a@b.c");
  EXPECT_EQ(ErrorText(nullptr, client_, "Field value required"),
            "Los campos TERC_NIT, TERC_NOMBRE,  son obligatorios.");
  client_->FieldByName("TERC_NIT").SetAsString("800");
  client_->FieldByName("TERC_NOMBRE").SetAsString("ACME");
  EXPECT_EQ(ErrorText(nullptr, client_, "Field value required"), "Los campos  son obligatorios.");
  // No index on the dataset: nothing after the final blank.
  EXPECT_EQ(ErrorText(nullptr, client_, "key violation"), "Ya existe un registro con el mismo ");
}

TEST_F(ClientDataSetReportTest, FailedPostIsReportedUnchangedAndAbortedSilently) {
  dm_.ConfigurarProviders(&form_);
  OpenAndInsert();
  client_->FieldByName("TERC_NOMBRE").SetAsString("ACME");
  bool after = false;
  context_.Application.Run(client_, [&] {
    client_->Post();
    after = true;
  });
  EXPECT_FALSE(after);
  const std::string message = "Es necesario que el campo 'TERC_NIT' contenga algún valor"_l1;
  // One report only: the silent abort that follows is dropped.
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"beep", "error:" + message}));
  const std::string log = testsupport::ReadLog(cwd_.path() / "ERRORES.TXT");
  ASSERT_GT(log.size(), message.size() + 4);
  EXPECT_EQ(log.substr(log.size() - message.size() - 4), ",," + message + "\r\n");
  EXPECT_EQ(log.find("\r\n"), log.size() - 2);
}

TEST_F(ClientDataSetReportTest, OpenClientDataSetIsDescendedIntoNotConfigured) {
  client_->CommandText = "select * from TERCEROS";
  client_->Open();
  ASSERT_GT(client_->ComponentCount(), 0);
  dm_.ConfigurarProviders(&form_);
  EXPECT_TRUE(provider_->OnUpdateError);
  EXPECT_EQ(client_->PacketRecords, -1);
  EXPECT_FALSE(client_->OnPostError);
  EXPECT_FALSE(client_->OnEditError);
  EXPECT_FALSE(client_->OnDeleteError);
}

}  // namespace

namespace {

// From the layer that composes a rejected statement's message to the
// reporter that reads it: the frame, the server's identity, the Spanish text.
TEST_F(ConfiguracionTest, ComposedServerErrorReachesTheReporterRule) {
  Sql("INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES ('X1', 'Uno');\n");
  try {
    dm_.Varnex->Execute("INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES ('X1', 'Otro')", {});
    FAIL() << "no violation";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(TErrorCategory::kConstraint, e.Category());
    EXPECT_EQ("23000", e.Server().sqlState);
    EXPECT_EQ(-803, e.Server().sqlCode);
    EXPECT_EQ(335544665L, e.ServerCode());
    EXPECT_EQ("Ya existe el registro en la tabla Configuracion", ErrorText(dm_.PConfiguracion, dm_.CConfiguracion, e.what()));
  }
}

}  // namespace
