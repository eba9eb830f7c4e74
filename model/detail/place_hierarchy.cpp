#include "model/detail/place_hierarchy.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "model/detail/text_order.hpp"

// Sorting the rows by identifiers and folding them one by one makes each list the order in which its
// members are first met, then sorts it by name. The order of first meeting is computed here without
// sorting the rows: a member is first met at its smallest row by (composed identifiers below its own, row
// position), its "first row", which also names it. For a place that is its first row in the file; for
// any other member, the first row of its first child. Members of one list thus sort by (composed
// identifier, identifiers of the first row further down, first row). Identifiers that differ as texts
// but compose alike are the only case that needs more than the first key.

namespace tamrik::detail {
namespace {

using Index = std::uint32_t;

// The order of first meeting below a list: where a member was first met, and the composed place
// identifier of that row (kept, since the row's own is moved into its place early).
struct FirstMet {
  Index row = 0;
  std::string placeKey;
};

struct ZoneNode {
  std::string_view id;
  FirstMet first;
  std::vector<Index> rows;
  std::vector<std::shared_ptr<TamrikPlace>> places;
};

struct LevelNode {
  std::string_view id;
  FirstMet first;
  std::unordered_map<std::string_view, Index> zoneIndex;
  std::vector<ZoneNode> zones;
};

struct LocationNode {
  std::string_view id;
  FirstMet first;
  std::unordered_map<std::string_view, Index> levelIndex;
  std::vector<LevelNode> levels;
};

// The position of the member `id` in `nodes`, added when it is new.
template <class Node>
Index memberIndex(std::unordered_map<std::string_view, Index>& index, std::vector<Node>& nodes,
                  std::string_view id) {
  auto [it, added] = index.try_emplace(id, static_cast<Index>(nodes.size()));
  if (added) nodes.emplace_back().id = id;
  return it->second;
}

// The identifier fields by depth: location (0), level (1), zone (2).
constexpr std::array<std::string CSVRow::*, 3> kIdentifiers{&CSVRow::locationId, &CSVRow::levelId,
                                                            &CSVRow::zoneId};

// A text to sort by, with its position. The first sixteen bytes, packed big-endian, decide most
// comparisons without touching the text itself, which may lie anywhere in memory.
struct SortKey {
  std::uint64_t high = 0, low = 0;
  std::string_view text;
  Index position = 0;

  SortKey(std::string_view key, Index at) : text(key), position(at) {
    unsigned char bytes[16] = {};
    std::memcpy(bytes, key.data(), std::min<std::size_t>(key.size(), 16));
    for (int i = 0; i < 8; ++i) {
      high = high << 8 | bytes[i];
      low = low << 8 | bytes[8 + i];
    }
  }
  // Zero padding sorts a prefix first, as the text comparison does; equal packs leave it to the texts.
  int compareText(const SortKey& other) const noexcept {
    if (high != other.high) return high < other.high ? -1 : 1;
    if (low != other.low) return low < other.low ? -1 : 1;
    if (text.size() <= 16 && other.text.size() <= 16 && text.size() == other.text.size()) return 0;
    return text.compare(other.text);
  }
  friend bool operator<(const SortKey& a, const SortKey& b) noexcept {
    if (int order = a.compareText(b)) return order < 0;
    return a.position < b.position;
  }
};
using Keys = std::vector<SortKey>;

class Folder {
 public:
  explicit Folder(std::vector<CSVRow>& rows) : rows_(rows) {}

  std::vector<TamrikLocation> run() {
    std::vector<LocationNode> locations = group();
    for (auto& location : locations) {
      for (auto& level : location.levels) {
        for (auto& zone : level.zones) buildPlaces(zone);
        level.first = orderMembers(level.zones, 2, &CSVRow::zoneName);
      }
      location.first = orderMembers(location.levels, 1, &CSVRow::levelName);
    }
    orderMembers(locations, 0, &CSVRow::locationName);
    return make(locations);
  }

 private:
  // Rows into locations, levels and zones, in file order. Consecutive rows mostly share their parents,
  // so the last ones are tried before any lookup.
  std::vector<LocationNode> group() {
    std::vector<LocationNode> locations;
    std::unordered_map<std::string_view, Index> locationIndex;
    LocationNode* location = nullptr;
    LevelNode* level = nullptr;
    ZoneNode* zone = nullptr;
    for (Index i = 0; i < rows_.size(); ++i) {
      const CSVRow& row = rows_[i];
      if (!location || location->id != row.locationId) {
        location = &locations[memberIndex(locationIndex, locations, row.locationId)];
        level = nullptr;
      }
      if (!level || level->id != row.levelId) {
        level = &location->levels[memberIndex(location->levelIndex, location->levels, row.levelId)];
        zone = nullptr;
      }
      if (!zone || zone->id != row.zoneId)
        zone = &level->zones[memberIndex(level->zoneIndex, level->zones, row.zoneId)];
      zone->rows.push_back(i);
    }
    return locations;
  }

  // The zone's places, in the order first met and then by name, each with the serial numbers of its rows.
  // A zone's rows are at hand here, so its places are made at once, each while its rows are: the rows
  // lie all over memory, the places made one after another do not.
  void buildPlaces(ZoneNode& zone) {
    entries_.clear();
    for (Index row : zone.rows) entries_.emplace_back(composed_(rows_[row].placeId), row);
    zone.rows = {};
    std::sort(entries_.begin(), entries_.end());
    places_.clear();
    for (std::size_t begin = 0; begin < entries_.size();) {
      std::size_t end = begin + 1;
      while (end < entries_.size() && entries_[end].compareText(entries_[begin]) == 0) ++end;
      // Identifiers that compose alike but differ as texts are different places, met in row order.
      block_.clear();
      for (std::size_t k = begin; k < end; ++k) {
        CSVRow& row = rows_[entries_[k].position];
        auto same = std::find_if(block_.begin(), block_.end(), [&](const auto& place) {
          return rows_[place.first].placeId == row.placeId;
        });
        if (same == block_.end()) same = block_.insert(same, {entries_[k].position, {}});
        if (row.serialNumber) same->second.insert(std::move(*row.serialNumber));
      }
      for (auto& [first, serialNumbers] : block_) {
        CSVRow& row = rows_[first];
        if (places_.empty()) zone.first = {first, std::string(entries_[begin].text)};
        places_.push_back(std::make_shared<TamrikPlace>(std::move(row.placeId), std::move(row.placeName),
                                                        std::move(serialNumbers)));
      }
      begin = end;
    }

    keys_.clear();
    for (Index k = 0; k < places_.size(); ++k) keys_.emplace_back(composed_(places_[k]->name()), k);
    std::sort(keys_.begin(), keys_.end());  // positions break ties, which keeps the sort stable
    zone.places.reserve(places_.size());
    for (const auto& key : keys_) zone.places.push_back(std::move(places_[key.position]));
  }

  // Sorts members by the order first met, then stably by name. Returns where the first of them was met,
  // which is where their parent was.
  template <class Node>
  FirstMet orderMembers(std::vector<Node>& nodes, std::size_t depth, std::string CSVRow::*name) {
    Keys keys;
    keys.reserve(nodes.size());
    for (Index k = 0; k < nodes.size(); ++k) keys.emplace_back(composed_(nodes[k].id), k);
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
      if (int order = a.compareText(b)) return order < 0;
      return metBefore(nodes[a.position].first, nodes[b.position].first, depth + 1);
    });
    permute(nodes, keys);
    FirstMet first = nodes.empty() ? FirstMet{} : nodes.front().first;

    keys.clear();
    for (Index k = 0; k < nodes.size(); ++k) keys.emplace_back(composed_(rows_[nodes[k].first.row].*name), k);
    std::sort(keys.begin(), keys.end());
    permute(nodes, keys);
    return first;
  }

  // Whether `a` comes before `b` by the identifiers of their rows from `depth` down, then by position.
  bool metBefore(const FirstMet& a, const FirstMet& b, std::size_t depth) const {
    for (; depth < kIdentifiers.size(); ++depth)
      if (int order = compareComposed(rows_[a.row].*kIdentifiers[depth], rows_[b.row].*kIdentifiers[depth]))
        return order < 0;
    if (int order = a.placeKey.compare(b.placeKey)) return order < 0;
    return a.row < b.row;
  }

  template <class Node>
  static void permute(std::vector<Node>& nodes, const Keys& order) {
    std::vector<Node> sorted;
    sorted.reserve(nodes.size());
    for (const auto& entry : order) sorted.push_back(std::move(nodes[entry.position]));
    nodes = std::move(sorted);
  }

  // The records above the places, taking their strings out of the rows. Every sort is done: no key
  // refers to them any more.
  std::vector<TamrikLocation> make(std::vector<LocationNode>& nodes) {
    std::vector<TamrikLocation> locations;
    locations.reserve(nodes.size());
    for (auto& locationNode : nodes) {
      CSVRow& locationRow = rows_[locationNode.first.row];
      TamrikLocation& location = locations.emplace_back(
          TamrikLocation{std::move(locationRow.locationId), std::move(locationRow.locationName), {}});
      location.levels.reserve(locationNode.levels.size());
      for (auto& levelNode : locationNode.levels) {
        CSVRow& levelRow = rows_[levelNode.first.row];
        TamrikLevel& level = location.levels.emplace_back(
            TamrikLevel{std::move(levelRow.levelId), std::move(levelRow.levelName), {}});
        level.zones.reserve(levelNode.zones.size());
        for (auto& zoneNode : levelNode.zones) {
          CSVRow& zoneRow = rows_[zoneNode.first.row];
          level.zones.push_back(
              TamrikZone{std::move(zoneRow.zoneId), std::move(zoneRow.zoneName), std::move(zoneNode.places)});
        }
      }
    }
    return locations;
  }

  std::vector<CSVRow>& rows_;
  ComposedTexts composed_;
  Keys entries_;                                        // a zone's rows by composed place identifier
  std::vector<std::pair<Index, SerialNumbers>> block_;  // places of one identifier: first row, serials
  std::vector<std::shared_ptr<TamrikPlace>> places_;    // a zone's places in the order first met
  Keys keys_;                                           // `places_` by composed name
};

}  // namespace

std::vector<TamrikLocation> foldPlaceRows(std::vector<CSVRow>&& rows) {
  if (rows.size() >= std::numeric_limits<Index>::max()) throw std::length_error("Too many rows of places");
  return Folder(rows).run();
}

}  // namespace tamrik::detail
