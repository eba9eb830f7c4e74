#pragma once

// Field positions by header title, for the record decoder and encoder alike. Not part of the public
// interface.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tamrikcsv/coding/detail/decoding_backend.hpp"

namespace tamrikcsv::detail {

/// The canonically composed (NFC) form of UTF-8 text, so that titles that differ only in how accents are
/// encoded compare equal. ASCII comes back as it is, without asking ICU.
std::string canonicallyComposed(std::string_view text);

/// The position of each header title, matched by canonical equivalence and case-sensitively. What each
/// enumerator of a key enumeration resolved to is remembered, so a row's keys cost an array index, not a
/// hash, after the first row.
class HeaderLookup {
 public:
  static constexpr std::int64_t kNotAHeader = -1;

  explicit HeaderLookup(const std::vector<std::string>& headers);

  /// Whether two titles are the same text.
  bool hasDuplicates() const noexcept { return hasDuplicates_; }
  /// The position of the header with the key's text, or `kNotAHeader`.
  std::int64_t position(const KeyArgument& key);
  /// After `position` with a key of an enumeration: what each enumerator of that enumeration resolved to
  /// so far, by ordinal, negative where it is not a header or not asked yet. Valid while the lookup lives,
  /// so a caller can keep it for the next rows.
  const std::int64_t* enumerationPositions() const noexcept { return enumerations_[last_].second.data(); }

 private:
  static constexpr std::int64_t kUnresolved = -2;
  std::int64_t find(std::string_view text) const;

  std::unordered_map<std::string, std::int64_t> positions_;  // by canonically composed title
  bool hasDuplicates_ = false;
  // Every enumeration seen, with what each of its enumerators resolved to. Few enumerations are used per
  // call, so a short list beats hashing.
  std::vector<std::pair<const void*, std::vector<std::int64_t>>> enumerations_;
  std::size_t last_ = 0;  // the entry used last: rows mostly ask with one key type
};

}  // namespace tamrikcsv::detail
