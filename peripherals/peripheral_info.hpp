#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <functional>

namespace tamrik {

/// One attached display, known by its serial number.
struct PeripheralInfo {
  QString serialNumber;
  QString productName;
  QString icon;  ///< a symbol name; the enumeration always gives "display"
  /// This is the numeric serial number of the monitor whose alphanumeric one is the entry just before: one
  /// monitor, listed twice.
  bool sameDisplayAsPrevious = false;

  const QString& id() const noexcept { return serialNumber; }
  /// Displays are the same when their serial numbers are; the rest takes no part.
  friend bool operator==(const PeripheralInfo& a, const PeripheralInfo& b) {
    return a.serialNumber == b.serialNumber;
  }
};

inline size_t qHash(const PeripheralInfo& info, size_t seed = 0) noexcept {
  return qHash(info.serialNumber, seed);
}

}  // namespace tamrik

template <>
struct std::hash<tamrik::PeripheralInfo> {
  std::size_t operator()(const tamrik::PeripheralInfo& info) const noexcept {
    return qHash(info.serialNumber);
  }
};

Q_DECLARE_METATYPE(tamrik::PeripheralInfo)
