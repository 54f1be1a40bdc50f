// The dialogs and the beep of the data module. The window layer installs its
// own implementation; tests install one that answers without a person.
#pragma once

#include <functional>
#include <string>

// Every dialog, as it opens, writes what it says to standard error
// (ReportDialog) and tells the application that the program now waits for
// input (OnWait): a dialog may wait long for its "OK".
class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // The system's default sound.
  virtual void Beep() = 0;
  // Modal message dialog of the error type: caption "Error", error icon, "OK".
  // A detail goes only into the line on standard error, after the text.
  void ErrorDialog(const std::string& text, const std::string& detail = {});
  // Modal message box with a caption (the application title), no icon, "OK".
  void MessageBox(const std::string& caption, const std::string& text);

  // Called as a dialog opens (the application's idle hook).
  std::function<void()> OnWait;

 protected:
  // The dialogs themselves; they return when the user has closed them.
  virtual void ShowErrorDialog(const std::string& text) = 0;
  virtual void ShowMessageBox(const std::string& caption, const std::string& text) = 0;
};

// Where nobody can see a dialog: its line on standard error is all of it.
class ConsoleUi : public UserInterface {
 public:
  void Beep() override {}

 protected:
  void ShowErrorDialog(const std::string& /*text*/) override {}
  void ShowMessageBox(const std::string& /*caption*/, const std::string& /*text*/) override {}
};

// Writes internal text to standard error as one line in UTF-8, its line
// breaks as blanks: what a scheduler's mail or the journal shows.
void ReportLine(const std::string& text) noexcept;
// What a dialog says, as such a line: the caption, ": " and the text. Every
// dialog writes it as it opens, so that the reason a run waits or stopped is
// seen also where nobody sees the window.
void ReportDialog(const std::string& caption, const std::string& text) noexcept;
