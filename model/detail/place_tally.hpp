#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "model/place_counts.hpp"
#include "model/place_records.hpp"

namespace tamrik::detail {

/// How many places of each group of a hierarchy hold a display, counted once from the hierarchy, on any
/// thread, and then kept by `PlaceCounts`.
///
/// Groups are numbered across the hierarchy in its order: levels across locations, zones across levels.
/// The first level of each location and the first zone of each level, with one past the last at the end,
/// take a group's positions to its number and back by bisection. Places are kept by address, so that a
/// place the store names is found without a walk, each with its zone and whether it was counted as holding
/// a display.
struct PlaceTally {
  struct Place {
    const TamrikPlace* place;
    std::uint32_t zone;
    bool withDisplay;
  };

  std::vector<PlaceCount> locations, levels, zones;
  std::vector<std::size_t> firstLevel, firstZone;
  std::vector<Place> places;  // by address

  explicit PlaceTally(const std::vector<TamrikLocation>& hierarchy);

  static bool byAddress(const Place& a, const Place& b) { return std::less<>{}(a.place, b.place); }
  /// The number of the group among `first` (first members of each group) that holds member `member`.
  static std::size_t groupOf(const std::vector<std::size_t>& first, std::size_t member);
  /// The number of the level at `level` of the location at `location`, or nothing.
  std::optional<std::size_t> levelNumber(std::size_t location, std::size_t level) const;
};

}  // namespace tamrik::detail
