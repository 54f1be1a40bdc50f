// The dialog texts of the error reporter and the error log line.
#include <gtest/gtest.h>

#include <string>

#include "dbaccess/clientdataset.h"
#include "dbaccess/sqlconnection.h"
#include "dbaccess/textforms.h"
#include "dm/dm.h"
#include "dm/reporter.h"
#include "dbaccess/encoding.h"

using namespace dbx;

namespace {

struct TextCase {
  const char* label;
  std::string message;
  std::string expected;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.label; }

const std::string kGeneral = "Se presento el siguiente error: ";
const std::string kNoFile = "No se encontró el archivo o la ruta "_l1;
const std::string kNoHost = "No se encontró el equipo servidor con nombre "_l1;
const std::string kNoServer =
    "No se encontró el servidor Interbase/Firebird. Verifique Servidor en panel de control y puerto TCP 3050."_l1;
const std::string kLogin = "El nombre de Usuario o la clave son incorrectas.";

// Case A: no dataset.
class UnhandledTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(UnhandledTextTest, GivesTheSpanishText) {
  const TextCase& c = GetParam();
  EXPECT_EQ(ErrorText(nullptr, nullptr, c.message), c.expected);
  // The sender of an unhandled exception plays no part.
  TComponent sender(nullptr, "Cia");
  EXPECT_EQ(ErrorText(&sender, nullptr, c.message), c.expected);
}

const std::string kFb3Io =
    "dbExpress Error: [0x0015]: I/O error during \"open\" operation for file \"/srv/datos/007/varnex.fdb\"\n"
    "Error while trying to open file\nNo such file or directory";

INSTANTIATE_TEST_SUITE_P(
    Rules, UnhandledTextTest,
    ::testing::Values(
        TextCase{"A1_other", "Access violation at address 0", kGeneral + "Access violation at address 0"},
        TextCase{"A1_lowercase_dbexpress", "dbexpress Error: Connection failed",
                 kGeneral + "dbexpress Error: Connection failed"},
        TextCase{"A1_shorter_than_9", "dbExpres", kGeneral + "dbExpres"}, TextCase{"A1_empty", "", kGeneral},
        TextCase{"A1_not_at_start", "Error dbExpress: Connection failed",
                 kGeneral + "Error dbExpress: Connection failed"},
        TextCase{"A2_login",
                 "dbExpress Error: [0x0015]: Your user name and password are not defined. Ask your database "
                 "administrator to set up a Firebird login.",
                 kLogin},
        TextCase{"A2_before_A5", "dbExpress Error: Your user name and password are not defined\nConnection failed",
                 kLogin},
        TextCase{"A3_old_wording", "dbExpress Error: I/O error for file \"C:\\VARNEX\\DATOS\\01\\VARNEX.FDB\"",
                 kNoFile + "C:\\VARNEX\\DATOS\\01\\VARNEX.FDB"},
        TextCase{"A3_old_wording_first_quoted_text",
                 "dbExpress Error: I/O error for file \"a.fdb\"\nError while trying to open \"b\"", kNoFile + "a.fdb"},
        TextCase{"A3_without_quotes", "dbExpress Error: I/O error for file C:\\X.FDB", kNoFile},
        TextCase{"A3_one_quote", "dbExpress Error: I/O error for file \"C:\\X.FDB", kNoFile},
        TextCase{"A3_firebird3_wording", kFb3Io, kNoFile + "/srv/datos/007/varnex.fdb"},
        TextCase{"A3_firebird3_wording_no_path_quotes",
                 "dbExpress Error: I/O error during \"open\" operation for file /x.fdb", kNoFile},
        TextCase{"A3_firebird3_wording_later_quote_ignored",
                 "dbExpress Error: I/O error during \"open\" operation for file /x.fdb\nsee \"log\"", kNoFile},
        TextCase{"A3_before_A5", kFb3Io + "\nConnection failed", kNoFile + "/srv/datos/007/varnex.fdb"},
        TextCase{"A4_host_alone",
                 "dbExpress Error: [0x0015]: Unable to complete network request to host \"srv01\".\n"
                 "Failed to establish a connection.",
                 kNoHost + "srv01"},
        TextCase{"A4_before_A5",
                 "dbExpress Error: Unable to complete network request to host \"srv02\"\nConnection failed",
                 kNoHost + "srv02"},
        TextCase{"A4_without_quotes", "dbExpress Error: Unable to complete network request to host srv03", kNoHost},
        TextCase{"A3_as_the_connection_reports_it",
                 "dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: I/O error during \"open\" "
                 "operation for file \"/srv/datos/DEMO/varnex.fdb\"\nError while trying to open file",
                 kNoFile + "/srv/datos/DEMO/varnex.fdb"},
        TextCase{"A4_as_the_connection_reports_it",
                 "dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: Unable to complete network "
                 "request to host \"srv7\".\nFailed to establish a connection.",
                 kNoHost + "srv7"},
        TextCase{"A2_as_the_connection_reports_it",
                 "dbExpress Error: [0x0015]: Connection failed\r\nSQL Server Error: Your user name and password "
                 "are not defined. Ask your database administrator to set up a Firebird login.",
                 kLogin},
        TextCase{"A5_connection_failed", "dbExpress Error: [0x0015]: Connection failed", kNoServer},
        TextCase{"A6_case_sensitive", "dbExpress Error: [0x0015]: connection failed",
                 kGeneral + "dbExpress Error: [0x0015]: connection failed"},
        TextCase{"A6_other", "dbExpress Error: [0x0001]: Operation not supported",
                 kGeneral + "dbExpress Error: [0x0001]: Operation not supported"},
        TextCase{"A6_exactly_dbExpress", "dbExpress", kGeneral + "dbExpress"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.label); });

// Case B: a provider's failed row. N comes from the provider's data set.
struct ProviderCase {
  const char* label;
  const char* dataSetName;
  std::string message;
  std::string expected;
};

void PrintTo(const ProviderCase& c, std::ostream* os) { *os << c.label; }

class ProviderTextTest : public ::testing::TestWithParam<ProviderCase> {};

TEST_P(ProviderTextTest, GivesTheSpanishText) {
  const ProviderCase& c = GetParam();
  TComponent dm(nullptr, "fdm");
  TComponent form(nullptr, "fconsopuntos");
  auto* query = new TSQLQuery(&dm, c.dataSetName);
  auto* provider = new TDataSetProvider(&form, std::string("P") + (c.dataSetName + 1));
  provider->DataSet = query;
  TClientDataSet delta(nullptr, "");
  EXPECT_EQ(ErrorText(provider, &delta, c.message), c.expected);
}

const std::string kPk =
    "violation of PRIMARY or UNIQUE KEY constraint \"PK_TERCEROS\" on table \"TERCEROS\"\n"
    "Problematic key value is (\"TERC_NIT\" = '800')";
const std::string kFk = "violation of FOREIGN KEY constraint \"FK_CLIENTES\" on table \"CLIENTES\"";

INSTANTIATE_TEST_SUITE_P(
    Rules, ProviderTextTest,
    ::testing::Values(
        ProviderCase{"B1_clientesd", "QClientesd", "SQL Server Error: " + kPk,
                     "Ya existe el registro en la tabla Clientesd"},
        ProviderCase{"B1_puntosacum", "QPuntosacum", "SQL Server Error: " + kPk,
                     "Ya existe el registro en la tabla Puntosacum"},
        ProviderCase{"B1_exactly_38_chars", "QClientesd", "SQL Server Error: violation of PRIMARY",
                     "Ya existe el registro en la tabla Clientesd"},
        ProviderCase{"B1_any_18_char_prefix", "QClientesd", "123456789012345678violation of PRIMARY key",
                     "Ya existe el registro en la tabla Clientesd"},
        ProviderCase{"B2_clientesd", "QClientesd", "SQL Server Error: " + kFk,
                     "Está borrando o insertando un registro en la tabla Clientesd que tiene una relación con otra "_l1
                     "tabla."},
        ProviderCase{"B2_puntosacum", "QPuntosacum", "SQL Server Error: " + kFk,
                     "Está borrando o insertando un registro en la tabla Puntosacum que tiene una relación con otra "_l1
                     "tabla."},
        ProviderCase{"B3_without_prefix", "QClientesd", kPk, kPk},
        ProviderCase{"B3_truncated_at_37", "QClientesd", "SQL Server Error: violation of PRIMAR",
                     "SQL Server Error: violation of PRIMAR"},
        ProviderCase{"B3_shorter_than_19", "QClientesd", "SQL Server Error: ", "SQL Server Error: "},
        ProviderCase{"B3_short", "QClientesd", "error", "error"}, ProviderCase{"B3_empty", "QClientesd", "", ""},
        ProviderCase{"B3_case_sensitive", "QClientesd", "SQL Server Error: Violation of PRIMARY key",
                     "SQL Server Error: Violation of PRIMARY key"},
        ProviderCase{"B3_other_server_text", "QPuntosacum",
                     "SQL Server Error: arithmetic exception, numeric overflow, or string truncation",
                     "SQL Server Error: arithmetic exception, numeric overflow, or string truncation"}),
    [](const ::testing::TestParamInfo<ProviderCase>& info) { return std::string(info.param.label); });

// Case C: a client dataset's failed edit, post or delete. The dataset here has
// no fields and no index, so the lists of C2 and C3 are empty.
class ClientTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(ClientTextTest, GivesTheSpanishText) {
  const TextCase& c = GetParam();
  TComponent form(nullptr, "fconsopuntos");
  auto* client = new TClientDataSet(&form, "CCliented");
  EXPECT_EQ(ErrorText(nullptr, client, c.message), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ClientTextTest,
    ::testing::Values(TextCase{"C1_master_detail", "Cannot delete master record with details",
                               "Error. Borre antes los detalles dependientes del registro."},
                      TextCase{"C1_exactly_30_chars", "Cannot delete master record wi",
                               "Error. Borre antes los detalles dependientes del registro."},
                      TextCase{"C4_29_chars_of_C1", "Cannot delete master record w", "Cannot delete master record w"},
                      TextCase{"C2_field", "Field 'TERC_NIT' must have a value", "Los campos  son obligatorios."},
                      TextCase{"C2_fie_alone", "Fie", "Los campos  son obligatorios."},
                      TextCase{"C3_key", "key violation", "Ya existe un registro con el mismo "},
                      TextCase{"C4_capital_key", "Key violation", "Key violation"},
                      TextCase{"C4_lowercase_field", "field required", "field required"},
                      TextCase{"C4_required_field_message", "Es necesario que el campo 'TERC_NIT' contenga algún valor"_l1,
                               "Es necesario que el campo 'TERC_NIT' contenga algún valor"_l1},
                      TextCase{"C4_empty", "", ""},
                      TextCase{"C4_dbexpress_texts_untranslated", "dbExpress Error: [0x0015]: Connection failed",
                               "dbExpress Error: [0x0015]: Connection failed"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.label); });

// The log line: date text, time text, an empty column, the raw message.
class LogLineTest : public ::testing::Test {
 protected:
  FormatSettings fs_;
};

TEST_F(LogLineTest, DateTimeEmptyColumnAndMessage) {
  const DateTime at{Date{2008, 12, 1}, Time{14, 5, 9, 0}};
  EXPECT_EQ(ErrorLogLine(at, at, "msg", fs_), "12/1/08,2:05:09 pm,,msg\r\n");
  EXPECT_EQ(ErrorLogLine(at, at, "", fs_), "12/1/08,2:05:09 pm,,\r\n");
  EXPECT_EQ(ErrorLogLine(at, at, "a, b\r\nc", fs_), "12/1/08,2:05:09 pm,,a, b\r\nc\r\n");
}

TEST_F(LogLineTest, DateFromTheFirstReadingTimeFromTheSecond) {
  const DateTime before{Date{2008, 12, 31}, Time{23, 59, 59, 9999}};
  const DateTime after{Date{2009, 1, 1}, Time{0, 0, 0, 0}};
  EXPECT_EQ(ErrorLogLine(before, after, "x", fs_), "12/31/08,12:00:00 am,,x\r\n");
}

TEST_F(LogLineTest, FollowsTheLocaleSettings) {
  fs_.dateSeparator = '-';
  fs_.timePMString = "p.m.";
  const DateTime at{Date{2008, 12, 1}, Time{14, 5, 9, 0}};
  EXPECT_EQ(ErrorLogLine(at, at, "m", fs_), "12-1-08,2:05:09 p.m.,,m\r\n");
}

}  // namespace
