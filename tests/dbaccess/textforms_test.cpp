#include "dbaccess/sqltext.h"
#include "dbaccess/locale.h"
#include "dbaccess/textforms.h"

#include <gtest/gtest.h>
#include <langinfo.h>
#include <locale.h>

#include <charconv>
#include <cstdlib>
#include <limits>
#include <optional>

#include "dbaccess/errors.h"
#include "dbaccess/encoding.h"
#include "support/files.h"

namespace dbx {
namespace {

const DateTime kDec1At140509{Date{2008, 12, 1}, Time{14, 5, 9, 1230}};  // a Monday, 123 ms

FormatSettings DayFirst() {
  FormatSettings fs;
  fs.shortDateFormat = "dd/MM/yyyy";
  fs.timeAMString = "a.m.";
  fs.timePMString = "p.m.";
  fs.decimalSeparator = ',';
  fs.thousandSeparator = '.';
  return fs;
}

TEST(TextForms, DateAndTimeTextWithDefaults) {
  const FormatSettings fs;
  const DateTime v{Date{2008, 12, 1}, Time{14, 5, 9, 0}};
  EXPECT_EQ(DateToStr(v, fs), "12/1/08");
  EXPECT_EQ(TimeToStr(v, fs), "2:05:09 pm");
  EXPECT_EQ(DateTimeToStr(v, fs), "12/1/08 2:05:09 pm");
}

TEST(TextForms, DateAndTimeTextDayFirst) {
  const FormatSettings fs = DayFirst();
  const DateTime v{Date{2008, 12, 1}, Time{14, 5, 9, 0}};
  EXPECT_EQ(DateToStr(v, fs), "01/12/2008");
  EXPECT_EQ(TimeToStr(v, fs), "2:05:09 p.m.");
}

TEST(TextForms, SlashIsTheDateSeparator) {
  FormatSettings fs;
  fs.shortDateFormat = "dd/MM/yyyy";
  fs.dateSeparator = '-';
  fs.timeSeparator = '.';
  EXPECT_EQ(DateToStr(kDec1At140509, fs), "01-12-2008");
  EXPECT_EQ(FormatDateTime("hh:nn", kDec1At140509, fs), "14.05");
}

struct FormatCase {
  const char* format;
  DateTime value;
  const char* expected;
};

class FormatTable : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTable, Formats) {
  const FormatCase& c = GetParam();
  EXPECT_EQ(FormatDateTime(c.format, c.value, FormatSettings{}), c.expected) << "format: " << c.format;
}

const DateTime kMidnight{Date{2008, 12, 1}, Time{0, 0, 0, 0}};
const DateTime kHalfSecond{Date{2008, 12, 1}, Time{0, 0, 0, 5000}};
const DateTime kHalfPastMidnight{Date{2008, 12, 1}, Time{0, 30, 0, 50}};
const DateTime kNoon{Date{2008, 12, 1}, Time{12, 0, 0, 0}};
const DateTime kYear8{Date{8, 3, 7}, Time{9, 0, 0, 0}};

INSTANTIATE_TEST_SUITE_P(
    Specifiers, FormatTable,
    ::testing::Values(
        // days
        FormatCase{"d", kDec1At140509, "1"}, FormatCase{"dd", kDec1At140509, "01"},
        FormatCase{"ddd", kDec1At140509, "Mon"}, FormatCase{"dddd", kDec1At140509, "Monday"},
        FormatCase{"ddddd", kDec1At140509, "12/1/08"}, FormatCase{"dddddd", kDec1At140509, "December 1, 2008"},
        FormatCase{"ddddddd", kDec1At140509, "December 1, 2008"}, FormatCase{"aaa", kDec1At140509, "Mon"},
        FormatCase{"AAAA", kDec1At140509, "Monday"},
        // months, years, case-insensitive letters
        FormatCase{"m", kDec1At140509, "12"}, FormatCase{"mm", kYear8, "03"}, FormatCase{"mmm", kDec1At140509, "Dec"},
        FormatCase{"MMMMM", kDec1At140509, "December"}, FormatCase{"y", kYear8, "08"},
        FormatCase{"yy", kDec1At140509, "08"}, FormatCase{"yyy", kYear8, "0008"},
        FormatCase{"YYYY", kDec1At140509, "2008"}, FormatCase{"DD/MM/YYYY", kDec1At140509, "01/12/2008"},
        // hours: 24-hour unless a marker follows before another h
        FormatCase{"h", kDec1At140509, "14"}, FormatCase{"hhh", kYear8, "09"},
        FormatCase{"h AM/PM", kDec1At140509, "2 PM"}, FormatCase{"h am/PM", kYear8, "9 am"},
        FormatCase{"h Am/pM", kDec1At140509, "2 pM"}, FormatCase{"h a/p", kDec1At140509, "2 p"},
        FormatCase{"h A/P", kYear8, "9 A"}, FormatCase{"h ampm", kDec1At140509, "2 pm"},
        FormatCase{"h AMPM", kYear8, "9 am"}, FormatCase{"h:nn ampm", kHalfPastMidnight, "12:30 am"},
        FormatCase{"h ampm", kNoon, "12 pm"}, FormatCase{"h", kHalfPastMidnight, "0"},
        FormatCase{"h h ampm", kDec1At140509, "14 2 pm"}, FormatCase{"ampm h", kDec1At140509, "pm 2"},
        FormatCase{"h 'ampm'", kDec1At140509, "14 ampm"}, FormatCase{"h aaa ampm", kDec1At140509, "2 Mon pm"},
        // m after h is the minute, with only non-letters between
        FormatCase{"h:m", kDec1At140509, "14:5"}, FormatCase{"hh-mm", kDec1At140509, "14-05"},
        FormatCase{"h d m", kDec1At140509, "14 1 12"}, FormatCase{"m/d h:mm", kDec1At140509, "12/1 14:05"},
        // minutes, seconds, milliseconds
        FormatCase{"n", kDec1At140509, "5"}, FormatCase{"nnn", kDec1At140509, "05"},
        FormatCase{"s", kDec1At140509, "9"}, FormatCase{"ss", kDec1At140509, "09"},
        FormatCase{"z", kDec1At140509, "123"}, FormatCase{"zzzz", kDec1At140509, "123"},
        FormatCase{"z", kHalfPastMidnight, "5"}, FormatCase{"zzz", kHalfPastMidnight, "005"},
        // named formats
        FormatCase{"t", kDec1At140509, "2:05 pm"}, FormatCase{"tt", kDec1At140509, "2:05:09 pm"},
        FormatCase{"c", kDec1At140509, "12/1/08 2:05:09 pm"}, FormatCase{"c", kMidnight, "12/1/08"},
        FormatCase{"c", kHalfSecond, "12/1/08"}, FormatCase{"", kDec1At140509, "12/1/08 2:05:09 pm"},
        FormatCase{"", kHalfSecond, "12/1/08"},
        // quoted and other text
        FormatCase{"'dd' dd", kDec1At140509, "dd 01"}, FormatCase{"\"mm\"", kDec1At140509, "mm"},
        FormatCase{"'it''s'", kDec1At140509, "its"}, FormatCase{"'abc", kDec1At140509, "abc"},
        FormatCase{"x#-q", kDec1At140509, "x#-q"}, FormatCase{"ggee", kDec1At140509, "2008"}));

TEST(TextForms, NestedFormatsGoOneLevelDeep) {
  FormatSettings fs;
  fs.shortDateFormat = "yyyy c t";
  fs.longTimeFormat = "hh ddddd";
  // The short date format is applied; the formats it names give nothing.
  EXPECT_EQ(FormatDateTime("ddddd", kDec1At140509, fs), "2008  ");
  EXPECT_EQ(FormatDateTime("c", kDec1At140509, fs), "2008   14 ");
  EXPECT_EQ(FormatDateTime("tt", kDec1At140509, fs), "14 ");
}

TEST(TextForms, OutputIsCutAt256Characters) {
  const FormatSettings fs;
  EXPECT_EQ(FormatDateTime(std::string(300, 'x'), kDec1At140509, fs), std::string(256, 'x'));
  std::string format;
  for (int i = 0; i < 40; ++i) format += "dddd,";  // "Monday," 40 times = 280 characters
  const std::string text = FormatDateTime(format, kDec1At140509, fs);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(text.substr(0, 14), "Monday,Monday,");

  // A character is one byte of the internal text, accented or not.
  FormatSettings es = fs;
  es.longDayNames[1] = "lúnes"_l1;  // 5 characters
  std::string names;
  for (int i = 0; i < 60; ++i) names += "aaaa";  // one long day name each
  const std::string cut = FormatDateTime(names, kDec1At140509, es);
  EXPECT_EQ(cut.size(), 256u);  // 51 names (255 characters) and the first letter of the next
  EXPECT_EQ(cut.back(), 'l');
}

struct ParseCase {
  const char* shortDateFormat;
  char separator;
  const char* text;
  std::optional<Date> expected;
};

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, Parses) {
  const ParseCase& c = GetParam();
  FormatSettings fs;
  fs.shortDateFormat = c.shortDateFormat;
  fs.dateSeparator = c.separator;
  const Date today{2009, 6, 15};
  if (c.expected) {
    EXPECT_EQ(StrToDate(c.text, fs, today), *c.expected) << c.text;
  } else {
    try {
      (void)StrToDate(c.text, fs, today);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + c.text + "' no es una fecha válida"_l1);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(DateParsing, ParseTable,
                         ::testing::Values(ParseCase{"dd/MM/yyyy", '/', "1/12/2008", Date{2008, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', "01/12", Date{2009, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', "31/02/2008", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "01/12/2008x", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "29/02/2008", Date{2008, 2, 29}},
                                           ParseCase{"dd/MM/yyyy", '/', "29/02/2009", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "01/12/08", Date{2008, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', "01/12/60", Date{1960, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', "01/12/59", Date{1959, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', "01/12/58", Date{2058, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', "01/12/0008", Date{8, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', " 1 / 12 /2008/  ", Date{2008, 12, 1}},
                                           ParseCase{"dd/MM/yyyy", '/', "1/12/12345", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "1/12/10000", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "0/12/2008", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "1/13/2008", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "01-12-2008", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "1/\t12/2008", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "", std::nullopt},
                                           ParseCase{"dd/MM/yyyy", '/', "12", std::nullopt},
                                           ParseCase{"M/d/yyyy", '/', "12/1/2008", Date{2008, 12, 1}},
                                           ParseCase{"M/d/yyyy", '/', "12/1", Date{2009, 12, 1}},
                                           ParseCase{"'x' M/d", '/', "12/1/2008",
                                                     Date{2008, 12, 1}},  // none of D, M, Y, E before M: x is not one
                                           ParseCase{"yyyy-MM-dd", '-', "2008-12-01", Date{2008, 12, 1}},
                                           ParseCase{"yyyy-MM-dd", '-', "08-12-01", Date{2008, 12, 1}},
                                           ParseCase{"yyyy-MM-dd", '-', "12-01", Date{2009, 12, 1}},
                                           ParseCase{"ee/MM/dd", '/', "2008/12/01", Date{2008, 12, 1}},
                                           ParseCase{"hh", '/', "12/1/2008", Date{2008, 12, 1}}));

TEST(TextForms, QuotedStr) {
  EXPECT_EQ(QuotedStr("'"), "''''");
  EXPECT_EQ(QuotedStr(""), "''");
  EXPECT_EQ(QuotedStr("O'Brien"), "'O''Brien'");
  EXPECT_EQ(QuotedStr("a\"b\\c ñ"_l1), "'a\"b\\c ñ'"_l1);
}

TEST(TextForms, DecimalText) {
  struct Case {
    Decimal value;
    char separator;
    const char* expected;
  };
  const Case cases[] = {
      {{0, 2, 15}, '.', "0"},
      {{-50, 2, 15}, '.', "-0.5"},
      {{123450, 2, 15}, ',', "1234,5"},
      {{120000, 2, 15}, '.', "1200"},
      {{25, 2, 15}, '.', "0.25"},
      {{-310, 2, 15}, '.', "-3.1"},
      {{5, 0, 18}, '.', "5"},
      {{1, 8, 32}, '.', "0.00000001"},
      {{-7, 3, 15}, ',', "-0,007"},
      {{INT64_MIN, 0, 19}, '.', "-9223372036854775808"},
      {{INT64_MIN, 4, 19}, '.', "-922337203685477.5808"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecimalToStr(c.value, c.separator), c.expected);
}

TEST(TextForms, FloatText) {
  EXPECT_EQ(FloatToStr(1234.5, ','), "1234,5");
  EXPECT_EQ(FloatToStr(0.1 + 0.2, '.'), "0.3");
  EXPECT_EQ(FloatToStr(-0.0, '.'), "0");
  EXPECT_EQ(FloatToStr(0.0001, '.'), "0.0001");
  EXPECT_EQ(FloatToStr(1.5e-7, '.'), "1.5E-7");
  EXPECT_EQ(FloatToStr(1e15, '.'), "1E15");
  EXPECT_EQ(FloatToStr(-123456789012345678.0, ','), "-1,23456789012346E17");
  EXPECT_EQ(FloatToStr(999999999999999.0, '.'), "999999999999999");
}

// Below 10^15 with at most four decimals a double reads as the decimal does.
TEST(TextForms, FloatTextMatchesDecimalText) {
  const std::int64_t unscaled[] = {
      0, 1, -1, 5, 50, 12345, -99999, 123456789, 100000000000000, 99999999999999, -314159265358979};
  for (std::int64_t u : unscaled) {
    for (int scale = 0; scale <= 4; ++scale) {
      const Decimal d{u, scale, 18};
      const std::string text = DecimalToStr(d, '.');
      double v = 0;
      std::from_chars(text.data(), text.data() + text.size(), v);
      EXPECT_EQ(FloatToStr(v, '.'), text) << u << " scale " << scale;
    }
  }
}

TEST(TextForms, SqlLiterals) {
  EXPECT_EQ(SqlLiteral(Null{}), "NULL");
  EXPECT_EQ(SqlLiteral(std::int64_t{-5}), "-5");
  EXPECT_EQ(SqlLiteral(1234.5), "1234.5");
  EXPECT_EQ(SqlLiteral(Decimal{123450, 2, 15}), "1234.5");
  EXPECT_EQ(SqlLiteral(Decimal{-50, 2, 15}), "-0.5");
  EXPECT_EQ(SqlLiteral(std::string("O'x")), "'O''x'");
  EXPECT_EQ(SqlLiteral(Date{2008, 12, 1}), "'2008-12-01'");
  EXPECT_EQ(SqlDate(Date{8, 3, 7}), "'0008-03-07'");
  EXPECT_EQ(SqlLiteral(Time{14, 5, 9, 0}), "'14:05:09'");
  EXPECT_EQ(SqlLiteral(Time{14, 5, 9, 5000}), "'14:05:09.5'");
  EXPECT_EQ(SqlLiteral(Time{0, 0, 0, 1}), "'00:00:00.0001'");
  EXPECT_EQ(SqlLiteral(DateTime{Date{2008, 12, 1}, Time{0, 0, 0, 0}}), "'2008-12-01 00:00:00'");
  EXPECT_EQ(SqlLiteral(DateTime{Date{2008, 12, 1}, Time{14, 5, 9, 1230}}), "'2008-12-01 14:05:09.123'");
  EXPECT_THROW((void)SqlLiteral(std::numeric_limits<double>::infinity()), EConvertError);
  // A key is always compared as a quoted text.
  EXPECT_EQ(SqlQuotedKey(std::string("O'x")), "'O''x'");
  EXPECT_EQ(SqlQuotedKey(std::int64_t{123}), "'123'");
  EXPECT_EQ(SqlQuotedKey(Decimal{-50, 2, 15}), "'-0.5'");
  EXPECT_EQ(SqlQuotedKey(Date{2008, 12, 1}), "'2008-12-01'");
  EXPECT_EQ(SqlQuotedKey(Null{}), "''");
  // Doubles read back to the same value.
  for (double v : {0.1, 1.0 / 3, -2.5e-300, 6.02214076e23, 123456789.125}) {
    const std::string text = SqlLiteral(v);
    EXPECT_EQ(text.find(','), std::string::npos) << text;
    double back = 0;
    std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(back, v) << text;
  }
}

// ---- Locale settings -----------------------------------------------------------

// LC_ALL set for a while.
struct ScopedLcAll : testsupport::ScopedEnv {
  explicit ScopedLcAll(const char* value) : ScopedEnv("LC_ALL", std::string(value)) {}
};

TEST(TextFormsLocale, CLocaleSuppliesNothing) {
  for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
    ScopedLcAll lc(name);
    EXPECT_TRUE(SettingsFromPlatform() == FormatSettings{}) << name;
  }
}

TEST(TextFormsLocale, InstalledLocaleGivesItsSeparators) {
  const char* candidates[] = {"es_CO.UTF-8", "es_CO.utf8",  "es_ES.UTF-8", "es_ES.utf8", "de_DE.UTF-8",
                              "fr_FR.UTF-8", "pt_BR.UTF-8", "en_US.UTF-8", "en_GB.UTF-8"};
  for (const char* name : candidates) {
    locale_t loc = newlocale(LC_ALL_MASK, name, static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) continue;
    const char radix = nl_langinfo_l(RADIXCHAR, loc)[0];
    const std::string january = nl_langinfo_l(MON_1, loc);
    freelocale(loc);
    ScopedLcAll lc(name);
    const FormatSettings fs = SettingsFromPlatform();
    EXPECT_EQ(fs.decimalSeparator, radix) << name;
    EXPECT_EQ(fs.longMonthNames[0], january) << name;
    return;
  }
  GTEST_SKIP() << "no non-C locale installed";
}

LocaleItems SpanishColombia() {
  LocaleItems it;
  it.timeLocaleName = it.numericLocaleName = "es_CO.UTF-8";
  it.dateFormat = "%d/%m/%y";
  it.timeFormat = "%I:%M:%S %p";
  it.timeFormatAmPm = "%I:%M:%S %p";
  it.amString = "a. m.";
  it.pmString = "p. m.";
  it.radixChar = ",";
  it.thousandsSep = ".";
  it.monthNames = {"enero", "febrero", "marzo",      "abril",   "mayo",      "junio",
                   "julio", "agosto",  "septiembre", "octubre", "noviembre", "diciembre"};
  it.dayNames = {"domingo", "lunes", "martes", "mi\xc3\xa9rcoles", "jueves", "viernes", "s\xc3\xa1" "bado"};  // UTF-8
  return it;
}

// The one converter the locale items and the command line go through.
TEST(TextFormsLocale, ConvertCodesetTable) {
  const struct {
    const char* from;
    const char* to;
    std::string bytes;
    bool ok;
    std::string out;
  } cases[] = {
      {"UTF-8", "ISO-8859-1", "Pe\xc3\xb1" "a", true, "Pe\xf1" "a"},
      {"ISO-8859-1", "UTF-8", "\xf1\xff", true, "\xc3\xb1\xc3\xbf"},
      {"UTF-8", "ISO-8859-1", "a\xc3", false, ""},           // cut short
      {"UTF-8", "ISO-8859-1", "\xe2\x82\xac", false, ""},  // the euro sign has no Latin-1 byte
      {"NO-SUCH-SET", "UTF-8", "a", false, ""},
      {"UTF-8", "ISO-8859-1", "", true, ""},
      {"UTF-8", "ISO-8859-1", std::string("a\0b", 3), true, std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(ConvertCodeset(c.from, c.to, c.bytes, out), c.ok) << c.from << " " << c.bytes;
    if (c.ok) {
      EXPECT_EQ(out, c.out) << c.from << " " << c.bytes;
    }
  }
}

TEST(TextFormsLocale, TranslatesLocaleItems) {
  const FormatSettings co = SettingsFromLocaleItems(SpanishColombia());
  EXPECT_EQ(co.shortDateFormat, "dd/MM/yy");
  EXPECT_EQ(co.dateSeparator, '/');
  EXPECT_EQ(co.longTimeFormat, "hh:mm:ss AMPM");
  EXPECT_EQ(co.shortTimeFormat, "hh:mm AMPM");
  EXPECT_EQ(co.timePMString, "p. m.");
  EXPECT_EQ(co.decimalSeparator, ',');
  EXPECT_EQ(co.thousandSeparator, '.');
  EXPECT_EQ(co.longMonthNames[11], "diciembre");
  EXPECT_EQ(co.shortMonthNames[11], "Dec");  // not supplied: default kept
  EXPECT_EQ(co.longDayNames[1], "lunes");
  EXPECT_EQ(DateToStr(kDec1At140509, co), "01/12/08");
  EXPECT_EQ(TimeToStr(kDec1At140509, co), "02:05:09 p. m.");
  EXPECT_EQ(StrToDate(DateToStr(kDec1At140509, co), co, Date{2009, 1, 1}), (Date{2008, 12, 1}));

  LocaleItems de;
  de.timeLocaleName = de.numericLocaleName = "de_DE.UTF-8";
  de.dateFormat = "%d.%m.%Y";
  de.timeFormat = "%T";
  de.radixChar = ",";
  const FormatSettings d = SettingsFromLocaleItems(de);
  EXPECT_EQ(d.shortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(d.dateSeparator, '.');
  EXPECT_EQ(d.longTimeFormat, "hh:mm:ss");  // 24-hour clock: no marker
  EXPECT_EQ(d.timeAMString, "am");
  EXPECT_EQ(TimeToStr(kDec1At140509, d), "14:05:09");

  LocaleItems us;
  us.timeLocaleName = us.numericLocaleName = "en_US.UTF-8";
  us.dateFormat = "%m/%d/%Y";
  us.timeFormat = "%r";
  us.timeFormatAmPm = "%I:%M:%S %p";
  us.amString = "AM";
  us.pmString = "PM";
  const FormatSettings u = SettingsFromLocaleItems(us);
  EXPECT_EQ(u.shortDateFormat, "MM/dd/yyyy");
  EXPECT_EQ(u.longTimeFormat, "hh:mm:ss AMPM");

  LocaleItems marker;  // marker before the hour, hour without leading zero, ISO dates
  marker.timeLocaleName = marker.numericLocaleName = "ko_KR.UTF-8";
  marker.dateFormat = "%F";
  marker.timeFormat = "%p %l:%M:%S";
  marker.amString = "AM";
  marker.pmString = "PM";
  const FormatSettings k = SettingsFromLocaleItems(marker);
  EXPECT_EQ(k.shortDateFormat, "yyyy-MM-dd");
  EXPECT_EQ(k.dateSeparator, '-');
  EXPECT_EQ(k.longTimeFormat, "AMPM h:mm:ss");
  EXPECT_EQ(TimeToStr(kDec1At140509, k), "PM 2:05:09");

  LocaleItems words;  // literal letters in the picture stay text
  words.timeLocaleName = words.numericLocaleName = "xx_XX";
  words.dateFormat = "%e de %B de %Y";
  words.monthNames = SpanishColombia().monthNames;
  const FormatSettings w = SettingsFromLocaleItems(words);
  EXPECT_EQ(DateToStr(kDec1At140509, w), "1 de diciembre de 2008");

  LocaleItems fi;  // the time separator is the first character after the hour, "." too
  fi.timeLocaleName = fi.numericLocaleName = "fi_FI.UTF-8";
  fi.dateFormat = "%d.%m.%Y";
  fi.timeFormat = "%H.%M.%S";
  const FormatSettings f = SettingsFromLocaleItems(fi);
  EXPECT_EQ(f.timeSeparator, '.');
  EXPECT_EQ(TimeToStr(kDec1At140509, f), "14.05.09");

  // Items come in the locale's encoding and become internal text; one with
  // a character outside ISO-8859-1 is not supplied.
  EXPECT_EQ(co.longDayNames[3], "mi\xe9rcoles");  // from UTF-8
  LocaleItems latin = SpanishColombia();
  latin.codeset = "ISO-8859-1";
  latin.dayNames[3] = "mi\xe9rcoles";
  EXPECT_EQ(SettingsFromLocaleItems(latin).longDayNames[3], "mi\xe9rcoles");
  LocaleItems ru = SpanishColombia();
  ru.monthNames[0] = "\xd1\x8f\xd0\xbd\xd0\xb2\xd0\xb0\xd1\x80\xd1\x8c";  // UTF-8 Cyrillic
  ru.radixChar = "\xd9\xab";  // ARABIC DECIMAL SEPARATOR
  const FormatSettings r = SettingsFromLocaleItems(ru);
  EXPECT_EQ(r.longMonthNames[0], "January");
  EXPECT_EQ(r.longMonthNames[1], "febrero");
  EXPECT_EQ(r.decimalSeparator, '.');

  LocaleItems zh;  // a separator outside the 8-bit set (UTF-8 bytes): the default
  zh.timeLocaleName = zh.numericLocaleName = "zh_CN.UTF-8";
  zh.timeFormat = "%H\xe6\x97\xb6%M\xe5\x88\x86%S\xe7\xa7\x92";
  EXPECT_EQ(SettingsFromLocaleItems(zh).timeSeparator, ':');

  LocaleItems cut = fi;  // a sequence cut short takes none of the characters after it
  cut.dateFormat = "%d\xe2/%m/%Y";
  EXPECT_EQ(DateToStr(kDec1At140509, SettingsFromLocaleItems(cut)), "01/12/2008");

  LocaleItems c = SpanishColombia();
  c.timeLocaleName = c.numericLocaleName = "C.UTF-8";
  EXPECT_TRUE(SettingsFromLocaleItems(c) == FormatSettings{});
}

}  // namespace
}  // namespace dbx
