#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tamrikcsv {

/// A set of Unicode scalars with a fast membership test, used for the characters trimmed around fields.
///
/// ```cpp
/// CharacterSet spaces{U' ', U'\t'};
/// auto blanks = CharacterSet::whitespaces();  // spaces, tabs and the other Unicode space separators
/// spaces.contains(U'\t');                     // true
/// ```
class CharacterSet {
 public:
  /// The empty set.
  CharacterSet() = default;
  /// The given scalars.
  CharacterSet(std::initializer_list<char32_t> scalars);
  /// Every scalar of a UTF-8 text. Throws `std::invalid_argument` on invalid UTF-8.
  [[nodiscard]] static CharacterSet fromText(std::string_view utf8);

  /// The horizontal tab and the Unicode space separators (category Zs).
  static CharacterSet whitespaces();
  /// Line feed, vertical tab, form feed, carriage return, next line and the line and paragraph separators.
  static CharacterSet newlines();
  /// The union of `whitespaces()` and `newlines()`.
  static CharacterSet whitespacesAndNewlines();

  /// Inserts one scalar.
  void insert(char32_t scalar);
  /// Inserts the closed range [first, last].
  void insert(char32_t first, char32_t last);
  /// Inserts every member of `other`.
  void insert(const CharacterSet& other);

  /// Whether `scalar` is a member; a table look-up for ASCII.
  bool contains(char32_t scalar) const noexcept {
    if (scalar < 128) return (ascii_[scalar >> 6] >> (scalar & 63)) & 1U;
    return containsNonASCII(scalar);
  }
  /// True when the set has no members.
  bool empty() const noexcept { return ascii_[0] == 0 && ascii_[1] == 0 && ranges_.empty(); }
  /// True when every member is below U+0080.
  bool isASCII() const noexcept { return ranges_.empty(); }

  /// The members as closed ranges, ascending.
  std::vector<std::pair<char32_t, char32_t>> ranges() const;

  /// A readable form such as `{" ", "\t", U+00A0...U+00A0}` for messages.
  std::string description() const;

  /// Sets are equal when they have the same members, however they were inserted.
  friend bool operator==(const CharacterSet&, const CharacterSet&) = default;

 private:
  bool containsNonASCII(char32_t scalar) const noexcept;

  std::uint64_t ascii_[2] = {0, 0};
  std::vector<std::pair<char32_t, char32_t>> ranges_;  // non-ASCII members, sorted, disjoint, merged
};

}  // namespace tamrikcsv
