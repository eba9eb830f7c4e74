#pragma once

#include <cstddef>
#include <vector>

namespace tamrikcsv {

/// A block of bytes.
using Data = std::vector<std::byte>;

}  // namespace tamrikcsv
