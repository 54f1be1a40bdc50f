#include "dm/ui.h"

#include <cstdio>

#include "dbaccess/encoding.h"

namespace {

class ConsoleUi : public UserInterface {
 public:
  void Beep() override {}
  void ErrorDialog(const std::string& text) override {
    std::fprintf(stderr, "Error: %s\n", dbx::Latin1ToUtf8(text).c_str());
  }
  void MessageBox(const std::string& text) override { std::fprintf(stderr, "%s\n", dbx::Latin1ToUtf8(text).c_str()); }
};

ConsoleUi g_console;
UserInterface* g_ui = nullptr;

}  // namespace

UserInterface& Ui() { return g_ui != nullptr ? *g_ui : g_console; }
void SetUi(UserInterface* ui) noexcept { g_ui = ui; }
