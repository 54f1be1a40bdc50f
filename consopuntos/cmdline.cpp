#include "consopuntos/cmdline.h"

#include <langinfo.h>
#include <locale.h>

#include <utility>

#include "dbaccess/encoding.h"
#include "dbaccess/component.h"
#include "dbaccess/textforms.h"

using namespace dbx::literals;

namespace {
// The positions whose text the program uses: the run's values and its date.
constexpr int kTextPositions[] = {1, 2, 3, 4, 11};
}  // namespace

int ReadCommandLine(int argc, char** argv, std::string_view codeset, TCommandLine& commandLine) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i)
    if (argv[i][0] != '\0') args.emplace_back(argv[i]);
  int unusable = 0;
  for (const int position : kTextPositions) {
    if (position >= static_cast<int>(args.size())) break;
    std::string& arg = args[static_cast<std::size_t>(position)];
    std::string text;
    switch (DecodeArgument(codeset, arg, text)) {
      case ArgumentText::kDecoded:
        arg = std::move(text);
        break;
      case ArgumentText::kKeptBytes:
        break;
      case ArgumentText::kBeyondLatin1:
        if (unusable == 0) unusable = position;
        break;
    }
  }
  commandLine = TCommandLine(std::move(args));
  return unusable;
}

void HidePassword(int argc, char** argv) noexcept {
  int position = 0;
  for (int i = 0; i < argc; ++i) {
    if (argv[i][0] == '\0') continue;  // empty arguments take no position
    if (position++ != 3) continue;
    char* p = argv[i];
    *p++ = '*';
    while (*p != '\0') *p++ = '\0';
    return;
  }
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  const auto separator = [](char c) { return c >= 1 && c <= 32; };
  while (i < line.size()) {
    while (i < line.size() && separator(line[i])) ++i;
    if (i + 1 < line.size() && line[i] == '"' && line[i + 1] == '"') {
      i += 2;
      continue;
    }
    if (i >= line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !separator(line[i]))) {
      if (line[i] == '"')
        quoted = !quoted;
      else
        arg += line[i];
      ++i;
    }
    if (!arg.empty()) out.push_back(arg);  // a lone quote at the end is no argument
  }
  return out;
}

ArgumentText DecodeArgument(std::string_view codeset, std::string_view bytes, std::string& text) {
  const auto keep = [&] {
    text.assign(bytes);
    return ArgumentText::kKeptBytes;
  };
  // An empty name would mean the process's own locale to the converter.
  if (codeset.empty()) return keep();
  std::string out;
  if (!dbx::ConvertCodeset(codeset, "UTF-32LE", bytes, out)) return keep();
  const std::size_t done = out.size();
  std::string decoded;
  decoded.reserve(done / 4);
  for (std::size_t i = 0; i + 4 <= done; i += 4) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned long>(static_cast<unsigned char>(out[i + k])); };
    const unsigned long code = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    if (code > 0xFF) return ArgumentText::kBeyondLatin1;
    decoded += static_cast<char>(code);
  }
  text = std::move(decoded);
  return ArgumentText::kDecoded;
}

std::string LocaleCodeset() {
  locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) loc = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return {};
  const char* codeset = nl_langinfo_l(CODESET, loc);
  std::string name = codeset != nullptr ? codeset : "";
  freelocale(loc);
  return name;
}

bool IsoDate(const std::string& text, dbx::Date& date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int value[3] = {0, 0, 0};
  const std::size_t starts[3] = {0, 5, 8};
  const std::size_t lengths[3] = {4, 2, 2};
  for (int part = 0; part < 3; ++part) {
    for (std::size_t k = 0; k < lengths[part]; ++k) {
      const char c = text[starts[part] + k];
      if (c < '0' || c > '9') return false;
      value[part] = value[part] * 10 + (c - '0');
    }
  }
  if (!dbx::IsValidDate(value[0], value[1], value[2])) return false;
  date = dbx::Date{value[0], value[1], value[2]};
  return true;
}

dbx::Date ArgumentDate(const std::string& text, const dbx::FormatSettings& fs) {
  return ArgumentDate(text, fs, dbx::Now().date);
}

dbx::Date ArgumentDate(const std::string& text, const dbx::FormatSettings& fs, const dbx::Date& today) {
  if (dbx::SameText(text, "hoy")) return today;
  if (dbx::SameText(text, "ayer")) return dbx::CivilFromDays(dbx::DaysFromCivil(today) - 1);
  if (dbx::Date date; IsoDate(text, date)) return date;
  return dbx::StrToDate(text, fs, today);
}

CommandLineRequest Request(const TCommandLine& commandLine) {
  if (!commandLine.ParamStr(2).empty()) return CommandLineRequest::kStart;
  const std::string one = commandLine.ParamStr(1);
  if (one == "--help" || one == "-h") return CommandLineRequest::kHelp;
  if (one == "--version") return CommandLineRequest::kVersion;
  if (one.rfind("--", 0) == 0) return CommandLineRequest::kUnknownOption;
  return CommandLineRequest::kStart;
}

std::string UsageText() {
  static const char* const kLines[] = {
      "Uso: consopuntos",
      "     consopuntos CARPETA USUARIO CLAVE COMPAÑÍA x x x x x DISPARO [FECHA]"_l1,
      "     consopuntos --help | -h | --version",
      "",
      "Sin argumentos abre la ventana. Con diez u once argumentos consolida sin",
      "atención los puntos de la compañía en CARPETA/datos/COMPAÑÍA/varnex.fdb con"_l1,
      "los de cada sucursal de REPLICA_COMPANIA, y la ventana se cierra al final.",
      "",
      "Posiciones:",
      "  1       carpeta del servidor de la base principal",
      "  2, 3    usuario y clave de la base principal",
      "  4       código de la compañía"_l1,
      "  5 a 9   sin significado, pero deben estar (cualquier texto no vacío)"_l1,
      "  10      disparo: cualquier texto no vacío inicia la transmisión"_l1,
      "  11      fecha de transmisión: ayer, hoy, AAAA-MM-DD o la forma corta de"_l1,
      "          fecha de la configuración regional; sin ella, la de hoy (después"_l1,
      "          de medianoche el día hábil que terminó es ayer)"_l1,
      "Los argumentos vacíos no ocupan posición. Las posiciones 1 a 4 y 11 se leen"_l1,
      "en el juego de caracteres de la configuración regional (LC_ALL, LC_CTYPE,"_l1,
      "LANG); un argumento que no es texto de ese juego se toma byte a byte como",
      "ISO-8859-1.",
      "",
      "Estado de salida de un inicio sin atención (de su última transmisión):"_l1,
      "  0       llegó al final y todas las sucursales abrieron en las dos"_l1,
      "          pasadas"_l1,
      "  3       llegó al final, pero alguna sucursal no abrió (con"_l1,
      "          EnviarConFaltantes=NO, una que no abrió al traer puntos deja"_l1,
      "          sin enviar a todas)",
      "  4       otra transmisión de la misma compañía estaba en curso; esta no"_l1,
      "          cambió nada"_l1,
      "  5       no se hizo nada: la replicación está desactivada"_l1,
      "  1       un error detuvo el inicio o la transmisión"_l1,
      "  2       línea de órdenes inutilizable: un carácter que ISO-8859-1 no tiene,"_l1,
      "          una opción que no existe, o la ventana sin pantalla donde abrirse"_l1,
      "  128+n   la detuvo la señal n (143: SIGTERM)"_l1,
      "Un inicio sin argumentos termina con 0.",
      "",
      "Archivos:",
      "  $XDG_CONFIG_DIRS/Quenda/Varnex2009.conf (/etc/xdg si no está definida):"_l1,
      "          Directorio=, el directorio de la aplicación; FilasPorLote=,"_l1,
      "          EnviarConFaltantes=SI|NO, EsperaConexion= y EsperaBloqueo= (segundos),"_l1,
      "          Reintentos= y EsperaReintento= (tras una conexión perdida)"_l1,
      "  <directorio>/SERVIDORES.cfg     carpetas de servidor de la ventana",
      "  <directorio>/ERRORENVPTOS.TXT   sucursales que no abrieron",
      "  <directorio>/TRANSMISIONES.TXT  una línea por transmisión"_l1,
      "  ERRORES.TXT                     errores, en el directorio de trabajo",
      "",
      "Vea consopuntos(1).",
  };
  std::string t;
  for (const char* line : kLines) {
    t += line;
    t += '\n';
  }
  return t;
}
