// Client datasets: packets, positions, fields, posting and provider requests.
#include "dbaccess/sqltext.h"
#include "dbaccess/clientdataset.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "cds_env.h"
#include "dbaccess/encoding.h"

using namespace dbx;
using cdstest::MessageOf;

namespace {

TEST(TableNameFromSQL, FirstNameAfterFirstFrom) {
  const struct {
    const char* sql;
    const char* table;
  } cases[] = {
      {"select TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER from PUNTOS_CLIENTE_ACUMULADO",
       "PUNTOS_CLIENTE_ACUMULADO"},
      {"SELECT * FROM TERCEROS WHERE TERC_NIT = '0'", "TERCEROS"},
      {"select * from clientes;", "clientes"},
      {"select *\r\nFrOm\r\n  TERCEROS\r\n", "TERCEROS"},
      {"select * from \"Mixed Case\" where x = 1", "Mixed Case"},
      {"select * from ADM.TERCEROS t", "ADM.TERCEROS"},
      {"select * from \"ADM\".\"T\"", "ADM.T"},
      {"SELECT * FROM RESUMEN_PUNTOS_TX('2008/12/01')", "RESUMEN_PUNTOS_TX"},
      {"select 'from X' as a, FROMAGE from REAL_TABLE", "REAL_TABLE"},
      {"select a /* from X */ from -- from Y\n REAL_TABLE", "REAL_TABLE"},
      {"EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS('1', '2008-12-01', 1, 2)", ""},
      {"select * from", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.table, TableNameFromSQL(c.sql)) << c.sql;
}

TEST(QuoteTableName, PartsEnclosedInQuoteChar) {
  EXPECT_EQ("\"TERCEROS\"", QuoteTableName("TERCEROS", "\""));
  EXPECT_EQ("\"ADM\".\"TERCEROS\"", QuoteTableName("ADM.TERCEROS", "\""));
  EXPECT_EQ("TERCEROS", QuoteTableName("TERCEROS", ""));
  EXPECT_EQ("\"X\"", QuoteTableName("\"X\"", "\""));
  EXPECT_EQ("`X", QuoteTableName("`X", "\""));
  EXPECT_EQ("", QuoteTableName("", "\""));
}

TEST(InsertSQL, FourLinesEndedByCrLf) {
  EXPECT_EQ("insert into \"T\"\r\n  (\"A\", \"B\")\r\nvalues\r\n  (?, ?)\r\n",
            InsertSQL("\"T\"", {"\"A\"", "\"B\""}));
  EXPECT_EQ("insert into T\r\n  (A)\r\nvalues\r\n  (?)\r\n", InsertSQL("T", {"A"}));
}

TEST(TrimProviderMessage, TrailingStopsAndBlanksRemovedRepeatedly) {
  EXPECT_EQ("SQL Server Error: x", TrimProviderMessage("SQL Server Error: x.\r\n"));
  EXPECT_EQ("a. b", TrimProviderMessage("a. b. .\n\t ."));
  EXPECT_EQ("", TrimProviderMessage(" ...\r\n"));
  EXPECT_EQ("unchanged", TrimProviderMessage("unchanged"));
}

TEST(FieldTypeName, NamesOfTheTypes) {
  EXPECT_EQ("String", FieldTypeName(ftString));
  EXPECT_EQ("FMTBcd", FieldTypeName(ftFMTBcd));
  EXPECT_EQ("Integer", FieldTypeName(ftInteger));
}

using ClientDataSetTest = cdstest::ClientDataSetEnv;

TEST_F(ClientDataSetTest, EmptyResultIsAtEndAndProviderClosedItsStatement) {
  OpenOn("select * from PUNTOS_CLIENTE_ACUMULADO");
  EXPECT_TRUE(cds->Active());
  EXPECT_TRUE(cds->Eof());
  EXPECT_TRUE(cds->IsEmpty());
  EXPECT_EQ(0, cds->RecordCount());
  EXPECT_EQ(4, cds->FieldCount());
  EXPECT_FALSE(query->Active());
  cds->Next();
  EXPECT_TRUE(cds->Eof());
}

TEST_F(ClientDataSetTest, PacketsOf1000Over2500Rows) {
  SeedPoints(2500);
  cds->PacketRecords = 1000;
  OpenOn("  select TERC_NIT from PUNTOS_CLIENTE_ACUMULADO order by TERC_NIT");
  EXPECT_EQ(1000, cds->RecordCount());
  EXPECT_EQ(1, provider->GetRowsRequests());
  EXPECT_TRUE(query->Active());
  int visited = 0;
  bool inOrder = true;
  while (!cds->Eof()) {
    ++visited;
    char expected[16];
    std::snprintf(expected, sizeof expected, "N%05d", visited);
    inOrder = inOrder && cds->Fields(0).AsString() == expected;
    cds->Next();
  }
  EXPECT_EQ(2500, visited);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(3, provider->GetRowsRequests());
  EXPECT_EQ(2500, cds->RecordCount());
  EXPECT_FALSE(query->Active());
}

TEST_F(ClientDataSetTest, Exactly1000RowsNeedAnEmptySecondRequest) {
  SeedPoints(1000);
  cds->PacketRecords = 1000;
  OpenOn("select TERC_NIT from PUNTOS_CLIENTE_ACUMULADO order by TERC_NIT");
  for (int i = 1; i < 1000; ++i) cds->Next();
  EXPECT_FALSE(cds->Eof());
  EXPECT_EQ(1, provider->GetRowsRequests());
  cds->Next();
  EXPECT_EQ(2, provider->GetRowsRequests());
  EXPECT_TRUE(cds->Eof());
  EXPECT_EQ(1000, cds->RecNo());
  EXPECT_EQ("N01000", cds->Fields(0).AsString());
  cds->Next();
  EXPECT_EQ(2, provider->GetRowsRequests());
}

TEST_F(ClientDataSetTest, CloseBeforeTheEndResetsTheProvider) {
  SeedPoints(1500);
  cds->PacketRecords = 1000;
  OpenOn("select TERC_NIT from PUNTOS_CLIENTE_ACUMULADO order by TERC_NIT");
  EXPECT_TRUE(query->Active());
  cds->Close();
  cds->Close();  // closing a closed dataset does nothing
  EXPECT_FALSE(query->Active());
  EXPECT_FALSE(cds->Active());
  EXPECT_EQ(0, cds->FieldCount());
  EXPECT_EQ(0, cds->ComponentCount());  // created fields destroyed
  OpenOn("select count(*) from PUNTOS_CLIENTE_ACUMULADO");
  EXPECT_EQ("1500", cds->Fields(0).AsString());
  EXPECT_EQ(1, cds->ComponentCount());
}

TEST_F(ClientDataSetTest, FieldsFollowColumnOrderAndTypes) {
  OpenOn("select TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO from PUNTOS_CLIENTE_ACUMULADO");
  ASSERT_EQ(3, cds->FieldCount());
  EXPECT_EQ("TERC_NIT", cds->Fields(0).FieldName());
  EXPECT_TRUE(cds->Fields(0).Required());
  EXPECT_EQ(ftDate, cds->Fields(1).DataType());
  EXPECT_EQ(ftFMTBcd, cds->FieldByName("ptca_acumulado").DataType());
  EXPECT_EQ("List index out of bounds (3)", MessageOf<EListError>([&] { (void)cds->Fields(3); }));
  EXPECT_EQ("List index out of bounds (-1)", MessageOf<EListError>([&] { (void)cds->Fields(-1); }));
  EXPECT_EQ("CCliented: Campo 'NADA' no encontrado",
            MessageOf<EDatabaseError>([&] { (void)cds->FieldByName("NADA"); }));
}

TEST_F(ClientDataSetTest, DecimalsReadExactly) {
  OpenOn("select cast(1.23456 as numeric(18,5)), cast(12.34 as numeric(15,2)), cast(null as numeric(15,2)) "
         "from rdb$database");
  EXPECT_EQ("1.23456", cds->Fields(0).AsString());
  EXPECT_EQ("12.34", cds->Fields(1).AsString());
  EXPECT_TRUE(cds->Fields(2).IsNull());
}

TEST_F(ClientDataSetTest, DeclaredFieldsAreBoundByName) {
  auto* replica = new TClientDataSet(&owner, "CReplica");
  replica->ProviderName = "PCliented";
  replica->DeclareField("CReplicaNIT", FieldDesc{"TERC_NIT", ftString, 20, 0, 0, true, false});
  replica->DeclareField("CReplicaACUM", FieldDesc{"PTCA_ACUMULADO", ftFMTBcd, 0, 15, 2, false, false});
  SeedPoints(2);
  replica->CommandText = "select PTCA_FECHA, PTCA_ACUMULADO, TERC_NIT from PUNTOS_CLIENTE_ACUMULADO order by 3";
  replica->Open();
  ASSERT_EQ(2, replica->FieldCount());
  EXPECT_EQ("N00001", replica->Fields(0).AsString());
  EXPECT_EQ("1", replica->Fields(1).AsString());
  replica->Next();
  EXPECT_EQ("N00002", replica->FieldByName("TERC_NIT").AsString());
  EXPECT_EQ(0, replica->ComponentCount());  // declared fields belong to the owner
  replica->Close();
  EXPECT_EQ(2, replica->FieldCount());
}

TEST_F(ClientDataSetTest, DeclaredFieldMissingOrOfAnotherType) {
  auto* replica = new TClientDataSet(&owner, "CReplica");
  replica->ProviderName = "PCliented";
  replica->DeclareField("CReplicaRPCO_COD", FieldDesc{"TERC_NIT", ftString, 3, 0, 0, true, true});
  auto* erro = replica->DeclareField("CReplicaRPCO_ERRO", FieldDesc{"RPCO_ERRO", ftString, 1, 0, 0, false, true});
  replica->CommandText = "select TERC_NIT from PUNTOS_CLIENTE_ACUMULADO";
  EXPECT_EQ("CReplica: Campo 'RPCO_ERRO' no encontrado", MessageOf<EDatabaseError>([&] { replica->Open(); }));
  EXPECT_FALSE(replica->Active());
  EXPECT_FALSE(query->Active());
  (void)erro;
  replica->CommandText = "select TERC_NIT, PTCA_ACUMULADO as RPCO_ERRO from PUNTOS_CLIENTE_ACUMULADO";
  EXPECT_EQ("CReplica: Discrepancia de tipos para el campo 'RPCO_ERRO', esperado: String actual: FMTBcd",
            MessageOf<EDatabaseError>([&] { replica->Open(); }));
  EXPECT_FALSE(replica->Active());
}

TEST_F(ClientDataSetTest, ProviderRequestFailures) {
  // No provider of that name among the owner's components.
  auto* orphan = new TClientDataSet(&owner, "CHuerfano");
  orphan->ProviderName = "PNinguno";
  EXPECT_EQ("CHuerfano: Falta Proveedor de datos o paquete de datos",
            MessageOf<EDatabaseError>([&] { orphan->Open(); }));
  EXPECT_FALSE(orphan->Active());

  // Command text on a provider that does not allow it.
  provider->Options = 0;
  EXPECT_EQ("Los cambios a CommandText no están permitidos"_l1,
            MessageOf<EOleException>([&] { OpenOn("select * from TERCEROS"); }));
  EXPECT_FALSE(cds->Active());
  EXPECT_EQ("Los cambios a CommandText no están permitidos"_l1,
            MessageOf<EOleException>([&] { cds->Execute(); }));

  // A statement failure while opening reaches the caller trimmed.
  provider->Options = poAllowCommandText;
  const std::string message = MessageOf<EOleException>([&] { OpenOn("select * from NO_EXISTE"); });
  EXPECT_EQ(0u, message.rfind("SQL Server Error: ", 0)) << message;
  EXPECT_EQ(message, TrimProviderMessage(message));
  EXPECT_FALSE(cds->Active());

  // The provider is found again after its name changes or it is gone.
  OpenOn("select * from TERCEROS");
  cds->Close();
  provider->SetName("POtro");
  EXPECT_EQ("CCliented: Falta Proveedor de datos o paquete de datos", MessageOf<EDatabaseError>([&] { cds->Open(); }));
  cds->ProviderName = "POTRO";
  cds->Open();
  EXPECT_TRUE(cds->Active());
  cds->Close();
  delete provider;
  provider = nullptr;
  EXPECT_EQ("CCliented: Falta Proveedor de datos o paquete de datos", MessageOf<EDatabaseError>([&] { cds->Open(); }));
}

TEST_F(ClientDataSetTest, ExecuteRunsTheCommandTextThroughTheProvider) {
  OpenOn("select * from TERCEROS");
  cds->CommandText = "insert into TERCEROS (TERC_NIT, TERC_NOMBRE) values ('1', 'Uno')";
  cds->Close();  // the system closes before changing the text
  cds->Execute();
  EXPECT_FALSE(cds->Active());
  EXPECT_EQ("1|Uno", testsupport::QueryText(database, "select TERC_NIT, TERC_NOMBRE from TERCEROS"));

  cds->CommandText = "insert into TERCEROS (TERC_NIT, TERC_NOMBRE) values ('1', 'Otra vez')";
  const std::string message = MessageOf<EOleException>([&] { cds->Execute(); });
  EXPECT_EQ(0u, message.rfind("SQL Server Error: ", 0)) << message;
  ASSERT_FALSE(message.empty());
  EXPECT_NE('.', message.back());
  EXPECT_GT(static_cast<unsigned char>(message.back()), 32);
  EXPECT_NE(std::string::npos, message.find("PK_TERCEROS")) << message;
}

TEST_F(ClientDataSetTest, InsertAndPost) {
  SeedPoints(2);
  OpenOn("select * from PUNTOS_CLIENTE_ACUMULADO order by TERC_NIT");
  cds->Next();  // on N00002
  cds->Insert();
  EXPECT_EQ(TDataSetState::dsInsert, cds->State());
  for (int i = 0; i < cds->FieldCount(); ++i) EXPECT_TRUE(cds->Fields(i).IsNull());
  cds->Fields(0).SetValue(Variant{std::string("N00000")});
  cds->Post();
  EXPECT_EQ(TDataSetState::dsBrowse, cds->State());
  EXPECT_EQ(3, cds->RecordCount());
  EXPECT_EQ(1, cds->ChangeCount());
  EXPECT_EQ(2, cds->RecNo());  // inserted before the row that was current
  EXPECT_EQ("N00000", cds->Fields(0).AsString());
  cds->Next();
  EXPECT_EQ("N00002", cds->Fields(0).AsString());

  // Writing outside the insert state is refused.
  EXPECT_THROW(cds->Fields(0).SetValue(Variant{std::string("x")}), EDatabaseError);

  cds->CancelUpdates();
  EXPECT_EQ(0, cds->ChangeCount());
  EXPECT_EQ(2, cds->RecordCount());
  cds->First();
  EXPECT_EQ("N00001", cds->Fields(0).AsString());
}

TEST_F(ClientDataSetTest, PostOfANullRequiredFieldAndThePostErrorActions) {
  OpenOn("select * from TERCEROS");
  cds->Insert();
  cds->FieldByName("TERC_APELLIDOS").SetValue(Variant{std::string("Perez")});
  // TERC_NIT is the first NOT NULL column in column order.
  EXPECT_EQ("Es necesario que el campo 'TERC_NIT' contenga algún valor"_l1,
            MessageOf<EDatabaseError>([&] { cds->Post(); }));
  EXPECT_EQ(TDataSetState::dsInsert, cds->State());

  int calls = 0;
  cds->OnPostError = [&](TClientDataSet& ds, const EDatabaseError& e, TDataAction& action) {
    ++calls;
    EXPECT_EQ(&ds, cds);
    EXPECT_EQ(daFail, action);
    EXPECT_NE(std::string::npos, std::string(e.what()).find("'TERC_NIT'"));
    action = daAbort;
  };
  EXPECT_THROW(cds->Post(), EAbort);
  EXPECT_EQ(1, calls);

  // daRetry attempts the post again once the handler has mended the row.
  cds->OnPostError = [&](TClientDataSet& ds, const EDatabaseError&, TDataAction& action) {
    ++calls;
    ds.FieldByName("TERC_NIT").SetValue(Variant{std::string("9")});
    ds.FieldByName("TERC_TIPO").SetValue(Variant{std::string("N")});
    ds.FieldByName("TERC_NOMBRE").SetValue(Variant{std::string("Nueve")});
    action = daRetry;
  };
  cds->Post();
  EXPECT_EQ(2, calls);
  EXPECT_EQ(1, cds->ChangeCount());

  // daFail re-raises the same exception.
  cds->Insert();
  cds->OnPostError = [&](TClientDataSet&, const EDatabaseError&, TDataAction&) { ++calls; };
  EXPECT_THROW(cds->Post(), EDatabaseError);
  EXPECT_EQ(3, calls);
  cds->Cancel();
  EXPECT_EQ(1, cds->ChangeCount());
}

}  // namespace
