#include "consopuntos/historial.h"

#include <cstdio>
#include <cstdlib>

#include "dbaccess/encoding.h"
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

const std::string& CabeceraHistorial() {
  static const std::string header =
      "inicio,fin,servidor,compania,fecha_transmision,resultado,segundos,sucursales,sin_abrir_trayendo,"
      "sin_abrir_enviando,terceros_traidos,terceros_enviados,llamadas_acumulacion,acumulados_enviados,"
      "sucursales_sin_abrir\r\n";
  return header;
}

std::string MomentoIso(std::time_t moment) {
  std::tm tm{};
  localtime_r(&moment, &tm);
  char text[96];
  const long offset = tm.tm_gmtoff / 60;
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+', std::labs(offset) / 60,
                std::labs(offset) % 60);
  return text;
}

namespace {

// A CSV field: quoted when it holds a comma, a quote or a line break.
std::string Campo(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string FechaIso(const dbx::Date& d) {
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  return text;
}

}  // namespace

std::string LineaHistorial(const TCorrida& c) {
  const TResumenTransmision& r = c.resumen;
  std::string sinAbrir;
  for (const std::string& carpeta : r.carpetasSinAbrir) sinAbrir += (sinAbrir.empty() ? "" : "; ") + carpeta;
  std::string line = MomentoIso(c.inicio);
  const auto column = [&line](const std::string& text) {
    line += ',';
    line += Campo(text);
  };
  column(MomentoIso(c.fin_));
  column(c.servidor);
  column(c.compania);
  column(c.transmision ? FechaIso(*c.transmision) : std::string());
  column(TextoFin(c.fin));
  column(std::to_string(c.segundos));
  for (const int n : {r.sucursales, r.sinAbrirTrayendo, r.sinAbrirEnviando, r.tercerosTraidos, r.tercerosEnviados,
                      r.llamadasAcumulacion, r.acumuladosEnviados})
    column(std::to_string(n));
  column(sinAbrir);
  line += "\r\n";
  return line;
}

void AnotarCorrida(const std::string& directorio, const TCorrida& corrida) noexcept {
  try {
    const std::string archivo = directorio + "\\TRANSMISIONES.TXT";
    std::string antes;
    const bool existe = platform::ReadFile(archivo, antes) && !antes.empty();
    const std::string cabecera = dbx::Latin1ToUtf8(CabeceraHistorial());
    if (existe && antes.compare(0, cabecera.size(), cabecera) != 0) {
      // Last release's lines: kept aside, the new form starts afresh.
      std::string aparte = directorio + "\\TRANSMISIONES.anterior.TXT";
      for (int n = 2; platform::FileExists(aparte); ++n)
        aparte = directorio + "\\TRANSMISIONES.anterior" + std::to_string(n) + ".TXT";
      if (!platform::RenameFile(archivo, aparte)) return;
      platform::AppendToLog(archivo, CabeceraHistorial());
    } else if (!existe) {
      platform::AppendToLog(archivo, CabeceraHistorial());
    }
    platform::AppendToLog(archivo, LineaHistorial(corrida));
  } catch (...) {
  }
}
