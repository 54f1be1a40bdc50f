// consopuntos: consolidates customer loyalty points between a company's main
// database and its branches. Started by an operator, or unattended by a
// scheduler with the run's values on the command line.
//
// Exit status: 0; for an unattended start what its last run came to (0 done,
// 3 done with branches that did not open, 4 refused for another run of the
// company in progress, 1 stopped by an error); 2 a command line that cannot
// be used, or the window asked for with no display to show it; 128 + n a
// stop signal.
#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "consopuntos/cmdline.h"
#include "consopuntos/corridas.h"
#include "consopuntos/fconsopuntos.h"
#include "consopuntos/qtui.h"
#include "dbaccess/encoding.h"
#include "dbaccess/locale.h"
#include "dbaccess/stop.h"
#include "dm/context.h"
#include "dm/dm.h"
#include "dm/platform.h"
#include "dm/ui.h"

#ifndef CONSOPUNTOS_VERSION
#define CONSOPUNTOS_VERSION "0"
#endif

using namespace dbx::literals;

namespace {

QtMessageHandler g_toolkitHandler = nullptr;
// The runs, for the stop signal's hook (a plain function).
TCorridas* g_corridas = nullptr;

// The toolkit's complaints about what a platform without a screen cannot do
// (window hints, raising, grabs), and about the runtime directory that cron's
// environment does not name, say nothing about the run: a run that goes well
// writes nothing to standard error. Everything else passes.
void ToolkitMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QStringLiteral("This plugin does not support ")) ||
      message.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set")))
    return;
  if (type == QtFatalMsg) {
    // The toolkit cannot go on (a display that cannot be reached): one line
    // and status 2, instead of an abort.
    // (Its own lines before say why; its advice to reinstall is left out.)
    ReportLine("consopuntos: la biblioteca gráfica no puede abrir la ventana (DISPLAY="_l1 +
               dbx::Utf8ToLatin1(qEnvironmentVariable("DISPLAY").toStdString(), '?') + "); vea consopuntos --help");
    std::_Exit(2);
  }
  g_toolkitHandler(type, context, message);
}

bool EnvironmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

void PrintUtf8(std::FILE* stream, const std::string& text) {
  const std::string utf8 = dbx::Latin1ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  // Before any other thread: a stop signal ends the program cleanly, from
  // wherever it is (idle, in a handler, in a lock wait, in a dialog).
  platform::WatchStopSignals(
      [](int status) {
        if (QCoreApplication* app = QCoreApplication::instance()) {
          dbx::RequestStop(status);
          QMetaObject::invokeMethod(app, [] { dbx::StopPoint(); }, Qt::QueuedConnection);
        } else {
          std::fflush(nullptr);  // no connection exists yet
          std::_Exit(status);
        }
      },
      [] { dbx::AbortOperations(); }, [] { dbx::RunStopHook(); });
  // A run that a signal stops leaves its line in the history.
  dbx::SetStopHook([]() noexcept {
    if (g_corridas != nullptr) g_corridas->DetenidaPorSenal();
  });

  // The arguments' text, from the locale's character set, before anything
  // else looks at them.
  TContext context;
  const int unusable = ReadCommandLine(argc, argv, LocaleCodeset(), context.CommandLine);
  HidePassword(argc, argv);
  switch (Request(context.CommandLine)) {
    case CommandLineRequest::kHelp:
      PrintUtf8(stdout, UsageText());
      return 0;
    case CommandLineRequest::kVersion:
      PrintUtf8(stdout, "consopuntos " CONSOPUNTOS_VERSION "\n");
      return 0;
    case CommandLineRequest::kUnknownOption:
      ReportLine("consopuntos: no existe la opción "_l1 + context.ParamStr(1) + "; vea consopuntos --help");
      return 2;
    case CommandLineRequest::kStart:
      break;
  }
  if (unusable != 0) {
    ReportLine("consopuntos: la posición "_l1 + std::to_string(unusable) +
               " de la línea de órdenes tiene un carácter que ISO-8859-1 no tiene"_l1);
    return 2;
  }

  // Every argument belongs to the program: the toolkit gets none of them (its
  // platform and the rest come from its environment variables). An
  // unattended start with no display to connect to runs without a screen.
  static char platformOption[] = "-platform";
  static char offscreen[] = "offscreen";
  std::vector<char*> toolkitArgs{argv[0]};
  if (!EnvironmentSet("DISPLAY") && !EnvironmentSet("WAYLAND_DISPLAY") && !EnvironmentSet("QT_QPA_PLATFORM")) {
    // The window has no screen to open on: only an unattended start can go on.
    if (context.ParamStr(10).empty()) {
      ReportLine("consopuntos: no hay pantalla para la ventana (DISPLAY y WAYLAND_DISPLAY sin definir); para una "
                 "transmisión sin atención dé las diez posiciones, vea consopuntos --help"_l1);
      return 2;
    }
    toolkitArgs.push_back(platformOption);
    toolkitArgs.push_back(offscreen);
  }
  int toolkitArgc = static_cast<int>(toolkitArgs.size());
  toolkitArgs.push_back(nullptr);
  g_toolkitHandler = qInstallMessageHandler(ToolkitMessages);
  QApplication app(toolkitArgc, toolkitArgs.data());
  context.Application.Title = "consopuntos";
  context.Formats = dbx::SettingsFromPlatform();
  QtUserInterface ui;
  context.Application.SetUi(&ui);
  TCorridas corridas(context);
  corridas.SinPantalla = PlataformaSinPantalla();
  g_corridas = &corridas;

  fdm = new Tfdm(context);
  fconsopuntos = new Tfconsopuntos(*fdm, corridas);
  QObject::connect(fconsopuntos, &QObject::destroyed, [] { fconsopuntos = nullptr; });
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    fconsopuntos->move(area.center() - fconsopuntos->rect().center());
  }
  fconsopuntos->show();
  QApplication::exec();

  g_corridas = nullptr;
  context.Application.SetUi(nullptr);
  delete fdm;
  fdm = nullptr;
  return corridas.EstadoSalida();
}
