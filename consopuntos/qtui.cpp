#include "consopuntos/qtui.h"

#include <QApplication>
#include <QMessageBox>

#include "consopuntos/fconsopuntos.h"
#include "dm/application.h"

void QtUserInterface::Beep() { QApplication::beep(); }

void QtUserInterface::ErrorDialog(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), ToDisplay(text), QMessageBox::Ok);
  box.setObjectName("ErrorDialog");
  box.exec();
}

void QtUserInterface::MessageBox(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(Application().Title.c_str()), ToDisplay(text),
                  QMessageBox::Ok);
  box.setObjectName("MessageBox");
  box.exec();
}
