// The transmission run: reconnect the main database, check the replication
// switch, empty the accumulated points, then collect from every branch and
// distribute to every branch. The main window's F5 handler runs it; it needs
// of the window only what TVentanaTransmision gives, so it runs without one.
// GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/clientdataset.h"
#include "dbaccess/rowlock.h"
#include "dbaccess/sqltext.h"
#include "dbaccess/textforms.h"
#include "dbaccess/values.h"

class Tfdm;

// The datasets the main window owns for the run: CAcumulado over the main
// database's QPuntosacum, CCliented over QClientesd, each through its provider
// (PAcumulado, PCliented), created with the given owner.
struct TConjuntosTransmision {
  dbx::TDataSetProvider* PAcumulado;
  dbx::TClientDataSet* CAcumulado;
  dbx::TDataSetProvider* PCliented;
  dbx::TClientDataSet* CCliented;
};
[[nodiscard]] TConjuntosTransmision CrearConjuntosTransmision(dbx::TComponent* owner, Tfdm& dm);

// What the run needs of the main window.
class TVentanaTransmision {
 public:
  virtual ~TVentanaTransmision() = default;
  // The texts of Servidor, Tusua, TClave and Cia, and the date of EFecIni.
  [[nodiscard]] virtual std::string ServidorText() const = 0;
  [[nodiscard]] virtual std::string TusuaText() const = 0;
  [[nodiscard]] virtual std::string TClaveText() const = 0;
  [[nodiscard]] virtual std::string CiaText() const = 0;
  [[nodiscard]] virtual dbx::Date FechaTransmision() const = 0;
  // The status panel: the text alone; text, show and repaint at once; hide.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void HideStatus() = 0;
  // The application directory (the window's lookup, with its message).
  [[nodiscard]] virtual std::string diraplicacion() = 0;
  // Closes the main window, which ends the program.
  virtual void Cerrar() = 0;
};

// The statement texts of the run. fecha is the quoted transmission date.
[[nodiscard]] std::string SeleccionAuditada(const std::string& tabla, const std::string& fecha);
[[nodiscard]] std::string SeleccionPlantilla(const std::string& tabla);
[[nodiscard]] std::string TextoSonda(const std::string& tabla);
[[nodiscard]] std::string SondaExistencia(const std::string& tabla, const dbx::Variant& clave);
// The shapes of the statements that run row after row (the probe, the
// accumulation call, the refill INSERT), from which their texts come.
[[nodiscard]] std::shared_ptr<const dbx::TRowShape> FormaSonda(const std::string& tabla);
[[nodiscard]] std::shared_ptr<const dbx::TRowShape> FormaLlamadaAcumulacion(const std::string& fecha);
[[nodiscard]] std::shared_ptr<const dbx::TRowShape> FormaInsercionAcumulado();
[[nodiscard]] std::string ResumenPuntos(const std::string& fecha);
[[nodiscard]] std::string LlamadaAcumulacion(const dbx::Variant& cliente, const std::string& fecha,
                                             const dbx::Variant& acumulado, const dbx::Variant& porVencer);
[[nodiscard]] std::string InsercionAcumulado(const dbx::Variant& nit, const dbx::Variant& fecha,
                                             const dbx::Variant& acumulado, const dbx::Variant& porVencer);

// Rows per chunk when the setting FilasPorLote is absent.
inline constexpr int kFilasPorLote = 256;
// The setting FilasPorLote of Varnex2009.conf: rows per chunk, 1 sends one
// statement per row. Absent gives the default; a value that is not a
// positive integer counts as absent, with a line on standard error.
[[nodiscard]] int FilasPorLote();
// The value of a FilasPorLote text; 0 when it is not a positive integer.
[[nodiscard]] int FilasPorLoteDe(const std::string& valor);
// The setting EnviarConFaltantes of Varnex2009.conf: false ("NO") keeps the
// distribution from every branch when a branch did not open in the
// collection. "SI" or absent is true; any other value counts as absent, with
// a line on standard error.
[[nodiscard]] bool EnviarConFaltantes();

// The selection that locks the replication switch's rows while a run lasts,
// so that runs of one company take turns.
[[nodiscard]] std::string BloqueoInterruptor();
// A run refused because another run of the company holds that lock: it
// changed nothing.
class ETransmisionEnCurso : public dbx::Exception {
 public:
  using Exception::Exception;
};
// Its message, with what the server says of the other run.
[[nodiscard]] std::string TextoEnCurso(const std::string& compania, const dbx::TLockHolder& otra,
                                       const dbx::FormatSettings& fs);

// What one run did, as far as it got.
struct TResumenTransmision {
  bool replicacion = false;       // the switch read "SI"
  bool terminada = false;         // both walks done and the window asked to close
  int sucursales = 0;             // rows of the replica list
  int sinAbrirTrayendo = 0;       // branches that did not open in the first walk
  int sinAbrirEnviando = 0;       // and in the second
  bool sinEnviar = false;         // the second walk left out for branches that did not open
  int tercerosTraidos = 0;        // TERCEROS rows copied into the main database
  int tercerosEnviados = 0;       // TERCEROS rows copied into branch databases
  int llamadasAcumulacion = 0;    // accumulation calls completed
  int acumuladosEnviados = 0;     // accumulated rows committed in branches
  std::vector<std::string> carpetasSinAbrir;  // folders of the branches that did not open, each once
};

class TTransmision {
 public:
  // The run on the data module's components and the form's two client
  // datasets.
  TTransmision(Tfdm& dm, TVentanaTransmision& ventana, dbx::TClientDataSet& cAcumulado,
               dbx::TClientDataSet& cCliented);

  // The whole run (the F5 handler's work). Anything but a branch that does
  // not open leaves it as an exception.
  void Ejecutar();

  // Called for each branch that does not open: its folder, the walk's label
  // and the error's message.
  std::function<void(const std::string& carpeta, const std::string& label, const std::string& mensaje)>
      SucursalSinAbrir;

  [[nodiscard]] const TResumenTransmision& Resumen() const noexcept { return resumen_; }
  // Where the run is: the walk's label, the branch and the last step shown.
  [[nodiscard]] std::string Lugar() const;

 private:
  void ConectarReplica(const std::string& label, bool connectingText);
  void TraerPuntos();
  void EnviarConsolidado();
  // Returns the rows copied.
  int CopiarFaltantes(dbx::TClientDataSet* source, dbx::TClientDataSet* target, dbx::TSQLQuery* probe,
                      const std::string& tabla);
  // The copy of the source's current row alone: probe, insert and apply.
  int CopiarFila(dbx::TClientDataSet* source, dbx::TClientDataSet* target, dbx::TSQLQuery* probe,
                 const std::string& tabla);
  [[nodiscard]] std::string FechaSql() const;
  // Shows a status text (with a repaint), which is the run's step.
  void Mostrar(const std::string& texto);
  // The locale settings of the program's context.
  [[nodiscard]] const dbx::FormatSettings& formatos() const;
  [[nodiscard]] std::string NombreCompania() const;

  Tfdm& fdm_;
  TVentanaTransmision& ventana_;
  dbx::TClientDataSet* CAcumulado;
  dbx::TClientDataSet* CCliented;
  TResumenTransmision resumen_;
  int filasPorLote_ = 1;
  std::vector<std::string> sinAbrir_;  // folders of the branches that did not open in the first walk
  std::string recorrido_, sucursal_, paso_;  // where the run is (Lugar)
};
