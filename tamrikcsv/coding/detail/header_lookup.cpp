#include "tamrikcsv/coding/detail/header_lookup.hpp"

#include <algorithm>

namespace tamrikcsv::detail {

HeaderLookup::HeaderLookup(const std::vector<std::string>& headers) : titles_(headers) {}

std::int64_t HeaderLookup::find(std::string_view text) const {
  auto position = titles_.find(text);
  return position ? static_cast<std::int64_t>(*position) : kNotAHeader;
}

std::int64_t HeaderLookup::position(const KeyArgument& key) {
  if (!key.enumeration) return find(key.key.stringValue());
  if (last_ >= enumerations_.size() || enumerations_[last_].first != key.enumeration) {
    auto known = std::find_if(enumerations_.begin(), enumerations_.end(),
                              [&](const auto& entry) { return entry.first == key.enumeration; });
    if (known == enumerations_.end())
      known = enumerations_.insert(
          enumerations_.end(),
          {key.enumeration, std::vector<std::int64_t>(key.enumerationSize, kUnresolved)});
    last_ = static_cast<std::size_t>(known - enumerations_.begin());
  }
  std::int64_t& position = enumerations_[last_].second[key.ordinal];
  if (position == kUnresolved) position = find(key.key.stringValue());
  return position;
}

}  // namespace tamrikcsv::detail
