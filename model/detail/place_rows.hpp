#pragma once

#include <array>
#include <string>

namespace tamrikcsv {
class Encoder;
}

namespace tamrik::detail {

/// Writes one line of a places file: the eight required fields in column order, then the serial number
/// when there is one (else the field stays empty). Shared by `CSVRow` and the export, which writes
/// straight from the hierarchy.
void encodePlaceRow(tamrikcsv::Encoder& encoder, const std::array<const std::string*, 8>& fields,
                    const std::string* serialNumber);

}  // namespace tamrik::detail
