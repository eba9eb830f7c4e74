#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace tamrikcsv {

/// Field and row delimiters: non-empty sequences of Unicode scalars ("\r\n" is one delimiter of two).
namespace Delimiter {

/// The field delimiter. Empty `scalars` means that none was given.
///
/// ```cpp
/// Delimiter::Field comma = U',';
/// Delimiter::Field pipes = "||";   // two scalars
/// ```
struct Field {
  std::u32string scalars;  ///< The delimiter's scalars, in order.

  /// A delimiter of one scalar.
  Field(char32_t scalar) : scalars(1, scalar) {}
  /// The scalars of a non-empty UTF-8 text; throws `std::invalid_argument` when it is empty or invalid.
  ///@{
  Field(const char* text) : Field(std::string_view(text)) {}
  Field(const std::string& text) : Field(std::string_view(text)) {}
  Field(std::string_view text);
  ///@}
  /// No delimiter.
  Field(std::nullptr_t) {}
  /// No delimiter for an empty text, else as the text constructor.
  [[nodiscard]] static std::optional<Field> fromText(std::string_view text);

  /// The scalars as UTF-8 text.
  std::string description() const;
  /// Delimiters are equal when their scalars are.
  friend bool operator==(const Field&, const Field&) = default;
};

/// The row delimiters: a row ends at any member. An empty set means that none was given.
///
/// ```cpp
/// Delimiter::Row lf = U'\n';
/// auto both = Delimiter::Row::standard();  // "\n" and "\r\n"
/// ```
struct Row {
  std::set<std::u32string> scalars;  ///< Each member is one delimiter's scalars.

  /// The one delimiter of one scalar.
  Row(char32_t scalar) : scalars{std::u32string(1, scalar)} {}
  /// The one delimiter of a non-empty UTF-8 text; throws `std::invalid_argument` when empty or invalid.
  ///@{
  Row(const char* text) : Row(std::string_view(text)) {}
  Row(const std::string& text) : Row(std::string_view(text)) {}
  Row(std::string_view text);
  ///@}
  /// No delimiter.
  Row(std::nullptr_t) {}
  /// The non-empty texts as delimiters; no delimiter when none is left.
  [[nodiscard]] static std::optional<Row> fromTexts(std::initializer_list<std::string_view> texts);
  /// Line feed, and carriage return plus line feed.
  static Row standard();

  /// The shortest member, ties broken by scalar order: the one a writer emits. The set must not be empty.
  const std::u32string& shortest() const;
  /// `shortest()` as UTF-8 text; empty when there is no delimiter.
  std::string description() const;
  /// Row delimiters are equal when they have the same members.
  friend bool operator==(const Row&, const Row&) = default;
};

/// The delimiters a reader or writer is configured with.
struct Pair {
  /// The comma.
  Field field = U',';
  Row row = U'\n';  ///< The line feed alone; "\r\n" too needs `Delimiter::Row::standard()`.
};

/// The validated pair used while reading.
struct Scalars {
  std::u32string field;          ///< The field delimiter, never empty.
  std::set<std::u32string> row;  ///< The row delimiters: at least one, none empty or equal to `field`.
  /// Equal when both delimiters are.
  friend bool operator==(const Scalars&, const Scalars&) = default;
};

}  // namespace Delimiter

namespace Strategy {

/// How fields are escaped: enclosed in one scalar that is doubled inside them, or not at all.
///
/// ```cpp
/// Strategy::Escaping quotes = U'"';     // the default
/// Strategy::Escaping off = nullptr;     // Strategy::Escaping::none()
/// ```
class Escaping {
 public:
  /// Fields enclosed in `scalar`.
  constexpr Escaping(char32_t scalar) : scalar_(scalar) {}
  /// No escaping, as `none()`.
  constexpr Escaping(std::nullptr_t) {}
  /// No escaping: a quote is an ordinary character, and a field cannot hold a delimiter.
  static constexpr Escaping none() { return nullptr; }
  /// Fields enclosed in '"', with '""' for a quote inside them.
  static constexpr Escaping doubleQuote() { return U'"'; }

  /// The escaping scalar, absent for `none`.
  constexpr std::optional<char32_t> scalar() const { return scalar_; }
  /// Equal when both escape with the same scalar, or both not at all.
  friend constexpr bool operator==(const Escaping&, const Escaping&) = default;

 private:
  std::optional<char32_t> scalar_;
};

/// Whether the first line holds the column titles.
enum class Header { none, firstLine };

}  // namespace Strategy
}  // namespace tamrikcsv
