#pragma once

// The base block of a display's EDID, turned into the display attribute line the registry listing would
// print for it.

#include <QByteArray>
#include <cstdint>
#include <optional>
#include <string>

namespace tamrik {

struct EdidIdentity {
  std::string manufacturer;  ///< three letters, e.g. "DEL"
  std::uint16_t productCode = 0;
  /// Bytes 12 to 15; absent when 0 ("not given") or the placeholder 0x01010101 or 0xFFFFFFFF.
  std::optional<std::uint32_t> serial;
  std::optional<std::string> serialText;  ///< the serial-number string descriptors (0xFF), joined
  std::optional<std::string> name;        ///< the monitor-name descriptors (0xFC), joined
};

/// The identity in an EDID, or nothing when its base block is short, its header or checksum is wrong, or its
/// manufacturer is not three letters. A string descriptor ends at a line feed or NUL; one holding a byte
/// outside printable ASCII before that is left out alone.
std::optional<EdidIdentity> parseEdid(const QByteArray& edid);

/// The line, for example
/// `"DisplayAttributes" =
/// {"ProductAttributes"={"ManufacturerID"="DEL","ProductID"=41082,"SerialNumber"=...}`. Quotation marks and
/// braces are left out of the texts, so that the line always reads back.
QByteArray displayAttributesLine(const EdidIdentity& identity);

}  // namespace tamrik
