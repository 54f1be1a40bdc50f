// The data module's dialogs and beep, shown with Qt.
#pragma once

#include "dm/ui.h"

class QtUserInterface : public UserInterface {
 public:
  void Beep() override;
  void ErrorDialog(const std::string& text) override;
  void MessageBox(const std::string& text) override;
};
