// The server list file's lines, the command line's positions, text and
// date, and the lines of the history of runs.
#include <QTest>

#include "consopuntos/cmdline.h"
#include "consopuntos/fconsopuntos.h"
#include "consopuntos/historial.h"
#include "dbaccess/errors.h"
#include "dbaccess/textforms.h"

namespace {

QList<QByteArray> ToList(const std::vector<std::string>& entries) {
  QList<QByteArray> out;
  for (const auto& e : entries) out << QByteArray::fromStdString(e);
  return out;
}

class TextTest : public QObject {
  Q_OBJECT

 private slots:
  void serverListLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("entries");
    const QByteArray line255(255, 'x');
    const QByteArray line600(600, 'y');
    QTest::newRow("CR LF") << QByteArray("A\r\nB\r\n") << QList<QByteArray>{"A", "B"};
    QTest::newRow("no final line end") << QByteArray("A\r\nB") << QList<QByteArray>{"A"};
    QTest::newRow("LF") << QByteArray("A\nB\n") << QList<QByteArray>{"A", "B"};
    QTest::newRow("CR eats the next byte") << QByteArray("A\rB\r\n") << QList<QByteArray>{"A", ""};
    QTest::newRow("leading CR LF") << QByteArray("\r\nA\r\n") << QList<QByteArray>{"", "A"};
    QTest::newRow("empty line inside") << QByteArray("A\r\n\r\nB\r\n") << QList<QByteArray>{"A", "", "B"};
    QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{};
    QTest::newRow("CR as the last byte") << QByteArray("A\r") << QList<QByteArray>{"A"};
    QTest::newRow("blanks kept, duplicates kept") << QByteArray(" A  \r\n A  \n")
                                                  << QList<QByteArray>{" A  ", " A  "};
    QTest::newRow("NUL ends the entry") << QByteArray("A\0B\r\nC\n", 7) << QList<QByteArray>{"A", "C"};
    QTest::newRow("NUL first") << QByteArray("\0B\n", 3) << QList<QByteArray>{""};
    QTest::newRow("8-bit bytes") << QByteArray("c:\\sucursal\xf1o\r\n") << QList<QByteArray>{"c:\\sucursal\xf1o"};
    QTest::newRow("255 bytes") << line255 + "\r\n" << QList<QByteArray>{line255};
    QTest::newRow("longer lines stay whole") << line600 + "\nA\n" << QList<QByteArray>{line600, "A"};
  }
  void serverListLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, entries);
    QCOMPARE(ToList(ParseServerList(bytes.toStdString())), entries);
  }

  void commandLineSplit_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QList<QByteArray>>("args");
    QTest::newRow("plain") << QByteArray("prog a b") << QList<QByteArray>{"prog", "a", "b"};
    QTest::newRow("tabs and control characters separate")
        << QByteArray("  prog\ta\x01"
                      "b  ")
        << QList<QByteArray>{"prog", "a", "b"};
    QTest::newRow("empty quoted takes no position") << QByteArray("prog \"\" a") << QList<QByteArray>{"prog", "a"};
    QTest::newRow("two empty quoted") << QByteArray("prog \"\"\"\" \"\" a") << QList<QByteArray>{"prog", "a"};
    QTest::newRow("quoted blank counts") << QByteArray("prog \" \" a") << QList<QByteArray>{"prog", " ", "a"};
    QTest::newRow("quotes dropped, blank kept")
        << QByteArray("prog \"c:\\mis datos\"\\x y") << QList<QByteArray>{"prog", "c:\\mis datos\\x", "y"};
    QTest::newRow("quotes inside an argument") << QByteArray("prog a\"\"b") << QList<QByteArray>{"prog", "ab"};
    QTest::newRow("unclosed quote runs to the end")
        << QByteArray("prog \"a b  c") << QList<QByteArray>{"prog", "a b  c"};
    QTest::newRow("only blanks") << QByteArray("   ") << QList<QByteArray>{};
    QTest::newRow("lone quote at the end") << QByteArray("prog a \"") << QList<QByteArray>{"prog", "a"};
  }
  void commandLineSplit() {
    QFETCH(QByteArray, line);
    QFETCH(QList<QByteArray>, args);
    QCOMPARE(ToList(SplitCommandLine(line.toStdString())), args);
  }

  // Positions are contiguous: empty arguments are dropped before counting.
  void positions() {
    SetCommandLine(SplitCommandLine("prog srv usu \"\" cla cia 5 6 7 8 9"));
    QCOMPARE(ParamStr(0), std::string("prog"));
    QCOMPARE(ParamStr(3), std::string("cla"));
    QCOMPARE(ParamStr(9), std::string("9"));
    QVERIFY(ParamStr(10).empty());  // ten arguments with one empty quoted: no trigger
    QVERIFY(ParamStr(-1).empty());
    SetCommandLine(std::vector<std::string>{"prog", "", "a", " "});
    QCOMPARE(ParamStr(1), std::string("a"));
    QCOMPARE(ParamStr(2), std::string(" "));
    QVERIFY(ParamStr(3).empty());
    SetCommandLine(std::vector<std::string>{"consopuntos"});
  }

  // An argument's bytes as internal text, from the locale's character set.
  void argumentText_data() {
    QTest::addColumn<QByteArray>("codeset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("result");  // ArgumentText
    QTest::addColumn<QByteArray>("text");
    const int decoded = static_cast<int>(ArgumentText::kDecoded);
    const int kept = static_cast<int>(ArgumentText::kKeptBytes);
    const int beyond = static_cast<int>(ArgumentText::kBeyondLatin1);
    QTest::newRow("UTF-8 plain") << QByteArray("UTF-8") << QByteArray("/srv/varnex") << decoded
                                 << QByteArray("/srv/varnex");
    QTest::newRow("UTF-8 with an accent")
        << QByteArray("UTF-8") << QByteArray("/srv/Pe\xc3\261alosa") << decoded << QByteArray("/srv/Pe\361alosa");
    QTest::newRow("UTF-8 C1 control and y-diaeresis")
        << QByteArray("UTF-8") << QByteArray("\xc2\x80\xc3\xbf") << decoded << QByteArray("\x80\xff");
    QTest::newRow("ISO-8859-1 bytes in a UTF-8 locale")
        << QByteArray("UTF-8") << QByteArray("/srv/Pe\361alosa") << kept << QByteArray("/srv/Pe\361alosa");
    QTest::newRow("UTF-8 cut short") << QByteArray("UTF-8") << QByteArray("a\xc3") << kept << QByteArray("a\xc3");
    QTest::newRow("UTF-8 overlong") << QByteArray("UTF-8") << QByteArray("\xc1\xb1") << kept << QByteArray("\xc1\xb1");
    QTest::newRow("UTF-8 surrogate") << QByteArray("UTF-8") << QByteArray("\xed\xa0\x80") << kept
                                     << QByteArray("\xed\xa0\x80");
    QTest::newRow("UTF-8 euro sign") << QByteArray("UTF-8") << QByteArray("x\xe2\x82\xac") << beyond << QByteArray();
    QTest::newRow("UTF-8 beyond the BMP")
        << QByteArray("UTF-8") << QByteArray("\xf0\x9f\x98\x80") << beyond << QByteArray();
    QTest::newRow("ISO-8859-1 locale") << QByteArray("ISO-8859-1") << QByteArray("Pe\361a\xff") << decoded
                                       << QByteArray("Pe\361a\xff");
    QTest::newRow("ISO-8859-15 letter") << QByteArray("ISO-8859-15") << QByteArray("Pe\361a") << decoded
                                        << QByteArray("Pe\361a");
    QTest::newRow("ISO-8859-15 euro sign") << QByteArray("ISO-8859-15") << QByteArray("\xa4") << beyond << QByteArray();
    QTest::newRow("C locale keeps 8-bit bytes")
        << QByteArray("ANSI_X3.4-1968") << QByteArray("Pe\xc3\261a") << kept << QByteArray("Pe\xc3\261a");
    QTest::newRow("C locale, plain") << QByteArray("ANSI_X3.4-1968") << QByteArray("DEMO") << decoded
                                     << QByteArray("DEMO");
    QTest::newRow("unknown set") << QByteArray("NO-SUCH-SET") << QByteArray("Pe\xc3\261a") << kept
                                 << QByteArray("Pe\xc3\261a");
    QTest::newRow("no set named") << QByteArray() << QByteArray("Pe\xc3\261a") << kept << QByteArray("Pe\xc3\261a");
  }
  void argumentText() {
    QFETCH(QByteArray, codeset);
    QFETCH(QByteArray, bytes);
    QFETCH(int, result);
    QFETCH(QByteArray, text);
    std::string out = "before";
    QCOMPARE(static_cast<int>(DecodeArgument(codeset.toStdString(), bytes.toStdString(), out)), result);
    if (result == static_cast<int>(ArgumentText::kBeyondLatin1))
      QCOMPARE(out, std::string("before"));
    else
      QCOMPARE(QByteArray::fromStdString(out), text);
  }

  // Positions 1 to 4 and 11 are decoded, counted after the empty arguments
  // are dropped; the others keep their bytes. The first position with a
  // character outside ISO-8859-1 makes the command line unusable.
  void commandLineFromLocale() {
    std::vector<std::string> bytes{"consopuntos",
                                   "/srv/Pe\xc3\261a",
                                   "",
                                   "usu\xc3\xa1rio",
                                   "cla\xf1",
                                   "C\xc3\255a",
                                   "\xc3\xb1",
                                   "6",
                                   "7",
                                   "8",
                                   "9",
                                   "S\xc3\xad",
                                   "2008-12-01"};
    std::vector<char*> argv;
    for (auto& b : bytes) argv.push_back(b.data());
    QCOMPARE(SetCommandLine(static_cast<int>(argv.size()), argv.data(), "UTF-8"), 0);
    QCOMPARE(ParamStr(1), std::string("/srv/Pe\361a"));
    QCOMPARE(ParamStr(2), std::string("usu\xe1rio"));
    QCOMPARE(ParamStr(3), std::string("cla\xf1"));  // not UTF-8: its bytes
    QCOMPARE(ParamStr(4), std::string("C\355a"));
    QCOMPARE(ParamStr(5), std::string("\xc3\xb1"));  // no meaning: untouched
    QCOMPARE(ParamStr(10), std::string("S\xc3\xad"));
    QCOMPARE(ParamStr(11), std::string("2008-12-01"));

    std::string euro = "\xe2\x82\xac";
    std::string folder = "/srv";
    std::vector<char*> bad{bytes[0].data(), folder.data(), bytes[3].data(), euro.data(), euro.data()};
    QCOMPARE(SetCommandLine(static_cast<int>(bad.size()), bad.data(), "UTF-8"), 3);
    QCOMPARE(SetCommandLine(static_cast<int>(bad.size()), bad.data(), "ANSI_X3.4-1968"), 0);
    QCOMPARE(ParamStr(3), euro);
    SetCommandLine(std::vector<std::string>{"consopuntos"});
  }

  void singleArgumentRequests() {
    const auto request = [](std::vector<std::string> args) {
      SetCommandLine(std::move(args));
      return static_cast<int>(Request());
    };
    QCOMPARE(request({"consopuntos", "--help"}), static_cast<int>(CommandLineRequest::kHelp));
    QCOMPARE(request({"consopuntos", "", "--version"}), static_cast<int>(CommandLineRequest::kVersion));
    QCOMPARE(request({"consopuntos", "--help", "x"}), static_cast<int>(CommandLineRequest::kStart));
    QCOMPARE(request({"consopuntos", "-h"}), static_cast<int>(CommandLineRequest::kStart));
    QCOMPARE(request({"consopuntos"}), static_cast<int>(CommandLineRequest::kStart));
    SetCommandLine(std::vector<std::string>{"consopuntos"});
  }

  // Position 11: YYYY-MM-DD in every locale, first; else the short date form.
  void argumentDate_data() {
    QTest::addColumn<QByteArray>("picture");  // the short date form
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("date");  // ISO, empty: not a date
    QTest::newRow("ISO, m/d/yy locale") << QByteArray("m/d/yy") << QByteArray("2008-12-01") << "2008-12-01";
    QTest::newRow("ISO, dd/mm/yy locale") << QByteArray("dd/mm/yy") << QByteArray("2008-12-01") << "2008-12-01";
    QTest::newRow("ISO before a d-m-y form with dashes")
        << QByteArray("dd-mm-yyyy") << QByteArray("2008-12-01") << "2008-12-01";
    QTest::newRow("short form, m/d/yy") << QByteArray("m/d/yy") << QByteArray("12/1/08") << "2008-12-01";
    QTest::newRow("short form, dd/mm/yy") << QByteArray("dd/mm/yy") << QByteArray("12/1/08") << "2008-01-12";
    QTest::newRow("ISO leap day") << QByteArray("m/d/yy") << QByteArray("2008-02-29") << "2008-02-29";
    QTest::newRow("ISO day that does not exist") << QByteArray("m/d/yy") << QByteArray("2009-02-29") << "";
    QTest::newRow("ISO month 13") << QByteArray("m/d/yy") << QByteArray("2008-13-01") << "";
    QTest::newRow("not the exact shape") << QByteArray("m/d/yy") << QByteArray("2008-12-1") << "";
    QTest::newRow("no date") << QByteArray("m/d/yy") << QByteArray("x") << "";
  }
  void argumentDate() {
    QFETCH(QByteArray, picture);
    QFETCH(QByteArray, text);
    QFETCH(QString, date);
    const dbx::FormatSettings saved = dbx::Settings();
    dbx::Settings().shortDateFormat = picture.toStdString();
    dbx::Settings().dateSeparator = picture.contains('-') ? '-' : '/';
    QString got;
    std::string message;
    try {
      const dbx::Date d = ArgumentDate(text.toStdString());
      got = QDate(d.year, d.month, d.day).toString(Qt::ISODate);
    } catch (const dbx::EConvertError& e) {
      message = e.what();
    }
    dbx::Settings() = saved;
    QCOMPARE(got, date);
    if (date.isEmpty()) QCOMPARE(message, "'" + text.toStdString() + "' no es una fecha v\xe1lida");
  }

  // One line of TRANSMISIONES.TXT per run: the result texts, the columns in
  // order, and the exit status each end gives an unattended start.
  void historyLine_data() {
    QTest::addColumn<int>("fin");
    QTest::addColumn<bool>("withDate");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("status");
    const QByteArray head = "12/1/08,9:05:07 pm,/srv/Pe\361a,DEMO,";
    QTest::newRow("complete") << static_cast<int>(TFinCorrida::kCompleta) << true
                              << head + "12/1/08,completa,42,4,0,0,4,5,7,15\r\n"
                              << 0;
    QTest::newRow("branches that did not open")
        << static_cast<int>(TFinCorrida::kSucursalesSinAbrir) << true
        << head + "12/1/08,completa con sucursales sin abrir,42,4,0,0,4,5,7,15\r\n"
        << 3;
    QTest::newRow("replication off") << static_cast<int>(TFinCorrida::kReplicacionDesactivada) << true
                                     << head + "12/1/08,replicaci\xf3n desactivada,42,4,0,0,4,5,7,15\r\n"
                                     << 0;
    QTest::newRow("an error before the run")
        << static_cast<int>(TFinCorrida::kError) << false << head + ",detenida por un error,42,4,0,0,4,5,7,15\r\n"
        << 1;
    QTest::newRow("nothing sent") << static_cast<int>(TFinCorrida::kSinEnviar) << true
                                  << head + "12/1/08,sin enviar por sucursales sin abrir,42,4,0,0,4,5,7,15\r\n"
                                  << 3;
    QTest::newRow("another run") << static_cast<int>(TFinCorrida::kEnCurso) << true
                                 << head + "12/1/08,rechazada: otra transmisi\xf3n en curso,42,4,0,0,4,5,7,15\r\n"
                                 << 4;
    QTest::newRow("a signal") << static_cast<int>(TFinCorrida::kSenal) << true
                              << head + "12/1/08,detenida por una se\361al,42,4,0,0,4,5,7,15\r\n"
                              << 1;
  }
  void historyLine() {
    QFETCH(int, fin);
    QFETCH(bool, withDate);
    QFETCH(QByteArray, line);
    QFETCH(int, status);
    const dbx::FormatSettings saved = dbx::Settings();
    dbx::Settings() = dbx::FormatSettings{};  // m/d/yy, h:mm:ss AMPM
    TCorrida c;
    c.fecha = dbx::DateTime{{2008, 12, 1}, {23, 59, 59, 0}};
    c.hora = dbx::DateTime{{2008, 12, 2}, {21, 5, 7, 0}};  // the time comes from its own reading
    c.servidor = "/srv/Pe\361a";
    c.compania = "DEMO";
    if (withDate) c.transmision = dbx::Date{2008, 12, 1};
    c.fin = static_cast<TFinCorrida>(fin);
    c.segundos = 42;
    c.resumen.sucursales = 4;
    c.resumen.tercerosTraidos = 4;
    c.resumen.clientesTraidos = 4;  // customers are counted as TERCEROS rows
    c.resumen.tercerosEnviados = 5;
    c.resumen.clientesEnviados = 9;
    c.resumen.llamadasAcumulacion = 7;
    c.resumen.acumuladosEnviados = 15;
    const std::string got = LineaHistorial(c);
    dbx::Settings() = saved;
    QCOMPARE(QByteArray::fromStdString(got), line);
    QCOMPARE(EstadoSalida(static_cast<TFinCorrida>(fin)), status);
  }

  // The end of a run that returned, from what it did.
  void runEnd() {
    TResumenTransmision r;
    QCOMPARE(static_cast<int>(FinDeTransmision(r)), static_cast<int>(TFinCorrida::kError));
    r.terminada = true;
    QCOMPARE(static_cast<int>(FinDeTransmision(r)), static_cast<int>(TFinCorrida::kReplicacionDesactivada));
    r.replicacion = true;
    QCOMPARE(static_cast<int>(FinDeTransmision(r)), static_cast<int>(TFinCorrida::kCompleta));
    r.sinAbrirEnviando = 1;
    QCOMPARE(static_cast<int>(FinDeTransmision(r)), static_cast<int>(TFinCorrida::kSucursalesSinAbrir));
    r.sinEnviar = true;
    QCOMPARE(static_cast<int>(FinDeTransmision(r)), static_cast<int>(TFinCorrida::kSinEnviar));
  }
};

}  // namespace

int RunTextTests(int argc, char** argv) {
  TextTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "text_test.moc"
