#pragma once

#include <array>
#include <optional>
#include <string>

#include "tamrikcsv/coding/coding_key.hpp"

namespace tamrikcsv {
class Decoder;
class Encoder;
}  // namespace tamrikcsv

namespace tamrik {

/// One line of a places file: a place with its location, level and zone, and at most one serial number.
/// Fields are found by column title, never by position.
struct CSVRow {
  std::string locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName;
  /// Absent for an empty field, or when the file has no "Serial Number" column.
  std::optional<std::string> serialNumber;

  // clang-format off
  enum class CodingKeys { locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName,
                          serialNumber };
  // clang-format on

  /// Reads the eight required fields in column order, then the serial number if present.
  static CSVRow decode(tamrikcsv::Decoder& decoder);
  /// Writes the eight required fields, and the serial number only when present (the field stays empty).
  void encode(tamrikcsv::Encoder& encoder) const;

  friend bool operator==(const CSVRow&, const CSVRow&) = default;
};

}  // namespace tamrik

/// The places file columns, in order.
template <>
struct tamrikcsv::CodingKeyTraits<tamrik::CSVRow::CodingKeys> {
  static constexpr std::array names{"Location ID", "Location Name", "Level ID",   "Level Name",   "Zone ID",
                                    "Zone Name",   "Place ID",      "Place Name", "Serial Number"};
};
