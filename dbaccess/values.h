// Values that travel between the database, the datasets and the text forms.
// Text is bytes: a std::string holds exactly what the database stored.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace dbx {

// Field types, by their numbers.
enum TFieldType : int {
  ftUnknown = 0, ftString = 1, ftSmallint = 2, ftInteger = 3, ftWord = 4, ftBoolean = 5,
  ftFloat = 6, ftCurrency = 7, ftBCD = 8, ftDate = 9, ftTime = 10, ftDateTime = 11,
  ftBytes = 12, ftVarBytes = 13, ftAutoInc = 14, ftBlob = 15, ftMemo = 16, ftGraphic = 17,
  ftFmtMemo = 18, ftParadoxOle = 19, ftDBaseOle = 20, ftTypedBinary = 21, ftCursor = 22,
  ftFixedChar = 23, ftWideString = 24, ftLargeint = 25, ftADT = 26, ftArray = 27,
  ftReference = 28, ftDataSet = 29, ftOraBlob = 30, ftOraClob = 31, ftVariant = 32,
  ftInterface = 33, ftIDispatch = 34, ftGuid = 35, ftTimeStamp = 36, ftFMTBcd = 37
};

// Exact decimal: unscaled * 10^-scale. Firebird 3 numerics fit 64 bits.
struct Decimal {
  std::int64_t unscaled = 0;
  int scale = 0;       // digits after the point, >= 0
  int precision = 18;  // declared precision
  friend bool operator==(const Decimal& a, const Decimal& b) = default;
};

struct Date {
  int year = 1, month = 1, day = 1;
  friend bool operator==(const Date&, const Date&) = default;
};

// Time of day; fraction in ten-thousandths of a second (Firebird's resolution).
struct Time {
  int hour = 0, minute = 0, second = 0, fraction = 0;
  friend bool operator==(const Time&, const Time&) = default;
};

struct DateTime {
  Date date;
  Time time;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

struct Null {
  friend bool operator==(Null, Null) { return true; }
};

// A field or parameter value; Null is the database NULL.
using Variant = std::variant<Null, std::int64_t, double, Decimal, std::string, Date, Time, DateTime>;

[[nodiscard]] inline bool IsNull(const Variant& v) noexcept { return std::holds_alternative<Null>(v); }

// Calendar helpers (proleptic Gregorian).
[[nodiscard]] bool IsValidDate(int year, int month, int day) noexcept;
[[nodiscard]] int DaysInMonth(int year, int month) noexcept;
// Days since 0001-01-01 (day 0) and back.
[[nodiscard]] std::int64_t DaysFromCivil(const Date& d) noexcept;
[[nodiscard]] Date CivilFromDays(std::int64_t days) noexcept;
// 1 = Sunday ... 7 = Saturday.
[[nodiscard]] int DayOfWeek(const Date& d) noexcept;
// The local date and time now.
[[nodiscard]] DateTime Now();

}  // namespace dbx
