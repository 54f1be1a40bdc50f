#include "dbaccess/field.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "dbaccess/encoding.h"
#include "dbaccess/errors.h"
#include "dbaccess/textforms.h"

namespace dbx {

namespace {

enum class Kind {
  kString,
  kInteger,
  kBoolean,
  kFloat,
  kDecimal,
  kDate,
  kTime,
  kDateTime,
  kTextBlob,
  kBinaryBlob,
  kOther
};

Kind KindOf(TFieldType type) {
  switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
      return Kind::kString;
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftLargeint:
    case ftAutoInc:
      return Kind::kInteger;
    case ftBoolean:
      return Kind::kBoolean;
    case ftFloat:
    case ftCurrency:
      return Kind::kFloat;
    case ftBCD:
    case ftFMTBcd:
      return Kind::kDecimal;
    case ftDate:
      return Kind::kDate;
    case ftTime:
      return Kind::kTime;
    case ftDateTime:
    case ftTimeStamp:
      return Kind::kDateTime;
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
      return Kind::kTextBlob;
    case ftBlob:
    case ftGraphic:
    case ftTypedBinary:
    case ftOraBlob:
    case ftBytes:
    case ftVarBytes:
      return Kind::kBinaryBlob;
    default:
      return Kind::kOther;
  }
}

const Date kZeroDate{1899, 12, 30};  // the date part of a bare time of day

// A number as sign, significant digits and a power of ten.
struct Digits {
  bool negative = false;
  std::string digits;  // decimal digits, possibly with leading zeros
  int exponent = 0;    // value = digits * 10^exponent
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Number text: blanks, optional sign, digits with one decimal separator ("."
// or `separator`, or only `separator` when `strict`), optional exponent.
bool ParseNumber(std::string_view text, char separator, bool strict, bool allowExponent, Digits& out) {
  std::size_t i = 0, end = text.size();
  while (i < end && text[i] == ' ') ++i;
  while (end > i && text[end - 1] == ' ') --end;
  Digits n;
  if (i < end && (text[i] == '-' || text[i] == '+')) n.negative = text[i++] == '-';
  bool any = false, point = false;
  for (; i < end; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      n.digits += c;
      if (point) --n.exponent;
      any = true;
    } else if (!point && (c == separator || (!strict && c == '.'))) {
      point = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  if (i < end && allowExponent && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool minus = false;
    if (i < end && (text[i] == '-' || text[i] == '+')) minus = text[i++] == '-';
    int e = 0, count = 0;
    for (; i < end && IsDigit(text[i]); ++i, ++count) {
      if (count >= 5) return false;
      e = e * 10 + (text[i] - '0');
    }
    if (count == 0) return false;
    n.exponent += minus ? -e : e;
  }
  if (i != end) return false;
  out = std::move(n);
  return true;
}

Digits DigitsOf(std::int64_t v) {
  Digits n;
  n.negative = v < 0;
  n.digits = std::to_string(n.negative ? ~static_cast<std::uint64_t>(v) + 1 : static_cast<std::uint64_t>(v));
  return n;
}

Digits DigitsOf(const Decimal& d) {
  Digits n = DigitsOf(d.unscaled);
  n.exponent = -d.scale;
  return n;
}

bool DigitsOf(double v, Digits& out) {
  if (!std::isfinite(v)) return false;
  char buffer[64];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v);  // shortest exact round-trip text
  return ParseNumber(std::string_view(buffer, static_cast<std::size_t>(r.ptr - buffer)), '.', true, true, out);
}

// The numeric reading of a value; text is read with "." or the locale's separator.
bool DigitsOf(const Variant& value, char decimalSeparator, Digits& out) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) {
    out = DigitsOf(*i);
    return true;
  }
  if (const auto* d = std::get_if<Decimal>(&value)) {
    out = DigitsOf(*d);
    return true;
  }
  if (const auto* f = std::get_if<double>(&value)) return DigitsOf(*f, out);
  if (const auto* s = std::get_if<std::string>(&value)) {
    return ParseNumber(*s, decimalSeparator, false, true, out);
  }
  return false;
}

// value * 10^scale as a 64-bit integer: exactly, or rounded half to even.
bool ToUnscaled(const Digits& n, int scale, bool round, std::int64_t& result) {
  std::string_view digits = n.digits;
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  if (digits.empty()) {
    result = 0;
    return true;
  }
  const long shift = static_cast<long>(n.exponent) + scale;
  std::string whole, dropped;
  if (shift >= 0) {
    if (static_cast<long>(digits.size()) + shift > 19) return false;
    whole = std::string(digits) + std::string(static_cast<std::size_t>(shift), '0');
  } else {
    const auto k = static_cast<std::size_t>(-shift);
    if (k >= digits.size()) {
      dropped = std::string(k - digits.size(), '0') + std::string(digits);
    } else {
      whole = std::string(digits.substr(0, digits.size() - k));
      dropped = std::string(digits.substr(digits.size() - k));
    }
  }
  const bool lost = dropped.find_first_not_of('0') != std::string::npos;
  if (lost && !round) return false;
  if (whole.size() > 19) return false;
  std::uint64_t magnitude = 0;
  for (char c : whole) magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
  if (lost) {
    bool up = dropped[0] > '5';
    if (dropped[0] == '5') {
      const bool beyondHalf = dropped.find_first_not_of('0', 1) != std::string::npos;
      up = beyondHalf || (magnitude % 2 == 1);
    }
    if (up) ++magnitude;
  }
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (n.negative ? 1 : 0);
  if (magnitude > limit) return false;
  result = n.negative ? static_cast<std::int64_t>(~magnitude + 1) : static_cast<std::int64_t>(magnitude);
  return true;
}

double ToDouble(const Decimal& d) {
  const std::string text = DecimalToStr(d, '.');
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

double ToDouble(const Digits& n) {
  const std::string text =
      (n.negative ? "-" : "") + (n.digits.empty() ? std::string("0") : n.digits) + "e" + std::to_string(n.exponent);
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  if (r.ec == std::errc::result_out_of_range) {
    v = n.exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    if (n.negative) v = -v;
  }
  return v;
}

// |unscaled| fits the declared precision (precisions above 18 fit any int64).
bool FitsPrecision(std::int64_t unscaled, int precision) {
  if (precision <= 0 || precision > 18) return true;
  std::int64_t limit = 1;
  for (int i = 0; i < precision; ++i) limit *= 10;
  return unscaled < limit && unscaled > -limit;
}

// The text of any value in the current locale.
std::string VariantText(const Variant& value, const FormatSettings& fs) {
  struct Visitor {
    const FormatSettings& fs;
    std::string operator()(Null) const { return {}; }
    std::string operator()(std::int64_t v) const { return std::to_string(v); }
    std::string operator()(double v) const { return FloatToStr(v, fs.decimalSeparator); }
    std::string operator()(const Decimal& v) const { return DecimalToStr(v, fs.decimalSeparator); }
    std::string operator()(const std::string& v) const { return v; }
    std::string operator()(const Date& v) const { return DateToStr(DateTime{v, Time{}}, fs); }
    std::string operator()(const Time& v) const { return TimeToStr(DateTime{kZeroDate, v}, fs); }
    std::string operator()(const DateTime& v) const { return DateTimeToStr(v, fs); }
  };
  return std::visit(Visitor{fs}, value);
}

bool IntegerFits(TFieldType type, std::int64_t v) {
  switch (type) {
    case ftSmallint:
      return v >= -32768 && v <= 32767;
    case ftWord:
      return v >= 0 && v <= 65535;
    case ftInteger:
    case ftAutoInc:
      return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
    default:
      return true;
  }
}

}  // namespace

// ---- Field text ---------------------------------------------------------------

std::string FieldText(TFieldType type, const Variant& value, const FormatSettings& fs) {
  if (IsNull(value)) return {};
  switch (KindOf(type)) {
    case Kind::kDecimal:
      if (const auto* d = std::get_if<Decimal>(&value)) {
        if (type == ftFMTBcd) {
          if (d->precision <= 0 || d->precision > 64) throw EDatabaseError("Desbordamiento de BCD");
          return DecimalToStr(*d, fs.decimalSeparator);
        }
        return FloatToStr(ToDouble(*d), fs.decimalSeparator);
      }
      break;
    case Kind::kFloat:
      if (const auto* d = std::get_if<Decimal>(&value)) return FloatToStr(ToDouble(*d), fs.decimalSeparator);
      break;
    case Kind::kBoolean:
      if (const auto* i = std::get_if<std::int64_t>(&value)) return *i != 0 ? "True" : "False";
      break;
    case Kind::kDate:
      if (const auto* dt = std::get_if<DateTime>(&value)) return DateToStr(*dt, fs);
      break;
    case Kind::kTime:
      if (const auto* dt = std::get_if<DateTime>(&value)) return TimeToStr(*dt, fs);
      break;
    case Kind::kDateTime:
      if (const auto* d = std::get_if<Date>(&value)) return DateTimeToStr(DateTime{*d, Time{}}, fs);
      break;
    default:
      break;
  }
  return VariantText(value, fs);
}

// ---- TField -------------------------------------------------------------------

TField::TField(TComponent* owner, std::string componentName, const FieldDesc& desc)
    : TComponent(owner, std::move(componentName)), desc_(desc) {}

const Variant& TField::Value() const {
  static const Variant kNull{Null{}};
  return host_ != nullptr ? host_->GetFieldValue(*this) : kNull;
}

bool TField::IsNull() const { return dbx::IsNull(Value()); }

Variant TField::Convert(const Variant& value) const {
  if (dbx::IsNull(value)) return Null{};
  const auto invalid = [this]() { return EDatabaseError(Fmt("Valor inválido para el campo '%s'"_l1, FieldName())); };
  const FormatSettings& fs = Formats();
  const auto* text = std::get_if<std::string>(&value);
  Digits n;
  switch (KindOf(desc_.type)) {
    case Kind::kString:
    case Kind::kTextBlob:
      return text != nullptr ? value : Variant(VariantText(value, fs));
    case Kind::kBinaryBlob:
      if (text != nullptr) return value;
      throw invalid();
    case Kind::kInteger: {
      std::int64_t v = 0;
      if (DigitsOf(value, fs.decimalSeparator, n) && ToUnscaled(n, 0, false, v) && IntegerFits(desc_.type, v)) return v;
      throw invalid();
    }
    case Kind::kBoolean: {
      if (text != nullptr) {
        if (SameText(*text, "True")) return std::int64_t{1};
        if (SameText(*text, "False")) return std::int64_t{0};
      }
      std::int64_t v = 0;
      if (DigitsOf(value, fs.decimalSeparator, n) && ToUnscaled(n, 0, false, v) && (v == 0 || v == 1)) return v;
      throw invalid();
    }
    case Kind::kFloat: {
      if (const auto* f = std::get_if<double>(&value)) return *f;
      if (DigitsOf(value, fs.decimalSeparator, n)) {
        const double v = ToDouble(n);
        if (std::isfinite(v)) return v;
      }
      throw invalid();
    }
    case Kind::kDecimal: {
      // Exact from decimals, integers and text; doubles are rounded to the scale.
      const int scale = desc_.scale > 0 ? desc_.scale : 0;
      const int precision = desc_.precision > 0 ? desc_.precision : 18;
      const bool round = std::holds_alternative<double>(value);
      std::int64_t v = 0;
      if (DigitsOf(value, fs.decimalSeparator, n) && ToUnscaled(n, scale, round, v) && FitsPrecision(v, precision)) {
        return Decimal{v, scale, precision};
      }
      throw invalid();
    }
    case Kind::kDate: {
      if (const auto* d = std::get_if<Date>(&value)) return *d;
      if (const auto* dt = std::get_if<DateTime>(&value)) return dt->date;
      DateTime parsed;
      if (text != nullptr && TryStrToDateTime(*text, fs, Now().date, parsed)) return parsed.date;
      throw invalid();
    }
    case Kind::kTime: {
      if (const auto* t = std::get_if<Time>(&value)) return *t;
      if (const auto* dt = std::get_if<DateTime>(&value)) return dt->time;
      Time parsed;
      if (text != nullptr && TryStrToTime(*text, fs, parsed)) return parsed;
      throw invalid();
    }
    case Kind::kDateTime: {
      if (const auto* dt = std::get_if<DateTime>(&value)) return *dt;
      if (const auto* d = std::get_if<Date>(&value)) return DateTime{*d, Time{}};
      DateTime parsed;
      if (text != nullptr && TryStrToDateTime(*text, fs, Now().date, parsed)) return parsed;
      throw invalid();
    }
    case Kind::kOther:
      break;
  }
  return value;
}

void TField::SetValue(const Variant& value) {
  if (host_ == nullptr) throw EDatabaseError(Fmt("El campo '%s' no tiene conjunto de datos", FieldName()));
  host_->SetFieldValue(*this, Convert(value));
}

std::string TField::AsString() const { return FieldText(desc_.type, Value(), Formats()); }

const FormatSettings& TField::Formats() const noexcept {
  return host_ != nullptr ? host_->Formats() : DefaultFormatSettings();
}

void TField::SetAsString(const std::string& text) {
  const Kind kind = KindOf(desc_.type);
  // An empty text clears a number or a date; text fields keep it.
  if (text.empty() && kind != Kind::kString && kind != Kind::kTextBlob && kind != Kind::kBinaryBlob &&
      kind != Kind::kOther) {
    SetValue(Null{});
  } else {
    SetValue(text);
  }
}

}  // namespace dbx
