// Connecting to a company's main database from the window, the unattended
// start, and whole transmission runs against real databases.
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "dbaccess/encoding.h"
#include "dbaccess/textforms.h"
#include "dm/dm.h"
#include "consopuntos/qttext.h"
#include "dbaccess/locale.h"
#include "window_testing.h"

using testsupport::CompanyLayout;
using testsupport::QueryText;
using testsupport::RunSql;
using testsupport::ScratchDir;
using wintest::FocusName;
using wintest::StatusStep;
using wintest::Describe;
using wintest::WindowSession;

using namespace dbx::literals;

namespace {

std::string TodayIso() { return QDate::currentDate().toString(Qt::ISODate).toStdString(); }

std::string TodayText() {
  const QDate d = QDate::currentDate();
  return dbx::DateToStr(dbx::DateTime{dbx::Date{d.year(), d.month(), d.day()}, {}}, dbx::SettingsFromPlatform());
}


std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const auto at = text.find(separator, start);
    out.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return out;
    start = at + separator.size();
  }
}

std::vector<std::string> UnattendedArgs(const CompanyLayout& co, const std::string& date = {}) {
  std::vector<std::string> args{"consopuntos", co.ServerFolder(), testsupport::kUser, testsupport::kPassword,
                                co.Company(),  "5",  "6", "7", "8", "9", "auto"};
  if (!date.empty()) args.push_back(date);
  return args;
}

// Types the values and leaves the company field with Enter, as an operator.
void TypeAndLeaveCompany(Tfconsopuntos* f, const std::string& company) {
  f->Tusua->setFocus(Qt::OtherFocusReason);
  WindowSession::Settle(5);
  QTest::keyClicks(QApplication::focusWidget(), testsupport::kUser);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QTest::keyClicks(QApplication::focusWidget(), testsupport::kPassword);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(company));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  WindowSession::Settle();
}

QString Q(const std::string& s) { return ToDisplay(s); }

class ConnectionTest : public QObject {
  Q_OBJECT

 private slots:
  // An operator connects, then F5 runs collection and distribution over a
  // branch that opens and one whose database is missing.
  void connectAndRun() {
    ScratchDir dir;
    CompanyLayout co(dir);
    const std::string norte = co.AddBranch("001", "Norte");
    const std::string sur = co.AddBranch("002", "Sur", false);
    testsupport::AddCustomer(norte, "900", "Cliente nuevo", TodayIso());
    RunSql(co.MainPath(), "INSERT INTO PUNTOS_CLIENTE_ACUMULADO (TERC_NIT, PTCA_ACUMULADO) VALUES ('VIEJO', 5)");
    RunSql(norte, "INSERT INTO PUNTOS_CLIENTE_ACUMULADO (TERC_NIT, PTCA_ACUMULADO) VALUES ('LOCAL', 7)");

    WindowSession s;
    s.WriteServerList("c:\\otro\r\n" + co.ServerFolder() + "\r\n");
    Tfconsopuntos* f = s.Create();
    QVERIFY(s.Show());
    f->Servidor->setCurrentIndex(1);
    TypeAndLeaveCompany(f, co.Company());
    QTRY_VERIFY2(f->SpeedButton1->isEnabled(), qPrintable(Describe(s.Ui())));

    const QString connecting = Q("Conectando a la base de datos " + co.Company() + " ...");
    const std::vector<StatusStep> connect{{connecting, true, true}, {connecting, false, false}};
    QVERIFY2(s.Steps() == connect, qPrintable(wintest::Describe(s.Steps())));
    QVERIFY(s.Ui().events.empty());
    QVERIFY(s.Dm().Varnex->Connected());
    QVERIFY(f->EFecIni->isEnabled());
    QCOMPARE(f->EFecIni->date(), QDate::currentDate());
    QVERIFY(!f->Panel5->isVisible());
    QCOMPARE(FocusName(), QStringLiteral("EFecIni"));
    QCOMPARE(f->CAcumulado->PacketRecords, 1000);  // providers configured
    QCOMPARE(f->CCliented->PacketRecords, 1000);

    // Leaving the company field again reconnects and drops the picked date.
    f->EFecIni->setDate(QDate(2010, 5, 4));
    f->Cia->setFocus(Qt::OtherFocusReason);
    WindowSession::Settle(5);
    s.ClearSteps();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    WindowSession::Settle();
    QCOMPARE(s.Steps().size(), std::size_t{2});
    QCOMPARE(f->EFecIni->date(), QDate::currentDate());
    QCOMPARE(FocusName(), QStringLiteral("EFecIni"));

    s.ClearSteps();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
    QTRY_VERIFY2(s.FormGone(), qPrintable(Describe(s.Ui())));
    QVERIFY2(s.Ui().events.empty(), qPrintable(Describe(s.Ui())));

    const std::string norteServer = co.BranchServer("001");
    const std::string surServer = co.BranchServer("002");
    const std::vector<StatusStep> run{
        {Q("Conectando a " + co.MainPath() + " ..."), true, true},
        {Q("Conectando a " + norteServer + "\\datos\\001\\varnex.fdb ..."), true, false},
        {Q("Trayendo CLIENTES de la compañia Norte ..."_l1), true, true},
        {Q("Trayendo PUNTOS de la compañia Norte ..."_l1), true, true},
        {Q("Trayendo PUNTOS de la compañia Norte ..."_l1), false, false},
        {Q("Conectando a " + surServer + "\\datos\\002\\varnex.fdb ..."), false, false},
        {Q("Enviando CLIENTES a la compañia Norte ..."_l1), true, true},
        {Q("Actualizando ACUMULADO en la compañia Norte ..."_l1), true, true},
        {Q("Actualizando ACUMULADO en la compañia Norte ..."_l1), false, false},
    };
    QVERIFY2(s.Steps() == run, qPrintable(wintest::Describe(s.Steps())));

    // The main table was emptied first; the branch's customer came over; the
    // branch's accumulated table was replaced.
    QCOMPARE(QueryText(co.MainPath(), "SELECT COUNT(*) FROM PUNTOS_CLIENTE_ACUMULADO WHERE TERC_NIT = 'VIEJO'"),
             std::string("0"));
    QCOMPARE(QueryText(co.MainPath(), "SELECT TERC_NIT FROM CLIENTES"), std::string("900"));
    QCOMPARE(QueryText(norte, "SELECT COUNT(*) FROM PUNTOS_CLIENTE_ACUMULADO WHERE TERC_NIT = 'LOCAL'"),
             std::string("0"));

    // The missing branch is logged once per walk in the application directory.
    const auto lines = Split(testsupport::ReadFile(s.AppDir() + "/ERRORENVPTOS.TXT"), "\r\n");
    QCOMPARE(lines.size(), std::size_t{3});
    QVERIFY(lines[2].empty());
    const char* labels[] = {"Trayendo puntos", "Enviando consolidado"};
    for (int i = 0; i < 2; ++i) {
      const auto cols = Split(lines[static_cast<std::size_t>(i)], ",");
      QCOMPARE(cols.size(), std::size_t{5});
      QVERIFY(!cols[0].empty() && !cols[1].empty());
      QCOMPARE(cols[2], surServer + "\\datos\\002");
      QCOMPARE(cols[3], std::string(labels[i]));
      QCOMPARE(cols[4], TodayText());
    }
    QVERIFY(!std::filesystem::exists(sur));

    // One line in the history of runs: what the run came to and counted.
    const auto history = Split(testsupport::ReadFile(s.AppDir() + "/TRANSMISIONES.TXT"), "\r\n");
    QCOMPARE(history.size(), std::size_t{3});  // the header, the run, nothing after its CR LF
    QCOMPARE(history[0] + "\r\n", CabeceraHistorial());
    const auto h = Split(history[1], ",");
    QCOMPARE(h.size(), std::size_t{15});
    QCOMPARE(h[2], co.ServerFolder());
    QCOMPARE(h[3], co.Company());
    QCOMPARE(h[4], TodayIso());
    QCOMPARE(h[5], std::string("completa con sucursales sin abrir"));
    QCOMPARE(h[7] + "," + h[8] + "," + h[9] + "," + h[10], std::string("2,1,1,1"));  // branches, not opened, customers
  }

  // Branches named with accents (ISO-8859-1 bytes in REPLICA_COMPANIA,
  // folders on disk in UTF-8): the run collects and distributes as with
  // plain names, the window shows the names right, and the failure log of
  // the missing branch is UTF-8 that names its folder.
  void accentedBranchNames() {
    ScratchDir dir;
    CompanyLayout co(dir);
    const std::string penalosaServer = dir.Root() + "/suc\xf1";  // "sucñ"
    const std::string bogotaServer = dir.Root() + "/Bogot\xe1";  // "Bogotá", no database
    const std::string penalosa = co.AddBranch("001", "Pe\xf1" "alosa", true, penalosaServer);
    co.AddBranch("002", "Bogot\xe1", false, bogotaServer);
    testsupport::AddCustomer(penalosa, "900", "Mu\xf1oz", TodayIso());
    testsupport::AddPointsMovement(penalosa, "900", TodayIso(), "10", "");

    WindowSession s(UnattendedArgs(co));
    s.Create();
    QVERIFY(s.Show());
    QTRY_VERIFY2(s.FormGone(), qPrintable(Describe(s.Ui())));
    QVERIFY2(s.Ui().events.empty(), qPrintable(Describe(s.Ui())));

    const QString root = QString::fromUtf8(dir.Root().c_str());
    const QString connecting = Q("Conectando a la base de datos " + co.Company() + " ...");
    const std::vector<StatusStep> run{
        {connecting, true, true},
        {connecting, false, false},
        {Q("Conectando a " + co.MainPath() + " ..."), true, true},
        {QStringLiteral("Conectando a ") + root + QStringLiteral("/sucñ\\datos\\001\\varnex.fdb ..."), true, false},
        {QStringLiteral("Trayendo CLIENTES de la compañia Peñalosa ..."), true, true},
        {QStringLiteral("Trayendo PUNTOS de la compañia Peñalosa ..."), true, true},
        {QStringLiteral("Trayendo PUNTOS de la compañia Peñalosa ..."), false, false},
        {QStringLiteral("Conectando a ") + root + QStringLiteral("/Bogotá\\datos\\002\\varnex.fdb ..."), false,
         false},
        {QStringLiteral("Enviando CLIENTES a la compañia Peñalosa ..."), true, true},
        {QStringLiteral("Actualizando ACUMULADO en la compañia Peñalosa ..."), true, true},
        {QStringLiteral("Actualizando ACUMULADO en la compañia Peñalosa ..."), false, false},
    };
    QVERIFY2(s.Steps() == run, qPrintable(wintest::Describe(s.Steps())));
    // The customer's name travelled byte for byte; the points came back.
    QCOMPARE(QueryText(co.MainPath(), "SELECT TERC_NOMBRE FROM TERCEROS WHERE TERC_NIT = '900'"),
             std::string("Mu\xf1oz"));
    QCOMPARE(QueryText(penalosa, "SELECT TERC_NIT, PTCA_ACUMULADO FROM PUNTOS_CLIENTE_ACUMULADO"),
             std::string("900|10.00"));

    std::string log;
    QVERIFY2(dbx::Utf8ToLatin1(testsupport::ReadFile(s.AppDir() + "/ERRORENVPTOS.TXT"), log), "the log is not UTF-8");
    const auto lines = Split(log, "\r\n");
    QCOMPARE(lines.size(), std::size_t{3});
    for (int i = 0; i < 2; ++i)
      QCOMPARE(Split(lines[static_cast<std::size_t>(i)], ",")[2], bogotaServer + "\\datos\\002");
  }

  // A failure whose text carries an accented value: the dialog and its line
  // in ERRORES.TXT (UTF-8) show the same characters.
  void accentedValueInADialogAndItsLogLine() {
    ScratchDir dir;
    CompanyLayout co(dir);
    const std::string branch = co.AddBranch("001", "Norte");
    testsupport::AddPointsMovement(branch, "Pe\xf1" "a", TodayIso(), "10", "");
    // The main database refuses accumulated points of an unknown customer.
    RunSql(co.MainPath(),
           "ALTER TABLE PUNTOS_CLIENTE_ACUMULADO ADD CONSTRAINT FK_PCA_TERCEROS FOREIGN KEY (TERC_NIT) "
           "REFERENCES TERCEROS (TERC_NIT)");
    std::filesystem::remove("ERRORES.TXT");
    WindowSession s(UnattendedArgs(co));
    s.Create();
    QVERIFY(s.Show());
    QTRY_VERIFY(!s.Ui().Dialogs().empty());
    const std::string dialog = s.Ui().Dialogs()[0];
    QVERIFY2(dialog.find("'Pe\xf1" "a'") != std::string::npos, dialog.c_str());
    std::string log;
    QVERIFY2(dbx::Utf8ToLatin1(testsupport::ReadFile("ERRORES.TXT"), log), "ERRORES.TXT is not UTF-8");
    const std::size_t message = log.find(",,");
    QVERIFY(message != std::string::npos);
    QCOMPARE(ToDisplay("error:Se presento el siguiente error: " + log.substr(message + 2, log.size() - message - 4)),
             ToDisplay(dialog));
    std::filesystem::remove("ERRORES.TXT");
  }

  // Position 11 that is no date: the connection stays open, the date is
  // today, the panel stays, and no run starts. Every later connection fails
  // on it again.
  void badDateAtPosition11() {
    ScratchDir dir;
    CompanyLayout co(dir);
    WindowSession s(UnattendedArgs(co, "x"));
    Tfconsopuntos* f = s.Create();
    QVERIFY(s.Show());
    QVERIFY(!s.FormGone());
    const std::vector<std::string> dialogs = s.Ui().Dialogs();
    QCOMPARE(dialogs.size(), std::size_t{1});
    QVERIFY2(dialogs[0].find("'x' no es una fecha válida"_l1) != std::string::npos, dialogs[0].c_str());
    QVERIFY(s.Dm().Varnex->Connected());
    QCOMPARE(f->CAcumulado->PacketRecords, 1000);
    QVERIFY(f->EFecIni->isEnabled());
    QCOMPARE(f->EFecIni->date(), QDate::currentDate());
    QVERIFY(f->Panel5->isVisible());
    QCOMPARE(f->StatusText(), "Conectando a la base de datos " + co.Company() + " ...");
    QVERIFY(!f->SpeedButton1->isEnabled());
    QVERIFY(FocusName() != QStringLiteral("EFecIni"));

    f->Cia->setFocus(Qt::OtherFocusReason);
    WindowSession::Settle(5);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    WindowSession::Settle();
    QCOMPARE(s.Ui().Dialogs().size(), std::size_t{2});
    QCOMPARE(s.Ui().Dialogs()[1], dialogs[0]);
    QVERIFY(!s.FormGone());

    // The start stopped before its run: its line, without a transmission
    // date; the exit status says so.
    const auto history = Split(testsupport::ReadFile(s.AppDir() + "/TRANSMISIONES.TXT"), "\r\n");
    QCOMPARE(history.size(), std::size_t{3});
    const auto h = Split(history[1], ",");
    QCOMPARE(h.size(), std::size_t{15});
    QCOMPARE(h[4] + "|" + h[5], std::string("|detenida por un error"));
    QCOMPARE(s.Corridas().EstadoSalida(), 1);
  }

  // A valid position 11 becomes the date of every connection, whatever its
  // year (the field's own range starts in 1752).
  void dateAtPosition11_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("month");
    QTest::addColumn<int>("day");
    QTest::newRow("2009") << 2009 << 3 << 15;
    QTest::newRow("1700") << 1700 << 1 << 1;
    QTest::newRow("year 50") << 50 << 6 << 30;
  }
  void dateAtPosition11() {
    QFETCH(int, year);
    QFETCH(int, month);
    QFETCH(int, day);
    ScratchDir dir;
    CompanyLayout co(dir);
    // The switch ends the run right after its first status text.
    testsupport::SetConfiguration(co.MainPath(), "REPLICAR CAMBIOS EN ARTICULOS", "NO");
    WindowSession s(UnattendedArgs(co, "x"));
    dbx::FormatSettings& fs = s.Context().Formats;
    fs.shortDateFormat = "dd/mm/yyyy";  // four-digit years: no two-digit window
    const dbx::Date expected{year, month, day};
    const std::string date = dbx::DateToStr(dbx::DateTime{expected, {}}, fs);
    s.Context().CommandLine = TCommandLine(UnattendedArgs(co, date));
    Tfconsopuntos* f = s.Create();
    dbx::Date seen;
    QString shown;
    connect(f, &Tfconsopuntos::statusChanged, f, [&] {
      seen = f->FechaTransmision();
      shown = f->EFecIni->text();
    });
    QVERIFY(s.Show());
    QTRY_VERIFY(s.FormGone());
    QVERIFY2(s.Ui().events.empty(), qPrintable(Describe(s.Ui())));
    QVERIFY(seen == expected);  // the date while the run showed its first text
    QCOMPARE(shown, QString::fromStdString(date));
  }

  // The run's work needs the switch to be exactly "SI": otherwise the window
  // closes after connecting and nothing is deleted or contacted.
  void replicationSwitchNotSi_data() {
    QTest::addColumn<QString>("value");  // null: no setting
    QTest::addColumn<bool>("notFound");
    QTest::newRow("si") << "si" << false;
    QTest::newRow("Si") << "Si" << false;
    QTest::newRow("SI with a blank") << "SI " << false;
    QTest::newRow("NO") << "NO" << false;
    QTest::newRow("missing") << QString() << true;
  }
  void replicationSwitchNotSi() {
    QFETCH(QString, value);
    QFETCH(bool, notFound);
    ScratchDir dir;
    CompanyLayout co(dir);
    co.AddBranch("001", "Norte", false);
    RunSql(co.MainPath(), "INSERT INTO PUNTOS_CLIENTE_ACUMULADO (TERC_NIT, PTCA_ACUMULADO) VALUES ('VIEJO', 5)");
    if (value.isNull())
      RunSql(co.MainPath(), "DELETE FROM CONFIGURACION WHERE CONF_PROPIEDAD = 'REPLICAR CAMBIOS EN ARTICULOS'");
    else
      testsupport::SetConfiguration(co.MainPath(), "REPLICAR CAMBIOS EN ARTICULOS", value.toStdString());

    WindowSession s(UnattendedArgs(co));
    s.Create();
    QVERIFY(s.Show());
    QTRY_VERIFY(s.FormGone());
    const std::vector<std::string> dialogs =
        notFound ? std::vector<std::string>{"error:No se encontró la configuración REPLICAR CAMBIOS EN ARTICULOS"_l1}
                 : std::vector<std::string>{};
    QCOMPARE(s.Ui().Dialogs(), dialogs);
    QCOMPARE(s.Corridas().EstadoSalida(), 5);  // nothing done
    QCOMPARE(QueryText(co.MainPath(), "SELECT TERC_NIT FROM PUNTOS_CLIENTE_ACUMULADO"), std::string("VIEJO"));
    QVERIFY(!std::filesystem::exists(s.AppDir() + "/ERRORENVPTOS.TXT"));
    // The panel still shows the main database's connecting text.
    QVERIFY(!s.Steps().empty());
    QVERIFY2(s.Steps().back() == (StatusStep{Q("Conectando a " + co.MainPath() + " ..."), true, true}),
             qPrintable(wintest::Describe(s.Steps())));
  }
};

}  // namespace

int RunConnectionTests(int argc, char** argv) {
  ConnectionTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "connection_test.moc"
