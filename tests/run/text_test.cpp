// The server list file's lines, the command line's positions, text and
// date, and the lines of the history of runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "consopuntos/cmdline.h"
#include "consopuntos/historial.h"
#include "consopuntos/servidores.h"
#include "dbaccess/errors.h"
#include "dbaccess/sqltext.h"
#include "dbaccess/textforms.h"

namespace {

TEST(ServerList, Lines) {
  const std::string line255(255, 'x');
  const std::string line600(600, 'y');
  const struct {
    const char* label;
    std::string bytes;
    std::vector<std::string> entries;
  } cases[] = {
      {"CR LF", std::string("A\r\nB\r\n"), std::vector<std::string>{"A", "B"}},
      {"no final line end", std::string("A\r\nB"), std::vector<std::string>{"A"}},
      {"LF", std::string("A\nB\n"), std::vector<std::string>{"A", "B"}},
      {"CR eats the next byte", std::string("A\rB\r\n"), std::vector<std::string>{"A", ""}},
      {"leading CR LF", std::string("\r\nA\r\n"), std::vector<std::string>{"", "A"}},
      {"empty line inside", std::string("A\r\n\r\nB\r\n"), std::vector<std::string>{"A", "", "B"}},
      {"empty file", std::string(), std::vector<std::string>{}},
      {"CR as the last byte", std::string("A\r"), std::vector<std::string>{"A"}},
      {"blanks kept, duplicates kept", std::string(" A  \r\n A  \n"), std::vector<std::string>{" A  ", " A  "}},
      {"NUL ends the entry", std::string("A\0B\r\nC\n", 7), std::vector<std::string>{"A", "C"}},
      {"NUL first", std::string("\0B\n", 3), std::vector<std::string>{""}},
      {"8-bit bytes", std::string("c:\\sucursal\xf1o\r\n"), std::vector<std::string>{"c:\\sucursal\xf1o"}},
      {"255 bytes", line255 + "\r\n", std::vector<std::string>{line255}},
      {"longer lines stay whole", line600 + "\nA\n", std::vector<std::string>{line600, "A"}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseServerList(c.bytes), c.entries) << c.label;
}

TEST(CommandLine, Split) {
  const struct {
    const char* label;
    std::string line;
    std::vector<std::string> args;
  } cases[] = {
      {"plain", std::string("prog a b"), std::vector<std::string>{"prog", "a", "b"}},
      {"tabs and control characters separate", std::string("  prog\ta\x01" "b  "), std::vector<std::string>{"prog", "a", "b"}},
      {"empty quoted takes no position", std::string("prog \"\" a"), std::vector<std::string>{"prog", "a"}},
      {"two empty quoted", std::string("prog \"\"\"\" \"\" a"), std::vector<std::string>{"prog", "a"}},
      {"quoted blank counts", std::string("prog \" \" a"), std::vector<std::string>{"prog", " ", "a"}},
      {"quotes dropped, blank kept", std::string("prog \"c:\\mis datos\"\\x y"), std::vector<std::string>{"prog", "c:\\mis datos\\x", "y"}},
      {"quotes inside an argument", std::string("prog a\"\"b"), std::vector<std::string>{"prog", "ab"}},
      {"unclosed quote runs to the end", std::string("prog \"a b  c"), std::vector<std::string>{"prog", "a b  c"}},
      {"only blanks", std::string("   "), std::vector<std::string>{}},
      {"lone quote at the end", std::string("prog a \""), std::vector<std::string>{"prog", "a"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.label;
}

// Positions are contiguous: empty arguments are dropped before counting.
TEST(CommandLine, Positions) {
  const TCommandLine split(SplitCommandLine("prog srv usu \"\" cla cia 5 6 7 8 9"));
  EXPECT_EQ(split.ParamStr(0), "prog");
  EXPECT_EQ(split.ParamStr(3), "cla");
  EXPECT_EQ(split.ParamStr(9), "9");
  EXPECT_TRUE(split.ParamStr(10).empty());  // ten arguments with one empty quoted: no trigger
  EXPECT_TRUE(split.ParamStr(-1).empty());
  const TCommandLine given(std::vector<std::string>{"prog", "", "a", " "});
  EXPECT_EQ(given.ParamStr(1), "a");
  EXPECT_EQ(given.ParamStr(2), " ");
  EXPECT_TRUE(given.ParamStr(3).empty());
}

// An argument's bytes as internal text, from the locale's character set.
TEST(CommandLine, ArgumentText) {
  const ArgumentText decoded = ArgumentText::kDecoded;
  const ArgumentText kept = ArgumentText::kKeptBytes;
  const ArgumentText beyond = ArgumentText::kBeyondLatin1;
  const struct {
    const char* label;
    std::string codeset;
    std::string bytes;
    ArgumentText result;
    std::string text;
  } cases[] = {
      {"UTF-8 plain", std::string("UTF-8"), std::string("/srv/varnex"), decoded, std::string("/srv/varnex")},
      {"UTF-8 with an accent", std::string("UTF-8"), std::string("/srv/Pe\xc3\261alosa"), decoded, std::string("/srv/Pe\361alosa")},
      {"UTF-8 C1 control and y-diaeresis", std::string("UTF-8"), std::string("\xc2\x80\xc3\xbf"), decoded, std::string("\x80\xff")},
      {"ISO-8859-1 bytes in a UTF-8 locale", std::string("UTF-8"), std::string("/srv/Pe\361alosa"), kept, std::string("/srv/Pe\361alosa")},
      {"UTF-8 cut short", std::string("UTF-8"), std::string("a\xc3"), kept, std::string("a\xc3")},
      {"UTF-8 overlong", std::string("UTF-8"), std::string("\xc1\xb1"), kept, std::string("\xc1\xb1")},
      {"UTF-8 surrogate", std::string("UTF-8"), std::string("\xed\xa0\x80"), kept, std::string("\xed\xa0\x80")},
      {"UTF-8 euro sign", std::string("UTF-8"), std::string("x\xe2\x82\xac"), beyond, std::string()},
      {"UTF-8 beyond the BMP", std::string("UTF-8"), std::string("\xf0\x9f\x98\x80"), beyond, std::string()},
      {"ISO-8859-1 locale", std::string("ISO-8859-1"), std::string("Pe\361a\xff"), decoded, std::string("Pe\361a\xff")},
      {"ISO-8859-15 letter", std::string("ISO-8859-15"), std::string("Pe\361a"), decoded, std::string("Pe\361a")},
      {"ISO-8859-15 euro sign", std::string("ISO-8859-15"), std::string("\xa4"), beyond, std::string()},
      {"C locale keeps 8-bit bytes", std::string("ANSI_X3.4-1968"), std::string("Pe\xc3\261a"), kept, std::string("Pe\xc3\261a")},
      {"C locale, plain", std::string("ANSI_X3.4-1968"), std::string("DEMO"), decoded, std::string("DEMO")},
      {"unknown set", std::string("NO-SUCH-SET"), std::string("Pe\xc3\261a"), kept, std::string("Pe\xc3\261a")},
      {"no set named", std::string(), std::string("Pe\xc3\261a"), kept, std::string("Pe\xc3\261a")},
  };
  for (const auto& c : cases) {
    std::string out = "before";
    EXPECT_EQ(DecodeArgument(c.codeset, c.bytes, out), c.result) << c.label;
    EXPECT_EQ(out, c.result == beyond ? std::string("before") : c.text) << c.label;
  }
}

// Positions 1 to 4 and 11 are decoded, counted after the empty arguments
// are dropped; the others keep their bytes. The first position with a
// character outside ISO-8859-1 makes the command line unusable.
TEST(CommandLine, FromLocale) {
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
  TCommandLine line;
  EXPECT_EQ(ReadCommandLine(static_cast<int>(argv.size()), argv.data(), "UTF-8", line), 0);
  EXPECT_EQ(line.ParamStr(1), "/srv/Pe\361a");
  EXPECT_EQ(line.ParamStr(2), "usu\xe1rio");
  EXPECT_EQ(line.ParamStr(3), "cla\xf1");  // not UTF-8: its bytes
  EXPECT_EQ(line.ParamStr(4), "C\355a");
  EXPECT_EQ(line.ParamStr(5), "\xc3\xb1");  // no meaning: untouched
  EXPECT_EQ(line.ParamStr(10), "S\xc3\xad");
  EXPECT_EQ(line.ParamStr(11), "2008-12-01");

  std::string euro = "\xe2\x82\xac";
  std::string folder = "/srv";
  std::vector<char*> bad{bytes[0].data(), folder.data(), bytes[3].data(), euro.data(), euro.data()};
  EXPECT_EQ(ReadCommandLine(static_cast<int>(bad.size()), bad.data(), "UTF-8", line), 3);
  EXPECT_EQ(ReadCommandLine(static_cast<int>(bad.size()), bad.data(), "ANSI_X3.4-1968", line), 0);
  EXPECT_EQ(line.ParamStr(3), euro);
}

TEST(CommandLine, SingleArgumentRequests) {
  const auto request = [](std::vector<std::string> args) { return Request(TCommandLine(std::move(args))); };
  EXPECT_EQ(request({"consopuntos", "--help"}), CommandLineRequest::kHelp);
  EXPECT_EQ(request({"consopuntos", "", "--version"}), CommandLineRequest::kVersion);
  EXPECT_EQ(request({"consopuntos", "--help", "x"}), CommandLineRequest::kStart);
  EXPECT_EQ(request({"consopuntos", "-h"}), CommandLineRequest::kHelp);
  EXPECT_EQ(request({"consopuntos", "--foo"}), CommandLineRequest::kUnknownOption);
  EXPECT_EQ(request({"consopuntos", "help"}), CommandLineRequest::kStart);
  EXPECT_EQ(request({"consopuntos"}), CommandLineRequest::kStart);
}

// Position 11: YYYY-MM-DD in every locale, first; else the short date form.
TEST(CommandLine, ArgumentDate) {
  const struct {
    const char* label;
    std::string picture;  // the short date form
    std::string text;
    std::string date;  // ISO, empty: not a date
  } cases[] = {
      {"ISO, m/d/yy locale", std::string("m/d/yy"), std::string("2008-12-01"), "2008-12-01"},
      {"ISO, dd/mm/yy locale", std::string("dd/mm/yy"), std::string("2008-12-01"), "2008-12-01"},
      {"ISO before a d-m-y form with dashes", std::string("dd-mm-yyyy"), std::string("2008-12-01"), "2008-12-01"},
      {"short form, m/d/yy", std::string("m/d/yy"), std::string("12/1/08"), "2008-12-01"},
      {"short form, dd/mm/yy", std::string("dd/mm/yy"), std::string("12/1/08"), "2008-01-12"},
      {"ISO leap day", std::string("m/d/yy"), std::string("2008-02-29"), "2008-02-29"},
      {"ISO day that does not exist", std::string("m/d/yy"), std::string("2009-02-29"), ""},
      {"ISO month 13", std::string("m/d/yy"), std::string("2008-13-01"), ""},
      {"not the exact shape", std::string("m/d/yy"), std::string("2008-12-1"), ""},
      {"no date", std::string("m/d/yy"), std::string("x"), ""},
      {"today", std::string("dd/mm/yy"), std::string("hoy"), "2009-03-01"},
      {"yesterday, across a month", std::string("m/d/yy"), std::string("ayer"), "2009-02-28"},
      {"any case", std::string("m/d/yy"), std::string("AYER"), "2009-02-28"},
  };
  for (const auto& c : cases) {
    dbx::FormatSettings fs;
    fs.shortDateFormat = c.picture;
    fs.dateSeparator = c.picture.find('-') != std::string::npos ? '-' : '/';
    std::string got;
    std::string message;
    try {
      const dbx::Date d = ArgumentDate(c.text, fs, dbx::Date{2009, 3, 1});
      got = dbx::SqlDate(d).substr(1, 10);
    } catch (const dbx::EConvertError& e) {
      message = e.what();
    }
    EXPECT_EQ(got, c.date) << c.label;
    if (c.date.empty()) {
      EXPECT_EQ(message, "'" + c.text + "' no es una fecha v\xe1lida") << c.label;
    }
  }
}

// One line of TRANSMISIONES.TXT per run: the result texts, the columns in
// order, and the exit status each end gives an unattended start.
TEST(History, Lines) {
  const std::string head = "2008-12-01T21:04:25+00:00,2008-12-01T21:05:07+00:00,/srv/Pe\361a,DEMO,";  // TZ=UTC
  const struct {
    const char* label;
    int fin;
    bool withDate;
    std::string line;
    int status;
  } cases[] = {
      {"complete", static_cast<int>(TFinCorrida::kCompleta), true, head + "2008-12-01,completa,42,4,0,0,4,5,7,15,\r\n", 0},
      {"branches that did not open", static_cast<int>(TFinCorrida::kSucursalesSinAbrir), true, head + "2008-12-01,completa con sucursales sin abrir,42,4,0,0,4,5,7,15,\r\n", 3},
      {"replication off", static_cast<int>(TFinCorrida::kReplicacionDesactivada), true, head + "2008-12-01,replicaci\xf3n desactivada,42,4,0,0,4,5,7,15,\r\n", 5},
      {"an error before the run", static_cast<int>(TFinCorrida::kError), false, head + ",detenida por un error,42,4,0,0,4,5,7,15,\r\n", 1},
      {"nothing sent", static_cast<int>(TFinCorrida::kSinEnviar), true, head + "2008-12-01,sin enviar por sucursales sin abrir,42,4,0,0,4,5,7,15,\r\n", 3},
      {"another run", static_cast<int>(TFinCorrida::kEnCurso), true, head + "2008-12-01,rechazada: otra transmisi\xf3n en curso,42,4,0,0,4,5,7,15,\r\n", 4},
      {"a signal", static_cast<int>(TFinCorrida::kSenal), true, head + "2008-12-01,detenida por una se\361al,42,4,0,0,4,5,7,15,\r\n", 1},
  };
  for (const auto& e : cases) {
    TCorrida c;
    c.inicio = 1228165465;  // 2008-12-01 21:04:25 UTC
    c.fin_ = c.inicio + 42;
    c.servidor = "/srv/Pe\361a";
    c.compania = "DEMO";
    if (e.withDate) c.transmision = dbx::Date{2008, 12, 1};
    c.fin = static_cast<TFinCorrida>(e.fin);
    c.segundos = 42;
    c.resumen.sucursales = 4;
    c.resumen.tercerosTraidos = 4;
    c.resumen.tercerosEnviados = 5;
    c.resumen.llamadasAcumulacion = 7;
    c.resumen.acumuladosEnviados = 15;
    EXPECT_EQ(LineaHistorial(c), e.line) << e.label;
    EXPECT_EQ(EstadoSalida(static_cast<TFinCorrida>(e.fin)), e.status) << e.label;
  }
}

// Fields with a comma, a quote or a line break are quoted, their quotes
// doubled; the folders of the branches that did not open close the record.
TEST(History, QuotedFields) {
  TCorrida c;
  c.inicio = c.fin_ = 1228165465;
  c.servidor = "/srv/a,b";
  c.compania = "DE\"MO";
  c.resumen.carpetasSinAbrir = {"/s/x\\datos\\001", "/s/y"};
  EXPECT_EQ(LineaHistorial(c), "2008-12-01T21:04:25+00:00,2008-12-01T21:04:25+00:00,\"/srv/a,b\",\"DE\"\"MO\",,"
                               "detenida por un error,0,0,0,0,0,0,0,0,/s/x\\datos\\001; /s/y\r\n");
  EXPECT_EQ(std::count(CabeceraHistorial().begin(), CabeceraHistorial().end(), ','), 14);
}

// The end of a run that returned, from what it did.
TEST(History, RunEnd) {
  TResumenTransmision r;
  EXPECT_EQ(FinDeTransmision(r), TFinCorrida::kError);
  r.terminada = true;
  EXPECT_EQ(FinDeTransmision(r), TFinCorrida::kReplicacionDesactivada);
  r.replicacion = true;
  EXPECT_EQ(FinDeTransmision(r), TFinCorrida::kCompleta);
  r.sinAbrirEnviando = 1;
  EXPECT_EQ(FinDeTransmision(r), TFinCorrida::kSucursalesSinAbrir);
  r.sinEnviar = true;
  EXPECT_EQ(FinDeTransmision(r), TFinCorrida::kSinEnviar);
}

}  // namespace
