// Whole transmission runs without a window, on companies built to fail in
// every way the run knows, each run once row by row and again in chunks:
// every database, both logs, every dialog and every status text must come
// out the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "consopuntos/corridas.h"
#include "consopuntos/transmision.h"
#include "dbaccess/encoding.h"
#include "dm/application.h"
#include "dm/dm.h"
#include "support/context.h"
#include "support/files.h"
#include "dm/platform.h"
#include "support/dbfixture.h"

using namespace dbx;
using testsupport::CompanyLayout;
using testsupport::RunIsql;

namespace {

const char* const kDate = "2008-12-01";

// The main window as the run sees it, recording the status panel.
class Ventana : public TComponent, public TVentanaTransmision {
 public:
  Ventana(Tfdm& dm, std::string servidor, std::string cia)
      : TComponent(nullptr, "fconsopuntos"), servidor_(std::move(servidor)), cia_(std::move(cia)) {
    const TConjuntosTransmision conjuntos = CrearConjuntosTransmision(this, dm);
    CAcumulado = conjuntos.CAcumulado;
    CCliented = conjuntos.CCliented;
  }

  std::string ServidorText() const override { return servidor_; }
  std::string TusuaText() const override { return testsupport::kUser; }
  std::string TClaveText() const override { return testsupport::kPassword; }
  std::string CiaText() const override { return cia_; }
  Date FechaTransmision() const override { return Date{2008, 12, 1}; }
  void SetStatusText(const std::string& text) override { status.push_back("text:" + text); }
  void ShowStatus(const std::string& text) override {
    status.push_back("show:" + text);
    if (alMostrar) alMostrar(text);
  }
  void HideStatus() override { status.push_back("hide"); }
  std::string diraplicacion() override {
    std::string dir;
    (void)platform::ReadApplicationDirectory(dir);
    return dir;
  }
  void Cerrar() override { closed = true; }

  TClientDataSet* CAcumulado;
  TClientDataSet* CCliented;
  std::vector<std::string> status;
  bool closed = false;
  std::function<void(const std::string&)> alMostrar;  // each text the panel shows

 private:
  std::string servidor_, cia_;
};

// What a run leaves.
struct Outcome {
  std::string tables;   // every table of every database, rows sorted
  std::string before;   // the same before the run
  std::string errores;  // ERRORES.TXT, dates and times left out
  std::string envptos;  // ERRORENVPTOS.TXT, the same
  std::vector<std::string> dialogs;
  std::vector<std::string> status;
  bool closed = false;
  std::string resumen;
  int estado = -1;  // the exit status of the unattended start
};

std::string SortedRows(const std::string& database, const std::string& select) {
  std::vector<std::string> lines;
  std::stringstream in(testsupport::QueryText(database, select));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

std::string WithoutMoments(const std::string& log) {
  static const std::regex moment("(^|\n)[0-9]+/[0-9]+/[0-9]+,[0-9]+:[0-9]+:[0-9]+ [ap]m,");
  return std::regex_replace(log, moment, "$1<fecha>,<hora>,");
}

// A company: the layout, its branch databases, and how it is built.
struct Company {
  std::vector<std::string> branches;  // database paths, in replica order (empty: none)
};

using Builder = std::function<Company(CompanyLayout&)>;

// Every table of the company's databases, rows sorted.
std::string Tables(const CompanyLayout& co, const Company& company) {
  std::string tables;
  for (const char* table : {"TERCEROS", "CLIENTES", "PUNTOS_CLIENTE_ACUMULADO"})
    tables += std::string("## main ") + table + "\n" + SortedRows(co.MainPath(), std::string("SELECT * FROM ") + table);
  for (std::size_t b = 0; b < company.branches.size(); ++b) {
    if (!std::filesystem::exists(company.branches[b])) continue;
    for (const char* table : {"TERCEROS", "CLIENTES", "PUNTOS_CLIENTE_ACUMULADO"})
      tables += "## branch " + std::to_string(b + 1) + " " + table + "\n" +
                SortedRows(company.branches[b], std::string("SELECT * FROM ") + table);
  }
  return tables;
}

// Runs the company built afresh in a scratch folder, FilasPorLote and other
// settings given; alMostrar sees each text the panel shows.
Outcome RunCompany(const Builder& build, int filasPorLote, const std::string& ajustes = {},
                   const std::function<void(const std::string&, const Company&)>& alMostrar = {}) {
  testsupport::WorkDir work;  // the working directory: ERRORES.TXT
  testsupport::ScratchDir dir;
  CompanyLayout co(dir);
  const Company company = build(co);

  const std::string app = dir.Path("app");
  std::filesystem::create_directories(app);
  std::filesystem::create_directories(dir.Path("xdg/Quenda"));
  testsupport::WriteFile(dir.Path("xdg/Quenda/Varnex2009.conf"),
                    "Directorio=" + app + "\nFilasPorLote=" + std::to_string(filasPorLote) + "\n" + ajustes);
  testsupport::ScopedEnv xdg("XDG_CONFIG_DIRS", dir.Path("xdg"));

  Outcome out;
  out.before = Tables(co, company);
  {
    // An unattended start's run, as the window's F5 handler runs it.
    testsupport::RecordingContext context;
    context.CommandLine = TCommandLine({"consopuntos", "s", "u", "c", "DEMO", "5", "6", "7", "8", "9", "S"});
    TCorridas corridas(context);
    {
      Tfdm dm(context);
      Ventana ventana(dm, co.ServerFolder(), co.Company());
      if (alMostrar) ventana.alMostrar = [&](const std::string& text) { alMostrar(text, company); };
      dm.ConfigurarProviders(&ventana);
      context.Application.Run(&ventana, [&] { corridas.Transmitir(dm, ventana, *ventana.CAcumulado, *ventana.CCliented); });
      out.status = ventana.status;
      out.closed = ventana.closed;
    }
    out.dialogs = context.ui.events;
    out.estado = corridas.EstadoSalida();
  }
  // What the run did, from its history line: the counts after the result
  // and the seconds.
  const std::string history = testsupport::ReadLog(app + "/TRANSMISIONES.TXT");
  EXPECT_EQ(history.compare(0, CabeceraHistorial().size(), CabeceraHistorial()), 0) << history;
  const std::size_t record = history.find("\r\n") + 2;
  std::vector<std::string> columns;
  std::stringstream line(history.substr(record, history.find("\r\n", record) - record));
  for (std::string c; std::getline(line, c, ',');) columns.push_back(c);
  EXPECT_GE(columns.size(), 14u) << history;
  for (std::size_t i = 7; i < 14 && i < columns.size(); ++i) out.resumen += (i > 7 ? " " : "") + columns[i];
  if (columns.size() > 5 && columns[5] == "sin enviar por sucursales sin abrir") out.resumen += " sin enviar";
  xdg.Set(std::nullopt);
  out.tables = Tables(co, company);
  if (std::filesystem::exists("ERRORES.TXT")) out.errores = WithoutMoments(testsupport::ReadLog("ERRORES.TXT"));
  if (std::filesystem::exists(app + "/ERRORENVPTOS.TXT"))
    out.envptos = WithoutMoments(testsupport::ReadLog(app + "/ERRORENVPTOS.TXT"));
  // The scratch folder differs from run to run.
  const auto anyDir = [&dir](std::string text) {
    for (std::size_t at; (at = text.find(dir.Root())) != std::string::npos;) text.replace(at, dir.Root().size(), "<dir>");
    return text;
  };
  out.errores = anyDir(out.errores);
  out.envptos = anyDir(out.envptos);
  for (auto& d : out.dialogs) d = anyDir(d);
  for (auto& t : out.status) t = anyDir(t);
  return out;
}

// Customers P001... of a branch audited on the date, with points; every
// fifth also in the main database already.
std::string BranchCustomers(const std::string& prefix, int count, const std::string& main) {
  std::string sql, mainSql;
  for (int i = 1; i <= count; ++i) {
    char nit[32];
    std::snprintf(nit, sizeof nit, "%s%03d", prefix.c_str(), i);
    const std::string name = "Cliente "_l1 + std::string("\xF1") + " '" + std::to_string(i) + "'";
    const std::string row = std::string("INSERT INTO TERCEROS (TERC_NIT, TERC_TIPO, TERC_NOMBRE, TERC_FECHA_NAC, "
                                        "TERC_RETENCION, TERC_CREADO) VALUES ('") +
                            nit + "', 'N', " + testsupport::SqlQuote(name) + ", DATE '1980-01-" +
                            std::to_string(1 + i % 28) + "', " + std::to_string(i % 7) + ".5, TIMESTAMP '" + kDate +
                            " 09:30:00.0500');\nINSERT INTO CLIENTES (TERC_NIT, CLIE_CUPO, CLIE_DESCUENTO) VALUES ('" +
                            nit + "', " + std::to_string(i * 10) + ".25, 0.123456);\n";
    sql += row;
    sql += std::string("INSERT INTO AUDITORIA (TIDO_COD, AUDI_COD, AUDI_FECHA, AUDI_OPER) VALUES (103, '") + nit +
           "', DATE '" + kDate + "', 'I');\n";
    sql += std::string("INSERT INTO MOVIMIENTO_PUNTOS (TERC_NIT, MOPU_FECHA, MOPU_PUNTOS, MOPU_VENCE) VALUES ('") + nit +
           "', DATE '2008-11-20', " + std::to_string(i) + ".50, DATE '2008-12-15');\n";
    if (i % 5 == 0) mainSql += row;
  }
  if (!main.empty() && !mainSql.empty()) RunIsql(main, mainSql);
  return sql;
}

// Customers M001... created in the main database on the date; every fourth
// already in the branches given.
void MainCustomers(const std::string& main, int count, const std::vector<std::string>& branches) {
  std::string sql, branchSql;
  for (int i = 1; i <= count; ++i) {
    char nit[32];
    std::snprintf(nit, sizeof nit, "M%03d", i);
    const std::string row = std::string("INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_APELLIDOS, TERC_CREADO) "
                                        "VALUES ('") +
                            nit + "', 'Principal " + std::to_string(i) + "', NULL, TIMESTAMP '" + kDate +
                            " 10:00:00');\nINSERT INTO CLIENTES (TERC_NIT, "
                            "CLIE_ZONA) VALUES ('" + nit + "', 'Zona ''" + std::to_string(i % 3) + "''');\n";
    sql += row + "INSERT INTO AUDITORIA (TIDO_COD, AUDI_COD, AUDI_FECHA, AUDI_OPER) VALUES (103, '" + nit +
           "', DATE '" + kDate + "', 'I');\n";
    if (i % 4 == 0) branchSql += row;
  }
  RunIsql(main, sql);
  for (const auto& b : branches) RunIsql(b, branchSql);
}

// Two branches with customers and points, one without a database, and main
// customers for the distribution pass; twist runs last on the databases.
Builder Standard(int perBranch, int mainCount,
                 std::function<void(const std::string& main, const std::vector<std::string>& branches)> twist = {},
                 const std::string& prefix = "A") {
  return [=](CompanyLayout& co) {
    Company c;
    c.branches.push_back(co.AddBranch("001", "Norte"));
    c.branches.push_back(co.AddBranch("002", "Sur"));
    co.AddBranch("003", "Sin base", false);
    RunIsql(c.branches[0], BranchCustomers(prefix, perBranch, co.MainPath()));
    RunIsql(c.branches[1], BranchCustomers("B", perBranch / 2, co.MainPath()));
    RunIsql(co.MainPath(), "INSERT INTO PUNTOS_CLIENTE_ACUMULADO (TERC_NIT, PTCA_ACUMULADO) VALUES ('VIEJO', 5);\n");
    RunIsql(c.branches[1], "INSERT INTO PUNTOS_CLIENTE_ACUMULADO (TERC_NIT, PTCA_ACUMULADO) VALUES ('LOCAL', 7);\n");
    MainCustomers(co.MainPath(), mainCount, c.branches);
    if (twist) twist(co.MainPath(), c.branches);
    return c;
  };
}

struct Case {
  const char* name;
  Builder build;
  // What the reference run must show, so that the case fails where it should.
  std::function<void(const Outcome&)> check;
};

bool HasDialog(const Outcome& o, const std::string& part) {
  return std::any_of(o.dialogs.begin(), o.dialogs.end(),
                     [&](const std::string& d) { return d.find(part) != std::string::npos; });
}

std::vector<Case> Cases() {
  return {
      {"clean", Standard(40, 30),
       [](const Outcome& o) {
         EXPECT_TRUE(o.closed);
         EXPECT_EQ("3 1 1 48 46 60 120", o.resumen);
         EXPECT_EQ(3, o.estado);  // branch 003 has no database
         EXPECT_TRUE(o.errores.empty());
       }},
      // A row the main database rejects in the collection: reported, the
      // rows after it still copied.
      {"collection rejects a row", Standard(40, 10,
                                            [](const std::string& main, const std::vector<std::string>&) {
                                              RunIsql(main,
                                                      "ALTER TABLE TERCEROS ADD CONSTRAINT CK_PRUEBA CHECK "
                                                      "(TERC_RETENCION IS NULL OR TERC_RETENCION <> 3.5);\n");
                                            }),
       [](const Outcome& o) {
         EXPECT_TRUE(o.closed);
         EXPECT_TRUE(HasDialog(o, "CK_PRUEBA"));
         EXPECT_TRUE(HasDialog(o, "error:Est\xE1 borrando o insertando un registro en la tabla Clientesd"));
       }},
      // A row a branch rejects in the distribution: logged only.
      {"distribution rejects a row", Standard(20, 40,
                                              [](const std::string&, const std::vector<std::string>& branches) {
                                                RunIsql(branches[1],
                                                        "ALTER TABLE TERCEROS ADD CONSTRAINT CK_PRUEBA CHECK "
                                                        "(TERC_NIT NOT IN ('M007', 'M023'));\n");
                                              }),
       [](const Outcome& o) {
         EXPECT_TRUE(o.closed);
         EXPECT_NE(std::string::npos, o.errores.find("CK_PRUEBA"));
       }},
      // An accumulation call that fails ends the run there.
      {"accumulation call fails", Standard(40, 10,
                                           [](const std::string& main, const std::vector<std::string>&) {
                                             RunIsql(main,
                                                     "ALTER TABLE PUNTOS_CLIENTE_ACUMULADO ADD CONSTRAINT CK_PRUEBA "
                                                     "CHECK (TERC_NIT <> 'A017');\n");
                                           }),
       [](const Outcome& o) {
         EXPECT_FALSE(o.closed);
         EXPECT_TRUE(HasDialog(o, "CK_PRUEBA"));
       }},
      // A refill row that fails: that branch keeps its old table whole.
      {"refill row fails", Standard(40, 10,
                                    [](const std::string&, const std::vector<std::string>& branches) {
                                      RunIsql(branches[1],
                                              "ALTER TABLE PUNTOS_CLIENTE_ACUMULADO ADD CONSTRAINT CK_PRUEBA "
                                              "CHECK (TERC_NIT <> 'A033');\n");
                                    }),
       [](const Outcome& o) {
         EXPECT_FALSE(o.closed);
         EXPECT_TRUE(HasDialog(o, "CK_PRUEBA"));
         EXPECT_NE(std::string::npos, o.tables.find("LOCAL|"));
       }},
      // A source row whose required value is null: the main database's
      // client dataset reports the post, and the run ends.
      {"collection post fails", Standard(40, 10,
                                         [](const std::string&, const std::vector<std::string>& branches) {
                                           RunIsql(branches[0],
                                                   "ALTER TABLE TERCEROS ALTER COLUMN TERC_NOMBRE DROP NOT NULL;\n"
                                                   "COMMIT;\nUPDATE TERCEROS SET TERC_NOMBRE = NULL WHERE "
                                                   "TERC_NIT = 'A013';\n");
                                         }),
       [](const Outcome& o) {
         EXPECT_FALSE(o.closed);
         EXPECT_TRUE(HasDialog(o, "error:Es necesario que el campo 'TERC_NOMBRE' contenga alg\xFAn valor"));
       }},
      // The same in the distribution: the branch's client dataset has no
      // handler, the exception ends the run.
      {"distribution post fails", Standard(20, 40,
                                           [](const std::string& main, const std::vector<std::string>&) {
                                             RunIsql(main,
                                                     "ALTER TABLE TERCEROS ALTER COLUMN TERC_NOMBRE DROP NOT NULL;\n"
                                                     "COMMIT;\nUPDATE TERCEROS SET TERC_NOMBRE = NULL WHERE "
                                                     "TERC_NIT = 'M018';\n");
                                           }),
       [](const Outcome& o) {
         EXPECT_FALSE(o.closed);
         EXPECT_TRUE(HasDialog(o, "TERC_NOMBRE"));
       }},
      // A key that repeats in the source (the branch's table has no key):
      // the second row finds the first, trailing blanks and all.
      {"key repeats in the source",
       Standard(30, 10,
                [](const std::string&, const std::vector<std::string>& branches) {
                  RunIsql(branches[0],
                          "ALTER TABLE CLIENTES DROP CONSTRAINT FK_CLIENTES_TERCEROS;\nCOMMIT;\n"
                          "ALTER TABLE TERCEROS DROP CONSTRAINT PK_TERCEROS;\nCOMMIT;\n"
                          "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_CREADO) VALUES ('A005', 'Repetido', NULL);\n"
                          "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_CREADO) VALUES ('A008 ', 'Con blanco', "
                          "NULL);\nINSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE, TERC_CREADO) VALUES ('A029', 'Otro', "
                          "NULL);\n");
                }),
       [](const Outcome& o) {
         EXPECT_TRUE(o.closed);
         const std::string main = o.tables.substr(0, o.tables.find("## branch"));
         EXPECT_EQ(std::string::npos, main.find("Repetido"));
         EXPECT_EQ(std::string::npos, main.find("Con blanco"));
         EXPECT_EQ(std::string::npos, main.find("Otro"));  // A029 comes first, in the same chunk
         EXPECT_NE(std::string::npos, main.find("A029|N|"));
       }},
      // A key the main database cannot compare (its CLIENTES keys are
      // numbers): the chunk is probed row by row, and that key ends the run.
      {"key the destination cannot convert",
       Standard(
           30, 10,
           [](const std::string& main, const std::vector<std::string>& branches) {
             RunIsql(main,
                     "DROP TABLE CLIENTES;\nCOMMIT;\nCREATE TABLE CLIENTES (TERC_NIT BIGINT NOT NULL, "
                     "CLIE_CATEGORIA CHAR(1) DEFAULT 'A' NOT NULL, CLIE_CUPO NUMERIC(15,2) DEFAULT 0, "
                     "CLIE_DESCUENTO NUMERIC(18,6), CLIE_ZONA VARCHAR(40), CLIE_OBSERVACION VARCHAR(200), "
                     "CLIE_FECHA_ALTA TIMESTAMP);\nCOMMIT;\nINSERT INTO CLIENTES (TERC_NIT) VALUES (1);\n");
             RunIsql(branches[0],
                     "ALTER TABLE CLIENTES DROP CONSTRAINT FK_CLIENTES_TERCEROS;\nCOMMIT;\n"
                     "UPDATE CLIENTES SET TERC_NIT = 'X015' WHERE TERC_NIT = '9015';\n"
                     "INSERT INTO AUDITORIA (TIDO_COD, AUDI_COD, AUDI_FECHA, AUDI_OPER) VALUES (103, 'X015', "
                     "DATE '2008-12-01', 'I');\n");
           },
           "9"),
       [](const Outcome& o) {
         EXPECT_FALSE(o.closed);
         EXPECT_TRUE(HasDialog(o, "conversion error"));
       }},
      // Large enough to cross the default chunk's edges: rejected rows all
      // along the collection, and a refill that fails in its second chunk.
      {"large", Standard(300, 270,
                         [](const std::string& main, const std::vector<std::string>& branches) {
                           RunIsql(main,
                                   "ALTER TABLE TERCEROS ADD CONSTRAINT CK_PRUEBA CHECK "
                                   "(TERC_RETENCION IS NULL OR TERC_RETENCION <> 3.5);\n");
                           RunIsql(branches[1],
                                   "ALTER TABLE PUNTOS_CLIENTE_ACUMULADO ADD CONSTRAINT CK_REFILL "
                                   "CHECK (TERC_NIT <> 'A280');\n");
                         }),
       [](const Outcome& o) {
         EXPECT_FALSE(o.closed);
         EXPECT_TRUE(HasDialog(o, "CK_REFILL"));
         EXPECT_GT(std::count_if(o.dialogs.begin(), o.dialogs.end(),
                                 [](const std::string& d) { return d.find("CK_PRUEBA") != std::string::npos; }),
                   40);
       }},
  };
}

TEST(FilasPorLote, PositiveIntegersOnly) {
  const struct {
    const char* text;
    int rows;
  } cases[] = {{"1", 1}, {"250", 250}, {"007", 7}, {"999999999", 999999999}, {"0", 0},   {"-5", 0},
               {"+5", 0}, {" 5", 0},   {"5 ", 0},   {"5.0", 0},            {"abc", 0}, {"1000000000", 1000000000},
               {"2147483647", 2147483647}, {"2147483648", 0}};
  for (const auto& c : cases) EXPECT_EQ(c.rows, FilasPorLoteDe(c.text)) << c.text;
}

// Row by row, then in chunks of 7 (every edge crossed several times) and of
// the default size.
TEST(RunModes, ChunksLeaveWhatRowByRowLeaves) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const Outcome reference = RunCompany(c.build, 1);
    c.check(reference);
    for (int filas : {7, kFilasPorLote}) {
      SCOPED_TRACE("FilasPorLote=" + std::to_string(filas));
      const Outcome chunked = RunCompany(c.build, filas);
      EXPECT_EQ(reference.tables, chunked.tables);
      EXPECT_EQ(reference.errores, chunked.errores);
      EXPECT_EQ(reference.envptos, chunked.envptos);
      EXPECT_EQ(reference.dialogs, chunked.dialogs);
      EXPECT_EQ(reference.status, chunked.status);
      EXPECT_EQ(reference.closed, chunked.closed);
      EXPECT_EQ(reference.resumen, chunked.resumen);
      EXPECT_EQ(reference.estado, chunked.estado);
    }
  }
}

// EnviarConFaltantes=NO: a branch that did not open in the collection keeps
// every branch's tables as they were; one that did not open only in the
// distribution changes nothing of the usual run.
TEST(RunModes, EnviarConFaltantesNo) {
  for (int filas : {1, kFilasPorLote}) {
    SCOPED_TRACE("FilasPorLote=" + std::to_string(filas));
    const Outcome guarded = RunCompany(Standard(40, 30), filas, "EnviarConFaltantes=NO\n");
    EXPECT_TRUE(guarded.closed);
    EXPECT_EQ("3 1 0 48 0 60 0 sin enviar", guarded.resumen);
    EXPECT_EQ(3, guarded.estado);
    const auto branches = [](const std::string& t) { return t.substr(t.find("## branch")); };
    EXPECT_EQ(branches(guarded.before), branches(guarded.tables));
    EXPECT_NE(guarded.before, guarded.tables);  // the main database has what the collection brought

    // Every branch opens to collect; branch 2 is gone when the distribution comes.
    const Builder sinTercera = Standard(40, 30, [](const std::string& main, const std::vector<std::string>&) {
      RunIsql(main, "DELETE FROM REPLICA_COMPANIA WHERE RPCO_COD = '003';\n");
    });
    const auto quitarSur = [](const std::string& text, const Company& c) {
      if (text == "Trayendo PUNTOS de la compa\xF1ia Sur ...") std::filesystem::remove(c.branches[1]);
    };
    const Outcome usual = RunCompany(sinTercera, filas, {}, quitarSur);
    const Outcome no = RunCompany(sinTercera, filas, "EnviarConFaltantes=NO\n", quitarSur);
    EXPECT_EQ("2 0 1 48 23 60 60", usual.resumen);
    EXPECT_EQ(usual.resumen, no.resumen);
    EXPECT_EQ(usual.tables, no.tables);
    EXPECT_EQ(usual.envptos, no.envptos);
  }
}

}  // namespace
