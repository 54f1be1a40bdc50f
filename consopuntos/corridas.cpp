#include "consopuntos/corridas.h"

#include <csignal>
#include <cmath>

#include "dbaccess/encoding.h"
#include "dbaccess/stop.h"
#include "dm/ui.h"

using namespace dbx;
using namespace dbx::literals;

void TCorridas::Iniciar(const TVentanaTransmision& ventana) {
  corrida_ = EnMarcha{std::chrono::steady_clock::now(), std::time(nullptr), &ventana, nullptr, std::nullopt};
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
  TCorrida textos;
  textos.servidor = ventana.ServidorText();
  textos.compania = ventana.CiaText();
  textos.transmision = ventana.FechaTransmision();
  corrida_->textos = std::move(textos);
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

void TCorridas::DetenidaPorSenal() noexcept {
  try {
    const int senal = StopStatus() - 128;
    const char* nombre = senal == SIGTERM ? " (SIGTERM)" : senal == SIGINT ? " (SIGINT)" : senal == SIGHUP ? " (SIGHUP)" : "";
    std::string donde = "sin transmisión en curso"_l1;
    if (corrida_) donde = corrida_->transmision != nullptr ? "en " + corrida_->transmision->Lugar() : "al iniciar";
    ReportLine(contexto_.Application.Title + ": detenida por la señal "_l1 + std::to_string(senal) + nombre + " " +
               donde);
  } catch (...) {
  }
  Terminar(TFinCorrida::kSenal);
}

void TCorridas::Terminar(TFinCorrida fin) noexcept {
  if (!corrida_) return;
  try {
    TCorrida c;
    if (corrida_->textos) {
      c = *corrida_->textos;
      c.resumen = corrida_->transmision->Resumen();
    } else {
      c.servidor = corrida_->ventana->ServidorText();
      c.compania = corrida_->ventana->CiaText();
    }
    c.fin = fin;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - corrida_->inicio;
    c.segundos = std::llround(took.count());
    c.inicio = corrida_->momento;
    c.fin_ = std::time(nullptr);
    // The directory without the lookup's message: the history adds no dialog.
    std::string directorio;
    (void)contexto_.ApplicationDirectory(directorio);
    AnotarCorrida(directorio, c);
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
