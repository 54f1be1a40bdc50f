#include "consopuntos/qtui.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "consopuntos/qttext.h"

bool PlataformaSinPantalla() {
  const QString name = QGuiApplication::platformName();
  return name == QStringLiteral("offscreen") || name == QStringLiteral("minimal");
}

void QtUserInterface::Beep() { QApplication::beep(); }

void QtUserInterface::ShowErrorDialog(const std::string& text) {
  if (PlataformaSinPantalla()) return;
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), ToDisplay(text), QMessageBox::Ok);
  box.setObjectName("ErrorDialog");
  box.exec();
}

void QtUserInterface::ShowMessageBox(const std::string& caption, const std::string& text) {
  if (PlataformaSinPantalla()) return;
  QMessageBox box(QMessageBox::NoIcon, ToDisplay(caption), ToDisplay(text), QMessageBox::Ok);
  box.setObjectName("MessageBox");
  // Centred on the screen, not on a window, once shown at its final size.
  QTimer::singleShot(0, &box, [&box] {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
      box.move(screen->availableGeometry().center() - box.frameGeometry().center() + box.pos());
  });
  box.exec();
}
