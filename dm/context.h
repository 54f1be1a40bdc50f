// What the program's parts share for as long as it runs: the user's locale
// settings, the command line, the application object with its user
// interface, and the application-directory lookup. The program's entry makes
// one and hands it to the data module, the main window and the run; tests
// make their own.
#pragma once

#include <string>
#include <vector>

#include "dbaccess/textforms.h"
#include "dm/application.h"
#include "dm/platform.h"

// The program's arguments by position: position 0 is the program, empty
// arguments are dropped before counting, a position past the end is empty.
class TCommandLine {
 public:
  TCommandLine() = default;
  explicit TCommandLine(std::vector<std::string> args);
  [[nodiscard]] std::string ParamStr(int position) const;

 private:
  std::vector<std::string> args_;
};

class TContext {
 public:
  TContext() = default;
  TContext(const TContext&) = delete;
  TContext& operator=(const TContext&) = delete;

  // The locale settings of every text form: read at start, again when the
  // regional settings change (the field texts read them at each conversion).
  dbx::FormatSettings Formats;
  TCommandLine CommandLine;
  TApplication Application;

  [[nodiscard]] std::string ParamStr(int position) const { return CommandLine.ParamStr(position); }
  [[nodiscard]] UserInterface& Ui() const noexcept { return Application.Ui(); }
  // The application directory: the setting Directorio, without a message.
  [[nodiscard]] platform::SettingLookup ApplicationDirectory(std::string& value) const {
    return platform::ReadApplicationDirectory(value);
  }
};
