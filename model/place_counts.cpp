#include "model/place_counts.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace tamrik {

// Groups are numbered across the hierarchy in its order: levels across locations, zones across levels. The
// first level of each location and the first zone of each level, with one past the last at the end, take a
// group's positions to its number and back by bisection. Places are kept by address, so that a place the
// store names is found without a walk, each with its zone and whether it was counted as holding a display.
struct PlaceCounts::Tally {
  struct Place {
    const TamrikPlace* place;
    std::uint32_t zone;
    bool withDisplay;
  };

  std::vector<PlaceCount> locations, levels, zones;
  std::vector<std::size_t> firstLevel, firstZone;
  std::vector<Place> places;

  explicit Tally(const PlaceLocations& hierarchy);

  static bool byAddress(const Place& a, const Place& b) { return std::less<>{}(a.place, b.place); }
  // The number of the group among `first` (first members of each group) that holds member `member`.
  static std::size_t groupOf(const std::vector<std::size_t>& first, std::size_t member) {
    return static_cast<std::size_t>(std::upper_bound(first.begin(), first.end(), member) - first.begin() - 1);
  }
  // The number of the level at `level` of the location at `location`, or nothing.
  std::optional<std::size_t> levelNumber(std::size_t location, std::size_t level) const {
    if (location >= locations.size() || level >= firstLevel[location + 1] - firstLevel[location]) return {};
    return firstLevel[location] + level;
  }
};

PlaceCounts::Tally::Tally(const PlaceLocations& hierarchy) {
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

PlaceCounts::PlaceCounts(std::shared_ptr<PlaceDataModel> store, QObject* parent)
    : QObject(parent), store_(std::move(store)) {
  connect(store_.get(), &PlaceDataModel::locationsChanged, this, [this] { tally_.reset(); });
  connect(store_.get(), &PlaceDataModel::placeSerialNumbersChanged, this, &PlaceCounts::placesChanged);
}

PlaceCounts::~PlaceCounts() = default;

const PlaceCounts::Tally& PlaceCounts::tally() const {
  if (!tally_) tally_ = std::make_unique<Tally>(store_->locations());
  return *tally_;
}

PlaceCount PlaceCounts::location(std::size_t location) const {
  const Tally& counted = tally();
  return location < counted.locations.size() ? counted.locations[location] : PlaceCount{};
}

PlaceCount PlaceCounts::level(std::size_t location, std::size_t level) const {
  const Tally& counted = tally();
  auto number = counted.levelNumber(location, level);
  return number ? counted.levels[*number] : PlaceCount{};
}

PlaceCount PlaceCounts::zone(std::size_t location, std::size_t level, std::size_t zone) const {
  const Tally& counted = tally();
  auto number = counted.levelNumber(location, level);
  if (!number || zone >= counted.firstZone[*number + 1] - counted.firstZone[*number]) return {};
  return counted.zones[counted.firstZone[*number] + zone];
}

void PlaceCounts::placesChanged(const std::vector<std::shared_ptr<TamrikPlace>>& places) {
  if (!tally_) return;  // counted afresh when next asked
  Tally& counted = *tally_;
  std::vector<std::uint32_t> changedZones;
  for (const auto& place : places) {
    if (!place) continue;
    const bool withDisplay = !place->serialNumbers().empty();
    // A place outside the hierarchy is found nowhere; one the hierarchy lists twice counts twice.
    auto [first, last] = std::equal_range(counted.places.begin(), counted.places.end(),
                                          Tally::Place{place.get(), 0, false}, Tally::byAddress);
    for (auto entry = first; entry != last; ++entry) {
      if (entry->withDisplay == withDisplay) continue;
      entry->withDisplay = withDisplay;
      const std::size_t level = Tally::groupOf(counted.firstZone, entry->zone);
      const std::size_t location = Tally::groupOf(counted.firstLevel, level);
      for (PlaceCount* count :
           {&counted.zones[entry->zone], &counted.levels[level], &counted.locations[location]})
        withDisplay ? ++count->withDisplay : --count->withDisplay;
      if (std::find(changedZones.begin(), changedZones.end(), entry->zone) == changedZones.end())
        changedZones.push_back(entry->zone);
    }
  }
  // Positions first: a receiver may load another file, which drops the tally.
  std::vector<std::array<std::size_t, 3>> positions;
  for (std::uint32_t zone : changedZones) {
    const std::size_t level = Tally::groupOf(counted.firstZone, zone);
    const std::size_t location = Tally::groupOf(counted.firstLevel, level);
    positions.push_back({location, level - counted.firstLevel[location], zone - counted.firstZone[level]});
  }
  for (const auto& [location, level, zone] : positions) emit zoneCountChanged(location, level, zone);
}

}  // namespace tamrik
