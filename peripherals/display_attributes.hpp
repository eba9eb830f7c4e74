#pragma once

// Display attribute lines: one block of a display's properties per line, as the registry listing prints
// them, and the searches that pick the product name and serial numbers out of a block.

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "peripherals/peripheral_info.hpp"

namespace tamrik {

/// The quoted value of "ProductName", if the line holds a non-empty one.
std::optional<QString> extractProductName(const QString& line);
/// The quoted value of "AlphanumericSerialNumber", if the line holds a non-empty one.
std::optional<QString> extractAlphanumericSerialNumber(const QString& line);
/// The first run of digits after "SerialNumber" =, if any.
std::optional<QString> extractSerialNumber(const QString& line);

/// The displays of a listing: per non-empty line, an entry for its alphanumeric and then its numeric serial
/// number (marked `sameDisplayAsPrevious` after an alphanumeric one), named by its product name or "Monitor".
/// Output that is not UTF-8 lists nothing.
QList<PeripheralInfo> parseDisplayAttributes(const QByteArray& output);

/// What a listing gives: its displays, and how many of its displays have no usable serial number.
struct DisplayListing {
  QList<PeripheralInfo> displays;       ///< as `parseDisplayAttributes` gives them
  int displaysWithoutSerialNumber = 0;  ///< the display blocks that gave no entry
};

/// `parseDisplayAttributes`, counting the displays it leaves out: every display attribute block (a line
/// with "DisplayAttributes") that gives no entry, and so every such line of output that is not UTF-8.
DisplayListing parseDisplayListing(const QByteArray& output);

}  // namespace tamrik
