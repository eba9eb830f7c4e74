// load_places PLACES OUT [ROUNDS]: the store's load and export of a places file against decoding the same
// file into rows and encoding those rows alone, in turns within one process, so that each round's ratio
// holds however the machine's speed drifts. Prints each round's times and ratios, then their medians.
// Freeing what a step made is not timed, for either side.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <vector>

#include "model/csv_row.hpp"
#include "model/place_data_model.hpp"
#include "tamrikcsv/tamrikcsv.hpp"

namespace {

using namespace tamrikcsv;
using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: load_places PLACES OUT [ROUNDS]\n";
    return 2;
  }
  const std::filesystem::path input = argv[1], output = argv[2];
  const int rounds = argc == 4 ? std::max(1, std::atoi(argv[3])) : 5;
  // As the store decodes and encodes: LF and CR LF rows in, the nine titles out.
  const CSVDecoder decoder([](CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
    c.readerConfiguration.delimiters.row = Delimiter::Row::standard();
  });
  const CSVEncoder encoder([](CSVEncoder::Configuration& c) {
    const auto& titles = CodingKeyTraits<tamrik::CSVRow::CodingKeys>::names;
    c.writerConfiguration.headers.assign(titles.begin(), titles.end());
  });
  try {
    std::vector<double> loads, exports;
    for (int round = 0; round < rounds; ++round) {
      // Each timed step starts with the memory of the one before it given back, as a load in the
      // program does.
      auto start = Clock::now();
      auto rows = decoder.decodeFile<std::vector<tamrik::CSVRow>>(input);
      const double decode = millisecondsSince(start);
      rows = {};

      auto model = std::make_unique<tamrik::PlaceDataModel>();
      start = Clock::now();
      model->loadPlaces(input);
      const double load = millisecondsSince(start);
      rows = decoder.decodeFile<std::vector<tamrik::CSVRow>>(input);

      std::filesystem::remove(output);
      start = Clock::now();
      encoder.encodeFile(rows, output);
      const double encode = millisecondsSince(start);

      std::filesystem::remove(output);
      start = Clock::now();
      model->exportPlaces(output);
      const double exported = millisecondsSince(start);

      loads.push_back(load / decode);
      exports.push_back(exported / encode);
      std::printf("rows=%zu decode %.0f ms load %.0f ms (%.2f)  encode %.0f ms export %.0f ms (%.2f)\n",
                  rows.size(), decode, load, loads.back(), encode, exported, exports.back());
    }
    std::filesystem::remove(output);
    std::printf("median load/decode %.2f export/encode %.2f\n", median(loads), median(exports));
  } catch (const std::exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
