// encode_places PLACES NUMERIC OUT: decodes a places file (nine texts by header title) and a numeric file
// (five integers, five doubles) into records, then encodes each back into OUT with the sequential encoder
// and prints the rows and the throughput of each. A whole-process yardstick, timed the way comparable
// small programs in other languages time themselves: only the encoding, from creating OUT to closing it.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <vector>

#include "decode_records.hpp"

namespace {

using namespace tamrikcsv;

template <class Record>
void encodeAll(const char* in, const char* out, const char* name) {
  const auto records =
      bench::recordDecoder(Strategy::DecodingBuffer::sequential).decodeFile<std::vector<Record>>(in);
  const auto encoder = bench::recordEncoder<Record>(Strategy::EncodingBuffer::sequential);
  const auto start = std::chrono::steady_clock::now();
  encoder.encodeFile(records, out);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto bytes = static_cast<double>(std::filesystem::file_size(out));
  std::printf("tamrikcsv encode %s rows=%zu bytes=%.0f %.1f MB/s %.0f rows/s\n", name, records.size(), bytes,
              bytes / 1e6 / seconds, static_cast<double>(records.size()) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: encode_places PLACES NUMERIC OUT\n";
    return 2;
  }
  try {
    encodeAll<bench::PlaceRecord>(argv[1], argv[3], "places");
    encodeAll<bench::NumericRecord>(argv[2], argv[3], "numeric");
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
