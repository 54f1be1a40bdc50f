// Start-up: the server list read at creation, the window as it first shows,
// and the start from the command line when no database answers.
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "dbaccess/encoding.h"
#include "consopuntos/qttext.h"
#include "window_testing.h"
#include "dm/dm.h"

using wintest::Describe;
using wintest::WindowSession;

using namespace dbx::literals;

namespace {

const char* const kKeyMissing =
    "message:No se encontró la Clave HKEY_LOCAL_MACHINE\\Software\\Quenda\\Varnex2009\\Directorio"_l1;

enum Setting { kNoKey, kAppDir, kAppDirBackslash, kEmptyValue };

// SERVIDORES.cfg in the working directory, which stands for the root folder.
class RootServerList {
 public:
  explicit RootServerList(const QByteArray& bytes) {
    if (bytes.isNull()) return;
    std::ofstream("SERVIDORES.cfg", std::ios::binary) << bytes.toStdString();
    written_ = true;
  }
  ~RootServerList() {
    if (written_) std::filesystem::remove("SERVIDORES.cfg");
  }
  RootServerList(const RootServerList&) = delete;
  RootServerList& operator=(const RootServerList&) = delete;

 private:
  bool written_ = false;
};

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void formCreate_data() {
    QTest::addColumn<int>("setting");
    QTest::addColumn<QByteArray>("appDirList");  // null: no file
    QTest::addColumn<QByteArray>("rootList");    // null: no file
    QTest::addColumn<QStringList>("dialogs");
    QTest::addColumn<QList<QByteArray>>("entries");
    QTest::addColumn<QByteArray>("selected");  // the text of the server field

    const QStringList none;
    const QStringList keyMissing{ToDisplay(kKeyMissing)};
    QTest::newRow("key missing") << int(kNoKey) << QByteArray("A\r\n") << QByteArray() << keyMissing
                                 << QList<QByteArray>{} << QByteArray("");
    QTest::newRow("key missing, list in the root")
        << int(kNoKey) << QByteArray("A\r\n") << QByteArray("R\r\n") << keyMissing << QList<QByteArray>{"R"}
        << QByteArray("R");
    QTest::newRow("list read") << int(kAppDir) << QByteArray("A\r\nB\r\n") << QByteArray("R\r\n") << none
                               << QList<QByteArray>{"A", "B"} << QByteArray("A");
    QTest::newRow("directory with a final backslash")
        << int(kAppDirBackslash) << QByteArray("A\nB\n") << QByteArray() << none << QList<QByteArray>{"A", "B"}
        << QByteArray("A");
    QTest::newRow("empty value: no message, list in the root")
        << int(kEmptyValue) << QByteArray("A\r\n") << QByteArray("R\r\n") << none << QList<QByteArray>{"R"}
        << QByteArray("R");
    QTest::newRow("list missing") << int(kAppDir) << QByteArray() << QByteArray() << none << QList<QByteArray>{}
                                  << QByteArray("");
    QTest::newRow("empty file") << int(kAppDir) << QByteArray("") << QByteArray() << none << QList<QByteArray>{}
                                << QByteArray("");
    QTest::newRow("leading empty entry is selected")
        << int(kAppDir) << QByteArray("\r\nA\r\n") << QByteArray() << none << QList<QByteArray>{"", "A"}
        << QByteArray("");
    QTest::newRow("8-bit bytes travel unchanged")
        << int(kAppDir) << QByteArray("c:\\sucursal\xf1o \r\n") << QByteArray() << none
        << QList<QByteArray>{"c:\\sucursal\xf1o "} << QByteArray("c:\\sucursal\xf1o ");
  }
  void formCreate() {
    QFETCH(int, setting);
    QFETCH(QByteArray, appDirList);
    QFETCH(QByteArray, rootList);
    QFETCH(QStringList, dialogs);
    QFETCH(QList<QByteArray>, entries);
    QFETCH(QByteArray, selected);

    WindowSession s;
    switch (setting) {
      case kNoKey: s.SetDirectorio(std::nullopt); break;
      case kAppDir: s.SetDirectorio(s.AppDir()); break;
      case kAppDirBackslash: s.SetDirectorio(s.AppDir() + "\\"); break;
      default: s.SetDirectorio(""); break;
    }
    if (!appDirList.isNull()) s.WriteServerList(appDirList.toStdString());
    RootServerList root(rootList);

    Tfconsopuntos* f = s.Create();
    QStringList shown;
    for (const auto& d : s.Ui().Dialogs()) shown << ToDisplay(d);
    QCOMPARE(shown, dialogs);

    QCOMPARE(f->Servidor->count(), entries.size());
    for (int i = 0; i < entries.size(); ++i)
      QCOMPARE(f->Servidor->itemText(i), ToDisplay(entries[i].toStdString()));
    QCOMPARE(f->Servidor->currentIndex(), entries.isEmpty() ? -1 : 0);
    QCOMPARE(QByteArray::fromStdString(f->ServidorText()), selected);
    QCOMPARE(f->ServerList.size(), static_cast<std::size_t>(entries.size()));
  }

  void initialState() {
    WindowSession s;
    s.WriteServerList("srvA\r\nsrvB\r\n");
    Tfconsopuntos* f = s.Create();
    QVERIFY(!f->isVisible());
    QVERIFY(s.Show());
    QCOMPARE(f->windowTitle(), QStringLiteral("Consolidación puntos clientes"));
    QCOMPARE(f->Servidor->count(), 2);
    QCOMPARE(f->Servidor->currentText(), QStringLiteral("srvA"));
    QVERIFY(!f->Servidor->isEditable());
    QVERIFY(f->Tusua->text().isEmpty() && f->TClave->text().isEmpty() && f->Cia->text().isEmpty());
    QCOMPARE(f->TClave->echoMode(), QLineEdit::Password);
    QVERIFY(!f->EFecIni->isEnabled());
    QCOMPARE(f->EFecIni->date(), QDate(2003, 1, 20));
    QVERIFY(!f->SpeedButton1->isEnabled());
    QVERIFY(f->SpeedButton2->isEnabled());
    QCOMPARE(f->SpeedButton1->text(), QStringLiteral("F5: Transmitir"));
    QCOMPARE(f->SpeedButton2->text(), QStringLiteral("Esc: Cancelar"));
    QVERIFY(!f->Panel5->isVisible());
    QCOMPARE(wintest::FocusName(), QStringLiteral("Servidor"));
    QCOMPARE(f->size(), QSize(355, 260));
    QVERIFY(s.Ui().events.empty());
    // An interactive start attempts no connection.
    QVERIFY(s.Dm().Varnex->Params().Value("Database").empty());
  }

  // The status panel: navy text, a raised outer and a lowered inner bevel.
  void statusPanelLooks() {
    WindowSession s;
    Tfconsopuntos* f = s.Create();
    QVERIFY(s.Show());
    f->ShowStatus("MMMMMMMMMMMMMMMMMMMM");
    const QImage img = f->Panel5->grab().toImage();
    const QPalette& pal = f->Panel5->palette();
    int navy = 0, black = 0;
    for (int y = 3; y < img.height() - 3; ++y)
      for (int x = 3; x < img.width() - 3; ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c.blue() - c.red() > 60 && c.blue() - c.green() > 60) ++navy;
        if (c.red() < 40 && c.green() < 40 && c.blue() < 40) ++black;
      }
    QVERIFY2(navy > 20 && black == 0, qPrintable(QStringLiteral("navy %1, black %2").arg(navy).arg(black)));
    const int mid = img.width() / 2, last = img.height() - 1;
    QCOMPARE(img.pixelColor(mid, 0).rgb(), pal.color(QPalette::Light).rgb());  // outer: raised
    QCOMPARE(img.pixelColor(mid, 1).rgb(), pal.color(QPalette::Dark).rgb());  // inner: lowered
    QCOMPARE(img.pixelColor(mid, last).rgb(), pal.color(QPalette::Dark).rgb());
    QCOMPARE(img.pixelColor(mid, last - 1).rgb(), pal.color(QPalette::Light).rgb());
  }

  // The edits have no length limit: long texts from the command line arrive whole.
  void longTextsArriveWhole() {
    const std::string user(40000, 'u'), company(33000, 'c');
    WindowSession s({"prog", "/nowhere/srv", user, "clave", company, "5", "6", "7", "8", "9", "x"});
    Tfconsopuntos* f = s.Create();
    QVERIFY(s.Show());
    QCOMPARE(f->TusuaText().size(), user.size());
    QCOMPARE(s.Dm().Varnex->Params().Value("User_Name"), user);
    QCOMPARE(s.Dm().Varnex->Params().Value("Database"), "/nowhere/srv/datos/" + company + "/varnex.fdb");
  }

  // Positions 2 to 4 reach the connection byte for byte, UTF-8 or not.
  void commandLineBytesReachTheConnection() {
    const std::string user = "Jos\xc3\xa9", password = "cla\xf1" "e", company = "CI\xd1" "A";
    WindowSession s({"prog", "/nowhere/srv", user, password, company, "5", "6", "7", "8", "9", "x"});
    s.Create();
    QVERIFY(s.Show());
    QCOMPARE(s.Dm().Varnex->Params().Value("User_Name"), user);
    QCOMPARE(s.Dm().Varnex->Params().Value("Password"), password);
    QCOMPARE(s.Dm().Varnex->Params().Value("Database"), "/nowhere/srv/datos/" + company + "/varnex.fdb");
  }

  // Fewer than ten arguments, or ten with an empty one, start interactively;
  // ten non-empty arguments fill the fields and connect at once.
  void unattendedStart_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("unattended");
    const QStringList nine{"prog", "/nowhere/srv", "SYSDBA", "clave", "CIA", "5", "6", "7", "8", "9"};
    QTest::newRow("nine arguments") << nine << false;
    QTest::newRow("ten with an empty one")
        << QStringList{"prog", "/nowhere/srv", "SYSDBA", "", "clave", "CIA", "5", "6", "7", "8", "x"} << false;
    QTest::newRow("ten arguments") << (QStringList(nine) << "x") << true;
    QTest::newRow("a blank trigger counts") << (QStringList(nine) << " ") << true;
  }
  void unattendedStart() {
    QFETCH(QStringList, args);
    QFETCH(bool, unattended);
    std::vector<std::string> argv;
    for (const auto& a : args) argv.push_back(a.toStdString());

    WindowSession s(argv);
    s.WriteServerList("srvA\r\nsrvB\r\n");
    Tfconsopuntos* f = s.Create();
    QVERIFY(s.Show());
    QVERIFY2(!s.FormGone(), "the window closed");
    if (!unattended) {
      QCOMPARE(f->Servidor->count(), 2);
      QVERIFY(f->Tusua->text().isEmpty() && f->TClave->text().isEmpty() && f->Cia->text().isEmpty());
      QVERIFY(s.Dm().Varnex->Params().Value("Database").empty());
      QVERIFY(s.Ui().events.empty());
      return;
    }
    QCOMPARE(f->Servidor->count(), 1);
    QCOMPARE(f->ServidorText(), std::string("/nowhere/srv"));
    QCOMPARE(f->Tusua->text(), QStringLiteral("SYSDBA"));
    QCOMPARE(f->TClave->text(), QStringLiteral("clave"));
    QCOMPARE(f->Cia->text(), QStringLiteral("CIA"));
    const std::string path = "/nowhere/srv/datos/CIA/varnex.fdb";
    QCOMPARE(s.Dm().Varnex->Params().Value("Database"), path);
    QVERIFY(!s.Dm().Varnex->Connected());
    // The failed connect reaches the error reporter; the connecting text stays.
    QCOMPARE(s.Ui().Dialogs(), std::vector<std::string>{"error:No se encontró el archivo o la ruta "_l1 + path});
    QVERIFY(f->Panel5->isVisible());
    QCOMPARE(f->StatusText(), std::string("Conectando a la base de datos CIA ..."));
    QVERIFY(!f->EFecIni->isEnabled());
    QVERIFY(!f->SpeedButton1->isEnabled());

    // Showing the window again, or coming back to it from another window,
    // starts no second attempt.
    f->hide();
    f->show();
    QWidget other;
    other.show();
    other.activateWindow();
    WindowSession::Settle();
    f->activateWindow();
    WindowSession::Settle();
    QCOMPARE(s.Ui().Dialogs().size(), std::size_t{1});
    QVERIFY(!s.FormGone());
  }
};

}  // namespace

int RunStartupTests(int argc, char** argv) {
  StartupTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "startup_test.moc"
