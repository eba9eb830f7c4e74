#pragma once

// The process's resident memory, for benchmarks that show memory staying flat. Linux only.

#include <sys/resource.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace tamrikcsv::bench {

/// The peak resident size so far, in bytes.
inline double peakResidentBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;  // kilobytes on Linux
}

/// The resident size now, in bytes.
inline double residentBytes() {
  long pages = 0, resident = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE));
}

/// Lowers the peak resident size to what the process holds now, so the peak measured afterwards belongs
/// to what runs next and not to whatever ran before. Says whether it worked.
inline bool resetPeakResident() {
  std::FILE* refs = std::fopen("/proc/self/clear_refs", "w");
  if (!refs) return false;
  bool ok = std::fputs("5", refs) >= 0;
  return std::fclose(refs) == 0 && ok;
}

/// Reports the memory a single pass took: `sizeName` (its input or output, in bytes), the resident size
/// before it, the peak, the growth, and whether the peak could be reset beforehand.
inline void reportMemory(benchmark::State& state, const char* sizeName, double size, double before,
                         double peak, bool reset) {
  using benchmark::Counter;
  state.counters[sizeName] = Counter(size, Counter::kDefaults, Counter::kIs1024);
  state.counters["rss_before"] = Counter(before, Counter::kDefaults, Counter::kIs1024);
  state.counters["peak_rss"] = Counter(peak, Counter::kDefaults, Counter::kIs1024);
  state.counters["peak_growth"] = Counter(peak - before, Counter::kDefaults, Counter::kIs1024);
  state.counters["peak_reset"] = reset ? 1 : 0;
}

}  // namespace tamrikcsv::bench
