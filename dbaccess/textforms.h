// Text forms of values: locale settings, the date-time format engine, date
// parsing and the texts of numbers. The SQL forms of values are in sqltext.h.
#pragma once

#include <array>
#include <string>

#include "dbaccess/values.h"

namespace dbx {

// The user's locale settings as the text forms use them.
struct FormatSettings {
  std::string shortDateFormat = "m/d/yy";
  std::string longDateFormat = "mmmm d, yyyy";
  char dateSeparator = '/';
  char timeSeparator = ':';
  std::string longTimeFormat = "h:mm:ss AMPM";
  std::string shortTimeFormat = "h:mm AMPM";
  std::string timeAMString = "am";
  std::string timePMString = "pm";
  char decimalSeparator = '.';
  char thousandSeparator = ',';
  std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::array<std::string, 12> longMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
  std::array<std::string, 7> shortDayNames{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::array<std::string, 7> longDayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  int twoDigitYearCenturyWindow = 50;
  friend bool operator==(const FormatSettings&, const FormatSettings&) = default;
};

// The settings of no locale: the C locale's.
[[nodiscard]] const FormatSettings& DefaultFormatSettings() noexcept;

// Formats a date-time value with a format (empty format means "c").
[[nodiscard]] std::string FormatDateTime(const std::string& format, const DateTime& value,
                                         const FormatSettings& fs);

// Date text: the short date format. Time text: the long time format.
[[nodiscard]] std::string DateToStr(const DateTime& value, const FormatSettings& fs);
[[nodiscard]] std::string TimeToStr(const DateTime& value, const FormatSettings& fs);
// Format "c".
[[nodiscard]] std::string DateTimeToStr(const DateTime& value, const FormatSettings& fs);

// Parses a date in the short date form; throws EConvertError
// "'%s' no es una fecha válida". `today` supplies the current year.
[[nodiscard]] Date StrToDate(const std::string& text, const FormatSettings& fs);
[[nodiscard]] Date StrToDate(const std::string& text, const FormatSettings& fs, const Date& today);
// Non-throwing forms: a date; a date with an optional time of day after it;
// a time of day ("h:mm[:ss[.zzz]]" with the time separator, optional AM/PM).
[[nodiscard]] bool TryStrToDate(const std::string& text, const FormatSettings& fs, const Date& today, Date& result);
[[nodiscard]] bool TryStrToDateTime(const std::string& text, const FormatSettings& fs, const Date& today,
                                    DateTime& result);
[[nodiscard]] bool TryStrToTime(const std::string& text, const FormatSettings& fs, Time& result);

// Decimal text: digits, locale decimal separator, no grouping, no trailing zeros.
[[nodiscard]] std::string DecimalToStr(const Decimal& value, char decimalSeparator);
// General number format for doubles (15 significant digits), no grouping.
[[nodiscard]] std::string FloatToStr(double value, char decimalSeparator);

}  // namespace dbx
