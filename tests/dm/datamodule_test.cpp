// The data module's components as created, and the walk that prepares the
// main form's providers and client datasets for error reporting.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "dbaccess/clientdataset.h"
#include "dbaccess/sqlconnection.h"
#include "dm/application.h"
#include "dm/dm.h"
#include "support/context.h"
#include "support/files.h"
#include "dbaccess/encoding.h"

using namespace dbx;

namespace {

const std::vector<std::string> kParams = {"BlobSize=-1",
                                          "CommitRetain=False",
                                          "Database=",
                                          "DriverName=Interbase",
                                          "ErrorResourceFile=",
                                          "LocaleCode=0000",
                                          "Password=",
                                          "RoleName=RoleName",
                                          "ServerCharSet=",
                                          "SQLDialect=3",
                                          "Interbase TransIsolation=ReadCommited",
                                          "User_Name=",
                                          "WaitOnLocks=True"};

class DataModuleTest : public ::testing::Test {
 protected:
  testsupport::RecordingContext context_;
  Tfdm dm_{context_};
};

TEST_F(DataModuleTest, ConnectionsHaveTheFixedSettingsAndAreClosed) {
  for (TSQLConnection* c : {dm_.Varnex, dm_.ConReplica}) {
    SCOPED_TRACE(c->Name());
    EXPECT_EQ(c->Owner(), &dm_);
    EXPECT_EQ(c->ConnectionName, "IBLocal");
    EXPECT_EQ(c->DriverName, "Interbase");
    EXPECT_EQ(c->GetDriverFunc, "getSQLDriverINTERBASE");
    EXPECT_EQ(c->LibraryName, "dbexpint.dll");
    EXPECT_EQ(c->VendorLib, "GDS32.DLL");
    EXPECT_FALSE(c->LoginPrompt);
    EXPECT_EQ(c->Params().Lines(), kParams);
    EXPECT_FALSE(c->Connected());
    EXPECT_EQ(c->ConnectionState(), csClosed);
  }
  EXPECT_EQ(dm_.Varnex->Name(), "Varnex");
  EXPECT_EQ(dm_.ConReplica->Name(), "ConReplica");
}

TEST_F(DataModuleTest, RunTimeCredentialsTakeTheEntriesPlaces) {
  TStringList& p = dm_.ConReplica->Params();
  p.SetValue("Database", "srv\\datos\\001\\varnex.fdb");
  p.SetValue("User_Name", "REPLICA");
  p.SetValue("password", "clave");
  ASSERT_EQ(p.Count(), 13);
  EXPECT_EQ(p[2], "Database=srv\\datos\\001\\varnex.fdb");
  EXPECT_EQ(p[6], "password=clave");
  EXPECT_EQ(p[11], "User_Name=REPLICA");
  // An empty user name removes its entry; the others keep their order.
  p.SetValue("User_Name", "");
  EXPECT_EQ(p.Count(), 12);
  EXPECT_EQ(p.IndexOfName("User_Name"), -1);
  EXPECT_EQ(p[11], "WaitOnLocks=True");
  // The other connection is not touched.
  EXPECT_EQ(dm_.Varnex->Params().Lines(), kParams);
}

TEST_F(DataModuleTest, OwnsExactlyTheNamedComponents) {
  EXPECT_EQ(dm_.Name(), "fdm");
  const std::set<std::string> expected = {"Varnex",
                                          "ConReplica",
                                          "QConfiguracion",
                                          "PConfiguracion",
                                          "CConfiguracion",
                                          "TReplica",
                                          "PReplica",
                                          "CReplica",
                                          "CReplicaRPCO_COD",
                                          "CReplicaRPCP_NOMBRE",
                                          "CReplicaRPCO_SERVIDOR",
                                          "CReplicaRPCO_ERRO",
                                          "QBorrar",
                                          "QPuntosacum",
                                          "QClientesd",
                                          "QPuntoscli",
                                          "PPuntoscli",
                                          "CPuntoscli",
                                          "CPuntoscliCLIENTE",
                                          "CPuntoscliPTACUM",
                                          "CPuntoscliPTVENCER",
                                          "QClientes",
                                          "PClientes",
                                          "CClientes",
                                          "QAcumulado",
                                          "QBorrarep"};
  std::set<std::string> names;
  for (int i = 0; i < dm_.ComponentCount(); ++i) names.insert(dm_.Components(i)->Name());
  EXPECT_EQ(names, expected);
  EXPECT_EQ(dm_.ComponentCount(), static_cast<int>(expected.size()));

  const std::vector<std::pair<std::string, TComponent*>> members = {{"Varnex", dm_.Varnex},
                                                                    {"QConfiguracion", dm_.QConfiguracion},
                                                                    {"PConfiguracion", dm_.PConfiguracion},
                                                                    {"CConfiguracion", dm_.CConfiguracion},
                                                                    {"TReplica", dm_.TReplica},
                                                                    {"PReplica", dm_.PReplica},
                                                                    {"CReplica", dm_.CReplica},
                                                                    {"QBorrar", dm_.QBorrar},
                                                                    {"QPuntosacum", dm_.QPuntosacum},
                                                                    {"QClientesd", dm_.QClientesd},
                                                                    {"ConReplica", dm_.ConReplica},
                                                                    {"QPuntoscli", dm_.QPuntoscli},
                                                                    {"PPuntoscli", dm_.PPuntoscli},
                                                                    {"CPuntoscli", dm_.CPuntoscli},
                                                                    {"QClientes", dm_.QClientes},
                                                                    {"PClientes", dm_.PClientes},
                                                                    {"CClientes", dm_.CClientes},
                                                                    {"QAcumulado", dm_.QAcumulado},
                                                                    {"QBorrarep", dm_.QBorrarep}};
  for (const auto& [name, component] : members) EXPECT_EQ(dm_.FindComponent(name), component) << name;
}

TEST_F(DataModuleTest, StatementsRunOnTheirConnectionsWithoutText) {
  const std::vector<std::pair<TSQLQuery*, TSQLConnection*>> statements = {
      {dm_.QConfiguracion, dm_.Varnex}, {dm_.TReplica, dm_.Varnex},       {dm_.QBorrar, dm_.Varnex},
      {dm_.QPuntosacum, dm_.Varnex},    {dm_.QClientesd, dm_.Varnex},     {dm_.QPuntoscli, dm_.ConReplica},
      {dm_.QClientes, dm_.ConReplica},  {dm_.QAcumulado, dm_.ConReplica}, {dm_.QBorrarep, dm_.ConReplica}};
  for (const auto& [query, connection] : statements) {
    SCOPED_TRACE(query->Name());
    EXPECT_EQ(query->SQLConnection(), connection);
    EXPECT_EQ(query->MaxBlobSize, -1);
    EXPECT_EQ(query->SQL().Count(), 0);
    EXPECT_FALSE(query->Active());
  }
  EXPECT_EQ(dm_.TReplica->TableName, "REPLICA_COMPANIA");
  EXPECT_FALSE(dm_.TReplica->GetMetadata);
}

TEST_F(DataModuleTest, ProvidersAndClientDatasetsAreWiredByName) {
  struct Pair {
    TDataSetProvider* provider;
    TSQLQuery* dataSet;
    unsigned options;
    TClientDataSet* client;
  };
  const std::vector<Pair> pairs = {{dm_.PConfiguracion, dm_.QConfiguracion, poAllowCommandText, dm_.CConfiguracion},
                                   {dm_.PReplica, dm_.TReplica, 0u, dm_.CReplica},
                                   {dm_.PPuntoscli, dm_.QPuntoscli, poAllowCommandText, dm_.CPuntoscli},
                                   {dm_.PClientes, dm_.QClientes, poAllowCommandText, dm_.CClientes}};
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.provider->Name());
    EXPECT_EQ(p.provider->DataSet, p.dataSet);
    EXPECT_EQ(p.provider->Options, p.options);
    EXPECT_FALSE(p.provider->OnUpdateError);
    EXPECT_EQ(p.client->ProviderName, p.provider->Name());
    EXPECT_EQ(p.client->PacketRecords, -1);
    EXPECT_FALSE(p.client->Active());
    EXPECT_FALSE(p.client->OnPostError);
    EXPECT_FALSE(p.client->OnEditError);
    EXPECT_FALSE(p.client->OnDeleteError);
    EXPECT_FALSE(p.client->OnReconcileError);
  }
  EXPECT_EQ(dm_.CPuntoscli->CommandText, "SELECT * FROM RESUMEN_PUNTOS_TX('2008/12/01')");
  EXPECT_EQ(dm_.CConfiguracion->CommandText, "");
  EXPECT_EQ(dm_.CReplica->CommandText, "");
  EXPECT_EQ(dm_.CClientes->CommandText, "");
}

TEST_F(DataModuleTest, DeclaredFields) {
  struct Expected {
    TField* field;
    const char* component;
    const char* column;
    TFieldType type;
    int size, precision, scale;
    bool fixedChar, required;
  };
  const std::vector<Expected> fields = {
      {dm_.CReplicaRPCO_COD, "CReplicaRPCO_COD", "RPCO_COD", ftString, 3, 0, 0, true, true},
      {dm_.CReplicaRPCP_NOMBRE, "CReplicaRPCP_NOMBRE", "RPCP_NOMBRE", ftString, 80, 0, 0, false, false},
      {dm_.CReplicaRPCO_SERVIDOR, "CReplicaRPCO_SERVIDOR", "RPCO_SERVIDOR", ftString, 60, 0, 0, false,
       false},
      {dm_.CReplicaRPCO_ERRO, "CReplicaRPCO_ERRO", "RPCO_ERRO", ftString, 1, 0, 0, true, false},
      {dm_.CPuntoscliCLIENTE, "CPuntoscliCLIENTE", "CLIENTE", ftString, 20, 0, 0, false, false},
      {dm_.CPuntoscliPTACUM, "CPuntoscliPTACUM", "PTACUM", ftFMTBcd, -1, 15, 2, false, false},
      {dm_.CPuntoscliPTVENCER, "CPuntoscliPTVENCER", "PTVENCER", ftFMTBcd, -1, 15, 2, false, false}};
  for (const Expected& e : fields) {
    SCOPED_TRACE(e.component);
    ASSERT_NE(e.field, nullptr);
    EXPECT_EQ(e.field->Name(), e.component);
    EXPECT_EQ(e.field->FieldName(), e.column);
    EXPECT_EQ(e.field->DataType(), e.type);
    if (e.size >= 0) {
      EXPECT_EQ(e.field->Size(), e.size);
    }
    if (e.type == ftFMTBcd) {
      EXPECT_EQ(e.field->Desc().precision, e.precision);
      EXPECT_EQ(e.field->Desc().scale, e.scale);
    }
    EXPECT_EQ(e.field->Desc().fixedChar, e.fixedChar);
    EXPECT_EQ(e.field->Required(), e.required);
  }
}

TEST_F(DataModuleTest, CreationInstallsTheUnhandledExceptionHandler) {
  testsupport::WorkDir dir;
  auto& ui = context_.ui;
  context_.Application.HandleException(nullptr, std::runtime_error("boom"));
  EXPECT_EQ(ui.events, (std::vector<std::string>{"beep", "error:Se presento el siguiente error: boom"}));

  context_.Application.OnException = nullptr;
  dm_.DataModuleCreate(nullptr);
  context_.Application.HandleException(nullptr, std::runtime_error("again"));
  ASSERT_EQ(ui.events.size(), 4u);
  EXPECT_EQ(ui.events[3], "error:Se presento el siguiente error: again");
}

// A main form with its two provider and client dataset pairs, a control, and
// components that own components.
class ConfigurarProvidersTest : public DataModuleTest {
 protected:
  ConfigurarProvidersTest() {
    new TComponent(&form_, "Servidor");
    PAcumulado = NewProvider(&form_, "PAcumulado", dm_.QPuntosacum);
    CAcumulado = NewClient(&form_, "CAcumulado", "PAcumulado");
    PCliented = NewProvider(&form_, "PCliented", dm_.QClientesd);
    CCliented = NewClient(&form_, "CCliented", "PCliented");
    auto* panel = new TComponent(&form_, "Panel1");
    PInner = NewProvider(panel, "PInner", dm_.QClientesd);
    CInner = NewClient(panel, "CInner", "PInner");
    POwner = NewProvider(&form_, "POwner", dm_.QClientesd);
    new TComponent(POwner, "Child");
    COwner = NewClient(&form_, "COwner", "POwner");
    PUnderClient = NewProvider(COwner, "PUnderClient", dm_.QClientesd);
  }

  static TDataSetProvider* NewProvider(TComponent* owner, const char* name, TSQLQuery* dataSet) {
    auto* p = new TDataSetProvider(owner, name);
    p->DataSet = dataSet;
    p->Options = poAllowCommandText;
    return p;
  }
  static TClientDataSet* NewClient(TComponent* owner, const char* name, const char* provider) {
    auto* c = new TClientDataSet(owner, name);
    c->ProviderName = provider;
    return c;
  }

  static void ExpectConfigured(const TClientDataSet* c) {
    SCOPED_TRACE(c->Name());
    EXPECT_EQ(c->PacketRecords, 1000);
    EXPECT_TRUE(c->OnPostError);
    EXPECT_TRUE(c->OnEditError);
    EXPECT_TRUE(c->OnDeleteError);
    EXPECT_FALSE(c->OnReconcileError);
  }
  static void ExpectUntouched(const TClientDataSet* c) {
    SCOPED_TRACE(c->Name());
    EXPECT_EQ(c->PacketRecords, -1);
    EXPECT_FALSE(c->OnPostError);
    EXPECT_FALSE(c->OnEditError);
    EXPECT_FALSE(c->OnDeleteError);
  }

  void ExpectWalked() {
    EXPECT_TRUE(PAcumulado->OnUpdateError);
    EXPECT_TRUE(PCliented->OnUpdateError);
    ExpectConfigured(CAcumulado);
    ExpectConfigured(CCliented);
    // Below a component that owns components: configured.
    EXPECT_TRUE(PInner->OnUpdateError);
    ExpectConfigured(CInner);
    EXPECT_TRUE(PUnderClient->OnUpdateError);
    // Owners of components are descended into, not configured.
    EXPECT_FALSE(POwner->OnUpdateError);
    ExpectUntouched(COwner);
    // The data module's own providers and client datasets are not below the form.
    for (TDataSetProvider* p : {dm_.PConfiguracion, dm_.PReplica, dm_.PPuntoscli, dm_.PClientes})
      EXPECT_FALSE(p->OnUpdateError) << p->Name();
    for (TClientDataSet* c : {dm_.CConfiguracion, dm_.CReplica, dm_.CPuntoscli, dm_.CClientes}) ExpectUntouched(c);
  }

  TComponent form_{nullptr, "fconsopuntos"};
  TDataSetProvider* PAcumulado;
  TClientDataSet* CAcumulado;
  TDataSetProvider* PCliented;
  TClientDataSet* CCliented;
  TDataSetProvider* PInner;
  TClientDataSet* CInner;
  TDataSetProvider* POwner;
  TClientDataSet* COwner;
  TDataSetProvider* PUnderClient;
};

TEST_F(ConfigurarProvidersTest, ConfiguresExactlyTheFormsProvidersAndClientDatasets) {
  ExpectUntouched(CAcumulado);
  dm_.ConfigurarProviders(&form_);
  ExpectWalked();
}

TEST_F(ConfigurarProvidersTest, SecondWalkChangesNothing) {
  dm_.ConfigurarProviders(&form_);
  dm_.ConfigurarProviders(&form_);
  ExpectWalked();

  // Each handler still reports once per failure.
  testsupport::WorkDir dir;
  auto& ui = context_.ui;
  TDataAction action = daFail;
  CCliented->OnPostError(*CCliented, EDatabaseError("key violation"), action);
  EXPECT_EQ(action, daAbort);
  EXPECT_EQ(ui.events, (std::vector<std::string>{"beep", "error:Ya existe un registro con el mismo "}));
}

TEST_F(ConfigurarProvidersTest, InstalledHandlersAreTheReporters) {
  dm_.ConfigurarProviders(&form_);
  testsupport::WorkDir dir;
  auto& ui = context_.ui;

  TClientDataSet delta(nullptr, "");
  TResolverResponse response = rrSkip;
  PCliented->OnUpdateError(PCliented, delta,
                           EUpdateError("SQL Server Error: violation of FOREIGN KEY constraint \"FK_X\"", 1, 0),
                           ukInsert, response);
  EXPECT_EQ(response, rrAbort);
  response = rrApply;
  PAcumulado->OnUpdateError(PAcumulado, delta, EUpdateError("SQL Server Error: violation of PRIMARY or UNIQUE", 1, 0),
                            ukInsert, response);
  EXPECT_EQ(response, rrAbort);

  for (const TDataSetErrorEvent* event : {&CAcumulado->OnEditError, &CAcumulado->OnDeleteError}) {
    TDataAction action = daRetry;
    (*event)(*CAcumulado, EDatabaseError("Cannot delete master record with details"), action);
    EXPECT_EQ(action, daAbort);
  }
  EXPECT_EQ(ui.events,
            (std::vector<std::string>{
                "beep",
                "error:Está borrando o insertando un registro en la tabla Clientesd que tiene una relación con otra "_l1
                "tabla.",
                "beep", "error:Ya existe el registro en la tabla Puntosacum", "beep",
                "error:Error. Borre antes los detalles dependientes del registro.", "beep",
                "error:Error. Borre antes los detalles dependientes del registro."}));
  const std::string log = testsupport::ReadLog(dir.path() / "ERRORES.TXT");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4);
}

TEST_F(ConfigurarProvidersTest, RootThatOwnsNothingIsLeftAlone) {
  TDataSetProvider lonelyProvider(nullptr, "PSolo");
  TClientDataSet lonelyClient(nullptr, "CSolo");
  dm_.ConfigurarProviders(&lonelyProvider);
  dm_.ConfigurarProviders(&lonelyClient);
  EXPECT_FALSE(lonelyProvider.OnUpdateError);
  ExpectUntouched(&lonelyClient);
}

}  // namespace
