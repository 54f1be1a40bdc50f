// Reading the user's locale into the text forms' settings: the C library's
// locale items, turned into internal text, and the settings built from them.
#pragma once

#include <array>
#include <string>

#include "dbaccess/textforms.h"

namespace dbx {

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

// Reads the settings from the platform locale (LC_TIME / LC_NUMERIC of the
// environment); items a locale does not supply, and the C/POSIX locale
// entirely, keep the defaults (FormatSettings).
[[nodiscard]] FormatSettings SettingsFromPlatform();

}  // namespace dbx
