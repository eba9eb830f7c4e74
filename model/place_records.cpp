#include "model/place_records.hpp"

#include <functional>

#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/coding/encoder.hpp"

namespace tamrik {

TamrikPlace::TamrikPlace(std::string placeId, std::string name, const std::vector<std::string>& serialNumbers)
    : TamrikPlace(std::move(placeId), std::move(name),
                  SerialNumbers(serialNumbers.begin(), serialNumbers.end())) {}

TamrikPlace::TamrikPlace(std::string placeId, std::string name, SerialNumbers serialNumbers)
    : placeId_(std::move(placeId)), name_(std::move(name)), serialNumbers_(std::move(serialNumbers)) {}

void TamrikPlace::setPlaceId(std::string placeId) {
  placeId_ = std::move(placeId);
  emit placeIdChanged();
}

void TamrikPlace::setName(std::string name) {
  name_ = std::move(name);
  emit nameChanged();
}

void TamrikPlace::setSerialNumbers(SerialNumbers serialNumbers) {
  serialNumbers_ = std::move(serialNumbers);
  emit serialNumbersChanged();
}

void TamrikPlace::insertSerialNumber(std::string serialNumber) {
  serialNumbers_.insert(std::move(serialNumber));
  emit serialNumbersChanged();
}

void TamrikPlace::removeSerialNumber(std::string_view serialNumber) {
  if (auto it = serialNumbers_.find(serialNumber); it != serialNumbers_.end()) serialNumbers_.erase(it);
  emit serialNumbersChanged();
}

TamrikLocation TamrikLocation::decode(tamrikcsv::Decoder& decoder) {
  auto record = decoder.container<CodingKeys>();
  TamrikLocation location;
  location.locationId = record.decode<std::string>(CodingKeys::locationId);
  location.name = record.decode<std::string>(CodingKeys::name);
  return location;
}

void TamrikLocation::encode(tamrikcsv::Encoder& encoder) const {
  auto record = encoder.container<CodingKeys>();
  record.encode(locationId, CodingKeys::locationId);
  record.encode(name, CodingKeys::name);
}

namespace {

std::shared_ptr<TamrikPlace> place(const char* id, const char* name, std::vector<std::string> serials = {}) {
  return std::make_shared<TamrikPlace>(id, name, serials);
}

}  // namespace

std::vector<TamrikLocation> makeSampleLocations() {
  return {
      {"HQ",
       "Headquarters",
       {{"HQ-1",
         "Ground Floor",
         {{"HQ-1-A", "Reception", {place("P001", "Front Desk", {"SN123456"}), place("P002", "Visitor Desk")}},
          {"HQ-1-B",
           "Open Office",
           {place("P003", "Desk 1"), place("P004", "Desk 2", {"SN654321"}), place("P005", "Desk 3")}}}},
        {"HQ-2",
         "First Floor",
         {{"HQ-2-A", "Meeting Rooms", {place("P006", "Boardroom"), place("P007", "Huddle Room")}}}}}},
      {"NB",
       "North Branch",
       {{"NB-1",
         "Ground Floor",
         {{"NB-1-A", "Hot Desks", {place("P101", "Hot Desk 1"), place("P102", "Hot Desk 2")}}}}}},
      {"WH",
       "Warehouse",
       {{"WH-1", "Loading Bay", {{"WH-1-A", "Dispatch", {place("P201", "Dispatch Desk", {"SN987654"})}}}}}},
  };
}

const std::vector<TamrikLocation>& sampleLocations() {
  static const std::vector<TamrikLocation> locations = makeSampleLocations();
  return locations;
}

}  // namespace tamrik

namespace {

// Feeds values into one hash, in order.
class Hasher {
 public:
  void feed(std::size_t value) noexcept {
    state_ ^= value + 0x9E3779B97F4A7C15u + (state_ << 6) + (state_ >> 2);
  }
  void feed(std::string_view text) noexcept { feed(std::hash<std::string_view>{}(text)); }
  std::size_t value() const noexcept { return state_; }

 private:
  std::size_t state_ = 0;
};

// Spreads an element's hash before it is summed, so that the sum of a set depends on every bit of each.
std::size_t spread(std::size_t value) noexcept {
  std::uint64_t z = value + 0x9E3779B97F4A7C15u;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return static_cast<std::size_t>(z ^ (z >> 31));
}

template <class Record, class Children>
std::size_t hashNode(const Record& record, const Children& children) noexcept {
  Hasher hasher;
  hasher.feed(std::string_view(record.id()));
  hasher.feed(std::string_view(record.name));
  hasher.feed(children.size());
  for (const auto& child : children) {
    if constexpr (std::is_same_v<typename Children::value_type, std::shared_ptr<tamrik::TamrikPlace>>)
      hasher.feed(child ? std::hash<tamrik::TamrikPlace>{}(*child) : 0);
    else
      hasher.feed(std::hash<typename Children::value_type>{}(child));
  }
  return hasher.value();
}

}  // namespace

std::size_t std::hash<tamrik::TamrikPlace>::operator()(const tamrik::TamrikPlace& place) const noexcept {
  Hasher hasher;
  hasher.feed(std::string_view(place.placeId()));
  // A sum does not depend on the order in which the set yields its elements.
  std::size_t sum = 0;
  for (const auto& serial : place.serialNumbers()) sum += spread(std::hash<std::string>{}(serial));
  hasher.feed(place.serialNumbers().size());
  hasher.feed(sum);
  return hasher.value();
}

std::size_t std::hash<tamrik::TamrikZone>::operator()(const tamrik::TamrikZone& zone) const noexcept {
  return hashNode(zone, zone.places);
}

std::size_t std::hash<tamrik::TamrikLevel>::operator()(const tamrik::TamrikLevel& level) const noexcept {
  return hashNode(level, level.zones);
}

std::size_t std::hash<tamrik::TamrikLocation>::operator()(
    const tamrik::TamrikLocation& location) const noexcept {
  return hashNode(location, location.levels);
}
