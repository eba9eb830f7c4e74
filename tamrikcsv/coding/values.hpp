#pragma once

// The value types that records hold beyond texts and numbers: dates, exact decimals, URLs, and the ICU
// locales and date formatters that read and write dates. Decoders and encoders apply their strategies to
// these types.

#include <chrono>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tamrikcsv/text/data.hpp"

namespace tamrikcsv {

/// A point in time: seconds since 1970-01-01T00:00:00Z, as a `double`.
using Date = std::chrono::time_point<std::chrono::system_clock, std::chrono::duration<double>>;

/// The date `seconds` after 1970-01-01T00:00:00Z.
inline Date dateSince1970(double seconds) {
  return Date(std::chrono::duration<double>(seconds));
}
/// Seconds from 1970-01-01T00:00:00Z to `date`.
inline double secondsSince1970(Date date) {
  return date.time_since_epoch().count();
}
/// Seconds from 1970-01-01T00:00:00Z to the reference date 2001-01-01T00:00:00Z, which dates decode from
/// and encode to by default.
inline constexpr double kReferenceDateSince1970 = 978307200.0;

/// An exact decimal number: a sign, up to 38 significant digits and a decimal exponent.
///
/// ```cpp
/// auto price = Decimal::parse("12,50", ',');  // 12.5
/// price->toString();                          // "12.5"
/// ```
class Decimal {
 public:
  /// Zero.
  Decimal() = default;
  /// The exact value of an integer.
  [[nodiscard]] static Decimal fromInteger(std::int64_t value);
  /// Parses `[+-]digits[separator digits][(e|E)[+-]digits]` (at least one digit before or after the
  /// separator, the whole text); nothing when the text is not such a number or needs more than 38 significant
  /// digits.
  [[nodiscard]] static std::optional<Decimal> parse(std::string_view text, char32_t separator = U'.');

  /// Plain notation with "." or the given separator, no exponent: "-0.0012", "1200".
  [[nodiscard]] std::string toString(char32_t separator = U'.') const;
  /// The nearest `double`.
  [[nodiscard]] double toDouble() const;

  /// Whether the number is below zero; zero is never negative.
  bool isNegative() const noexcept { return negative_; }
  /// Whether the number is zero, whatever sign and exponent its text had.
  bool isZero() const noexcept { return digits_.empty(); }

  /// Decimals compare by value: "1.50" and "1.5" are equal, "-0" and "0" too.
  ///@{
  friend bool operator==(const Decimal&, const Decimal&) = default;
  friend std::strong_ordering operator<=>(const Decimal& a, const Decimal& b);
  ///@}

 private:
  bool negative_ = false;      // never set for zero
  std::string digits_;         // significant digits, no leading or trailing zeros; empty for zero
  std::int32_t exponent_ = 0;  // value = digits × 10^exponent
};

/// An ICU locale identifier, such as "de_DE" or "en_US_POSIX".
class Locale {
 public:
  /// The locale of `identifier`, taken as it is: an identifier ICU does not know is not an error here.
  explicit Locale(std::string identifier) : identifier_(std::move(identifier)) {}
  /// The identifier as it was given.
  const std::string& identifier() const noexcept { return identifier_; }
  /// The locale's canonical name as ICU reports it, e.g. "de_DE".
  std::string description() const;
  /// The character the locale separates a number's fraction with, e.g. ',' for "de_DE".
  char32_t decimalSeparator() const;
  /// Locales are equal when their identifiers are, as texts.
  friend bool operator==(const Locale&, const Locale&) = default;

 private:
  std::string identifier_;
};

/// A URL: any absolute or relative reference that parses as one.
class URL {
 public:
  /// The URL in `text`, or nothing when it is not one (empty, spaces, characters a URL cannot hold).
  [[nodiscard]] static std::optional<URL> parse(std::string_view text);
  /// The URL as it was given.
  const std::string& string() const noexcept { return text_; }
  /// The path part, percent-encoding left as it is ("/a/b.csv" of "file:///a/b.csv").
  std::string path() const;
  /// URLs are equal when their texts are; no normalisation.
  friend bool operator==(const URL&, const URL&) = default;

 private:
  explicit URL(std::string text) : text_(std::move(text)) {}
  std::string text_;
};

/// Reads and writes dates with an ICU pattern, locale, time zone and calendar.
///
/// ```cpp
/// auto formatter = DateFormatter::make("dd.MM.yyyy", Locale("de_DE"), "Europe/Berlin");
/// auto date = formatter->parse("02.01.2024");
/// ```
class DateFormatter {
 public:
  /// `timeZone` is an ICU zone identifier ("GMT", "Europe/Berlin", "GMT+02:00"); `calendar` a calendar
  /// name ("gregorian", "iso8601"). Throws `std::invalid_argument` when ICU refuses any of them.
  [[nodiscard]] static std::shared_ptr<DateFormatter> make(std::string pattern,
                                                           Locale locale = Locale("en_US_POSIX"),
                                                           std::string timeZone = "GMT",
                                                           std::string calendar = "gregorian");
  ~DateFormatter();
  DateFormatter(const DateFormatter&) = delete;
  DateFormatter& operator=(const DateFormatter&) = delete;

  /// The date the whole text gives, read strictly; nothing when it gives none. Safe to call from several
  /// threads at once.
  [[nodiscard]] std::optional<Date> parse(std::string_view text) const;
  /// The text of `date`, rounded to the millisecond. Throws `std::invalid_argument` when the date is not
  /// finite or outside the calendar's range. Safe to call from several threads at once.
  [[nodiscard]] std::string format(Date date) const;

  /// The ICU pattern the formatter was made with.
  const std::string& pattern() const noexcept { return pattern_; }

 private:
  struct Impl;
  DateFormatter(std::string pattern, std::unique_ptr<Impl> impl);
  std::string pattern_;
  std::unique_ptr<Impl> impl_;
};

/// The one ISO 8601 formatter of the process ("yyyy-MM-dd'T'HH:mm:ss.SSSZZZZZ", en_US_POSIX, GMT, ISO 8601
/// calendar), made on first use by any thread and never changed.
const DateFormatter& iso8601Formatter();

/// Standard Base64 (RFC 4648 alphabet, "=" padding).
[[nodiscard]] std::string base64Encode(std::span<const std::byte> bytes);
/// Decodes standard Base64 with no tolerance: any character outside the alphabet (line breaks included),
/// misplaced padding or a length that is not a multiple of four gives nothing.
[[nodiscard]] std::optional<Data> base64Decode(std::string_view text);

}  // namespace tamrikcsv
