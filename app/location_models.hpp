#pragma once

// Item models over the store's hierarchy for the location browser. They hold no copy of what the store
// has: the tree reads `locations()` directly and is reset when the store replaces it.

#include <QAbstractItemModel>
#include <QAbstractListModel>
#include <QColor>
#include <QHash>
#include <QIcon>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/place_counts.hpp"
#include "model/place_data_model.hpp"
#include "model/place_search.hpp"

namespace tamrik {

/// Where a zone is: its location's, its level's and its own identifier. Identifiers are unique only within
/// their parent, so a zone is known by all three.
struct ZonePath {
  std::string locationId, levelId, zoneId;
  friend bool operator==(const ZonePath&, const ZonePath&) = default;
};

/// Where the zone at `path` stands in `locations`: its location's, its level's and its own position.
std::optional<std::array<std::size_t, 3>> findZonePosition(const std::vector<TamrikLocation>& locations,
                                                           const ZonePath& path);
/// The zone at `path` in `locations`, or null.
const TamrikZone* findZone(const std::vector<TamrikLocation>& locations, const ZonePath& path);

/// Locations, their levels, and the levels' zones, as a tree of names. Locations and levels are groups;
/// zones are the leaves. A search result narrows it to what the search shows.
class LocationTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  /// `PlaceCountRole`: how many of the row's places hold a display, of how many, as "12/40".
  enum Role { KindRole = Qt::UserRole + 1, IdRole, PlaceCountRole };
  enum class Kind { location, level, zone };

  /// A tree of `placeDataModel`'s hierarchy whose rows tell `counts` (of the same store).
  LocationTreeModel(std::shared_ptr<PlaceDataModel> placeDataModel, std::shared_ptr<const PlaceCounts> counts,
                    QObject* parent = nullptr);

  /// Shows only what `shown` marks (a result for the current hierarchy), or everything.
  void setFilter(std::optional<SearchResult> shown);
  bool isFiltered() const noexcept { return filter_.has_value(); }

  /// The zone at `index`, or nothing for a group.
  const TamrikZone* zone(const QModelIndex& index) const;
  /// The identifiers of the zone at `index` and of its level and location, or nothing for a group.
  std::optional<ZonePath> zonePath(const QModelIndex& index) const;
  /// The identifiers of the group at `index`: a location's alone, or a level's location's and its own.
  std::vector<std::string> groupPath(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  struct Position {
    Kind kind;
    std::size_t location = 0, level = 0, zone = 0;  // positions in the hierarchy, not rows
  };
  Position position(const QModelIndex& index) const;
  void rebuild();
  void zoneCountChanged(std::size_t location, std::size_t level, std::size_t zone);

  std::shared_ptr<PlaceDataModel> placeDataModel_;
  std::shared_ptr<const PlaceCounts> counts_;
  std::optional<SearchResult> filter_;
  // The first level of each location, counting levels across locations: a zone's internal id names its
  // level by that count, so that any index maps back to its position without a search of the tree.
  std::vector<std::size_t> firstLevel_;
  // What each row shows, in hierarchy positions: the locations; each location's levels; each level's zones
  // (by the level's count across locations). Ascending, so a position's row is found by bisection.
  std::vector<std::size_t> shownLocations_;
  std::vector<std::vector<std::size_t>> shownLevels_;
  std::vector<std::vector<std::size_t>> shownZones_;
};

/// The places of one zone, in the zone's order. `Qt::DisplayRole` is the name; the other roles below give
/// what a row shows, and `Qt::ToolTipRole` the name over the serial numbers.
class PlacesModel : public QAbstractListModel {
  Q_OBJECT
 public:
  /// `SerialNumbersRole`: the place's serial numbers in order, joined by ", "; empty when it has none.
  enum Role { PlaceIdRole = Qt::UserRole + 1, SymbolRole, HighlightedRole, SerialNumbersRole };

  explicit PlacesModel(std::shared_ptr<PlaceDataModel> placeDataModel, QObject* parent = nullptr);

  /// Shows all the places of `zone` (a copy: its place objects are shared with the store), or none.
  void setZone(std::optional<TamrikZone> zone);
  /// Shows only the places at the positions `shows` accepts, or all of them without it.
  void setFilter(std::function<bool(std::size_t position)> shows);
  /// Shows only the places without a serial number, and the selected place: one given a display stays in
  /// view until another is picked. Kept as assignments change places.
  void setOnlyPlacesWithoutDisplay(bool only);
  bool onlyPlacesWithoutDisplay() const noexcept { return onlyWithoutDisplay_; }
  const std::optional<TamrikZone>& zone() const noexcept { return zone_; }
  std::shared_ptr<TamrikPlace> place(const QModelIndex& index) const;
  /// The row of the place at `position` in the zone's order; invalid when it is not shown.
  QModelIndex indexOf(std::size_t position) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  void refreshRows();
  void applyFilter();
  std::vector<std::size_t> filteredPlaces() const;
  void updateShownPlaces();

  std::shared_ptr<PlaceDataModel> placeDataModel_;
  std::optional<TamrikZone> zone_;
  std::function<bool(std::size_t)> filter_;
  bool onlyWithoutDisplay_ = false;
  std::vector<std::size_t> shownPlaces_;  // the zone's places that pass the filter, by position
  mutable QHash<QString, QIcon> icons_;   // drawn once per symbol and text colour
  mutable QColor iconColor_;
};

}  // namespace tamrik
