// The window tests: several QTest suites in one process, on the offscreen
// platform; each session records its dialogs, so that none waits.
#include <unistd.h>

#include <QApplication>
#include <filesystem>
#include <vector>

#include "window_testing.h"

int RunStartupTests(int argc, char** argv);
int RunKeyTests(int argc, char** argv);
int RunConnectionTests(int argc, char** argv);

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // A crash ends the process at once instead of waiting for a debugger.
  std::vector<char*> args(argv, argv + argc);
  char noCrashHandler[] = "-nocrashhandler";
  args.insert(args.begin() + 1, noCrashHandler);
  const int n = static_cast<int>(args.size());

  // "\ERRORES.TXT" and "\SERVIDORES.cfg" name files of the working directory.
  const auto previous = std::filesystem::current_path();
  int failed = 0;
  {
    testsupport::ScratchDir root;
    std::filesystem::current_path(root.Root());
    failed += RunStartupTests(n, args.data()) != 0;
    failed += RunKeyTests(n, args.data()) != 0;
    failed += RunConnectionTests(n, args.data()) != 0;
    std::filesystem::current_path(previous);
  }
  return failed == 0 ? 0 : 1;
}
