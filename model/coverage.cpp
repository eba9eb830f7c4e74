#include "model/coverage.hpp"

namespace tamrik {
namespace {

void addCounts(Coverage& total, const Coverage& part) {
  total.places += part.places;
  total.placesWithDisplay += part.placesWithDisplay;
  total.serialNumbers += part.serialNumbers;
}

Coverage zoneCoverage(const TamrikZone& zone) {
  Coverage counts{zone.zoneId, zone.name};
  for (const auto& place : zone.places) {
    if (!place) continue;
    ++counts.places;
    if (!place->serialNumbers().empty()) ++counts.placesWithDisplay;
    counts.serialNumbers += place->serialNumbers().size();
  }
  return counts;
}

}  // namespace

Coverage coverage(const std::vector<TamrikLocation>& locations) {
  Coverage all;
  for (const auto& location : locations) {
    Coverage& locationCounts = all.parts.emplace_back(Coverage{location.locationId, location.name});
    for (const auto& level : location.levels) {
      Coverage& levelCounts = locationCounts.parts.emplace_back(Coverage{level.levelId, level.name});
      for (const auto& zone : level.zones)
        addCounts(levelCounts, levelCounts.parts.emplace_back(zoneCoverage(zone)));
      addCounts(locationCounts, levelCounts);
    }
    addCounts(all, locationCounts);
  }
  return all;
}

}  // namespace tamrik
