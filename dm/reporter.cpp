#include "dm/reporter.h"

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"
#include "dbaccess/provider.h"
#include "dm/platform.h"

using namespace dbx;
using namespace dbx::literals;

namespace {

// The text between the first double quote at or after `from`
// and the next one; empty when there are fewer than two.
std::string QuotedAfter(const std::string& m, std::size_t from) {
  const auto open = m.find('"', from);
  if (open == std::string::npos) return {};
  const auto close = m.find('"', open + 1);
  if (close == std::string::npos) return {};
  return m.substr(open + 1, close - open - 1);
}

bool Contains(const std::string& m, const char* text) { return m.find(text) != std::string::npos; }

std::string CaseA(const std::string& m) {
  const std::string general = "Se presento el siguiente error: ";
  if (m.compare(0, kDbExpressWord.size(), kDbExpressWord) != 0) return general + m;
  if (Contains(m, "Your user name and password are not defined"))
    return "El nombre de Usuario o la clave son incorrectas.";
  if (Contains(m, "I/O error for file")) return "No se encontró el archivo o la ruta "_l1 + QuotedAfter(m, 0);
  // Firebird 3 words it: I/O error during "open" operation for file "PATH".
  // The path is the quoted text right after "for file ".
  static const std::string kForFile = "operation for file ";
  if (const auto forFile = m.find(kForFile); Contains(m, "I/O error during") && forFile != std::string::npos) {
    const auto path = forFile + kForFile.size();
    return "No se encontró el archivo o la ruta "_l1 +
           (path < m.size() && m[path] == '"' ? QuotedAfter(m, path) : std::string());
  }
  if (Contains(m, "Unable to complete network request"))
    return "No se encontró el equipo servidor con nombre "_l1 + QuotedAfter(m, 0);
  if (Contains(m, "Connection failed"))
    return "No se encontró el servidor Interbase/Firebird. Verifique Servidor en panel de control y puerto TCP 3050."_l1;
  return general + m;
}

std::string CaseB(const TComponent* sender, const std::string& m) {
  // The server's text, after the frame of a statement the server rejected.
  const std::string p = m.size() > kSqlServerError.size() ? m.substr(kSqlServerError.size(), 20) : std::string();
  std::string n;
  if (const auto* provider = dynamic_cast<const TDataSetProvider*>(sender);
      provider != nullptr && provider->DataSet != nullptr && !provider->DataSet->Name().empty())
    n = provider->DataSet->Name().substr(1);
  if (p == "violation of PRIMARY") return "Ya existe el registro en la tabla " + n;
  if (p == "violation of FOREIGN")
    return "Está borrando o insertando un registro en la tabla "_l1 + n + " que tiene una relación con otra tabla."_l1;
  return m;
}

std::string CaseC(const TClientDataSet& dataSet, const std::string& m) {
  const std::string p = m.substr(0, 30);
  if (p == "Cannot delete master record wi") return "Error. Borre antes los detalles dependientes del registro.";
  if (p.compare(0, 3, "Fie") == 0) {
    std::string list;
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
      const TField& f = dataSet.Fields(i);
      if (f.Required() && f.IsNull()) list += f.FieldName() + ", ";
    }
    return "Los campos " + list + " son obligatorios.";
  }
  if (p.compare(0, 3, "key") == 0) {
    std::string list;
    for (const TField* f : dataSet.IndexFields()) list += f->FieldName() + " ";
    return "Ya existe un registro con el mismo " + list;
  }
  return m;
}

}  // namespace

std::string ErrorText(const TComponent* Sender, const TClientDataSet* DataSet, const std::string& message) {
  if (DataSet == nullptr) return CaseA(message);
  if (Sender != nullptr) return CaseB(Sender, message);
  return CaseC(*DataSet, message);
}

std::string ErrorLogLine(const DateTime& date, const DateTime& time, const std::string& message,
                         const FormatSettings& fs) {
  return DateToStr(date, fs) + "," + TimeToStr(time, fs) + ",," + message + "\r\n";
}

void AppendErrorLog(const std::string& message, const FormatSettings& fs) noexcept {
  try {
    const DateTime date = Now();  // the date first, the time from a second reading
    const DateTime time = Now();
    platform::AppendToLog("\\ERRORES.TXT", ErrorLogLine(date, time, message, fs));
  } catch (...) {
  }
}

void ReportError(const TContext& context, const TComponent* Sender, const TClientDataSet* DataSet,
                 const std::exception& E) {
  const std::string message = E.what();
  AppendErrorLog(message, context.Formats);
  const std::string text = ErrorText(Sender, DataSet, message);
  // Standard error also says which database a lost connection or a lock
  // (one waited on past EsperaBloqueo, or a conflict) was on.
  const TServerError server = ServerErrorOf(E);
  if (!server.database.empty()) {
    if (server.category == TErrorCategory::kConnectionLost)
      ReportLine(context.Application.Title + ": se perdió la conexión con la base de datos "_l1 + server.database);
    else if (server.category == TErrorCategory::kLockConflict)
      ReportLine(context.Application.Title + ": un bloqueo de otra transacción detuvo el trabajo en la base de datos "_l1 +
                 server.database);
  }
  context.Ui().Beep();
  // Where the rules put their own text, the line on standard error keeps
  // what the server said too.
  context.Ui().ErrorDialog(text, text.find(message) == std::string::npos ? message : std::string());
}
