#pragma once

// The program's diagnostic log: one line per message on standard output, flushed at once, no levels.

#include <cstdio>
#include <string>
#include <string_view>

namespace tamrik {

/// Writes `message` and a line feed to standard output and flushes it.
inline void logLine(std::string_view message) {
  // One write, so that lines of two threads never mix.
  std::string line(message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace tamrik
