#pragma once

#include <string_view>

namespace tamrikcsv {

/// Where an input or output stream is in its life.
enum class StreamStatus { notOpen, open, atEnd, closed, error };

/// "not open", "open", "at end", "closed" or "error".
std::string_view name(StreamStatus status) noexcept;

}  // namespace tamrikcsv
