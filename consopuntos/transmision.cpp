#include "consopuntos/transmision.h"

#include <algorithm>

#include "dbaccess/batch.h"
#include "dbaccess/encoding.h"
#include "dbaccess/rowlock.h"
#include "dbaccess/sqltext.h"
#include "dbaccess/textforms.h"
#include "dm/dm.h"
#include "dm/platform.h"
#include "dm/reporter.h"
#include "dm/ui.h"

using namespace dbx;

namespace {

const char* const kModulo = "INVENTARIO";
const char* const kCategoria = "ARTICULOS";

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

// The rows of a dataset, from its current one on, each the statement of a
// shape with the values of the row; the dataset moves on only when the next
// row is asked for, as one row after another moves it.
class Filas : public TRowSource {
 public:
  using Valores = std::function<std::vector<Variant>()>;
  Filas(TClientDataSet& filas, std::shared_ptr<const TRowShape> forma, Valores valores)
      : filas_(filas), forma_(std::move(forma)), valores_(std::move(valores)) {}

  bool Next(TBatchRow& row) override {
    if (empezada_) filas_.Next();
    empezada_ = true;
    if (filas_.Eof()) return false;
    row.shape = forma_;
    row.values = valores_();
    return true;
  }

 private:
  TClientDataSet& filas_;
  std::shared_ptr<const TRowShape> forma_;
  Valores valores_;
  bool empezada_ = false;
};

// A stream whose rows are written as they come, the one-row way alone.
class Escritas : public TBatchSink {
 public:
  using Sola = std::function<void(const std::string& sentencia)>;
  Escritas(int& hechas, Sola sola) : hechas_(hechas), sola_(std::move(sola)) {}
  void Written(const TBatchRow&) override { ++hechas_; }
  void RunAlone(const TBatchRow& row) override {
    sola_(RowText(*row.shape, row.values));
    ++hechas_;
  }

 private:
  int& hechas_;
  Sola sola_;
};

}  // namespace

// Selection of the table's rows that AUDITORIA records as inserted on a date.
std::string SeleccionAuditada(const std::string& tabla, const std::string& fecha) {
  return "SELECT * FROM " + tabla +
         " T WHERE EXISTS (SELECT AUDI_ID FROM AUDITORIA WHERE TIDO_COD = 103 AND AUDI_COD = T.TERC_NIT AND "
         "AUDI_FECHA = " +
         fecha + " AND AUDI_OPER = 'I')";
}

std::string SeleccionPlantilla(const std::string& tabla) { return "SELECT * FROM " + tabla + " WHERE TERC_NIT = '0'"; }

std::string TextoSonda(const std::string& tabla) { return "SELECT TERC_NIT FROM " + tabla + " WHERE TERC_NIT = "; }

std::shared_ptr<const TRowShape> FormaSonda(const std::string& tabla) {
  auto forma = std::make_shared<TRowShape>();
  forma->target = TRowShape::Target::kComparison;
  forma->name = tabla;
  forma->texts = {TextoSonda(tabla), ""};
  forma->forms = {TSlotForm::kQuotedKey};
  return forma;
}

std::string SondaExistencia(const std::string& tabla, const Variant& clave) {
  return RowText(*FormaSonda(tabla), {clave});
}

std::string ResumenPuntos(const std::string& fecha) { return "SELECT * FROM RESUMEN_PUNTOS_TX(" + fecha + ")"; }

std::shared_ptr<const TRowShape> FormaLlamadaAcumulacion(const std::string& fecha) {
  auto forma = std::make_shared<TRowShape>();
  forma->target = TRowShape::Target::kProcedure;
  forma->name = "ACTUALIZA_PUNTOS_ACUMULADOS";
  forma->texts = {"EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS(", ", " + fecha + ",", ",", ")"};
  forma->forms.assign(3, TSlotForm::kLiteral);
  return forma;
}

std::string LlamadaAcumulacion(const Variant& cliente, const std::string& fecha, const Variant& acumulado,
                               const Variant& porVencer) {
  return RowText(*FormaLlamadaAcumulacion(fecha), {cliente, acumulado, porVencer});
}

std::shared_ptr<const TRowShape> FormaInsercionAcumulado() {
  auto forma = std::make_shared<TRowShape>();
  forma->target = TRowShape::Target::kTable;
  forma->name = "puntos_cliente_acumulado";
  forma->columns = {"TERC_NIT", "PTCA_FECHA", "PTCA_ACUMULADO", "PTCA_PORVENCER"};
  forma->texts = {"INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER) VALUES (",
                  ",", ",", ",", ")"};
  forma->forms = {TSlotForm::kQuotedKey, TSlotForm::kLiteral, TSlotForm::kLiteral, TSlotForm::kLiteral};
  return forma;
}

std::string InsercionAcumulado(const Variant& nit, const Variant& fecha, const Variant& acumulado,
                               const Variant& porVencer) {
  return RowText(*FormaInsercionAcumulado(), {nit, fecha, acumulado, porVencer});
}

int FilasPorLoteDe(const std::string& valor) { return platform::PositiveInteger(valor); }

int FilasPorLote() {
  std::string valor;
  if (!platform::ReadSettingText("FilasPorLote", valor)) return kFilasPorLote;
  const int filas = FilasPorLoteDe(valor);
  if (filas > 0) return filas;
  ReportLine("consopuntos: FilasPorLote=" + valor + " no es un entero positivo; se toman " +
             std::to_string(kFilasPorLote) + " filas por lote");
  return kFilasPorLote;
}

bool EnviarConFaltantes() {
  std::string valor;
  if (!platform::ReadSettingText("EnviarConFaltantes", valor) || SameText(valor, "SI")) return true;
  if (SameText(valor, "NO")) return false;
  ReportLine("consopuntos: EnviarConFaltantes=" + valor + " no es SI ni NO; se toma SI");
  return true;
}

std::string BloqueoInterruptor() {
  return "SELECT conf_valor FROM configuracion WHERE conf_modulo = " + QuotedStr(kModulo) +
         " AND conf_categoria = " + QuotedStr(kCategoria) +
         " AND conf_propiedad = 'REPLICAR CAMBIOS EN ARTICULOS' WITH LOCK";
}

std::string TextoEnCurso(const std::string& compania, const TLockHolder& otra, const FormatSettings& fs) {
  std::string detalle;
  const auto parte = [&detalle](const std::string& texto) { detalle += (detalle.empty() ? " (" : ", ") + texto; };
  if (otra.since) parte("desde " + DateToStr(*otra.since, fs) + " " + TimeToStr(*otra.since, fs));
  if (!otra.host.empty()) parte("equipo " + otra.host);
  if (!otra.address.empty()) parte("dirección "_l1 + otra.address);
  if (!otra.process.empty()) parte("programa " + otra.process);
  if (otra.pid != 0) parte("proceso " + std::to_string(otra.pid));
  if (!detalle.empty()) detalle += ")";
  return "La compañía "_l1 + compania + " ya tiene una transmisión en curso"_l1 + detalle +
         "; esta no cambió nada."_l1;
}

TConjuntosTransmision CrearConjuntosTransmision(TComponent* owner, Tfdm& dm) {
  TConjuntosTransmision c{};
  c.PAcumulado = new TDataSetProvider(owner, "PAcumulado");
  c.PAcumulado->DataSet = dm.QPuntosacum;
  c.PAcumulado->Options = poAllowCommandText;
  c.CAcumulado = new TClientDataSet(owner, "CAcumulado");
  c.CAcumulado->ProviderName = "PAcumulado";
  c.PCliented = new TDataSetProvider(owner, "PCliented");
  c.PCliented->DataSet = dm.QClientesd;
  c.PCliented->Options = poAllowCommandText;
  c.CCliented = new TClientDataSet(owner, "CCliented");
  c.CCliented->ProviderName = "PCliented";
  return c;
}

TTransmision::TTransmision(Tfdm& dm, TVentanaTransmision& ventana, TClientDataSet& cAcumulado,
                           TClientDataSet& cCliented)
    : fdm_(dm), ventana_(ventana), CAcumulado(&cAcumulado), CCliented(&cCliented) {}

std::string TTransmision::FechaSql() const { return SqlDate(ventana_.FechaTransmision()); }

const FormatSettings& TTransmision::formatos() const { return fdm_.Context().Formats; }

void TTransmision::Mostrar(const std::string& texto) {
  paso_ = texto;
  ventana_.ShowStatus(texto);
}

std::string TTransmision::Lugar() const {
  const std::string paso = paso_.empty() ? std::string() : ", paso: " + paso_;
  if (recorrido_.empty()) return "antes de recorrer las sucursales" + paso;
  return recorrido_ + ", sucursal " + sucursal_ + paso;
}

std::string TTransmision::NombreCompania() const { return fdm_.CReplicaRPCP_NOMBRE->AsString(); }

void TTransmision::Ejecutar() {
  filasPorLote_ = FilasPorLote();
  // In chunks, a statement that comes again keeps its preparation.
  fdm_.Varnex->KeepStatements = fdm_.ConReplica->KeepStatements = filasPorLote_ > 1;
  const bool enviarConFaltantes = EnviarConFaltantes();
  sinAbrir_.clear();
  TSQLConnection* varnex = fdm_.Varnex;
  varnex->SetConnected(false);
  varnex->Params().SetValue("Database", ventana_.ServidorText() + "/datos/" + ventana_.CiaText() + "/varnex.fdb");
  Mostrar("Conectando a " + varnex->Params().Value("Database") + " ...");
  varnex->Params().SetValue("User_Name", ventana_.TusuaText());
  varnex->Params().SetValue("password", ventana_.TClaveText());
  varnex->SetConnected(true);

  TRowLock bloqueo(*varnex);
  const std::string interruptor = fdm_.configuracion(kModulo, kCategoria, "REPLICAR CAMBIOS EN ARTICULOS");
  if (interruptor != "SI") {
    // Nothing is done: a night like that must not look like a good one.
    ReportLine("consopuntos: la replicación de la compañía "_l1 + ventana_.CiaText() +
               " está desactivada (REPLICAR CAMBIOS EN ARTICULOS = '"_l1 + interruptor + "', no 'SI'); no se hizo nada");
  } else {
    resumen_.replicacion = true;
    // One run of a company at a time: the switch's rows stay locked until
    // this run ends, however it ends, and nothing changes before.
    if (TLockHolder otra; !bloqueo.Acquire(BloqueoInterruptor(), otra))
      throw ETransmisionEnCurso(TextoEnCurso(ventana_.CiaText(), otra, formatos()));
    RunStatement(fdm_.QBorrar, "DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
    fdm_.CReplica->Close();
    fdm_.CReplica->Open();
    resumen_.sucursales = fdm_.CReplica->RecordCount();

    while (!fdm_.CReplica->Eof()) {
      ConectarReplica("Trayendo puntos", true);
      if (fdm_.ConReplica->ConnectionState() == csOpen) TraerPuntos();
      fdm_.CReplica->Next();
    }
    if (!enviarConFaltantes && !sinAbrir_.empty()) {
      // Every branch keeps the tables it had.
      resumen_.sinEnviar = true;
      std::string carpetas;
      for (const std::string& c : sinAbrir_) carpetas += (carpetas.empty() ? "" : ", ") + c;
      ReportLine("consopuntos: no se abrieron al traer puntos las sucursales " + carpetas +
                 "; con EnviarConFaltantes=NO no se envió nada a las sucursales"_l1);
    } else {
      fdm_.CReplica->First();
      while (!fdm_.CReplica->Eof()) {
        ConectarReplica("Enviando consolidado", false);
        if (fdm_.ConReplica->ConnectionState() == csOpen) EnviarConsolidado();
        fdm_.CReplica->Next();
      }
    }
  }
  resumen_.terminada = true;
  ventana_.Cerrar();
}

// Opens ConReplica on the current branch; a branch that does not open is
// logged to ERRORENVPTOS.TXT and left closed.
void TTransmision::ConectarReplica(const std::string& label, bool connectingText) {
  TSQLConnection* replica = fdm_.ConReplica;
  replica->SetConnected(false);
  const std::string carpeta =
      fdm_.CReplicaRPCO_SERVIDOR->AsString() + "\\datos\\" + fdm_.CReplicaRPCO_COD->AsString();
  replica->Params().SetValue("Database", carpeta + "\\varnex.fdb");
  replica->Params().SetValue("User_Name",
                             fdm_.configuracion(kModulo, kCategoria, "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS"));
  replica->Params().SetValue("password",
                             fdm_.configuracion(kModulo, kCategoria, "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS"));
  recorrido_ = label;
  sucursal_ = carpeta + " (" + fdm_.CReplicaRPCP_NOMBRE->AsString() + ")";
  paso_ = "Conectando a " + replica->Params().Value("Database") + " ...";
  if (connectingText) ventana_.SetStatusText(paso_);
  std::string mensaje;
  try {
    replica->SetConnected(true);
    return;
  } catch (const std::exception& e) {
    mensaje = e.what();
  } catch (...) {
  }
  ++(connectingText ? resumen_.sinAbrirTrayendo : resumen_.sinAbrirEnviando);
  if (std::find(resumen_.carpetasSinAbrir.begin(), resumen_.carpetasSinAbrir.end(), carpeta) ==
      resumen_.carpetasSinAbrir.end())
    resumen_.carpetasSinAbrir.push_back(carpeta);
  if (connectingText) sinAbrir_.push_back(carpeta);
  if (SucursalSinAbrir) SucursalSinAbrir(carpeta, label, mensaje);
  const DateTime fecha = Now();
  const DateTime hora = Now();
  const FormatSettings& fs = formatos();
  const std::string line = DateToStr(fecha, fs) + "," + TimeToStr(hora, fs) + "," + carpeta + "," + label + "," +
                           DateToStr(DateTime{ventana_.FechaTransmision(), {}}, fs) + "\r\n";
  platform::AppendToLog(ventana_.diraplicacion() + "\\ERRORENVPTOS.TXT", line);
}

// Collection: the branch's new customers into the main database, and the
// branch's points summary into the main database's accumulation procedure.
void TTransmision::TraerPuntos() {
  Mostrar("Trayendo CLIENTES de la compañia "_l1 + NombreCompania() + " ...");
  Reopen(fdm_.CClientes, SeleccionAuditada("TERCEROS", FechaSql()));
  Reopen(CCliented, SeleccionPlantilla("TERCEROS"));
  resumen_.tercerosTraidos += CopiarFaltantes(fdm_.CClientes, CCliented, fdm_.QBorrar, "TERCEROS");
  Reopen(fdm_.CClientes, SeleccionAuditada("CLIENTES", FechaSql()));
  Reopen(CCliented, SeleccionPlantilla("CLIENTES"));
  (void)CopiarFaltantes(fdm_.CClientes, CCliented, fdm_.QBorrar, "CLIENTES");

  Mostrar("Trayendo PUNTOS de la compañia "_l1 + NombreCompania() + " ...");
  const std::string fecha = FechaSql();
  Reopen(fdm_.CPuntoscli, ResumenPuntos(fecha));
  // The calls run on the main database, through CAcumulado's statement.
  Filas resumen(*fdm_.CPuntoscli, FormaLlamadaAcumulacion(fecha), [this] {
    return std::vector<Variant>{fdm_.CPuntoscliCLIENTE->Value(), fdm_.CPuntoscliPTACUM->Value(),
                                fdm_.CPuntoscliPTVENCER->Value()};
  });
  Escritas llamadas(resumen_.llamadasAcumulacion, [this](const std::string& llamada) {
    CAcumulado->Close();
    CAcumulado->CommandText = llamada;
    CAcumulado->Execute();
  });
  TStatementBatch(*fdm_.QPuntosacum->SQLConnection(), filasPorLote_).Send(resumen, llamadas);
  ventana_.HideStatus();
}

// Distribution: the main database's new customers to the branch, and the
// branch's accumulated table replaced by the main one in one transaction.
void TTransmision::EnviarConsolidado() {
  Mostrar("Enviando CLIENTES a la compañia "_l1 + NombreCompania() + " ...");
  Reopen(CCliented, SeleccionAuditada("TERCEROS", FechaSql()));
  Reopen(fdm_.CClientes, SeleccionPlantilla("TERCEROS"));
  resumen_.tercerosEnviados += CopiarFaltantes(CCliented, fdm_.CClientes, fdm_.QBorrarep, "TERCEROS");
  Reopen(CCliented, SeleccionAuditada("CLIENTES", FechaSql()));
  Reopen(fdm_.CClientes, SeleccionPlantilla("CLIENTES"));
  (void)CopiarFaltantes(CCliented, fdm_.CClientes, fdm_.QBorrarep, "CLIENTES");

  Mostrar("Actualizando ACUMULADO en la compañia "_l1 + NombreCompania() + " ...");
  TSQLConnection* replica = fdm_.ConReplica;
  int enviados = 0;
  // One transaction: a branch whose refill fails keeps its previous table.
  TTransaction transaccion(*replica);
  RunStatement(fdm_.QAcumulado, "DELETE FROM PUNTOS_CLIENTE_ACUMULADO");
  Reopen(CAcumulado, "select TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER from PUNTOS_CLIENTE_ACUMULADO");
  Filas acumulado(*CAcumulado, FormaInsercionAcumulado(), [this] {
    return std::vector<Variant>{CAcumulado->Fields(0).Value(), CAcumulado->Fields(1).Value(),
                                CAcumulado->Fields(2).Value(), CAcumulado->Fields(3).Value()};
  });
  Escritas inserciones(enviados, [this](const std::string& insercion) { RunStatement(fdm_.QAcumulado, insercion); });
  TStatementBatch(*fdm_.QAcumulado->SQLConnection(), filasPorLote_).Send(acumulado, inserciones);
  transaccion.Commit();
  resumen_.acumuladosEnviados += enviados;
  ventana_.HideStatus();
}

namespace {

// The missing-row copy of one table as a stream: each source row inserted
// into the destination and written only where its key is absent at its
// turn; a row that fails before it is sent (a value that does not fit its
// field, a required field that is null) runs alone, as does every row of
// one row after another.
class Copia : public TRowSource, public TBatchSink {
 public:
  using Sola = std::function<int()>;  // the source's current row alone: the rows copied
  Copia(TClientDataSet& source, TClientDataSet& target, std::shared_ptr<const TRowShape> sonda, bool enBloques,
        Sola sola)
      : source_(source), target_(target), sonda_(std::move(sonda)), enBloques_(enBloques), sola_(std::move(sola)) {}

  bool Next(TBatchRow& row) override {
    if (empezada_) {
      source_.MoveTo(posicion_);  // a row run alone may have moved it
      source_.Next();
    }
    empezada_ = true;
    if (source_.Eof()) return false;
    posicion_ = source_.RecNo();
    row.position = posicion_;
    if (!enBloques_) return true;
    bool lista = true;
    try {
      row.key = source_.Fields(0).Value();
      target_.Insert();
      for (int i = 0; i < target_.FieldCount(); ++i) target_.Fields(i).SetValue(source_.Fields(i).Value());
      lista = target_.RequiredFieldMissing() == nullptr;
    } catch (...) {
      lista = false;
    }
    if (!lista) {
      target_.Cancel();  // it fails (or not) at its turn
      return true;
    }
    target_.Post();
    if (target_.TakeBatchRow(row)) row.guard = sonda_;
    return true;
  }

  void Written(const TBatchRow&) override { ++copiadas; }
  void Found(const TBatchRow& row) override { target_.RemoveRow(row.datasetRow); }
  void RunAlone(const TBatchRow& row) override {
    if (row.datasetRow != 0) target_.RemoveRow(row.datasetRow);
    source_.MoveTo(row.position);
    copiadas += sola_();
  }
  void Dropped(const TBatchRow& row) override {
    if (row.datasetRow != 0) target_.RemoveRow(row.datasetRow);
  }

  int copiadas = 0;

 private:
  TClientDataSet& source_;
  TClientDataSet& target_;
  std::shared_ptr<const TRowShape> sonda_;
  bool enBloques_;
  Sola sola_;
  bool empezada_ = false;
  int posicion_ = 0;
};

}  // namespace

// Inserts every source row whose key the destination database lacks,
// copying the columns by position.
int TTransmision::CopiarFaltantes(TClientDataSet* source, TClientDataSet* target, TSQLQuery* probe,
                                  const std::string& tabla) {
  TSQLConnection& destino = *probe->SQLConnection();
  Copia copia(*source, *target, FormaSonda(tabla), filasPorLote_ > 1,
              [this, source, target, probe, tabla] { return CopiarFila(source, target, probe, tabla); });
  TStatementBatch(destino, filasPorLote_).Send(copia, copia);
  // In the process, the table's compiled blocks are freed (the memory is
  // the program's); a server keeps them for the next branch.
  if (!destino.IsRemote()) destino.ReleaseKeptStatements();
  return copia.copiadas;
}

// One source row: probed on the destination's database and, when absent,
// inserted into the destination and applied at once. A row the destination
// rejects is reported once and dropped from the change log, so the rows after
// it still get through.
int TTransmision::CopiarFila(TClientDataSet* source, TClientDataSet* target, TSQLQuery* probe,
                             const std::string& tabla) {
  int copiada = 0;
  probe->SQL().Clear();
  probe->SQL().Add(SondaExistencia(tabla, source->Fields(0).Value()));
  probe->Open();
  if (probe->IsEmpty()) {
    target->Insert();
    for (int i = 0; i < target->FieldCount(); ++i) target->Fields(i).SetValue(source->Fields(i).Value());
    target->Post();
    if (target->ApplyUpdates(0) > 0) {
      // A provider with the error reporter has shown and logged it already.
      const TDataSetProvider* provider = target->Provider();
      if ((provider == nullptr || !provider->OnUpdateError) && !target->LastApplyErrors().empty())
        AppendErrorLog(target->LastApplyErrors().front().message, formatos());
      target->CancelUpdates();
    } else {
      copiada = 1;
    }
  }
  probe->Close();
  return copiada;
}
