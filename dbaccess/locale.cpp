#include "dbaccess/locale.h"

#include <langinfo.h>
#include <locale.h>

#include <string_view>

#include "dbaccess/encoding.h"

namespace dbx {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }


// One strftime conversion of a picture: its letter and padding flag.
struct Conversion {
  char letter = 0;
  char flag = 0;  // '-', '_', '0', '^', '#' or 0
};

// Splits a strftime picture into literal characters and conversions, with the
// composite conversions (%D, %F, %T, %R, %r) written out.
template <typename OnLiteral, typename OnConversion>
void WalkPicture(std::string_view picture, std::string_view ampmPicture, OnLiteral onLiteral, OnConversion onConversion,
                 int depth = 0) {
  for (std::size_t i = 0; i < picture.size(); ++i) {
    if (picture[i] != '%') {
      onLiteral(picture[i]);
      continue;
    }
    Conversion conv;
    ++i;
    while (i < picture.size() && std::string_view("-_0^#").find(picture[i]) != std::string_view::npos) {
      conv.flag = picture[i++];
    }
    while (i < picture.size() && IsDigit(picture[i])) ++i;
    while (i < picture.size() && (picture[i] == 'E' || picture[i] == 'O')) ++i;
    if (i >= picture.size()) return;
    conv.letter = picture[i];
    std::string_view composite;
    switch (conv.letter) {
      case 'D':
        composite = "%m/%d/%y";
        break;
      case 'F':
        composite = "%Y-%m-%d";
        break;
      case 'T':
        composite = "%H:%M:%S";
        break;
      case 'R':
        composite = "%H:%M";
        break;
      case 'r':
        composite = ampmPicture.empty() ? std::string_view("%I:%M:%S %p") : ampmPicture;
        break;
      case '%':
        onLiteral('%');
        continue;
      case 'n':
      case 't':
        onLiteral(' ');
        continue;
      default:
        break;
    }
    if (!composite.empty()) {
      if (depth < 2) WalkPicture(composite, ampmPicture, onLiteral, onConversion, depth + 1);
      continue;
    }
    onConversion(conv);
  }
}

// Stands for a character of a picture that ISO-8859-1 lacks.
constexpr char kNotLatin1 = '\x1a';

// A printable character of ISO-8859-1.
bool IsSeparatorChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 0x20 && u < 0x7F) || u >= 0xA0;
}

// The first character of an item, when it is a printable one.
bool FirstChar(const std::string& item, char& c) {
  if (item.empty() || !IsSeparatorChar(item[0])) return false;
  c = item[0];
  return true;
}

bool IsUtf8Name(const std::string& codeset) {
  return codeset == "UTF-8" || codeset == "utf8" || codeset == "UTF8" || codeset == "utf-8";
}

bool IsLatin1Name(const std::string& codeset) {
  return codeset == "ISO-8859-1" || codeset == "ISO8859-1" || codeset == "ISO_8859-1" || codeset == "LATIN1" ||
         codeset == "ANSI_X3.4-1968" || codeset == "ASCII" || codeset.empty();
}

// An item of the locale in internal text. A character outside ISO-8859-1
// becomes kNotLatin1 when `substitute`, else the item is dropped (empty).
std::string ItemToInternal(const std::string& item, const std::string& codeset, bool substitute) {
  if (item.empty() || IsLatin1Name(codeset)) return item;
  std::string utf8 = item;
  if (!IsUtf8Name(codeset) && !ConvertCodeset(codeset, "UTF-8", item, utf8)) return {};
  if (substitute) return Utf8ToLatin1(utf8, kNotLatin1);
  std::string out;
  return Utf8ToLatin1(utf8, out) ? out : std::string();
}

LocaleItems ItemsToInternal(const LocaleItems& items) {
  LocaleItems out = items;
  const std::string& cs = items.codeset;
  out.codeset = "ISO-8859-1";
  out.dateFormat = ItemToInternal(items.dateFormat, cs, true);
  out.timeFormat = ItemToInternal(items.timeFormat, cs, true);
  out.timeFormatAmPm = ItemToInternal(items.timeFormatAmPm, cs, true);
  for (std::string* text : {&out.amString, &out.pmString, &out.radixChar, &out.thousandsSep})
    *text = ItemToInternal(*text, cs, false);
  for (auto& name : out.monthNames) name = ItemToInternal(name, cs, false);
  for (auto& name : out.abbrevMonthNames) name = ItemToInternal(name, cs, false);
  for (auto& name : out.dayNames) name = ItemToInternal(name, cs, false);
  for (auto& name : out.abbrevDayNames) name = ItemToInternal(name, cs, false);
  return out;
}

template <std::size_t N>
void TakeNames(std::array<std::string, N>& target, const std::array<std::string, N>& source) {
  for (std::size_t i = 0; i < N; ++i) {
    if (!source[i].empty()) target[i] = source[i];
  }
}

// Short date picture -> date format; literal letters are quoted.
std::string TranslateDatePicture(std::string_view picture, char& separator, bool& separatorFound) {
  std::string out;
  std::string literal;
  auto flush = [&]() {
    if (literal.empty()) return;
    bool letters = false;
    for (char c : literal) letters = letters || IsLetter(c);
    if (letters) {
      const char q = literal.find('"') == std::string::npos ? '"' : '\'';
      out += q + literal + q;
    } else {
      out += literal;
    }
    literal.clear();
  };
  WalkPicture(
      picture, {},
      [&](char c) {
        if (c != kNotLatin1) literal += c;
        if (!separatorFound && !IsLetter(c) && c != ' ' && c != '\t') {
          if (IsSeparatorChar(c)) separator = c;
          separatorFound = true;
        }
      },
      [&](const Conversion& conv) {
        flush();
        const bool noPad = conv.flag == '-' || conv.flag == '_';
        switch (conv.letter) {
          case 'd':
            out += noPad ? "d" : "dd";
            break;
          case 'e':
            out += conv.flag == '0' ? "dd" : "d";
            break;
          case 'm':
            out += noPad ? "M" : "MM";
            break;
          case 'y':
            out += "yy";
            break;
          case 'Y':
          case 'G':
            out += "yyyy";
            break;
          case 'b':
          case 'h':
            out += "MMM";
            break;
          case 'B':
            out += "MMMM";
            break;
          case 'a':
            out += "ddd";
            break;
          case 'A':
            out += "dddd";
            break;
          default:
            break;  // nothing the date format can show
        }
      });
  flush();
  return out;
}

}  // namespace


bool IsCLocaleName(const std::string& name) {
  return name == "C" || name == "POSIX" || name.starts_with("C.") || name.starts_with("C@") ||
         name.starts_with("POSIX.") || name.starts_with("POSIX@");
}

FormatSettings SettingsFromLocaleItems(const LocaleItems& platformItems) {
  const LocaleItems items = ItemsToInternal(platformItems);
  FormatSettings fs;
  if (!IsCLocaleName(items.timeLocaleName)) {
    if (!items.dateFormat.empty()) {
      bool found = false;
      char separator = fs.dateSeparator;
      const std::string format = TranslateDatePicture(items.dateFormat, separator, found);
      if (!format.empty()) fs.shortDateFormat = format;
      if (found) fs.dateSeparator = separator;
    }
    if (!items.amString.empty()) fs.timeAMString = items.amString;
    if (!items.pmString.empty()) fs.timePMString = items.pmString;

    // The time format is built from the clock, the hour's leading zero and
    // the marker position that the locale's time picture shows.
    std::string hourPicture = "h";
    bool hourSeen = false, twelveConversion = false, markerFirst = false, timeSepFound = false;
    WalkPicture(
        items.timeFormat, items.timeFormatAmPm,
        [&](char c) {
          // The first character after the hour that is not a blank or a
          // letter; one that is not a character of the 8-bit set (a byte of
          // a multibyte character) leaves the default.
          if (!hourSeen || timeSepFound || IsLetter(c) || c == ' ' || c == '\t') return;
          timeSepFound = true;
          if (IsSeparatorChar(c)) fs.timeSeparator = c;
        },
        [&](const Conversion& conv) {
          switch (conv.letter) {
            case 'H':
            case 'I':
            case 'k':
            case 'l':
              if (hourSeen) break;
              hourSeen = true;
              twelveConversion = conv.letter == 'I' || conv.letter == 'l';
              if (conv.letter == 'H' || conv.letter == 'I') {
                hourPicture = conv.flag == '-' || conv.flag == '_' ? "h" : "hh";
              } else {
                hourPicture = conv.flag == '0' ? "hh" : "h";
              }
              break;
            case 'p':
            case 'P':
              if (!hourSeen) markerFirst = true;
              break;
            default:
              break;
          }
        });
    const bool designators = !items.amString.empty() || !items.pmString.empty();
    const bool twelveHour = designators && (!hourSeen || twelveConversion);
    const std::string prefix = twelveHour && markerFirst ? "AMPM " : "";
    const std::string postfix = twelveHour && !markerFirst ? " AMPM" : "";
    fs.longTimeFormat = prefix + hourPicture + ":mm:ss" + postfix;
    fs.shortTimeFormat = prefix + hourPicture + ":mm" + postfix;

    TakeNames(fs.longMonthNames, items.monthNames);
    TakeNames(fs.shortMonthNames, items.abbrevMonthNames);
    TakeNames(fs.longDayNames, items.dayNames);
    TakeNames(fs.shortDayNames, items.abbrevDayNames);
  }
  if (!IsCLocaleName(items.numericLocaleName)) {
    char c = 0;
    if (FirstChar(items.radixChar, c)) fs.decimalSeparator = c;
    if (FirstChar(items.thousandsSep, c)) fs.thousandSeparator = c;
  }
  return fs;
}

FormatSettings SettingsFromPlatform() {
  locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
  if (loc == static_cast<locale_t>(nullptr)) return FormatSettings{};
  auto item = [loc](nl_item what) {
    const char* text = nl_langinfo_l(what, loc);
    return std::string(text != nullptr ? text : "");
  };
  LocaleItems items;
  items.codeset = item(CODESET);
#ifdef _NL_LOCALE_NAME
  items.timeLocaleName = item(_NL_LOCALE_NAME(LC_TIME));
  items.numericLocaleName = item(_NL_LOCALE_NAME(LC_NUMERIC));
#else
  items.timeLocaleName = setlocale(LC_TIME, nullptr) != nullptr ? setlocale(LC_TIME, nullptr) : "C";
  items.numericLocaleName = setlocale(LC_NUMERIC, nullptr) != nullptr ? setlocale(LC_NUMERIC, nullptr) : "C";
#endif
  items.dateFormat = item(D_FMT);
  items.timeFormat = item(T_FMT);
  items.timeFormatAmPm = item(T_FMT_AMPM);
  items.amString = item(AM_STR);
  items.pmString = item(PM_STR);
  items.radixChar = item(RADIXCHAR);
  items.thousandsSep = item(THOUSEP);
  static const nl_item kMonths[12] = {MON_1, MON_2, MON_3, MON_4,  MON_5,  MON_6,
                                      MON_7, MON_8, MON_9, MON_10, MON_11, MON_12};
  static const nl_item kAbMonths[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,  ABMON_5,  ABMON_6,
                                        ABMON_7, ABMON_8, ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  static const nl_item kDays[7] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  static const nl_item kAbDays[7] = {ABDAY_1, ABDAY_2, ABDAY_3, ABDAY_4, ABDAY_5, ABDAY_6, ABDAY_7};
  for (std::size_t i = 0; i < 12; ++i) {
    items.monthNames[i] = item(kMonths[i]);
    items.abbrevMonthNames[i] = item(kAbMonths[i]);
  }
  for (std::size_t i = 0; i < 7; ++i) {
    items.dayNames[i] = item(kDays[i]);
    items.abbrevDayNames[i] = item(kAbDays[i]);
  }
  freelocale(loc);
  return SettingsFromLocaleItems(items);
}


}  // namespace dbx
