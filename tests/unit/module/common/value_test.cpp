// Value: conversions under the Italian conventions and the date helpers, from tables of good and
// bad inputs.
#include "module/common/value.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "module/common/errors.h"

namespace zodadovez {
namespace {

DateTime Date(int y, unsigned m, unsigned d, int hh = 0, int mm = 0, int ss = 0) {
  return MakeDateTime(y, m, d, hh, mm, ss);
}

TEST(ValueTest, ToTextUsesItalianConventions) {
  const struct {
    Value value;
    const char* expected;
  } cases[] = {
      {Value(), ""},
      {Value(12), "12"},
      {Value(-7LL), "-7"},
      {Value(Decimal::Parse("12.50")), "12,5"},
      {Value(Decimal::Parse("-0.50")), "-0,5"},
      {Value(Decimal::Parse("100.00")), "100"},
      {Value(12.5), "12,5"},
      {Value(0.1), "0,1"},
      {Value(0.0), "0"},
      {Value(1.0 / 3), "0,333333333333333"},
      {Value(123456789012345.0), "123456789012345"},
      {Value(1e15), "1E+15"},
      {Value(1.5e20), "1,5E+20"},
      {Value(0.00001), "0,00001"},
      {Value(1e-6), "1E-06"},
      {Value(-2.5e-7), "-2,5E-07"},
      {Value(true), "Vero"},
      {Value(false), "Falso"},
      {Value(Date(2001, 1, 1)), "01/01/2001"},
      {Value(Date(2024, 3, 5, 14, 30, 5)), "05/03/2024 14:30:05"},
      {Value("  abc "), "  abc "},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.ToText(), c.expected) << c.value.Describe();
  try {
    Value(Null()).ToText();
    ADD_FAILURE() << "Null converted to text";
  } catch (const NullValueError& e) {
    EXPECT_EQ(e.number(), 94);
  }
}

TEST(ValueTest, ToDecimalParsesItalianText) {
  const struct {
    Value value;
    const char* expected;  // invariant form with the scale that must come out
  } cases[] = {
      {Value("12,50"), "12.50"},
      {Value("1.234,5"), "1234.5"},
      {Value(" 7 "), "7"},
      {Value("-0,001"), "-0.001"},
      {Value(5), "5"},
      {Value(0.1), "0.1"},
      {Value(1.005), "1.005"},
      {Value(true), "-1"},
      {Value(false), "0"},
      {Value(), "0"},
      {Value(Decimal::Parse("3.10")), "3.10"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value.ToDecimal().ToString(), c.expected) << c.value.Describe();
  }
  EXPECT_EQ(Value("12,5").ToDouble(), 12.5);
  EXPECT_EQ(Value(0.1).ToDouble(), 0.1);

  const Value bad[] = {Value("abc"), Value(""), Value("  "), Value("12,5,1"),
                       Value(Date(2024, 1, 1))};
  for (const Value& v : bad) {
    try {
      v.ToDecimal();
      ADD_FAILURE() << v.Describe() << " converted";
    } catch (const ConversionError& e) {
      EXPECT_EQ(e.number(), ConversionError::kNumber);
      EXPECT_NE(std::string(e.what()).find(v.Describe()), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(Value(Null()).ToDecimal(), NullValueError);
}

TEST(ValueTest, ToIntegerAndToBool) {
  const struct {
    Value value;
    std::int64_t expected;
  } integers[] = {
      {Value(2.5), 2},     {Value(3.5), 4},     {Value(-2.5), -2},
      {Value("12,5"), 12}, {Value("13,5"), 14}, {Value(Decimal::Parse("-0.6")), -1},
      {Value(true), -1},   {Value(), 0},        {Value(42), 42},
  };
  for (const auto& c : integers) EXPECT_EQ(c.value.ToInteger(), c.expected) << c.value.Describe();
  EXPECT_THROW(Value(1e19).ToInteger(), ArithmeticError);
  EXPECT_THROW(Value(std::nan("")).ToInteger(), ArithmeticError);
  EXPECT_THROW(Value("x").ToInteger(), ConversionError);

  const struct {
    Value value;
    bool expected;
  } bools[] = {
      {Value("Vero"), true},   {Value("FALSE"), false}, {Value(" true "), true},
      {Value("falso"), false}, {Value("0"), false},     {Value("1,5"), true},
      {Value(0), false},       {Value(-1), true},       {Value(Decimal::Parse("0.00")), false},
      {Value(0.5), true},      {Value(), false},
  };
  for (const auto& c : bools) EXPECT_EQ(c.value.ToBool(), c.expected) << c.value.Describe();
  EXPECT_THROW(Value("forse").ToBool(), ConversionError);
  EXPECT_THROW(Value(Null()).ToBool(), NullValueError);
}

TEST(ValueTest, DatesParseAndFormat) {
  const struct {
    const char* text;
    bool ok;
    DateTime expected;
  } italian[] = {
      {"05/03/2024", true, Date(2024, 3, 5)},
      {"5/3/2024", true, Date(2024, 3, 5)},
      {" 29/02/2024 ", true, Date(2024, 2, 29)},
      {"5/3/2024 14:30", true, Date(2024, 3, 5, 14, 30)},
      {"05/03/2024 09:05:07", true, Date(2024, 3, 5, 9, 5, 7)},
      {"31/02/2024", false, {}},
      {"29/02/2023", false, {}},
      {"05/03/24", false, {}},
      {"05-03-2024", false, {}},
      {"05/03/2024 24:00", false, {}},
      {"05/03/2024 12:60", false, {}},
      {"05/03/2024x", false, {}},
      {"", false, {}},
  };
  for (const auto& c : italian) {
    SCOPED_TRACE(c.text);
    DateTime d;
    ASSERT_EQ(TryParseItalianDate(c.text, &d), c.ok);
    if (c.ok) {
      EXPECT_EQ(d, c.expected);
    }
  }
  const struct {
    const char* text;
    bool ok;
    DateTime expected;
  } iso[] = {
      {"2024-03-05 14:30:05", true, Date(2024, 3, 5, 14, 30, 5)},
      {"2024-03-05", true, Date(2024, 3, 5)},
      {"20240305", true, Date(2024, 3, 5)},
      {"20240305 14:30:05", true, Date(2024, 3, 5, 14, 30, 5)},
      {"2024-03-05T14:30", true, Date(2024, 3, 5, 14, 30)},
      {"2024-03-05 14:30:05.123", true, Date(2024, 3, 5, 14, 30, 5)},
      {"2024-02-30", false, {}},
      {"2024-3-5", false, {}},
      {"2024030", false, {}},
      {"05/03/2024", false, {}},
  };
  for (const auto& c : iso) {
    SCOPED_TRACE(c.text);
    DateTime d;
    ASSERT_EQ(TryParseIsoDate(c.text, &d), c.ok);
    if (c.ok) {
      EXPECT_EQ(d, c.expected);
    }
  }
  EXPECT_EQ(FormatIsoDate(Date(2024, 3, 5, 9, 5, 7)), "2024-03-05 09:05:07");
  EXPECT_EQ(FormatIsoDate(Date(1899, 12, 30)), "1899-12-30 00:00:00");
  EXPECT_EQ(FormatItalianDate(Date(1899, 12, 30)), "30/12/1899");
  EXPECT_THROW(Date(2023, 2, 29), ConversionError);
  EXPECT_THROW(Date(2024, 1, 1, 24), ConversionError);

  EXPECT_EQ(Value("05/03/2024").ToDate(), Date(2024, 3, 5));
  EXPECT_EQ(Value("2024-03-05 10:00:00").ToDate(), Date(2024, 3, 5, 10));
  EXPECT_THROW(Value("abc").ToDate(), ConversionError);
  EXPECT_THROW(Value(5).ToDate(), ConversionError);
}

TEST(ValueTest, KindsEqualityAndAccess) {
  EXPECT_EQ(Value(Decimal::Parse("1.0")), Value(Decimal::Parse("1.00")));
  EXPECT_NE(Value(1), Value(Decimal(1)));
  EXPECT_NE(Value(), Value(Null()));
  EXPECT_EQ(Value("a"), Value(std::string("a")));
  EXPECT_TRUE(Value(1.5).is_number());
  EXPECT_FALSE(Value(true).is_number());
  EXPECT_EQ(Value(Null()).kind(), ValueKind::kNull);

  EXPECT_EQ(Value(3).as_integer(), 3);
  EXPECT_THROW(Value(3).as_text(), ConversionError);
  EXPECT_THROW(Value("3").as_integer(), ConversionError);
  EXPECT_THROW(Value(Null()).as_decimal(), NullValueError);

  EXPECT_EQ(Value("abc").Describe(), "\"abc\"");
  EXPECT_EQ(Value(Null()).Describe(), "<Null>");
  EXPECT_EQ(Value().Describe(), "<Empty>");
  EXPECT_EQ(Value(Decimal::Parse("2.50")).Describe(), "2,5");
}

RC_GTEST_PROP(ValueProperty, DatesSurviveTheirTextForms, ()) {
  int y = *rc::gen::inRange(1753, 10000);
  unsigned m = static_cast<unsigned>(*rc::gen::inRange(1, 13));
  unsigned last = static_cast<unsigned>(
      std::chrono::year_month_day_last(std::chrono::year{y},
                                       std::chrono::month_day_last{std::chrono::month{m}})
          .day());
  unsigned d = static_cast<unsigned>(*rc::gen::inRange(1, static_cast<int>(last) + 1));
  int seconds = *rc::gen::inRange(0, 86400);
  DateTime value = MakeDateTime(y, m, d) + std::chrono::seconds(seconds);
  DateTime back;
  RC_ASSERT(TryParseItalianDate(FormatItalianDate(value), &back));
  RC_ASSERT(back == value);
  RC_ASSERT(TryParseIsoDate(FormatIsoDate(value), &back));
  RC_ASSERT(back == value);
}

}  // namespace
}  // namespace zodadovez
