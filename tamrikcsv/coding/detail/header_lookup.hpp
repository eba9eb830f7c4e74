#pragma once

// Field positions by header title, for the record decoder and encoder alike. Not part of the public
// interface.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tamrikcsv/coding/detail/decoding_backend.hpp"
#include "tamrikcsv/text/detail/title_index.hpp"

namespace tamrikcsv::detail {

/// The position of each header title, matched by canonical equivalence and case-sensitively (the
/// reader's `HeaderLookup` matches the same way: both use a `TitleIndex`). What each
/// enumerator of a key enumeration resolved to is remembered, so a row's keys cost an array index, not a
/// hash, after the first row.
class HeaderLookup {
 public:
  static constexpr std::int64_t kNotAHeader = -1;

  explicit HeaderLookup(const std::vector<std::string>& headers);

  /// Whether two titles are the same text, or canonically equivalent.
  bool hasDuplicates() const noexcept { return titles_.repeatsCanonically(); }
  /// The position of the header with the key's text, or `kNotAHeader`.
  std::int64_t position(const KeyArgument& key);
  /// After `position` with a key of an enumeration: what each enumerator of that enumeration resolved to
  /// so far, by ordinal, negative where it is not a header or not asked yet. Valid while the lookup lives,
  /// so a caller can keep it for the next rows.
  const std::int64_t* enumerationPositions() const noexcept { return enumerations_[last_].second.data(); }

 private:
  static constexpr std::int64_t kUnresolved = -2;
  std::int64_t find(std::string_view text) const;

  TitleIndex titles_;
  // Every enumeration seen, with what each of its enumerators resolved to. Few enumerations are used per
  // call, so a short list beats hashing.
  std::vector<std::pair<const void*, std::vector<std::int64_t>>> enumerations_;
  std::size_t last_ = 0;  // the entry used last: rows mostly ask with one key type
};

}  // namespace tamrikcsv::detail
