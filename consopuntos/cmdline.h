// The command line is the edge where the arguments' text becomes internal
// (ISO-8859-1): positions 1 to 4 and 11 are decoded from the locale's
// character set here, once (the positions themselves: TCommandLine).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/textforms.h"
#include "dbaccess/values.h"
#include "dm/context.h"

// The positions of the process's arguments, positions 1 to 4 and 11
// decoded from `codeset` (DecodeArgument). Returns 0, or the first of those
// positions whose argument holds a character that ISO-8859-1 lacks: the
// command line is then not usable.
[[nodiscard]] int ReadCommandLine(int argc, char** argv, std::string_view codeset, TCommandLine& commandLine);

// Overwrites position 3 (the password) in the process's argument memory with
// "*" and zero bytes, so that ps and /proc/PID/cmdline no longer show it.
void HidePassword(int argc, char** argv) noexcept;

// Splits a command line the way the program counts its arguments: blanks and
// control characters separate, double quotes group and are dropped, an empty
// quoted argument takes no position.
[[nodiscard]] std::vector<std::string> SplitCommandLine(const std::string& line);

// How an argument's bytes read as internal text.
enum class ArgumentText {
  kDecoded,       // text of the locale's set, every character one of ISO-8859-1
  kKeptBytes,     // not text of that set: its bytes are taken as they are
  kBeyondLatin1,  // text of that set with a character that ISO-8859-1 lacks
};
// Decodes one argument from the character set named `codeset` (as the
// locale names it, e.g. "UTF-8", "ISO-8859-15", "ANSI_X3.4-1968"). On
// kDecoded `text` is the decoded text, on kKeptBytes the bytes unchanged; on
// kBeyondLatin1 it is left as it was. A set the platform does not know, or an
// empty name, keeps the bytes. Pure: depends on its arguments alone.
[[nodiscard]] ArgumentText DecodeArgument(std::string_view codeset, std::string_view bytes, std::string& text);

// The character set of the locale that the environment chooses for
// character types (LC_ALL, LC_CTYPE, LANG); that of the C locale when it
// chooses none or one that is not installed.
[[nodiscard]] std::string LocaleCodeset();

// The transmission date of position 11: "hoy" (today) or "ayer" (the day
// before), in any case, or YYYY-MM-DD in every locale, else the locale's short date form.
// Throws EConvertError "'%s' no es una fecha válida" when it is none of them.
[[nodiscard]] dbx::Date ArgumentDate(const std::string& text, const dbx::FormatSettings& fs);
[[nodiscard]] dbx::Date ArgumentDate(const std::string& text, const dbx::FormatSettings& fs, const dbx::Date& today);
// True for the exact shape YYYY-MM-DD of a valid date.
[[nodiscard]] bool IsoDate(const std::string& text, dbx::Date& date);

// What a single argument asks for instead of a start: --help (or -h),
// --version, or an option there is not (any other "--..."). Otherwise a start.
enum class CommandLineRequest { kStart, kHelp, kVersion, kUnknownOption };
[[nodiscard]] CommandLineRequest Request(const TCommandLine& commandLine);
// The usage that --help prints (internal text): the positions, the exit
// statuses and the files.
[[nodiscard]] std::string UsageText();
