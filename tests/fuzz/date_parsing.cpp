// The date parser, under every shape of short date format.
//
// Properties:
// - a date's text under a numeric short date format (day, month and year in
//   any of the parser's orders, one or two digits for day and month, two or
//   four for the year, any separator but a digit or a blank, written as '/'
//   or as itself, blanks around the parts, day and month alone) reads back as
//   the date, with a two-digit year moved into the 50-year window and a
//   missing year taken from the current year;
// - any text under any format and separator gives either no date or a valid
//   one (years 1 to 9999), exactly as the documented reading does: numbers of
//   digits read while below 1000, the order from the first D, M, Y or E of the
//   format, blanks before each number and separator, an optional separator at
//   the end, the whole text read;
// - StrToDate throws "'<text>' no es una fecha válida" exactly when there is
//   no date.
#include <string>

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"
#include "dbaccess/textforms.h"
#include "fuzz/fuzz_support.h"

using namespace dbx;

namespace {

// The documented reading, written apart from the one under test.
struct Reader {
  std::string_view s;
  std::size_t pos = 0;

  void Blanks() {
    while (pos < s.size() && s[pos] == ' ') ++pos;
  }
  bool Number(int& value, int& digits) {
    Blanks();
    value = 0;
    digits = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && value < 1000) {
      value = value * 10 + (s[pos++] - '0');
      ++digits;
    }
    return digits > 0;
  }
  bool Separator(char c) {
    Blanks();
    if (pos < s.size() && s[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
};

bool ReferenceDate(const std::string& text, const FormatSettings& fs, int currentYear, Date& out) {
  char first = 'M';
  for (const char c : fs.shortDateFormat) {
    const char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
    if (u == 'D' || u == 'M' || u == 'Y' || u == 'E') {
      first = u == 'E' ? 'Y' : u;
      break;
    }
  }
  Reader r{text};
  int n[3] = {0, 0, 0}, len[3] = {0, 0, 0};
  if (!r.Number(n[0], len[0]) || !r.Separator(fs.dateSeparator) || !r.Number(n[1], len[1])) return false;
  Date d;
  if (r.Separator(fs.dateSeparator)) {
    if (!r.Number(n[2], len[2])) return false;
    int yearDigits = 0;
    if (first == 'D') {
      d = {n[2], n[1], n[0]}, yearDigits = len[2];
    } else if (first == 'Y') {
      d = {n[0], n[1], n[2]}, yearDigits = len[0];
    } else {
      d = {n[2], n[0], n[1]}, yearDigits = len[2];
    }
    if (yearDigits <= 2) {
      const int base = currentYear - fs.twoDigitYearCenturyWindow;
      d.year += base / 100 * 100;
      if (d.year < base) d.year += 100;
    }
  } else {
    d = first == 'D' ? Date{currentYear, n[1], n[0]} : Date{currentYear, n[0], n[1]};
  }
  r.Separator(fs.dateSeparator);
  r.Blanks();
  if (r.pos != text.size() || !fuzz::IsValid(d)) return false;
  out = d;
  return true;
}

// Writes a date under a shape drawn from the input; returns the format.
std::string ConsumeShape(FuzzedDataProvider& in, char separator, bool& hasYear) {
  static const char* const kOrders[] = {"DMY", "MDY", "YMD", "DM", "MD"};
  const std::string order = kOrders[in.ConsumeIntegralInRange(0, 4)];
  hasYear = order.size() == 3;
  auto blanks = [&] { return std::string(in.ConsumeIntegralInRange(0, 3) == 0 ? in.ConsumeIntegralInRange(1, 2) : 0, ' '); };
  auto separatorText = [&]() -> std::string {
    if (in.ConsumeBool()) return "/";
    const bool letter = (separator >= 'a' && separator <= 'z') || (separator >= 'A' && separator <= 'Z');
    if (separator == '/' || (!letter && separator != '\'' && separator != '"' && separator != ':' && in.ConsumeBool()))
      return std::string(1, separator);
    const char quote = separator == '"' ? '\'' : '"';
    return std::string(1, quote) + separator + quote;
  };
  std::string format = blanks();
  for (std::size_t i = 0; i < order.size(); ++i) {
    if (i > 0) format += blanks() + separatorText() + blanks();
    const bool lower = in.ConsumeBool();
    std::string field;
    switch (order[i]) {
      case 'D':
        field = std::string(in.ConsumeIntegralInRange(1, 2), 'd');
        break;
      case 'M':
        field = std::string(in.ConsumeIntegralInRange(1, 2), 'm');
        break;
      default:
        field = std::string(in.ConsumeIntegralInRange(1, 4), 'y');
        break;
    }
    if (!lower)
      for (char& c : field) c = static_cast<char>(c - 32);
    format += field;
  }
  if (hasYear && in.ConsumeIntegralInRange(0, 3) == 0) format += separatorText();
  return format + blanks();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const Date today = fuzz::ConsumeDate(in, true);
  const int currentYear = today.year < 50 ? today.year + 50 : today.year;
  const Date now{currentYear, today.month, today.day};

  // A date written under a numeric shape reads back.
  {
    FormatSettings fs;
    fs.dateSeparator = static_cast<char>(in.ConsumeIntegral<unsigned char>());
    bool hasYear = true;
    fs.shortDateFormat = ConsumeShape(in, fs.dateSeparator, hasYear);
    const Date date = fuzz::ConsumeDate(in, true);
    const std::string text = DateToStr(DateTime{date, {}}, fs);
    const auto shape = fuzz::NumericShapeOf(fs.shortDateFormat, fs.dateSeparator);
    const bool separatorReadable = fs.dateSeparator != ' ' && !(fs.dateSeparator >= '0' && fs.dateSeparator <= '9');
    FUZZ_CHECK(shape.has_value() == separatorReadable, "every generated format is a numeric shape",
               fuzz::Escaped(fs.shortDateFormat) + " separator " + fuzz::Escaped(std::string(1, fs.dateSeparator)));
    if (shape) {
      Date back;
      const bool parsed = TryStrToDate(text, fs, now, back);
      const auto expected = fuzz::ReadBackDate(*shape, date, currentYear);
      FUZZ_CHECK(parsed == expected.has_value() && (!parsed || back == *expected),
                 "a date text formatted then parsed gives the date back",
                 "format " + fuzz::Escaped(fs.shortDateFormat) + " text " + fuzz::Escaped(text) + " date " +
                     std::to_string(date.year) + "-" + std::to_string(date.month) + "-" + std::to_string(date.day) +
                     (parsed ? " read " + std::to_string(back.year) + "-" + std::to_string(back.month) + "-" +
                                   std::to_string(back.day)
                             : " not read"));
    }
  }

  // Any text, any format, any separator.
  FormatSettings fs;
  fs.dateSeparator = static_cast<char>(in.ConsumeIntegral<unsigned char>());
  fs.shortDateFormat = fuzz::ConsumeBytes(in, 24);
  const std::string text = in.ConsumeRemainingBytesAsString();
  Date parsed;
  const bool ok = TryStrToDate(text, fs, now, parsed);
  Date expected;
  const bool reference = ReferenceDate(text, fs, currentYear, expected);
  FUZZ_CHECK(ok == reference && (!ok || parsed == expected), "any text reads as the documented reading reads it",
             "text " + fuzz::Escaped(text) + " format " + fuzz::Escaped(fs.shortDateFormat));
  FUZZ_CHECK(!ok || fuzz::IsValid(parsed), "a date read is a valid date", fuzz::Escaped(text));
  try {
    const Date thrown = StrToDate(text, fs, now);
    FUZZ_CHECK(ok && thrown == parsed, "StrToDate gives the date TryStrToDate gives", fuzz::Escaped(text));
  } catch (const EConvertError& e) {
    FUZZ_CHECK(!ok, "StrToDate fails only on a text that is no date", fuzz::Escaped(text));
    // Messages travel as C strings: a NUL in the text ends the message there.
    const std::string message = "'" + text + "' no es una fecha válida"_l1;
    FUZZ_CHECK(std::string(e.what()) == message.c_str(), "the message of a text that is no date",
               fuzz::Escaped(e.what()));
  }
  return 0;
}
