#include <gtest/gtest.h>

#include <cmath>

#include "tamrikcsv/decoder/detail/field_conversion.hpp"

using namespace tamrikcsv;
using namespace tamrikcsv::detail;
using BoolKind = Strategy::BoolDecoding::Kind;

namespace {

const CodingPath kPath{CodingKey(3), CodingKey::view("Count")};

// The description of the decoding error `action` raises, which must be of `kind` and carry the path.
std::string failure(const std::function<void()>& action,
                    DecodingError::Kind kind = DecodingError::Kind::typeMismatch) {
  try {
    action();
  } catch (const DecodingError& error) {
    EXPECT_EQ(error.kind(), kind);
    EXPECT_EQ(error.codingPath(), kPath);
    return error.debugDescription();
  }
  ADD_FAILURE() << "no decoding error";
  return {};
}

}  // namespace

TEST(FieldConversion, Booleans) {
  EXPECT_FALSE(decodeBool("", BoolKind::insensitive, kPath));
  EXPECT_TRUE(decodeBool("yes", BoolKind::insensitive, kPath));
  EXPECT_FALSE(decodeBool("No", BoolKind::insensitive, kPath));
  EXPECT_TRUE(decodeBool("tRuE", BoolKind::insensitive, kPath));
  EXPECT_TRUE(decodeBool("true", BoolKind::deferredToBool, kPath));
  EXPECT_TRUE(decodeBool("1", BoolKind::numeric, kPath));
  EXPECT_EQ(failure([] { decodeBool("yes", BoolKind::deferredToBool, kPath); }),
            "The field 'yes' was not of the expected type 'Bool'.");
  failure([] { decodeBool("NO", BoolKind::numeric, kPath); });
  for (auto kind : {BoolKind::insensitive, BoolKind::deferredToBool, BoolKind::numeric})
    failure([=] { decodeBool(" true", kind, kPath); });
  // Full upper-casing: the dotless ı of "yes" spelled with Turkish letters is no "YES"; "ﬁ"-like ligatures
  // grow, so "nO" written with a fullwidth O is not "NO" either.
  failure([] { decodeBool("n\uFF4F", BoolKind::insensitive, kPath); });
}

TEST(FieldConversion, Integers) {
  EXPECT_EQ(decodeInteger<std::int32_t>("+7", kPath), 7);
  EXPECT_EQ(decodeInteger<std::int8_t>("-128", kPath), -128);
  EXPECT_EQ(decodeInteger<std::uint8_t>("255", kPath), 255);
  EXPECT_EQ(decodeInteger<long>("-9223372036854775808", kPath), std::numeric_limits<long>::min());
  EXPECT_EQ(decodeInteger<unsigned long long>("18446744073709551615", kPath), ~0ULL);
  EXPECT_EQ(decodeInteger<std::uint16_t>("-0", kPath), 0);
  EXPECT_EQ(failure([] { decodeInteger<std::int8_t>("300", kPath); }),
            "The field '300' was not of the expected type 'Int8'.");
  EXPECT_EQ(failure([] { decodeInteger<std::uint32_t>("-1", kPath); }),
            "The field '-1' was not of the expected type 'UInt32'.");
  for (const char* text : {"1.5", "", "+", "- 1", " 1", "1 ", "0x10", "١٢"})
    failure([=] { decodeInteger<long long>(text, kPath); });
  EXPECT_EQ(failure([] { decodeInteger<long long>("x", kPath); }),
            "The field 'x' was not of the expected type 'Int'.");
}

TEST(FieldConversion, LongIntegersDigitByDigit) {
  // Long numbers are read eight digits at a time: every length and every digit value must come out as
  // the plain reading does, and a stray byte anywhere, even one a digit away ('/', ':'), must fail.
  std::string digits;
  for (int length = 1; length <= 18; ++length) {
    digits.push_back(static_cast<char>('0' + (length * 7) % 10));
    EXPECT_EQ(decodeInteger<long long>(digits, kPath), std::stoll(digits)) << digits;
    EXPECT_EQ(decodeInteger<long long>("-" + digits, kPath), -std::stoll(digits)) << digits;
    for (std::size_t at = 0; at < digits.size(); ++at)
      for (char stray : {'/', ':', ' ', '\xB0', 'a'}) {
        std::string text = digits;
        text[at] = stray;
        failure([&] { decodeInteger<long long>(text, kPath); });
      }
  }
  EXPECT_EQ(decodeInteger<std::int64_t>("999999990000000012", kPath), 999999990000000012);
  failure([] { decodeInteger<std::int32_t>("2147483648", kPath); });
}

TEST(FieldConversion, FloatingPointNumbers) {
  const auto throws = Strategy::NonConformingFloat::throws();
  const auto convert = Strategy::NonConformingFloat::convert("inf", "-inf", "nan");
  EXPECT_EQ(decodeDouble("1.5", throws, kPath), 1.5);
  EXPECT_EQ(decodeDouble("+2e3", throws, kPath), 2000);
  EXPECT_EQ(decodeDouble("0x1p4", throws, kPath), 16);
  EXPECT_EQ(decodeDouble("-0x1.8p1", throws, kPath), -3);
  EXPECT_EQ(decodeDouble("1e-400", throws, kPath), 0);
  EXPECT_EQ(decodeFloat("0.1", throws, kPath), 0.1f);
  EXPECT_EQ(failure([&] { decodeDouble("inf", throws, kPath); }),
            "The field 'inf' was not of the expected type 'Double'.");
  EXPECT_EQ(decodeDouble("inf", convert, kPath), INFINITY);
  EXPECT_EQ(decodeDouble("-inf", convert, kPath), -INFINITY);
  EXPECT_TRUE(std::isnan(decodeDouble("nan", convert, kPath)));
  failure([&] { decodeDouble("1e999", throws, kPath); });
  failure([&] { decodeDouble("1e999", convert, kPath); });  // infinite, but not the text "inf"
  EXPECT_EQ(failure([&] { decodeFloat("1e39", throws, kPath); }),
            "The field '1e39' was not of the expected type 'Float'.");
  for (const char* text : {" 1", "\t1", "1 ", "", "+-1", "++1", "1,5", "0x"})
    failure([&] { decodeDouble(text, throws, kPath); });
  failure([&] {
    decodeDouble(std::string_view("\0"
                                  "1",
                                  2),
                 throws, kPath);
  });
}

TEST(FieldConversion, DecimalsDatesBlobsAndURLs) {
  EXPECT_EQ(decodeDecimal("12.50", std::nullopt, kPath).toString(), "12.5");
  EXPECT_EQ(decodeDecimal("12,5", Locale("de_DE"), kPath).toString(), "12.5");
  EXPECT_EQ(failure([] { decodeDecimal("12,5", std::nullopt, kPath); }, DecodingError::Kind::dataCorrupted),
            "The string '12,5' couldn't be transformed into a Decimal using the '.locale' strategy.");
  EXPECT_EQ(failure([] { decodeDecimal("x", Locale("de_DE"), kPath); }, DecodingError::Kind::dataCorrupted),
            "The string 'x' couldn't be transformed into a Decimal using the '.locale' strategy. with locale "
            "'de_DE'");

  const auto floats = Strategy::NonConformingFloat::throws();
  using D = Strategy::DateDecoding;
  EXPECT_EQ(secondsSince1970(decodeDate("1500", D::millisecondsSince1970(), floats, kPath)), 1.5);
  EXPECT_EQ(secondsSince1970(decodeDate("-2", D::secondsSince1970(), floats, kPath)), -2);
  EXPECT_EQ(secondsSince1970(decodeDate("1", D::deferredToDate(), floats, kPath)),
            kReferenceDateSince1970 + 1);
  EXPECT_DOUBLE_EQ(secondsSince1970(decodeDate("2024-01-02T03:04:05.678Z", D::iso8601(), floats, kPath)),
                   1704164645.678);
  EXPECT_EQ(
      failure([&] { decodeDate("2024-01-02T03:04:05Z", D::iso8601(), floats, kPath); },
              DecodingError::Kind::dataCorrupted),
      "The field '2024-01-02T03:04:05Z' couldn't be transformed into a Date using the '.iso8601' strategy.");
  auto german = D::formatted(DateFormatter::make("dd.MM.yyyy", Locale("de_DE"), "GMT"));
  EXPECT_EQ(secondsSince1970(decodeDate("02.01.1970", german, floats, kPath)), 86400);
  EXPECT_EQ(
      failure([&] { decodeDate("1970-01-02", german, floats, kPath); }, DecodingError::Kind::dataCorrupted),
      "The field '1970-01-02' couldn't be transformed into a Date using the '.formatted' strategy.");

  EXPECT_EQ(decodeBase64("aGk=", kPath).size(), 2u);
  EXPECT_EQ(failure([] { decodeBase64("aGk=\n", kPath); }, DecodingError::Kind::dataCorrupted),
            "The field 'aGk=\n' couldn't be transformed into a Base64 data blob.");
  EXPECT_EQ(decodeURL("https://example.com/a?b=c", kPath).string(), "https://example.com/a?b=c");
  EXPECT_EQ(failure([] { decodeURL("not a url", kPath); }),
            "The field 'not a url' was not of the expected type 'URL'.");
}

TEST(CodingKey, OwnsOrViewsItsTextAndPrintsPaths) {
  CodingKey owned(std::string("Place Name"));
  CodingKey copy = owned;
  CodingKey moved = std::move(owned);
  EXPECT_EQ(copy.stringValue(), "Place Name");
  EXPECT_EQ(moved.stringValue(), "Place Name");
  EXPECT_EQ(CodingKey(7).stringValue(), "7");
  EXPECT_EQ(CodingKey(7).intValue(), 7);
  EXPECT_EQ(describe(kPath), "[3, \"Count\"]");
}
