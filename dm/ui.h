// The dialogs and the beep of the data module. The window layer installs its
// own implementation; tests install one that answers without a person.
#pragma once

#include <string>

// Every dialog, as it opens, writes what it says to standard error
// (ReportDialog) and lets the connections end the work they keep open: a
// dialog may wait long for its "OK".
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // The system's default sound.
  virtual void Beep() = 0;
  // Modal message dialog of the error type: caption "Error", error icon, "OK".
  void ErrorDialog(const std::string& text);
  // Modal message box titled with the application title, no icon, "OK".
  void MessageBox(const std::string& text);

 protected:
  // The dialogs themselves; they return when the user has closed them.
  virtual void ShowErrorDialog(const std::string& text) = 0;
  virtual void ShowMessageBox(const std::string& text) = 0;
};

// Writes internal text to standard error as one line in UTF-8, its line
// breaks as blanks: what a scheduler's mail or the journal shows.
void ReportLine(const std::string& text) noexcept;
// What a dialog says, as such a line: the caption, ": " and the text. Every
// dialog writes it as it opens, so that the reason a run waits or stopped is
// seen also where nobody sees the window.
void ReportDialog(const std::string& caption, const std::string& text) noexcept;

// The installed implementation (by default one that writes to standard error).
[[nodiscard]] UserInterface& Ui();
// Installs an implementation (nullptr restores the default); not owned.
void SetUi(UserInterface* ui) noexcept;
