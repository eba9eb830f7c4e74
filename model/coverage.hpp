#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "model/place_records.hpp"

namespace tamrik {

/// How far the displays of a location, level or zone are recorded: its places, those holding at least one
/// serial number, and the serial numbers they hold.
struct Coverage {
  std::string id;    ///< the identifier of the location, level or zone; empty for a whole hierarchy
  std::string name;  ///< its name
  std::size_t places = 0;
  std::size_t placesWithDisplay = 0;
  std::size_t serialNumbers = 0;
  /// The levels of a location, the zones of a level (none for a zone), in the hierarchy's order.
  std::vector<Coverage> parts{};
};

/// The coverage of a whole hierarchy: its totals, with one part per location, down to the zones.
///
/// ```cpp
/// Coverage all = coverage(model.locations());
/// all.parts[0].parts[0].placesWithDisplay;  // of the first location's first level
/// ```
Coverage coverage(const std::vector<TamrikLocation>& locations);

/// Writes `all` to `destination` as a CSV table, as an export writes places (whole, or not at all, then
/// `PlacesFileError`): under the titles "Location ID", "Location Name", "Level ID", "Level Name", "Zone ID",
/// "Zone Name", "Places", "With display" and "Serial numbers", a row per location, each followed by its
/// levels, each level by its zones (the identifiers and names below the row's own left empty), and last
/// the "Total" row, named so and without identifiers.
void writeCoverage(const Coverage& all, const std::filesystem::path& destination);

}  // namespace tamrik
