#pragma once

#include <optional>
#include <string>
#include <tuple>

#include "tamrikcsv/coding/coding_key.hpp"
#include "tamrikcsv/coding/fields.hpp"

namespace tamrik {

/// One line of a places file: a place with its location, level and zone, and at most one serial number.
/// Fields are found by column title, never by position; the row decodes and encodes from its declared
/// fields (below).
struct CSVRow {
  std::string locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName;
  /// Absent for an empty field, or when the file has no "Serial Number" column.
  std::optional<std::string> serialNumber;

  /// The columns by name, for reading them one by one (the load views the texts instead of copying them):
  /// in the order of the declared fields, whose titles they take.
  // clang-format off
  enum class CodingKeys { locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName,
                          serialNumber };
  // clang-format on

  /// Reads the eight required fields in column order, so that a missing column is reported in that order,
  /// then the serial number if present.
  static CSVRow decode(tamrikcsv::Decoder& decoder);
  /// Writes the eight required fields, and the serial number only when present (the field stays empty).
  void encode(tamrikcsv::Encoder& encoder) const;

  friend bool operator==(const CSVRow&, const CSVRow&) = default;
};

}  // namespace tamrik

/// The places file columns, in order.
template <>
struct tamrikcsv::Fields<tamrik::CSVRow> {
  using Row = tamrik::CSVRow;
  static constexpr std::tuple list{field("Location ID", &Row::locationId),
                                   field("Location Name", &Row::locationName),
                                   field("Level ID", &Row::levelId),
                                   field("Level Name", &Row::levelName),
                                   field("Zone ID", &Row::zoneId),
                                   field("Zone Name", &Row::zoneName),
                                   field("Place ID", &Row::placeId),
                                   field("Place Name", &Row::placeName),
                                   field("Serial Number", &Row::serialNumber)};
};

/// The same titles, by enumerator.
template <>
struct tamrikcsv::CodingKeyTraits<tamrik::CSVRow::CodingKeys> {
  static constexpr auto names = tamrikcsv::fieldTitles<tamrik::CSVRow>();
};
