// Decimal arithmetic: 128-bit fast paths, with a 256-bit magnitude for the results that need
// rounding back into 38 digits.
#include "module/common/decimal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

#include "module/common/errors.h"

namespace zodadovez {
namespace {

__extension__ typedef unsigned __int128 U128;

constexpr long kInvalidCall = 5;  // the platform's "invalid procedure call or argument"

constexpr std::array<U128, 39> MakePow10() {
  std::array<U128, 39> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}
constexpr std::array<U128, 39> kPow10 = MakePow10();
constexpr U128 kLimit = kPow10[38];  // every mantissa is below this in magnitude

constexpr std::array<std::uint64_t, 20> MakePow10U64() {
  std::array<std::uint64_t, 20> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
  return p;
}
constexpr std::array<std::uint64_t, 20> kPow10U64 = MakePow10U64();

U128 Magnitude(Int128 v) { return v < 0 ? -static_cast<U128>(v) : static_cast<U128>(v); }
Int128 Signed(U128 magnitude, bool negative) {
  Int128 v = static_cast<Int128>(magnitude);
  return negative ? -v : v;
}

// Unsigned 256-bit integer, four 64-bit limbs, least significant first. Only what the slow
// paths need: products of two mantissas (76 digits), alignments by up to 28 digits and long
// division by values below 10^67; callers keep within those bounds, so nothing overflows.
struct U256 {
  std::array<std::uint64_t, 4> w{};

  static U256 From(U128 v) {
    U256 r;
    r.w[0] = static_cast<std::uint64_t>(v);
    r.w[1] = static_cast<std::uint64_t>(v >> 64);
    return r;
  }
  bool FitsU128() const { return w[2] == 0 && w[3] == 0; }
  U128 Low() const { return (static_cast<U128>(w[1]) << 64) | w[0]; }
  bool IsZero() const { return (w[0] | w[1] | w[2] | w[3]) == 0; }
  bool IsOdd() const { return (w[0] & 1) != 0; }
};

int Compare(const U256& a, const U256& b) {
  for (int i = 3; i >= 0; --i) {
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
  }
  return 0;
}

U256 Add(const U256& a, const U256& b) {
  U256 r;
  U128 carry = 0;
  for (int i = 0; i < 4; ++i) {
    U128 s = static_cast<U128>(a.w[i]) + b.w[i] + carry;
    r.w[i] = static_cast<std::uint64_t>(s);
    carry = s >> 64;
  }
  return r;
}

// REQUIRES: a >= b.
U256 Sub(const U256& a, const U256& b) {
  U256 r;
  std::uint64_t borrow = 0;
  for (int i = 0; i < 4; ++i) {
    U128 d = static_cast<U128>(a.w[i]) - b.w[i] - borrow;
    r.w[i] = static_cast<std::uint64_t>(d);
    borrow = static_cast<std::uint64_t>(d >> 64) != 0 ? 1 : 0;
  }
  return r;
}

U256 MulU64(const U256& a, std::uint64_t m) {
  U256 r;
  U128 carry = 0;
  for (int i = 0; i < 4; ++i) {
    U128 p = static_cast<U128>(a.w[i]) * m + carry;
    r.w[i] = static_cast<std::uint64_t>(p);
    carry = p >> 64;
  }
  return r;
}

// The low 256 bits of a * b.
U256 Mul(const U256& a, const U256& b) {
  U256 r;
  for (int i = 0; i < 4; ++i) {
    if (a.w[i] == 0) continue;
    U128 carry = 0;
    for (int j = 0; i + j < 4; ++j) {
      U128 p = static_cast<U128>(a.w[i]) * b.w[j] + r.w[i + j] + carry;
      r.w[i + j] = static_cast<std::uint64_t>(p);
      carry = p >> 64;
    }
  }
  return r;
}

std::uint64_t DivModU64(U256* a, std::uint64_t d) {
  U128 rem = 0;
  for (int i = 3; i >= 0; --i) {
    U128 cur = (rem << 64) | a->w[i];
    a->w[i] = static_cast<std::uint64_t>(cur / d);
    rem = cur % d;
  }
  return static_cast<std::uint64_t>(rem);
}

int BitLength(const U256& a) {
  for (int i = 3; i >= 0; --i) {
    if (a.w[i] != 0) return 64 * i + 64 - __builtin_clzll(a.w[i]);
  }
  return 0;
}

U256 Shl1(const U256& a) {
  U256 r;
  for (int i = 3; i > 0; --i) r.w[i] = (a.w[i] << 1) | (a.w[i - 1] >> 63);
  r.w[0] = a.w[0] << 1;
  return r;
}

// Quotient and remainder by shift and subtract. REQUIRES: b != 0 and b < 2^255.
void DivMod(const U256& a, const U256& b, U256* q, U256* r) {
  if (a.FitsU128() && b.FitsU128()) {
    *q = U256::From(a.Low() / b.Low());
    *r = U256::From(a.Low() % b.Low());
    return;
  }
  *q = U256();
  *r = U256();
  for (int bit = BitLength(a) - 1; bit >= 0; --bit) {
    *r = Shl1(*r);
    r->w[0] |= (a.w[bit / 64] >> (bit % 64)) & 1;
    if (Compare(*r, b) >= 0) {
      *r = Sub(*r, b);
      q->w[bit / 64] |= std::uint64_t{1} << (bit % 64);
    }
  }
}

// 10^n for n in 0..76 (10^76 < 2^256 < 10^77).
const U256& Pow10Wide(int n) {
  static const std::array<U256, 77> table = [] {
    std::array<U256, 77> t{};
    t[0] = U256::From(1);
    for (std::size_t i = 1; i < t.size(); ++i) t[i] = MulU64(t[i - 1], 10);
    return t;
  }();
  return table[static_cast<std::size_t>(n)];
}

int DigitCount(const U256& a) {
  int n = 0;
  while (n < 77 && Compare(a, Pow10Wide(n)) >= 0) ++n;
  return n;
}

// Whether dropping a remainder `rem` out of a unit `unit` (rem < unit) moves the truncated
// quotient `q` one step away from zero. `twice_cmp` is the sign of 2 * rem - unit.
bool RoundsAway(RoundingMode mode, bool negative, bool q_odd, bool rem_zero, int twice_cmp) {
  if (rem_zero) return false;
  switch (mode) {
    case RoundingMode::kHalfEven:
      return twice_cmp > 0 || (twice_cmp == 0 && q_odd);
    case RoundingMode::kHalfUp:
      return twice_cmp >= 0;
    case RoundingMode::kFloor:
      return negative;
    case RoundingMode::kTruncate:
      return false;
  }
  return false;
}

// The magnitude divided by 10^k (k in 0..76), rounded as `mode` says for a value of that sign.
U256 RoundDivPow10(const U256& m, int k, RoundingMode mode, bool negative) {
  if (k == 0) return m;
  if (m.FitsU128() && k <= 38) {
    U128 unit = kPow10[static_cast<std::size_t>(k)];
    U128 q = m.Low() / unit;
    U128 rem = m.Low() % unit;
    // 2 * rem < 2 * 10^38 < 2^128: no overflow.
    int twice_cmp = 2 * rem < unit ? -1 : (2 * rem == unit ? 0 : 1);
    if (RoundsAway(mode, negative, (q & 1) != 0, rem == 0, twice_cmp)) ++q;
    return U256::From(q);
  }
  // Divide by 10^19 at a time, gathering the remainder (below 10^k, so it fits).
  U256 q = m;
  U256 rem;
  int done = 0;
  while (done < k) {
    int step = std::min(19, k - done);
    std::uint64_t part = DivModU64(&q, kPow10U64[static_cast<std::size_t>(step)]);
    rem = Add(rem, MulU64(Pow10Wide(done), part));
    done += step;
  }
  int twice_cmp = Compare(Shl1(rem), Pow10Wide(k));
  if (RoundsAway(mode, negative, q.IsOdd(), rem.IsZero(), twice_cmp)) {
    q = Add(q, U256::From(1));
  }
  return q;
}

// Builds sign * magnitude / 10^scale (scale >= 0), dropping digits after the point by half-even
// rounding until the scale is at most 28 and the mantissa at most 38 digits. False when the
// integer part alone has more than 38 digits.
bool TryFit(bool negative, U256 magnitude, int scale, Int128* mantissa, int* out_scale) {
  int target = std::min(scale, Decimal::kMaxScale);
  int digits = DigitCount(magnitude);
  if (digits - (scale - target) > Decimal::kMaxDigits) {
    target = scale - (digits - Decimal::kMaxDigits);
    if (target < 0) return false;
  }
  magnitude = RoundDivPow10(magnitude, scale - target, RoundingMode::kHalfEven, negative);
  if (!magnitude.FitsU128() || magnitude.Low() >= kLimit) {
    // Rounding carried 99...9 over into 10^38, which is exact when divided by ten.
    if (target == 0) return false;
    DivModU64(&magnitude, 10);
    --target;
  }
  *mantissa = Signed(magnitude.Low(), negative);
  *out_scale = target;
  return true;
}

std::string MagnitudeDigits(U128 v) {
  char buf[40];
  char* p = buf + sizeof(buf);
  do {
    *--p = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  return std::string(p, buf + sizeof(buf));
}

std::string Format(Int128 mantissa, int scale, char point) {
  std::string digits = MagnitudeDigits(Magnitude(mantissa));
  if (scale > 0) {
    if (static_cast<int>(digits.size()) <= scale) {
      digits.insert(0, static_cast<std::size_t>(scale) - digits.size() + 1, '0');
    }
    digits.insert(digits.size() - static_cast<std::size_t>(scale), 1, point);
  }
  if (mantissa < 0) digits.insert(0, 1, '-');
  return digits;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The one parser behind both forms: `point` is the decimal point, `group` (or '\0') the
// thousands separator that the integer part may carry after any digit.
bool ParseDecimal(std::string_view text, char point, char group, Int128* mantissa, int* scale) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  std::string significant;  // digits without leading zeros
  long fraction_digits = 0;
  bool any_digit = false;
  auto take_digit = [&](char c) {
    any_digit = true;
    if (significant.empty() && c == '0') return;
    significant.push_back(c);
  };
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      take_digit(c);
    } else if (group != '\0' && c == group && any_digit) {
      continue;
    } else {
      break;
    }
  }
  if (i < text.size() && text[i] == point) {
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      take_digit(text[i]);
      ++fraction_digits;
    }
  }
  if (!any_digit) return false;
  long exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool exp_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) exp_negative = text[i++] == '-';
    if (i == text.size() || text[i] < '0' || text[i] > '9') return false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
      // Beyond 100000 the value is zero or too large whatever the digits; stop counting.
      if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (exp_negative) exponent = -exponent;
  }
  if (i != text.size()) return false;

  long exact_scale = fraction_digits - exponent;  // value = significant * 10^-exact_scale
  long length = static_cast<long>(significant.size());
  if (length == 0) {
    *mantissa = 0;
    *scale = static_cast<int>(std::clamp(exact_scale, 0L, long{Decimal::kMaxScale}));
    return true;
  }
  if (exact_scale < 0) {
    if (length - exact_scale > Decimal::kMaxDigits) return false;
    significant.append(static_cast<std::size_t>(-exact_scale), '0');
    length = static_cast<long>(significant.size());
    exact_scale = 0;
  }
  long target = std::min<long>(exact_scale, Decimal::kMaxScale);
  if (length - (exact_scale - target) > Decimal::kMaxDigits) {
    target = exact_scale - (length - Decimal::kMaxDigits);
    if (target < 0) return false;
  }
  long keep = length - (exact_scale - target);  // digits that stay, may be <= 0
  U128 m = 0;
  for (long k = 0; k < keep; ++k) m = m * 10 + static_cast<unsigned>(significant[k] - '0');
  if (keep < length) {
    int first = keep >= 0 ? significant[static_cast<std::size_t>(keep)] - '0' : 0;
    bool sticky = false;
    for (long k = std::max(keep + 1, 0L); k < length && !sticky; ++k) {
      sticky = significant[static_cast<std::size_t>(k)] != '0';
    }
    if (first > 5 || (first == 5 && (sticky || (m & 1) != 0))) ++m;
    if (m >= kLimit) {
      if (target == 0) return false;
      m /= 10;
      --target;
    }
  }
  *mantissa = Signed(m, negative);
  *scale = static_cast<int>(target);
  return true;
}

[[noreturn]] void ThrowOverflow(const Decimal& a, const char* op, const Decimal& b) {
  throw ArithmeticError(
      "Decimal overflow: " + a.ToString() + " " + op + " " + b.ToString() + " exceeds 38 digits",
      ArithmeticError::kOverflow);
}

}  // namespace

Decimal Decimal::FromParts(Int128 mantissa, int scale) {
  if (scale < 0 || scale > kMaxScale) {
    throw Error("Decimal::FromParts: scale " + std::to_string(scale) + " outside 0..28",
                kInvalidCall);
  }
  if (Magnitude(mantissa) >= kLimit) {
    throw ArithmeticError("Decimal::FromParts: mantissa of more than 38 digits",
                          ArithmeticError::kOverflow);
  }
  return Decimal(mantissa, scale);
}

bool Decimal::TryParse(std::string_view text, Decimal* out) {
  Int128 m = 0;
  int s = 0;
  if (!ParseDecimal(text, '.', '\0', &m, &s)) return false;
  *out = Decimal(m, s);
  return true;
}

Decimal Decimal::Parse(std::string_view text) {
  Decimal d;
  if (!TryParse(text, &d)) {
    throw ConversionError("Decimal::Parse: \"" + std::string(text) + "\" is not a number");
  }
  return d;
}

bool Decimal::TryParseItalian(std::string_view text, Decimal* out) {
  Int128 m = 0;
  int s = 0;
  if (!ParseDecimal(text, ',', '.', &m, &s)) return false;
  *out = Decimal(m, s);
  return true;
}

Decimal Decimal::ParseItalian(std::string_view text) {
  Decimal d;
  if (!TryParseItalian(text, &d)) {
    throw ConversionError("Decimal::ParseItalian: \"" + std::string(text) + "\" is not a number");
  }
  return d;
}

Decimal Decimal::FromDouble(double value) {
  if (!std::isfinite(value)) {
    throw ArithmeticError("Decimal::FromDouble: the double is not a finite number",
                          ArithmeticError::kOverflow);
  }
  // 15 significant digits, as the platform's conversion of a double: the shortest text that
  // every double of 15 digits or fewer reads back from, so 0.1 stays 0.1.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof(buf), value, std::chars_format::scientific, 14);
  Decimal d;
  if (res.ec != std::errc() || !TryParse(std::string_view(buf, res.ptr - buf), &d)) {
    throw ArithmeticError(
        "Decimal::FromDouble: " + std::string(buf, res.ptr - buf) + " exceeds 38 digits",
        ArithmeticError::kOverflow);
  }
  return d.Normalized();
}

double Decimal::ToDouble() const {
  // A mantissa below 2^53 and a power of ten up to 10^22 are both exact doubles, and one IEEE
  // division of exact operands is correctly rounded.
  constexpr Int128 kExactMantissa = Int128{1} << 53;
  if (mantissa_ < kExactMantissa && mantissa_ > -kExactMantissa && scale_ <= 22) {
    static constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                             1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    return static_cast<double>(static_cast<std::int64_t>(mantissa_)) / kExactPow10[scale_];
  }
  // Otherwise the text of the exact value, read back by a correctly rounding parser (never the
  // locale's).
  std::string text = ToString();
  double v = 0;
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

std::int64_t Decimal::ToInt64() const {
  Decimal r = Round(0, RoundingMode::kHalfEven);
  if (r.mantissa_ > INT64_MAX || r.mantissa_ < INT64_MIN) {
    throw ArithmeticError("Decimal::ToInt64: " + ToString() + " does not fit in 64 bits",
                          ArithmeticError::kOverflow);
  }
  return static_cast<std::int64_t>(r.mantissa_);
}

std::string Decimal::ToString() const { return Format(mantissa_, scale_, '.'); }
std::string Decimal::ToItalianString() const { return Format(mantissa_, scale_, ','); }

Decimal Decimal::Round(int decimals, RoundingMode mode) const {
  if (decimals < 0) {
    throw Error("Decimal::Round: negative number of decimals " + std::to_string(decimals),
                kInvalidCall);
  }
  if (decimals >= scale_) return *this;
  bool negative = mantissa_ < 0;
  U128 unit = kPow10[static_cast<std::size_t>(scale_ - decimals)];
  U128 magnitude = Magnitude(mantissa_);
  U128 q = magnitude / unit;
  U128 rem = magnitude % unit;
  int twice_cmp = 2 * rem < unit ? -1 : (2 * rem == unit ? 0 : 1);
  if (RoundsAway(mode, negative, (q & 1) != 0, rem == 0, twice_cmp)) ++q;
  // q < 10^37 here, so one more step still fits.
  return Decimal(Signed(q, negative), decimals);
}

Decimal Decimal::Rescale(int scale) const {
  if (scale < 0 || scale > kMaxScale) {
    throw Error("Decimal::Rescale: scale " + std::to_string(scale) + " outside 0..28",
                kInvalidCall);
  }
  if (scale <= scale_) return Round(scale, RoundingMode::kHalfEven);
  Int128 m = 0;
  if (__builtin_mul_overflow(mantissa_, static_cast<Int128>(kPow10[scale - scale_]), &m) ||
      Magnitude(m) >= kLimit) {
    throw ArithmeticError("Decimal::Rescale: " + ToString() + " with scale " +
                              std::to_string(scale) + " exceeds 38 digits",
                          ArithmeticError::kOverflow);
  }
  return Decimal(m, scale);
}

Decimal Decimal::Normalized() const {
  Int128 m = mantissa_;
  int s = scale_;
  while (s > 0 && m % 10 == 0) {
    m /= 10;
    --s;
  }
  return Decimal(m, s);
}

Decimal Decimal::operator-() const { return Decimal(-mantissa_, scale_); }

Decimal operator+(const Decimal& a, const Decimal& b) {
  int scale = std::max(a.scale_, b.scale_);
  Int128 am = a.mantissa_;
  Int128 bm = b.mantissa_;
  Int128 sum = 0;
  bool fast = !__builtin_mul_overflow(am, static_cast<Int128>(kPow10[scale - a.scale_]), &am) &&
              !__builtin_mul_overflow(bm, static_cast<Int128>(kPow10[scale - b.scale_]), &bm) &&
              !__builtin_add_overflow(am, bm, &sum) && Magnitude(sum) < kLimit;
  if (fast) return Decimal(sum, scale);

  U256 x = Mul(U256::From(Magnitude(a.mantissa_)), Pow10Wide(scale - a.scale_));
  U256 y = Mul(U256::From(Magnitude(b.mantissa_)), Pow10Wide(scale - b.scale_));
  bool x_negative = a.mantissa_ < 0;
  bool y_negative = b.mantissa_ < 0;
  U256 magnitude;
  bool negative = false;
  if (x_negative == y_negative) {
    magnitude = Add(x, y);
    negative = x_negative;
  } else if (Compare(x, y) >= 0) {
    magnitude = Sub(x, y);
    negative = x_negative;
  } else {
    magnitude = Sub(y, x);
    negative = y_negative;
  }
  Int128 m = 0;
  int s = 0;
  if (!TryFit(negative, magnitude, scale, &m, &s)) ThrowOverflow(a, "+", b);
  return Decimal(m, s);
}

Decimal operator-(const Decimal& a, const Decimal& b) { return a + (-b); }

Decimal operator*(const Decimal& a, const Decimal& b) {
  int scale = a.scale_ + b.scale_;
  Int128 product = 0;
  if (scale <= Decimal::kMaxScale && !__builtin_mul_overflow(a.mantissa_, b.mantissa_, &product) &&
      Magnitude(product) < kLimit) {
    return Decimal(product, scale);
  }
  U256 magnitude = Mul(U256::From(Magnitude(a.mantissa_)), U256::From(Magnitude(b.mantissa_)));
  Int128 m = 0;
  int s = 0;
  if (!TryFit((a.mantissa_ < 0) != (b.mantissa_ < 0), magnitude, scale, &m, &s)) {
    ThrowOverflow(a, "*", b);
  }
  return Decimal(m, s);
}

Decimal operator/(const Decimal& a, const Decimal& b) {
  if (b.is_zero()) {
    throw ArithmeticError("Decimal division by zero: " + a.ToString() + " / " + b.ToString(),
                          ArithmeticError::kDivisionByZero);
  }
  int preferred = std::max(0, a.scale_ - b.scale_);
  if (a.is_zero()) return Decimal(0, preferred);
  bool negative = (a.mantissa_ < 0) != (b.mantissa_ < 0);

  // |a| / |b| = x / y with both integers: the scales move into whichever side needs zeros.
  int shift = b.scale_ - a.scale_;
  U256 x = Mul(U256::From(Magnitude(a.mantissa_)), Pow10Wide(std::max(shift, 0)));
  U256 y = Mul(U256::From(Magnitude(b.mantissa_)), Pow10Wide(std::max(-shift, 0)));
  U256 q;
  U256 rem;
  DivMod(x, y, &q, &rem);
  int integer_digits = q.IsZero() ? 0 : DigitCount(q);
  if (integer_digits > Decimal::kMaxDigits) ThrowOverflow(a, "/", b);
  int max_scale = std::min(Decimal::kMaxScale, Decimal::kMaxDigits - integer_digits);

  int scale = 0;
  int divisor_digits = DigitCount(y);
  if (divisor_digits <= 37) {
    // Digits after the point in chunks: rem < y < 10^n, so rem * 10^(38-n) stays below 10^38
    // and fits 128 bits. A chunk may run past the last non-zero digit; those zeros go below.
    U128 divisor = y.Low();
    U128 r = rem.Low();
    while (scale < max_scale && (r != 0 || scale < preferred)) {
      int step = std::min(38 - divisor_digits, max_scale - scale);
      U128 scaled = r * kPow10[static_cast<std::size_t>(step)];
      q = Add(Mul(q, Pow10Wide(step)), U256::From(scaled / divisor));
      r = scaled % divisor;
      scale += step;
    }
    rem = U256::From(r);
    while (r == 0 && scale > preferred) {
      U256 shorter = q;
      if (DivModU64(&shorter, 10) != 0) break;
      q = shorter;
      --scale;
    }
  }
  // One digit after the point at a time: the remainder stays below y < 10^67, ten times it
  // fits, and each digit takes at most nine subtractions.
  while (scale < max_scale && (!rem.IsZero() || scale < preferred)) {
    rem = MulU64(rem, 10);
    std::uint64_t digit = 0;
    while (Compare(rem, y) >= 0) {
      rem = Sub(rem, y);
      ++digit;
    }
    q = Add(MulU64(q, 10), U256::From(digit));
    ++scale;
  }
  int twice_cmp = Compare(Shl1(rem), y);
  if (RoundsAway(RoundingMode::kHalfEven, negative, q.IsOdd(), rem.IsZero(), twice_cmp)) {
    q = Add(q, U256::From(1));
    if (!q.FitsU128() || q.Low() >= kLimit) {
      if (scale == 0) ThrowOverflow(a, "/", b);
      DivModU64(&q, 10);
      --scale;
    }
  }
  return Decimal(Signed(q.Low(), negative), scale);
}

bool operator==(const Decimal& a, const Decimal& b) {
  return (a <=> b) == std::strong_ordering::equal;
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
  if (a.scale_ == b.scale_) return a.mantissa_ <=> b.mantissa_;
  if (a.sign() != b.sign()) return a.sign() <=> b.sign();
  // Same sign: bring the smaller scale up. If that overflows 128 bits, its magnitude exceeds
  // 2^127 > 10^38 > the other's, so the sign alone decides.
  bool a_smaller = a.scale_ < b.scale_;
  const Decimal& low = a_smaller ? a : b;
  const Decimal& high = a_smaller ? b : a;
  Int128 raised = 0;
  std::strong_ordering low_vs_high = std::strong_ordering::equal;
  if (__builtin_mul_overflow(low.mantissa_, static_cast<Int128>(kPow10[high.scale_ - low.scale_]),
                             &raised)) {
    low_vs_high = low.sign() > 0 ? std::strong_ordering::greater : std::strong_ordering::less;
  } else {
    low_vs_high = raised <=> high.mantissa_;
  }
  if (a_smaller) return low_vs_high;
  return 0 <=> low_vs_high;
}

}  // namespace zodadovez
