// The db/ scripts and the test databases built from them: the objects and
// statements the transmission relies on, checked against real databases.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "support/dbfixture.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// Column name, position and type of a table, one line per column.
std::string Layout(const std::string& db, const std::string& table) {
  return QueryText(db,
                   "SELECT TRIM(RF.RDB$FIELD_NAME), RF.RDB$FIELD_POSITION, F.RDB$FIELD_TYPE, "
                   "F.RDB$FIELD_SCALE, F.RDB$FIELD_LENGTH, COALESCE(RF.RDB$NULL_FLAG, 0) "
                   "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = "
                   "RF.RDB$FIELD_SOURCE WHERE RF.RDB$RELATION_NAME = '" +
                       table + "' ORDER BY RF.RDB$FIELD_POSITION");
}

std::string UserTables(const std::string& db) {
  return QueryText(db,
                   "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE "
                   "COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1");
}

std::string Procedures(const std::string& db) {
  return QueryText(db,
                   "SELECT TRIM(RDB$PROCEDURE_NAME) FROM RDB$PROCEDURES WHERE "
                   "COALESCE(RDB$SYSTEM_FLAG, 0) = 0 ORDER BY 1");
}

class DbScriptsTest : public ::testing::Test {
 protected:
  ScratchDir dir_;
};

TEST_F(DbScriptsTest, SchemasApplyToFreshDatabases) {
  const std::string main = CreateMainDatabase(dir_.Path("main.fdb"));
  const std::string branch = CreateBranchDatabase(dir_.Path("branch.fdb"));

  EXPECT_EQ("AUDITORIA\nCLIENTES\nCONFIGURACION\nPUNTOS_CLIENTE_ACUMULADO\nREPLICA_COMPANIA\nTERCEROS",
            UserTables(main));
  EXPECT_EQ("ACTUALIZA_PUNTOS_ACUMULADOS", Procedures(main));
  EXPECT_EQ("AUDITORIA\nCLIENTES\nMOVIMIENTO_PUNTOS\nPUNTOS_CLIENTE_ACUMULADO\nTERCEROS", UserTables(branch));
  EXPECT_EQ("RESUMEN_PUNTOS_TX", Procedures(branch));

  for (const std::string& db : {main, branch}) {
    EXPECT_EQ("ISO8859_1", QueryText(db, "SELECT TRIM(RDB$CHARACTER_SET_NAME) FROM RDB$DATABASE"));
    EXPECT_EQ("3", QueryText(db, "SELECT MON$SQL_DIALECT FROM MON$DATABASE"));
  }
}

TEST_F(DbScriptsTest, CustomerTablesHaveTheSameLayoutEverywhereWithTheKeyFirst) {
  const std::string main = CreateMainDatabase(dir_.Path("main.fdb"));
  const std::string branch = CreateBranchDatabase(dir_.Path("branch.fdb"));
  for (const std::string table : {"TERCEROS", "CLIENTES"}) {
    SCOPED_TRACE(table);
    const std::string layout = Layout(main, table);
    EXPECT_EQ(layout, Layout(branch, table));
    EXPECT_EQ(0u, layout.find("TERC_NIT|0|")) << layout;
  }
  // The key: a second row with the same TERC_NIT is refused.
  AddCustomer(main, "900", "Uno", "");
  EXPECT_THROW(RunSql(main, "INSERT INTO TERCEROS (TERC_NIT, TERC_NOMBRE) VALUES ('900', 'Dos')"), std::runtime_error);
}

TEST_F(DbScriptsTest, EachFreshDatabaseIsIndependent) {
  const std::string a = CreateBranchDatabase(dir_.Path("a.fdb"));
  AddCustomer(a, "1", "Uno", "2008-12-01");
  const std::string b = CreateBranchDatabase(dir_.Path("b.fdb"));
  EXPECT_EQ("1", QueryText(a, "SELECT COUNT(*) FROM TERCEROS"));
  EXPECT_EQ("0", QueryText(b, "SELECT COUNT(*) FROM TERCEROS"));
  // Recreating over an existing file starts empty again.
  CreateBranchDatabase(a);
  EXPECT_EQ("0", QueryText(a, "SELECT COUNT(*) FROM TERCEROS"));
}

TEST_F(DbScriptsTest, PointsSummaryOfADate) {
  const std::string branch = CreateBranchDatabase(dir_.Path("branch.fdb"));
  // Customer 10: earns 100 expiring 2008-12-20 and 50 expiring 2009-06-30,
  // redeems 30 on the day; earns 5 more the day after.
  AddPointsMovement(branch, "10", "2008-11-15", "100", "2008-12-20");
  AddPointsMovement(branch, "10", "2008-11-20", "50", "2009-06-30");
  AddPointsMovement(branch, "10", "2008-12-01", "-30", "");
  AddPointsMovement(branch, "10", "2008-12-02", "5", "2009-12-31");
  // Customer 20: one movement expired before the date, one expiring on it.
  AddPointsMovement(branch, "20", "2008-01-10", "40", "2008-11-30");
  AddPointsMovement(branch, "20", "2008-02-10", "12.25", "2008-12-01");
  // Customer O'HARA: points that never expire.
  AddPointsMovement(branch, "O'HARA", "2008-12-01", "7.5", "");

  struct Case {
    const char* date;
    const char* expected;
  };
  const Case cases[] = {
      {"2008-12-01", "10|120.00|100.00\n20|12.25|12.25\nO'HARA|7.50|0.00"},
      {"2008-12-02", "10|125.00|100.00\nO'HARA|7.50|0.00"},
      {"2008-12-21", "10|25.00|0.00\nO'HARA|7.50|0.00"},
      {"2007-12-31", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    EXPECT_EQ(c.expected, QueryText(branch, std::string("SELECT * FROM RESUMEN_PUNTOS_TX(DATE '") + c.date + "')"));
  }
  // The statement as the collection pass writes it, with a date text.
  EXPECT_EQ("10|120.00|100.00\n20|12.25|12.25\nO'HARA|7.50|0.00",
            QueryText(branch, "SELECT * FROM RESUMEN_PUNTOS_TX('12/1/08')"));
}

TEST_F(DbScriptsTest, AccumulationCallsAddUp) {
  const std::string main = CreateMainDatabase(dir_.Path("main.fdb"));
  // The texts of the accumulation call, as two branches send them.
  RunSql(main, "EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS('123', '12/1/08',10,2)");
  RunSql(main, "EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS('123', '12/1/08',5.25,0)");
  RunSql(main, "EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS('O''NEIL', '12/1/08',0,0)");
  EXPECT_EQ("123|2008-12-01|15.25|2.00\nO'NEIL|2008-12-01|0.00|0.00",
            QueryText(main,
                      "SELECT TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, PTCA_PORVENCER FROM "
                      "PUNTOS_CLIENTE_ACUMULADO ORDER BY TERC_NIT"));
  // An empty point value between the commas is not a statement the database takes.
  EXPECT_THROW(RunSql(main, "EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS('123', '12/1/08',,2)"), std::runtime_error);
  // A decimal comma gives five values for four inputs.
  EXPECT_THROW(RunSql(main, "EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS('123', '12/1/08',10,5,2)"),
               std::runtime_error);
}

TEST_F(DbScriptsTest, DistributionStatementsRunOnABranch) {
  const std::string branch = CreateBranchDatabase(dir_.Path("branch.fdb"));
  RunSql(branch,
         "INSERT INTO PUNTOS_CLIENTE_ACUMULADO VALUES ('OLD', DATE '2008-01-01', 1, 1);"
         "DELETE FROM PUNTOS_CLIENTE_ACUMULADO;"
         "INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, "
         "PTCA_PORVENCER) VALUES ('123','12/1/08',10,2)");
  EXPECT_EQ("123|2008-12-01|10.00|2.00", QueryText(branch, "SELECT * FROM PUNTOS_CLIENTE_ACUMULADO"));
  EXPECT_THROW(RunSql(branch,
                      "INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, "
                      "PTCA_PORVENCER) VALUES ('124','12/1/08',,2)"),
               std::runtime_error);
}

TEST_F(DbScriptsTest, AuditSelectionPicksCustomersInsertedOnTheDate) {
  const std::string branch = CreateBranchDatabase(dir_.Path("branch.fdb"));
  AddCustomer(branch, "1", "Hoy", "2008-12-01");
  AddCustomer(branch, "2", "Ayer", "2008-11-30");
  AddCustomer(branch, "3", "Sin auditoria", "");
  AddCustomer(branch, "4", "Modificado hoy", "2008-11-01");
  AddAuditRow(branch, "4", "2008-12-01", "U");
  AddCustomer(branch, "5", "Otro documento", "");
  AddAuditRow(branch, "5", "2008-12-01", "I", 104);
  AddCustomer(branch, "O'KEEFE", "Comilla", "2008-12-01");
  for (const std::string table : {"TERCEROS", "CLIENTES"}) {
    SCOPED_TRACE(table);
    const std::string select = "SELECT * FROM " + table +
                               " T WHERE EXISTS (SELECT AUDI_ID FROM AUDITORIA WHERE TIDO_COD = 103 AND AUDI_COD = "
                               "T.TERC_NIT AND AUDI_FECHA = '12/1/08' AND AUDI_OPER = 'I')";
    const std::string rows = QueryText(branch, select);
    EXPECT_EQ(0u, rows.find("1|")) << rows;
    EXPECT_NE(std::string::npos, rows.find("\nO'KEEFE|")) << rows;
    EXPECT_EQ(1u, std::count(rows.begin(), rows.end(), '\n')) << rows;
  }
}

TEST_F(DbScriptsTest, ForeignKeyRefusesAnOrphanCustomer) {
  const std::string main = CreateMainDatabase(dir_.Path("main.fdb"));
  try {
    RunSql(main, "INSERT INTO CLIENTES (TERC_NIT) VALUES ('SIN-TERCERO')");
    FAIL() << "orphan CLIENTES row accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("FK_CLIENTES_TERCEROS")) << e.what();
  }
  EXPECT_EQ("0", QueryText(main, "SELECT COUNT(*) FROM CLIENTES"));
}

TEST_F(DbScriptsTest, RequiredColumnsAndDefaults) {
  const std::string main = CreateMainDatabase(dir_.Path("main.fdb"));
  EXPECT_THROW(RunSql(main, "INSERT INTO TERCEROS (TERC_NIT) VALUES ('1')"), std::runtime_error);
  AddCustomer(main, "1", "Ana", "");
  EXPECT_EQ("1|N|Ana|NULL|NULL|0.00|NULL",
            QueryText(main,
                      "SELECT T.TERC_NIT, T.TERC_TIPO, T.TERC_NOMBRE, T.TERC_FECHA_NAC, "
                      "T.TERC_RETENCION, C.CLIE_CUPO, C.CLIE_DESCUENTO FROM TERCEROS T JOIN "
                      "CLIENTES C ON C.TERC_NIT = T.TERC_NIT"));
  RunSql(main, "UPDATE CLIENTES SET CLIE_DESCUENTO = 1.234567, CLIE_CUPO = -12.5");
  EXPECT_EQ("-12.50|1.234567", QueryText(main, "SELECT CLIE_CUPO, CLIE_DESCUENTO FROM CLIENTES"));
}

TEST_F(DbScriptsTest, Latin1BytesRoundTrip) {
  const std::string main = CreateMainDatabase(dir_.Path("main.fdb"));
  const std::string name =
      "Pe\xF1"
      "a Mu\xF1oz";
  AddCustomer(main, "1", name, "");
  EXPECT_EQ(name + "|10", QueryText(main,
                                    "SELECT TERC_NOMBRE, OCTET_LENGTH(TERC_NOMBRE) FROM "
                                    "TERCEROS"));
  // Every byte from 0x80 up survives, and so does text written by isql-fb.
  std::string high;
  for (int c = 0x80; c <= 0xFF; ++c) high += static_cast<char>(c);
  RunSql(main, "UPDATE CLIENTES SET CLIE_OBSERVACION = " + SqlQuote(high));
  EXPECT_EQ(high, QueryText(main, "SELECT CLIE_OBSERVACION FROM CLIENTES"));
  RunIsql(main,
          "UPDATE TERCEROS SET TERC_APELLIDOS = 'Ib\xE1\xF1"
          "ez';");
  EXPECT_EQ(
      "Ib\xE1\xF1"
      "ez",
      QueryText(main, "SELECT TERC_APELLIDOS FROM TERCEROS"));
  EXPECT_NE(std::string::npos, RunIsql(main, "SELECT TERC_NOMBRE FROM TERCEROS;").find(name));
}

TEST_F(DbScriptsTest, BranchPathBackslashesArePartOfTheFileName) {
  CompanyLayout company(dir_);
  const std::string opened = company.AddBranch("001", "Norte");
  EXPECT_EQ(dir_.Root() + "/suc001\\datos\\001\\varnex.fdb", opened);
  // One file in the scratch root; no folders datos/001 were made or needed.
  EXPECT_TRUE(fs::is_regular_file(fs::path(dir_.Root()) / "suc001\\datos\\001\\varnex.fdb"));
  EXPECT_FALSE(fs::exists(dir_.Path("suc001")));
  EXPECT_EQ("0", QueryText(opened, "SELECT COUNT(*) FROM TERCEROS"));
  EXPECT_EQ(opened, QueryText(opened, "SELECT MON$DATABASE_NAME FROM MON$DATABASE"));

  // A database in the folder form is not what the backslash string opens.
  const std::string folderForm = dir_.Root() + "/suc002/datos/002/varnex.fdb";
  CreateBranchDatabase(folderForm);
  try {
    QueryText(BranchDatabasePath(company.BranchServer("002"), "002"), "SELECT 1 FROM RDB$DATABASE");
    FAIL() << "the folder form was found through backslashes";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string::npos, std::string(e.what()).find("No such file")) << e.what();
  }
}

TEST_F(DbScriptsTest, CompanyLayoutAsTheRunExpectsIt) {
  CompanyLayout company(dir_, "C01");
  EXPECT_EQ(dir_.Root() + "/srv/datos/C01/varnex.fdb", company.MainPath());
  EXPECT_EQ(company.MainPath(), MainDatabasePath(company.ServerFolder(), "C01"));
  company.AddBranch("001", "Norte");
  const std::string missing = company.AddBranch("002", "Sur", false);
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ("001|Norte|" + dir_.Root() + "/suc001|N\n002|Sur|" + dir_.Root() + "/suc002|N",
            QueryText(company.MainPath(), "SELECT * FROM REPLICA_COMPANIA"));
  EXPECT_EQ("SI", QueryText(company.MainPath(),
                            "select conf_valor from configuracion where conf_modulo = "
                            "'INVENTARIO' and conf_categoria = 'ARTICULOS' and conf_propiedad = "
                            "'REPLICAR CAMBIOS EN ARTICULOS'"));
  SetConfiguration(company.MainPath(), "REPLICAR CAMBIOS EN ARTICULOS", "si");
  EXPECT_EQ(
      "CLAVE DE USUARIO PARA REPLICACION DE ARTICULOS|masterkey\n"
      "NOMBRE DE USUARIO PARA REPLICACION DE ARTICULOS|SYSDBA\n"
      "REPLICAR CAMBIOS EN ARTICULOS|si",
      QueryText(company.MainPath(), "SELECT CONF_PROPIEDAD, CONF_VALOR FROM CONFIGURACION ORDER BY 1"));
}

TEST_F(DbScriptsTest, ScratchDirIsRemoved) {
  std::string root;
  {
    ScratchDir scratch;
    root = scratch.Root();
    CreateMainDatabase(scratch.Path("x/y/main.fdb"));
    EXPECT_TRUE(fs::exists(scratch.Path("x/y/main.fdb")));
  }
  EXPECT_FALSE(fs::exists(root));
}

TEST_F(DbScriptsTest, DemoCompanyHasWhatTheRunNeeds) {
  const std::string command = "bash '" + std::string(CONSOPUNTOS_SOURCE_DIR) + "/scripts/make_demo.sh' '" +
                              dir_.Root() + "' 2008-12-01 > '" + dir_.Path("demo.log") + "' 2>&1";
  ASSERT_EQ(0, std::system(command.c_str()));
  const std::string main = dir_.Path("srv/datos/DEMO/varnex.fdb");
  const std::string norte = BranchDatabasePath(dir_.Path("suc001"), "001");
  const std::string centro = BranchDatabasePath(dir_.Path("suc002"), "002");

  EXPECT_EQ("001|" + dir_.Path("suc001") + "\n002|" + dir_.Path("suc002") + "\n003|" + dir_.Path("suc003") + "\n004|" +
                dir_.Path("suc004"),
            QueryText(main, "SELECT RPCO_COD, RPCO_SERVIDOR FROM REPLICA_COMPANIA"));
  EXPECT_FALSE(fs::exists(BranchDatabasePath(dir_.Path("suc004"), "004")));
  EXPECT_EQ("SI", QueryText(main,
                            "SELECT CONF_VALOR FROM CONFIGURACION WHERE CONF_PROPIEDAD = "
                            "'REPLICAR CAMBIOS EN ARTICULOS'"));

  const std::string audited =
      "SELECT TERC_NIT FROM TERCEROS T WHERE EXISTS (SELECT AUDI_ID FROM AUDITORIA WHERE "
      "TIDO_COD = 103 AND AUDI_COD = T.TERC_NIT AND AUDI_FECHA = '12/1/08' AND AUDI_OPER = 'I') "
      "ORDER BY 1";
  EXPECT_EQ("M-5001\nM-5002", QueryText(main, audited));
  EXPECT_EQ("1015\n80012345\nO'BRIEN-01", QueryText(norte, audited));
  EXPECT_EQ("1015\n52123456", QueryText(centro, audited));
  // Latin-1 names, NULLs in nullable columns, a discount with six decimals.
  EXPECT_EQ(
      "80012345|Pe\xF1"
      "a Mu\xF1oz|NULL|NULL\nO'BRIEN-01|Se\xE1n|NULL|0.123456",
      QueryText(norte,
                "SELECT T.TERC_NIT, T.TERC_NOMBRE, T.TERC_EMAIL, C.CLIE_DESCUENTO FROM "
                "TERCEROS T JOIN CLIENTES C ON C.TERC_NIT = T.TERC_NIT WHERE T.TERC_NIT IN "
                "('80012345', 'O''BRIEN-01') ORDER BY 1"));
  EXPECT_EQ("1015|60.00|0.00\n800100200|300.00|0.00\n80012345|160.50|40.00\nO'BRIEN-01|15.75|15.75",
            QueryText(norte, "SELECT * FROM RESUMEN_PUNTOS_TX('12/1/08')"));
  EXPECT_NE("0", QueryText(norte, "SELECT COUNT(*) FROM PUNTOS_CLIENTE_ACUMULADO"));
}

}  // namespace
