// MDLZEV_ZODADOVEZ value helpers and SQL quoting: tables of cases and properties.
#include "module/common/mdlzev_zodadovez.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "module/common/errors.h"
#include "module/common/sql_text.h"
#include "module/common/host_services.h"

namespace zodadovez {
namespace {

__extension__ typedef __int128 I128;

TEST(NzDecTest, BlankValuesGiveZeroOthersTheirDecimal) {
  const struct {
    Value value;
    Value expected;
  } cases[] = {
      {Value(Null()), Value(0)},
      {Value(), Value(0)},
      {Value(""), Value(0)},
      {Value("12,50"), Value(Decimal::Parse("12.50"))},
      {Value("1.234,5"), Value(Decimal::Parse("1234.5"))},
      {Value(3), Value(Decimal(3))},
      {Value(0.1), Value(Decimal::Parse("0.1"))},
      {Value(true), Value(Decimal(-1))},
  };
  for (const auto& c : cases) {
    Value got = NzDec(c.value);
    EXPECT_EQ(got, c.expected) << c.value.Describe() << " gave " << got.Describe();
  }
  EXPECT_EQ(NzDec(Value("12,50")).as_decimal().scale(), 2);

  for (const Value& bad : {Value("abc"), Value(" ")}) {
    try {
      NzDec(bad);
      ADD_FAILURE() << bad.Describe() << " converted";
    } catch (const ConversionError& e) {
      EXPECT_NE(std::string(e.what()).find(bad.Describe()), std::string::npos) << e.what();
    }
  }
}

TEST(NzTest, BlankValuesGiveTheDefaultOthersThemselves) {
  const struct {
    Value value;
    Value fallback;
    Value expected;
  } cases[] = {
      {Value("   "), Value("X"), Value("X")},
      {Value(" a "), Value("X"), Value(" a ")},
      {Value(Null()), Value(0), Value(0)},
      {Value(), Value("d"), Value("d")},
      {Value(""), Value(Null()), Value(Null())},
      {Value(0), Value("X"), Value(0)},
      {Value(Decimal::Parse("12.50")), Value(0), Value(Decimal::Parse("12.50"))},
      {Value(false), Value("X"), Value(false)},
  };
  for (const auto& c : cases) {
    Value got = Nz(c.value, c.fallback);
    EXPECT_EQ(got, c.expected) << c.value.Describe() << " gave " << got.Describe();
  }
  EXPECT_EQ(Nz(Value(Null())), Value(""));
  EXPECT_EQ(Nz(Value("12,50")).kind(), ValueKind::kText);  // unchanged, not converted
}

TEST(RTrimNzTest, RightTrimsTextAndBlanksGiveEmpty) {
  const struct {
    Value value;
    const char* expected;
  } cases[] = {
      {Value("  ab  "), "  ab"}, {Value(Null()), ""},   {Value(), ""},
      {Value("   "), ""},        {Value(12), "12"},     {Value(Decimal::Parse("12.50")), "12,5"},
      {Value("a\t "), "a\t"},    {Value(true), "Vero"},
  };
  for (const auto& c : cases) EXPECT_EQ(RTrimNz(c.value), c.expected) << c.value.Describe();
}

TEST(PadLeftTest, PadsWithZerosAndKeepsTheRightmostCharacters) {
  const struct {
    Value value;
    int width;
    const char* expected;
  } cases[] = {
      {Value("123"), 6, "000123"}, {Value("1234567"), 6, "234567"}, {Value(""), 3, "000"},
      {Value(Null()), 3, "000"},   {Value("12  "), 4, "0012"},      {Value(" 1"), 3, "0 1"},
      {Value(42), 5, "00042"},     {Value("abc"), 0, ""},           {Value("àb"), 3, "0àb"},
      {Value("èàb"), 2, "àb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PadLeft(c.value, c.width), c.expected) << c.value.Describe() << " " << c.width;
  }
  EXPECT_THROW(PadLeft(Value("1"), -1), Error);
}

TEST(RoundDecTest, AddsJustUnderAHalfAndFloors) {
  const struct {
    double value;
    int decimals;
    double expected;
  } cases[] = {
      {1.005, 2, 1.0},  // 100.5 + 0.499999 floors to 100
      {1.0051, 2, 1.01},       {-0.004, 2, 0.0},    {-0.006, 2, -0.01},
      {2.5, 0, 2.0},  // exactly halfway rounds down
      {2.500001, 0, 3.0},      {-1.5, 0, -2.0},     {-1.4, 0, -1.0},
      {0.5, 0, 0.0},           {123.456, 1, 123.5}, {12.345, 2, 12.34},
      {1234.5678, -2, 1200.0}, {0.0, 3, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RoundDec(c.value, c.decimals), c.expected) << c.value << " to " << c.decimals;
  }
  EXPECT_THROW(RoundDec(std::nan(""), 2), ArithmeticError);
  EXPECT_THROW(RoundDec(1e30, 10), ArithmeticError);
}

// Values of few digits, m / 10^k: the reference floors (m * 10^(d+6) + 499999 * 10^k) / 10^(k+6)
// in 128-bit integers and divides by 10^d as a double.
RC_GTEST_PROP(RoundDecProperty, MatchesExactDecimalReference, ()) {
  std::int64_t m = *rc::gen::inRange<std::int64_t>(-999999999, 1000000000);
  int k = *rc::gen::inRange(0, 7);
  int d = *rc::gen::inRange(0, 7);
  double value = std::stod(std::to_string(m) + "e-" + std::to_string(k));
  auto pow10 = [](int n) {
    I128 p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
  };
  I128 num = static_cast<I128>(m) * pow10(d + 6) + 499999 * pow10(k);
  I128 den = pow10(k + 6);
  I128 floor = num / den;
  if (num % den != 0 && num < 0) --floor;
  double expected = static_cast<double>(floor) / std::pow(10.0, d);
  RC_ASSERT(RoundDec(value, d) == expected);
}

RC_GTEST_PROP(PadLeftProperty, HasTheWidthAndEndsWithTheTrimmedText, ()) {
  std::string text = *rc::gen::container<std::string>(rc::gen::element('0', '7', 'a', 'Z', ' '));
  int width = *rc::gen::inRange(0, 30);
  std::string padded = PadLeft(Value(text), width);
  std::string trimmed = RTrimNz(Value(text));
  RC_ASSERT(padded.size() == static_cast<std::size_t>(width));
  if (trimmed.size() <= padded.size()) {
    std::size_t zeros = padded.size() - trimmed.size();
    RC_ASSERT(padded.substr(zeros) == trimmed);
    RC_ASSERT(padded.substr(0, zeros) == std::string(zeros, '0'));
  } else {
    RC_ASSERT(trimmed.substr(trimmed.size() - padded.size()) == padded);
  }
}

class FakeConverter : public DateConverter {
 public:
  Result Convert(const Value& value) const override {
    calls.push_back(value);
    if (fail_with_error)
      throw ConversionError("conversion: " + value.Describe() + " is not a date");
    return result;
  }
  Result result;
  bool fail_with_error = false;
  mutable std::vector<Value> calls;
};

class FakeMessages : public MessageService {
 public:
  int Show(const std::string& text, int style, const std::string& title) override {
    shown.push_back({text, style, title});
    return kAnswerOk;
  }
  struct Shown {
    std::string text;
    int style;
    std::string title;
  };
  std::vector<Shown> shown;
};

TEST(DateDBTest, ConvertsThroughTheHostConverter) {
  FakeConverter converter;
  FakeMessages messages;
  converter.result = {0, "20240305"};

  for (const Value& blank : {Value(""), Value("   "), Value(Null()), Value()}) {
    EXPECT_EQ(DateDB(blank, converter, &messages), "") << blank.Describe();
  }
  EXPECT_TRUE(converter.calls.empty());

  Value date(MakeDateTime(2024, 3, 5));
  EXPECT_EQ(DateDB(date, converter, &messages), "20240305");
  ASSERT_EQ(converter.calls.size(), 1u);
  EXPECT_EQ(converter.calls[0], date);

  converter.result = {1, "03/05/24"};
  EXPECT_EQ(DateDB(Value("xx/yy"), converter, &messages), "");
  EXPECT_TRUE(messages.shown.empty());

  converter.fail_with_error = true;
  EXPECT_EQ(DateDB(Value("abc"), converter, &messages), "");
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "Errore nella funzione DateDB\n13\nconversion: \"abc\" is not a date");
  EXPECT_EQ(messages.shown[0].style, kMsgCritical);
  EXPECT_EQ(messages.shown[0].title, "Informazione");
  EXPECT_EQ(DateDB(Value("abc"), converter, nullptr), "");  // unattended: nothing shown
}

TEST(SqlTextTest, DoublesApostrophes) {
  const struct {
    const char* text;
    const char* quoted;
    const char* escaped;
  } cases[] = {
      {"O'Neil", "'O''Neil'", "O''Neil"},
      {"", "''", ""},
      {"''", "''''''", "''''"},
      {"Sant'Angelo d'Alife", "'Sant''Angelo d''Alife'", "Sant''Angelo d''Alife"},
      {"plain", "'plain'", "plain"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SqlQuote(c.text), c.quoted);
    EXPECT_EQ(SqlEscape(c.text), c.escaped);
  }
}

}  // namespace
}  // namespace zodadovez
