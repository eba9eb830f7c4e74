#include "model/place_counts.hpp"

#include <algorithm>
#include <array>

#include "model/detail/place_tally.hpp"

namespace tamrik {

PlaceCounts::PlaceCounts(std::shared_ptr<PlaceDataModel> store, QObject* parent)
    : QObject(parent), store_(std::move(store)) {
  // A hierarchy read on another thread comes counted already.
  connect(store_.get(), &PlaceDataModel::locationsChanged, this,
          [this] { tally_ = store_->takePreparedTally(); });
  connect(store_.get(), &PlaceDataModel::placeSerialNumbersChanged, this, &PlaceCounts::placesChanged);
}

PlaceCounts::~PlaceCounts() = default;

const detail::PlaceTally& PlaceCounts::tally() const {
  if (!tally_) tally_ = std::make_shared<detail::PlaceTally>(store_->locations());
  return *tally_;
}

PlaceCount PlaceCounts::location(std::size_t location) const {
  const detail::PlaceTally& counted = tally();
  return location < counted.locations.size() ? counted.locations[location] : PlaceCount{};
}

PlaceCount PlaceCounts::level(std::size_t location, std::size_t level) const {
  const detail::PlaceTally& counted = tally();
  auto number = counted.levelNumber(location, level);
  return number ? counted.levels[*number] : PlaceCount{};
}

PlaceCount PlaceCounts::zone(std::size_t location, std::size_t level, std::size_t zone) const {
  const detail::PlaceTally& counted = tally();
  auto number = counted.levelNumber(location, level);
  if (!number || zone >= counted.firstZone[*number + 1] - counted.firstZone[*number]) return {};
  return counted.zones[counted.firstZone[*number] + zone];
}

void PlaceCounts::placesChanged(const std::vector<std::shared_ptr<TamrikPlace>>& places) {
  if (!tally_) return;  // counted afresh when next asked
  detail::PlaceTally& counted = *tally_;
  std::vector<std::uint32_t> changedZones;
  for (const auto& place : places) {
    if (!place) continue;
    const bool withDisplay = !place->serialNumbers().empty();
    // A place outside the hierarchy is found nowhere; one the hierarchy lists twice counts twice.
    auto [first, last] =
        std::equal_range(counted.places.begin(), counted.places.end(),
                         detail::PlaceTally::Place{place.get(), 0, false}, detail::PlaceTally::byAddress);
    for (auto entry = first; entry != last; ++entry) {
      if (entry->withDisplay == withDisplay) continue;
      entry->withDisplay = withDisplay;
      const std::size_t level = detail::PlaceTally::groupOf(counted.firstZone, entry->zone);
      const std::size_t location = detail::PlaceTally::groupOf(counted.firstLevel, level);
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
    const std::size_t level = detail::PlaceTally::groupOf(counted.firstZone, zone);
    const std::size_t location = detail::PlaceTally::groupOf(counted.firstLevel, level);
    positions.push_back({location, level - counted.firstLevel[location], zone - counted.firstZone[level]});
  }
  for (const auto& [location, level, zone] : positions) emit zoneCountChanged(location, level, zone);
}

}  // namespace tamrik
