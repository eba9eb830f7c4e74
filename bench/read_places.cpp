// read_places FILE: reads a CSV file with a header line row by row into one reused `CSVReader::Fields`
// (one buffer and the fields' ends, as the peer reads into its reusable record), and prints the rows, the
// field bytes and the throughput. A whole-process yardstick, timed the way
// comparable small programs in other languages time themselves: from opening the file to its end.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "tamrikcsv/tamrikcsv.hpp"

int main(int argc, char** argv) {
  using namespace tamrikcsv;
  if (argc != 2) {
    std::cerr << "usage: read_places FILE\n";
    return 2;
  }
  try {
    const auto start = std::chrono::steady_clock::now();
    auto reader = CSVReader::fromFile(
        argv[1], [](CSVReader::Configuration& c) { c.headerStrategy = Strategy::Header::firstLine; });
    CSVReader::Fields row;
    std::uint64_t rows = 0, bytes = 0;
    while (reader.readRow(row)) {
      ++rows;
      for (const auto& field : row) bytes += field.size();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double megabytes = static_cast<double>(std::filesystem::file_size(argv[1])) / 1e6;
    std::printf("tamrikcsv readRow rows=%llu bytes=%llu %.1f MB/s %.0f rows/s\n",
                static_cast<unsigned long long>(rows), static_cast<unsigned long long>(bytes),
                megabytes / seconds, static_cast<double>(rows) / seconds);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
