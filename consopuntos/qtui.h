// The data module's dialogs and beep, shown with Qt.
#pragma once

#include "dm/ui.h"

class QtUserInterface : public UserInterface {
 public:
  void Beep() override;

 protected:
  void ShowErrorDialog(const std::string& text) override;
  void ShowMessageBox(const std::string& text) override;
};
