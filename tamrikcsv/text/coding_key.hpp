#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamrikcsv {

/// A key that addresses a value in a record: a text and, where it has one, an integer (a row or field
/// position in CSV).
///
/// ```cpp
/// CodingKey name("Place Name");       // by title
/// CodingKey third(2);                 // by position: text "2", integer 2
/// auto fixed = CodingKey::view("ID");  // refers to static text instead of copying it
/// ```
class CodingKey {
 public:
  /// A key made of a text (copied) and an optional integer.
  explicit CodingKey(std::string text, std::optional<int> intValue = std::nullopt)
      : storage_(std::move(text)), text_(storage_), intValue_(intValue) {}
  /// A positional key: its text is the decimal form of `index`.
  explicit CodingKey(int index) : CodingKey(std::to_string(index), index) {}
  /// A key referring to text that outlives it, such as a string literal: no copy, no allocation.
  static CodingKey view(std::string_view text, std::optional<int> intValue = std::nullopt) {
    CodingKey key;
    key.text_ = text;
    key.intValue_ = intValue;
    return key;
  }

  /// A copy or move of a key that owns its text owns a copy of it; one of a key that refers to outside text
  /// refers to the same text.
  ///@{
  CodingKey(const CodingKey& other) { assign(other, other.storage_); }
  CodingKey(CodingKey&& other) noexcept { assign(other, std::move(other.storage_)); }
  CodingKey& operator=(const CodingKey& other) {
    if (this != &other) assign(other, other.storage_);
    return *this;
  }
  CodingKey& operator=(CodingKey&& other) noexcept {
    if (this != &other) assign(other, std::move(other.storage_));
    return *this;
  }
  ///@}

  /// The key's text: a title, or the decimal form of a position. Valid as long as the key (or, for a
  /// key made by `view`, the text it refers to).
  std::string_view stringValue() const noexcept { return text_; }
  /// The key's integer, if it has one.
  std::optional<int> intValue() const noexcept { return intValue_; }

  /// Keys are equal when their texts and integers are, whether they own their text or not.
  friend bool operator==(const CodingKey& a, const CodingKey& b) {
    return a.text_ == b.text_ && a.intValue_ == b.intValue_;
  }

 private:
  CodingKey() = default;
  template <class S>
  void assign(const CodingKey& other, S&& storage) {
    bool owned = other.text_.data() == other.storage_.data();
    std::string_view view = other.text_;
    storage_ = std::forward<S>(storage);
    text_ = owned ? std::string_view(storage_) : view;
    intValue_ = other.intValue_;
  }

  std::string storage_;
  std::string_view text_;
  std::optional<int> intValue_;
};

/// The keys that led to a value, outermost first; empty at the root.
using CodingPath = std::vector<CodingKey>;

/// A readable form of a path, e.g. `[3, "Place Name"]`: positions as numbers, other keys quoted by name.
[[nodiscard]] std::string describe(const CodingPath& path);

/// Gives a key enumeration its texts, and its integers where it has them. Specialise it for a
/// `enum class` of keys with a `names` array in enumerator order (and, optionally, an `ints` array).
///
/// ```cpp
/// template <> struct tamrikcsv::CodingKeyTraits<Row::CodingKeys> {
///   static constexpr std::array names{"Place ID", "Place Name"};
/// };
/// ```
template <class Keys>
struct CodingKeyTraits;

namespace detail {
// An enumeration's texts with their lengths taken once, at compile time, not per key made.
template <class Keys>
inline constexpr auto kKeyTexts = [] {
  const auto& names = CodingKeyTraits<Keys>::names;
  std::array<std::string_view, CodingKeyTraits<Keys>::names.size()> texts{};
  for (std::size_t i = 0; i < texts.size(); ++i) texts[i] = names[i];
  return texts;
}();
}  // namespace detail

/// The coding key of an enumerator, by its traits.
template <class Keys>
CodingKey codingKey(Keys key) {
  using Traits = CodingKeyTraits<Keys>;
  auto index = static_cast<std::size_t>(key);
  std::optional<int> intValue;
  if constexpr (requires { Traits::ints; }) intValue = Traits::ints[index];
  return CodingKey::view(detail::kKeyTexts<Keys>[index], intValue);
}

namespace detail {
/// The coding key of an enumerator, made once for the whole enumeration rather than for every value
/// coded under it.
template <class Keys>
const CodingKey& enumeratorKey(Keys key) {
  static const std::vector<CodingKey> keys = [] {
    std::vector<CodingKey> all;
    all.reserve(CodingKeyTraits<Keys>::names.size());
    for (std::size_t i = 0; i < CodingKeyTraits<Keys>::names.size(); ++i)
      all.push_back(codingKey(static_cast<Keys>(i)));
    return all;
  }();
  return keys[static_cast<std::size_t>(key)];
}
}  // namespace detail

}  // namespace tamrikcsv
