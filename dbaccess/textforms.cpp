#include "dbaccess/textforms.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"

namespace dbx {

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// True when `text` holds `literal` at `pos`, letters compared without case.
bool HasAt(std::string_view text, std::size_t pos, std::string_view literal) {
  if (pos + literal.size() > text.size()) return false;
  for (std::size_t i = 0; i < literal.size(); ++i) {
    if (Upper(text[pos + i]) != Upper(literal[i])) return false;
  }
  return true;
}

void AppendNumber(std::string& out, int value, int digits) {
  std::string n = std::to_string(value < 0 ? -value : value);
  if (static_cast<int>(n.size()) < digits) out.append(static_cast<std::size_t>(digits) - n.size(), '0');
  out += n;
}

// Cuts text after `limit` characters (one byte each).
void CutCharacters(std::string& text, std::size_t limit) {
  if (text.size() > limit) text.resize(limit);
}

constexpr std::size_t kMaxFormattedChars = 256;

// The date-time format engine. Formats nest one level: the given format is
// level 1, a format it names is level 2, and one named there gives nothing.
class DateTimeFormatter {
 public:
  DateTimeFormatter(const DateTime& value, const FormatSettings& fs) : v_(value), fs_(fs) {}

  void Append(std::string_view format) {
    if (level_ >= 2) return;
    ++level_;
    AppendLevel(format);
    --level_;
  }

  [[nodiscard]] std::string& Text() { return out_; }

 private:
  void AppendLevel(std::string_view f) {
    char lastToken = ' ';
    std::size_t i = 0;
    while (i < f.size()) {
      const char starter = f[i++];
      char token = Upper(starter);
      if (IsLetter(starter)) {
        if (token == 'M' && lastToken == 'H') token = 'N';
        lastToken = token;
      }
      // A run of the same letter (without regard to case) is one specifier.
      auto runLength = [&]() {
        int n = 1;
        while (i < f.size() && Upper(f[i]) == Upper(starter)) {
          ++i;
          ++n;
        }
        return n;
      };
      switch (token) {
        case 'Y': {
          const int n = runLength();
          if (n <= 2) {
            AppendNumber(out_, v_.date.year % 100, 2);
          } else {
            AppendNumber(out_, v_.date.year, 4);
          }
          break;
        }
        case 'G':
          // Era name: the Gregorian calendar has none worth writing.
          runLength();
          break;
        case 'E':
          // Era year: in the Gregorian calendar, the year itself.
          AppendNumber(out_, v_.date.year, runLength() >= 2 ? 2 : 1);
          break;
        case 'M': {
          const int n = runLength();
          if (n <= 2) {
            AppendNumber(out_, v_.date.month, n);
          } else if (n == 3) {
            out_ += fs_.shortMonthNames[static_cast<std::size_t>(v_.date.month - 1)];
          } else {
            out_ += fs_.longMonthNames[static_cast<std::size_t>(v_.date.month - 1)];
          }
          break;
        }
        case 'D': {
          const int n = runLength();
          if (n <= 2) {
            AppendNumber(out_, v_.date.day, n);
          } else if (n == 3) {
            out_ += fs_.shortDayNames[static_cast<std::size_t>(DayOfWeek(v_.date) - 1)];
          } else if (n == 4) {
            out_ += fs_.longDayNames[static_cast<std::size_t>(DayOfWeek(v_.date) - 1)];
          } else if (n == 5) {
            Append(fs_.shortDateFormat);
          } else {
            Append(fs_.longDateFormat);
          }
          break;
        }
        case 'H': {
          const int n = std::min(runLength(), 2);
          int hour = v_.time.hour;
          if (markerSeen_ || TwelveHourClockFollows(f, i)) {
            if (hour == 0) {
              hour = 12;
            } else if (hour > 12) {
              hour -= 12;
            }
          }
          AppendNumber(out_, hour, n);
          break;
        }
        case 'N':
          AppendNumber(out_, v_.time.minute, std::min(runLength(), 2));
          break;
        case 'S':
          AppendNumber(out_, v_.time.second, std::min(runLength(), 2));
          break;
        case 'Z':
          AppendNumber(out_, v_.time.fraction / 10, std::min(runLength(), 3));
          break;
        case 'T':
          Append(runLength() == 1 ? fs_.shortTimeFormat : fs_.longTimeFormat);
          break;
        case 'C':
          runLength();
          if (level_ >= 2) break;
          Append(fs_.shortDateFormat);
          if (v_.time.hour != 0 || v_.time.minute != 0 || v_.time.second != 0) {
            out_ += ' ';
            Append(fs_.longTimeFormat);
          }
          break;
        case 'A': {
          const std::size_t p = i - 1;
          const bool pm = v_.time.hour >= 12;
          if (HasAt(f, p, "am/pm")) {
            out_.append(f.substr(pm ? p + 3 : p, 2));
            i = p + 5;
            markerSeen_ = true;
          } else if (HasAt(f, p, "a/p")) {
            out_.append(f.substr(pm ? p + 2 : p, 1));
            i = p + 3;
            markerSeen_ = true;
          } else if (HasAt(f, p, "ampm")) {
            out_ += pm ? fs_.timePMString : fs_.timeAMString;
            i = p + 4;
            markerSeen_ = true;
          } else if (HasAt(f, p, "aaaa")) {
            out_ += fs_.longDayNames[static_cast<std::size_t>(DayOfWeek(v_.date) - 1)];
            i = p + 4;
          } else if (HasAt(f, p, "aaa")) {
            out_ += fs_.shortDayNames[static_cast<std::size_t>(DayOfWeek(v_.date) - 1)];
            i = p + 3;
          } else {
            out_ += starter;
          }
          break;
        }
        case '/':
          out_ += fs_.dateSeparator;
          break;
        case ':':
          out_ += fs_.timeSeparator;
          break;
        case '\'':
        case '"': {
          const std::size_t close = f.find(starter, i);
          if (close == std::string_view::npos) {
            out_.append(f.substr(i));
            i = f.size();
          } else {
            out_.append(f.substr(i, close - i));
            i = close + 1;
          }
          break;
        }
        default:
          out_ += starter;
          break;
      }
    }
  }

  // An hour is on the 12-hour clock when an AM/PM, A/P or AMPM marker comes
  // later in the format before any further h (quoted text is not looked at),
  // or when a marker came before it.
  static bool TwelveHourClockFollows(std::string_view f, std::size_t from) {
    char quote = 0;
    for (std::size_t p = from; p < f.size(); ++p) {
      const char c = f[p];
      if (quote != 0) {
        if (c == quote) quote = 0;
        continue;
      }
      if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == 'h' || c == 'H') {
        return false;
      } else if ((c == 'a' || c == 'A') && (HasAt(f, p, "am/pm") || HasAt(f, p, "a/p") || HasAt(f, p, "ampm"))) {
        return true;
      }
    }
    return false;
  }

  const DateTime& v_;
  const FormatSettings& fs_;
  std::string out_;
  int level_ = 0;
  // A marker already written puts later hours on the 12-hour clock too, so
  // that "AMPM h:mm:ss" (marker first) reads "PM 2:05:09".
  bool markerSeen_ = false;
};

}  // namespace

const FormatSettings& DefaultFormatSettings() noexcept {
  static const FormatSettings settings;
  return settings;
}


// ---- Formatting -------------------------------------------------------------

std::string FormatDateTime(const std::string& format, const DateTime& value, const FormatSettings& fs) {
  DateTimeFormatter formatter(value, fs);
  formatter.Append(format.empty() ? std::string_view("c") : std::string_view(format));
  std::string& text = formatter.Text();
  CutCharacters(text, kMaxFormattedChars);
  return std::move(text);
}

std::string DateToStr(const DateTime& value, const FormatSettings& fs) {
  return FormatDateTime(fs.shortDateFormat, value, fs);
}

std::string TimeToStr(const DateTime& value, const FormatSettings& fs) {
  return FormatDateTime(fs.longTimeFormat, value, fs);
}

std::string DateTimeToStr(const DateTime& value, const FormatSettings& fs) { return FormatDateTime("c", value, fs); }

// ---- Parsing ----------------------------------------------------------------

namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view text) : s_(text) {}

  void Blanks() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }
  // A run of digits, read while its value is below 1000.
  bool Number(int& value, int& length) {
    Blanks();
    std::size_t i = pos_;
    int n = 0;
    while (i < s_.size() && IsDigit(s_[i]) && n < 1000) n = n * 10 + (s_[i++] - '0');
    if (i == pos_) return false;
    length = static_cast<int>(i - pos_);
    pos_ = i;
    value = n;
    return true;
  }
  bool Char(char c) {
    Blanks();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // Consumes `word` (without regard to case) after blanks.
  bool Word(std::string_view word) {
    Blanks();
    if (word.empty() || !HasAt(s_, pos_, word)) return false;
    pos_ += word.size();
    return true;
  }
  [[nodiscard]] bool AtEnd() const { return pos_ >= s_.size(); }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

enum class DateOrder { kMDY, kDMY, kYMD };

DateOrder OrderOf(const std::string& format) {
  for (char c : format) {
    switch (Upper(c)) {
      case 'D':
        return DateOrder::kDMY;
      case 'Y':
      case 'E':
        return DateOrder::kYMD;
      case 'M':
        return DateOrder::kMDY;
      default:
        break;
    }
  }
  return DateOrder::kMDY;
}

bool ScanDate(Scanner& sc, const FormatSettings& fs, int currentYear, Date& result) {
  const DateOrder order = OrderOf(fs.shortDateFormat);
  int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
  if (!(sc.Number(n1, l1) && sc.Char(fs.dateSeparator) && sc.Number(n2, l2))) return false;
  int y = 0, m = 0, d = 0;
  if (sc.Char(fs.dateSeparator)) {
    if (!sc.Number(n3, l3)) return false;
    int yearLength = 0;
    switch (order) {
      case DateOrder::kMDY:
        y = n3, yearLength = l3, m = n1, d = n2;
        break;
      case DateOrder::kDMY:
        y = n3, yearLength = l3, m = n2, d = n1;
        break;
      case DateOrder::kYMD:
        y = n1, yearLength = l1, m = n2, d = n3;
        break;
    }
    if (yearLength <= 2) {
      const int window = fs.twoDigitYearCenturyWindow;
      const int base = currentYear - window;
      y += base / 100 * 100;
      if (window > 0 && y < base) y += 100;
    }
  } else {
    y = currentYear;
    if (order == DateOrder::kDMY) {
      d = n1, m = n2;
    } else {
      m = n1, d = n2;
    }
  }
  sc.Char(fs.dateSeparator);
  sc.Blanks();
  if (!IsValidDate(y, m, d)) return false;
  result = Date{y, m, d};
  return true;
}

bool ScanTime(Scanner& sc, const FormatSettings& fs, Time& result) {
  int h = 0, m = 0, s = 0, ms = 0, len = 0;
  if (!(sc.Number(h, len) && sc.Char(fs.timeSeparator) && sc.Number(m, len))) return false;
  if (sc.Char(fs.timeSeparator)) {
    if (!sc.Number(s, len)) return false;
    if (sc.Char(fs.decimalSeparator) && !sc.Number(ms, len)) return false;
  }
  int marker = 0;  // 1 am, 2 pm
  if (sc.Word(fs.timeAMString) || sc.Word("AM")) {
    marker = 1;
  } else if (sc.Word(fs.timePMString) || sc.Word("PM")) {
    marker = 2;
  }
  if (marker != 0) {
    if (h > 12) return false;
    h = h % 12 + (marker == 2 ? 12 : 0);
  }
  sc.Blanks();
  if (h > 23 || m > 59 || s > 59 || ms > 999) return false;
  result = Time{h, m, s, ms * 10};
  return true;
}

}  // namespace

bool TryStrToDate(const std::string& text, const FormatSettings& fs, const Date& today, Date& result) {
  Scanner sc(text);
  return ScanDate(sc, fs, today.year, result) && sc.AtEnd();
}

bool TryStrToDateTime(const std::string& text, const FormatSettings& fs, const Date& today, DateTime& result) {
  Scanner sc(text);
  DateTime value;
  if (!ScanDate(sc, fs, today.year, value.date)) return false;
  if (!sc.AtEnd() && !ScanTime(sc, fs, value.time)) return false;
  if (!sc.AtEnd()) return false;
  result = value;
  return true;
}

bool TryStrToTime(const std::string& text, const FormatSettings& fs, Time& result) {
  Scanner sc(text);
  return ScanTime(sc, fs, result) && sc.AtEnd();
}

Date StrToDate(const std::string& text, const FormatSettings& fs, const Date& today) {
  Date result;
  if (!TryStrToDate(text, fs, today, result)) throw EConvertError(Fmt("'%s' no es una fecha válida"_l1, text));
  return result;
}

Date StrToDate(const std::string& text, const FormatSettings& fs) { return StrToDate(text, fs, Now().date); }

// ---- Number texts ------------------------------------------------------------

std::string DecimalToStr(const Decimal& value, char decimalSeparator) {
  const bool negative = value.unscaled < 0;
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(value.unscaled) + 1 : static_cast<std::uint64_t>(value.unscaled);
  std::string digits = std::to_string(magnitude);
  if (magnitude == 0) return "0";
  if (value.scale < 0) {
    digits.append(static_cast<std::size_t>(-value.scale), '0');
    return (negative ? "-" : "") + digits;
  }
  const auto scale = static_cast<std::size_t>(value.scale);
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  std::string integer = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string out = negative ? "-" : "";
  out += integer;
  if (!fraction.empty()) {
    out += decimalSeparator;
    out += fraction;
  }
  return out;
}

std::string FloatToStr(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, r.ptr);
  std::string exponent;
  if (const std::size_t e = text.find('e'); e != std::string::npos) {
    // "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5"
    std::string digits = text.substr(e + 1);
    const bool minus = !digits.empty() && digits[0] == '-';
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) digits.erase(0, 1);
    while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
    exponent = std::string("E") + (minus ? "-" : "") + digits;
    text.resize(e);
  }
  if (const std::size_t dot = text.find('.'); dot != std::string::npos) text[dot] = decimalSeparator;
  return text + exponent;
}

}  // namespace dbx
