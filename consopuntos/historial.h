// The history of runs, TRANSMISIONES.TXT in the application directory: one
// line for every run (F5, or an unattended start, also one that stopped
// before its run began), and what a run's end means for the exit status of
// an unattended start.
#pragma once

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
  dbx::DateTime fecha;                   // date of the end
  dbx::DateTime hora;                    // time of the end, a second reading
  std::string servidor;                  // server folder
  std::string compania;                  // company code
  std::optional<dbx::Date> transmision;  // none when the start stopped before its run
  TFinCorrida fin = TFinCorrida::kError;
  long long segundos = 0;  // whole seconds the run took
  TResumenTransmision resumen;
};

// The line, CR LF at its end: date text, time text, server folder, company,
// transmission date (date text, empty without one), result, seconds, branches
// in the list, branches that did not open in the first walk and in the
// second, customers (TERCEROS rows) copied to the main database and to
// branches, accumulation calls, accumulated rows sent. Comma-separated,
// nothing quoted, internal text.
[[nodiscard]] std::string LineaHistorial(const TCorrida& corrida, const dbx::FormatSettings& fs);
// Appends the line to directorio + "\TRANSMISIONES.TXT" (the file is created
// when missing, written in UTF-8); a failure is ignored.
void AnotarCorrida(const std::string& directorio, const TCorrida& corrida, const dbx::FormatSettings& fs) noexcept;
