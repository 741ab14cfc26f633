// Value: a loosely typed field value, as the module reads it from fields and controls.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "module/common/decimal.h"
#include "module/common/errors.h"

namespace zodadovez {

// Never assigned. Distinct from Null: helpers say how they treat each.
struct Empty {
  friend bool operator==(Empty, Empty) { return true; }
};
// A database NULL.
struct Null {
  friend bool operator==(Null, Null) { return true; }
};

// Null used where a value is needed: the platform's "invalid use of Null" (number 94).
class NullValueError : public Error {
 public:
  explicit NullValueError(const std::string& what) : Error(what, kNumber) {}
  static constexpr long kNumber = 94;
};

// A calendar date with a time of day, no time zone (the databases store local times): the
// seconds since 1970-01-01 00:00:00 of the local calendar, counted as if it were UTC.
using DateTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::seconds>;

// Throws ConversionError for an impossible date or time (31/02/2024, 24:00:00).
DateTime MakeDateTime(int year, unsigned month, unsigned day, int hour = 0, int minute = 0,
                      int second = 0);
// "dd/mm/yyyy", or "dd/mm/yyyy hh:mm:ss" when there is a time; the Italian short form.
std::string FormatItalianDate(DateTime value);
// Accepts "d/m/yyyy" and "dd/mm/yyyy", optionally followed by " hh:mm" or " hh:mm:ss";
// rejects impossible dates (31/02/2024). Blanks around are allowed. Returns false on anything
// else.
bool TryParseItalianDate(std::string_view text, DateTime* out);
// "yyyy-mm-dd hh:mm:ss", and also accepts "yyyy-mm-dd" and "yyyymmdd[ hh:mm:ss]"; the time
// may also follow a "T", lack its seconds, or carry a fraction ("...:05.000", as SQL Server
// writes a datetime), which is dropped.
bool TryParseIsoDate(std::string_view text, DateTime* out);
std::string FormatIsoDate(DateTime value);  // "yyyy-mm-dd hh:mm:ss"

enum class ValueKind { kEmpty, kNull, kBool, kInteger, kDecimal, kDouble, kText, kDate };

class Value {
 public:
  Value() = default;  // Empty
  // NOLINTBEGIN(google-explicit-constructor): a Value is built from any of its kinds.
  Value(Empty) {}
  Value(Null v) : v_(v) {}
  Value(bool v) : v_(v) {}
  Value(int v) : v_(static_cast<std::int64_t>(v)) {}
  Value(long v) : v_(static_cast<std::int64_t>(v)) {}
  Value(long long v) : v_(static_cast<std::int64_t>(v)) {}
  Value(Decimal v) : v_(v) {}
  Value(double v) : v_(v) {}
  Value(std::string v) : v_(std::move(v)) {}
  Value(std::string_view v) : v_(std::string(v)) {}
  Value(const char* v) : v_(std::string(v)) {}
  Value(DateTime v) : v_(v) {}
  // NOLINTEND(google-explicit-constructor)

  ValueKind kind() const { return static_cast<ValueKind>(v_.index()); }
  bool is_empty() const { return kind() == ValueKind::kEmpty; }
  bool is_null() const { return kind() == ValueKind::kNull; }
  bool is_text() const { return kind() == ValueKind::kText; }
  bool is_number() const;  // integer, decimal or double (not bool)

  // Direct access. REQUIRES: the value is of that kind (else ConversionError).
  bool as_bool() const;
  std::int64_t as_integer() const;
  const Decimal& as_decimal() const;
  double as_double() const;
  const std::string& as_text() const;
  DateTime as_date() const;

  // Conversions with the platform's rules and the Italian conventions, never the machine's
  // locale. Each throws ConversionError naming the value when it does not convert; Null and
  // Empty convert to text as "" and to numbers as 0 only where stated.
  //   ToText: Empty "", integer "12", decimal "12,5" (no trailing zeros beyond the value's own
  //   digits: 12.50 gives "12,5"), double likewise with at most 15 significant digits,
  //   bool "Vero"/"Falso", date "01/01/2001" (with " hh:mm:ss" when it has a time). A double
  //   of 10^15 or more, or below 10^-5, takes the exponent form ("1,5E+20", "1E-06").
  //   Null throws NullValueError (the platform's "invalid use of Null", number 94).
  std::string ToText() const;
  //   ToDecimal: numbers exactly (double through Decimal::FromDouble), bool -1/0, text in the
  //   Italian form ("12,50", "1.234,5", " 7 "), Empty 0; Null (NullValueError) and a date
  //   throw.
  Decimal ToDecimal() const;
  //   ToDouble: as ToDecimal, then the nearest double (a double stays as it is).
  double ToDouble() const;
  //   ToInteger: numbers rounded half-even, text as ToDecimal; throws when out of 64 bits.
  std::int64_t ToInteger() const;
  //   ToBool: numbers non-zero, texts "Vero"/"Falso"/"True"/"False" (any case, blanks
  //   around) or numeric; Empty false.
  bool ToBool() const;
  //   ToDate: a date, or a text in the Italian form or the ISO form; anything else throws.
  DateTime ToDate() const;

  // Same kind and same value (1.0 and 1.00 are equal decimals). No cross-kind equality.
  friend bool operator==(const Value& a, const Value& b) { return a.v_ == b.v_; }

  // A short description for error messages: the text quoted, numbers bare, <Null>, <Empty>.
  std::string Describe() const;

 private:
  std::variant<Empty, Null, bool, std::int64_t, Decimal, double, std::string, DateTime> v_;
};

}  // namespace zodadovez
