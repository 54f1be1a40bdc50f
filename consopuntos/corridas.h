// The runs of one start of the program: a run (F5, or the unattended start
// with its run) begins and ends; each end leaves its line in the history,
// and the last end of an unattended start is the program's exit status.
// Without the toolkit: the window calls it.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>

#include "consopuntos/historial.h"
#include "consopuntos/transmision.h"
#include "dm/context.h"

class TCorridas {
 public:
  explicit TCorridas(TContext& contexto) : contexto_(contexto) {}

  // An unattended start (or a run) begins on the window, which lives until it
  // ends; its clock starts.
  void Iniciar(const TVentanaTransmision& ventana);

  // The F5 handler's work: the run on the data module and the window's two
  // client datasets, from start to end (a run of the unattended start goes
  // on with that start). Whatever stops it leaves as an exception, after its
  // end. In an unattended start, a run that a lost connection stopped is
  // reported as usual and starts again after EsperaReintento seconds, up to
  // Reintentos times (settings of Varnex2009.conf; absent, none); each
  // attempt is a run of its own, with its history line.
  void Transmitir(Tfdm& dm, TVentanaTransmision& ventana, dbx::TClientDataSet& cAcumulado,
                  dbx::TClientDataSet& cCliented, dbx::TComponent* sender = nullptr);

  // The one in progress ends so (nothing when none is): its history line,
  // and for an unattended start the exit status. An error or a refusal
  // where nobody sees the window calls CerrarSinPantalla.
  void Terminar(TFinCorrida fin) noexcept;
  // What a stop signal records (the stop's hook: on the GUI thread, or on the
  // signal's own when the GUI thread is stuck in a call): a line on standard
  // error with the signal and where the run was, and the history line.
  void DetenidaPorSenal() noexcept;

  // The exit status: 0, or what the last run of an unattended start came to.
  [[nodiscard]] int EstadoSalida() const noexcept { return estadoSalida_; }

  // Nobody sees the window (a platform that shows nothing).
  bool SinPantalla = false;
  // Ends the program once the error has been reported (the window's close,
  // after the handler in progress).
  std::function<void()> CerrarSinPantalla;

 private:
  struct EnMarcha {
    std::chrono::steady_clock::time_point inicio;
    std::time_t momento = 0;  // the same on the calendar
    const TVentanaTransmision* ventana = nullptr;
    const TTransmision* transmision = nullptr;  // once the run itself began
    // The window's texts as the run took them (they do not change while it
    // lasts), so that its end does not read the window.
    std::optional<TCorrida> textos;
  };
  void UnaTransmision(Tfdm& dm, TVentanaTransmision& ventana, dbx::TClientDataSet& cAcumulado,
                      dbx::TClientDataSet& cCliented);

  TContext& contexto_;
  std::optional<EnMarcha> corrida_;
  // Whether a run that this stopped is tried again.
  [[nodiscard]] bool SeReintenta(const dbx::Exception& e) const noexcept;

  int quedan_ = 0;            // attempts left after the one in progress
  bool seReintenta_ = false;  // the run that ends will be tried again: the window stays
  int estadoSalida_ = 0;
};
