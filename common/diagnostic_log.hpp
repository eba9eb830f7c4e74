#pragma once

// The program's diagnostic log: one line per message on standard output, flushed at once, no levels.

#include <cstdio>
#include <string_view>

namespace tamrik {

/// Writes `message` and a line feed to standard output and flushes it.
inline void logLine(std::string_view message) {
  std::fwrite(message.data(), 1, message.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace tamrik
