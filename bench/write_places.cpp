// write_places IN OUT: reads every row of IN (a CSV file with a header line) into memory, then writes the
// header and the rows to OUT, and prints the rows and the writing's throughput in MB/s of output. Only
// the writing is timed, from creating OUT to closing it, so that comparable small programs in other
// languages can be timed the same way whatever their readers cost.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <utility>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

int main(int argc, char** argv) {
  using namespace tamrikcsv;
  if (argc != 3) {
    std::cerr << "usage: write_places IN OUT\n";
    return 2;
  }
  try {
    auto reader = CSVReader::fromFile(
        argv[1], [](CSVReader::Configuration& c) { c.headerStrategy = Strategy::Header::firstLine; });
    std::vector<CSVReader::Row> rows;
    while (auto row = reader.readRow()) rows.push_back(std::move(*row));

    const auto start = std::chrono::steady_clock::now();
    auto writer =
        CSVWriter::toFile(argv[2], [&](CSVWriter::Configuration& c) { c.headers = reader.headers(); });
    for (const auto& row : rows) writer.writeRow(row);
    writer.endEncoding();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const auto bytes = std::filesystem::file_size(argv[2]);
    std::printf("tamrikcsv writeRow rows=%llu bytes=%llu %.1f MB/s %.0f rows/s\n",
                static_cast<unsigned long long>(rows.size()), static_cast<unsigned long long>(bytes),
                static_cast<double>(bytes) / 1e6 / seconds, static_cast<double>(rows.size()) / seconds);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
