#include "model/merge.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <deque>
#include <functional>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "model/detail/text_order.hpp"

// The first file is the merge's base; each later file is joined into it list by list, matching members by
// identifier within their parent. A matched member keeps its name and gains the later file's serial
// numbers and children; a member the base lacks is moved in whole, and its list sorted again. So the
// merge never holds more than the base and the file being joined, and the file's places are freed as they
// are joined.
//
// Where each serial number stands, and which files put it there, is kept in one table whose keys view the
// serial numbers inside the base's places. Those never move, and none is removed until conflicts are
// settled, which happens after the table is read for the last time.
//
// That table is a flat index of 8-byte slots over holdings kept in small blocks. A node per serial number
// (std::unordered_map) spent a fifth of merging two million-place files in malloc, free and rehashing; the
// small blocks, like the nodes did, reuse the memory that the joined file's places free.

namespace tamrik {
namespace {

using Index = std::uint32_t;
constexpr Index kNone = std::numeric_limits<Index>::max();
constexpr std::size_t kNotFound = std::numeric_limits<std::size_t>::max();
// Files below this position are kept as bits: nearly every serial number stands at one place.
constexpr std::size_t kBitFiles = 32;

const std::string& idOf(const TamrikLocation& location) {
  return location.locationId;
}
const std::string& idOf(const TamrikLevel& level) {
  return level.levelId;
}
const std::string& idOf(const TamrikZone& zone) {
  return zone.zoneId;
}
const std::string& idOf(const std::shared_ptr<TamrikPlace>& place) {
  return place->placeId();
}
const std::string& nameOf(const TamrikLocation& location) {
  return location.name;
}
const std::string& nameOf(const TamrikLevel& level) {
  return level.name;
}
const std::string& nameOf(const TamrikZone& zone) {
  return zone.name;
}
const std::string& nameOf(const std::shared_ptr<TamrikPlace>& place) {
  return place->name();
}

// As the load orders a list: by name, members named alike by identifier.
template <class List>
void sortByName(List& list) {
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
    if (int order = detail::compareComposed(nameOf(a), nameOf(b))) return order < 0;
    if (int order = detail::compareComposed(idOf(a), idOf(b))) return order < 0;
    return idOf(a) < idOf(b);
  });
}

// Finds members of a list by identifier: first at the position the other file has it, where both lists run
// alike, else through an index made on the first miss. The list must not grow while it is used.
template <class List>
class MemberLookup {
 public:
  explicit MemberLookup(const List& list) : list_(list) {}
  std::size_t find(std::string_view id, std::size_t hint) {
    if (hint < list_.size() && idOf(list_[hint]) == id) return hint;
    if (index_.empty())
      for (std::size_t i = 0; i < list_.size(); ++i) index_.emplace(idOf(list_[i]), i);
    auto found = index_.find(id);
    return found == index_.end() ? kNotFound : found->second;
  }

 private:
  const List& list_;
  std::unordered_map<std::string_view, std::size_t> index_;
};

template <class F>
void forEachPlace(const TamrikZone& zone, F&& f) {
  for (const auto& place : zone.places)
    if (place) f(place);
}
template <class F>
void forEachPlace(const TamrikLevel& level, F&& f) {
  for (const auto& zone : level.zones) forEachPlace(zone, f);
}
template <class F>
void forEachPlace(const TamrikLocation& location, F&& f) {
  for (const auto& level : location.levels) forEachPlace(level, f);
}

// The identifiers of a place, and of each record above it, as the user reads them.
using Ids = std::array<std::string_view, 4>;

std::string inQuotes(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

// "place P1 (location L1, level F1, zone Z1)": the record at `depth` (0 a location, 3 a place).
std::string recordText(const Ids& ids, std::size_t depth) {
  static constexpr const char* kKinds[] = {"location", "level", "zone", "place"};
  std::string text = std::string(kKinds[depth]) + " " + std::string(ids[depth]);
  for (std::size_t above = 0; above < depth; ++above)
    text += (above == 0 ? " (" : ", ") + std::string(kKinds[above]) + " " + std::string(ids[above]);
  return depth == 0 ? text : text + ")";
}

std::string_view withoutLeadingZeros(std::string_view id) {
  return id.substr(std::min(id.find_first_not_of('0'), id.size()));
}

struct IdsHash {
  std::size_t operator()(const Ids& ids) const noexcept {
    std::size_t hash = 0;
    for (auto id : ids) hash = hash * 1'000'003 ^ std::hash<std::string_view>{}(id);
    return hash;
  }
};

// The places that conflicts name, found in one walk over the hierarchy: looking each up by itself would
// scan its zone once per conflict.
class ConflictPlaces {
 public:
  ConflictPlaces(const PlaceLocations& locations, const std::vector<MergeConflict>& conflicts) {
    for (const auto& conflict : conflicts)
      for (const auto& place : conflict.places) byIds_.try_emplace(idsOf(place), nullptr);
    if (byIds_.empty()) return;
    for (const auto& location : locations)
      for (const auto& level : location.levels)
        for (const auto& zone : level.zones)
          for (const auto& place : zone.places)
            if (place) {
              auto found =
                  byIds_.find(Ids{location.locationId, level.levelId, zone.zoneId, place->placeId()});
              if (found != byIds_.end()) found->second = place.get();
            }
  }
  TamrikPlace* find(const ConflictPlace& place) const {
    auto found = byIds_.find(idsOf(place));
    return found == byIds_.end() ? nullptr : found->second;
  }

 private:
  static Ids idsOf(const ConflictPlace& place) {
    return {place.ids[0], place.ids[1], place.ids[2], place.ids[3]};
  }
  std::unordered_map<Ids, TamrikPlace*, IdsHash> byIds_;
};

// Leaves the serial number of `conflict` at its place `kept` alone.
void keepOnly(const ConflictPlaces& places, MergeConflict& conflict, std::size_t kept) {
  for (std::size_t p = 0; p < conflict.places.size(); ++p) {
    TamrikPlace* place = places.find(conflict.places[p]);
    if (!place) continue;
    if (p != kept)
      place->removeSerialNumber(conflict.serialNumber);
    else if (!place->serialNumbers().contains(conflict.serialNumber))
      place->insertSerialNumber(conflict.serialNumber);  // a preference had taken it away
  }
  conflict.kept = kept;
}

// Where a serial number stands: one place and the files below `kBitFiles` that put it there, or, once a
// second place or a later file does, the merge's spread `spread`.
struct Holding {
  std::string_view serial;
  TamrikPlace* place = nullptr;
  std::uint32_t files = 0;
  Index spread = kNone;
};

// The holdings by serial number: open addressing with linear probing over slots that hold a holding's
// position and the high half of its key's hash, so that a probe reads a key only when that half matches.
class HoldingTable {
 public:
  std::size_t size() const noexcept { return holdings_.size(); }
  // Room for `count` serial numbers in all without growing.
  void reserve(std::size_t count) {
    if (count * 4 > slots_.size() * 3) rehash(std::bit_ceil(std::max<std::size_t>(count * 4 / 3 + 1, 64)));
  }

  // The holding of `serial`, made with `place` if there is none.
  Holding& find(std::string_view serial, TamrikPlace* place) {
    if ((holdings_.size() + 1) * 4 > slots_.size() * 3) rehash(std::max<std::size_t>(slots_.size() * 2, 64));
    const std::uint64_t hash = std::hash<std::string_view>{}(serial);
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t i = hash & mask_;; i = (i + 1) & mask_) {
      const Slot slot = slots_[i];
      if (slot.position == 0) {
        holdings_.push_back({serial, place});
        slots_[i] = {static_cast<std::uint32_t>(holdings_.size()), tag};
        return holdings_.back();
      }
      if (slot.tag == tag && holdings_[slot.position - 1].serial == serial)
        return holdings_[slot.position - 1];
    }
  }

 private:
  struct Slot {
    std::uint32_t position = 0;  // of the holding, from 1; 0 for an empty slot
    std::uint32_t tag = 0;
  };

  void rehash(std::size_t size) {
    if (holdings_.size() >= std::numeric_limits<std::uint32_t>::max())
      throw std::length_error("merge: too many serial numbers");
    slots_.assign(size, Slot{});
    mask_ = size - 1;
    for (std::size_t h = 0; h < holdings_.size(); ++h) {
      const std::uint64_t hash = std::hash<std::string_view>{}(holdings_[h].serial);
      std::size_t i = hash & mask_;
      while (slots_[i].position != 0) i = (i + 1) & mask_;
      slots_[i] = {static_cast<std::uint32_t>(h + 1), static_cast<std::uint32_t>(hash >> 32)};
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::deque<Holding> holdings_;
};

}  // namespace

bool MergeResult::hasUnsettledConflicts() const noexcept {
  return std::any_of(conflicts.begin(), conflicts.end(), [](const auto& c) { return !c.kept; });
}

class PlacesMerge::Impl {
 public:
  void add(LoadedFile file) {
    const std::size_t k = files_.size();
    files_.push_back(std::move(file.file));
    if (k == 0) {
      base_ = std::move(file.locations);
      return;
    }
    file_ = k;
    reserveHoldings(file.locations);
    joinList(base_, file.locations, Ids{}, 0);
  }

  const std::vector<std::filesystem::path>& files() const noexcept { return files_; }

  MergeResult finish(const std::vector<std::size_t>& preferences) {
    if (files_.size() == 1)
      for (const auto& location : base_)
        forEachPlace(location, [&](const auto& place) { record(*place, 0); });
    MergeResult result;
    warnOfLeadingZeros();
    result.conflicts = conflicts();
    holdings_ = {};
    spreads_ = {};
    spreadSerials_ = {};
    settle(result.conflicts, preferences);
    result.locations = std::move(base_);
    result.warnings = std::move(warnings_);
    return result;
  }

 private:
  using Spread = std::vector<std::pair<TamrikPlace*, std::vector<std::size_t>>>;

  void record(std::string_view serial, TamrikPlace* place, std::size_t file) {
    Holding& holding = holdings_.find(serial, place);
    if (holding.spread == kNone) {
      if (holding.place == place && file < kBitFiles) {
        holding.files |= std::uint32_t{1} << file;
        return;
      }
      Spread spread;
      if (holding.files != 0) {
        spread.emplace_back(holding.place, std::vector<std::size_t>{});
        for (std::size_t f = 0; f < kBitFiles; ++f)
          if (holding.files >> f & 1) spread.back().second.push_back(f);
      }
      holding.spread = static_cast<Index>(spreads_.size());
      spreads_.push_back(std::move(spread));
      spreadSerials_.push_back(serial);
    }
    Spread& spread = spreads_[holding.spread];
    auto at =
        std::find_if(spread.begin(), spread.end(), [&](const auto& entry) { return entry.first == place; });
    if (at == spread.end()) at = spread.insert(spread.end(), {place, {}});
    if (at->second.empty() || at->second.back() != file) at->second.push_back(file);
  }
  void record(TamrikPlace& place, std::size_t file) {
    for (const auto& serial : place.serialNumbers()) record(serial, &place, file);
  }
  // Room at once for the serial numbers held so far and, from the third file on, those of `incoming`:
  // growing the table to them rehashed it again and again, 7% of merging two million-place files. The
  // second file's new ones may double it once, late in its join; room for them up front, while both files
  // are held whole, added 8 MB to the peak of that merge.
  void reserveHoldings(const PlaceLocations& incoming) {
    auto serialsOf = [](const PlaceLocations& locations) {
      std::size_t serials = 0;
      for (const auto& location : locations)
        forEachPlace(location, [&](const auto& place) { serials += place->serialNumbers().size(); });
      return serials;
    };
    holdings_.reserve(file_ == 1 ? serialsOf(base_) : holdings_.size() + serialsOf(incoming));
  }

  void noteName(const Ids& ids, std::size_t depth, const std::string& kept, const std::string& other) {
    if (kept == other) return;
    warnings_.push_back({MergeWarning::Kind::differentName,
                         files_[file_].string() + " names " + recordText(ids, depth) + " " + inQuotes(other) +
                             ", an earlier file " + inQuotes(kept) + ": the merge keeps " + inQuotes(kept) +
                             "."});
  }

  // Joins `incoming`, the list of the file being joined at `depth` under the records `ids` names, into
  // `into`, the base's.
  template <class List>
  void joinList(List& into, List& incoming, Ids ids, std::size_t depth) {
    MemberLookup<List> lookup(into);
    std::vector<bool> met(file_ == 1 ? into.size() : 0);
    List added;
    for (std::size_t i = 0; i < incoming.size(); ++i) {
      auto& member = incoming[i];
      const std::size_t at = lookup.find(idOf(member), i);
      if (at == kNotFound) {
        takeNew(member);
        added.push_back(std::move(member));
        continue;
      }
      if (!met.empty()) met[at] = true;
      ids[depth] = idOf(into[at]);
      noteName(ids, depth, nameOf(into[at]), nameOf(member));
      joinMember(into[at], member, ids, depth);
    }
    // The first file's serial numbers are recorded as the second is joined, so that the table grows as
    // the second file's places are freed.
    for (std::size_t at = 0; at < met.size(); ++at)
      if (!met[at]) recordWhole(into[at]);
    incoming = {};
    if (added.empty()) return;
    for (auto& member : added) into.push_back(std::move(member));
    sortByName(into);
  }

  void joinMember(TamrikLocation& into, TamrikLocation& member, const Ids& ids, std::size_t depth) {
    joinList(into.levels, member.levels, ids, depth + 1);
  }
  void joinMember(TamrikLevel& into, TamrikLevel& member, const Ids& ids, std::size_t depth) {
    joinList(into.zones, member.zones, ids, depth + 1);
  }
  void joinMember(TamrikZone& into, TamrikZone& member, const Ids& ids, std::size_t depth) {
    joinList(into.places, member.places, ids, depth + 1);
  }
  void joinMember(std::shared_ptr<TamrikPlace>& into, std::shared_ptr<TamrikPlace>& member, const Ids&,
                  std::size_t) {
    if (file_ == 1) record(*into, 0);
    for (const auto& serial : member->serialNumbers()) {
      if (!into->serialNumbers().contains(serial)) into->insertSerialNumber(serial);
      record(*into->serialNumbers().find(serial), into.get(), file_);
    }
  }

  template <class Member>
  void recordWhole(const Member& member) {
    forEachPlace(member, [&](const auto& place) { record(*place, 0); });
  }
  void recordWhole(const std::shared_ptr<TamrikPlace>& place) {
    if (place) record(*place, 0);
  }

  template <class Member>
  void takeNew(const Member& member) {
    forEachPlace(member, [&](const auto& place) { takeNew(place); });
  }
  void takeNew(const std::shared_ptr<TamrikPlace>& place) {
    if (!place) return;
    record(*place, file_);
    introducedBy_[place.get()] = file_;
  }

  // Places whose identifiers differ only by leading zeros ("007", "7") may be one place that two files
  // write differently. Two that one file brought in are that file's own and were never merged.
  void warnOfLeadingZeros() {
    struct Candidate {
      const TamrikPlace* place;
      Ids ids;
    };
    std::unordered_map<Ids, std::vector<Candidate>, IdsHash> groups;
    std::vector<Ids> order;  // of the groups, as first met
    auto walk = [&](auto&& visit) {
      for (const auto& location : base_)
        for (const auto& level : location.levels)
          for (const auto& zone : level.zones)
            for (const auto& place : zone.places)
              if (place)
                visit(place.get(), Ids{location.locationId, level.levelId, zone.zoneId, place->placeId()});
    };
    walk([&](const TamrikPlace* place, const Ids& ids) {
      Ids stripped;
      for (std::size_t i = 0; i < 4; ++i) stripped[i] = withoutLeadingZeros(ids[i]);
      if (stripped == ids) return;
      auto [group, fresh] = groups.try_emplace(stripped);
      if (fresh) order.push_back(stripped);
      group->second.push_back({place, ids});
    });
    if (groups.empty()) return;
    walk([&](const TamrikPlace* place, const Ids& ids) {
      if (auto group = groups.find(ids); group != groups.end())
        group->second.insert(group->second.begin(), {place, ids});
    });
    auto introducer = [&](const TamrikPlace* place) {
      auto found = introducedBy_.find(place);
      return found == introducedBy_.end() ? std::size_t{0} : found->second;
    };
    for (const auto& key : order) {
      const auto& candidates = groups[key];
      for (std::size_t a = 0; a < candidates.size(); ++a)
        for (std::size_t b = a + 1; b < candidates.size(); ++b) {
          const std::size_t fileA = introducer(candidates[a].place), fileB = introducer(candidates[b].place);
          if (fileA == fileB) continue;
          warnings_.push_back({MergeWarning::Kind::leadingZeros,
                               recordText(candidates[a].ids, 3) + " of " + files_[fileA].string() + " and " +
                                   recordText(candidates[b].ids, 3) + " of " + files_[fileB].string() +
                                   " differ only by leading zeros and may be the same place; they are kept "
                                   "apart."});
        }
    }
  }

  std::vector<MergeConflict> conflicts() const {
    std::vector<MergeConflict> conflicts;
    std::unordered_map<const TamrikPlace*, std::vector<std::pair<std::size_t, std::size_t>>> where;
    // Only the few spread serial numbers, not the whole table: walking it was 4.5% of merging two
    // million-place files.
    for (std::size_t s = 0; s < spreads_.size(); ++s) {
      if (spreads_[s].size() < 2) continue;
      MergeConflict& conflict = conflicts.emplace_back(MergeConflict{std::string(spreadSerials_[s])});
      for (const auto& [place, files] : spreads_[s]) {
        where[place].emplace_back(conflicts.size() - 1, conflict.places.size());
        conflict.places.push_back({{}, {}, files});
      }
    }
    if (conflicts.empty()) return conflicts;
    // Each conflict's places in hierarchy order, with their identifiers and names.
    std::vector<std::vector<std::size_t>> rank(conflicts.size());
    for (auto& conflict : conflicts) rank[&conflict - conflicts.data()].resize(conflict.places.size());
    std::size_t ordinal = 0;
    for (const auto& location : base_)
      for (const auto& level : location.levels)
        for (const auto& zone : level.zones)
          for (const auto& place : zone.places) {
            ++ordinal;
            auto found = place ? where.find(place.get()) : where.end();
            if (found == where.end()) continue;
            for (auto [c, p] : found->second) {
              conflicts[c].places[p].ids = {location.locationId, level.levelId, zone.zoneId,
                                            place->placeId()};
              conflicts[c].places[p].names = {location.name, level.name, zone.name, place->name()};
              rank[c][p] = ordinal;
            }
          }
    for (std::size_t c = 0; c < conflicts.size(); ++c) {
      std::vector<std::size_t> byRank(conflicts[c].places.size());
      for (std::size_t p = 0; p < byRank.size(); ++p) byRank[p] = p;
      std::sort(byRank.begin(), byRank.end(), [&](auto a, auto b) { return rank[c][a] < rank[c][b]; });
      std::vector<ConflictPlace> ordered;
      for (auto p : byRank) ordered.push_back(std::move(conflicts[c].places[p]));
      conflicts[c].places = std::move(ordered);
    }
    std::sort(conflicts.begin(), conflicts.end(),
              [](const auto& a, const auto& b) { return a.serialNumber < b.serialNumber; });
    return conflicts;
  }

  // Takes each conflict's serial number away from the places that a preferred file does not put it at.
  void settle(std::vector<MergeConflict>& conflicts, const std::vector<std::size_t>& preferences) {
    if (preferences.empty()) return;
    const ConflictPlaces found(base_, conflicts);
    for (auto& conflict : conflicts) {
      for (std::size_t preferred : preferences) {
        const auto& places = conflict.places;
        const bool putsIt = std::any_of(places.begin(), places.end(), [&](const ConflictPlace& place) {
          return std::find(place.files.begin(), place.files.end(), preferred) != place.files.end();
        });
        if (!putsIt) continue;
        if (auto kept = placeGivenBy(conflict, preferred)) {
          keepOnly(found, conflict, *kept);
          conflict.settledBy = preferred;
        }
        break;
      }
    }
  }

  std::vector<std::filesystem::path> files_;
  std::size_t file_ = 0;  // the file being joined
  PlaceLocations base_;
  HoldingTable holdings_;
  std::vector<Spread> spreads_;
  std::vector<std::string_view> spreadSerials_;  // the serial number of each of `spreads_`
  std::unordered_map<const TamrikPlace*, std::size_t> introducedBy_;  // places the first file lacked
  std::vector<MergeWarning> warnings_;
};

PlacesMerge::PlacesMerge() : impl_(std::make_unique<Impl>()) {}
PlacesMerge::~PlacesMerge() = default;
void PlacesMerge::add(LoadedFile file) {
  impl_->add(std::move(file));
}
const std::vector<std::filesystem::path>& PlacesMerge::files() const noexcept {
  return impl_->files();
}
MergeResult PlacesMerge::finish(const std::vector<std::size_t>& preferences) {
  return impl_->finish(preferences);
}

MergeResult mergePlaces(std::vector<LoadedFile> files, const std::vector<std::size_t>& preferences) {
  PlacesMerge merge;
  for (auto& file : files) merge.add(std::move(file));
  return merge.finish(preferences);
}

MergeResult readAndMerge(const std::vector<std::filesystem::path>& files, const MergeReadOptions& options,
                         std::size_t* failed) {
  WorkProgress* progress = options.progress;
  if (progress) {
    // One count over all the files, so that the share done never goes back.
    std::uint64_t total = 0;
    for (const auto& file : files) {
      std::error_code unknown;
      const auto size = std::filesystem::file_size(file, unknown);
      if (!unknown) total += size;
    }
    progress->setTotal(total);
  }
  PlacesMerge merge;
  std::vector<MergeWarning> loadWarnings;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (failed) *failed = i;
    auto loaded = PlaceDataModel::readPlaces(files[i], options.read, progress, options.home);
    std::filesystem::path name = i < options.names.size() ? options.names[i] : files[i];
    if (loaded.report.hasWarnings())
      loadWarnings.push_back({MergeWarning::Kind::fileWarning, loaded.report.warningText(name.string())});
    merge.add({std::move(name), std::move(loaded.locations)});
    if (progress && progress->isCancelled()) throw WorkCancelled();
  }
  if (failed) *failed = files.size();  // what fails from here on is no one file's fault
  MergeResult result = merge.finish(options.preferences);
  result.warnings.insert(result.warnings.begin(), std::make_move_iterator(loadWarnings.begin()),
                         std::make_move_iterator(loadWarnings.end()));
  return result;
}

std::string placePath(const ConflictPlace& place) {
  std::string names, ids;
  for (std::size_t i = 0; i < 4; ++i) {
    names += (i == 0 ? "" : " / ") + place.names[i];
    ids += (i == 0 ? "" : " / ") + place.ids[i];
  }
  return names + " (" + ids + ")";
}

std::optional<std::size_t> placeGivenBy(const MergeConflict& conflict, std::size_t file) {
  std::optional<std::size_t> given;
  for (std::size_t p = 0; p < conflict.places.size(); ++p) {
    const auto& files = conflict.places[p].files;
    if (std::find(files.begin(), files.end(), file) == files.end()) continue;
    if (given) return std::nullopt;  // the file itself puts it at two places
    given = p;
  }
  return given;
}

void settleConflicts(MergeResult& result, const std::vector<std::size_t>& picks) {
  // Checked before anything changes: a serial number left at two places must not reach an export.
  if (picks.size() != result.conflicts.size())
    throw std::invalid_argument("settleConflicts: " + std::to_string(picks.size()) + " picks for " +
                                std::to_string(result.conflicts.size()) + " conflicts");
  for (std::size_t c = 0; c < picks.size(); ++c)
    if (picks[c] >= result.conflicts[c].places.size())
      throw std::invalid_argument("settleConflicts: no place " + std::to_string(picks[c]) +
                                  " in the conflict of " + result.conflicts[c].serialNumber);
  const ConflictPlaces places(result.locations, result.conflicts);
  for (std::size_t c = 0; c < picks.size(); ++c) {
    MergeConflict& conflict = result.conflicts[c];
    if (conflict.kept != picks[c]) conflict.settledBy.reset();
    keepOnly(places, conflict, picks[c]);
  }
}

}  // namespace tamrik
