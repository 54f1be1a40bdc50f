// The error reporter's rules with any server text.
//
// Properties: the dialog text is the one the rules give, each case (A: no
// dataset; B: a provider's row; C: a client dataset) with its rules in order
// and the first that holds deciding; and the log line is the date text, the
// time text, an empty column and the message unchanged, ended by CR LF.
#include <memory>
#include <string>
#include <vector>

#include "dbaccess/clientdataset.h"
#include "dbaccess/encoding.h"
#include "dbaccess/sqlconnection.h"
#include "dbaccess/textforms.h"
#include "dm/dm.h"
#include "dm/reporter.h"
#include "fuzz/fuzz_support.h"

using namespace dbx;

namespace {

// Texts the rules look for, so that the input reaches every rule.
const char* const kWords[] = {"dbExpress",
                              "dbExpress Error: ",
                              "[0x0015]: ",
                              "SQL Server Error: ",
                              "Your user name and password are not defined",
                              "I/O error for file",
                              "I/O error during",
                              "operation for file ",
                              "Unable to complete network request",
                              "Connection failed",
                              "\"",
                              "violation of PRIMARY",
                              "violation of FOREIGN",
                              "Cannot delete master record wi",
                              "Fie",
                              "key",
                              "\r\n"};

bool Contains(const std::string& m, const std::string& text) { return m.find(text) != std::string::npos; }

// The text between the first double quote at or after `from` and the next.
std::string Quoted(const std::string& m, std::size_t from) {
  const std::size_t open = m.find('"', from);
  if (open == std::string::npos) return {};
  const std::size_t close = m.find('"', open + 1);
  return close == std::string::npos ? std::string() : m.substr(open + 1, close - open - 1);
}

std::string CaseA(const std::string& m) {
  const std::string general = "Se presento el siguiente error: ";
  if (m.substr(0, 9) != "dbExpress") return general + m;                                      // A1
  if (Contains(m, "Your user name and password are not defined"))                              // A2
    return "El nombre de Usuario o la clave son incorrectas.";
  if (Contains(m, "I/O error for file")) return "No se encontró el archivo o la ruta "_l1 + Quoted(m, 0);  // A3
  // A3 as Firebird 3 words it: the path is quoted right after "operation for file ".
  if (Contains(m, "I/O error during") && Contains(m, "operation for file ")) {
    const std::size_t path = m.find("operation for file ") + 19;
    return "No se encontró el archivo o la ruta "_l1 + (path < m.size() && m[path] == '"' ? Quoted(m, path) : "");
  }
  if (Contains(m, "Unable to complete network request"))                                       // A4
    return "No se encontró el equipo servidor con nombre "_l1 + Quoted(m, 0);
  if (Contains(m, "Connection failed"))                                                        // A5
    return "No se encontró el servidor Interbase/Firebird. Verifique Servidor en panel de control y puerto TCP 3050."_l1;
  return general + m;                                                                          // A6
}

std::string CaseB(const std::string& n, const std::string& m) {
  const std::string p = m.size() >= 19 ? m.substr(18, 20) : std::string();
  if (p == "violation of PRIMARY") return "Ya existe el registro en la tabla " + n;
  if (p == "violation of FOREIGN")
    return "Está borrando o insertando un registro en la tabla "_l1 + n + " que tiene una relación con otra tabla."_l1;
  return m;
}

std::string CaseC(const std::string& requiredNullFields, const std::string& m) {
  const std::string p = m.substr(0, 30);
  if (p == "Cannot delete master record wi") return "Error. Borre antes los detalles dependientes del registro.";
  if (p.substr(0, 3) == "Fie") return "Los campos " + requiredNullFields + " son obligatorios.";
  if (p.substr(0, 3) == "key") return "Ya existe un registro con el mismo ";  // no client dataset has an index
  return m;
}

std::string ConsumeMessage(FuzzedDataProvider& in) {
  std::string m;
  const int pieces = in.ConsumeIntegralInRange(0, 6);
  for (int i = 0; i < pieces; ++i)
    m += in.ConsumeBool() ? std::string(kWords[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kWords) - 1)])
                          : fuzz::ConsumeBytes(in, 24);
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string message = ConsumeMessage(in);

  // Case A, with and without a sender.
  TComponent sender(nullptr, "Cia");
  const std::string a = ErrorText(nullptr, nullptr, message);
  FUZZ_CHECK(a == CaseA(message), "case A (no dataset)", fuzz::Escaped(message) + "\ngave " + fuzz::Escaped(a));
  FUZZ_CHECK(ErrorText(&sender, nullptr, message) == a, "the sender of an unhandled exception plays no part",
             fuzz::Escaped(message));

  // Case B: a provider whose data set has any name.
  {
    TComponent dm(nullptr, "fdm");
    const std::string queryName = fuzz::ConsumeBytes(in, 12);
    auto* query = new TSQLQuery(&dm, queryName);
    auto* provider = new TDataSetProvider(&dm, "PCliented");
    provider->DataSet = query;
    TClientDataSet delta(nullptr, "");
    const std::string n = queryName.empty() ? std::string() : queryName.substr(1);
    const std::string b = ErrorText(provider, &delta, message);
    FUZZ_CHECK(b == CaseB(n, message), "case B (a provider's failed row)",
               fuzz::Escaped(message) + "\ngave " + fuzz::Escaped(b));
  }

  // Case C: a client dataset with any fields, some required; no row, so every
  // field is null.
  {
    TComponent form(nullptr, "fconsopuntos");
    auto* client = new TClientDataSet(&form, "CCliented");
    std::string required;
    const int fields = in.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < fields; ++i) {
      FieldDesc desc;
      desc.name = fuzz::ConsumeBytes(in, 10);
      desc.type = ftString;
      desc.size = 20;
      desc.required = in.ConsumeBool();
      if (desc.required) required += desc.name + ", ";
      (void)client->DeclareField("CCliented" + std::to_string(i), desc);
    }
    const std::string c = ErrorText(nullptr, client, message);
    FUZZ_CHECK(c == CaseC(required, message), "case C (a client dataset's failed edit, post or delete)",
               fuzz::Escaped(message) + "\ngave " + fuzz::Escaped(c));
  }

  // The log line.
  const DateTime date{fuzz::ConsumeDate(in, true), fuzz::ConsumeTime(in, true)};
  const DateTime time{fuzz::ConsumeDate(in, true), fuzz::ConsumeTime(in, true)};
  const FormatSettings& fs = DefaultFormatSettings();
  FUZZ_CHECK(ErrorLogLine(date, time, message, fs) == DateToStr(date, fs) + "," + TimeToStr(time, fs) + ",," + message +
                 "\r\n",
             "the log line", fuzz::Escaped(message));
  return 0;
}
