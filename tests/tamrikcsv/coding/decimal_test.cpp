#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "tamrikcsv/coding/values.hpp"

using namespace tamrikcsv;

namespace {

std::string reprint(std::string_view text, char32_t separator = U'.') {
  auto decimal = Decimal::parse(text, separator);
  return decimal ? decimal->toString(separator) : "<none>";
}

}  // namespace

TEST(Decimal, ParsesAndPrintsPlainNotation) {
  const std::pair<const char*, const char*> cases[] = {
      {"0", "0"},       {"-0", "0"},           {"+0.000e5", "0"},        {"007", "7"},
      {"1.50", "1.5"},  {"-12.5", "-12.5"},    {".05", "0.05"},          {"3.", "3"},
      {"1200", "1200"}, {"1.2e3", "1200"},     {"12E-4", "0.0012"},      {"-1.5e+1", "-15"},
      {"120e-1", "12"}, {"0.00120", "0.0012"}, {"123.456e1", "1234.56"}, {"5e-1", "0.5"}};
  for (auto [text, printed] : cases) EXPECT_EQ(reprint(text), printed) << text;
  EXPECT_FALSE(Decimal::parse("-0")->isNegative());
  EXPECT_TRUE(Decimal::parse("-0.01")->isNegative());
}

TEST(Decimal, RefusesAnythingButOneWholeNumber) {
  for (const char* text :
       {"",    "+",   "-",  ".",  "+.",  ".e1",  "e1",    "1e",  "1e+", "1e-x",  "1.2.3", "1..2",
        "--1", "+-1", " 1", "1 ", "1,5", "0x10", "1_000", "inf", "nan", "1e5e5", "١"}) {
    EXPECT_FALSE(Decimal::parse(text)) << text;
  }
}

TEST(Decimal, UsesAnyScalarAsSeparator) {
  EXPECT_EQ(reprint("-12,50", U','), "-12,5");
  EXPECT_FALSE(Decimal::parse("12.5", U','));
  EXPECT_EQ(Decimal::parse("1234,5e-2", U','), Decimal::parse("12.345"));
  EXPECT_EQ(reprint("3\u066B25", U'\u066B'), "3\u066B25");  // Arabic decimal separator, two UTF-8 bytes
  EXPECT_FALSE(Decimal::parse("3\xD9", U'\u066B'));         // its first byte alone
  EXPECT_EQ(Decimal::parse("0.5")->toString(U'\U0001F600'), "0\U0001F6005");
}

TEST(Decimal, KeepsAtMost38SignificantDigits) {
  const std::string nines(38, '9');
  EXPECT_EQ(reprint(nines), nines);
  EXPECT_EQ(reprint("-0.000" + nines + "000"), "-0.000" + nines);
  EXPECT_FALSE(Decimal::parse(nines + "9"));
  EXPECT_FALSE(Decimal::parse("1" + std::string(37, '0') + ".1"));
  // Zeros at either end are not significant, however many there are.
  EXPECT_EQ(reprint(std::string(100, '0') + "1" + std::string(60, '0')), "1" + std::string(60, '0'));
  EXPECT_EQ(reprint("0." + std::string(200, '0') + "1e201"), "1");
}

TEST(Decimal, RefusesAbsurdExponents) {
  EXPECT_EQ(reprint("1e1000").size(), 1001u);
  EXPECT_EQ(reprint("1e-1000").size(), 1002u);
  EXPECT_FALSE(Decimal::parse("1e1001"));
  EXPECT_FALSE(Decimal::parse("1e-1001"));
  EXPECT_FALSE(Decimal::parse("1e2147483648"));
  EXPECT_FALSE(Decimal::parse("1e-99999999999999999999999999"));
  EXPECT_TRUE(Decimal::parse("0e99999999999999999999999999")->isZero());
  // The bound is on the value, not on the exponent as written.
  EXPECT_EQ(reprint("10e1000"), "<none>");
  EXPECT_EQ(reprint("1000e-1003"), reprint("1e-1000"));
  EXPECT_EQ(reprint("0.01e1002"), reprint("1e1000"));
}

TEST(Decimal, FromIntegerIsExact) {
  EXPECT_TRUE(Decimal::fromInteger(0).isZero());
  EXPECT_EQ(Decimal::fromInteger(1200), Decimal::parse("1.2e3"));
  EXPECT_EQ(Decimal::fromInteger(-7).toString(), "-7");
  EXPECT_EQ(Decimal::fromInteger(INT64_MIN).toString(), "-9223372036854775808");
  EXPECT_EQ(Decimal::fromInteger(INT64_MAX).toString(), "9223372036854775807");
}

TEST(Decimal, OrdersNumerically) {
  std::vector<Decimal> ascending;
  for (const char* text : {"-1e3", "-999.99", "-12.5", "-1", "-0.001", "0", "1e-1000", "0.001", "0.0011",
                           "0.01", "1", "1.5", "1.51", "2", "999", "1e3", "1000.0001"}) {
    ascending.push_back(*Decimal::parse(text));
  }
  for (std::size_t i = 0; i < ascending.size(); ++i) {
    for (std::size_t j = 0; j < ascending.size(); ++j) {
      EXPECT_EQ(ascending[i] <=> ascending[j], i <=> j)
          << ascending[i].toString() << " " << ascending[j].toString();
    }
  }
  EXPECT_EQ(*Decimal::parse("1.50"), *Decimal::parse("15e-1"));
  EXPECT_EQ(*Decimal::parse("-0") <=> Decimal(), std::strong_ordering::equal);
}

TEST(Decimal, ConvertsToNearestDouble) {
  EXPECT_EQ(Decimal::parse("0.1")->toDouble(), 0.1);
  EXPECT_EQ(Decimal::parse("-12.5")->toDouble(), -12.5);
  EXPECT_EQ(Decimal::parse("9007199254740993")->toDouble(), 9007199254740992.0);  // halfway: to even
  EXPECT_EQ(Decimal::parse("9007199254740993.000001")->toDouble(), 9007199254740994.0);
  EXPECT_EQ(Decimal::parse("1.7976931348623157e308")->toDouble(), std::numeric_limits<double>::max());
  EXPECT_EQ(Decimal::parse("4.9e-324")->toDouble(), std::numeric_limits<double>::denorm_min());
  EXPECT_EQ(Decimal::parse("-1e400")->toDouble(), -std::numeric_limits<double>::infinity());
  const double tiny = Decimal::parse("-1e-400")->toDouble();
  EXPECT_EQ(tiny, 0.0);
  EXPECT_TRUE(std::signbit(tiny));
}

TEST(Locale, ReportsIcuNameAndDecimalSeparator) {
  EXPECT_EQ(Locale("de_DE").description(), "de_DE");
  EXPECT_EQ(Locale("de-DE").description(), "de_DE");
  EXPECT_EQ(Locale("en_us").description(), "en_US");
  EXPECT_EQ(Locale("de_DE").decimalSeparator(), U',');
  EXPECT_EQ(Locale("de_CH").decimalSeparator(), U'.');
  EXPECT_EQ(Locale("en_US_POSIX").decimalSeparator(), U'.');
  EXPECT_EQ(Locale("en_US@numbers=arab").decimalSeparator(), U'\u066B');
  EXPECT_EQ(Locale("xx_YY").decimalSeparator(), U'.');  // unknown: ICU's root data
  EXPECT_EQ(Decimal::parse("1234,5", Locale("de_DE").decimalSeparator())->toDouble(), 1234.5);
}
