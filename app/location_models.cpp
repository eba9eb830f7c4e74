#include "app/location_models.hpp"

#include <QApplication>
#include <QPalette>
#include <QStringList>
#include <QTextDocument>
#include <algorithm>

#include "app/symbols.hpp"
#include "app/theme.hpp"

namespace tamrik {
namespace {

// Internal ids: 0 for a location; 1 + the location's position for a level; for a zone, past all of those,
// the level's position counted across locations.
constexpr quintptr kLocationId = 0;

QString text(const std::string& value) {
  return QString::fromStdString(value);
}

// The row that shows hierarchy position `position` among `shown`.
int rowOf(const std::vector<std::size_t>& shown, std::size_t position) {
  return static_cast<int>(std::lower_bound(shown.begin(), shown.end(), position) - shown.begin());
}

QString countText(PlaceCount count) {
  return QStringLiteral("%1/%2").arg(count.withDisplay).arg(count.total);
}

QString serialNumbersText(const TamrikPlace& place) {
  QStringList serials;
  for (const auto& serial : place.serialNumbers()) serials.push_back(text(serial));
  return serials.join(QStringLiteral(", "));
}

}  // namespace

LocationTreeModel::LocationTreeModel(std::shared_ptr<PlaceDataModel> placeDataModel,
                                     std::shared_ptr<const PlaceCounts> counts, QObject* parent)
    : QAbstractItemModel(parent), placeDataModel_(std::move(placeDataModel)), counts_(std::move(counts)) {
  rebuild();
  connect(placeDataModel_.get(), &PlaceDataModel::locationsChanged, this, [this] {
    beginResetModel();
    filter_.reset();  // it was made for the previous hierarchy
    rebuild();
    endResetModel();
  });
  connect(counts_.get(), &PlaceCounts::zoneCountChanged, this, &LocationTreeModel::zoneCountChanged);
}

void LocationTreeModel::zoneCountChanged(std::size_t location, std::size_t level, std::size_t zone) {
  // The zone's row and its groups' rows, where the filter shows them.
  auto shownRow = [](const std::vector<std::size_t>& shown, std::size_t position) -> std::optional<int> {
    int row = rowOf(shown, position);
    if (static_cast<std::size_t>(row) == shown.size() || shown[static_cast<std::size_t>(row)] != position)
      return std::nullopt;
    return row;
  };
  auto refresh = [this](int row, quintptr id) {
    QModelIndex index = createIndex(row, 0, id);
    emit dataChanged(index, index, {PlaceCountRole});
  };
  if (location >= firstLevel_.size()) return;
  const std::size_t levels = firstLevel_[location] + level;
  auto locationRow = shownRow(shownLocations_, location);
  if (!locationRow) return;
  refresh(*locationRow, kLocationId);
  auto levelRow = shownRow(shownLevels_[location], level);
  if (!levelRow) return;
  refresh(*levelRow, quintptr{1} + location);
  if (auto zoneRow = shownRow(shownZones_[levels], zone))
    refresh(*zoneRow, quintptr{1} + placeDataModel_->locations().size() + levels);
}

void LocationTreeModel::setFilter(std::optional<SearchResult> shown) {
  beginResetModel();
  filter_ = std::move(shown);
  rebuild();
  endResetModel();
}

void LocationTreeModel::rebuild() {
  const auto& locations = placeDataModel_->locations();
  firstLevel_.clear();
  shownLocations_.clear();
  shownLevels_.assign(locations.size(), {});
  shownZones_.clear();
  std::size_t levels = 0;
  for (std::size_t l = 0; l < locations.size(); ++l) {
    firstLevel_.push_back(levels);
    if (!filter_ || filter_->locations[l]) shownLocations_.push_back(l);
    const auto& location = locations[l];
    for (std::size_t v = 0; v < location.levels.size(); ++v, ++levels) {
      if (!filter_ || filter_->levels[l][v]) shownLevels_[l].push_back(v);
      auto& zones = shownZones_.emplace_back();
      for (std::size_t z = 0; z < location.levels[v].zones.size(); ++z)
        if (!filter_ || filter_->zones[l][v][z] != hidden) zones.push_back(z);
    }
  }
}

LocationTreeModel::Position LocationTreeModel::position(const QModelIndex& index) const {
  auto row = static_cast<std::size_t>(index.row());
  quintptr id = index.internalId();
  if (id == kLocationId) return {Kind::location, shownLocations_[row]};
  const std::size_t locations = placeDataModel_->locations().size();
  if (id <= locations) return {Kind::level, id - 1, shownLevels_[id - 1][row]};
  std::size_t level = id - 1 - locations;
  auto location = static_cast<std::size_t>(std::upper_bound(firstLevel_.begin(), firstLevel_.end(), level) -
                                           firstLevel_.begin() - 1);
  return {Kind::zone, location, level - firstLevel_[location], shownZones_[level][row]};
}

const TamrikZone* LocationTreeModel::zone(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  Position at = position(index);
  if (at.kind != Kind::zone) return nullptr;
  return &placeDataModel_->locations()[at.location].levels[at.level].zones[at.zone];
}

std::optional<ZonePath> LocationTreeModel::zonePath(const QModelIndex& index) const {
  if (!zone(index)) return std::nullopt;
  Position at = position(index);
  const auto& location = placeDataModel_->locations()[at.location];
  const auto& level = location.levels[at.level];
  return ZonePath{location.locationId, level.levelId, level.zones[at.zone].zoneId};
}

std::vector<std::string> LocationTreeModel::groupPath(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return {};
  Position at = position(index);
  const auto& location = placeDataModel_->locations()[at.location];
  switch (at.kind) {
    case Kind::location:
      return {location.locationId};
    case Kind::level:
      return {location.locationId, location.levels[at.level].levelId};
    case Kind::zone:
      break;
  }
  return {};
}

std::optional<std::array<std::size_t, 3>> findZonePosition(const std::vector<TamrikLocation>& locations,
                                                           const ZonePath& path) {
  auto at = [](const auto& records, const std::string& id) {
    return static_cast<std::size_t>(
        std::find_if(records.begin(), records.end(), [&](const auto& record) { return record.id() == id; }) -
        records.begin());
  };
  std::size_t l = at(locations, path.locationId);
  if (l == locations.size()) return std::nullopt;
  std::size_t v = at(locations[l].levels, path.levelId);
  if (v == locations[l].levels.size()) return std::nullopt;
  std::size_t z = at(locations[l].levels[v].zones, path.zoneId);
  if (z == locations[l].levels[v].zones.size()) return std::nullopt;
  return std::array{l, v, z};
}

const TamrikZone* findZone(const std::vector<TamrikLocation>& locations, const ZonePath& path) {
  auto at = findZonePosition(locations, path);
  return at ? &locations[(*at)[0]].levels[(*at)[1]].zones[(*at)[2]] : nullptr;
}

QModelIndex LocationTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0 || row >= rowCount(parent)) return {};
  if (!parent.isValid()) return createIndex(row, column, kLocationId);
  Position at = position(parent);
  if (at.kind == Kind::location) return createIndex(row, column, quintptr{1} + at.location);
  const std::size_t locations = placeDataModel_->locations().size();
  return createIndex(row, column, quintptr{1} + locations + firstLevel_[at.location] + at.level);
}

QModelIndex LocationTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  Position at = position(child);
  switch (at.kind) {
    case Kind::location:
      return {};
    case Kind::level:
      return createIndex(rowOf(shownLocations_, at.location), 0, kLocationId);
    case Kind::zone:
      return createIndex(rowOf(shownLevels_[at.location], at.level), 0, quintptr{1} + at.location);
  }
  return {};
}

int LocationTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(shownLocations_.size());
  if (parent.column() != 0) return 0;
  Position at = position(parent);
  switch (at.kind) {
    case Kind::location:
      return static_cast<int>(shownLevels_[at.location].size());
    case Kind::level:
      return static_cast<int>(shownZones_[firstLevel_[at.location] + at.level].size());
    case Kind::zone:
      return 0;
  }
  return 0;
}

int LocationTreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant LocationTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  Position at = position(index);
  const auto& location = placeDataModel_->locations()[at.location];
  if (role == KindRole) return static_cast<int>(at.kind);
  if (role == PlaceCountRole) {
    switch (at.kind) {
      case Kind::location:
        return countText(counts_->location(at.location));
      case Kind::level:
        return countText(counts_->level(at.location, at.level));
      case Kind::zone:
        return countText(counts_->zone(at.location, at.level, at.zone));
    }
  }
  if (role != Qt::DisplayRole && role != IdRole) return {};
  switch (at.kind) {
    case Kind::location:
      return text(role == IdRole ? location.locationId : location.name);
    case Kind::level: {
      const auto& level = location.levels[at.level];
      return text(role == IdRole ? level.levelId : level.name);
    }
    case Kind::zone: {
      const auto& zone = location.levels[at.level].zones[at.zone];
      return text(role == IdRole ? zone.zoneId : zone.name);
    }
  }
  return {};
}

// --- The places of a zone ---------------------------------------------------------------------------------

PlacesModel::PlacesModel(std::shared_ptr<PlaceDataModel> placeDataModel, QObject* parent)
    : QAbstractListModel(parent), placeDataModel_(std::move(placeDataModel)) {
  // Assignments move serial numbers between places and notify the store's map; the selection changes the
  // highlight. Either may change any row, and only the visible ones are drawn again.
  connect(placeDataModel_.get(), &PlaceDataModel::serialMapChanged, this, &PlacesModel::refreshRows);
  connect(placeDataModel_.get(), &PlaceDataModel::selectedPlaceChanged, this, &PlacesModel::refreshRows);
  // Both may also move a place in or out of the places without a display.
  connect(placeDataModel_.get(), &PlaceDataModel::placeSerialNumbersChanged, this, [this] {
    if (onlyWithoutDisplay_) updateShownPlaces();
  });
  connect(placeDataModel_.get(), &PlaceDataModel::selectedPlaceChanged, this, [this] {
    if (onlyWithoutDisplay_) updateShownPlaces();
  });
}

void PlacesModel::setZone(std::optional<TamrikZone> zone) {
  beginResetModel();
  zone_ = std::move(zone);
  filter_ = nullptr;  // it was made for the previous zone
  applyFilter();
  endResetModel();
}

void PlacesModel::setFilter(std::function<bool(std::size_t position)> shows) {
  beginResetModel();
  filter_ = std::move(shows);
  applyFilter();
  endResetModel();
}

void PlacesModel::setOnlyPlacesWithoutDisplay(bool only) {
  beginResetModel();
  onlyWithoutDisplay_ = only;
  applyFilter();
  endResetModel();
}

void PlacesModel::applyFilter() {
  shownPlaces_ = filteredPlaces();
}

std::vector<std::size_t> PlacesModel::filteredPlaces() const {
  std::vector<std::size_t> shown;
  if (!zone_) return shown;
  const auto& selected = placeDataModel_->selectedPlace();
  for (std::size_t i = 0; i < zone_->places.size(); ++i) {
    if (filter_ && !filter_(i)) continue;
    const auto& place = zone_->places[i];
    if (onlyWithoutDisplay_ && place && !place->serialNumbers().empty() &&
        !(selected && selected->placeId() == place->placeId()))
      continue;
    shown.push_back(i);
  }
  return shown;
}

// Rows leave and come in runs rather than by a reset, so that the view keeps its scroll position and its
// current row while the technician works down the list.
void PlacesModel::updateShownPlaces() {
  std::vector<std::size_t> next = filteredPlaces();
  auto& shown = shownPlaces_;
  std::size_t row = 0, i = 0;  // both lists ascend; `shown[0, row)` already equals `next[0, i)`
  while (row < shown.size() || i < next.size()) {
    if (row < shown.size() && i < next.size() && shown[row] == next[i]) {
      ++row, ++i;
    } else if (row < shown.size() && (i == next.size() || shown[row] < next[i])) {
      std::size_t end = row;
      while (end < shown.size() && (i == next.size() || shown[end] < next[i])) ++end;
      beginRemoveRows({}, static_cast<int>(row), static_cast<int>(end) - 1);
      shown.erase(shown.begin() + static_cast<std::ptrdiff_t>(row),
                  shown.begin() + static_cast<std::ptrdiff_t>(end));
      endRemoveRows();
    } else {
      std::size_t end = i;
      while (end < next.size() && (row == shown.size() || next[end] < shown[row])) ++end;
      beginInsertRows({}, static_cast<int>(row), static_cast<int>(row + end - i) - 1);
      shown.insert(shown.begin() + static_cast<std::ptrdiff_t>(row),
                   next.begin() + static_cast<std::ptrdiff_t>(i),
                   next.begin() + static_cast<std::ptrdiff_t>(end));
      endInsertRows();
      row += end - i;
      i = end;
    }
  }
}

std::shared_ptr<TamrikPlace> PlacesModel::place(const QModelIndex& index) const {
  if (!zone_ || !index.isValid() || index.row() >= rowCount()) return nullptr;
  return zone_->places[shownPlaces_[static_cast<std::size_t>(index.row())]];
}

QModelIndex PlacesModel::indexOf(std::size_t position) const {
  const int row = rowOf(shownPlaces_, position);
  if (static_cast<std::size_t>(row) == shownPlaces_.size() ||
      shownPlaces_[static_cast<std::size_t>(row)] != position)
    return {};
  return index(row);
}

int PlacesModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shownPlaces_.size());
}

QVariant PlacesModel::data(const QModelIndex& index, int role) const {
  auto shown = place(index);
  if (!shown) return {};
  const auto& selected = placeDataModel_->selectedPlace();
  const bool highlighted = selected && selected->placeId() == shown->placeId();
  const QString symbol =
      shown->serialNumbers().empty() ? QStringLiteral("square") : QStringLiteral("number.square");
  switch (role) {
    case Qt::DisplayRole:
      return text(shown->name());
    case PlaceIdRole:
      return text(shown->placeId());
    case SymbolRole:
      return symbol;
    case HighlightedRole:
      return highlighted;
    case Qt::DecorationRole: {
      QColor color = QApplication::palette().color(QPalette::Text);
      if (color != iconColor_) {  // a theme change
        icons_.clear();
        iconColor_ = color;
      }
      QIcon& icon = icons_[symbol];
      if (icon.isNull()) icon = symbolIcon(symbol, color);
      return icon;
    }
    case Qt::BackgroundRole:
      if (highlighted) return selectionGrey(QApplication::palette());
      return {};
    case SerialNumbersRole:
      return serialNumbersText(*shown);
    case Qt::ToolTipRole: {
      // A tooltip takes markup; the file's texts are shown as they are.
      QString tip = text(shown->name());
      if (!shown->serialNumbers().empty()) tip += QLatin1Char('\n') + serialNumbersText(*shown);
      return Qt::convertFromPlainText(tip);
    }
    default:
      return {};
  }
}

void PlacesModel::refreshRows() {
  if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1));
}

}  // namespace tamrik
