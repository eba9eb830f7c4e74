// Loading places into the store against decoding the same files into rows alone, and exporting them
// against encoding the rows alone: the million-row places file and a file whose 200,000 places sit in one
// zone. Each should cost at most 1.3 times its bare counterpart.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/csv_row.hpp"
#include "model/place_data_model.hpp"
#include "places_data.hpp"
#include "tamrikcsv/tamrikcsv.hpp"

namespace {

using namespace tamrikcsv;

struct Inputs {
  std::filesystem::path places, oneZone;
};
// The input files, written on first use (before any timing starts). Empty, with the benchmark skipped,
// when they cannot be written.
const Inputs* inputs(benchmark::State& state) {
  static std::string failure;
  static const std::optional<Inputs> files = []() -> std::optional<Inputs> {
    try {
      return Inputs{bench::ensurePlacesFiles().utf8, bench::ensureOneZonePlacesFile()};
    } catch (const std::exception& error) {
      failure = std::string("cannot write the input: ") + error.what();
      return std::nullopt;
    }
  }();
  if (!files) state.SkipWithError(failure.c_str());
  return files ? &*files : nullptr;
}

const std::filesystem::path& pathOf(const Inputs& files, bool oneZone) {
  return oneZone ? files.oneZone : files.places;
}
std::uint64_t rowsOf(bool oneZone) {
  return oneZone ? bench::kOneZoneRows : bench::kPlacesRows;
}

void report(benchmark::State& state, const std::filesystem::path& path, std::uint64_t rows) {
  state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(path)) * state.iterations());
  state.counters["rows"] = benchmark::Counter(
      static_cast<double>(rows) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

std::uint64_t countPlaces(const tamrik::PlaceLocations& locations) {
  std::uint64_t places = 0;
  for (const auto& location : locations)
    for (const auto& level : location.levels)
      for (const auto& zone : level.zones) places += zone.places.size();
  return places;
}

// The baseline: the rows of the file, decoded as the load decodes them. Freeing them is not timed.
void decodeRows(benchmark::State& state, bool oneZone) {
  const auto* files = inputs(state);
  if (!files) return;
  const auto& path = pathOf(*files, oneZone);
  const CSVDecoder decoder([](CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
    c.readerConfiguration.delimiters.row = Delimiter::Row::standard();
  });
  std::vector<tamrik::CSVRow> rows;
  for (auto _ : state) {
    state.PauseTiming();
    rows = {};
    state.ResumeTiming();
    rows = decoder.decodeFile<std::vector<tamrik::CSVRow>>(path);
    benchmark::DoNotOptimize(rows.data());
  }
  if (rows.size() != rowsOf(oneZone)) return state.SkipWithError("wrong number of rows");
  report(state, path, rows.size());
}

// The whole load into a fresh store. Freeing the hierarchy is not timed.
void loadPlaces(benchmark::State& state, bool oneZone) {
  const auto* files = inputs(state);
  if (!files) return;
  const auto& path = pathOf(*files, oneZone);
  std::unique_ptr<tamrik::PlaceDataModel> model;
  for (auto _ : state) {
    state.PauseTiming();
    model = std::make_unique<tamrik::PlaceDataModel>();
    state.ResumeTiming();
    model->loadPlaces(path);
    benchmark::DoNotOptimize(model->locations().data());
  }
  // Every row is a place of its own.
  if (countPlaces(model->locations()) != rowsOf(oneZone))
    return state.SkipWithError("wrong number of places");
  report(state, path, rowsOf(oneZone));
}

tamrikcsv::CSVEncoder placesEncoder() {
  return CSVEncoder([](CSVEncoder::Configuration& c) {
    const auto& titles = CodingKeyTraits<tamrik::CSVRow::CodingKeys>::names;
    c.writerConfiguration.headers.assign(titles.begin(), titles.end());
  });
}

std::filesystem::path outputPath() {
  return bench::benchDataDirectory() / "bench-model-output.csv";
}

// The baseline: the file's rows encoded into a file as the export encodes them.
void encodeRows(benchmark::State& state, bool oneZone) {
  const auto* files = inputs(state);
  if (!files) return;
  const auto& path = pathOf(*files, oneZone);
  const auto rows = CSVDecoder([](CSVDecoder::Configuration& c) {
                      c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
                    }).decodeFile<std::vector<tamrik::CSVRow>>(path);
  const auto encoder = placesEncoder();
  for (auto _ : state) encoder.encodeFile(rows, outputPath());
  report(state, path, rows.size());
}

// The whole export of the loaded file, through a file beside the destination.
void exportPlaces(benchmark::State& state, bool oneZone) {
  const auto* files = inputs(state);
  if (!files) return;
  const auto& path = pathOf(*files, oneZone);
  tamrik::PlaceDataModel model;
  model.loadPlaces(path);
  for (auto _ : state) model.exportPlaces(outputPath());
  report(state, path, rowsOf(oneZone));
}

[[maybe_unused]] const bool gRegistered = [] {
  auto add = [](const char* name, void (*run)(benchmark::State&, bool), bool oneZone) {
    benchmark::RegisterBenchmark(name, run, oneZone)
        ->MinTime(2.0)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  };
  add("decode/places", decodeRows, false);
  add("load/places", loadPlaces, false);
  add("decode/oneZone", decodeRows, true);
  add("load/oneZone", loadPlaces, true);
  add("encode/places", encodeRows, false);
  add("export/places", exportPlaces, false);
  add("encode/oneZone", encodeRows, true);
  add("export/oneZone", exportPlaces, true);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
