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

// The locale items the settings are built from, as the C library reports
// them (strftime pictures, designators, names). An empty item is one the
// locale does not supply.
struct LocaleItems {
  std::string codeset = "UTF-8";  // the locale's encoding of every item below
  std::string timeLocaleName;     // name of the LC_TIME locale
  std::string numericLocaleName;  // name of the LC_NUMERIC locale
  std::string dateFormat;         // D_FMT, e.g. "%d/%m/%y"
  std::string timeFormat;         // T_FMT, e.g. "%H:%M:%S"
  std::string timeFormatAmPm;     // T_FMT_AMPM, e.g. "%I:%M:%S %p"
  std::string amString, pmString;
  std::string radixChar, thousandsSep;
  std::array<std::string, 12> monthNames, abbrevMonthNames;
  std::array<std::string, 7> dayNames, abbrevDayNames;  // Sunday first
};

// True for the C/POSIX locale under any of its names ("C", "POSIX", "C.UTF-8", ...).
[[nodiscard]] bool IsCLocaleName(const std::string& name);
// Builds the settings from locale items, turned into internal text first; a
// C locale supplies nothing. A name, designator or separator with a character
// outside ISO-8859-1 counts as not supplied; such a character in a picture is
// left out of its literal text and is never a separator.
[[nodiscard]] FormatSettings SettingsFromLocaleItems(const LocaleItems& items);

// The process-wide settings (read at start, re-read on a locale change).
[[nodiscard]] FormatSettings& Settings();

// Reads the settings from the platform locale (LC_TIME / LC_NUMERIC of the
// environment); items a locale does not supply, and the C/POSIX locale
// entirely, keep the defaults above.
[[nodiscard]] FormatSettings SettingsFromPlatform();
// Settings() = SettingsFromPlatform().
void ReloadSettings();

// Formats a date-time value with a format (empty format means "c").
[[nodiscard]] std::string FormatDateTime(const std::string& format, const DateTime& value,
                                         const FormatSettings& fs = Settings());

// Date text: the short date format. Time text: the long time format.
[[nodiscard]] std::string DateToStr(const DateTime& value, const FormatSettings& fs = Settings());
[[nodiscard]] std::string TimeToStr(const DateTime& value, const FormatSettings& fs = Settings());
// Format "c".
[[nodiscard]] std::string DateTimeToStr(const DateTime& value, const FormatSettings& fs = Settings());

// Parses a date in the short date form; throws EConvertError
// "'%s' no es una fecha válida". `today` supplies the current year.
[[nodiscard]] Date StrToDate(const std::string& text, const FormatSettings& fs = Settings());
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
