#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "model/csv_row.hpp"
#include "tamrikcsv/coding/decoder.hpp"

namespace tamrikcsv {
class Encoder;
}

namespace tamrik::detail {

/// The texts of one line of a places file, as `CSVRow` has them, viewed where the reader holds them.
struct PlaceRowTexts {
  std::string_view locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName;
  std::optional<std::string_view> serialNumber;
};

/// Reads one line of a places file: the eight required fields in column order, so that a missing column is
/// reported in that order, then the serial number if present. Shared by `CSVRow` and the load, which keeps
/// only some of the texts.
PlaceRowTexts decodePlaceRow(tamrikcsv::KeyedDecodingContainer<CSVRow::CodingKeys>& row);

/// Writes one line of a places file: the eight required fields in column order, then the serial number
/// when there is one (else the field stays empty). Shared by `CSVRow` and the export, which writes
/// straight from the hierarchy.
void encodePlaceRow(tamrikcsv::Encoder& encoder, const std::array<const std::string*, 8>& fields,
                    const std::string* serialNumber);

}  // namespace tamrik::detail
