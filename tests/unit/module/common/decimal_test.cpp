// Decimal: tables of parse, format, arithmetic and rounding cases, and properties against exact
// arithmetic on digit strings.
#include "module/common/decimal.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "module/common/errors.h"

namespace zodadovez {

std::ostream& operator<<(std::ostream& os, const Decimal& d) {
  return os << d.ToString() << " (scale " << d.scale() << ")";
}

namespace {

__extension__ typedef unsigned __int128 U128;

Decimal D(const char* text) { return Decimal::Parse(text); }

// ---------------------------------------------------------------------------------------------
// Exact reference: a sign, decimal digits (most significant first, no leading zeros) and a
// scale. Schoolbook arithmetic on digits, independent of the implementation's 128/256-bit code.

struct Exact {
  bool negative = false;
  std::string digits;  // "" is zero
  int scale = 0;
};

std::string StripZeros(std::string s) {
  std::size_t i = s.find_first_not_of('0');
  return i == std::string::npos ? std::string() : s.substr(i);
}

Exact FromDecimal(const Decimal& d) {
  Int128 m = d.mantissa();
  U128 mag = m < 0 ? -static_cast<U128>(m) : static_cast<U128>(m);
  std::string s;
  while (mag != 0) {
    s.insert(s.begin(), static_cast<char>('0' + static_cast<int>(mag % 10)));
    mag /= 10;
  }
  return Exact{m < 0, s, d.scale()};
}

int CompareMagnitude(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

std::string AddMagnitude(const std::string& a, const std::string& b) {
  std::string r;
  int carry = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry; ++i) {
    int x = i < a.size() ? a[a.size() - 1 - i] - '0' : 0;
    int y = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    int s = x + y + carry;
    r.insert(r.begin(), static_cast<char>('0' + s % 10));
    carry = s / 10;
  }
  return StripZeros(r);
}

// REQUIRES: a >= b.
std::string SubMagnitude(const std::string& a, const std::string& b) {
  std::string r;
  int borrow = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    int x = a[a.size() - 1 - i] - '0' - borrow;
    int y = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    borrow = x < y ? 1 : 0;
    r.insert(r.begin(), static_cast<char>('0' + x + 10 * borrow - y));
  }
  return StripZeros(r);
}

std::string MulMagnitude(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return std::string();
  std::vector<int> acc(a.size() + b.size(), 0);
  for (std::size_t i = 0; i < a.size(); ++i) {
    for (std::size_t j = 0; j < b.size(); ++j) {
      acc[i + j + 1] += (a[i] - '0') * (b[j] - '0');
    }
  }
  for (std::size_t k = acc.size() - 1; k > 0; --k) {
    acc[k - 1] += acc[k] / 10;
    acc[k] %= 10;
  }
  std::string r;
  for (int v : acc) r.push_back(static_cast<char>('0' + v));
  return StripZeros(r);
}

Exact Align(Exact e, int scale) {
  if (!e.digits.empty()) e.digits.append(static_cast<std::size_t>(scale - e.scale), '0');
  e.scale = scale;
  return e;
}

Exact AddExact(Exact a, Exact b) {
  int scale = std::max(a.scale, b.scale);
  a = Align(a, scale);
  b = Align(b, scale);
  Exact r;
  r.scale = scale;
  if (a.negative == b.negative) {
    r.digits = AddMagnitude(a.digits, b.digits);
    r.negative = a.negative;
  } else if (CompareMagnitude(a.digits, b.digits) >= 0) {
    r.digits = SubMagnitude(a.digits, b.digits);
    r.negative = a.negative;
  } else {
    r.digits = SubMagnitude(b.digits, a.digits);
    r.negative = b.negative;
  }
  return r;
}

Exact MulExact(const Exact& a, const Exact& b) {
  return Exact{a.negative != b.negative, MulMagnitude(a.digits, b.digits), a.scale + b.scale};
}

int CompareExact(Exact a, Exact b) {
  int scale = std::max(a.scale, b.scale);
  a = Align(a, scale);
  b = Align(b, scale);
  int sa = a.digits.empty() ? 0 : (a.negative ? -1 : 1);
  int sb = b.digits.empty() ? 0 : (b.negative ? -1 : 1);
  if (sa != sb) return sa < sb ? -1 : 1;
  int c = CompareMagnitude(a.digits, b.digits);
  return sa < 0 ? -c : c;
}

std::optional<std::string> FormatFitted(bool negative, std::string kept, int target);

// What Decimal must make of an exact result: digits after the point dropped by half-even
// rounding until the scale is at most 28 and the digits at most 38; nullopt for an overflow.
std::optional<std::string> Expected(Exact e) {
  int length = static_cast<int>(e.digits.size());
  int target = std::min(e.scale, 28);
  if (length - (e.scale - target) > 38) target = e.scale - (length - 38);
  if (target < 0) return std::nullopt;
  int drop = e.scale - target;
  std::string kept = drop >= length ? std::string() : e.digits.substr(0, length - drop);
  if (drop > 0) {
    std::string dropped = e.digits.substr(static_cast<std::size_t>(std::max(0, length - drop)));
    dropped.insert(0, static_cast<std::size_t>(std::max(0, drop - length)), '0');
    bool up = dropped[0] > '5' ||
              (dropped[0] == '5' && (dropped.find_first_not_of('0', 1) != std::string::npos ||
                                     (!kept.empty() && (kept.back() - '0') % 2 == 1)));
    if (up) kept = AddMagnitude(kept, "1");
  }
  return FormatFitted(e.negative, kept, target);
}

// Formats digits at a scale as Decimal::ToString does, after a rounding that may have carried
// 99...9 into 10^38 (exact once a zero after the point goes).
std::optional<std::string> FormatFitted(bool negative, std::string kept, int target) {
  kept = StripZeros(kept);
  if (static_cast<int>(kept.size()) > 38) {
    if (target == 0) return std::nullopt;
    kept.pop_back();
    --target;
  }
  std::string s = kept;
  if (static_cast<int>(s.size()) <= target) {
    s.insert(0, static_cast<std::size_t>(target) - s.size() + 1, '0');
  }
  if (target > 0) s.insert(s.size() - static_cast<std::size_t>(target), 1, '.');
  if (s.empty()) s = "0";
  if (negative && !kept.empty()) s.insert(0, 1, '-');
  return s;
}

// Long division on digit strings: the quotient to as many digits as fit (at most 28 after the
// point), exact ones stopping early but not below the scale of a minus the scale of b.
std::optional<std::string> ExpectedQuotient(const Exact& a, const Exact& b) {
  int shift = b.scale - a.scale;
  std::string x = a.digits + std::string(static_cast<std::size_t>(std::max(shift, 0)), '0');
  std::string y = b.digits + std::string(static_cast<std::size_t>(std::max(-shift, 0)), '0');
  int preferred = std::max(0, a.scale - b.scale);
  std::string q;
  std::string rem;
  auto next_digit = [&](char incoming) {
    rem = StripZeros(rem + incoming);
    char digit = '0';
    while (CompareMagnitude(rem, y) >= 0) {
      rem = SubMagnitude(rem, y);
      ++digit;
    }
    q.push_back(digit);
  };
  for (char c : x) next_digit(c);
  int integer_digits = static_cast<int>(StripZeros(q).size());
  if (integer_digits > 38) return std::nullopt;
  int max_scale = std::min(28, 38 - integer_digits);
  int scale = 0;
  while (scale < max_scale && (!rem.empty() || scale < preferred)) {
    next_digit('0');
    ++scale;
  }
  int twice_cmp = CompareMagnitude(AddMagnitude(rem, rem), y);
  if (!rem.empty() && (twice_cmp > 0 || (twice_cmp == 0 && !q.empty() && (q.back() - '0') % 2))) {
    q = AddMagnitude(StripZeros(q), "1");
  }
  return FormatFitted(a.negative != b.negative, q, scale);
}

template <typename Op>
std::optional<std::string> Attempt(Op op) {
  try {
    return op().ToString();
  } catch (const ArithmeticError& e) {
    if (e.number() != ArithmeticError::kOverflow) throw;
    return std::nullopt;
  }
}

// Decimals of up to `max_digits` digits and scales up to `max_scale`.
rc::Gen<Decimal> GenDecimal(int max_digits, int max_scale) {
  return rc::gen::apply(
      [](int digits, std::uint64_t hi, std::uint64_t lo, int scale, bool negative) {
        U128 limit = 1;
        for (int i = 0; i < digits; ++i) limit *= 10;
        U128 m = ((static_cast<U128>(hi) << 64) | lo) % limit;
        Int128 v = static_cast<Int128>(m);
        return Decimal::FromParts(negative ? -v : v, scale);
      },
      rc::gen::inRange(0, max_digits + 1), rc::gen::arbitrary<std::uint64_t>(),
      rc::gen::arbitrary<std::uint64_t>(), rc::gen::inRange(0, max_scale + 1),
      rc::gen::arbitrary<bool>());
}

Int128 Pow10(int n) {
  Int128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// ---------------------------------------------------------------------------------------------

struct ParseCase {
  const char* text;
  bool italian;
  const char* expected;  // invariant text, nullptr when the text must not parse
};

TEST(DecimalTest, ParsesAndFormats) {
  const ParseCase cases[] = {
      {"0", false, "0"},
      {"12.50", false, "12.50"},
      {"-12.50", false, "-12.50"},
      {"  +7 ", false, "7"},
      {".5", false, "0.5"},
      {"007.10", false, "7.10"},
      {"-0.00", false, "0.00"},
      {"1.5E-3", false, "0.0015"},
      {"1.50e1", false, "15.0"},
      {"1.5e+3", false, "1500"},
      {"0E-50", false, "0.0000000000000000000000000000"},
      {"12345678901234567890123456789012345678", false, "12345678901234567890123456789012345678"},
      // Beyond 28 digits after the point: half-even on the first dropped digit and the rest.
      {"0.1234567890123456789012345678901", false, "0.1234567890123456789012345679"},
      {"0.00000000000000000000000000015", false, "0.0000000000000000000000000002"},
      {"0.00000000000000000000000000025", false, "0.0000000000000000000000000002"},
      {"0.000000000000000000000000000250001", false, "0.0000000000000000000000000003"},
      {"1E-40", false, "0.0000000000000000000000000000"},
      // 39 digits: the point moves left; rounding may carry into a 39th digit, one more goes.
      {"1234567890.12345678901234567890123456789", false,
       "1234567890.1234567890123456789012345679"},
      {"9999999999.99999999999999999999999999999", false,
       "10000000000.000000000000000000000000000"},
      {"", false, nullptr},
      {"   ", false, nullptr},
      {"abc", false, nullptr},
      {"1,5", false, nullptr},
      {"1.2.3", false, nullptr},
      {"--1", false, nullptr},
      {"+", false, nullptr},
      {".", false, nullptr},
      {"1e", false, nullptr},
      {"1e+", false, nullptr},
      {"1 2", false, nullptr},
      {"123456789012345678901234567890123456789", false, nullptr},  // 39 integer digits
      {"1E38", false, nullptr},
      {"99999999999999999999999999999999999999.5", false, nullptr},  // rounds to 10^38
      {"12,50", true, "12.50"},
      {"1.234,50", true, "1234.50"},
      {"-0,5", true, "-0.5"},
      {" 7 ", true, "7"},
      {"1,5E2", true, "150"},
      {"12.5", true, "125"},  // the Italian "." groups thousands wherever it stands
      {"1.234.567", true, "1234567"},
      {"abc", true, nullptr},
      {"1,2,3", true, nullptr},
      {".5", true, nullptr},
      {",", true, nullptr},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + (c.italian ? " (Italian)" : ""));
    Decimal d;
    bool ok = c.italian ? Decimal::TryParseItalian(c.text, &d) : Decimal::TryParse(c.text, &d);
    if (c.expected == nullptr) {
      EXPECT_FALSE(ok);
      if (c.italian) {
        EXPECT_THROW(Decimal::ParseItalian(c.text), ConversionError);
      } else {
        EXPECT_THROW(Decimal::Parse(c.text), ConversionError);
      }
    } else {
      ASSERT_TRUE(ok);
      EXPECT_EQ(d.ToString(), c.expected);
    }
  }
}

TEST(DecimalTest, FormatsBothForms) {
  const struct {
    Decimal value;
    const char* invariant;
    const char* italian;
  } cases[] = {
      {D("-12.50"), "-12.50", "-12,50"},
      {D("0.05"), "0.05", "0,05"},
      {D("-0.5"), "-0.5", "-0,5"},
      {Decimal(42), "42", "42"},
      {Decimal(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808",
       "-9223372036854775808"},
      {Decimal::FromParts(-(Pow10(38) - 1), 28), "-9999999999.9999999999999999999999999999",
       "-9999999999,9999999999999999999999999999"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.ToString(), c.invariant);
    EXPECT_EQ(c.value.ToItalianString(), c.italian);
  }
  EXPECT_THROW(Decimal::FromParts(Pow10(38), 0), ArithmeticError);
  EXPECT_THROW(Decimal::FromParts(1, 29), Error);
}

TEST(DecimalTest, ComparesNumerically) {
  const struct {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"1.0", "1.00", 0},
      {"0", "-0.000", 0},
      {"-1", "0.5", -1},
      {"0.1", "0.09", 1},
      {"-0.1", "-0.09", -1},
      {"12.5", "12.50001", -1},
      // Aligning the scale-0 side overflows 128 bits: the magnitude decides.
      {"99999999999999999999999999999999999999", "1.0000000000000000000000000000", 1},
      {"-99999999999999999999999999999999999999", "-1.0000000000000000000000000000", -1},
      {"1.0000000000000000000000000000", "99999999999999999999999999999999999999", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    auto cmp = D(c.a) <=> D(c.b);
    int got = cmp < 0 ? -1 : (cmp > 0 ? 1 : 0);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(D(c.a) == D(c.b), c.expected == 0);
  }
}

TEST(DecimalTest, Arithmetic) {
  const struct {
    const char* a;
    char op;
    const char* b;
    const char* expected;  // nullptr: ArithmeticError
    long error = 0;
  } cases[] = {
      {"1.10", '+', "2.205", "3.305"},
      {"0.1", '+', "0.2", "0.3"},
      {"5", '-', "5.00", "0.00"},
      {"1", '-', "0.01", "0.99"},
      {"-1.5", '+', "1.5", "0.0"},
      {"9999999999999999999999999999999999999.9", '+', "0.1",
       "10000000000000000000000000000000000000"},
      {"1", '+', "0.0000000000000000000000000001", "1.0000000000000000000000000001"},
      {"10000000000", '+', "0.0000000000000000000000000005",
       "10000000000.000000000000000000000000000"},  // 39 digits: the 5 rounds to even
      {"99999999999999999999999999999999999999", '+', "1", nullptr, ArithmeticError::kOverflow},
      {"-99999999999999999999999999999999999999", '-', "1", nullptr, ArithmeticError::kOverflow},
      {"1.5", '*', "2.50", "3.750"},
      {"-1.5", '*', "2", "-3.0"},
      {"0.00000000000001", '*', "0.00000000000001", "0.0000000000000000000000000001"},
      {"0.000000000000015", '*', "0.00000000000001", "0.0000000000000000000000000002"},
      {"0.000000000000025", '*', "0.00000000000001", "0.0000000000000000000000000002"},
      {"12345678901234567890.123456789012345678", '*', "10",
       "123456789012345678901.23456789012345678"},
      {"99999999999999999999", '*', "99999999999999999999", nullptr, ArithmeticError::kOverflow},
      {"1", '/', "4", "0.25"},
      {"1.00", '/', "2", "0.50"},
      {"1.000", '/', "1", "1.000"},
      {"6", '/', "2", "3"},
      {"0.5", '/', "0.25", "2"},
      {"10", '/', "0.5", "20"},
      {"-7", '/', "2", "-3.5"},
      {"1", '/', "3", "0.3333333333333333333333333333"},
      {"2", '/', "3", "0.6666666666666666666666666667"},
      {"-2", '/', "3", "-0.6666666666666666666666666667"},
      {"1", '/', "0.0000000000000000000000000003", "3333333333333333333333333333.3333333333"},
      {"0", '/', "7", "0"},
      {"99999999999999999999999999999999999999", '/', "0.1", nullptr, ArithmeticError::kOverflow},
      {"1", '/', "0", nullptr, ArithmeticError::kDivisionByZero},
      {"0", '/', "0.00", nullptr, ArithmeticError::kDivisionByZero},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " " + c.op + " " + c.b);
    auto run = [&] {
      switch (c.op) {
        case '+':
          return D(c.a) + D(c.b);
        case '-':
          return D(c.a) - D(c.b);
        case '*':
          return D(c.a) * D(c.b);
        default:
          return D(c.a) / D(c.b);
      }
    };
    if (c.expected == nullptr) {
      try {
        run();
        ADD_FAILURE() << "no error";
      } catch (const ArithmeticError& e) {
        EXPECT_EQ(e.number(), c.error);
        EXPECT_NE(std::string(e.what()).find(c.a), std::string::npos) << e.what();
      }
    } else {
      EXPECT_EQ(run().ToString(), c.expected);
    }
  }
}

TEST(DecimalTest, RoundsRescalesAndNormalizes) {
  using M = RoundingMode;
  const struct {
    const char* value;
    int decimals;
    RoundingMode mode;
    const char* expected;
  } cases[] = {
      {"2.5", 0, M::kHalfEven, "2"},
      {"3.5", 0, M::kHalfEven, "4"},
      {"-2.5", 0, M::kHalfEven, "-2"},
      {"2.51", 0, M::kHalfEven, "3"},
      {"1.005", 2, M::kHalfEven, "1.00"},
      {"1.015", 2, M::kHalfEven, "1.02"},
      {"2.5", 0, M::kHalfUp, "3"},
      {"-2.5", 0, M::kHalfUp, "-3"},
      {"2.49", 0, M::kHalfUp, "2"},
      {"-2.1", 0, M::kFloor, "-3"},
      {"2.9", 0, M::kFloor, "2"},
      {"-2.0", 0, M::kFloor, "-2"},
      {"-2.9", 0, M::kTruncate, "-2"},
      {"2.9", 0, M::kTruncate, "2"},
      {"1.2", 3, M::kHalfEven, "1.2"},  // fewer digits: unchanged, scale kept
      {"-0.004", 2, M::kHalfEven, "0.00"},
      {"9999999999.9999999999999999999999999999", 0, M::kHalfEven, "10000000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " to " + std::to_string(c.decimals));
    EXPECT_EQ(D(c.value).Round(c.decimals, c.mode).ToString(), c.expected);
  }
  EXPECT_EQ(D("-2.7").Floor().ToString(), "-3");
  EXPECT_THROW(D("1.5").Round(-1), Error);

  EXPECT_EQ(D("1.5").Rescale(3).ToString(), "1.500");
  EXPECT_EQ(D("1.25").Rescale(1).ToString(), "1.2");
  EXPECT_EQ(D("1.35").Rescale(1).ToString(), "1.4");
  EXPECT_THROW(D("1").Rescale(29), Error);
  EXPECT_THROW(D("99999999999999999999999999999999999999").Rescale(1), ArithmeticError);

  EXPECT_EQ(D("1.500").Normalized().ToString(), "1.5");
  EXPECT_EQ(D("100").Normalized().ToString(), "100");
  EXPECT_EQ(D("-0.000").Normalized().ToString(), "0");
}

TEST(DecimalTest, ConvertsDoublesAndIntegers) {
  const struct {
    double value;
    const char* expected;
  } from_double[] = {
      {0.1, "0.1"},
      {1.005, "1.005"},
      {2.5, "2.5"},
      {100.0, "100"},
      {-0.0, "0"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {123456789.123456789, "123456789.123457"},
      {1e20, "100000000000000000000"},
      {-1.5e-10, "-0.00000000015"},
      {1e-30, "0"},
  };
  for (const auto& c : from_double) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(Decimal::FromDouble(c.value).ToString(), c.expected);
  }
  EXPECT_THROW(Decimal::FromDouble(std::nan("")), ArithmeticError);
  EXPECT_THROW(Decimal::FromDouble(std::numeric_limits<double>::infinity()), ArithmeticError);
  EXPECT_THROW(Decimal::FromDouble(1e38), ArithmeticError);

  EXPECT_EQ(D("0.1").ToDouble(), 0.1);
  EXPECT_EQ(D("1.005").ToDouble(), 1.005);
  EXPECT_EQ(D("-12.50").ToDouble(), -12.5);
  EXPECT_EQ(D("0.3333333333333333333333333333").ToDouble(), 1.0 / 3);
  EXPECT_EQ(D("99999999999999999999999999999999999999").ToDouble(), 1e38);

  const struct {
    const char* value;
    std::int64_t expected;
  } to_int[] = {
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"-2.51", -3},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808.4", INT64_MIN},
  };
  for (const auto& c : to_int) EXPECT_EQ(D(c.value).ToInt64(), c.expected) << c.value;
  EXPECT_THROW(D("9223372036854775807.5").ToInt64(), ArithmeticError);
  EXPECT_THROW(D("-9223372036854775809").ToInt64(), ArithmeticError);
}

// ---------------------------------------------------------------------------------------------
// Properties.

RC_GTEST_PROP(DecimalProperty, AddSubtractMultiplyMatchExactArithmetic, ()) {
  Decimal a = *GenDecimal(38, 28);
  Decimal b = *GenDecimal(38, 28);
  Exact ea = FromDecimal(a);
  Exact eb = FromDecimal(b);
  Exact neg_b = eb;
  neg_b.negative = !neg_b.negative;
  RC_ASSERT(Attempt([&] { return a + b; }) == Expected(AddExact(ea, eb)));
  RC_ASSERT(Attempt([&] { return a - b; }) == Expected(AddExact(ea, neg_b)));
  RC_ASSERT(Attempt([&] { return a * b; }) == Expected(MulExact(ea, eb)));
}

RC_GTEST_PROP(DecimalProperty, DivisionMatchesLongDivision, ()) {
  Decimal a = *GenDecimal(38, 28);
  Decimal b = *GenDecimal(38, 28);
  RC_PRE(!b.is_zero());
  RC_ASSERT(Attempt([&] { return a / b; }) == ExpectedQuotient(FromDecimal(a), FromDecimal(b)));
}

RC_GTEST_PROP(DecimalProperty, SmallOperandsAreExactWithTheSumOfScales, ()) {
  Decimal a = *GenDecimal(18, 14);
  Decimal b = *GenDecimal(18, 14);
  Decimal product = a * b;
  RC_ASSERT(product.scale() == a.scale() + b.scale());
  RC_ASSERT(product.mantissa() == a.mantissa() * b.mantissa());
  Decimal sum = a + b;
  RC_ASSERT(sum.scale() == std::max(a.scale(), b.scale()));
  RC_ASSERT((sum - b) == a);
}

RC_GTEST_PROP(DecimalProperty, ComparisonMatchesExactOrder, ()) {
  Decimal a = *GenDecimal(38, 28);
  // Half the time a value equal to a at another scale, to exercise equality.
  Decimal b = *rc::gen::oneOf(GenDecimal(38, 28), rc::gen::just(a.Normalized()));
  int expected = CompareExact(FromDecimal(a), FromDecimal(b));
  auto cmp = a <=> b;
  RC_ASSERT((cmp < 0 ? -1 : (cmp > 0 ? 1 : 0)) == expected);
  RC_ASSERT((a == b) == (expected == 0));
}

// Quotients of operands small enough that the exact rational fits in 128 bits at any scale.
RC_GTEST_PROP(DecimalProperty, DivisionRoundsTheExactQuotientHalfEven, ()) {
  Decimal a = *GenDecimal(6, 4);
  Decimal b = *GenDecimal(6, 4);
  RC_PRE(!b.is_zero());
  Decimal q = a / b;
  // a / b = am * 10^sb / (bm * 10^sa); at the result's scale s: am * 10^(sb+s) / (bm * 10^sa).
  Int128 num = a.mantissa() * Pow10(b.scale() + q.scale());
  Int128 den = b.mantissa() * Pow10(a.scale());
  if (den < 0) {
    num = -num;
    den = -den;
  }
  Int128 t = num / den;
  Int128 rem = num % den;
  Int128 twice = 2 * (rem < 0 ? -rem : rem);
  if (twice > den || (twice == den && t % 2 != 0)) t += rem < 0 ? -1 : 1;
  RC_ASSERT(q.mantissa() == t);
  // Either the quotient is exact at its scale, or it used every digit after the point allowed.
  RC_ASSERT(rem == 0 || q.scale() == Decimal::kMaxScale);
  RC_ASSERT(q.scale() >= std::max(0, a.scale() - b.scale()));
}

RC_GTEST_PROP(DecimalProperty, RoundMatchesExactRounding, ()) {
  Decimal a = *GenDecimal(38, 28);
  int decimals = *rc::gen::inRange(0, 29);
  RoundingMode mode = *rc::gen::element(RoundingMode::kHalfEven, RoundingMode::kHalfUp,
                                        RoundingMode::kFloor, RoundingMode::kTruncate);
  Decimal r = a.Round(decimals, mode);
  if (decimals >= a.scale()) {
    RC_ASSERT(r.mantissa() == a.mantissa() && r.scale() == a.scale());
    return;
  }
  Int128 unit = Pow10(a.scale() - decimals);
  Int128 m = a.mantissa();
  Int128 toward_zero = m / unit;
  Int128 rem = m % unit;
  Int128 floor = rem < 0 ? toward_zero - 1 : toward_zero;
  Int128 away = rem == 0 ? toward_zero : toward_zero + (m < 0 ? -1 : 1);
  Int128 twice = 2 * (rem < 0 ? -rem : rem);
  Int128 expected = 0;
  switch (mode) {
    case RoundingMode::kHalfEven:
      expected = twice > unit || (twice == unit && toward_zero % 2 != 0) ? away : toward_zero;
      break;
    case RoundingMode::kHalfUp:
      expected = twice >= unit ? away : toward_zero;
      break;
    case RoundingMode::kFloor:
      expected = floor;
      break;
    case RoundingMode::kTruncate:
      expected = toward_zero;
      break;
  }
  RC_ASSERT(r.scale() == decimals);
  RC_ASSERT(r.mantissa() == expected);
}

RC_GTEST_PROP(DecimalProperty, ParseOfFormatIsIdentity, ()) {
  Decimal a = *GenDecimal(38, 28);
  Decimal b = Decimal::Parse(a.ToString());
  Decimal c = Decimal::ParseItalian(a.ToItalianString());
  RC_ASSERT(b.mantissa() == a.mantissa() && b.scale() == a.scale());
  RC_ASSERT(c.mantissa() == a.mantissa() && c.scale() == a.scale());
}

RC_GTEST_PROP(DecimalProperty, FifteenDigitsSurviveTheDoubleRoundTrip, ()) {
  Decimal a = *GenDecimal(15, 10);
  RC_ASSERT(Decimal::FromDouble(a.ToDouble()) == a);
}

}  // namespace
}  // namespace zodadovez
