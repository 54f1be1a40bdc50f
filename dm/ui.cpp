#include "dm/ui.h"

#include <cstdio>

namespace {

class ConsoleUi : public UserInterface {
 public:
  void Beep() override {}
  void ErrorDialog(const std::string& text) override { std::fprintf(stderr, "Error: %s\n", text.c_str()); }
  void MessageBox(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

ConsoleUi g_console;
UserInterface* g_ui = nullptr;

}  // namespace

UserInterface& Ui() { return g_ui != nullptr ? *g_ui : g_console; }
void SetUi(UserInterface* ui) noexcept { g_ui = ui; }
