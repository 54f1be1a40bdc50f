#include "dm/ui.h"

#include <cstdio>

#include "dbaccess/encoding.h"
#include "dbaccess/sqlconnection.h"
#include "dm/application.h"

namespace {

class ConsoleUi : public UserInterface {
 public:
  void Beep() override {}
  // ReportDialog has written the text already.
  void ShowErrorDialog(const std::string& /*text*/) override {}
  void ShowMessageBox(const std::string& /*text*/) override {}
};

ConsoleUi g_console;
UserInterface* g_ui = nullptr;

}  // namespace

void ReportLine(const std::string& text) noexcept {
  try {
    std::string line;
    line.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '\r' || c == '\n') {
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        line += ' ';
      } else {
        line += c;
      }
    }
    line = dbx::Latin1ToUtf8(line) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
  } catch (...) {
  }
}

void ReportDialog(const std::string& caption, const std::string& text) noexcept {
  try {
    ReportLine(caption + ": " + text);
  } catch (...) {
  }
}

void UserInterface::ErrorDialog(const std::string& text) {
  dbx::EndIdleWorkEverywhere();
  ReportDialog("Error", text);
  ShowErrorDialog(text);
}

void UserInterface::MessageBox(const std::string& text) {
  dbx::EndIdleWorkEverywhere();
  ReportDialog(Application().Title, text);
  ShowMessageBox(text);
}

UserInterface& Ui() { return g_ui != nullptr ? *g_ui : g_console; }
void SetUi(UserInterface* ui) noexcept { g_ui = ui; }
