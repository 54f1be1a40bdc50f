// The error reporter end to end: the log in the working directory, the beep
// and the dialog, and the three routes by which failures reach it.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "dbaccess/clientdataset.h"
#include "dbaccess/errors.h"
#include "dbaccess/textforms.h"
#include "dm/application.h"
#include "dm/dm.h"
#include "support/context.h"
#include "support/files.h"
#include "dbaccess/encoding.h"

using namespace dbx;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

const std::string kConnectionFailed = "dbExpress Error: [0x0015]: Connection failed";
const std::string kNoServer =
    "No se encontró el servidor Interbase/Firebird. Verifique Servidor en panel de control y puerto TCP 3050."_l1;

// Splits a log into its CR LF-ended lines; a rest without CR LF is returned as
// a last element.
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t end; (end = log.find("\r\n", from)) != std::string::npos; from = end + 2)
    lines.push_back(log.substr(from, end - from));
  if (from < log.size()) lines.push_back(log.substr(from));
  return lines;
}

// A log line made now for the message: today's date text, a time text, and
// ",," before the message.
void ExpectLogLineOf(const std::string& line, const std::string& message) {
  const std::string today = DateToStr(Now(), DefaultFormatSettings());
  EXPECT_EQ(line.substr(0, today.size() + 1), today + ",") << line;
  ASSERT_GE(line.size(), message.size() + 2);
  EXPECT_EQ(line.substr(line.size() - message.size() - 2), ",," + message) << line;
  // Only the time text stands between the date and the empty column.
  const std::string time = line.substr(today.size() + 1, line.size() - message.size() - 2 - today.size() - 1);
  EXPECT_FALSE(time.empty());
  EXPECT_EQ(time.find(','), std::string::npos) << line;
}

class ReporterTest : public ::testing::Test {
 protected:
  testsupport::WorkDir dir_;
  testsupport::RecordingContext context_;
  Tfdm dm_{context_};

  [[nodiscard]] std::string Log() const { return testsupport::ReadLog(dir_.path() / "ERRORES.TXT"); }
  [[nodiscard]] bool LogExists() const { return std::filesystem::exists(dir_.path() / "ERRORES.TXT"); }
};

TEST_F(ReporterTest, LogsTheRawMessageThenBeepsAndShowsTheText) {
  TResolverResponse response = rrSkip;
  dm_.ManejarError(nullptr, nullptr, EDatabaseError(kConnectionFailed), ukModify, response);

  EXPECT_EQ(response, rrAbort);
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"beep", "error:" + kNoServer}));
  const auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 1u);
  ExpectLogLineOf(lines[0], kConnectionFailed);
  EXPECT_EQ(Log().substr(Log().size() - 2), "\r\n");
}

TEST_F(ReporterTest, AppendsToAnExistingLogInReportOrder) {
  WriteFile(dir_.path() / "ERRORES.TXT", "1/1/08,9:00:00 am,,earlier\r\n");
  TResolverResponse response = rrSkip;
  dm_.ManejarError(nullptr, nullptr, std::runtime_error("first"), ukInsert, response);
  dm_.ManejarError(nullptr, nullptr, std::runtime_error("second, with a comma"), ukInsert, response);

  const auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "1/1/08,9:00:00 am,,earlier");
  ExpectLogLineOf(lines[1], "first");
  ExpectLogLineOf(lines[2], "second, with a comma");
}

TEST_F(ReporterTest, EmptyMessageIsLoggedAsAnEmptyColumn) {
  TClientDataSet client(nullptr, "CCliented");
  TResolverResponse response = rrSkip;
  dm_.ManejarError(nullptr, &client, EDatabaseError(""), ukInsert, response);
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"beep", "error:"}));
  const auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 2), ",,");
}

TEST_F(ReporterTest, UnwritableLogStillShowsTheDialog) {
  // A directory in the log's place: no file can be opened, whoever runs this.
  std::filesystem::create_directory(dir_.path() / "ERRORES.TXT");
  TResolverResponse response = rrSkip;
  EXPECT_NO_THROW(dm_.ManejarError(nullptr, nullptr, EDatabaseError(kConnectionFailed), ukInsert, response));
  EXPECT_EQ(response, rrAbort);
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"beep", "error:" + kNoServer}));
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path() / "ERRORES.TXT"));
}

TEST_F(ReporterTest, ClientErrorAbortsAndReportsCaseC) {
  TComponent form(nullptr, "fconsopuntos");
  auto* client = new TClientDataSet(&form, "CCliented");
  TDataAction action = daFail;
  dm_.ManejarClientError(*client, EDatabaseError("Field 'TERC_NIT' must have a value"), action);
  EXPECT_EQ(action, daAbort);
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"beep", "error:Los campos  son obligatorios."}));
  const auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 1u);
  ExpectLogLineOf(lines[0], "Field 'TERC_NIT' must have a value");
}

TEST_F(ReporterTest, ProviderErrorReportsCaseB) {
  TComponent form(nullptr, "fconsopuntos");
  auto* provider = new TDataSetProvider(&form, "PCliented");
  provider->DataSet = dm_.QClientesd;
  TClientDataSet delta(nullptr, "");
  const std::string message = "SQL Server Error: violation of PRIMARY or UNIQUE KEY constraint \"PK_CLIENTES\"";
  TResolverResponse response = rrSkip;
  dm_.ManejarError(provider, &delta, EUpdateError(message, 1, 0), ukInsert, response);
  EXPECT_EQ(response, rrAbort);
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{"beep", "error:Ya existe el registro en la tabla Clientesd"}));
  const auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 1u);
  ExpectLogLineOf(lines[0], message);
}

TEST_F(ReporterTest, UnhandledExceptionsReachTheReporterThroughTheApplication) {
  TComponent sender(nullptr, "SpeedButton1");
  context_.Application.HandleException(&sender, EOleException("SQL Server Error: table unknown"));
  EXPECT_EQ(context_.ui.events, (std::vector<std::string>{
                            "beep", "error:Se presento el siguiente error: SQL Server Error: table unknown"}));

  bool after = false;
  context_.Application.Run(&sender, [&] {
    throw EDatabaseError("dbExpress Error: Unable to complete network request to host \"srv9\"");
    after = true;
  });
  EXPECT_FALSE(after);
  ASSERT_EQ(context_.ui.events.size(), 4u);
  EXPECT_EQ(context_.ui.events[2], "beep");
  EXPECT_EQ(context_.ui.events[3], "error:No se encontró el equipo servidor con nombre srv9"_l1);

  // Exceptions raised inside the dataset layer's own event handlers.
  dm_.CClientes->OnHandlerException(nullptr, EConvertError("'x' no es una fecha válida"_l1));
  ASSERT_EQ(context_.ui.events.size(), 6u);
  EXPECT_EQ(context_.ui.events[5], "error:Se presento el siguiente error: 'x' no es una fecha válida"_l1);

  const auto lines = LogLines(Log());
  ASSERT_EQ(lines.size(), 3u);
  ExpectLogLineOf(lines[0], "SQL Server Error: table unknown");
  ExpectLogLineOf(lines[1], "dbExpress Error: Unable to complete network request to host \"srv9\"");
  ExpectLogLineOf(lines[2], "'x' no es una fecha válida"_l1);
}

TEST_F(ReporterTest, SilentAbortIsDropped) {
  bool after = false;
  context_.Application.Run(nullptr, [&] {
    throw EAbort();
    after = true;
  });
  context_.Application.HandleException(nullptr, EAbort());
  dm_.CClientes->OnHandlerException(nullptr, EAbort());
  EXPECT_FALSE(after);
  EXPECT_TRUE(context_.ui.events.empty());
  EXPECT_FALSE(LogExists());
}

TEST_F(ReporterTest, HandlerThatDoesNotThrowIsNotReported) {
  int calls = 0;
  context_.Application.Run(nullptr, [&] { ++calls; });
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(context_.ui.events.empty());
  EXPECT_FALSE(LogExists());
}

}  // namespace
