// Value conversions with the platform's rules under the Italian conventions, and the date
// helpers.
#include "module/common/value.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <string>
#include <system_error>

namespace zodadovez {
namespace {

using std::chrono::days;
using std::chrono::floor;
using std::chrono::hh_mm_ss;
using std::chrono::sys_days;
using std::chrono::year_month_day;

const char* KindName(ValueKind kind) {
  switch (kind) {
    case ValueKind::kEmpty:
      return "Empty";
    case ValueKind::kNull:
      return "Null";
    case ValueKind::kBool:
      return "a boolean";
    case ValueKind::kInteger:
      return "an integer";
    case ValueKind::kDecimal:
      return "a decimal";
    case ValueKind::kDouble:
      return "a double";
    case ValueKind::kText:
      return "a text";
    case ValueKind::kDate:
      return "a date";
  }
  return "a value";
}

[[noreturn]] void ThrowConversion(const Value& value, const char* target) {
  if (value.is_null()) {
    throw NullValueError(std::string("invalid use of Null: Null has no ") + target);
  }
  throw ConversionError(std::string("type mismatch: ") + value.Describe() + " (" +
                        KindName(value.kind()) + ") is not " + target);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
    if (x != y) return false;
  }
  return true;
}

// The platform's text of a double: up to 15 significant digits, the Italian decimal comma,
// positional between 10^-5 and 10^15 and with an exponent outside.
std::string DoubleText(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Inf" : "Inf";
  if (v == 0) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof(buf), v, std::chars_format::scientific, 14);
  std::string text(buf, res.ptr);
  std::size_t e = text.find('e');
  int exponent = std::stoi(text.substr(e + 1));
  if (exponent >= -5 && exponent < 15) return Decimal::FromDouble(v).ToItalianString();
  std::string digits = text.substr(0, e);
  while (digits.back() == '0') digits.pop_back();
  if (digits.back() == '.') digits.pop_back();
  for (char& c : digits) {
    if (c == '.') c = ',';
  }
  return fmt::format("{}E{}{:02}", digits, exponent < 0 ? '-' : '+', std::abs(exponent));
}

// A small cursor over a date text.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  bool done() const { return pos_ == text_.size(); }
  bool Accept(char c) {
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // Between min and max digits; false when fewer than min.
  bool Number(std::size_t min, std::size_t max, int* out) {
    std::size_t start = pos_;
    int v = 0;
    while (pos_ < text_.size() && pos_ - start < max && text_[pos_] >= '0' && text_[pos_] <= '9') {
      v = v * 10 + (text_[pos_++] - '0');
    }
    if (pos_ - start < min) return false;
    *out = v;
    return true;
  }
  void SkipDigits() {
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

// " hh:mm[:ss[.fff]]" after the date; `allow_fraction` for the ISO form only.
bool ScanTime(Scanner* s, bool allow_fraction, int* h, int* m, int* sec) {
  if (!s->Number(1, 2, h) || !s->Accept(':') || !s->Number(2, 2, m)) return false;
  *sec = 0;
  if (s->Accept(':')) {
    if (!s->Number(2, 2, sec)) return false;
    if (allow_fraction && s->Accept('.')) s->SkipDigits();
  }
  return true;
}

bool Build(int y, int mo, int d, int h, int mi, int s, DateTime* out) {
  year_month_day ymd{std::chrono::year{y}, std::chrono::month{static_cast<unsigned>(mo)},
                     std::chrono::day{static_cast<unsigned>(d)}};
  if (!ymd.ok() || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 59) return false;
  *out = DateTime(sys_days(ymd)) + std::chrono::hours(h) + std::chrono::minutes(mi) +
         std::chrono::seconds(s);
  return true;
}

struct Parts {
  year_month_day ymd;
  hh_mm_ss<std::chrono::seconds> time;
};

Parts Split(DateTime value) {
  auto day = floor<days>(value);
  return Parts{year_month_day(day), hh_mm_ss<std::chrono::seconds>(value - day)};
}

}  // namespace

DateTime MakeDateTime(int year, unsigned month, unsigned day, int hour, int minute, int second) {
  DateTime out;
  if (!Build(year, static_cast<int>(month), static_cast<int>(day), hour, minute, second, &out)) {
    throw ConversionError(
        fmt::format("MakeDateTime: {:02}/{:02}/{:04} {:02}:{:02}:{:02} is not a "
                    "valid date and time",
                    day, month, year, hour, minute, second));
  }
  return out;
}

std::string FormatItalianDate(DateTime value) {
  Parts p = Split(value);
  std::string text =
      fmt::format("{:02}/{:02}/{:04}", static_cast<unsigned>(p.ymd.day()),
                  static_cast<unsigned>(p.ymd.month()), static_cast<int>(p.ymd.year()));
  if (p.time.to_duration().count() != 0) {
    text += fmt::format(" {:02}:{:02}:{:02}", p.time.hours().count(), p.time.minutes().count(),
                        p.time.seconds().count());
  }
  return text;
}

bool TryParseItalianDate(std::string_view text, DateTime* out) {
  Scanner s(Trim(text));
  int d = 0, m = 0, y = 0, h = 0, mi = 0, sec = 0;
  if (!s.Number(1, 2, &d) || !s.Accept('/') || !s.Number(1, 2, &m) || !s.Accept('/') ||
      !s.Number(4, 4, &y)) {
    return false;
  }
  if (s.Accept(' ')) {
    while (s.Accept(' ')) {
    }
    if (!ScanTime(&s, false, &h, &mi, &sec)) return false;
  }
  return s.done() && Build(y, m, d, h, mi, sec, out);
}

bool TryParseIsoDate(std::string_view text, DateTime* out) {
  Scanner s(Trim(text));
  int y = 0, m = 0, d = 0, h = 0, mi = 0, sec = 0;
  if (!s.Number(4, 4, &y)) return false;
  if (s.Accept('-')) {
    if (!s.Number(2, 2, &m) || !s.Accept('-') || !s.Number(2, 2, &d)) return false;
  } else if (!s.Number(2, 2, &m) || !s.Number(2, 2, &d)) {
    return false;
  }
  if (s.Accept(' ') || s.Accept('T')) {
    if (!ScanTime(&s, true, &h, &mi, &sec)) return false;
  }
  return s.done() && Build(y, m, d, h, mi, sec, out);
}

std::string FormatIsoDate(DateTime value) {
  Parts p = Split(value);
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", static_cast<int>(p.ymd.year()),
                     static_cast<unsigned>(p.ymd.month()), static_cast<unsigned>(p.ymd.day()),
                     p.time.hours().count(), p.time.minutes().count(), p.time.seconds().count());
}

bool Value::is_number() const {
  ValueKind k = kind();
  return k == ValueKind::kInteger || k == ValueKind::kDecimal || k == ValueKind::kDouble;
}

bool Value::as_bool() const {
  if (kind() != ValueKind::kBool) ThrowConversion(*this, "a boolean");
  return std::get<bool>(v_);
}
std::int64_t Value::as_integer() const {
  if (kind() != ValueKind::kInteger) ThrowConversion(*this, "an integer");
  return std::get<std::int64_t>(v_);
}
const Decimal& Value::as_decimal() const {
  if (kind() != ValueKind::kDecimal) ThrowConversion(*this, "a decimal");
  return std::get<Decimal>(v_);
}
double Value::as_double() const {
  if (kind() != ValueKind::kDouble) ThrowConversion(*this, "a double");
  return std::get<double>(v_);
}
const std::string& Value::as_text() const {
  if (kind() != ValueKind::kText) ThrowConversion(*this, "a text");
  return std::get<std::string>(v_);
}
DateTime Value::as_date() const {
  if (kind() != ValueKind::kDate) ThrowConversion(*this, "a date");
  return std::get<DateTime>(v_);
}

std::string Value::ToText() const {
  switch (kind()) {
    case ValueKind::kEmpty:
      return std::string();
    case ValueKind::kNull:
      ThrowConversion(*this, "text");
    case ValueKind::kBool:
      return std::get<bool>(v_) ? "Vero" : "Falso";
    case ValueKind::kInteger:
      return std::to_string(std::get<std::int64_t>(v_));
    case ValueKind::kDecimal:
      return std::get<Decimal>(v_).Normalized().ToItalianString();
    case ValueKind::kDouble:
      return DoubleText(std::get<double>(v_));
    case ValueKind::kText:
      return std::get<std::string>(v_);
    case ValueKind::kDate:
      return FormatItalianDate(std::get<DateTime>(v_));
  }
  return std::string();
}

Decimal Value::ToDecimal() const {
  switch (kind()) {
    case ValueKind::kEmpty:
      return Decimal();
    case ValueKind::kBool:
      return Decimal(std::get<bool>(v_) ? -1 : 0);
    case ValueKind::kInteger:
      return Decimal(std::get<std::int64_t>(v_));
    case ValueKind::kDecimal:
      return std::get<Decimal>(v_);
    case ValueKind::kDouble:
      return Decimal::FromDouble(std::get<double>(v_));
    case ValueKind::kText: {
      Decimal d;
      if (Decimal::TryParseItalian(std::get<std::string>(v_), &d)) return d;
      break;
    }
    case ValueKind::kNull:
    case ValueKind::kDate:
      break;
  }
  ThrowConversion(*this, "a number");
}

double Value::ToDouble() const {
  if (kind() == ValueKind::kDouble) return std::get<double>(v_);
  return ToDecimal().ToDouble();
}

std::int64_t Value::ToInteger() const {
  switch (kind()) {
    case ValueKind::kInteger:
      return std::get<std::int64_t>(v_);
    case ValueKind::kDouble: {
      // nearbyint rounds half to even in the default rounding mode, as the platform's CLng.
      double r = std::nearbyint(std::get<double>(v_));
      if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) {
        throw ArithmeticError("overflow: " + Describe() + " does not fit in 64 bits",
                              ArithmeticError::kOverflow);
      }
      return static_cast<std::int64_t>(r);
    }
    case ValueKind::kEmpty:
    case ValueKind::kNull:
    case ValueKind::kBool:
    case ValueKind::kDecimal:
    case ValueKind::kText:
    case ValueKind::kDate:
      break;
  }
  return ToDecimal().ToInt64();
}

bool Value::ToBool() const {
  switch (kind()) {
    case ValueKind::kEmpty:
      return false;
    case ValueKind::kBool:
      return std::get<bool>(v_);
    case ValueKind::kInteger:
      return std::get<std::int64_t>(v_) != 0;
    case ValueKind::kDecimal:
      return !std::get<Decimal>(v_).is_zero();
    case ValueKind::kDouble:
      return std::get<double>(v_) != 0;
    case ValueKind::kText: {
      std::string_view t = Trim(std::get<std::string>(v_));
      if (EqualsIgnoringCase(t, "vero") || EqualsIgnoringCase(t, "true")) return true;
      if (EqualsIgnoringCase(t, "falso") || EqualsIgnoringCase(t, "false")) return false;
      Decimal d;
      if (Decimal::TryParseItalian(t, &d)) return !d.is_zero();
      break;
    }
    case ValueKind::kNull:
    case ValueKind::kDate:
      break;
  }
  ThrowConversion(*this, "a boolean");
}

DateTime Value::ToDate() const {
  if (kind() == ValueKind::kDate) return std::get<DateTime>(v_);
  if (kind() == ValueKind::kText) {
    DateTime d;
    const std::string& t = std::get<std::string>(v_);
    if (TryParseItalianDate(t, &d) || TryParseIsoDate(t, &d)) return d;
  }
  ThrowConversion(*this, "a date");
}

std::string Value::Describe() const {
  switch (kind()) {
    case ValueKind::kEmpty:
      return "<Empty>";
    case ValueKind::kNull:
      return "<Null>";
    case ValueKind::kText:
      return "\"" + std::get<std::string>(v_) + "\"";
    case ValueKind::kBool:
    case ValueKind::kInteger:
    case ValueKind::kDecimal:
    case ValueKind::kDouble:
    case ValueKind::kDate:
      return ToText();
  }
  return "<?>";
}

}  // namespace zodadovez
