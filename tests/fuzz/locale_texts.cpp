// The date, time and number texts under settings built from any locale items.
//
// Properties:
// - the settings hold only what the rules allow: separators are printable
//   characters of the 8-bit set (the default otherwise); names and
//   designators are the items in internal text or the defaults; the time
//   formats are "[AMPM ]h[h]:mm[:ss][ AMPM]" with at most one marker; a C
//   locale gives the defaults;
// - the time text is the hour (12-hour clock with a marker), minutes and
//   seconds with the time separator and the designator where the marker is;
// - a date's text under the locale's short date format reads back as the
//   date when that format is a numeric one;
// - any format gives at most 256 characters; a format without letters,
//   quotes, '/' or ':' is copied, and quoted text is copied without quotes;
// - a decimal's text is its exact value in plain digits with the locale's
//   decimal separator; a double's text is its value to 15 significant digits.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "dbaccess/encoding.h"
#include "dbaccess/locale.h"
#include "dbaccess/textforms.h"
#include "fuzz/fuzz_support.h"

using namespace dbx;

namespace {

const char* const kCodesets[] = {"UTF-8", "ISO-8859-1", "", "ANSI_X3.4-1968", "ISO-8859-15", "CP1252", "NO-SUCH"};
const char* const kLocaleNames[] = {"es_CO.UTF-8", "C", "POSIX", "C.UTF-8", "", "en_US.UTF-8"};
// Pieces of strftime pictures, so that the input reaches the conversions.
const char* const kPictureBits[] = {"%d", "%m", "%y", "%Y", "%e", "%-d", "%-m", "%D", "%F", "%b", "%B", "%a", "%A",
                                    "%H", "%I", "%k", "%l", "%M", "%S", "%p", "%P", "%T", "%R", "%r", "%%", "%Ey",
                                    "%Od", "/", ".", "-", ":", " ", "\xc3\xa9", "\xe2\x80\xaf", "%",  "%_H", "%0e"};

std::string ConsumePicture(FuzzedDataProvider& in) {
  std::string picture;
  const int pieces = in.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < pieces; ++i) {
    if (in.ConsumeIntegralInRange(0, 3) == 0) {
      picture += fuzz::ConsumeBytes(in, 4);
    } else {
      picture += kPictureBits[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kPictureBits) - 1)];
    }
  }
  return picture;
}

bool IsPrintable(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 0x20 && u < 0x7F) || u >= 0xA0;
}

// An item as the settings take it, or nothing when its codeset is not one
// that this check converts itself.
bool Internal(const std::string& item, const std::string& codeset, std::string& out) {
  if (codeset == "UTF-8") return Utf8ToLatin1(item, out);
  if (codeset == "ISO-8859-1" || codeset.empty() || codeset == "ANSI_X3.4-1968") {
    out = item;
    return true;
  }
  return false;
}

template <std::size_t N>
void CheckNames(const std::array<std::string, N>& taken, const std::array<std::string, N>& defaults,
                const std::array<std::string, N>& items, const std::string& codeset, bool cLocale) {
  for (std::size_t i = 0; i < N; ++i) {
    std::string internal;
    const bool known = Internal(items[i], codeset, internal);
    if (cLocale || (known && internal.empty()) || (codeset == "UTF-8" && !known)) {
      FUZZ_CHECK(taken[i] == defaults[i], "a name the locale does not supply keeps its default", fuzz::Escaped(taken[i]));
    } else if (known) {
      FUZZ_CHECK(taken[i] == internal, "a name is the locale's in internal text", fuzz::Escaped(taken[i]));
    }
  }
}

// A number's sign, significant digits (no leading or trailing zeros) and the
// power of ten of its first digit: "-0.0120" and "-1.2e-2" give "-12e-2".
std::string Significant(const std::string& number) {
  std::string digits;
  int point = 0, exponent = 0;
  bool seenPoint = false;
  std::size_t i = number[0] == '-' ? 1 : 0;
  for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
    if (number[i] == '.') {
      seenPoint = true;
    } else {
      digits += number[i];
      if (!seenPoint) ++point;
    }
  }
  if (i < number.size()) exponent = std::atoi(number.c_str() + i + 1);
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return "0";
  digits.erase(0, first);
  point -= static_cast<int>(first);
  digits.erase(digits.find_last_not_of('0') + 1);
  return (number[0] == '-' ? "-" : "") + digits + "e" + std::to_string(point - 1 + exponent);
}

std::string TwoDigits(int n) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "%02d", n);
  return buffer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  LocaleItems items;
  items.codeset = kCodesets[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kCodesets) - 1)];
  items.timeLocaleName = kLocaleNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kLocaleNames) - 1)];
  items.numericLocaleName = kLocaleNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kLocaleNames) - 1)];
  items.dateFormat = ConsumePicture(in);
  items.timeFormat = ConsumePicture(in);
  items.timeFormatAmPm = ConsumePicture(in);
  items.amString = fuzz::ConsumeBytes(in, 8);
  items.pmString = fuzz::ConsumeBytes(in, 8);
  items.radixChar = fuzz::ConsumeBytes(in, 3);
  items.thousandsSep = fuzz::ConsumeBytes(in, 3);
  for (auto* names : {&items.monthNames, &items.abbrevMonthNames})
    for (auto& name : *names) name = in.ConsumeBool() ? fuzz::ConsumeBytes(in, 12) : std::string();
  for (auto* names : {&items.dayNames, &items.abbrevDayNames})
    for (auto& name : *names) name = in.ConsumeBool() ? fuzz::ConsumeBytes(in, 12) : std::string();

  const FormatSettings fs = SettingsFromLocaleItems(items);
  const FormatSettings defaults;
  const bool cTime = IsCLocaleName(items.timeLocaleName);
  const bool cNumeric = IsCLocaleName(items.numericLocaleName);

  // The settings.
  for (const char c : {fs.dateSeparator, fs.timeSeparator, fs.decimalSeparator, fs.thousandSeparator})
    FUZZ_CHECK(IsPrintable(c), "separators are printable characters", fuzz::Escaped(std::string(1, c)));
  FUZZ_CHECK(!fs.shortDateFormat.empty(), "there is always a short date format", "");
  const std::string& lt = fs.longTimeFormat;
  const bool prefix = lt.starts_with("AMPM ");
  const bool postfix = lt.ends_with(" AMPM");
  const std::string hour = lt.substr(prefix ? 5 : 0, lt.size() - (prefix ? 5 : 0) - (postfix ? 5 : 0));
  FUZZ_CHECK(!(prefix && postfix) && (hour == "h:mm:ss" || hour == "hh:mm:ss"), "the long time format's shape",
             fuzz::Escaped(lt));
  FUZZ_CHECK(fs.shortTimeFormat == lt.substr(0, (prefix ? 5 : 0) + hour.size() - 3) + (postfix ? " AMPM" : ""),
             "the short time format is the long one without seconds", fuzz::Escaped(fs.shortTimeFormat));
  if (cTime) {
    FUZZ_CHECK(fs.shortDateFormat == defaults.shortDateFormat && fs.dateSeparator == defaults.dateSeparator &&
                   lt == defaults.longTimeFormat && fs.timeSeparator == defaults.timeSeparator &&
                   fs.timeAMString == defaults.timeAMString && fs.timePMString == defaults.timePMString,
               "a C locale supplies no time settings", "");
  }
  if (cNumeric) {
    FUZZ_CHECK(fs.decimalSeparator == defaults.decimalSeparator && fs.thousandSeparator == defaults.thousandSeparator,
               "a C locale supplies no number settings", "");
  }
  CheckNames(fs.longMonthNames, defaults.longMonthNames, items.monthNames, items.codeset, cTime);
  CheckNames(fs.shortMonthNames, defaults.shortMonthNames, items.abbrevMonthNames, items.codeset, cTime);
  CheckNames(fs.longDayNames, defaults.longDayNames, items.dayNames, items.codeset, cTime);
  CheckNames(fs.shortDayNames, defaults.shortDayNames, items.abbrevDayNames, items.codeset, cTime);
  {
    std::string am;
    if (!cTime && Internal(items.amString, items.codeset, am) && !am.empty())
      FUZZ_CHECK(fs.timeAMString == am, "the AM designator is the locale's", fuzz::Escaped(fs.timeAMString));
  }

  // The time text, composed apart.
  const DateTime value{fuzz::ConsumeDate(in, true), fuzz::ConsumeTime(in, true)};
  {
    const bool twelve = prefix || postfix;
    int h = value.time.hour;
    if (twelve) h = h == 0 ? 12 : h > 12 ? h - 12 : h;
    const std::string designator = value.time.hour >= 12 ? fs.timePMString : fs.timeAMString;
    std::string expected = prefix ? designator + " " : "";
    expected += hour.starts_with("hh") ? TwoDigits(h) : std::to_string(h);
    expected += fs.timeSeparator + TwoDigits(value.time.minute) + fs.timeSeparator + TwoDigits(value.time.second);
    if (postfix) expected += " " + designator;
    if (expected.size() > 256) expected.resize(256);
    FUZZ_CHECK(TimeToStr(value, fs) == expected, "the time text", fuzz::Escaped(TimeToStr(value, fs)) + " expected " + fuzz::Escaped(expected));
  }

  // The date text reads back under a numeric short date format.
  const std::string dateText = DateToStr(value, fs);
  FUZZ_CHECK(dateText.size() <= 256, "a text of at most 256 characters", fuzz::Escaped(dateText));
  if (const auto shape = fuzz::NumericShapeOf(fs.shortDateFormat, fs.dateSeparator)) {
    const Date today = fuzz::ConsumeDate(in, true);
    const int currentYear = today.year < 50 ? 50 : today.year;
    Date back;
    const bool parsed = TryStrToDate(dateText, fs, Date{currentYear, 1, 1}, back);
    const auto expected = fuzz::ReadBackDate(*shape, value.date, currentYear);
    FUZZ_CHECK(parsed == expected.has_value() && (!parsed || back == *expected),
               "a date text formatted then parsed gives the date back",
               "format " + fuzz::Escaped(fs.shortDateFormat) + " text " + fuzz::Escaped(dateText));
  }

  // Any format.
  const std::string format = fuzz::ConsumeBytes(in, 300);
  const std::string any = FormatDateTime(format, value, fs);
  FUZZ_CHECK(any.size() <= 256, "a text of at most 256 characters", fuzz::Escaped(format));
  bool plain = !format.empty();
  for (const char c : format)
    plain = plain && !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '\'' || c == '"' || c == '/' || c == ':');
  if (plain) FUZZ_CHECK(any == format.substr(0, 256), "a format without specifiers is copied", fuzz::Escaped(format));
  if (!format.empty() && format.find('\'') == std::string::npos) {
    const std::string quoted = FormatDateTime("'" + format + "'", value, fs);
    FUZZ_CHECK(quoted == format.substr(0, 256), "quoted text is copied without the quotes", fuzz::Escaped(format));
  }

  // Numbers.
  Decimal d;
  d.unscaled = in.ConsumeIntegral<std::int64_t>();
  d.scale = in.ConsumeIntegralInRange(0, 40);
  const std::string decimalText = DecimalToStr(d, fs.decimalSeparator);
  const bool separatorReadable = !(fs.decimalSeparator >= '0' && fs.decimalSeparator <= '9') && fs.decimalSeparator != '-';
  if (separatorReadable)
    FUZZ_CHECK(fuzz::IsDecimalText(decimalText, d, fs.decimalSeparator, true), "a decimal's text is its exact value",
               fuzz::Escaped(decimalText) + " of " + std::to_string(d.unscaled) + "e-" + std::to_string(d.scale));

  const auto bits = in.ConsumeIntegral<std::uint64_t>();
  double v = 0;
  std::memcpy(&v, &bits, sizeof v);
  const std::string floatText = FloatToStr(v, fs.decimalSeparator);
  if (std::isnan(v)) {
    FUZZ_CHECK(floatText == "NAN", "not a number", floatText);
  } else if (std::isinf(v)) {
    FUZZ_CHECK(floatText == (v < 0 ? "-INF" : "INF"), "infinity", floatText);
  } else if (v == 0) {
    FUZZ_CHECK(floatText == "0", "zero, of either sign, is \"0\"", floatText);
  } else if (separatorReadable && fs.decimalSeparator != 'E' && fs.decimalSeparator != '+') {
    std::string c = floatText;
    for (char& ch : c) {
      FUZZ_CHECK((ch >= '0' && ch <= '9') || ch == '-' || ch == 'E' || ch == fs.decimalSeparator,
                 "a double's text has digits, sign, exponent and the decimal separator only", fuzz::Escaped(floatText));
      if (ch == fs.decimalSeparator) ch = '.';
    }
    char rounded[40];
    std::snprintf(rounded, sizeof rounded, "%.14e", v);
    FUZZ_CHECK(Significant(c) == Significant(rounded), "a double's text is its value to 15 significant digits",
               fuzz::Escaped(floatText) + " of " + rounded);
  }
  return 0;
}
