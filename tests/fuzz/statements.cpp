// The SQL quoting and the statement texts of the run, built from values of
// every type a dataset holds.
//
// Properties:
// - a quoted text reads back, as one Firebird string literal, as exactly the
//   text's bytes, and nothing of it stands outside the literal;
// - every statement the run builds is one statement (every literal closed, no
//   ';', comment or double quote outside the literals), reads exactly as its
//   fixed text with the values in their places, and each value reads back as
//   itself: text byte for byte, numbers and dates by value;
// - only a double that is not finite keeps a statement from being built, and
//   then with a conversion error;
// - the run's statements are taken into blocks (the batch's one-statement
//   test accepts them), and any text that test accepts has every literal and
//   quoted name closed and no ';' or comment outside them.
#include <cmath>
#include <string>
#include <vector>

#include "consopuntos/transmision.h"
#include "dbaccess/sqltext.h"
#include "dbaccess/batch.h"
#include "dbaccess/errors.h"
#include "dbaccess/textforms.h"
#include "fuzz/fuzz_support.h"

using namespace dbx;
using fuzz::SqlPart;

namespace {

void CheckStatement(const std::string& sql, const std::vector<SqlPart>& parts) {
  std::string why;
  FUZZ_CHECK(fuzz::IsOneStatement(sql, why), "a statement built from any values is one statement",
             why + "\n" + fuzz::Escaped(sql));
  FUZZ_CHECK(fuzz::Matches(sql, parts, why), "the values stand in their places and read back as themselves",
             why + "\n" + fuzz::Escaped(sql));
}

bool NotFinite(const Variant& v) {
  const auto* d = std::get_if<double>(&v);
  return d != nullptr && !std::isfinite(*d);
}

// Builds a statement from values; when a value is a double that is not
// finite, the only failure allowed is the conversion error.
template <typename Build>
bool Built(Build build, std::string& sql, std::initializer_list<const Variant*> values) {
  bool notFinite = false;
  for (const Variant* v : values) notFinite = notFinite || NotFinite(*v);
  try {
    sql = build();
  } catch (const EConvertError&) {
    FUZZ_CHECK(notFinite, "only a double that is not finite fails to convert", "");
    return false;
  }
  FUZZ_CHECK(!notFinite, "a double that is not finite is never written into a statement", fuzz::Escaped(sql));
  return true;
}

const char* const kTablas[] = {"TERCEROS", "CLIENTES"};

// Whether joining the text after others, each ended by ';', keeps it one
// statement: literals ('...') and quoted names ("...") closed, a doubled
// quote standing for itself, and no ';', "--" or "/*" outside them.
bool JoinsAsOne(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ';') return false;
    if ((c == '-' || c == '/') && i + 1 < text.size() && text[i + 1] == (c == '-' ? '-' : '*')) return false;
    if (c != '\'' && c != '"') continue;
    for (++i;; ++i) {
      if (i >= text.size()) return false;
      if (text[i] != c) continue;
      if (i + 1 < text.size() && text[i + 1] == c) {
        ++i;
        continue;
      }
      break;
    }
  }
  return true;
}

void CheckJoined(const std::string& sql) {
  FUZZ_CHECK(dbx::IsOneStatement(sql), "the run's statements go into blocks", fuzz::Escaped(sql));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string tabla = kTablas[in.ConsumeBool() ? 1 : 0];

  // SQL quoting of any bytes, alone and inside a statement.
  const std::string text = fuzz::ConsumeBytes(in, 256);
  if (dbx::IsOneStatement(text))
    FUZZ_CHECK(JoinsAsOne(text), "a text the batch joins is one statement", fuzz::Escaped(text));
  CheckStatement(QuotedStr(text), {fuzz::Literal(text)});
  CheckStatement("SELECT 1 FROM RDB$DATABASE WHERE '' = " + QuotedStr(text),
                 {fuzz::Fixed("SELECT 1 FROM RDB$DATABASE WHERE "), fuzz::Literal(""), fuzz::Fixed(" = "),
                  fuzz::Literal(text)});

  // The transmission date, quoted.
  const Date date = fuzz::ConsumeDate(in);
  const std::string fecha = SqlDate(date);
  const SqlPart fechaPart = fuzz::PartOfValue(Variant(date));
  CheckStatement(fecha, {fechaPart});

  const Variant clave = fuzz::ConsumeVariant(in);
  const Variant a = fuzz::ConsumeVariant(in);
  const Variant b = fuzz::ConsumeVariant(in);
  const Variant c = fuzz::ConsumeVariant(in);

  CheckStatement(SeleccionAuditada(tabla, fecha),
                 {fuzz::Fixed("SELECT * FROM " + tabla +
                              " T WHERE EXISTS (SELECT AUDI_ID FROM AUDITORIA WHERE TIDO_COD = 103 AND AUDI_COD = "
                              "T.TERC_NIT AND AUDI_FECHA = "),
                  fechaPart, fuzz::Fixed(" AND AUDI_OPER = "), fuzz::Literal("I"), fuzz::Fixed(")")});
  CheckStatement(SeleccionPlantilla(tabla),
                 {fuzz::Fixed("SELECT * FROM " + tabla + " WHERE TERC_NIT = "), fuzz::Literal("0")});
  CheckStatement(ResumenPuntos(fecha),
                 {fuzz::Fixed("SELECT * FROM RESUMEN_PUNTOS_TX("), fechaPart, fuzz::Fixed(")")});

  std::string sql;
  if (Built([&] { return SondaExistencia(tabla, clave); }, sql, {&clave})) {
    CheckStatement(sql, {fuzz::Fixed("SELECT TERC_NIT FROM " + tabla + " WHERE TERC_NIT = "), fuzz::PartOfKey(clave)});
    CheckJoined(sql);
  }
  FUZZ_CHECK(TextoSonda(tabla) == "SELECT TERC_NIT FROM " + tabla + " WHERE TERC_NIT = ", "the probe text", tabla);

  if (Built([&] { return LlamadaAcumulacion(clave, fecha, a, b); }, sql, {&clave, &a, &b})) {
    CheckStatement(sql, {fuzz::Fixed("EXECUTE PROCEDURE ACTUALIZA_PUNTOS_ACUMULADOS("), fuzz::PartOfValue(clave),
                         fuzz::Fixed(", "), fechaPart, fuzz::Fixed(","), fuzz::PartOfValue(a), fuzz::Fixed(","),
                         fuzz::PartOfValue(b), fuzz::Fixed(")")});
    CheckJoined(sql);
  }

  if (Built([&] { return InsercionAcumulado(clave, a, b, c); }, sql, {&clave, &a, &b, &c})) {
    CheckStatement(sql, {fuzz::Fixed("INSERT INTO puntos_cliente_acumulado (TERC_NIT, PTCA_FECHA, PTCA_ACUMULADO, "
                                     "PTCA_PORVENCER) VALUES ("),
                         fuzz::PartOfKey(clave), fuzz::Fixed(","), fuzz::PartOfValue(a), fuzz::Fixed(","),
                         fuzz::PartOfValue(b), fuzz::Fixed(","), fuzz::PartOfValue(c), fuzz::Fixed(")")});
    CheckJoined(sql);
  }

  // Every value alone, as a literal form and as a key.
  for (const Variant* v : {&clave, &a, &b, &c}) {
    if (Built([&] { return SqlLiteral(*v); }, sql, {v})) {
      CheckStatement(sql, {fuzz::PartOfValue(*v)});
      // A block binds the value the literal stands for: written as a literal
      // again, it is the same literal.
      Variant bound;
      FUZZ_CHECK(LiteralValue(sql, bound) && SqlLiteral(bound) == sql, "a literal's value is the literal's",
                 fuzz::Escaped(sql));
    }
    if (Built([&] { return SqlQuotedKey(*v); }, sql, {v})) CheckStatement(sql, {fuzz::PartOfKey(*v)});
  }
  return 0;
}
