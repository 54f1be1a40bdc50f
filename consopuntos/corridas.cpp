#include "consopuntos/corridas.h"

#include <csignal>
#include <cmath>
#include <thread>

#include "dbaccess/encoding.h"
#include "dbaccess/stop.h"
#include "dm/platform.h"
#include "dm/ui.h"

using namespace dbx;
using namespace dbx::literals;

namespace {

// The window's texts a history line takes: server folder and company.
TCorrida TextosDe(const TVentanaTransmision& ventana) {
  TCorrida c;
  c.servidor = ventana.ServidorText();
  c.compania = ventana.CiaText();
  return c;
}

}  // namespace

void TCorridas::Iniciar(const TVentanaTransmision& ventana) {
  corrida_ = EnMarcha{std::chrono::steady_clock::now(), std::time(nullptr), &ventana, nullptr, std::nullopt};
}

// Seconds between the attempts of an unattended run when the setting
// EsperaReintento is absent.
constexpr int kEsperaReintento = 60;

void TCorridas::Transmitir(Tfdm& dm, TVentanaTransmision& ventana, TClientDataSet& cAcumulado,
                           TClientDataSet& cCliented, TComponent* sender) {
  int reintentos = contexto_.ParamStr(10).empty() ? 0 : platform::ReadCountSetting("Reintentos");
  const int espera = reintentos > 0 ? platform::ReadCountSetting("EsperaReintento") : 0;
  for (int intento = 1;; ++intento) {
    quedan_ = reintentos;
    try {
      UnaTransmision(dm, ventana, cAcumulado, cCliented);
      return;
    } catch (const dbx::Exception& e) {
      if (!SeReintenta(e)) throw;
      --reintentos;
      // Reported as any failure (ERRORES.TXT, the dialog, the database lost).
      contexto_.Application.HandleException(sender, e);
      const int segundos = espera > 0 ? espera : kEsperaReintento;
      ReportLine(contexto_.Application.Title + ": intento " + std::to_string(intento) +
                 " detenido por una conexión perdida; la transmisión empieza de nuevo en "_l1 +
                 std::to_string(segundos) + " s");
      // A stop signal still ends the program during the pause.
      for (long long decimas = 0; decimas < segundos * 10LL; ++decimas) {
        StopPoint();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      StopPoint();
    }
  }
}

bool TCorridas::SeReintenta(const dbx::Exception& e) const noexcept {
  return quedan_ > 0 && e.Category() == TErrorCategory::kConnectionLost;
}

void TCorridas::UnaTransmision(Tfdm& dm, TVentanaTransmision& ventana, TClientDataSet& cAcumulado,
                               TClientDataSet& cCliented) {
  if (!corrida_) Iniciar(ventana);  // else the unattended start's own run
  TTransmision transmision(dm, ventana, cAcumulado, cCliented);
  transmision.SucursalSinAbrir = [this](const std::string& carpeta, const std::string& label,
                                        const std::string& mensaje) {
    ReportLine(contexto_.Application.Title + ": No se abrió la sucursal "_l1 + carpeta + " (" + label +
               "): " + mensaje);
  };
  corrida_->transmision = &transmision;
  corrida_->textos = TextosDe(ventana);
  corrida_->textos->transmision = ventana.FechaTransmision();
  try {
    transmision.Ejecutar();
  } catch (const ETransmisionEnCurso&) {
    Terminar(TFinCorrida::kEnCurso);
    throw;
  } catch (const dbx::Exception& e) {
    seReintenta_ = SeReintenta(e);
    Terminar(TFinCorrida::kError);
    seReintenta_ = false;
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
    TCorrida c = corrida_->textos ? *corrida_->textos : TextosDe(*corrida_->ventana);
    if (corrida_->transmision != nullptr) c.resumen = corrida_->transmision->Resumen();
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
  if ((fin == TFinCorrida::kError || fin == TFinCorrida::kEnCurso) && SinPantalla && CerrarSinPantalla &&
      !seReintenta_) {
    try {
      CerrarSinPantalla();
    } catch (...) {
    }
  }
}
