#pragma once

// The place hierarchy: Location > Level > Zone > Place. The first three are plain values; a place is a
// shared, observable object whose serial numbers change in place when displays are assigned to it.
//
// Every record is identified by its identifier alone: two records of one kind are equal when their
// identifiers are, whatever their names or children. Hashes take in more than equality does (names,
// children, serial numbers), so equal records may hash differently.

#include <QMetaType>
#include <QObject>
#include <array>
#include <cstddef>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tamrikcsv/coding/coding_key.hpp"

namespace tamrikcsv {
class Decoder;
class Encoder;
}  // namespace tamrikcsv

namespace tamrik {

/// The serial numbers of the displays at a place: no duplicates, and no meaning in their order.
using SerialNumbers = std::set<std::string, std::less<>>;

/// A desk or similar workstation, shared between the hierarchy, the store and the views. Every assignment
/// of a property notifies, even of an equal value.
///
/// ```cpp
/// auto desk = std::make_shared<TamrikPlace>("P1", "Desk by the window", std::vector<std::string>{"SN1"});
/// desk->insertSerialNumber("SN2");
/// ```
class TamrikPlace : public QObject {
  Q_OBJECT
  Q_PROPERTY(std::string placeId READ placeId WRITE setPlaceId NOTIFY placeIdChanged)
  Q_PROPERTY(std::string name READ name WRITE setName NOTIFY nameChanged)
  Q_PROPERTY(tamrik::SerialNumbers serialNumbers READ serialNumbers WRITE setSerialNumbers NOTIFY
                 serialNumbersChanged)

 public:
  /// A place holding the distinct texts of `serialNumbers` (repeated ones collapse).
  TamrikPlace(std::string placeId, std::string name, const std::vector<std::string>& serialNumbers = {});
  /// A place holding `serialNumbers`.
  TamrikPlace(std::string placeId, std::string name, SerialNumbers serialNumbers);

  /// The identifier, `placeId`.
  const std::string& id() const noexcept { return placeId_; }
  /// The identifier, an opaque text.
  const std::string& placeId() const noexcept { return placeId_; }
  void setPlaceId(std::string placeId);
  /// The name shown for the place.
  const std::string& name() const noexcept { return name_; }
  void setName(std::string name);
  /// The serial numbers of the displays at the place.
  const SerialNumbers& serialNumbers() const noexcept { return serialNumbers_; }
  void setSerialNumbers(SerialNumbers serialNumbers);

  /// Adds `serialNumber` unless the place holds it already; notifies in either case.
  void insertSerialNumber(std::string serialNumber);
  /// Removes `serialNumber` if the place holds it; notifies in either case.
  void removeSerialNumber(std::string_view serialNumber);

  /// Places are the same when their identifiers are, even as distinct objects.
  friend bool operator==(const TamrikPlace& a, const TamrikPlace& b) noexcept {
    return a.placeId_ == b.placeId_;
  }

 signals:
  void placeIdChanged();
  void nameChanged();
  void serialNumbersChanged();

 private:
  std::string placeId_;
  std::string name_;
  SerialNumbers serialNumbers_;
};

/// An area of a level; its places are shared with the store and the views.
struct TamrikZone {
  std::string zoneId;  ///< identifier, an opaque text
  std::string name;
  std::vector<std::shared_ptr<TamrikPlace>> places;  ///< in display order

  /// The identifier; zones are the same when their identifiers are.
  const std::string& id() const noexcept { return zoneId; }
  friend bool operator==(const TamrikZone& a, const TamrikZone& b) noexcept { return a.zoneId == b.zoneId; }
};

/// A floor of a location.
struct TamrikLevel {
  std::string levelId;  ///< identifier, an opaque text
  std::string name;
  std::vector<TamrikZone> zones;  ///< in display order

  /// The identifier; levels are the same when their identifiers are.
  const std::string& id() const noexcept { return levelId; }
  friend bool operator==(const TamrikLevel& a, const TamrikLevel& b) noexcept {
    return a.levelId == b.levelId;
  }
};

/// A site of the organisation. Its coding covers `locationId` and `name` only: decoding gives no levels.
struct TamrikLocation {
  std::string locationId;  ///< identifier, an opaque text
  std::string name;
  std::vector<TamrikLevel> levels;  ///< in display order

  enum class CodingKeys { locationId, name };
  static TamrikLocation decode(tamrikcsv::Decoder& decoder);
  void encode(tamrikcsv::Encoder& encoder) const;

  /// The identifier; locations are the same when their identifiers are.
  const std::string& id() const noexcept { return locationId; }
  friend bool operator==(const TamrikLocation& a, const TamrikLocation& b) noexcept {
    return a.locationId == b.locationId;
  }
};

/// A small fixed hierarchy for view previews (three locations), built once on first use.
const std::vector<TamrikLocation>& sampleLocations();
/// The same hierarchy made anew, with places of its own that assignments may change.
std::vector<TamrikLocation> makeSampleLocations();

}  // namespace tamrik

template <>
struct tamrikcsv::CodingKeyTraits<tamrik::TamrikLocation::CodingKeys> {
  static constexpr std::array names{"locationId", "name"};
};

/// Identifier, then serial numbers, these independently of their order.
template <>
struct std::hash<tamrik::TamrikPlace> {
  std::size_t operator()(const tamrik::TamrikPlace& place) const noexcept;
};
/// Identifier, name, number of places, then each place.
template <>
struct std::hash<tamrik::TamrikZone> {
  std::size_t operator()(const tamrik::TamrikZone& zone) const noexcept;
};
/// Identifier, name, number of zones, then each zone.
template <>
struct std::hash<tamrik::TamrikLevel> {
  std::size_t operator()(const tamrik::TamrikLevel& level) const noexcept;
};
/// Identifier, name, number of levels, then each level.
template <>
struct std::hash<tamrik::TamrikLocation> {
  std::size_t operator()(const tamrik::TamrikLocation& location) const noexcept;
};
