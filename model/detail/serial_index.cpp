#include "model/detail/serial_index.hpp"

#include <algorithm>
#include <functional>

namespace tamrik::detail {
namespace {

std::uint64_t hashOf(std::string_view serialNumber) {
  return std::hash<std::string_view>{}(serialNumber);
}

}  // namespace

void SerialIndex::reset() noexcept {
  entries_ = {};
  added_.clear();
  built_ = false;
}

void SerialIndex::build(const std::vector<TamrikLocation>& locations) {
  reset();
  std::size_t count = 0;
  for (const auto& location : locations)
    for (const auto& level : location.levels)
      for (const auto& zone : level.zones)
        for (const auto& place : zone.places) count += place ? place->serialNumbers().size() : 0;
  entries_.reserve(count);
  for (const auto& location : locations)
    for (const auto& level : location.levels)
      for (const auto& zone : level.zones)
        for (const auto& place : zone.places)
          if (place)
            for (const auto& serial : place->serialNumbers()) entries_.push_back({hashOf(serial), &place});
  // Stable, so that the holders of one serial number stay in hierarchy order.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const Entry& a, const Entry& b) { return a.hash < b.hash; });
  built_ = true;
}

std::vector<std::shared_ptr<TamrikPlace>> SerialIndex::holders(std::string_view serialNumber) const {
  std::vector<std::shared_ptr<TamrikPlace>> places;
  const std::uint64_t hash = hashOf(serialNumber);
  auto first = std::lower_bound(entries_.begin(), entries_.end(), hash,
                                [](const Entry& entry, std::uint64_t h) { return entry.hash < h; });
  for (auto entry = first; entry != entries_.end() && entry->hash == hash; ++entry)
    if (std::find(places.begin(), places.end(), *entry->place) == places.end())
      places.push_back(*entry->place);
  if (auto more = added_.find(serialNumber); more != added_.end())
    for (const auto& place : more->second)
      if (std::find(places.begin(), places.end(), place) == places.end()) places.push_back(place);
  return places;
}

void SerialIndex::add(const std::string& serialNumber, std::shared_ptr<TamrikPlace> place) {
  const auto recorded = holders(serialNumber);
  if (std::find(recorded.begin(), recorded.end(), place) == recorded.end())
    added_[serialNumber].push_back(std::move(place));
}

}  // namespace tamrik::detail
