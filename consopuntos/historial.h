// The history of runs, TRANSMISIONES.TXT in the application directory: one
// line for every run (F5, or an unattended start, also one that stopped
// before its run began), and what a run's end means for the exit status of
// an unattended start.
#pragma once

#include <ctime>
#include <optional>
#include <string>

#include "consopuntos/transmision.h"
#include "dbaccess/textforms.h"
#include "dbaccess/values.h"

// How a run ended.
enum class TFinCorrida {
  kCompleta,                // both walks done, every branch opened in both
  kSucursalesSinAbrir,      // both walks done, some branch did not open
  kReplicacionDesactivada,  // the switch was not "SI": nothing to do
  kSinEnviar,               // a branch did not open in the first walk: nothing sent (EnviarConFaltantes=NO)
  kEnCurso,                 // another run of the company was in progress: nothing changed
  kError,                   // an error stopped the start or the run
  kSenal,                   // a stop signal ended the program
};

// The result column: "completa", "completa con sucursales sin abrir",
// "replicación desactivada", "sin enviar por sucursales sin abrir",
// "rechazada: otra transmisión en curso", "detenida por un error",
// "detenida por una señal".
[[nodiscard]] const char* TextoFin(TFinCorrida fin) noexcept;
// The end of a run that returned: from what it did.
[[nodiscard]] TFinCorrida FinDeTransmision(const TResumenTransmision& resumen) noexcept;
// The exit status of an unattended start whose last run ended so: 0 done,
// 3 done with branches that did not open (or nothing sent for them), 4
// refused for another run in progress, 5 nothing done (the replication
// switch is not "SI"), 1 an error. A stop signal gives 128 + its number
// elsewhere; here 1.
[[nodiscard]] int EstadoSalida(TFinCorrida fin) noexcept;

// One line of the history.
struct TCorrida {
  std::time_t inicio = 0;                // the start
  std::time_t fin_ = 0;                  // the end
  std::string servidor;                  // server folder
  std::string compania;                  // company code
  std::optional<dbx::Date> transmision;  // none when the start stopped before its run
  TFinCorrida fin = TFinCorrida::kError;
  long long segundos = 0;  // whole seconds the run took
  TResumenTransmision resumen;
};

// The history is CSV (RFC 4180): a header line, then one record per run,
// each ended by CR LF; a field that holds a comma, a double quote or a line
// break is quoted, its quotes doubled. The same in every locale.
[[nodiscard]] const std::string& CabeceraHistorial();
// A run's record: start and end (ISO 8601 with the UTC offset), server
// folder, company, transmission date (YYYY-MM-DD, empty when the start
// stopped before its run), result, seconds, branches in the list, branches
// that did not open in the first walk and in the second, customers
// (TERCEROS rows) copied to the main database and to branches, accumulation
// calls, accumulated rows sent, and the folders of the branches that did not
// open, separated by "; ". Internal text.
[[nodiscard]] std::string LineaHistorial(const TCorrida& corrida);
// A moment as ISO 8601 in local time with its UTC offset: 2008-12-01T02:30:41-05:00.
[[nodiscard]] std::string MomentoIso(std::time_t moment);
// Appends the record to directorio + "\TRANSMISIONES.TXT" (UTF-8). A new
// file starts with the header; a file of the older form (lines without a
// header) is first renamed TRANSMISIONES.anterior.TXT (or .anterior2.TXT, ...)
// and kept. A file that cannot be written costs a line on standard error.
void AnotarCorrida(const std::string& directorio, const TCorrida& corrida) noexcept;
