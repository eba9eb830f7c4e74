#pragma once

#include <vector>

#include "model/csv_row.hpp"
#include "model/place_records.hpp"

namespace tamrik::detail {

/// The hierarchy of `rows` (in file order): what folding them one by one gives after sorting them stably
/// by location, level, zone and place identifier, with every list then sorted stably by name. Texts sort
/// as `compareComposed` orders them; identifiers match as they are, and only within their parent. A
/// record is named by its first row in that sorted order.
///
/// Runs in n log n: each list is sorted once, after all rows are in. The strings of `rows` are moved out.
std::vector<TamrikLocation> foldPlaceRows(std::vector<CSVRow>&& rows);

}  // namespace tamrik::detail
