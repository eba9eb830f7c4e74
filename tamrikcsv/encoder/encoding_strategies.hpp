#pragma once

// How a record encoder turns values of each kind into field texts. Every strategy with a `custom` case
// calls a function with the value and the encoder positioned at the field, which writes the field itself.
// What stands for infinities and NaN (`Strategy::NonConformingFloat`) is shared with the decoder.

#include <functional>
#include <memory>
#include <optional>

#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/decoder/decoding_strategies.hpp"

namespace tamrikcsv {

class Encoder;

namespace Strategy {

/// How an absent value is written.
///
/// ```cpp
/// c.nilStrategy = Strategy::NilEncoding::custom([](Encoder& e) { e.singleValueContainer().encode("-"); });
/// ```
class NilEncoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { empty, custom };
  /// As an empty field.
  static NilEncoding empty() { return NilEncoding(Kind::empty, {}); }
  /// `encode` writes the field through an encoder positioned at it; what it throws passes through.
  static NilEncoding custom(std::function<void(Encoder&)> encode) {
    return NilEncoding(Kind::custom, std::move(encode));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<void(Encoder&)>& function() const noexcept { return function_; }

 private:
  NilEncoding(Kind kind, std::function<void(Encoder&)> f) : kind_(kind), function_(std::move(f)) {}
  Kind kind_;
  std::function<void(Encoder&)> function_;
};

/// How booleans are written.
class BoolEncoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { deferredToString, numeric, custom };
  /// "true" and "false".
  static BoolEncoding deferredToString() { return BoolEncoding(Kind::deferredToString, {}); }
  /// "1" and "0".
  static BoolEncoding numeric() { return BoolEncoding(Kind::numeric, {}); }
  /// `encode` writes the value through an encoder positioned at the field; what it throws passes through.
  static BoolEncoding custom(std::function<void(bool, Encoder&)> encode) {
    return BoolEncoding(Kind::custom, std::move(encode));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<void(bool, Encoder&)>& function() const noexcept { return function_; }

 private:
  BoolEncoding(Kind kind, std::function<void(bool, Encoder&)> f) : kind_(kind), function_(std::move(f)) {}
  Kind kind_;
  std::function<void(bool, Encoder&)> function_;
};

/// How decimal numbers are written.
class DecimalEncoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { locale, custom };
  /// In plain notation with the locale's decimal separator, or "." without a locale.
  static DecimalEncoding locale(std::optional<Locale> locale = std::nullopt) {
    return DecimalEncoding(Kind::locale, std::move(locale), {});
  }
  /// `encode` writes the value through an encoder positioned at the field; what it throws passes through.
  static DecimalEncoding custom(std::function<void(const Decimal&, Encoder&)> encode) {
    return DecimalEncoding(Kind::custom, std::nullopt, std::move(encode));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `locale` case's locale; nothing for "." and for `custom`.
  const std::optional<Locale>& localeValue() const noexcept { return locale_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<void(const Decimal&, Encoder&)>& function() const noexcept { return function_; }

 private:
  DecimalEncoding(Kind kind, std::optional<Locale> locale, std::function<void(const Decimal&, Encoder&)> f)
      : kind_(kind), locale_(std::move(locale)), function_(std::move(f)) {}
  Kind kind_;
  std::optional<Locale> locale_;
  std::function<void(const Decimal&, Encoder&)> function_;
};

/// How dates are written.
class DateEncoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, formatted, custom };
  /// Seconds since 2001-01-01T00:00:00Z, as the date type writes itself.
  static DateEncoding deferredToDate() { return DateEncoding(Kind::deferredToDate); }
  /// Seconds since 1970-01-01T00:00:00Z, written as a `double` field is (non-conforming floats included).
  static DateEncoding secondsSince1970() { return DateEncoding(Kind::secondsSince1970); }
  /// Milliseconds since 1970-01-01T00:00:00Z, written as a `double` field is.
  static DateEncoding millisecondsSince1970() { return DateEncoding(Kind::millisecondsSince1970); }
  /// "yyyy-MM-dd'T'HH:mm:ss.SSSZZZZZ" in UTC, through the process's one ISO 8601 formatter.
  static DateEncoding iso8601() { return DateEncoding(Kind::iso8601); }
  /// Through the caller's formatter, shared, not copied.
  static DateEncoding formatted(std::shared_ptr<DateFormatter> formatter) {
    DateEncoding s(Kind::formatted);
    s.formatter_ = std::move(formatter);
    return s;
  }
  /// `encode` writes the value through an encoder positioned at the field; what it throws passes through.
  static DateEncoding custom(std::function<void(Date, Encoder&)> encode) {
    DateEncoding s(Kind::custom);
    s.function_ = std::move(encode);
    return s;
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `formatted` case's formatter; null for the other cases.
  const std::shared_ptr<DateFormatter>& formatter() const noexcept { return formatter_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<void(Date, Encoder&)>& function() const noexcept { return function_; }

 private:
  explicit DateEncoding(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::shared_ptr<DateFormatter> formatter_;
  std::function<void(Date, Encoder&)> function_;
};

/// How byte blocks are written.
class DataEncoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { deferredToData, base64, custom };
  /// As the block writes itself: a sequence of byte values.
  static DataEncoding deferredToData() { return DataEncoding(Kind::deferredToData, {}); }
  /// Standard Base64 with "=" padding and no line breaks.
  static DataEncoding base64() { return DataEncoding(Kind::base64, {}); }
  /// `encode` writes the value through an encoder positioned at the field; what it throws passes through.
  static DataEncoding custom(std::function<void(const Data&, Encoder&)> encode) {
    return DataEncoding(Kind::custom, std::move(encode));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<void(const Data&, Encoder&)>& function() const noexcept { return function_; }

 private:
  DataEncoding(Kind kind, std::function<void(const Data&, Encoder&)> f)
      : kind_(kind), function_(std::move(f)) {}
  Kind kind_;
  std::function<void(const Data&, Encoder&)> function_;
};

/// When field values reach the output.
enum class EncodingBuffer {
  /// All of them at the end, in row and field order: any encoding order works, at the cost of memory.
  keepAll,
  /// Each as soon as every field before it is written; values ahead wait. Needs a header row (without one
  /// it works as `keepAll`).
  assembled,
  /// At once when in order; a row's later fields wait only until the row is left. Rows cannot be revisited.
  sequential,
};

}  // namespace Strategy
}  // namespace tamrikcsv
