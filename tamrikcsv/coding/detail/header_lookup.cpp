#include "tamrikcsv/coding/detail/header_lookup.hpp"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>

namespace tamrikcsv::detail {

std::string canonicallyComposed(std::string_view text) {
  bool ascii = true;
  for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::string(text);
  auto unicode =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  icu::UnicodeString normalized = nfc->normalize(unicode, status);
  if (U_FAILURE(status)) return std::string(text);
  std::string out;
  normalized.toUTF8String(out);
  return out;
}

HeaderLookup::HeaderLookup(const std::vector<std::string>& headers) {
  positions_.reserve(headers.size());
  for (std::size_t i = 0; i < headers.size(); ++i)
    if (!positions_.emplace(canonicallyComposed(headers[i]), static_cast<std::int64_t>(i)).second)
      hasDuplicates_ = true;
}

std::int64_t HeaderLookup::find(std::string_view text) const {
  auto it = positions_.find(canonicallyComposed(text));
  return it == positions_.end() ? kNotAHeader : it->second;
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
