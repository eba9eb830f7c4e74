#include "model/detail/place_tally.hpp"

#include <algorithm>
#include <functional>

namespace tamrik::detail {

PlaceTally::PlaceTally(const std::vector<TamrikLocation>& hierarchy) {
  std::size_t placeCount = 0;
  for (const auto& location : hierarchy)
    for (const auto& level : location.levels)
      for (const auto& zone : level.zones) placeCount += zone.places.size();
  places.reserve(placeCount);
  for (const auto& location : hierarchy) {
    firstLevel.push_back(levels.size());
    PlaceCount locationCount;
    for (const auto& level : location.levels) {
      firstZone.push_back(zones.size());
      PlaceCount levelCount;
      for (const auto& zone : level.zones) {
        PlaceCount zoneCount;
        for (const auto& place : zone.places) {
          if (!place) continue;
          const bool withDisplay = !place->serialNumbers().empty();
          ++zoneCount.total;
          zoneCount.withDisplay += withDisplay;
          places.push_back({place.get(), static_cast<std::uint32_t>(zones.size()), withDisplay});
        }
        levelCount.total += zoneCount.total;
        levelCount.withDisplay += zoneCount.withDisplay;
        zones.push_back(zoneCount);
      }
      locationCount.total += levelCount.total;
      locationCount.withDisplay += levelCount.withDisplay;
      levels.push_back(levelCount);
    }
    locations.push_back(locationCount);
  }
  firstLevel.push_back(levels.size());
  firstZone.push_back(zones.size());
  std::sort(places.begin(), places.end(), byAddress);
}

std::size_t PlaceTally::groupOf(const std::vector<std::size_t>& first, std::size_t member) {
  return static_cast<std::size_t>(std::upper_bound(first.begin(), first.end(), member) - first.begin() - 1);
}

std::optional<std::size_t> PlaceTally::levelNumber(std::size_t location, std::size_t level) const {
  if (location >= locations.size() || level >= firstLevel[location + 1] - firstLevel[location]) return {};
  return firstLevel[location] + level;
}

}  // namespace tamrik::detail
