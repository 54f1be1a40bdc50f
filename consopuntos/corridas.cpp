#include "consopuntos/corridas.h"

#include <cmath>

#include "dbaccess/encoding.h"
#include "dm/ui.h"

using namespace dbx;
using namespace dbx::literals;

void TCorridas::Iniciar(const TVentanaTransmision& ventana) {
  corrida_ = EnMarcha{std::chrono::steady_clock::now(), &ventana, nullptr};
}

void TCorridas::Transmitir(Tfdm& dm, TVentanaTransmision& ventana, TClientDataSet& cAcumulado,
                           TClientDataSet& cCliented) {
  if (!corrida_) Iniciar(ventana);  // else the unattended start's own run
  TTransmision transmision(dm, ventana, cAcumulado, cCliented);
  transmision.SucursalSinAbrir = [this](const std::string& carpeta, const std::string& label,
                                        const std::string& mensaje) {
    ReportLine(contexto_.Application.Title + ": No se abrió la sucursal "_l1 + carpeta + " (" + label +
               "): " + mensaje);
  };
  corrida_->transmision = &transmision;
  try {
    transmision.Ejecutar();
  } catch (const ETransmisionEnCurso&) {
    Terminar(TFinCorrida::kEnCurso);
    throw;
  } catch (...) {
    Terminar(TFinCorrida::kError);
    throw;
  }
  Terminar(FinDeTransmision(transmision.Resumen()));
}

void TCorridas::Terminar(TFinCorrida fin) noexcept {
  if (!corrida_) return;
  try {
    const TVentanaTransmision& ventana = *corrida_->ventana;
    TCorrida c;
    c.fin = fin;
    c.servidor = ventana.ServidorText();
    c.compania = ventana.CiaText();
    if (corrida_->transmision != nullptr) {
      c.transmision = ventana.FechaTransmision();
      c.resumen = corrida_->transmision->Resumen();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - corrida_->inicio;
    c.segundos = std::llround(took.count());
    c.fecha = Now();  // the date first, the time from a second reading
    c.hora = Now();
    // The directory without the lookup's message: the history adds no dialog.
    std::string directorio;
    (void)contexto_.ApplicationDirectory(directorio);
    AnotarCorrida(directorio, c, contexto_.Formats);
  } catch (...) {
  }
  corrida_.reset();
  if (!contexto_.ParamStr(10).empty()) estadoSalida_ = ::EstadoSalida(fin);
  if ((fin == TFinCorrida::kError || fin == TFinCorrida::kEnCurso) && SinPantalla && CerrarSinPantalla) {
    try {
      CerrarSinPantalla();
    } catch (...) {
    }
  }
}
