// The keys of the window (F5, Esc, Enter, Tab), leaving the company field
// without all its values, and resizing.
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "dbaccess/encoding.h"
#include "dm/dm.h"
#include "consopuntos/qttext.h"
#include "window_testing.h"

using wintest::FocusName;
using wintest::StatusStep;
using wintest::Describe;
using wintest::WindowSession;

using namespace dbx::literals;

namespace {

QWidget* Input(Tfconsopuntos* f, const QString& name) { return f->findChild<QWidget*>(name); }

// Gives the focus to an input of the shown window.
bool FocusOn(QWidget* control) {
  control->setFocus(Qt::OtherFocusReason);
  WindowSession::Settle(5);
  return FocusName() == control->objectName();
}

// Presses a key where the keyboard focus is.
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
}

// The window shown; nullptr when it could not be.
Tfconsopuntos* Shown(WindowSession& s) {
  Tfconsopuntos* f = s.Create();
  return s.Show() ? f : nullptr;
}

// The same over a server folder that does not exist, with user, password and
// company typed in.
Tfconsopuntos* ShownFilled(WindowSession& s, const QString& user, const QString& password, const QString& company) {
  s.WriteServerList(s.AppDir() + "/nowhere\r\n");
  Tfconsopuntos* f = Shown(s);
  if (f != nullptr) {
    f->Tusua->setText(user);
    f->TClave->setText(password);
    f->Cia->setText(company);
  }
  return f;
}

class KeyTest : public QObject {
  Q_OBJECT

 private slots:
  // F5 does nothing before any connection, as a click on the disabled button.
  void f5BeforeAnyConnection() {
    WindowSession s;
    Tfconsopuntos* f = ShownFilled(s, "SYSDBA", "clave", "ZZ");
    QVERIFY(f != nullptr);
    QVERIFY(FocusOn(f->Servidor));
    s.Probe(f->Servidor);
    s.ClearSteps();
    const auto logBefore = testsupport::ReadFile("ERRORES.TXT").size();

    QTest::mouseClick(f->SpeedButton1, Qt::LeftButton);
    Press(Qt::Key_F5);
    WindowSession::Settle();
    QVERIFY2(s.Steps().empty(), qPrintable(wintest::Describe(s.Steps())));
    QVERIFY2(s.Ui().events.empty(), qPrintable(Describe(s.Ui())));
    QCOMPARE(testsupport::ReadFile("ERRORES.TXT").size(), logBefore);
    QVERIFY(s.Dm().Varnex->Params().Value("Database").empty());
    QVERIFY(!s.FormGone());
    QVERIFY(!f->Panel5->isVisible());
    QCOMPARE(s.probe.keys, std::vector<int>{Qt::Key_F5});  // the key still reaches the list
  }

  void modifiedKeysDoNothing_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Shift+F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl+F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Alt+F5") << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::AltModifier);
    QTest::newRow("Shift+Esc") << int(Qt::Key_Escape) << Qt::KeyboardModifiers(Qt::ShiftModifier);
    QTest::newRow("Ctrl+Esc") << int(Qt::Key_Escape) << Qt::KeyboardModifiers(Qt::ControlModifier);
  }
  void modifiedKeysDoNothing() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    WindowSession s;
    Tfconsopuntos* f = ShownFilled(s, "SYSDBA", "clave", "ZZ");
    QVERIFY(f != nullptr);
    QVERIFY(FocusOn(f->Tusua));
    s.Probe(f->Tusua);
    s.ClearSteps();

    Press(key, modifiers);
    WindowSession::Settle();
    QVERIFY(!s.FormGone());
    QVERIFY(f->isVisible());
    QVERIFY2(s.Steps().empty(), qPrintable(wintest::Describe(s.Steps())));
    QVERIFY2(s.Ui().events.empty(), qPrintable(Describe(s.Ui())));
    QVERIFY(s.Dm().Varnex->Params().Value("Database").empty());
    QCOMPARE(s.probe.keys, std::vector<int>{key});  // not consumed
  }

  void escCloses_data() {
    QTest::addColumn<QString>("focus");
    QTest::newRow("Servidor") << "Servidor";
    QTest::newRow("Tusua") << "Tusua";
    QTest::newRow("Cia") << "Cia";
    QTest::newRow("EFecIni") << "EFecIni";
  }
  void escCloses() {
    QFETCH(QString, focus);
    WindowSession s;
    Tfconsopuntos* f = Shown(s);
    QVERIFY(f != nullptr);
    f->EFecIni->setEnabled(true);
    QVERIFY(FocusOn(Input(f, focus)));
    s.Probe(QApplication::focusWidget());
    Press(Qt::Key_Escape);
    QCOMPARE(s.probe.keys, std::vector<int>{Qt::Key_Escape});
    QTRY_VERIFY(s.FormGone());
    QVERIFY(s.Ui().events.empty());
  }

  void cancelButtonCloses() {
    WindowSession s;
    Tfconsopuntos* f = Shown(s);
    QVERIFY(f != nullptr);
    QTest::mouseClick(f->SpeedButton2, Qt::LeftButton);
    QTRY_VERIFY(s.FormGone());
  }

  void enterMoves_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("dateEnabled");
    QTest::addColumn<QString>("to");
    QTest::newRow("Servidor") << "Servidor" << false << "Tusua";
    QTest::newRow("Tusua") << "Tusua" << false << "TClave";
    QTest::newRow("TClave") << "TClave" << false << "Cia";
    QTest::newRow("Cia, date disabled") << "Cia" << false << "Servidor";
    QTest::newRow("Cia, date enabled") << "Cia" << true << "EFecIni";
    QTest::newRow("EFecIni") << "EFecIni" << true << "Servidor";
  }
  void enterMoves() {
    QFETCH(QString, from);
    QFETCH(bool, dateEnabled);
    QFETCH(QString, to);
    WindowSession s;
    Tfconsopuntos* f = Shown(s);
    QVERIFY(f != nullptr);
    f->EFecIni->setEnabled(dateEnabled);
    QVERIFY(FocusOn(Input(f, from)));
    Press(Qt::Key_Return);
    WindowSession::Settle();
    QCOMPARE(FocusName(), to);
    // Leaving an empty company field connects nothing.
    QVERIFY(s.Ui().events.empty());
    QVERIFY(!f->Panel5->isVisible());
  }

  // Enter never reaches the control: nothing is inserted, nothing confirmed.
  void enterIsSwallowed_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key");
    QTest::newRow("Servidor") << "Servidor" << int(Qt::Key_Return);
    QTest::newRow("Tusua") << "Tusua" << int(Qt::Key_Return);
    QTest::newRow("Tusua, keypad") << "Tusua" << int(Qt::Key_Enter);
    QTest::newRow("TClave") << "TClave" << int(Qt::Key_Return);
    QTest::newRow("Cia") << "Cia" << int(Qt::Key_Return);
    QTest::newRow("EFecIni") << "EFecIni" << int(Qt::Key_Return);
  }
  void enterIsSwallowed() {
    QFETCH(QString, control);
    QFETCH(int, key);
    WindowSession s;
    Tfconsopuntos* f = Shown(s);
    QVERIFY(f != nullptr);
    f->EFecIni->setEnabled(true);
    f->Tusua->setText("abc");
    QSignalSpy returns(f->Tusua, &QLineEdit::returnPressed);
    QVERIFY(FocusOn(Input(f, control)));
    s.Probe(QApplication::focusWidget());
    Press(Qt::Key_A);
    Press(key);
    QCOMPARE(s.probe.keys, std::vector<int>{Qt::Key_A});  // other keys pass
    QCOMPARE(returns.count(), 0);
    QVERIFY(FocusName() != control);
  }

  void tabOrder_data() {
    QTest::addColumn<bool>("dateEnabled");
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<QStringList>("visited");
    QTest::newRow("date disabled") << false << false << QStringList{"Tusua", "TClave", "Cia", "Servidor", "Tusua"};
    QTest::newRow("date enabled") << true << false << QStringList{"Tusua", "TClave", "Cia", "EFecIni", "Servidor"};
    QTest::newRow("date disabled, backwards")
        << false << true << QStringList{"Cia", "TClave", "Tusua", "Servidor", "Cia"};
    QTest::newRow("date enabled, backwards")
        << true << true << QStringList{"EFecIni", "Cia", "TClave", "Tusua", "Servidor"};
  }
  void tabOrder() {
    QFETCH(bool, dateEnabled);
    QFETCH(bool, backwards);
    QFETCH(QStringList, visited);
    WindowSession s;
    Tfconsopuntos* f = Shown(s);
    QVERIFY(f != nullptr);
    f->EFecIni->setEnabled(dateEnabled);
    QVERIFY(FocusOn(f->Servidor));
    QStringList seen;
    for (int i = 0; i < visited.size(); ++i) {
      if (backwards)
        Press(Qt::Key_Backtab, Qt::ShiftModifier);
      else
        Press(Qt::Key_Tab);
      WindowSession::Settle(5);
      seen << FocusName();
    }
    QCOMPARE(seen, visited);
  }

  // Leaving the company field needs user, password and company; blanks are text.
  void ciaExitNeedsAllThree_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("company");
    QTest::addColumn<bool>("connects");
    QTest::newRow("no user") << "" << "clave" << "ZZ" << false;
    QTest::newRow("no password") << "SYSDBA" << "" << "ZZ" << false;
    QTest::newRow("no company") << "SYSDBA" << "clave" << "" << false;
    QTest::newRow("blank password") << "SYSDBA" << " " << "ZZ" << true;
  }
  void ciaExitNeedsAllThree() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, company);
    QFETCH(bool, connects);
    WindowSession s;
    Tfconsopuntos* f = ShownFilled(s, user, password, company);
    QVERIFY(f != nullptr);
    QVERIFY(FocusOn(f->Cia));
    s.ClearSteps();
    Press(Qt::Key_Tab);
    WindowSession::Settle();

    if (!connects) {
      QVERIFY2(s.Steps().empty(), qPrintable(wintest::Describe(s.Steps())));
      QVERIFY(!f->Panel5->isVisible());
      QVERIFY(s.Ui().events.empty());
      QVERIFY(s.Dm().Varnex->Params().Value("Database").empty());
      QCOMPARE(FocusName(), QStringLiteral("Servidor"));
      return;
    }
    const std::vector<StatusStep> expected{{QStringLiteral("Conectando a la base de datos ZZ ..."), true, true}};
    QVERIFY2(s.Steps() == expected, qPrintable(wintest::Describe(s.Steps())));
    QCOMPARE(s.Dm().Varnex->Params().Value("Database"), s.AppDir() + "/nowhere/datos/ZZ/varnex.fdb");
    QCOMPARE(s.Ui().Dialogs().size(), std::size_t{1});
    QVERIFY(f->Panel5->isVisible());
    QVERIFY(!f->EFecIni->isEnabled());
    QVERIFY(!f->SpeedButton1->isEnabled());
  }

  void wideningKeepsControls() {
    WindowSession s;
    Tfconsopuntos* f = Shown(s);
    QVERIFY(f != nullptr);
    const QList<QWidget*> fixed{f->Label2,  f->Servidor,     f->Tusua,        f->TClave, f->Cia,
                                f->EFecIni, f->SpeedButton1, f->SpeedButton2, f->Panel5};
    QList<QRect> before;
    for (QWidget* w : fixed) before << w->geometry();
    QCOMPARE(f->Label2->width(), 333);
    QCOMPARE(f->Panel5->geometry(), QRect(8, 84, 337, 41));

    f->resize(700, 400);
    WindowSession::Settle();
    for (int i = 0; i < fixed.size(); ++i) QCOMPARE(fixed[i]->geometry(), before[i]);
    QCOMPARE(f->Panel2->geometry(), QRect(0, 0, 700, 57));
    QCOMPARE(f->GroupBox1->geometry(), QRect(0, 57, 700, 105));
    QCOMPARE(f->GroupBox2->geometry(), QRect(0, 162, 700, 400 - 162 - 52));
    QCOMPARE(f->Panel1->geometry(), QRect(0, 400 - 52, 700, 52));
  }
};

}  // namespace

int RunKeyTests(int argc, char** argv) {
  KeyTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "keys_test.moc"
