#include "model/coverage.hpp"

#include <string>
#include <tuple>

#include "model/csv_row.hpp"
#include "model/detail/export_file.hpp"
#include "tamrikcsv/coding/fields.hpp"
#include "tamrikcsv/encoder/csv_encoder.hpp"

namespace tamrik {
namespace {

// A line of the written table: a location, a level or a zone, named by its own and its owners' columns.
struct CoverageRow {
  std::string locationId{}, locationName{}, levelId{}, levelName{}, zoneId{}, zoneName{};
  std::size_t places = 0, placesWithDisplay = 0, serialNumbers = 0;
};

}  // namespace
}  // namespace tamrik

// The places file's columns that name the group, then the words of the printed report.
template <>
struct tamrikcsv::Fields<tamrik::CoverageRow> {
  using Row = tamrik::CoverageRow;
  static constexpr auto kPlaces = fieldTitles<tamrik::CSVRow>();
  static constexpr std::tuple list{field(kPlaces[0], &Row::locationId),
                                   field(kPlaces[1], &Row::locationName),
                                   field(kPlaces[2], &Row::levelId),
                                   field(kPlaces[3], &Row::levelName),
                                   field(kPlaces[4], &Row::zoneId),
                                   field(kPlaces[5], &Row::zoneName),
                                   field("Places", &Row::places),
                                   field("With display", &Row::placesWithDisplay),
                                   field("Serial numbers", &Row::serialNumbers)};
};

namespace tamrik {
namespace {

CoverageRow rowOf(const Coverage& counts, const CoverageRow& owners) {
  CoverageRow row = owners;
  row.places = counts.places;
  row.placesWithDisplay = counts.placesWithDisplay;
  row.serialNumbers = counts.serialNumbers;
  return row;
}

void addCounts(Coverage& total, const Coverage& part) {
  total.places += part.places;
  total.placesWithDisplay += part.placesWithDisplay;
  total.serialNumbers += part.serialNumbers;
}

Coverage zoneCoverage(const TamrikZone& zone) {
  Coverage counts{zone.zoneId, zone.name};
  for (const auto& place : zone.places) {
    if (!place) continue;
    ++counts.places;
    if (!place->serialNumbers().empty()) ++counts.placesWithDisplay;
    counts.serialNumbers += place->serialNumbers().size();
  }
  return counts;
}

}  // namespace

Coverage coverage(const std::vector<TamrikLocation>& locations) {
  Coverage all;
  for (const auto& location : locations) {
    Coverage& locationCounts = all.parts.emplace_back(Coverage{location.locationId, location.name});
    for (const auto& level : location.levels) {
      Coverage& levelCounts = locationCounts.parts.emplace_back(Coverage{level.levelId, level.name});
      for (const auto& zone : level.zones)
        addCounts(levelCounts, levelCounts.parts.emplace_back(zoneCoverage(zone)));
      addCounts(locationCounts, levelCounts);
    }
    addCounts(all, locationCounts);
  }
  return all;
}

void writeCoverage(const Coverage& all, const std::filesystem::path& destination) {
  std::vector<CoverageRow> rows;
  for (const auto& location : all.parts) {
    const CoverageRow locationRow{location.id, location.name};
    rows.push_back(rowOf(location, locationRow));
    for (const auto& level : location.parts) {
      CoverageRow levelRow = locationRow;
      levelRow.levelId = level.id;
      levelRow.levelName = level.name;
      rows.push_back(rowOf(level, levelRow));
      for (const auto& zone : level.parts) {
        CoverageRow zoneRow = levelRow;
        zoneRow.zoneId = zone.id;
        zoneRow.zoneName = zone.name;
        rows.push_back(rowOf(zone, zoneRow));
      }
    }
  }
  rows.push_back(rowOf(all, CoverageRow{{}, "Total"}));
  const tamrikcsv::CSVEncoder encoder([](tamrikcsv::CSVEncoder::Configuration& c) {
    const auto titles = tamrikcsv::fieldTitles<CoverageRow>();
    c.writerConfiguration.headers.assign(titles.begin(), titles.end());
  });
  detail::writeExportFile(
      destination, "the report", [&](const std::filesystem::path& file) { encoder.encodeFile(rows, file); },
      [&] { return encoder.encodeData(rows); });
}

}  // namespace tamrik
