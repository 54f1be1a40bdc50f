#include "dm/dm.h"

#include "dbaccess/sqltext.h"
#include "dbaccess/encoding.h"
#include "dbaccess/textforms.h"
#include "dm/application.h"
#include "dm/platform.h"
#include "dm/ui.h"

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

// The text between the first double quote at or after `from`
// and the next one; empty when there are fewer than two.
std::string QuotedAfter(const std::string& m, std::size_t from) {
  const auto open = m.find('"', from);
  if (open == std::string::npos) return {};
  const auto close = m.find('"', open + 1);
  if (close == std::string::npos) return {};
  return m.substr(open + 1, close - open - 1);
}

bool Contains(const std::string& m, const char* text) { return m.find(text) != std::string::npos; }

std::string CaseA(const std::string& m) {
  const std::string general = "Se presento el siguiente error: ";
  if (m.compare(0, kDbExpressWord.size(), kDbExpressWord) != 0) return general + m;
  if (Contains(m, "Your user name and password are not defined"))
    return "El nombre de Usuario o la clave son incorrectas.";
  if (Contains(m, "I/O error for file")) return "No se encontró el archivo o la ruta "_l1 + QuotedAfter(m, 0);
  // Firebird 3 words it: I/O error during "open" operation for file "PATH".
  // The path is the quoted text right after "for file ".
  static const std::string kForFile = "operation for file ";
  if (const auto forFile = m.find(kForFile); Contains(m, "I/O error during") && forFile != std::string::npos) {
    const auto path = forFile + kForFile.size();
    return "No se encontró el archivo o la ruta "_l1 +
           (path < m.size() && m[path] == '"' ? QuotedAfter(m, path) : std::string());
  }
  if (Contains(m, "Unable to complete network request"))
    return "No se encontró el equipo servidor con nombre "_l1 + QuotedAfter(m, 0);
  if (Contains(m, "Connection failed"))
    return "No se encontró el servidor Interbase/Firebird. Verifique Servidor en panel de control y puerto TCP 3050."_l1;
  return general + m;
}

std::string CaseB(const TComponent* sender, const std::string& m) {
  // The server's text, after the frame of a statement the server rejected.
  const std::string p = m.size() > kSqlServerError.size() ? m.substr(kSqlServerError.size(), 20) : std::string();
  std::string n;
  if (const auto* provider = dynamic_cast<const TDataSetProvider*>(sender);
      provider != nullptr && provider->DataSet != nullptr && !provider->DataSet->Name().empty())
    n = provider->DataSet->Name().substr(1);
  if (p == "violation of PRIMARY") return "Ya existe el registro en la tabla " + n;
  if (p == "violation of FOREIGN")
    return "Está borrando o insertando un registro en la tabla "_l1 + n + " que tiene una relación con otra tabla."_l1;
  return m;
}

std::string CaseC(const TClientDataSet& dataSet, const std::string& m) {
  const std::string p = m.substr(0, 30);
  if (p == "Cannot delete master record wi") return "Error. Borre antes los detalles dependientes del registro.";
  if (p.compare(0, 3, "Fie") == 0) {
    std::string list;
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
      const TField& f = dataSet.Fields(i);
      if (f.Required() && f.IsNull()) list += f.FieldName() + ", ";
    }
    return "Los campos " + list + " son obligatorios.";
  }
  if (p.compare(0, 3, "key") == 0) {
    std::string list;
    for (const TField* f : dataSet.IndexFields()) list += f->FieldName() + " ";
    return "Ya existe un registro con el mismo " + list;
  }
  return m;
}

}  // namespace

std::string ErrorText(const TComponent* Sender, const TClientDataSet* DataSet, const std::string& message) {
  if (DataSet == nullptr) return CaseA(message);
  if (Sender != nullptr) return CaseB(Sender, message);
  return CaseC(*DataSet, message);
}

std::string ErrorLogLine(const DateTime& date, const DateTime& time, const std::string& message) {
  return DateToStr(date) + "," + TimeToStr(time) + ",," + message + "\r\n";
}

void AppendErrorLog(const std::string& message) noexcept {
  try {
    const DateTime date = Now();  // the date first, the time from a second reading
    const DateTime time = Now();
    platform::AppendToLog("\\ERRORES.TXT", ErrorLogLine(date, time, message));
  } catch (...) {
  }
}

Tfdm::Tfdm(TComponent* owner) : TComponent(owner, "fdm") {
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
  QBorrarep = NewQuery(this, "QBorrarep", ConReplica);

  DataModuleCreate(this);
}

Tfdm::~Tfdm() { Application().OnException = nullptr; }

void Tfdm::DataModuleCreate(TComponent* /*Sender*/) {
  Application().OnException = [this](TComponent* sender, const std::exception& e) { ENoManejada(sender, e); };
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
  const std::string message = E.what();
  AppendErrorLog(message);
  Response = rrAbort;
  const std::string text = ErrorText(Sender, DataSet, message);
  Ui().Beep();
  Ui().ErrorDialog(text);
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
    Ui().ErrorDialog("No se encontró la configuración "_l1 + propiedad);
    return {};
  }
  return CConfiguracion->Fields(0).AsString();
}
