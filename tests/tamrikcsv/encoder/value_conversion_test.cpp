#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "tamrikcsv/encoder/detail/value_conversion.hpp"

using namespace tamrikcsv;
using namespace tamrikcsv::detail;

namespace {

const auto kThrows = Strategy::NonConformingFloat::throws();
const auto kConvert = Strategy::NonConformingFloat::convert("+inf", "-inf", "NaN");

template <class F>
std::string floating(F value, const Strategy::NonConformingFloat& strategy = kThrows) {
  std::string out;
  if constexpr (std::is_same_v<F, float>)
    appendFloat(out, value, strategy);
  else
    appendDouble(out, value, strategy);
  return out;
}

std::string date(Date value, const Strategy::DateEncoding& strategy) {
  std::string out;
  appendDate(out, value, strategy, kThrows);
  return out;
}

}  // namespace

TEST(ValueConversion, IntegersAtTheirLimits) {
  auto text = [](auto value) {
    char buffer[24];
    return std::string(buffer, writeInteger(buffer, value));
  };
  EXPECT_EQ(text(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
  EXPECT_EQ(text(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(text(std::numeric_limits<std::int64_t>::max()), "9223372036854775807");
  EXPECT_EQ(text(std::uint64_t{0}), "0");
  EXPECT_EQ(text(std::uint64_t{9999999999999999999u}), "9999999999999999999");
  EXPECT_EQ(text(std::uint64_t{10000000000000000000u}), "10000000000000000000");
  EXPECT_EQ(text(std::int64_t{0}), "0");
  // On both sides of every change in the count of digits, and around the eight-digit blocks: their leading
  // zeros are kept inside a number and dropped in front.
  std::uint64_t power = 1;
  for (int digits = 1; digits <= 19; ++digits, power *= 10) {
    for (std::uint64_t value : {power - 1, power, power + 7}) {
      EXPECT_EQ(text(value), std::to_string(value));
      const auto negative = -static_cast<std::int64_t>(value);
      EXPECT_EQ(text(negative), std::to_string(negative));
    }
  }
}

TEST(ValueConversion, FloatsInTheirShortestForm) {
  EXPECT_EQ(floating(1.0), "1.0");
  EXPECT_EQ(floating(0.1), "0.1");
  EXPECT_EQ(floating(1e-05), "1e-05");
  EXPECT_EQ(floating(-0.0), "-0.0");
  EXPECT_EQ(floating(100000.0), "100000.0");
  EXPECT_EQ(floating(1e16), "1e+16");
  EXPECT_EQ(floating(0.1f), "0.1");  // the float's own shortest form, not the double it widens to
  EXPECT_EQ(floating(0.0001), "0.0001");
  EXPECT_EQ(floating(123456.75), "123456.75");
  EXPECT_EQ(floating(4503599627370496.0), "4503599627370496.0");
  EXPECT_EQ(floating(9007199254740992.0), "9.007199254740992e+15");
  EXPECT_EQ(floating(16777215.0f), "16777215.0");
  EXPECT_EQ(floating(16777216.0f), "1.6777216e+07");
  // Each reads back to the very same value, at the ends of the range too.
  for (double value : {std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min(),
                       std::numeric_limits<double>::lowest(), 1.0 / 3.0}) {
    std::string text = floating(value);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
  std::string text = floating(std::numeric_limits<float>::denorm_min());
  EXPECT_EQ(std::strtof(text.c_str(), nullptr), std::numeric_limits<float>::denorm_min()) << text;
}

TEST(ValueConversion, DoublesWithManyDigitsKeepAllTheyNeed) {
  EXPECT_EQ(floating(-960309.441575931), "-960309.441575931");
  EXPECT_EQ(floating(352383.06191018387), "352383.06191018387");
  EXPECT_EQ(floating(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(floating(std::nextafter(1.0, 0.0)), "0.9999999999999999");
  EXPECT_EQ(floating(std::nextafter(1.0, 2.0)), "1.0000000000000002");
  EXPECT_EQ(floating(0.000123), "0.000123");
  EXPECT_EQ(floating(1e15), "1000000000000000.0");
  EXPECT_EQ(floating(9007199254740991.0), "9007199254740991.0");
  EXPECT_EQ(floating(4503599627370495.5), "4503599627370495.5");
  EXPECT_EQ(floating(-2.5), "-2.5");
  // Below a power of two the gap to the next double down is half as wide.
  EXPECT_EQ(floating(std::nextafter(1024.0, 0.0)), "1023.9999999999999");
  EXPECT_EQ(floating(std::nextafter(1024.0, 2048.0)), "1024.0000000000002");
}

TEST(ValueConversion, PlainDoublesMatchTheGeneralConversion) {
  // The quick path for plain doubles against the library's own general conversion: the same shortest
  // digits, in fixed notation, for random values of every magnitude in the plain range and its edges.
  auto general = [](double value) {
    char buffer[64];
    const std::string text(
        buffer, std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr);
    return text.find('.') == std::string::npos ? text + ".0" : text;
  };
  std::mt19937_64 random(11);
  for (int i = 0; i < 200000; ++i) {
    // A random mantissa at a random power of two from 2^-14 up to 2^53, or a short decimal.
    const double value = i % 4 == 3 ? static_cast<double>(random() % 2000000) / 1000.0 + 0.001
                                    : std::ldexp(1.0 + static_cast<double>(random() >> 12) * 0x1p-52,
                                                 static_cast<int>(random() % 67) - 14) *
                                          (random() % 2 ? -1.0 : 1.0);
    const double magnitude = std::fabs(value);
    if (magnitude < 1e-4 || magnitude >= 9007199254740992.0) continue;
    ASSERT_EQ(floating(value), general(value)) << std::hexfloat << value;
  }
}

TEST(ValueConversion, NonConformingFloats) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(floating(inf, kConvert), "+inf");
  EXPECT_EQ(floating(-inf, kConvert), "-inf");
  EXPECT_EQ(floating(std::numeric_limits<float>::quiet_NaN(), kConvert), "NaN");
  try {
    floating(inf);
    FAIL() << "no encoding error";
  } catch (const EncodingError& error) {
    EXPECT_EQ(error.kind(), EncodingError::Kind::invalidValue);
    EXPECT_EQ(error.debugDescription(), "The value is a non-conformant floating-point.");
    EXPECT_EQ(std::any_cast<double>(error.value()), inf);
  }
  EXPECT_THROW(floating(-std::numeric_limits<float>::infinity()), EncodingError);
}

TEST(ValueConversion, DatesUnderEachStrategy) {
  const Date date15 = dateSince1970(1.5);
  EXPECT_EQ(date(date15, Strategy::DateEncoding::millisecondsSince1970()), "1500.0");
  EXPECT_EQ(date(date15, Strategy::DateEncoding::secondsSince1970()), "1.5");
  EXPECT_EQ(date(date15, Strategy::DateEncoding::iso8601()), "1970-01-01T00:00:01.500Z");
  EXPECT_EQ(date(dateSince1970(kReferenceDateSince1970 + 0.25), Strategy::DateEncoding::deferredToDate()),
            "0.25");
  auto formatter = DateFormatter::make("dd.MM.yyyy", Locale("de_DE"), "GMT");
  EXPECT_EQ(date(dateSince1970(86400.0 * 366), Strategy::DateEncoding::formatted(formatter)), "02.01.1971");
  // A date no calendar holds, and a formatted strategy without a formatter, are refused, not garbled.
  EXPECT_THROW(
      date(dateSince1970(std::numeric_limits<double>::quiet_NaN()), Strategy::DateEncoding::iso8601()),
      EncodingError);
  EXPECT_THROW(date(date15, Strategy::DateEncoding::formatted(nullptr)), EncodingError);
}
