#include "model/detail/serial_index.hpp"

#include <algorithm>

namespace tamrik::detail {

void SerialIndex::build(const std::vector<TamrikLocation>& locations) {
  holders_.clear();
  std::size_t count = 0;
  for (const auto& location : locations)
    for (const auto& level : location.levels)
      for (const auto& zone : level.zones)
        for (const auto& place : zone.places) count += place ? place->serialNumbers().size() : 0;
  holders_.reserve(count);
  for (const auto& location : locations)
    for (const auto& level : location.levels)
      for (const auto& zone : level.zones)
        for (const auto& place : zone.places) {
          if (!place) continue;
          for (const auto& serial : place->serialNumbers()) {
            Holders& holders = holders_[serial];
            if (!holders.first)
              holders.first = place;
            else
              holders.more.push_back(place);
          }
        }
  built_ = true;
}

std::vector<std::shared_ptr<TamrikPlace>> SerialIndex::holders(const std::string& serialNumber) const {
  auto entry = holders_.find(serialNumber);
  if (entry == holders_.end()) return {};
  std::vector<std::shared_ptr<TamrikPlace>> places{entry->second.first};
  places.insert(places.end(), entry->second.more.begin(), entry->second.more.end());
  return places;
}

void SerialIndex::add(const std::string& serialNumber, std::shared_ptr<TamrikPlace> place) {
  Holders& holders = holders_[serialNumber];
  if (!holders.first) {
    holders.first = std::move(place);
  } else if (holders.first != place &&
             std::find(holders.more.begin(), holders.more.end(), place) == holders.more.end()) {
    holders.more.push_back(std::move(place));
  }
}

}  // namespace tamrik::detail
