#include "dbaccess/sqltext.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"
#include "dbaccess/textforms.h"

namespace dbx {

// ---- Literals -------------------------------------------------------------------

std::string QuotedStr(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

std::string SqlQuotedKey(const Variant& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return QuotedStr(*text);
  if (IsNull(value)) return QuotedStr({});
  std::string literal = SqlLiteral(value);
  return literal.front() == '\'' ? literal : QuotedStr(literal);
}

std::string SqlDate(const Date& value) {
  char buffer[48];  // room for three ints of any value and the quotes
  std::snprintf(buffer, sizeof buffer, "'%04d-%02d-%02d'", value.year, value.month, value.day);
  return buffer;
}

namespace {

std::string SqlTimeBody(const Time& t) {
  char buffer[48];  // room for three ints of any value
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  std::string out = buffer;
  if (t.fraction != 0) {
    std::snprintf(buffer, sizeof buffer, "%04d", t.fraction);
    std::string fraction = buffer;
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    out += '.' + fraction;
  }
  return out;
}

}  // namespace

std::string SqlLiteral(const Variant& value) {
  struct Visitor {
    std::string operator()(Null) const { return "NULL"; }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const {
      if (!std::isfinite(v))
        throw EConvertError(Fmt("'%s' no es un valor de punto flotante válido"_l1, FloatToStr(v, '.')));
      char buffer[64];
      const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);  // shortest text that reads back the same
      return std::string(buffer, r.ptr);
    }
    std::string operator()(const Decimal& v) const { return DecimalToStr(v, '.'); }
    std::string operator()(const std::string& v) const { return QuotedStr(v); }
    std::string operator()(const Date& v) const { return SqlDate(v); }
    std::string operator()(const Time& v) const { return "'" + SqlTimeBody(v) + "'"; }
    std::string operator()(const DateTime& v) const {
      std::string date = SqlDate(v.date);
      date.pop_back();
      return date + " " + SqlTimeBody(v.time) + "'";
    }
  };
  return std::visit(Visitor{}, value);
}


bool LiteralValue(const std::string& literal, Variant& value) {
  if (literal == "NULL") {
    value = Null{};
    return true;
  }
  if (!literal.empty() && literal.front() == '\'') {
    if (literal.size() < 2 || literal.back() != '\'') return false;
    std::string text;
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
      if (literal[i] == '\'') {
        if (i + 2 >= literal.size() || literal[i + 1] != '\'') return false;
        ++i;
      }
      text += literal[i];
    }
    value = std::move(text);
    return true;
  }
  const char* begin = literal.data();
  const char* end = begin + literal.size();
  if (literal.find_first_of("eE") != std::string::npos) {
    double d = 0;
    const auto r = std::from_chars(begin, end, d);
    if (r.ec != std::errc() || r.ptr != end) return false;
    value = d;
    return true;
  }
  // An exact number: digits with, perhaps, a sign and a point.
  const bool negative = !literal.empty() && literal.front() == '-';
  std::string digits;
  int scale = 0;
  bool point = false;
  for (std::size_t i = negative ? 1 : 0; i < literal.size(); ++i) {
    const char c = literal[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
      if (point) ++scale;
    } else {
      return false;
    }
  }
  if (digits.empty()) return false;
  std::uint64_t magnitude = 0;
  const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;  // 2^63: exact only with a minus before it
  if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || magnitude > kLimit ||
      (magnitude == kLimit && !negative)) {
    // Beyond 64 bits the server takes the number as a double.
    double d = 0;
    if (std::from_chars(begin, end, d).ec != std::errc()) return false;
    value = d;
    return true;
  }
  const std::int64_t unscaled =
      negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  if (point)
    value = Decimal{unscaled, scale, 18};
  else
    value = unscaled;
  return true;
}

// ---- Scanning -------------------------------------------------------------------

bool IsSqlNameChar(char c) noexcept {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) != 0 || c == '_' || c == '$' || u >= 0x80;
}

std::size_t SkipSqlBlanksAndComments(const std::string& sql, std::size_t pos) {
  for (;;) {
    while (pos < sql.size() && static_cast<unsigned char>(sql[pos]) <= 32) ++pos;
    if (sql.compare(pos, 2, "--") == 0) {
      while (pos < sql.size() && sql[pos] != '\n') ++pos;
    } else if (sql.compare(pos, 2, "/*") == 0) {
      const std::size_t end = sql.find("*/", pos + 2);
      pos = end == std::string::npos ? sql.size() : end + 2;
    } else {
      return pos;
    }
  }
}

bool IsSelectText(const std::string& text) {
  const std::size_t i = SkipSqlBlanksAndComments(text, 0);
  const std::size_t n = 6;  // "SELECT"
  return SameText(text.substr(i, n), "SELECT") && (i + n == text.size() || !IsSqlNameChar(text[i + n]));
}

bool IsOneStatement(const std::string& text) {
  bool any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ';') return false;
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') return false;
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') return false;
    if (c == '\'' || c == '"') {
      // A literal or a quoted name: a doubled quote stands for itself.
      if ((c == '\'') && i > 0 && (text[i - 1] == 'q' || text[i - 1] == 'Q') && (i < 2 || !IsSqlNameChar(text[i - 2])))
        return false;  // an alternative-quote literal: not ours
      std::size_t j = i + 1;
      for (;; ++j) {
        if (j >= text.size()) return false;
        if (text[j] == c) {
          if (j + 1 < text.size() && text[j + 1] == c) {
            ++j;
            continue;
          }
          break;
        }
      }
      i = j;
      any = true;
      continue;
    }
    if (static_cast<unsigned char>(c) > 32) any = true;
  }
  return any;
}

// ---- The apply's INSERT -------------------------------------------------------------

namespace {

bool IsQuoteChar(char c) { return c == '"' || c == '\'' || c == '`'; }

// A minimal SQL tokenizer: names, quoted names, literals and single symbols.
struct Token {
  enum Kind { kEnd, kName, kQuotedName, kLiteral, kSymbol } kind = kEnd;
  std::string text;
};

class SqlTokenizer {
 public:
  explicit SqlTokenizer(const std::string& sql) : sql_(sql) {}

  Token Next() {
    SkipBlanksAndComments();
    Token t;
    if (pos_ >= sql_.size()) return t;
    const char c = sql_[pos_];
    if (c == '"' || c == '`' || c == '\'') {
      t.kind = c == '\'' ? Token::kLiteral : Token::kQuotedName;
      ++pos_;
      while (pos_ < sql_.size()) {
        if (sql_[pos_] == c) {
          if (pos_ + 1 < sql_.size() && sql_[pos_ + 1] == c) {  // doubled quote inside
            t.text += c;
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        t.text += sql_[pos_++];
      }
      return t;
    }
    if (IsSqlNameChar(c)) {
      t.kind = Token::kName;
      while (pos_ < sql_.size() && IsSqlNameChar(sql_[pos_])) t.text += sql_[pos_++];
      return t;
    }
    t.kind = Token::kSymbol;
    t.text = std::string(1, c);
    ++pos_;
    return t;
  }

  // True when the next character, without skipping anything, is c.
  [[nodiscard]] bool At(char c) const { return pos_ < sql_.size() && sql_[pos_] == c; }
  void Skip() { ++pos_; }

 private:
  void SkipBlanksAndComments() { pos_ = SkipSqlBlanksAndComments(sql_, pos_); }

  const std::string& sql_;
  std::size_t pos_ = 0;
};

}  // namespace

std::string TableNameFromSQL(const std::string& sql) {
  SqlTokenizer tokens(sql);
  Token t;
  do {
    t = tokens.Next();
  } while (t.kind != Token::kEnd && !(t.kind == Token::kName && SameText(t.text, "FROM")));
  if (t.kind == Token::kEnd) return {};
  // The first name after FROM; symbols such as "(" in between are passed over.
  for (;;) {
    t = tokens.Next();
    if (t.kind == Token::kEnd) return {};
    if (t.kind == Token::kName || t.kind == Token::kQuotedName) break;
  }
  std::string name = t.text;
  while (tokens.At('.')) {
    tokens.Skip();
    const Token part = tokens.Next();
    if (part.kind != Token::kName && part.kind != Token::kQuotedName) break;
    name += "." + part.text;
  }
  return name;
}

std::string QuoteTableName(const std::string& table, const std::string& quote) {
  if (table.empty() || IsQuoteChar(table.front()) || IsQuoteChar(table.back())) return table;
  std::string out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = table.find('.', start);
    out += quote + table.substr(start, dot == std::string::npos ? std::string::npos : dot - start) + quote;
    if (dot == std::string::npos) break;
    out += '.';
    start = dot + 1;
  }
  return out;
}

std::string InsertSQL(const std::string& quotedTable, const std::vector<std::string>& quotedColumns,
                      const std::vector<std::string>& markers) {
  std::string columns;
  std::string marks;
  for (std::size_t i = 0; i < quotedColumns.size(); ++i) {
    if (i > 0) {
      columns += ", ";
      marks += ", ";
    }
    columns += quotedColumns[i];
    marks += i < markers.size() ? markers[i] : std::string("?");
  }
  return "insert into " + quotedTable + "\r\n  (" + columns + ")\r\nvalues\r\n  (" + marks + ")\r\n";
}

// ---- Statements that run row after row ------------------------------------------------

std::string ShapeText(const TRowShape& shape, const std::vector<std::string>& markers) {
  std::string text;
  for (std::size_t i = 0; i < shape.texts.size(); ++i) {
    text += shape.texts[i];
    if (i < shape.Slots()) text += i < markers.size() ? markers[i] : std::string("?");
  }
  return text;
}

std::string RowText(const TRowShape& shape, const std::vector<Variant>& values) {
  std::vector<std::string> literals;
  literals.reserve(shape.Slots());
  for (std::size_t i = 0; i < shape.Slots(); ++i) {
    static const Variant kNull;
    const Variant& v = i < values.size() ? values[i] : kNull;
    switch (shape.forms[i]) {
      case TSlotForm::kLiteral:
        literals.push_back(SqlLiteral(v));
        break;
      case TSlotForm::kQuotedKey:
        literals.push_back(SqlQuotedKey(v));
        break;
      case TSlotForm::kParameter:
        literals.emplace_back("?");
        break;
    }
  }
  return ShapeText(shape, literals);
}

std::string SqlTypeName(const FieldDesc& type, const std::string& charset) {
  switch (type.type) {
    case ftSmallint:
      return "SMALLINT";
    case ftInteger:
      return "INTEGER";
    case ftLargeint:
      return "BIGINT";
    case ftBCD:
    case ftFMTBcd:
      return "NUMERIC(18," + std::to_string(type.scale) + ")";
    case ftFloat:
      return "DOUBLE PRECISION";
    case ftDate:
      return "DATE";
    case ftTime:
      return "TIME";
    case ftTimeStamp:
      return "TIMESTAMP";
    case ftBoolean:
      return "BOOLEAN";
    case ftString:
      return std::string(type.fixedChar ? "CHAR(" : "VARCHAR(") + std::to_string(std::max(type.size, 1)) +
             ") CHARACTER SET " + charset;
    default:
      return {};
  }
}

// ---- Blocks ---------------------------------------------------------------------------

namespace {

// Names inside a block; "$" keeps them apart from the names of the
// statements' own tables and columns.
const char* const kRow = "LOTE$FILA";
const char* const kFound = "LOTE$HALLADAS";
const char* const kParameter = "LOTE$P";
const char* const kKey = "LOTE$K";

// The longest text bound as a parameter (the longest VARCHAR).
constexpr std::size_t kMaxBoundText = 32765;

// A text's declaration, as a literal is typed (a text of the attachment's
// character set); its length is rounded up so that blocks of texts of like
// lengths have one text.
std::string TextType(std::size_t length, const std::string& charset) {
  std::size_t declared = 32;
  while (declared < length) declared *= 2;
  declared = std::min(declared, kMaxBoundText);
  return "VARCHAR(" + std::to_string(declared) + ") CHARACTER SET " + charset;
}

// Text of one statement of a block, numbered from 1: it runs while no
// statement before it has stopped the block; a failure undoes it alone and
// stops the block there.
std::string Piece(const std::string& statement, const std::string& guard, bool oneRow, std::size_t number) {
  const std::string row = kRow;
  const std::string found = kFound;
  const std::string n = std::to_string(number);
  std::string piece = "  IF (" + row + " = 0) THEN\r\n  BEGIN\r\n";
  std::string indent = "    ";
  if (!guard.empty()) {
    piece += "    IF (EXISTS(" + guard + ")) THEN " + found + " = " + found + " || '1';\r\n    ELSE\r\n    BEGIN\r\n";
    indent = "      ";
  }
  piece += indent + statement + ";\r\n";
  // An INSERT that wrote no row, or more than one, fails as the apply's does.
  if (oneRow) piece += indent + "IF (ROW_COUNT <> 1) THEN " + row + " = 1 / 0;\r\n";
  piece += indent + found + " = " + found + " || '0';\r\n";
  if (!guard.empty()) piece += "    END\r\n";
  piece += "    WHEN ANY DO " + row + " = " + n + ";\r\n  END\r\n";
  return piece;
}

std::string Head(const std::vector<std::string>& declarations, std::size_t rows) {
  std::string text = "EXECUTE BLOCK";
  if (!declarations.empty()) {
    text += " (";
    for (std::size_t d = 0; d < declarations.size(); ++d) text += (d > 0 ? ", " : "") + declarations[d];
    text += ")";
  }
  return text + "\r\nRETURNS (" + kRow + " INTEGER, " + kFound + " VARCHAR(" + std::to_string(std::max<std::size_t>(rows, 1)) +
         ") CHARACTER SET NONE)\r\nAS\r\nBEGIN\r\n  " + kRow + " = 0;\r\n  " + kFound + " = '';\r\n";
}

// The value a slot binds, and whether it is a text.
bool SlotValue(TSlotForm form, const Variant& v, Variant& bound) {
  if (form == TSlotForm::kParameter) {
    bound = v;
    return true;
  }
  try {
    return LiteralValue(form == TSlotForm::kLiteral ? SqlLiteral(v) : SqlQuotedKey(v), bound);
  } catch (const std::exception&) {
    return false;  // no literal: the row runs alone and fails there
  }
}

}  // namespace

bool TBlockText::Append(const TRowShape& shape, const std::vector<Variant>& values,
                        const std::vector<std::string>& declared, const TRowShape* guard, const Variant* key) {
  if (static_cast<int>(rows_) >= limits_.statements || values.size() != shape.Slots()) return false;
  const std::size_t number = rows_ + 1;
  int parameter = static_cast<int>(values_.size());
  std::vector<std::string> declarations;
  std::vector<Variant> bound;
  std::vector<std::string> markers;
  for (std::size_t i = 0; i < shape.Slots(); ++i) {
    Variant v;
    if (!SlotValue(shape.forms[i], values[i], v)) return false;
    const auto* text = std::get_if<std::string>(&v);
    if (text != nullptr && text->size() > kMaxBoundText) return false;
    std::string type;
    switch (shape.target) {
      case TRowShape::Target::kTable:
        if (i >= shape.columns.size()) return false;
        type = "TYPE OF COLUMN " + shape.name + "." + shape.columns[i];
        break;
      case TRowShape::Target::kProcedure:
        // A text as the literal's text; anything else as the parameter it
        // goes to, which it converts to in either case.
        if (text != nullptr && shape.forms[i] != TSlotForm::kParameter)
          type = TextType(text->size(), charset_);
        else if (i < declared.size())
          type = declared[i];
        break;
      case TRowShape::Target::kComparison:
        if (text != nullptr) type = TextType(text->size(), charset_);
        break;
    }
    if (type.empty()) return false;
    const std::string name = kParameter + std::to_string(++parameter);
    declarations.push_back(name + " " + type + " = ?");
    markers.push_back(":" + name);
    bound.push_back(std::move(v));
  }
  std::string guardText;
  if (guard != nullptr) {
    if (key == nullptr || guard->Slots() != 1) return false;
    Variant k;
    if (!SlotValue(guard->forms[0], *key, k)) return false;
    const auto* text = std::get_if<std::string>(&k);
    if (text == nullptr || text->size() > kMaxBoundText) return false;
    const std::string name = kKey + std::to_string(number);
    guardText = ShapeText(*guard, {":" + name});
    if (!IsOneStatement(guardText)) return false;
    // The key is declared and bound before the row's values.
    declarations.insert(declarations.begin(), name + " " + TextType(text->size(), charset_) + " = ?");
    bound.insert(bound.begin(), std::move(k));
  }
  std::string statement = ShapeText(shape, markers);
  while (!statement.empty() && (statement.back() == '\n' || statement.back() == '\r')) statement.pop_back();
  if (!IsOneStatement(statement)) return false;
  const std::string piece = Piece(statement, guardText, shape.oneRow, number);
  const int contexts = (shape.target == TRowShape::Target::kTable ? 1 : 0) + (guard != nullptr ? 1 : 0);
  std::size_t declared_bytes = 0;
  for (const std::string& d : declarations) declared_bytes += d.size() + 2;
  // The head grows with the number of rows (the outputs' length) by a digit at most.
  const std::size_t length = Head({}, number).size() + 3 + declarationBytes_ + declared_bytes + body_.size() +
                             piece.size() + 16;
  if (contexts_ + contexts > limits_.contexts ||
      static_cast<int>(values_.size() + bound.size()) > limits_.parameters || length > limits_.text)
    return false;
  contexts_ += contexts;
  body_ += piece;
  for (std::string& d : declarations) {
    declarationBytes_ += d.size() + 2;
    declarations_.push_back(std::move(d));
  }
  for (Variant& v : bound) values_.push_back(std::move(v));
  ++rows_;
  return true;
}

// One row comes back: the number of the statement that stopped the block (0
// when none did) and what the guards found.
std::string TBlockText::Text() const { return Head(declarations_, rows_) + body_ + "  SUSPEND;\r\nEND"; }

std::vector<FieldDesc> TBlockText::Outputs(std::size_t rows) {
  FieldDesc row;
  row.name = kRow;
  row.type = ftInteger;
  FieldDesc found;
  found.name = kFound;
  found.type = ftString;
  found.size = static_cast<int>(std::max<std::size_t>(rows, 1));
  return {row, found};
}

bool TBlockText::Outcome(const std::vector<Variant>& outputs, std::size_t rows, std::size_t& ran,
                         std::vector<bool>& found) {
  if (outputs.size() != 2) return false;
  const auto* stopped = std::get_if<std::int64_t>(&outputs[0]);
  const auto* flags = std::get_if<std::string>(&outputs[1]);
  if (stopped == nullptr || *stopped < 0 || static_cast<std::size_t>(*stopped) > rows) return false;
  ran = *stopped == 0 ? rows : static_cast<std::size_t>(*stopped - 1);
  static const std::string kNone;
  const std::string& f = flags != nullptr ? *flags : kNone;
  if (f.size() != ran) return false;
  found.assign(ran, false);
  for (std::size_t k = 0; k < ran; ++k) {
    if (f[k] != '0' && f[k] != '1') return false;
    found[k] = f[k] == '1';
  }
  return true;
}

}  // namespace dbx
