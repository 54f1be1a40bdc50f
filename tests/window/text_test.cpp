// The server list file's lines and the command line's positions.
#include <QTest>

#include "consopuntos/cmdline.h"
#include "consopuntos/fconsopuntos.h"

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
};

}  // namespace

int RunTextTests(int argc, char** argv) {
  TextTest t;
  return QTest::qExec(&t, argc, argv);
}

#include "text_test.moc"
