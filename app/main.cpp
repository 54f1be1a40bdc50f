// consopuntos: consolidates customer loyalty points between a company's main
// database and its branches. Started by an operator, or unattended by a
// scheduler with the run's values on the command line.
#include <QApplication>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

#include "consopuntos/cmdline.h"
#include "consopuntos/fconsopuntos.h"
#include "consopuntos/qtui.h"
#include "dbaccess/sqlconnection.h"
#include "dbaccess/textforms.h"
#include "dm/application.h"
#include "dm/dm.h"
#include "dm/platform.h"

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
      [] { dbx::AbortOperations(); });
  SetCommandLine(argc, argv);
  // Every argument belongs to the program: the toolkit gets none of them (its
  // platform and the rest come from its environment variables).
  int toolkitArgc = 1;
  QApplication app(toolkitArgc, argv);
  Application().Title = "consopuntos";
  dbx::ReloadSettings();
  QtUserInterface ui;
  SetUi(&ui);

  fdm = new Tfdm();
  auto* form = new Tfconsopuntos();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    form->move(area.center() - form->rect().center());
  }
  form->show();
  QApplication::exec();

  SetUi(nullptr);
  delete fdm;
  fdm = nullptr;
  return 0;
}
