// Writes the program's logo as the PNG files of a desktop icon theme:
//   consopuntos_iconpng DIR SIZE...   ->  DIR/SIZExSIZE/apps/consopuntos.png
// Runs at build time, without a display.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "consopuntos/pictures.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DIR SIZE...\n", argv[0]);
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  int qtArgc = 1;  // the sizes are ours, not the toolkit's
  QGuiApplication app(qtArgc, argv);
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size <= 0) {
      std::fprintf(stderr, "%s: bad size '%s'\n", argv[0], argv[i]);
      return 2;
    }
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(dir) || !ProgramLogo(size).save(dir + QStringLiteral("/consopuntos.png"), "PNG")) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(dir));
      return 1;
    }
  }
  return 0;
}
