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
// identifier of that row (that of its place, since the row's own is moved into the place early).
struct FirstMet {
  Index row = 0;
  std::string_view placeKey;
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

// A text to sort by, with its position. The first 24 bytes, packed big-endian, decide most comparisons
// without touching the text itself, which may lie anywhere in memory; the text is looked up by position
// only when they don't. Names often share a first word or two ("Dock, East Desk 12"), so sixteen bytes
// leave many ties. Small, since sorting moves keys around.
struct SortKey {
  std::array<std::uint64_t, 3> words{};
  std::uint32_t size = 0;  // of the text, up to 25: past 24 bytes only the text itself decides
  Index position = 0;

  SortKey(std::string_view text, Index at)
      : size(static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), 25))), position(at) {
    unsigned char bytes[24] = {};
    std::memcpy(bytes, text.data(), std::min<std::size_t>(text.size(), 24));
    for (std::size_t w = 0; w < words.size(); ++w)
      for (std::size_t i = 0; i < 8; ++i) words[w] = words[w] << 8 | bytes[8 * w + i];
  }
  // Zero padding sorts a prefix first, as the text comparison does; equal packs leave it to the texts,
  // which `textAt` gives by position.
  template <class TextAt>
  int compare(const SortKey& other, const TextAt& textAt) const {
    for (std::size_t w = 0; w < words.size(); ++w)
      if (words[w] != other.words[w]) return words[w] < other.words[w] ? -1 : 1;
    if (size == other.size && size <= 24) return 0;
    return textAt(position).compare(textAt(other.position));
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
  // Rows of one place share its identifier exactly, so they are grouped by hashing, in file order: a
  // place's first row is then its first file row. Sorting by name once, ties broken by the order first met
  // (composed identifier, then first row), gives what sorting by identifier and then stably by name gives.
  // The places are made in that final order, so that they lie in memory as they are listed.
  void buildPlaces(ZoneNode& zone) {
    const std::vector<Index>& rows = zone.rows;
    groupPlaces(rows);
    std::size_t firstMet = 0;  // drafts are in first-row order, so only a smaller identifier comes first
    for (Index d = 1; d < drafts_.size(); ++d)
      if (drafts_[d].id < drafts_[firstMet].id) firstMet = d;
    auto nameAt = [&](Index d) { return drafts_[d].name; };
    std::sort(keys_.begin(), keys_.end(), [&](const SortKey& a, const SortKey& b) {
      if (int order = a.compare(b, nameAt)) return order < 0;
      if (int order = drafts_[a.position].id.compare(drafts_[b.position].id)) return order < 0;
      return a.position < b.position;
    });

    zone.places.reserve(keys_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      const SortKey& key = keys_[i];
      const Draft& draft = drafts_[key.position];
      // The rows are visited out of file order: asking early for the ones a few places on hides most of
      // the wait for memory in large zones.
      if (i + 2 * kAhead < keys_.size()) __builtin_prefetch(&drafts_[keys_[i + 2 * kAhead].position]);
      if (i + kAhead < keys_.size()) {
        const CSVRow& later = rows_[rows[drafts_[keys_[i + kAhead].position].first]];
        __builtin_prefetch(&later.placeId);
        __builtin_prefetch(&later.serialNumber);
      }
      SerialNumbers serialNumbers;
      for (Index k = draft.first; k != kNone; k = next_[k]) {
        CSVRow& row = rows_[rows[k]];
        if (row.serialNumber) serialNumbers.insert(std::move(*row.serialNumber));
      }
      CSVRow& row = rows_[rows[draft.first]];
      auto& place = zone.places.emplace_back(std::make_shared<TamrikPlace>(
          std::move(row.placeId), std::move(row.placeName), std::move(serialNumbers)));
      // The row's identifier has moved into the place, which keeps it where it is from now on.
      if (key.position == firstMet) zone.first = {rows[draft.first], composed_(place->placeId())};
    }
    zone.rows = {};
  }

  // `drafts_` for the distinct place identifiers of `rows`, in the order of their first rows, and `next_`
  // linking each row to the next of its place. Also the composed texts each draft sorts by, and its key in
  // `keys_`, while its first row is at hand.
  void groupPlaces(const std::vector<Index>& rows) {
    drafts_.clear();
    keys_.clear();
    next_.assign(rows.size(), kNone);
    std::size_t capacity = 2;
    while (capacity < 2 * rows.size()) capacity *= 2;
    slots_.assign(capacity, Slot{0, kNone});
    const std::size_t mask = capacity - 1;
    // Hashes are computed a few rows ahead, so that their slots can be asked for before they are needed.
    auto hashOf = [&](std::size_t k) { return std::hash<std::string_view>{}(rows_[rows[k]].placeId); };
    std::array<std::size_t, kAhead> ahead{};
    for (std::size_t k = 0; k < std::min<std::size_t>(kAhead, rows.size()); ++k) ahead[k] = hashOf(k);
    for (Index k = 0; k < rows.size(); ++k) {
      const std::size_t hash = ahead[k % kAhead];
      if (k + kAhead < rows.size()) {
        ahead[k % kAhead] = hashOf(k + kAhead);
        __builtin_prefetch(&slots_[ahead[k % kAhead] & mask]);
      }
      const CSVRow& row = rows_[rows[k]];
      const auto check = static_cast<std::uint32_t>(hash >> 32);
      for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot& slot = slots_[at];
        if (slot.draft == kNone) {
          slot = {check, static_cast<Index>(drafts_.size())};
          const std::string_view name = composed_(row.placeName);
          keys_.emplace_back(name, static_cast<Index>(drafts_.size()));
          drafts_.push_back({k, k, name, composed_(row.placeId)});
          break;
        }
        Draft& draft = drafts_[slot.draft];
        if (slot.check == check && rows_[rows[draft.first]].placeId == row.placeId) {
          next_[draft.last] = k;
          draft.last = k;
          break;
        }
      }
    }
  }

  // Sorts members by the order first met, then stably by name. Returns where the first of them was met,
  // which is where their parent was.
  template <class Node>
  FirstMet orderMembers(std::vector<Node>& nodes, std::size_t depth, std::string CSVRow::*name) {
    Keys keys;
    keys.reserve(nodes.size());
    texts_.clear();
    for (Index k = 0; k < nodes.size(); ++k)
      keys.emplace_back(texts_.emplace_back(composed_(nodes[k].id)), k);
    auto textAt = [&](Index k) { return texts_[k]; };
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
      if (int order = a.compare(b, textAt)) return order < 0;
      return metBefore(nodes[a.position].first, nodes[b.position].first, depth + 1);
    });
    permute(nodes, keys);
    FirstMet first = nodes.empty() ? FirstMet{} : nodes.front().first;

    keys.clear();
    texts_.clear();
    for (Index k = 0; k < nodes.size(); ++k)
      keys.emplace_back(texts_.emplace_back(composed_(rows_[nodes[k].first.row].*name)), k);
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
      if (int order = a.compare(b, textAt)) return order < 0;
      return a.position < b.position;  // keeps the sort stable
    });
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

  static constexpr Index kNone = std::numeric_limits<Index>::max();
  static constexpr std::size_t kAhead = 8;  // how far ahead memory is asked for

  // A place of the zone being built: its first and last row (positions in the zone's rows) and the
  // composed texts it sorts by.
  struct Draft {
    Index first, last;
    std::string_view name, id;
  };
  // An entry of the table from place identifier to draft; `check` spares most text comparisons.
  struct Slot {
    std::uint32_t check;
    Index draft;
  };

  std::vector<CSVRow>& rows_;
  ComposedTexts composed_;
  std::vector<Draft> drafts_;            // the zone's places, in the order of their first rows
  std::vector<Index> next_;              // per zone row, the next row of its place, or kNone
  std::vector<Slot> slots_;              // place identifier to draft
  Keys keys_;                            // `drafts_` by composed name
  std::vector<std::string_view> texts_;  // the texts of the keys being sorted, by position
};

}  // namespace

std::vector<TamrikLocation> foldPlaceRows(std::vector<CSVRow>&& rows) {
  if (rows.size() >= std::numeric_limits<Index>::max()) throw std::length_error("Too many rows of places");
  return Folder(rows).run();
}

}  // namespace tamrik::detail
