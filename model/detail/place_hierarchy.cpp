#include "model/detail/place_hierarchy.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
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
//
// Every first row is the first file row of some place, and the first row of a zone is that of its place
// with the smallest composed identifier. So as rows come in, a zone keeps the names of the row that is its
// first so far, and nothing else of the rows above the places needs keeping.

namespace tamrik::detail {
namespace {

using Index = std::uint32_t;
constexpr Index kNone = std::numeric_limits<Index>::max();

struct ZoneNode;

// Where a member of a list was first met: its first row, the composed identifier of that row's place, and
// the zone whose first row it is, which holds the row's names and leads to its identifiers.
struct FirstMet {
  Index row = 0;
  std::string_view placeKey;
  ZoneNode* zone = nullptr;
};

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

// An entry of the table from place identifier to draft: the low half of the identifier's hash, which
// places the entry and spares most text comparisons.
struct Slot {
  std::uint32_t hash;
  Index draft;
};

struct LevelNode;

struct ZoneNode {
  std::string id;
  LevelNode* level = nullptr;
  FirstMet first;
  Index firstDraft = kNone;          // the place of the zone's first row so far
  std::array<std::string, 3> names;  // location, level and zone name of that row
  Index lastDraft = kNone;           // the draft of the zone's last row: often the next one's too
  std::vector<Index> drafts;         // in file order
  std::vector<std::shared_ptr<TamrikPlace>> places;
};

// The members of a list, in the order first met, and by identifier.
template <class Node>
struct Members {
  std::unordered_map<std::string_view, Node*> index;
  std::vector<Node*> list;
};

struct LevelNode {
  std::string id;
  FirstMet first;
  Members<ZoneNode> zones;
};

struct LocationNode {
  std::string id;
  FirstMet first;
  Members<LevelNode> levels;
};

// A place of a zone until the zone is built: the place its first row made, which gathers the serial
// numbers of its rows, and the composed texts it sorts by. A place whose rows are not all next to each
// other has a draft for each run of them until the zone is built; the later ones are then merged into the
// first. The place is made at once, not copied from the draft at the end, so that a million of them are
// never held twice: drafts are 56 bytes, where a second copy of each place's texts and set took 152.
struct Draft {
  std::shared_ptr<TamrikPlace> place;
  std::string_view idKey, nameKey;  // into the place's own texts, which stay where they are, or composed
  Index row = 0;                    // kNone once merged into an earlier draft
};

// Appends without moving what it holds, so views of its strings stay valid; and, unlike a deque of such
// large elements, in few allocations.
template <class T>
class StableVector {
 public:
  T& emplace_back() {
    if ((size_ & kMask) == 0) chunks_.push_back(std::make_unique<T[]>(kChunk));
    return (*this)[size_++];
  }
  T& operator[](Index i) noexcept { return chunks_[i >> kShift][i & kMask]; }
  Index size() const noexcept { return size_; }

 private:
  static constexpr unsigned kShift = 12;
  static constexpr Index kChunk = Index{1} << kShift, kMask = kChunk - 1;
  std::vector<std::unique_ptr<T[]>> chunks_;
  Index size_ = 0;
};

}  // namespace

class PlaceFolder::Impl {
 public:
  void add(const PlaceRowTexts& row) {
    if (rows_ == kNone) throw std::length_error("Too many rows of places");
    const Index at = rows_++;
    if (!location_ || location_->id != row.locationId) {
      location_ = member(locations_, locationStore_, row.locationId);
      level_ = nullptr;
    }
    if (!level_ || level_->id != row.levelId) {
      level_ = member(location_->levels, levelStore_, row.levelId);
      zone_ = nullptr;
    }
    if (!zone_ || zone_->id != row.zoneId) {
      zone_ = member(level_->zones, zoneStore_, row.zoneId);
      zone_->level = level_;
    }
    ZoneNode& zone = *zone_;
    Index draft = zone.lastDraft;
    if (draft == kNone || drafts_[draft].place->placeId() != row.placeId) draft = newDraft(zone, row, at);
    zone.lastDraft = draft;
    // A repeated serial number makes no string. Nothing observes a place being read yet, so notifying is
    // cheap.
    if (row.serialNumber && !drafts_[draft].place->serialNumbers().contains(*row.serialNumber))
      drafts_[draft].place->insertSerialNumber(std::string(*row.serialNumber));
  }

  Index rows() const noexcept { return rows_; }

  std::vector<TamrikLocation> finish() {
    for (LocationNode* location : locations_.list) {
      for (LevelNode* level : location->levels.list) {
        for (ZoneNode* zone : level->zones.list) buildPlaces(*zone);
        level->first = orderMembers(
            level->zones.list, 2, [](ZoneNode & zone) -> auto& { return zone.names[2]; });
      }
      location->first = orderMembers(
          location->levels.list, 1, [](LevelNode & level) -> auto& { return level.first.zone->names[1]; });
    }
    drafts_ = {};
    orderMembers(
        locations_.list, 0, [](LocationNode & location) -> auto& { return location.first.zone->names[0]; });
    return make();
  }

 private:
  // The member of a list with the identifier `id`, added (taking `id`) when it is new.
  template <class Node>
  static Node* member(Members<Node>& members, std::deque<Node>& store, std::string_view id) {
    if (auto found = members.index.find(id); found != members.index.end()) return found->second;
    Node& node = store.emplace_back();
    node.id = id;
    members.index.emplace(node.id, &node);
    members.list.push_back(&node);
    return &node;
  }

  // A draft for the place of `row`, the first row of a run of its rows.
  Index newDraft(ZoneNode& zone, const PlaceRowTexts& row, Index at) {
    const Index index = drafts_.size();
    Draft& draft = drafts_.emplace_back();
    draft.place =
        std::make_shared<TamrikPlace>(std::string(row.placeId), std::string(row.placeName), SerialNumbers{});
    draft.row = at;
    draft.idKey = composed_(draft.place->placeId());
    draft.nameKey = composed_(draft.place->name());
    zone.drafts.push_back(index);
    // Drafts come in file order, so only a smaller identifier makes an earlier first row.
    if (zone.firstDraft == kNone || draft.idKey < drafts_[zone.firstDraft].idKey) {
      zone.firstDraft = index;
      zone.names[0] = row.locationName;
      zone.names[1] = row.levelName;
      zone.names[2] = row.zoneName;
    }
    return index;
  }

  // Merges the drafts of each place of the zone into its first, whose row is the place's first file row.
  // Rows of one place share its identifier exactly, so they are found by hashing; hashes are computed a
  // few drafts ahead, so that their slots can be asked for before they are needed.
  void mergeRuns(ZoneNode& zone) {
    const std::vector<Index>& drafts = zone.drafts;
    if (drafts.size() < 2) return;
    std::size_t capacity = 4;
    while (capacity < 2 * drafts.size()) capacity *= 2;
    table_.assign(capacity, Slot{0, kNone});
    const std::size_t mask = capacity - 1;
    auto hashOf = [&](std::size_t k) {
      return static_cast<std::uint32_t>(std::hash<std::string_view>{}(drafts_[drafts[k]].place->placeId()));
    };
    std::array<std::uint32_t, kAhead> ahead{};
    for (std::size_t k = 0; k < std::min(kAhead, drafts.size()); ++k) ahead[k] = hashOf(k);
    bool merged = false;
    for (std::size_t k = 0; k < drafts.size(); ++k) {
      const std::uint32_t hash = ahead[k % kAhead];
      if (k + kAhead < drafts.size()) {
        ahead[k % kAhead] = hashOf(k + kAhead);
        __builtin_prefetch(&table_[ahead[k % kAhead] & mask]);
      }
      Draft& draft = drafts_[drafts[k]];
      for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        Slot& slot = table_[i];
        if (slot.draft == kNone) {
          slot = {hash, drafts[k]};
          break;
        }
        Draft& first = drafts_[slot.draft];
        if (slot.hash == hash && first.place->placeId() == draft.place->placeId()) {
          for (const std::string& serial : draft.place->serialNumbers())
            if (!first.place->serialNumbers().contains(serial)) first.place->insertSerialNumber(serial);
          draft.place.reset();
          draft.row = kNone;
          merged = true;
          break;
        }
      }
    }
    if (merged) std::erase_if(zone.drafts, [&](Index d) { return drafts_[d].row == kNone; });
  }

  // The zone's places, in the order first met and then by name. Sorting by name once, ties broken by the
  // order first met (composed identifier, then first row), gives what sorting by identifier and then
  // stably by name gives.
  void buildPlaces(ZoneNode& zone) {
    mergeRuns(zone);
    Keys& keys = keys_;
    keys.clear();
    keys.reserve(zone.drafts.size());
    for (Index d : zone.drafts) keys.emplace_back(drafts_[d].nameKey, d);
    auto nameAt = [&](Index d) { return drafts_[d].nameKey; };
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
      if (int order = a.compare(b, nameAt)) return order < 0;
      if (int order = drafts_[a.position].idKey.compare(drafts_[b.position].idKey)) return order < 0;
      return a.position < b.position;
    });
    zone.places.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
      // Drafts are visited out of order in a large zone: asking for the ones a few places on early hides
      // most of the wait for memory.
      if (i + kAhead < keys.size()) __builtin_prefetch(&drafts_[keys[i + kAhead].position]);
      Draft& draft = drafts_[keys[i].position];
      if (keys[i].position == zone.firstDraft) zone.first = {draft.row, draft.idKey, &zone};
      zone.places.push_back(std::move(draft.place));
    }
    zone.drafts = {};
  }

  // Sorts members by the order first met, then stably by the name of their first row. Returns where the
  // first of them was met, which is where their parent was.
  template <class Node, class NameOf>
  FirstMet orderMembers(std::vector<Node*>& nodes, std::size_t depth, const NameOf& nameOf) {
    Keys keys;
    keys.reserve(nodes.size());
    texts_.clear();
    for (Index k = 0; k < nodes.size(); ++k)
      keys.emplace_back(texts_.emplace_back(composed_(nodes[k]->id)), k);
    auto textAt = [&](Index k) { return texts_[k]; };
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
      if (int order = a.compare(b, textAt)) return order < 0;
      return metBefore(nodes[a.position]->first, nodes[b.position]->first, depth + 1);
    });
    permute(nodes, keys);
    FirstMet first = nodes.empty() ? FirstMet{} : nodes.front()->first;

    keys.clear();
    texts_.clear();
    for (Index k = 0; k < nodes.size(); ++k)
      keys.emplace_back(texts_.emplace_back(composed_(nameOf(*nodes[k]))), k);
    std::sort(keys.begin(), keys.end(), [&](const SortKey& a, const SortKey& b) {
      if (int order = a.compare(b, textAt)) return order < 0;
      return a.position < b.position;  // keeps the sort stable
    });
    permute(nodes, keys);
    return first;
  }

  // Whether `a` comes before `b` by the identifiers of their rows from `depth` (1: level, 2: zone) down,
  // then by position.
  static bool metBefore(const FirstMet& a, const FirstMet& b, std::size_t depth) {
    if (depth <= 1)
      if (int order = compareComposed(a.zone->level->id, b.zone->level->id)) return order < 0;
    if (depth <= 2)
      if (int order = compareComposed(a.zone->id, b.zone->id)) return order < 0;
    if (int order = a.placeKey.compare(b.placeKey)) return order < 0;
    return a.row < b.row;
  }

  template <class Node>
  static void permute(std::vector<Node*>& nodes, const Keys& order) {
    std::vector<Node*> sorted;
    sorted.reserve(nodes.size());
    for (const auto& entry : order) sorted.push_back(nodes[entry.position]);
    nodes = std::move(sorted);
  }

  // The records above the places, taking the strings of the nodes. Every sort is done: no key refers to
  // them any more.
  std::vector<TamrikLocation> make() {
    std::vector<TamrikLocation> locations;
    locations.reserve(locations_.list.size());
    for (LocationNode* locationNode : locations_.list) {
      TamrikLocation& location = locations.emplace_back(
          TamrikLocation{std::move(locationNode->id), std::move(locationNode->first.zone->names[0]), {}});
      location.levels.reserve(locationNode->levels.list.size());
      for (LevelNode* levelNode : locationNode->levels.list) {
        TamrikLevel& level = location.levels.emplace_back(
            TamrikLevel{std::move(levelNode->id), std::move(levelNode->first.zone->names[1]), {}});
        level.zones.reserve(levelNode->zones.list.size());
        for (ZoneNode* zoneNode : levelNode->zones.list)
          level.zones.push_back(TamrikZone{std::move(zoneNode->id), std::move(zoneNode->names[2]),
                                           std::move(zoneNode->places)});
      }
    }
    return locations;
  }

  static constexpr std::size_t kAhead = 8;  // how far ahead memory is asked for

  Index rows_ = 0;
  // Nodes stay where they are made: indexes and first rows refer to them.
  std::deque<LocationNode> locationStore_;
  std::deque<LevelNode> levelStore_;
  std::deque<ZoneNode> zoneStore_;
  Members<LocationNode> locations_;
  LocationNode* location_ = nullptr;  // those of the last row
  LevelNode* level_ = nullptr;
  ZoneNode* zone_ = nullptr;
  StableVector<Draft> drafts_;  // every place, in the order of their first rows
  ComposedTexts composed_;
  std::vector<Slot> table_;              // place identifier to draft, for the zone being built
  Keys keys_;                            // the drafts of the zone being built, by composed name
  std::vector<std::string_view> texts_;  // the texts of the keys being sorted, by position
};

PlaceFolder::PlaceFolder() : impl_(std::make_unique<Impl>()) {}
PlaceFolder::~PlaceFolder() = default;

void PlaceFolder::add(const PlaceRowTexts& row) {
  impl_->add(row);
}

std::size_t PlaceFolder::rows() const noexcept {
  return impl_->rows();
}

std::vector<TamrikLocation> PlaceFolder::finish() {
  return impl_->finish();
}

std::vector<TamrikLocation> foldPlaceRows(const std::vector<CSVRow>& rows) {
  PlaceFolder folder;
  for (const CSVRow& row : rows)
    folder.add({row.locationId, row.locationName, row.levelId, row.levelName, row.zoneId, row.zoneName,
                row.placeId, row.placeName, row.serialNumber});
  return folder.finish();
}

std::shared_ptr<TamrikPlace> findPlace(const std::vector<TamrikLocation>& locations,
                                       const std::array<std::string, 4>& path) {
  for (const auto& location : locations) {
    if (location.locationId != path[0]) continue;
    for (const auto& level : location.levels) {
      if (level.levelId != path[1]) continue;
      for (const auto& zone : level.zones) {
        if (zone.zoneId != path[2]) continue;
        for (const auto& place : zone.places)
          if (place && place->placeId() == path[3]) return place;
      }
    }
  }
  return nullptr;
}

}  // namespace tamrik::detail
