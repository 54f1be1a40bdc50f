#include "consopuntos/historial.h"

#include "dbaccess/encoding.h"
#include "dbaccess/textforms.h"
#include "dm/platform.h"

using namespace dbx::literals;

const char* TextoFin(TFinCorrida fin) noexcept {
  switch (fin) {
    case TFinCorrida::kCompleta:
      return "completa";
    case TFinCorrida::kSucursalesSinAbrir:
      return "completa con sucursales sin abrir";
    case TFinCorrida::kReplicacionDesactivada:
      return "replicación desactivada"_l1;
    case TFinCorrida::kSinEnviar:
      return "sin enviar por sucursales sin abrir";
    case TFinCorrida::kEnCurso:
      return "rechazada: otra transmisión en curso"_l1;
    case TFinCorrida::kError:
      return "detenida por un error";
    case TFinCorrida::kSenal:
      return "detenida por una señal"_l1;
  }
  return "";
}

TFinCorrida FinDeTransmision(const TResumenTransmision& resumen) noexcept {
  if (!resumen.terminada) return TFinCorrida::kError;
  if (!resumen.replicacion) return TFinCorrida::kReplicacionDesactivada;
  if (resumen.sinEnviar) return TFinCorrida::kSinEnviar;
  if (resumen.sinAbrirTrayendo > 0 || resumen.sinAbrirEnviando > 0) return TFinCorrida::kSucursalesSinAbrir;
  return TFinCorrida::kCompleta;
}

int EstadoSalida(TFinCorrida fin) noexcept {
  switch (fin) {
    case TFinCorrida::kCompleta:
      return 0;
    case TFinCorrida::kReplicacionDesactivada:
      return 5;
    case TFinCorrida::kSucursalesSinAbrir:
    case TFinCorrida::kSinEnviar:
      return 3;
    case TFinCorrida::kEnCurso:
      return 4;
    case TFinCorrida::kError:
    case TFinCorrida::kSenal:
      return 1;
  }
  return 1;
}

std::string LineaHistorial(const TCorrida& c, const dbx::FormatSettings& fs) {
  const TResumenTransmision& r = c.resumen;
  std::string line = dbx::DateToStr(c.fecha, fs);
  const auto column = [&line](const std::string& text) {
    line += ',';
    line += text;
  };
  column(dbx::TimeToStr(c.hora, fs));
  column(c.servidor);
  column(c.compania);
  column(c.transmision ? dbx::DateToStr(dbx::DateTime{*c.transmision, {}}, fs) : std::string());
  column(TextoFin(c.fin));
  column(std::to_string(c.segundos));
  for (const int n : {r.sucursales, r.sinAbrirTrayendo, r.sinAbrirEnviando, r.tercerosTraidos, r.tercerosEnviados,
                      r.llamadasAcumulacion, r.acumuladosEnviados})
    column(std::to_string(n));
  line += "\r\n";
  return line;
}

void AnotarCorrida(const std::string& directorio, const TCorrida& corrida, const dbx::FormatSettings& fs) noexcept {
  try {
    platform::AppendToLog(directorio + "\\TRANSMISIONES.TXT", LineaHistorial(corrida, fs));
  } catch (...) {
  }
}
