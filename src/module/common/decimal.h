// Decimal: exact decimal numbers, a signed 128-bit mantissa and a scale of 0 to 28 digits.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace zodadovez {

// g++ accepts __int128 under -Wpedantic only behind __extension__.
__extension__ typedef __int128 Int128;

enum class RoundingMode {
  kHalfEven,  // banker's rounding, as the platform's CDec/CCur/Round
  kHalfUp,    // half away from zero
  kFloor,     // toward minus infinity
  kTruncate,  // toward zero
};

// The value is mantissa / 10^scale. Values keep their scale ("12.50" stays 12.50) until an
// operation changes it. The mantissa is limited to 38 decimal digits; results that do not fit
// lose digits after the point by half-even rounding, and throw ArithmeticError when the integer
// part itself does not fit.
class Decimal {
 public:
  static constexpr int kMaxScale = 28;
  static constexpr int kMaxDigits = 38;

  constexpr Decimal() = default;
  // NOLINTNEXTLINE(google-explicit-constructor): integers convert exactly.
  Decimal(std::int64_t value) : mantissa_(value) {}
  // REQUIRES: 0 <= scale <= kMaxScale and |mantissa| < 10^38; throws ArithmeticError
  // (kOverflow) for a mantissa of more than 38 digits and Error number 5 for a bad scale.
  static Decimal FromParts(Int128 mantissa, int scale);

  // Parses the invariant form: optional sign, digits, optional "." and digits, optional
  // exponent ("1.5E-3"); blanks around are allowed. No thousands separators. Digits after the
  // point beyond what fits (28, or 38 in all) are rounded half-even; an integer part of more
  // than 38 digits does not parse.
  static bool TryParse(std::string_view text, Decimal* out);
  static Decimal Parse(std::string_view text);  // throws ConversionError naming the text
  // Parses the Italian form: "," is the decimal point, "." groups thousands ("1.234,50").
  // As the platform under an Italian locale, a "." after a digit of the integer part is
  // skipped wherever it stands: "12.5" is 125.
  static bool TryParseItalian(std::string_view text, Decimal* out);
  static Decimal ParseItalian(std::string_view text);  // throws ConversionError

  // The double's shortest exact-enough form, 15 significant digits as the platform's CDec
  // (0.1 gives 0.1, not 0.1000000000000000055...). Throws ArithmeticError for NaN, infinities
  // and magnitudes beyond 38 digits.
  static Decimal FromDouble(double value);
  double ToDouble() const;
  // Throws ArithmeticError when the value does not fit; the fraction is rounded half-even.
  std::int64_t ToInt64() const;

  std::string ToString() const;         // invariant: "-12.50"
  std::string ToItalianString() const;  // "-12,50", no thousands separators

  Int128 mantissa() const { return mantissa_; }
  int scale() const { return scale_; }
  int sign() const { return mantissa_ < 0 ? -1 : (mantissa_ > 0 ? 1 : 0); }
  bool is_zero() const { return mantissa_ == 0; }

  // Rounds to `decimals` digits after the point; a value with fewer digits is returned
  // unchanged (its scale is not raised). Throws Error number 5 for decimals < 0.
  Decimal Round(int decimals, RoundingMode mode = RoundingMode::kHalfEven) const;
  Decimal Floor() const { return Round(0, RoundingMode::kFloor); }
  // The same value with the given scale (raising adds zeros, lowering rounds half-even).
  // Throws Error number 5 for a scale outside 0..kMaxScale, ArithmeticError when the zeros
  // would make more than 38 digits.
  Decimal Rescale(int scale) const;
  // The same value without trailing zeros after the point.
  Decimal Normalized() const;

  Decimal operator-() const;
  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b);
  friend Decimal operator*(const Decimal& a, const Decimal& b);
  // Quotient to as many digits as fit (at most kMaxScale after the point), rounded half-even.
  // An exact quotient keeps no more digits than it needs, but at least the scale of a minus
  // the scale of b (1.00 / 2 = 0.50, 1 / 4 = 0.25, 1 / 3 = 0.3333333333333333333333333333).
  // Throws ArithmeticError with kDivisionByZero for a zero divisor.
  friend Decimal operator/(const Decimal& a, const Decimal& b);
  Decimal& operator+=(const Decimal& b) { return *this = *this + b; }
  Decimal& operator-=(const Decimal& b) { return *this = *this - b; }
  Decimal& operator*=(const Decimal& b) { return *this = *this * b; }
  Decimal& operator/=(const Decimal& b) { return *this = *this / b; }

  // Numeric comparison: 1.0 == 1.00. Add, subtract and multiply: see the class comment; they
  // throw ArithmeticError (kOverflow) naming both operands when the integer part does not fit.
  friend bool operator==(const Decimal& a, const Decimal& b);
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b);

 private:
  // Unchecked: callers have established the invariants of FromParts.
  constexpr Decimal(Int128 mantissa, int scale) : mantissa_(mantissa), scale_(scale) {}

  Int128 mantissa_ = 0;
  int scale_ = 0;
};

}  // namespace zodadovez
