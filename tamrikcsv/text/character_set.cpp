#include "tamrikcsv/text/character_set.hpp"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrikcsv {

CharacterSet::CharacterSet(std::initializer_list<char32_t> scalars) {
  for (char32_t c : scalars) insert(c);
}

CharacterSet CharacterSet::fromText(std::string_view utf8) {
  auto scalars = detail::toScalars(utf8);
  if (!scalars) throw std::invalid_argument("CharacterSet::fromText: the text is not valid UTF-8");
  CharacterSet set;
  for (char32_t c : *scalars) set.insert(c);
  return set;
}

CharacterSet CharacterSet::whitespaces() {
  CharacterSet set{U'\t', U' ', U'\u00A0', U'\u1680', U'\u202F', U'\u205F', U'\u3000'};
  set.insert(U'\u2000', U'\u200A');
  return set;
}

CharacterSet CharacterSet::newlines() {
  CharacterSet set{U'\u0085', U'\u2028', U'\u2029'};
  set.insert(U'\n', U'\r');
  return set;
}

CharacterSet CharacterSet::whitespacesAndNewlines() {
  CharacterSet set = whitespaces();
  set.insert(newlines());
  return set;
}

void CharacterSet::insert(char32_t scalar) {
  insert(scalar, scalar);
}

void CharacterSet::insert(char32_t first, char32_t last) {
  if (first > last) return;
  for (; first < 128 && first <= last; ++first) ascii_[first >> 6] |= std::uint64_t{1} << (first & 63);
  if (first > last) return;
  // Insert the range, then merge it with its overlapping or adjacent neighbours.
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), std::pair{first, last});
  it = ranges_.insert(it, {first, last});
  if (it != ranges_.begin() && std::prev(it)->second + 1 >= it->first) --it;
  auto next = std::next(it);
  while (next != ranges_.end() && it->second + 1 >= next->first) {
    it->second = std::max(it->second, next->second);
    next = ranges_.erase(next);
  }
}

void CharacterSet::insert(const CharacterSet& other) {
  ascii_[0] |= other.ascii_[0];
  ascii_[1] |= other.ascii_[1];
  for (auto [first, last] : other.ranges_) insert(first, last);
}

bool CharacterSet::containsNonASCII(char32_t scalar) const noexcept {
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), scalar,
                             [](char32_t c, const auto& range) { return c < range.first; });
  return it != ranges_.begin() && std::prev(it)->second >= scalar;
}

std::vector<std::pair<char32_t, char32_t>> CharacterSet::ranges() const {
  std::vector<std::pair<char32_t, char32_t>> out;
  for (char32_t c = 0; c < 128; ++c) {
    if (!contains(c)) continue;
    if (!out.empty() && out.back().second + 1 == c)
      out.back().second = c;
    else
      out.emplace_back(c, c);
  }
  out.insert(out.end(), ranges_.begin(), ranges_.end());
  return out;
}

std::string CharacterSet::description() const {
  std::string out = "{";
  bool first = true;
  for (auto [lo, hi] : ranges()) {
    if (!first) out += ", ";
    first = false;
    out += detail::quoted(std::u32string(1, lo));
    if (hi != lo) out += "..." + detail::quoted(std::u32string(1, hi));
  }
  return out + "}";
}

}  // namespace tamrikcsv
