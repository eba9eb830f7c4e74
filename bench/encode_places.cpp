// encode_places PLACES NUMERIC OUT [sequential|assembled|keepAll]: decodes a places file (nine texts by
// header title) and a numeric file (five integers, five doubles) into records declared by their fields (as
// the peers derive theirs), then encodes each back into OUT (into memory when OUT is "-") under the
// buffering strategy (sequential when not given) and prints the rows and the throughput of each. A
// whole-process yardstick, timed the way comparable small programs in other languages time themselves:
// only the encoding, from creating OUT to closing it.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "decode_records.hpp"

namespace {

using namespace tamrikcsv;

template <class Record>
void encodeAll(const char* in, const char* out, const char* name, Strategy::EncodingBuffer buffering) {
  const auto records =
      bench::recordDecoder(Strategy::DecodingBuffer::sequential).decodeFile<std::vector<Record>>(in);
  const auto encoder = bench::recordEncoder<Record>(buffering);
  const bool intoMemory = std::string_view(out) == "-";
  if (!intoMemory) std::filesystem::remove(out);  // so that the timing doesn't include dropping an old file
  const auto start = std::chrono::steady_clock::now();
  Data data;
  if (intoMemory)
    data = encoder.encodeData(records);
  else
    encoder.encodeFile(records, out);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto bytes = static_cast<double>(intoMemory ? data.size() : std::filesystem::file_size(out));
  std::printf("tamrikcsv encode %s rows=%zu bytes=%.0f %.1f MB/s %.0f rows/s\n", name, records.size(), bytes,
              bytes / 1e6 / seconds, static_cast<double>(records.size()) / seconds);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view strategy = argc == 5 ? argv[4] : "sequential";
  Strategy::EncodingBuffer buffering = Strategy::EncodingBuffer::sequential;
  if (strategy == "assembled")
    buffering = Strategy::EncodingBuffer::assembled;
  else if (strategy == "keepAll")
    buffering = Strategy::EncodingBuffer::keepAll;
  if ((argc != 4 && argc != 5) ||
      (buffering == Strategy::EncodingBuffer::sequential && strategy != "sequential")) {
    std::cerr << "usage: encode_places PLACES NUMERIC OUT [sequential|assembled|keepAll]\n";
    return 2;
  }
  try {
    encodeAll<bench::DeclaredPlaceRecord>(argv[1], argv[3], "places", buffering);
    encodeAll<bench::DeclaredNumericRecord>(argv[2], argv[3], "numeric", buffering);
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
