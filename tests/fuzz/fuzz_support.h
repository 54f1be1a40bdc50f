// What the fuzz targets share: the check that aborts on a broken property, a
// reader of Firebird statement texts, values of every type a dataset holds
// drawn from the input, and the shapes of numeric date formats.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbaccess/values.h"

namespace fuzz {

// Prints the property, what broke it and the texts involved (escaped), then
// aborts, so that libFuzzer keeps the input.
[[noreturn]] void Broken(const char* property, const std::string& detail);

// Aborts with the property when the condition does not hold.
#define FUZZ_CHECK(condition, property, detail) \
  do {                                          \
    if (!(condition)) ::fuzz::Broken(property, detail); \
  } while (false)

// A text with every byte outside printable ASCII written as \xNN.
[[nodiscard]] std::string Escaped(std::string_view text);

// ---- Firebird statement texts ----------------------------------------------

// One piece of a statement text as Firebird's lexer reads it: code, a string
// literal (its value, quotes undone) or a comment.
struct SqlPiece {
  enum Kind { kCode, kLiteral, kComment } kind = kCode;
  std::string text;
};

// Splits a statement text into code, string literals ('...', '' for a quote)
// and comments (-- to the end of the line, /* */). False, with the reason,
// when a literal or a comment is not closed.
[[nodiscard]] bool SplitSql(std::string_view sql, std::vector<SqlPiece>& pieces, std::string& why);

// True when the text is one statement: every literal closed, and no ';', no
// comment and no double quote outside the literals, and no literal opened
// right after a letter, digit, '_' or '$' (so no x'..', q'..' or
// _charset'..' forms). False with the reason otherwise.
[[nodiscard]] bool IsOneStatement(std::string_view sql, std::string& why);

// The expected layout of a statement: fixed text, a string literal with an
// exact value, or a bare token (a number or NULL) that a check accepts.
using Accept = std::function<bool(std::string_view)>;
struct SqlPart {
  enum Kind { kFixed, kLiteral, kBare } kind = kFixed;
  std::string text;  // kFixed: the text; kLiteral without a check: the value
  Accept accept;     // kLiteral: the value's check, if any; kBare: the token's
};
[[nodiscard]] SqlPart Fixed(std::string text);
[[nodiscard]] SqlPart Literal(std::string value);
// A literal whose value the check accepts.
[[nodiscard]] SqlPart LiteralWhere(Accept accept);
// A bare token (a run of letters, digits, '.', '+' and '-') the check accepts.
[[nodiscard]] SqlPart Bare(Accept accept);

// True when the statement reads exactly as the parts, in order, to its end.
// False with the first difference otherwise.
[[nodiscard]] bool Matches(std::string_view sql, const std::vector<SqlPart>& parts, std::string& why);

// The part a value gives in a statement: what SqlLiteral writes for it
// (text, dates and times as literals; numbers and NULL bare), its value
// checked by reading it back.
[[nodiscard]] SqlPart PartOfValue(const dbx::Variant& value);
// The part of a key compared with a text column: always a literal.
[[nodiscard]] SqlPart PartOfKey(const dbx::Variant& value);

// True when text is a number in decimal notation (-?digits[sep digits]) whose
// value is exactly the decimal's; with canonical, also without leading zeros
// in the integer part, trailing zeros in the fraction, or a "-0".
[[nodiscard]] bool IsDecimalText(std::string_view text, const dbx::Decimal& value, char separator, bool canonical);

// Readers of the forms of values in statements ('YYYY-MM-DD' and the rest),
// independent of the writers.
[[nodiscard]] bool ReadSqlDate(std::string_view text, dbx::Date& date);
[[nodiscard]] bool ReadSqlTime(std::string_view text, dbx::Time& time);
[[nodiscard]] bool ReadSqlDateTime(std::string_view text, dbx::DateTime& value);

// ---- Values -----------------------------------------------------------------

[[nodiscard]] bool IsValid(const dbx::Date& d);
[[nodiscard]] bool IsValid(const dbx::Time& t);

// A date: mostly a valid one (years 1 to 9999), sometimes any three ints.
[[nodiscard]] dbx::Date ConsumeDate(FuzzedDataProvider& in, bool validOnly = false);
[[nodiscard]] dbx::Time ConsumeTime(FuzzedDataProvider& in, bool validOnly = false);
// Bytes of any value, NUL included, up to maxLength.
[[nodiscard]] std::string ConsumeBytes(FuzzedDataProvider& in, std::size_t maxLength);
// A value of any type a dataset holds: NULL, integer, double (NaN and
// infinities too), decimal, text, date, time, timestamp.
[[nodiscard]] dbx::Variant ConsumeVariant(FuzzedDataProvider& in);

// ---- Numeric date formats -----------------------------------------------------

// A short date format that writes only numbers and the date separator: the
// day, month and year in the order the parser takes (day-month-year,
// month-day-year, year-month-day; or day and month alone), each once,
// separated by the date separator (as '/' or as the character itself) with
// blanks around it, and nothing else but blanks. The date parser reads such a
// text back.
struct NumericDateShape {
  enum Order { kDMY, kMDY, kYMD } order = kMDY;
  bool hasYear = true;
  bool fourDigitYear = false;
};
[[nodiscard]] std::optional<NumericDateShape> NumericShapeOf(const std::string& format, char dateSeparator);

// The date that the date text of `date` under such a shape reads back as,
// given the current year: the same date with a four-digit year; with two
// digits, the year of the 100-year window starting 50 years before the
// current year with the same last two digits; without a year, the current
// year. Empty when that is no valid date.
[[nodiscard]] std::optional<dbx::Date> ReadBackDate(const NumericDateShape& shape, const dbx::Date& date,
                                                    int currentYear);

}  // namespace fuzz
