// The transmission run: reconnect the main database, check the replication
// switch, empty the accumulated points, then collect from every branch and
// distribute to every branch.
#include "consopuntos/fconsopuntos.h"
#include "dbaccess/encoding.h"
#include "dbaccess/textforms.h"
#include "dm/dm.h"
#include "dm/platform.h"

using namespace dbx;

namespace {

const char* const kModulo = "INVENTARIO";
const char* const kCategoria = "ARTICULOS";

// Selection of the table's rows that AUDITORIA records as inserted on a date.
std::string AuditSelection(const char* table, const std::string& fecha) {
  return std::string("SELECT * FROM ") + table +
         " T WHERE EXISTS (SELECT AUDI_ID FROM AUDITORIA WHERE TIDO_COD = 103 AND AUDI_COD = T.TERC_NIT AND "
         "AUDI_FECHA = " +
         fecha + " AND AUDI_OPER = 'I')";
}

std::string TemplateSelection(const char* table) {
  return std::string("SELECT * FROM ") + table + " WHERE TERC_NIT = '0'";
}

std::string ProbeText(const char* table) { return std::string("SELECT TERC_NIT FROM ") + table + " WHERE TERC_NIT = "; }

void Reopen(TClientDataSet* dataSet, const std::string& commandText) {
  dataSet->Close();
  dataSet->CommandText = commandText;
  dataSet->Open();
}

void RunStatement(TSQLQuery* query, const std::string& text) {
  query->Close();
  query->SQL().Clear();
  query->SQL().Add(text);
  query->ExecSQL();
}

}  // namespace

std::string Tfconsopuntos::FechaSql() const { return SqlDate(FechaTransmision()); }

std::string Tfconsopuntos::NombreCompania() const { return fdm->CReplicaRPCP_NOMBRE->AsString(); }

void Tfconsopuntos::SpeedButton1Click() {
  TSQLConnection* varnex = fdm->Varnex;
  varnex->SetConnected(false);
  varnex->Params().SetValue("Database", ServidorText() + "/datos/" + CiaText() + "/varnex.fdb");
  ShowStatus("Conectando a " + varnex->Params().Value("Database") + " ...");
  varnex->Params().SetValue("User_Name", TusuaText());
  varnex->Params().SetValue("password", TClaveText());
  varnex->SetConnected(true);

  if (fdm->configuracion(kModulo, kCategoria, "REPLICAR CAMBIOS EN ARTICULOS") == "SI") {
    RunStatement(fdm->QBorrar, "DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    fdm->CReplica->Close();
    fdm->CReplica->Open();

    while (!fdm->CReplica->Eof()) {
      ConectarReplica("Trayendo puntos", true);
      if (fdm->ConReplica->ConnectionState() == csOpen) TraerPuntos();
      fdm->CReplica->Next();
    }
    fdm->CReplica->First();
    while (!fdm->CReplica->Eof()) {
      ConectarReplica("Enviando consolidado", false);
      if (fdm->ConReplica->ConnectionState() == csOpen) EnviarConsolidado();
      fdm->CReplica->Next();
    }
  }
  close();
}

// Opens ConReplica on the current branch; a branch that does not open is
// logged to ERRORENVPTOS.TXT and left closed.
void Tfconsopuntos::ConectarReplica(const std::string& label, bool connectingText) {
  TSQLConnection* replica = fdm->ConReplica;
  replica->SetConnected(false);
  const std::string carpeta = fdm->CReplicaRPCO_SERVIDOR->AsString() + "\\datos\\" + fdm->CReplicaRPCO_COD->AsString();
  replica->Params().SetValue("Database", carpeta + "\\varnex.fdb");
  replica->Params().SetValue("User_Name",
                             fdm->configuracion(kModulo, kCategoria, "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS"));
  replica->Params().SetValue("password",
                             fdm->configuracion(kModulo, kCategoria, "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS"));
  if (connectingText) SetStatusText("Conectando a " + replica->Params().Value("Database") + " ...");
  try {
    replica->SetConnected(true);
  } catch (...) {
    const DateTime fecha = Now();
    const DateTime hora = Now();
    const std::string line = DateToStr(fecha) + "," + TimeToStr(hora) + "," + carpeta + "," + label + "," +
                             DateToStr(DateTime{FechaTransmision(), {}}) + "\r\n";
    platform::AppendToLog(diraplicacion() + "\\ERRORENVPTOS.TXT", line);
  }
}

// Collection: the branch's new customers into the main database, and the
// branch's points summary into the main database's accumulation procedure.
void Tfconsopuntos::TraerPuntos() {
  ShowStatus("Trayendo CLIENTES de la compañia "_l1 + NombreCompania() + " ...");
  Reopen(fdm->CClientes, AuditSelection("TERCEROS", FechaSql()));
  Reopen(CCliented, TemplateSelection("TERCEROS"));
  CopiarFaltantes(fdm->CClientes, CCliented, fdm->QBorrar, ProbeText("TERCEROS"));
  Reopen(fdm->CClientes, AuditSelection("CLIENTES", FechaSql()));
  Reopen(CCliented, TemplateSelection("CLIENTES"));
  CopiarFaltantes(fdm->CClientes, CCliented, fdm->QBorrar, ProbeText("CLIENTES"));

  ShowStatus("Trayendo PUNTOS de la compañia "_l1 + NombreCompania() + " ...");
  const std::string fecha = FechaSql();
  Reopen(fdm->CPuntoscli, "SELECT * FROM RESUMEN_PUNTOS_TX(" + fecha + ")");
  while (!fdm->CPuntoscli->Eof()) {
    CAcumulado->Close();
    CAcumulado->CommandText = "EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS(" +
                              SqlLiteral(fdm->CPuntoscliCLIENTE->Value()) + ", " + fecha + "," +
                              SqlLiteral(fdm->CPuntoscliPTACUM->Value()) + "," +
                              SqlLiteral(fdm->CPuntoscliPTVENCER->Value()) + ")";
    CAcumulado->Execute();
    fdm->CPuntoscli->Next();
  }
  HideStatus();
}

// Distribution: the main database's new customers to the branch, and the
// branch's accumulated table replaced by the main one in one transaction.
void Tfconsopuntos::EnviarConsolidado() {
  ShowStatus("Enviando CLIENTES a la compañia "_l1 + NombreCompania() + " ...");
  Reopen(CCliented, AuditSelection("TERCEROS", FechaSql()));
  Reopen(fdm->CClientes, TemplateSelection("TERCEROS"));
  CopiarFaltantes(CCliented, fdm->CClientes, fdm->QBorrarep, ProbeText("TERCEROS"));
  Reopen(CCliented, AuditSelection("CLIENTES", FechaSql()));
  Reopen(fdm->CClientes, TemplateSelection("CLIENTES"));
  CopiarFaltantes(CCliented, fdm->CClientes, fdm->QBorrarep, ProbeText("CLIENTES"));

  ShowStatus("Actualizando ACUMULADO en la compañia "_l1 + NombreCompania() + " ...");
  TSQLConnection* replica = fdm->ConReplica;
  replica->StartTransaction(1, replica->IsolationLevel());
  try {
    RunStatement(fdm->QAcumulado, "DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    Reopen(CAcumulado, "select TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER from PUNTOS_CLIENTE_ACUMULADO");
    while (!CAcumulado->Eof()) {
      RunStatement(fdm->QAcumulado,
                   "INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER) "
                   "VALUES (" +
                       SqlQuotedKey(CAcumulado->Fields(0).Value()) + "," + SqlLiteral(CAcumulado->Fields(1).Value()) +
                       "," + SqlLiteral(CAcumulado->Fields(2).Value()) + "," +
                       SqlLiteral(CAcumulado->Fields(3).Value()) + ")");
      CAcumulado->Next();
    }
    replica->Commit(1);
  } catch (...) {
    // The branch keeps its previous table.
    try {
      if (replica->InTransaction()) replica->Rollback(1);
    } catch (...) {
    }
    throw;
  }
  HideStatus();
}

// Inserts every source row whose key the destination database lacks, one
// insert and apply per row, copying the columns by position. A row the
// destination rejects is reported once and dropped from the change log, so
// the rows after it still get through.
void Tfconsopuntos::CopiarFaltantes(TClientDataSet* source, TClientDataSet* target, TSQLQuery* probe,
                                    const std::string& probeText) {
  while (!source->Eof()) {
    probe->SQL().Clear();
    probe->SQL().Add(probeText + SqlQuotedKey(source->Fields(0).Value()));
    probe->Open();
    if (probe->IsEmpty()) {
      target->Insert();
      for (int i = 0; i < target->FieldCount(); ++i) target->Fields(i).SetValue(source->Fields(i).Value());
      target->Post();
      if (target->ApplyUpdates(0) > 0) {
        // A provider with the error reporter has shown and logged it already.
        const TDataSetProvider* provider = target->Provider();
        if ((provider == nullptr || !provider->OnUpdateError) && !target->LastApplyErrors().empty())
          AppendErrorLog(target->LastApplyErrors().front().message);
        target->CancelUpdates();
      }
    }
    probe->Close();
    source->Next();
  }
}
