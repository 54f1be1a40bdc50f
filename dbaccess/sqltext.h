// The texts of statements, in one place: SQL quoting and the literal forms
// of values, the scanning of a statement's text, the apply's INSERT and the
// table it names, the shapes of statements that run row after row, and the
// EXECUTE BLOCKs that carry many of them.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "dbaccess/field.h"
#include "dbaccess/values.h"

namespace dbx {

// ---- Literals -----------------------------------------------------------------

// SQL quoting: single quotes doubled, the whole enclosed in single quotes.
[[nodiscard]] std::string QuotedStr(const std::string& text);
// SQL literal forms, for values written into statement texts whatever the
// locale: 'YYYY-MM-DD', 'YYYY-MM-DD HH:MM:SS[.ffff]', 'HH:MM:SS[.ffff]',
// decimals and numbers with "." and no grouping, text SQL-quoted, NULL.
// A double that is not finite raises EConvertError.
[[nodiscard]] std::string SqlLiteral(const Variant& value);
// A key compared with a text column: always a quoted text. Text as it is,
// numbers, dates and times in the forms above between quotes; NULL gives ''.
[[nodiscard]] std::string SqlQuotedKey(const Variant& value);
[[nodiscard]] std::string SqlDate(const Date& value);
// The value a literal of those forms stands for, in the type the server
// gives the literal: a quoted text its text, NULL null, digits an integer,
// digits with "." a decimal of that scale, a number with "e" a double. False
// for any other text (nothing a literal of these forms is).
[[nodiscard]] bool LiteralValue(const std::string& literal, Variant& value);

// ---- Scanning -----------------------------------------------------------------

// A character of a name: letters, digits, "_", "$" and bytes above 127.
[[nodiscard]] bool IsSqlNameChar(char c) noexcept;
// The position of the first character at or after pos that is neither a
// blank nor inside a comment ("--" to the end of the line, "/* */"); the
// text's size when there is none.
[[nodiscard]] std::size_t SkipSqlBlanksAndComments(const std::string& sql, std::size_t pos);
// Whether the first word of a text, after blanks and comments, is SELECT.
[[nodiscard]] bool IsSelectText(const std::string& text);
// Whether a text is one statement: no ";", no comment and no unclosed
// literal or quoted name outside its literals and quoted names.
[[nodiscard]] bool IsOneStatement(const std::string& text);

// ---- The apply's INSERT ------------------------------------------------------------

// The table an apply writes to: the first name after the first FROM of a
// statement text (quotes removed, dotted parts kept); empty when none.
[[nodiscard]] std::string TableNameFromSQL(const std::string& sql);
// A table name quoted part by part with the quote character (kept as it is
// when it already begins or ends with a quote).
[[nodiscard]] std::string QuoteTableName(const std::string& table, const std::string& quote);
// The INSERT text of the apply for a quoted table and quoted column names;
// its values are "?" markers, or the given ones (":P1" in a block).
[[nodiscard]] std::string InsertSQL(const std::string& quotedTable, const std::vector<std::string>& quotedColumns,
                                    const std::vector<std::string>& markers = {});

// ---- Statements that run row after row ----------------------------------------------

// How a value enters the statement of its row.
enum class TSlotForm {
  kLiteral,    // SqlLiteral
  kQuotedKey,  // SqlQuotedKey
  kParameter,  // a "?" marker, the value bound as it is (the apply's INSERT)
};

// A statement that runs row after row: fixed texts around the value slots.
// Where the values go decides how a block declares them: into the columns
// of a table (as those columns), the parameters of a procedure (as the
// parameters, or a text as the literal's text), or a comparison (a key, as
// the literal's text).
struct TRowShape {
  enum class Target { kTable, kProcedure, kComparison };
  Target target = Target::kTable;
  std::string name;                  // the table or procedure as the text writes it
  std::vector<std::string> columns;  // kTable: each slot's column, as the text writes it
  std::vector<std::string> texts;    // the text before each slot, and the one after the last
  std::vector<TSlotForm> forms;      // one per slot
  bool oneRow = false;               // an INSERT that must write exactly one row, as the apply's
  // Parameters' values bind in their own types, whatever they are declared
  // as (no boolean or blob target asks for a conversion of the client's).
  bool ownTypes = false;
  [[nodiscard]] std::size_t Slots() const noexcept { return forms.size(); }
};

// The shape's text with the given marker in each slot.
[[nodiscard]] std::string ShapeText(const TRowShape& shape, const std::vector<std::string>& markers);
// The statement of one row: each value in its slot's form ("?" for a
// parameter). Raises as SqlLiteral does.
[[nodiscard]] std::string RowText(const TRowShape& shape, const std::vector<Variant>& values);

// The SQL type that declares a variable of a described type: a text in the
// given character set; empty for a type no variable of a block takes (blobs,
// arrays).
[[nodiscard]] std::string SqlTypeName(const FieldDesc& type, const std::string& charset);

// ---- Blocks ---------------------------------------------------------------------------

// An EXECUTE BLOCK that runs rows' statements in order, each with its own
// error handler: the first that fails is undone by it and stops the block,
// which returns its number; the statements before it stay. A row with a
// guard (a comparison of its key) is written only where the guard finds no
// row at its turn, and the block says which ones it found. Every value is a
// parameter: a literal's as the value the literal stands for, so that the
// server converts it as it converts the literal, and the texts of blocks of
// the same shapes and lengths are the same.
class TBlockText {
 public:
  struct Limits {
    int statements;          // statements in one block
    int contexts;            // tables and procedures named in one request
    int parameters;          // values bound
    std::size_t text;        // bytes of text
  };
  // charset: the attachment's, that of a literal in its statements.
  TBlockText(std::string charset, const Limits& limits) : charset_(std::move(charset)), limits_(limits) {}

  // Adds a row's statement as the block's next one. declared: for a
  // procedure's shape, the declared type of each parameter (SqlTypeName),
  // empty otherwise. False, with nothing added, when the block would pass a
  // limit with it; a row no block can carry (a value without a parameter's
  // form) is refused by an empty block too.
  bool Append(const TRowShape& shape, const std::vector<Variant>& values, const std::vector<std::string>& declared,
              const TRowShape* guard, const Variant* key);
  [[nodiscard]] std::size_t Rows() const noexcept { return rows_; }
  [[nodiscard]] std::string Text() const;
  // The values to bind, in order.
  [[nodiscard]] const std::vector<Variant>& Values() const noexcept { return values_; }
  // The outputs' types: the number of the statement that stopped the block
  // (0: none did) and, for the statements that ran, whether each one's guard
  // found its row ("1") or it was written ("0").
  [[nodiscard]] static std::vector<FieldDesc> Outputs(std::size_t rows);
  // Reads the outputs of a block of rows statements: how many ran before the
  // one that stopped it (rows when none did), and which found their rows.
  // False when the outputs are not a block's.
  [[nodiscard]] static bool Outcome(const std::vector<Variant>& outputs, std::size_t rows, std::size_t& ran,
                                    std::vector<bool>& found);

 private:
  std::string charset_;
  Limits limits_;
  std::vector<std::string> declarations_;
  std::size_t declarationBytes_ = 0;
  std::string body_;
  std::vector<Variant> values_;
  std::size_t rows_ = 0;
  int contexts_ = 0;
};

}  // namespace dbx
