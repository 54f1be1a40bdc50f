#include "dm/dm.h"

#include "dbaccess/encoding.h"
#include "dbaccess/sqltext.h"
#include "dm/platform.h"
#include "dm/reporter.h"

using namespace dbx;

Tfdm* fdm = nullptr;

namespace {

void SetupConnection(TSQLConnection* c) {
  c->ConnectionName = "IBLocal";
  c->DriverName = "Interbase";
  c->GetDriverFunc = "getSQLDriverINTERBASE";
  c->LibraryName = "dbexpint.dll";
  c->VendorLib = "GDS32.DLL";
  c->LoginPrompt = false;
  for (const char* line : {"BlobSize=-1", "CommitRetain=False", "Database=", "DriverName=Interbase",
                           "ErrorResourceFile=", "LocaleCode=0000", "Password=", "RoleName=RoleName",
                           "ServerCharSet=", "SQLDialect=3", "Interbase TransIsolation=ReadCommited", "User_Name=",
                           "WaitOnLocks=True"})
    c->Params().Add(line);
}

TSQLQuery* NewQuery(TComponent* owner, const char* name, TSQLConnection* connection) {
  auto* q = new TSQLQuery(owner, name);
  q->SetSQLConnection(connection);
  q->MaxBlobSize = -1;
  return q;
}

TDataSetProvider* NewProvider(TComponent* owner, const char* name, TSQLQuery* dataSet, unsigned options) {
  auto* p = new TDataSetProvider(owner, name);
  p->DataSet = dataSet;
  p->Options = options;
  return p;
}

TClientDataSet* NewClient(TComponent* owner, const char* name, const char* providerName) {
  auto* c = new TClientDataSet(owner, name);
  c->ProviderName = providerName;
  return c;
}

FieldDesc StringDesc(const char* column, int size, bool fixedChar, bool required) {
  FieldDesc d;
  d.name = column;
  d.type = ftString;
  d.size = size;
  d.fixedChar = fixedChar;
  d.required = required;
  return d;
}

FieldDesc FmtBcdDesc(const char* column) {
  FieldDesc d;
  d.name = column;
  d.type = ftFMTBcd;
  d.precision = 15;
  d.scale = 2;
  return d;
}

}  // namespace

Tfdm::Tfdm(TContext& context, TComponent* owner) : TComponent(owner, "fdm"), context_(context) {
  Varnex = new TSQLConnection(this, "Varnex");
  SetupConnection(Varnex);
  ConReplica = new TSQLConnection(this, "ConReplica");
  SetupConnection(ConReplica);

  QConfiguracion = NewQuery(this, "QConfiguracion", Varnex);
  PConfiguracion = NewProvider(this, "PConfiguracion", QConfiguracion, poAllowCommandText);
  CConfiguracion = NewClient(this, "CConfiguracion", "PConfiguracion");

  TReplica = new TSQLTable(this, "TReplica");
  TReplica->SetSQLConnection(Varnex);
  TReplica->MaxBlobSize = -1;
  TReplica->TableName = "REPLICA_COMPANIA";
  TReplica->GetMetadata = false;
  PReplica = NewProvider(this, "PReplica", TReplica, 0);
  CReplica = NewClient(this, "CReplica", "PReplica");
  CReplicaRPCO_COD = CReplica->DeclareField("CReplicaRPCO_COD", StringDesc("RPCO_COD", 3, true, true));
  CReplicaRPCP_NOMBRE = CReplica->DeclareField("CReplicaRPCP_NOMBRE", StringDesc("RPCP_NOMBRE", 80, false, false));
  CReplicaRPCO_SERVIDOR =
      CReplica->DeclareField("CReplicaRPCO_SERVIDOR", StringDesc("RPCO_SERVIDOR", 60, false, false));
  CReplicaRPCO_ERRO = CReplica->DeclareField("CReplicaRPCO_ERRO", StringDesc("RPCO_ERRO", 1, true, false));

  QBorrar = NewQuery(this, "QBorrar", Varnex);
  QPuntosacum = NewQuery(this, "QPuntosacum", Varnex);
  QClientesd = NewQuery(this, "QClientesd", Varnex);

  QPuntoscli = NewQuery(this, "QPuntoscli", ConReplica);
  PPuntoscli = NewProvider(this, "PPuntoscli", QPuntoscli, poAllowCommandText);
  CPuntoscli = NewClient(this, "CPuntoscli", "PPuntoscli");
  CPuntoscli->CommandText = "SELECT * FROM RESUMEN_PUNTOS_TX('2008/12/01')";
  CPuntoscliCLIENTE = CPuntoscli->DeclareField("CPuntoscliCLIENTE", StringDesc("CLIENTE", 20, false, false));
  CPuntoscliPTACUM = CPuntoscli->DeclareField("CPuntoscliPTACUM", FmtBcdDesc("PTACUM"));
  CPuntoscliPTVENCER = CPuntoscli->DeclareField("CPuntoscliPTVENCER", FmtBcdDesc("PTVENCER"));

  QClientes = NewQuery(this, "QClientes", ConReplica);
  PClientes = NewProvider(this, "PClientes", QClientes, poAllowCommandText);
  CClientes = NewClient(this, "CClientes", "PClientes");
  QAcumulado = NewQuery(this, "QAcumulado", ConReplica);
  // CompresionRed=SI in Varnex2009.conf: the client compresses what crosses
  // the network, on both connections.
  std::string compresion;
  Varnex->WireCompression = ConReplica->WireCompression =
      platform::ReadSettingText("CompresionRed", compresion) && SameText(compresion, "SI");
  // EsperaConexion and EsperaBloqueo (seconds): how long a connection attempt
  // and a wait on a lock may last; absent, as long as the client library and
  // the server let them.
  const int esperaConexion = platform::ReadCountSetting("EsperaConexion");
  const int esperaBloqueo = platform::ReadCountSetting("EsperaBloqueo");
  for (TSQLConnection* c : {Varnex, ConReplica}) {
    if (esperaConexion > 0) c->Params().SetValue("Connection Timeout", std::to_string(esperaConexion));
    if (esperaBloqueo > 0) c->Params().SetValue("Lock Timeout", std::to_string(esperaBloqueo));
  }
  QBorrarep = NewQuery(this, "QBorrarep", ConReplica);
  for (TClientDataSet* client : {CConfiguracion, CReplica, CPuntoscli, CClientes}) ConfigurarConjunto(client);

  DataModuleCreate(this);
}

Tfdm::~Tfdm() { context_.Application.OnException = nullptr; }

void Tfdm::DataModuleCreate(TComponent* /*Sender*/) {
  context_.Application.OnException = [this](TComponent* sender, const std::exception& e) { ENoManejada(sender, e); };
}

void Tfdm::ConfigurarConjunto(TClientDataSet* client) {
  client->SetFormats(&context_.Formats);
  client->OnHandlerException = [this](TComponent* sender, const std::exception& e) {
    context_.Application.HandleException(sender, e);
  };
}

void Tfdm::ConfigurarProviders(TComponent* root) {
  for (int i = 0; i < root->ComponentCount(); ++i) {
    TComponent* c = root->Components(i);
    if (c->ComponentCount() > 0) {
      ConfigurarProviders(c);
    } else if (auto* provider = dynamic_cast<TDataSetProvider*>(c)) {
      provider->OnUpdateError = [this](TComponent* sender, TClientDataSet& dataSet, const EUpdateError& e,
                                       TUpdateKind kind, TResolverResponse& response) {
        ManejarError(sender, &dataSet, e, kind, response);
      };
    } else if (auto* client = dynamic_cast<TClientDataSet*>(c)) {
      client->PacketRecords = 1000;
      ConfigurarConjunto(client);
      auto handler = [this](TClientDataSet& dataSet, const EDatabaseError& e, TDataAction& action) {
        ManejarClientError(dataSet, e, action);
      };
      client->OnPostError = handler;
      client->OnEditError = handler;
      client->OnDeleteError = handler;
    }
  }
}

void Tfdm::ManejarError(TComponent* Sender, TClientDataSet* DataSet, const std::exception& E,
                        TUpdateKind /*UpdateKind*/, TResolverResponse& Response) {
  Response = rrAbort;
  ReportError(context_, Sender, DataSet, E);
}

void Tfdm::ManejarClientError(TClientDataSet& DataSet, const EDatabaseError& E, TDataAction& Action) {
  Action = daAbort;
  TResolverResponse response = rrSkip;
  ManejarError(nullptr, &DataSet, E, ukInsert, response);
}

void Tfdm::ENoManejada(TComponent* Sender, const std::exception& E) {
  TResolverResponse response = rrSkip;
  ManejarError(Sender, nullptr, E, ukInsert, response);
}

std::string Tfdm::configuracion(const std::string& modulo, const std::string& categoria,
                                const std::string& propiedad) {
  CConfiguracion->Close();
  CConfiguracion->CommandText = "select conf_valor from configuracion where conf_modulo = " + QuotedStr(modulo) +
                                " and conf_categoria = " + QuotedStr(categoria) +
                                " and conf_propiedad = " + QuotedStr(propiedad);
  CConfiguracion->Open();
  if (CConfiguracion->RecordCount() <= 0) {
    context_.Ui().ErrorDialog("No se encontró la configuración "_l1 + propiedad);
    return {};
  }
  return CConfiguracion->Fields(0).AsString();
}
