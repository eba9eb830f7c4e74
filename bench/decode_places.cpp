// decode_places PLACES NUMERIC: decodes a places file (nine texts by header title) and a numeric file
// (five integers, five doubles) into vectors of records declared by their fields (as the peers derive
// theirs) with the sequential decoder, and prints the rows and the throughput of each. A whole-process
// yardstick, timed the way comparable small programs in other languages time themselves: from opening the
// file to holding every record, freeing not counted.

#include <malloc.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "decode_records.hpp"

namespace {

using namespace tamrikcsv;

struct Timed {
  double seconds;
  double megabytes;
};

template <class Record>
Timed decodeAll(const char* path, std::vector<Record>& records) {
  const auto decoder = bench::recordDecoder(Strategy::DecodingBuffer::sequential);
  const auto start = std::chrono::steady_clock::now();
  records = decoder.decodeFile<std::vector<Record>>(path);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {seconds, static_cast<double>(std::filesystem::file_size(path)) / 1e6};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: decode_places PLACES NUMERIC\n";
    return 2;
  }
  try {
    {
      std::vector<bench::DeclaredPlaceRecord> places;
      const auto [seconds, megabytes] = decodeAll(argv[1], places);
      std::uint64_t serials = 0;
      for (const auto& place : places) serials += place.serialNumber.has_value();
      std::printf("tamrikcsv decode places rows=%zu serials=%llu %.1f MB/s %.0f rows/s\n", places.size(),
                  static_cast<unsigned long long>(serials), megabytes / seconds,
                  static_cast<double>(places.size()) / seconds);
    }
    // The C library merges the places' freed texts only at the next large request, which would be the numeric
    // decode's and cost it some 4% of its time: done here, since freeing is not counted.
    malloc_trim(0);
    std::vector<bench::DeclaredNumericRecord> numbers;
    const auto [seconds, megabytes] = decodeAll(argv[2], numbers);
    double sum = 0;
    for (const auto& row : numbers) sum += row.f0 + static_cast<double>(row.i0);
    std::printf("tamrikcsv decode numeric rows=%zu sum=%.0f %.1f MB/s %.0f rows/s\n", numbers.size(), sum,
                megabytes / seconds, static_cast<double>(numbers.size()) / seconds);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
