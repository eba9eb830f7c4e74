#pragma once

// Positions of titles (a header row's fields) by their text, matched by canonical equivalence: the
// reader's `HeaderLookup` and the record decoder's and encoder's lookups share it. Not part of the public
// interface.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tamrikcsv::detail {

/// The canonically composed (NFC) form of UTF-8 text, so that titles that differ only in how accents are
/// encoded compare equal. ASCII comes back as it is, without asking ICU.
std::string canonicallyComposed(std::string_view text);

/// The position of each title. A text is looked up as it is first, then by its canonically composed
/// form, so "Café" finds a title written with "e" and U+0301 and the other way round. Case matters.
class TitleIndex {
 public:
  /// No titles.
  TitleIndex() = default;
  /// Indexes `titles` by position; of titles that repeat, the first is found.
  explicit TitleIndex(const std::vector<std::string>& titles);

  /// The position of the title `text` is, or else is canonically equivalent to, if any.
  std::optional<std::size_t> find(std::string_view text) const;
  /// Whether a title repeats with the same text.
  bool repeatsText() const noexcept { return repeatsText_; }
  /// Whether two titles are canonically equivalent (the same text or not).
  bool repeatsCanonically() const noexcept { return repeatsCanonically_; }
  /// The number of different title texts.
  std::size_t size() const noexcept { return exact_.size(); }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  using Map = std::unordered_map<std::string, std::size_t, Hash, std::equal_to<>>;

  Map exact_;     // by title as given
  Map composed_;  // by canonically composed title, for the titles not composed already
  bool repeatsText_ = false;
  bool repeatsCanonically_ = false;
};

}  // namespace tamrikcsv::detail
