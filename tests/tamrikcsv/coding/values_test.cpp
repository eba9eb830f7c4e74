#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <thread>
#include <vector>

#include "tamrikcsv/coding/values.hpp"

namespace tamrikcsv {
namespace {

// 2024-01-02T03:04:05.678Z
const Date kSample = dateSince1970(1704164645.678);

TEST(Iso8601Formatter, ParsesOnlyMillisecondsWithZone) {
  const DateFormatter& iso = iso8601Formatter();
  EXPECT_EQ(iso.parse("2024-01-02T03:04:05.678Z"), kSample);
  EXPECT_EQ(iso.parse("2024-01-02T04:04:05.678+01:00"), kSample);
  EXPECT_EQ(iso.parse("2024-01-01T22:34:05.678-04:30"), kSample);
  for (const char* text : {"2024-01-02T03:04:05Z", "2024-01-02T03:04:05.678", "2024-01-02 03:04:05.678Z",
                           "2024-02-30T03:04:05.678Z", "2024-01-02T03:04:05.678Zx", "", "2024"}) {
    EXPECT_EQ(iso.parse(text), std::nullopt) << text;
  }
}

TEST(Iso8601Formatter, FormatsUtcWithThreeFractionDigitsAndRoundTrips) {
  const DateFormatter& iso = iso8601Formatter();
  EXPECT_EQ(iso.format(kSample), "2024-01-02T03:04:05.678Z");
  EXPECT_EQ(iso.format(dateSince1970(1.5)), "1970-01-01T00:00:01.500Z");
  EXPECT_EQ(iso.format(dateSince1970(-0.001)), "1969-12-31T23:59:59.999Z");
  EXPECT_EQ(iso.format(dateSince1970(1.005)), "1970-01-01T00:00:01.005Z");  // 1004.9999… ms as a double
  EXPECT_EQ(&iso, &iso8601Formatter());
  // Every millisecond value survives the trip through seconds as a double.
  for (int millis = 0; millis < 1000; ++millis) {
    const std::string text = "2024-01-02T03:04:05." + std::to_string(1000 + millis).substr(1) + "Z";
    const auto date = iso.parse(text);
    ASSERT_TRUE(date) << text;
    EXPECT_EQ(iso.format(*date), text);
  }
}

TEST(Iso8601Formatter, ServesSeveralThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (std::size_t t = 0; t < failures.size(); ++t) {
    threads.emplace_back([&failures, t] {
      for (int i = 0; i < 300; ++i) {
        const Date date = dateSince1970(1704164645.678 + static_cast<double>(t * 1000 + i) * 3600.001);
        const auto back = iso8601Formatter().parse(iso8601Formatter().format(date));
        if (!back || std::abs(secondsSince1970(*back) - secondsSince1970(date)) > 1e-4) ++failures[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
}

TEST(DateFormatter, AppliesLocaleZoneAndCalendar) {
  const auto german = DateFormatter::make("dd.MM.yyyy", Locale("de_DE"), "Europe/Berlin");
  EXPECT_EQ(german->pattern(), "dd.MM.yyyy");
  EXPECT_EQ(german->parse("02.01.2024"), dateSince1970(1704150000));  // 2024-01-01T23:00:00Z
  EXPECT_EQ(german->format(dateSince1970(1704150000)), "02.01.2024");
  EXPECT_EQ(german->parse("30.02.2024"), std::nullopt);  // strict: no rolling over into March
  EXPECT_EQ(german->parse("02.01.2024 "), std::nullopt);

  const auto months = DateFormatter::make("d. MMMM yyyy", Locale("de_DE"), "GMT+02:00");
  EXPECT_EQ(months->format(kSample), "2. Januar 2024");
  EXPECT_EQ(months->parse("1. März 2024"), dateSince1970(1709244000));  // 2024-02-29T22:00:00Z

  const auto buddhist = DateFormatter::make("yyyy-MM-dd", Locale("en_US_POSIX"), "UTC", "buddhist");
  EXPECT_EQ(buddhist->format(kSample), "2567-01-02");
  EXPECT_EQ(buddhist->parse("2567-01-02"), dateSince1970(1704153600));
}

TEST(DateFormatter, RefusesWhatIcuCannotUse) {
  EXPECT_THROW((void)DateFormatter::make("yyyy", Locale("en_US_POSIX"), "Mars/Olympus"),
               std::invalid_argument);
  EXPECT_THROW((void)DateFormatter::make("yyyy", Locale("en_US_POSIX"), "Etc/Unknown"),
               std::invalid_argument);
  EXPECT_THROW((void)DateFormatter::make("yyyy", Locale("en_US_POSIX"), "GMT", "lunar"),
               std::invalid_argument);
  EXPECT_THROW((void)DateFormatter::make("yyyy", Locale("not a locale!")), std::invalid_argument);
  EXPECT_THROW((void)DateFormatter::make("yyyy-JJ"), std::invalid_argument);
  EXPECT_THROW((void)DateFormatter::make("yyyy-'MM"), std::invalid_argument);
  EXPECT_NO_THROW((void)DateFormatter::make("yyyy-'MM'''"));
  EXPECT_THROW((void)iso8601Formatter().format(dateSince1970(std::nan(""))), std::invalid_argument);
  EXPECT_THROW((void)iso8601Formatter().format(dateSince1970(1e300)), std::invalid_argument);
}

TEST(URL, AcceptsAbsoluteAndRelativeReferences) {
  for (const char* text : {"https://example.com/a/b.csv?x=1#top", "file:///a/b.csv", "mailto:x@y", "a/b",
                           "../c%20d.csv", "/", "?q", "http://[::1]:8080/x"}) {
    const auto url = URL::parse(text);
    ASSERT_TRUE(url) << text;
    EXPECT_EQ(url->string(), text);
  }
}

TEST(URL, RefusesTextNoUrlCanHold) {
  using namespace std::string_view_literals;
  for (const auto text : {""sv, "a b"sv, " http://x"sv, "http://x/\n"sv, "a%2"sv, "a%zz"sv, "caf\xC3\xA9"sv,
                          "a\0b"sv, "http://x/<>"sv}) {
    EXPECT_EQ(URL::parse(text), std::nullopt) << text;
  }
}

TEST(URL, PathIsTheHierarchicalPartAsWritten) {
  const std::pair<const char*, const char*> cases[] = {{"file:///a/b.csv", "/a/b.csv"},
                                                       {"https://h/x%20y/z/?q#f", "/x%20y/z/"},
                                                       {"https://h", ""},
                                                       {"https://h/", "/"},
                                                       {"file:/a//b", "/a//b"},
                                                       {"a/b", "a/b"},
                                                       {"../a", "../a"},
                                                       {"/", "/"},
                                                       {"mailto:x@y", "x@y"},
                                                       {"?q", ""}};
  for (const auto& [text, path] : cases) EXPECT_EQ(URL::parse(text)->path(), path) << text;
}

Data bytes(std::string_view text) {
  Data data;
  for (char c : text) data.push_back(static_cast<std::byte>(c));
  return data;
}

TEST(Base64, EncodesWithPaddingAndDecodesBack) {
  const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                       {"f", "Zg=="},
                                                       {"fo", "Zm8="},
                                                       {"foo", "Zm9v"},
                                                       {"foob", "Zm9vYg=="},
                                                       {"fooba", "Zm9vYmE="},
                                                       {"foobar", "Zm9vYmFy"},
                                                       {"\xFB\xFF\xBF", "+/+/"}};
  for (const auto& [plain, encoded] : cases) {
    EXPECT_EQ(base64Encode(bytes(plain)), encoded) << plain;
    EXPECT_EQ(base64Decode(encoded), bytes(plain)) << encoded;
  }
  Data all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::byte>(i));
  EXPECT_EQ(base64Decode(base64Encode(all)), all);
}

TEST(Base64, DecodingToleratesNothing) {
  for (const char* text : {"Zg", "Zg=", "Zm9", "Zg===", "Z===", "====", "Zg==Zg==", "Zm=v", "=m9v",
                           "Zm9v\nYg==", "Zm9v Yg==", " Zm9v", "Zm9-", "Zm9_", "Zm9v\x80"}) {
    EXPECT_EQ(base64Decode(text), std::nullopt) << text;
  }
}

}  // namespace
}  // namespace tamrikcsv
