#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "model/csv_row.hpp"
#include "model/detail/place_rows.hpp"
#include "model/place_records.hpp"

namespace tamrik::detail {

/// Folds the rows of a places file, taken in one at a time in file order, into the hierarchy: what folding
/// them one by one gives after sorting them stably by location, level, zone and place identifier, with
/// every list then sorted stably by name. Texts sort as `compareComposed` orders them; identifiers match
/// as they are, and only within their parent. A record is named by its first row in that sorted order.
///
/// A row is done with once it is taken in: the folder copies what can still matter of it (a new member, a
/// serial number, the names of a row that may come first), so rows need not be held, nor their texts
/// copied, beyond that. Runs in n log n: each list is sorted once, in `finish`.
class PlaceFolder {
 public:
  PlaceFolder();
  ~PlaceFolder();
  PlaceFolder(const PlaceFolder&) = delete;
  PlaceFolder& operator=(const PlaceFolder&) = delete;

  /// Takes in the next row. Throws `std::length_error` past 2^32 - 1 rows.
  void add(const PlaceRowTexts& row);
  /// Rows taken in so far.
  std::size_t rows() const noexcept;
  /// The hierarchy of the rows taken in; the folder is spent.
  std::vector<TamrikLocation> finish();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

/// The hierarchy of `rows` (in file order), as a `PlaceFolder` gives it.
std::vector<TamrikLocation> foldPlaceRows(const std::vector<CSVRow>& rows);

/// The place with the identifiers of `path` (location, level, zone, place) in `locations`, or null.
std::shared_ptr<TamrikPlace> findPlace(const std::vector<TamrikLocation>& locations,
                                       const std::array<std::string, 4>& path);

}  // namespace tamrik::detail
