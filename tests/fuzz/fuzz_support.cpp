#include "fuzz/fuzz_support.h"
#include "dbaccess/sqltext.h"

#include "support/escaped.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace fuzz {

void Broken(const char* property, const std::string& detail) {
  std::fprintf(stderr, "\n*** property broken: %s\n%s\n", property, detail.c_str());
  std::fflush(stderr);
  std::abort();
}

std::string Escaped(std::string_view text) { return testsupport::Escaped(text); }

// ---- Firebird statement texts ----------------------------------------------

namespace {

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the literal that opens at `pos`; on success `end` is just past it.
bool ReadLiteral(std::string_view sql, std::size_t pos, std::string& value, std::size_t& end) {
  value.clear();
  value.reserve(sql.size() - pos);
  std::size_t j = pos + 1;
  while (j < sql.size()) {
    if (sql[j] == '\'') {
      if (j + 1 < sql.size() && sql[j + 1] == '\'') {
        value += '\'';
        j += 2;
        continue;
      }
      end = j + 1;
      return true;
    }
    value += sql[j++];
  }
  return false;
}

std::string Around(std::string_view sql, std::size_t pos) {
  const std::size_t from = pos > 20 ? pos - 20 : 0;
  return "at " + std::to_string(pos) + ": ..." + Escaped(sql.substr(from, 40)) + "...";
}

}  // namespace

bool SplitSql(std::string_view sql, std::vector<SqlPiece>& pieces, std::string& why) {
  pieces.clear();
  std::string code;
  code.reserve(sql.size());
  auto flush = [&] {
    if (!code.empty()) pieces.push_back({SqlPiece::kCode, code});
    code.clear();
  };
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
    if (c == '\'') {
      flush();
      std::string value;
      std::size_t end = 0;
      if (!ReadLiteral(sql, i, value, end)) {
        why = "literal not closed " + Around(sql, i);
        return false;
      }
      pieces.push_back({SqlPiece::kLiteral, value});
      i = end;
    } else if (c == '-' && next == '-') {
      flush();
      const std::size_t eol = sql.find('\n', i);
      const std::size_t end = eol == std::string_view::npos ? sql.size() : eol + 1;
      pieces.push_back({SqlPiece::kComment, std::string(sql.substr(i, end - i))});
      i = end;
    } else if (c == '/' && next == '*') {
      flush();
      const std::size_t close = sql.find("*/", i + 2);
      if (close == std::string_view::npos) {
        why = "comment not closed " + Around(sql, i);
        return false;
      }
      pieces.push_back({SqlPiece::kComment, std::string(sql.substr(i, close + 2 - i))});
      i = close + 2;
    } else {
      code += c;
      ++i;
    }
  }
  flush();
  return true;
}

bool IsOneStatement(std::string_view sql, std::string& why) {
  std::vector<SqlPiece> pieces;
  if (!SplitSql(sql, pieces, why)) return false;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const SqlPiece& p = pieces[k];
    if (p.kind == SqlPiece::kComment) {
      why = "comment outside the literals: " + Escaped(p.text);
      return false;
    }
    if (p.kind == SqlPiece::kCode) {
      if (p.text.find(';') != std::string::npos) {
        why = "';' outside the literals: " + Escaped(p.text);
        return false;
      }
      if (p.text.find('"') != std::string::npos) {
        why = "double quote outside the literals: " + Escaped(p.text);
        return false;
      }
      if (k + 1 < pieces.size() && pieces[k + 1].kind == SqlPiece::kLiteral && IsIdentifierChar(p.text.back())) {
        why = "literal opened right after an identifier character: " + Escaped(p.text);
        return false;
      }
    }
  }
  return true;
}

SqlPart Fixed(std::string text) { return {SqlPart::kFixed, std::move(text), {}}; }
SqlPart Literal(std::string value) { return {SqlPart::kLiteral, std::move(value), {}}; }
SqlPart LiteralWhere(Accept accept) { return {SqlPart::kLiteral, {}, std::move(accept)}; }
SqlPart Bare(Accept accept) { return {SqlPart::kBare, {}, std::move(accept)}; }

bool Matches(std::string_view sql, const std::vector<SqlPart>& parts, std::string& why) {
  std::size_t pos = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const SqlPart& part = parts[k];
    auto which = [k] { return "part " + std::to_string(k) + " "; };
    switch (part.kind) {
      case SqlPart::kFixed:
        if (sql.substr(pos, part.text.size()) != part.text) {
          why = which() + "expected \"" + Escaped(part.text) + "\" " + Around(sql, pos);
          return false;
        }
        pos += part.text.size();
        break;
      case SqlPart::kLiteral: {
        std::string value;
        std::size_t end = 0;
        if (pos >= sql.size() || sql[pos] != '\'' || !ReadLiteral(sql, pos, value, end)) {
          why = which() + "expected a literal " + Around(sql, pos);
          return false;
        }
        if (part.accept ? !part.accept(value) : value != part.text) {
          why = which() + "literal value \"" + Escaped(value) + "\"" +
                (part.accept ? std::string(" not accepted") : ", expected \"" + Escaped(part.text) + "\"");
          return false;
        }
        pos = end;
        break;
      }
      case SqlPart::kBare: {
        std::size_t end = pos;
        while (end < sql.size() && (IsIdentifierChar(sql[end]) || sql[end] == '.' || sql[end] == '+' ||
                                    sql[end] == '-'))
          ++end;
        const std::string_view token = sql.substr(pos, end - pos);
        if (token.empty() || !part.accept(token)) {
          why = which() + "bare token \"" + Escaped(token) + "\" not accepted " + Around(sql, pos);
          return false;
        }
        pos = end;
        break;
      }
    }
  }
  if (pos != sql.size()) {
    why = "text after the last part " + Around(sql, pos);
    return false;
  }
  return true;
}

// ---- Forms of values in statements -------------------------------------------

namespace {

// Reads a run of exactly `count` digits.
bool Digits(std::string_view text, std::size_t& pos, std::size_t count, int& value) {
  if (pos + count > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!IsDigit(text[pos + i])) return false;
    value = value * 10 + (text[pos + i] - '0');
  }
  pos += count;
  return true;
}

bool DatePart(std::string_view text, std::size_t& pos, dbx::Date& d) {
  return Digits(text, pos, 4, d.year) && pos < text.size() && text[pos++] == '-' && Digits(text, pos, 2, d.month) &&
         pos < text.size() && text[pos++] == '-' && Digits(text, pos, 2, d.day);
}

// HH:MM:SS[.f{1,4}] without trailing zeros in the fraction.
bool TimePart(std::string_view text, std::size_t& pos, dbx::Time& t) {
  if (!(Digits(text, pos, 2, t.hour) && pos < text.size() && text[pos++] == ':' && Digits(text, pos, 2, t.minute) &&
        pos < text.size() && text[pos++] == ':' && Digits(text, pos, 2, t.second)))
    return false;
  t.fraction = 0;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    std::size_t n = 0;
    while (pos < text.size() && IsDigit(text[pos]) && n < 4) {
      t.fraction = t.fraction * 10 + (text[pos++] - '0');
      ++n;
    }
    if (n == 0 || text[pos - 1] == '0') return false;
    for (; n < 4; ++n) t.fraction *= 10;
  }
  return true;
}

// The digits of a magnitude without leading zeros ("0" for none).
std::string WithoutLeadingZeros(std::string digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "0" : digits.substr(first);
}

bool ReadsBackAs(std::string_view token, double value) {
  if (token.empty()) return false;
  for (const char c : token)
    if (!(IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E')) return false;
  const std::string text(token);
  char* end = nullptr;
  const double back = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::memcmp(&back, &value, sizeof back) == 0;
}

}  // namespace

bool ReadSqlDate(std::string_view text, dbx::Date& date) {
  std::size_t pos = 0;
  return DatePart(text, pos, date) && pos == text.size();
}

bool ReadSqlTime(std::string_view text, dbx::Time& time) {
  std::size_t pos = 0;
  return TimePart(text, pos, time) && pos == text.size();
}

bool ReadSqlDateTime(std::string_view text, dbx::DateTime& value) {
  std::size_t pos = 0;
  return DatePart(text, pos, value.date) && pos < text.size() && text[pos++] == ' ' &&
         TimePart(text, pos, value.time) && pos == text.size();
}

bool IsDecimalText(std::string_view text, const dbx::Decimal& value, char separator, bool canonical) {
  std::size_t pos = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) ++pos;
  std::string integer, fraction;
  while (pos < text.size() && IsDigit(text[pos])) integer += text[pos++];
  if (integer.empty()) return false;
  if (pos < text.size()) {
    if (text[pos++] != separator) return false;
    while (pos < text.size() && IsDigit(text[pos])) fraction += text[pos++];
    if (fraction.empty() || pos != text.size()) return false;
  }
  if (value.scale < 0) return false;  // not a form of a stored decimal
  const auto scale = static_cast<std::size_t>(value.scale);
  if (fraction.size() > scale) return false;
  const std::string magnitude = WithoutLeadingZeros(integer + fraction + std::string(scale - fraction.size(), '0'));
  const std::uint64_t expected = value.unscaled < 0 ? ~static_cast<std::uint64_t>(value.unscaled) + 1
                                                    : static_cast<std::uint64_t>(value.unscaled);
  if (magnitude != std::to_string(expected)) return false;
  if (negative != (value.unscaled < 0) && !(negative && value.unscaled == 0)) return false;
  if (canonical) {
    if (integer.size() > 1 && integer[0] == '0') return false;
    if (!fraction.empty() && fraction.back() == '0') return false;
    if (negative && value.unscaled == 0) return false;
  }
  return true;
}

SqlPart PartOfValue(const dbx::Variant& value) {
  struct Visitor {
    SqlPart operator()(dbx::Null) const {
      return Bare([](std::string_view t) { return t == "NULL"; });
    }
    SqlPart operator()(std::int64_t v) const {
      return Bare([v](std::string_view t) { return t == std::to_string(v); });
    }
    SqlPart operator()(double v) const {
      return Bare([v](std::string_view t) { return ReadsBackAs(t, v); });
    }
    SqlPart operator()(const dbx::Decimal& v) const {
      return Bare([v](std::string_view t) { return IsDecimalText(t, v, '.', true); });
    }
    SqlPart operator()(const std::string& v) const { return Literal(v); }
    SqlPart operator()(const dbx::Date& v) const {
      if (!IsValid(v)) return LiteralWhere([](std::string_view) { return true; });
      return LiteralWhere([v](std::string_view t) {
        dbx::Date back;
        return ReadSqlDate(t, back) && back == v;
      });
    }
    SqlPart operator()(const dbx::Time& v) const {
      if (!IsValid(v)) return LiteralWhere([](std::string_view) { return true; });
      return LiteralWhere([v](std::string_view t) {
        dbx::Time back;
        return ReadSqlTime(t, back) && back == v;
      });
    }
    SqlPart operator()(const dbx::DateTime& v) const {
      if (!IsValid(v.date) || !IsValid(v.time)) return LiteralWhere([](std::string_view) { return true; });
      return LiteralWhere([v](std::string_view t) {
        dbx::DateTime back;
        return ReadSqlDateTime(t, back) && back == v;
      });
    }
  };
  return std::visit(Visitor{}, value);
}

SqlPart PartOfKey(const dbx::Variant& value) {
  if (dbx::IsNull(value)) return Literal({});
  SqlPart part = PartOfValue(value);
  if (part.kind == SqlPart::kLiteral) return part;
  // A number between quotes: its bare form as the literal's value.
  return LiteralWhere(std::move(part.accept));
}

// ---- Values -----------------------------------------------------------------

bool IsValid(const dbx::Date& d) { return d.year >= 1 && d.year <= 9999 && dbx::IsValidDate(d.year, d.month, d.day); }

bool IsValid(const dbx::Time& t) {
  return t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 && t.second <= 59 &&
         t.fraction >= 0 && t.fraction <= 9999;
}

dbx::Date ConsumeDate(FuzzedDataProvider& in, bool validOnly) {
  if (!validOnly && in.ConsumeIntegralInRange(0, 7) == 0)
    return {in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>()};
  dbx::Date d;
  d.year = in.ConsumeIntegralInRange(1, 9999);
  d.month = in.ConsumeIntegralInRange(1, 12);
  d.day = in.ConsumeIntegralInRange(1, dbx::DaysInMonth(d.year, d.month));
  return d;
}

dbx::Time ConsumeTime(FuzzedDataProvider& in, bool validOnly) {
  if (!validOnly && in.ConsumeIntegralInRange(0, 7) == 0)
    return {in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(),
            in.ConsumeIntegral<int>()};
  dbx::Time t;
  t.hour = in.ConsumeIntegralInRange(0, 23);
  t.minute = in.ConsumeIntegralInRange(0, 59);
  t.second = in.ConsumeIntegralInRange(0, 59);
  t.fraction = in.ConsumeIntegralInRange(0, 9999);
  return t;
}

std::string ConsumeBytes(FuzzedDataProvider& in, std::size_t maxLength) {
  return in.ConsumeRandomLengthString(maxLength);
}

dbx::Variant ConsumeVariant(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      return dbx::Null{};
    case 1:
      return in.ConsumeIntegral<std::int64_t>();
    case 2: {
      if (in.ConsumeBool()) {
        const auto bits = in.ConsumeIntegral<std::uint64_t>();
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
      }
      return static_cast<double>(in.ConsumeIntegralInRange<std::int64_t>(-1000000000000, 1000000000000)) / 100.0;
    }
    case 3: {
      dbx::Decimal d;
      d.unscaled = in.ConsumeIntegral<std::int64_t>();
      d.scale = in.ConsumeIntegralInRange(0, 40);
      d.precision = in.ConsumeIntegralInRange(1, 18);
      return d;
    }
    case 4:
      return ConsumeBytes(in, 64);
    case 5:
      return ConsumeDate(in);
    case 6:
      return ConsumeTime(in);
    default: {
      dbx::DateTime dt;
      dt.date = ConsumeDate(in);
      dt.time = ConsumeTime(in);
      return dt;
    }
  }
}

// ---- Numeric date formats -----------------------------------------------------

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A format read as the formatter reads it: specifiers (a run of one letter),
// date separators ('/'), time separators (':') and the characters it copies.
struct FormatToken {
  enum Kind { kSpecifier, kSeparator, kTimeSeparator, kChar } kind = kChar;
  char letter = 0;  // kSpecifier: upper case; kChar: the character
  int count = 0;
};

std::vector<FormatToken> Tokens(const std::string& f) {
  std::vector<FormatToken> tokens;
  std::size_t i = 0;
  while (i < f.size()) {
    const char c = f[i++];
    if (IsLetter(c)) {
      int n = 1;
      while (i < f.size() && Upper(f[i]) == Upper(c)) ++i, ++n;
      tokens.push_back({FormatToken::kSpecifier, Upper(c), n});
    } else if (c == '/') {
      tokens.push_back({FormatToken::kSeparator, 0, 0});
    } else if (c == ':') {
      tokens.push_back({FormatToken::kTimeSeparator, 0, 0});
    } else if (c == '\'' || c == '"') {
      const std::size_t close = f.find(c, i);
      const std::size_t end = close == std::string::npos ? f.size() : close;
      for (; i < end; ++i) tokens.push_back({FormatToken::kChar, f[i], 0});
      if (close != std::string::npos) i = close + 1;
    } else {
      tokens.push_back({FormatToken::kChar, c, 0});
    }
  }
  return tokens;
}

}  // namespace

std::optional<NumericDateShape> NumericShapeOf(const std::string& format, char dateSeparator) {
  if (dateSeparator == ' ' || IsDigit(dateSeparator)) return std::nullopt;
  // The fields in order, and the separators between them.
  std::string fields;
  std::vector<int> separatorsBefore;  // separators before each field, and after the last
  int separators = 0;
  bool fourDigitYear = false;
  for (const FormatToken& t : Tokens(format)) {
    if (t.kind == FormatToken::kSeparator || (t.kind == FormatToken::kChar && t.letter == dateSeparator)) {
      ++separators;
    } else if (t.kind != FormatToken::kSpecifier) {
      if (t.kind != FormatToken::kChar || t.letter != ' ') return std::nullopt;
    } else {
      if (t.letter == 'D' || t.letter == 'M') {
        if (t.count > 2) return std::nullopt;
      } else if (t.letter == 'Y') {
        fourDigitYear = t.count > 2;
      } else {
        return std::nullopt;
      }
      if (fields.find(t.letter) != std::string::npos) return std::nullopt;
      fields += t.letter;
      separatorsBefore.push_back(separators);
      separators = 0;
    }
  }
  separatorsBefore.push_back(separators);
  NumericDateShape shape;
  shape.fourDigitYear = fourDigitYear;
  if (fields == "DMY") {
    shape.order = NumericDateShape::kDMY;
  } else if (fields == "MDY") {
    shape.order = NumericDateShape::kMDY;
  } else if (fields == "YMD") {
    shape.order = NumericDateShape::kYMD;
  } else if (fields == "DM" || fields == "MD") {
    shape.order = fields == "DM" ? NumericDateShape::kDMY : NumericDateShape::kMDY;
    shape.hasYear = false;
  } else {
    return std::nullopt;
  }
  // One separator between fields; none before the first; after the last one
  // at most, and only after a year.
  if (separatorsBefore[0] != 0) return std::nullopt;
  for (std::size_t k = 1; k + 1 < separatorsBefore.size(); ++k)
    if (separatorsBefore[k] != 1) return std::nullopt;
  if (separatorsBefore.back() > (shape.hasYear ? 1 : 0)) return std::nullopt;
  // The parser takes its order from the first D, M, Y or E of the format,
  // quoted text included.
  for (const char c : format) {
    const char u = Upper(c);
    if (u == 'D' || u == 'M' || u == 'Y' || u == 'E') {
      const char expected = shape.order == NumericDateShape::kDMY ? 'D' : shape.order == NumericDateShape::kMDY ? 'M' : 'Y';
      if (u != expected && !(expected == 'Y' && u == 'E')) return std::nullopt;
      break;
    }
  }
  return shape;
}

std::optional<dbx::Date> ReadBackDate(const NumericDateShape& shape, const dbx::Date& date, int currentYear) {
  dbx::Date back = date;
  if (!shape.hasYear) {
    back.year = currentYear;
  } else if (!shape.fourDigitYear) {
    const int base = currentYear - 50;
    back.year = base + ((date.year % 100 - base) % 100 + 100) % 100;
  }
  if (!IsValid(back)) return std::nullopt;
  return back;
}

}  // namespace fuzz
