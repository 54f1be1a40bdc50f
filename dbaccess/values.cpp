#include "dbaccess/values.h"

#include <chrono>
#include <ctime>

namespace dbx {

static bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int year, int month) noexcept {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) noexcept {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

// Howard Hinnant's days_from_civil, shifted so that 0001-01-01 is day 0.
std::int64_t DaysFromCivil(const Date& d) noexcept {
  std::int64_t y = d.year - (d.month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (d.month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 306;  // 0000-03-01 based -> 0001-01-01 based
}

Date CivilFromDays(std::int64_t z) noexcept {
  z += 306;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return Date{year, month, day};
}

int DayOfWeek(const Date& d) noexcept {
  // 0001-01-01 was a Monday.
  const std::int64_t n = DaysFromCivil(d);
  return static_cast<int>(((n + 1) % 7 + 7) % 7) + 1;
}

DateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return DateTime{Date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday},
                  Time{tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms) * 10}};
}

}  // namespace dbx
