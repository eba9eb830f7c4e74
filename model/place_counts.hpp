#pragma once

#include <QObject>
#include <cstddef>
#include <memory>
#include <vector>

#include "model/place_data_model.hpp"

namespace tamrik {

namespace detail {
struct PlaceTally;
}

/// The places of a location, level or zone that hold at least one serial number, and all its places.
struct PlaceCount {
  std::size_t withDisplay = 0, total = 0;
  friend bool operator==(const PlaceCount&, const PlaceCount&) = default;
};

/// How many places of each location, level and zone of a store's hierarchy hold a display. Counted where
/// the load prepared it (`PlaceDataModel::prepare`), else when first asked after a load; then kept current
/// from the places that the store's assignments, unassignments and restores name, so that none of them walks
/// the hierarchy. A place changed other than through the store is counted again only after the next load.
/// Groups are given by their positions in `locations()`; a position outside the hierarchy counts nothing.
///
/// ```cpp
/// PlaceCounts counts(store);
/// PlaceCount north = counts.zone(0, 0, 1);  // its first location's first level's second zone
/// ```
class PlaceCounts : public QObject {
  Q_OBJECT
 public:
  explicit PlaceCounts(std::shared_ptr<PlaceDataModel> store, QObject* parent = nullptr);
  ~PlaceCounts() override;

  PlaceCount location(std::size_t location) const;
  PlaceCount level(std::size_t location, std::size_t level) const;
  PlaceCount zone(std::size_t location, std::size_t level, std::size_t zone) const;

 signals:
  /// The count of the zone at these positions may have changed, and with it its level's and location's.
  /// Not sent for a load, which changes every count.
  void zoneCountChanged(std::size_t location, std::size_t level, std::size_t zone);

 private:
  const detail::PlaceTally& tally() const;
  void placesChanged(const std::vector<std::shared_ptr<TamrikPlace>>& places);

  std::shared_ptr<PlaceDataModel> store_;
  // Of `locations()`: taken from the load that prepared it, or made when first needed.
  mutable std::shared_ptr<detail::PlaceTally> tally_;
};

}  // namespace tamrik
