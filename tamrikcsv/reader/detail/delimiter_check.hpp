#pragma once

// The delimiter rules that the reader and the writer share. Not part of the public interface.

#include "tamrikcsv/reader/delimiter.hpp"

namespace tamrikcsv::detail {

enum class DelimiterProblem {
  none,
  missing,  ///< no field delimiter, or no row delimiter
  clash,    ///< an empty row delimiter, or one equal to the field delimiter
};

DelimiterProblem checkDelimiters(const Delimiter::Pair& delimiters) noexcept;

}  // namespace tamrikcsv::detail
