#pragma once

// How a record decoder turns field texts into values of each kind. Every strategy with a `custom` case
// calls a function with the decoder positioned at the value.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tamrikcsv/coding/values.hpp"

namespace tamrikcsv {

class Decoder;

namespace Strategy {

/// When a field counts as absent.
class NilDecoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { empty, custom };
  /// Absent exactly when the field has no characters (a space is present).
  static NilDecoding empty() { return NilDecoding(Kind::empty, {}); }
  /// `isNil` answers; it cannot fail.
  static NilDecoding custom(std::function<bool(Decoder&)> isNil) {
    return NilDecoding(Kind::custom, std::move(isNil));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<bool(Decoder&)>& function() const noexcept { return function_; }

 private:
  NilDecoding(Kind kind, std::function<bool(Decoder&)> f) : kind_(kind), function_(std::move(f)) {}
  Kind kind_;
  std::function<bool(Decoder&)> function_;
};

/// Which texts are booleans.
class BoolDecoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { deferredToBool, insensitive, numeric, custom };
  /// Exactly "true" and "false".
  static BoolDecoding deferredToBool() { return BoolDecoding(Kind::deferredToBool, {}); }
  /// "TRUE" and "YES", "FALSE", "NO" and the empty text, after full Unicode upper-casing.
  static BoolDecoding insensitive() { return BoolDecoding(Kind::insensitive, {}); }
  /// Exactly "1" and "0".
  static BoolDecoding numeric() { return BoolDecoding(Kind::numeric, {}); }
  /// `decode` reads the value from a decoder positioned at the field; what it throws passes through.
  static BoolDecoding custom(std::function<bool(Decoder&)> decode) {
    return BoolDecoding(Kind::custom, std::move(decode));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<bool(Decoder&)>& function() const noexcept { return function_; }

 private:
  BoolDecoding(Kind kind, std::function<bool(Decoder&)> f) : kind_(kind), function_(std::move(f)) {}
  Kind kind_;
  std::function<bool(Decoder&)> function_;
};

/// What stands for infinities and NaN, which are not numbers in a text. Shared with the encoder.
class NonConformingFloat {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { throws, convert };
  /// They are errors.
  static NonConformingFloat throws() { return NonConformingFloat(Kind::throws, {}, {}, {}); }
  /// They are these exact texts.
  static NonConformingFloat convert(std::string positiveInfinity, std::string negativeInfinity,
                                    std::string nan) {
    return NonConformingFloat(Kind::convert, std::move(positiveInfinity), std::move(negativeInfinity),
                              std::move(nan));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `convert` case's texts; empty for `throws`.
  ///@{
  const std::string& positiveInfinity() const noexcept { return positiveInfinity_; }
  const std::string& negativeInfinity() const noexcept { return negativeInfinity_; }
  const std::string& nan() const noexcept { return nan_; }
  ///@}

 private:
  NonConformingFloat(Kind kind, std::string pos, std::string neg, std::string nan)
      : kind_(kind),
        positiveInfinity_(std::move(pos)),
        negativeInfinity_(std::move(neg)),
        nan_(std::move(nan)) {}
  Kind kind_;
  std::string positiveInfinity_, negativeInfinity_, nan_;
};

/// How decimal numbers are read.
class DecimalDecoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { locale, custom };
  /// With the locale's decimal separator, or "." without a locale.
  static DecimalDecoding locale(std::optional<Locale> locale = std::nullopt) {
    return DecimalDecoding(Kind::locale, std::move(locale), {});
  }
  /// `decode` reads the value from a decoder positioned at the field; what it throws passes through.
  static DecimalDecoding custom(std::function<Decimal(Decoder&)> decode) {
    return DecimalDecoding(Kind::custom, std::nullopt, std::move(decode));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `locale` case's locale; nothing for "." and for `custom`.
  const std::optional<Locale>& localeValue() const noexcept { return locale_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<Decimal(Decoder&)>& function() const noexcept { return function_; }

 private:
  DecimalDecoding(Kind kind, std::optional<Locale> locale, std::function<Decimal(Decoder&)> f)
      : kind_(kind), locale_(std::move(locale)), function_(std::move(f)) {}
  Kind kind_;
  std::optional<Locale> locale_;
  std::function<Decimal(Decoder&)> function_;
};

/// How dates are read.
class DateDecoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { deferredToDate, secondsSince1970, millisecondsSince1970, iso8601, formatted, custom };
  /// Seconds since 2001-01-01T00:00:00Z, as the date type reads itself.
  static DateDecoding deferredToDate() { return DateDecoding(Kind::deferredToDate); }
  /// Seconds since 1970-01-01T00:00:00Z, read as a `double` field is (non-conforming floats included).
  static DateDecoding secondsSince1970() { return DateDecoding(Kind::secondsSince1970); }
  /// Milliseconds since 1970-01-01T00:00:00Z, read as a `double` field is.
  static DateDecoding millisecondsSince1970() { return DateDecoding(Kind::millisecondsSince1970); }
  /// "yyyy-MM-dd'T'HH:mm:ss.SSSZZZZZ", through the process's one ISO 8601 formatter.
  static DateDecoding iso8601() { return DateDecoding(Kind::iso8601); }
  /// Through the caller's formatter, shared, not copied.
  static DateDecoding formatted(std::shared_ptr<DateFormatter> formatter) {
    DateDecoding s(Kind::formatted);
    s.formatter_ = std::move(formatter);
    return s;
  }
  /// `decode` reads the value from a decoder positioned at the field; what it throws passes through.
  static DateDecoding custom(std::function<Date(Decoder&)> decode) {
    DateDecoding s(Kind::custom);
    s.function_ = std::move(decode);
    return s;
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `formatted` case's formatter; null for the other cases.
  const std::shared_ptr<DateFormatter>& formatter() const noexcept { return formatter_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<Date(Decoder&)>& function() const noexcept { return function_; }

 private:
  explicit DateDecoding(Kind kind) : kind_(kind) {}
  Kind kind_;
  std::shared_ptr<DateFormatter> formatter_;
  std::function<Date(Decoder&)> function_;
};

/// How byte blocks are read.
class DataDecoding {
 public:
  /// The strategy's cases, one per factory function.
  enum class Kind { deferredToData, base64, custom };
  /// As byte blocks decode themselves (`decodeBytes`): from a sequence of byte values, not from the text
  /// of one field.
  static DataDecoding deferredToData() { return DataDecoding(Kind::deferredToData, {}); }
  /// Standard Base64, with no tolerance for anything else.
  static DataDecoding base64() { return DataDecoding(Kind::base64, {}); }
  /// `decode` reads the value from a decoder positioned at the field; what it throws passes through.
  static DataDecoding custom(std::function<Data(Decoder&)> decode) {
    return DataDecoding(Kind::custom, std::move(decode));
  }
  /// Which case the strategy is.
  Kind kind() const noexcept { return kind_; }
  /// The `custom` case's function; empty for the other cases.
  const std::function<Data(Decoder&)>& function() const noexcept { return function_; }

 private:
  DataDecoding(Kind kind, std::function<Data(Decoder&)> f) : kind_(kind), function_(std::move(f)) {}
  Kind kind_;
  std::function<Data(Decoder&)> function_;
};

/// Which rows a decoder keeps: all it read (random access), or only the last (forward only).
enum class DecodingBuffer { keepAll, sequential };

}  // namespace Strategy
}  // namespace tamrikcsv
