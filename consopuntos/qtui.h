// The data module's dialogs and beep, shown with Qt.
#pragma once

#include "dm/ui.h"

// True when the window platform shows nothing to anybody (offscreen,
// minimal): no dialog can be seen or answered there.
[[nodiscard]] bool PlataformaSinPantalla();

// Where nobody sees the screen, a dialog is answered "OK" at once: its line
// on standard error is all that is left of it.
class QtUserInterface : public UserInterface {
 public:
  void Beep() override;

 protected:
  void ShowErrorDialog(const std::string& text) override;
  void ShowMessageBox(const std::string& caption, const std::string& text) override;
};
