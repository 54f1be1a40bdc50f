#include "dm/ui.h"

#include <cstdio>

#include "dbaccess/encoding.h"
#include "dm/application.h"

namespace {

class ConsoleUi : public UserInterface {
 public:
  void Beep() override {}
  void ErrorDialog(const std::string& text) override { ReportDialog("Error", text); }
  void MessageBox(const std::string& text) override { ReportDialog(Application().Title, text); }
};

ConsoleUi g_console;
UserInterface* g_ui = nullptr;

}  // namespace

void ReportDialog(const std::string& caption, const std::string& text) noexcept {
  try {
    std::string line = caption + ": ";
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

UserInterface& Ui() { return g_ui != nullptr ? *g_ui : g_console; }
void SetUi(UserInterface* ui) noexcept { g_ui = ui; }
