// The dialogs and the beep of the data module. The window layer installs its
// own implementation; tests install one that answers without a person.
#pragma once

#include <string>

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // The system's default sound.
  virtual void Beep() = 0;
  // Modal message dialog of the error type: caption "Error", error icon, "OK".
  virtual void ErrorDialog(const std::string& text) = 0;
  // Modal message box titled with the application title, no icon, "OK".
  virtual void MessageBox(const std::string& text) = 0;
};

// Writes what a dialog says to standard error, as one line in UTF-8: the
// caption, ": " and the text, its line breaks as blanks. Every dialog does it
// as it opens, so that a scheduler's mail or the journal shows why a run waits.
void ReportDialog(const std::string& caption, const std::string& text) noexcept;

// The installed implementation (by default one that writes to standard error).
[[nodiscard]] UserInterface& Ui();
// Installs an implementation (nullptr restores the default); not owned.
void SetUi(UserInterface* ui) noexcept;
