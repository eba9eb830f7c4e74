#pragma once

// The fields of a row packed in one text, as a CSV reader's `Fields` keeps them and the record decoder reads
// them, each field without a call. Not part of the public interface.

#include <cstddef>
#include <string_view>

namespace tamrikcsv::detail {

// Field i runs from one past ends[i] to ends[i + 1], so that each is followed by a byte of no field;
// ends[0] is the largest size_t, so that the first starts at 0 and no field needs a test.
struct PackedFields {
  const char* text = nullptr;
  const std::size_t* ends = nullptr;

  std::string_view operator[](std::size_t index) const noexcept {
    const std::size_t start = ends[index] + 1;
    return std::string_view(text + start, ends[index + 1] - start);
  }
};

}  // namespace tamrikcsv::detail
