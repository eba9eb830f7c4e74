#pragma once

// Finding places by name or identifier, ignoring letter case and accents: "cafe" finds "Café Zürich".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/place_records.hpp"

namespace tamrik {

/// `text` with accents removed and letter case folded (through ICU), for matching by containment.
std::string foldForSearch(std::string_view text);

/// What a search shows of a hierarchy: for each location, level and zone whether it is shown, and for a
/// zone whether all its places are (it or a group holding it matched) or only the matching ones.
struct SearchResult {
  std::vector<bool> locations;                                ///< by location position
  std::vector<std::vector<bool>> levels;                      ///< by location, then level position
  std::vector<std::vector<std::vector<std::uint8_t>>> zones;  ///< by location, level, zone: a `ZoneMatch`
};

enum ZoneMatch : std::uint8_t { hidden = 0, somePlaces = 1, allPlaces = 2 };

/// The folded names and identifiers of a hierarchy, made once per load, so that each keystroke is a scan
/// of prepared text.
///
/// ```cpp
/// PlaceSearch search(model.locations());
/// SearchResult shown = search.find("zurich");
/// bool desk = search.placeMatches(0, 0, 0, 3, "zurich");
/// ```
class PlaceSearch {
 public:
  PlaceSearch() = default;
  explicit PlaceSearch(const std::vector<TamrikLocation>& locations);

  /// What shows for `text`: the records whose name or identifier contains it, the groups that hold them,
  /// and everything under a record that matched. `text` is folded here.
  SearchResult find(std::string_view text) const;
  /// Whether the place at that position has a name or identifier containing `foldedText`.
  bool placeMatches(std::size_t location, std::size_t level, std::size_t zone, std::size_t place,
                    std::string_view foldedText) const;

 private:
  struct Entry {
    std::string name, id;  // folded
    bool contains(std::string_view folded) const;
  };
  // A zone's places as one text, each place's folded name and identifier followed by a line feed (which a
  // search text never holds), so that a zone is scanned in one search.
  struct Zone {
    Entry entry;
    std::string places;
    std::vector<std::uint32_t> placeStarts;  // where each place's name begins in `places`, and the end
  };
  struct Level {
    Entry entry;
    std::vector<Zone> zones;
  };
  struct Location {
    Entry entry;
    std::vector<Level> levels;
  };
  std::vector<Location> locations_;
};

}  // namespace tamrik
