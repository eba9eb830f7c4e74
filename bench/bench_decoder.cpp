// Record decoder throughput, in MB/s of input and rows/s: a million places rows (nine texts by header
// title) and a million numeric rows (five integers, five doubles), into a vector under either buffering
// strategy and row by row through the lazy decoder, with records written by hand and declared by their
// fields; and the lazy decoder's memory over the places file and over 100 MB and 1 GB of generated rows.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "decode_records.hpp"
#include "places_data.hpp"
#include "resident_memory.hpp"
#include "tamrikcsv/tamrikcsv.hpp"

namespace {

using namespace tamrikcsv;
using bench::DeclaredNumericRecord;
using bench::DeclaredPlaceRecord;
using bench::NumericRecord;
using bench::PlaceRecord;
using Buffering = Strategy::DecodingBuffer;

// The input files, written on first use (before any timing starts). Empty, with the benchmark skipped,
// when they cannot be written.
struct Inputs {
  std::filesystem::path places, numeric;
};
const Inputs* inputs(benchmark::State& state) {
  static std::string failure;
  static const std::optional<Inputs> files = []() -> std::optional<Inputs> {
    try {
      return Inputs{bench::ensurePlacesFiles().utf8, bench::ensureNumericFile()};
    } catch (const std::exception& error) {
      failure = std::string("cannot write the input: ") + error.what();
      return std::nullopt;
    }
  }();
  if (!files) state.SkipWithError(failure.c_str());
  return files ? &*files : nullptr;
}

// A checksum of what was decoded, so that no field can be optimised away and a wrong decode shows.
template <class Record>
std::uint64_t digest(const Record& row) {
  if constexpr (bench::kIsPlaceRecord<Record>)
    return row.locationId.size() + row.locationName.size() + row.levelId.size() + row.levelName.size() +
           row.zoneId.size() + row.zoneName.size() + row.placeId.size() + row.placeName.size() +
           (row.serialNumber ? row.serialNumber->size() : 0);
  else
    return static_cast<std::uint64_t>(row.i0 ^ row.i1 ^ row.i2 ^ row.i3 ^ row.i4) +
           static_cast<std::uint64_t>(static_cast<std::int64_t>(row.f0 + row.f1 + row.f2 + row.f3 + row.f4));
}

template <class Record>
constexpr std::uint64_t expectedRows() {
  return bench::kIsPlaceRecord<Record> ? bench::kPlacesRows : bench::kNumericRows;
}

template <class Record>
const std::filesystem::path& pathOf(const Inputs& files) {
  if constexpr (bench::kIsPlaceRecord<Record>)
    return files.places;
  else
    return files.numeric;
}

void report(benchmark::State& state, const std::filesystem::path& path, std::uint64_t rows) {
  state.SetBytesProcessed(static_cast<std::int64_t>(std::filesystem::file_size(path)) * state.iterations());
  state.counters["rows"] = benchmark::Counter(
      static_cast<double>(rows) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

bool check(benchmark::State& state, std::uint64_t rows, std::uint64_t expected) {
  if (rows == expected) return true;
  state.SkipWithError(("decoded " + std::to_string(rows) + " rows, not " + std::to_string(expected)).c_str());
  return false;
}

// The whole file into a vector. The vector is freed with the clock stopped: freeing a million records is
// not decoding.
template <class Record>
void decodeIntoVector(benchmark::State& state, Buffering buffering) {
  const auto* files = inputs(state);
  if (!files) return;
  const auto& path = pathOf<Record>(*files);
  const auto decoder = bench::recordDecoder(buffering);
  std::vector<Record> records;
  for (auto _ : state) {
    state.PauseTiming();
    records = {};
    state.ResumeTiming();
    records = decoder.template decodeFile<std::vector<Record>>(path);
    benchmark::DoNotOptimize(records.data());
  }
  std::uint64_t sum = 0;
  for (const auto& record : records) sum += digest(record);
  benchmark::DoNotOptimize(sum);
  if (check(state, records.size(), expectedRows<Record>())) report(state, path, records.size());
}

// Decodes every row of `path` one at a time, keeping none. Returns the rows decoded.
template <class Record>
std::uint64_t decodeLazily(const CSVDecoder& decoder, const std::filesystem::path& path) {
  auto lazy = decoder.makeLazyFile(path);
  std::uint64_t rows = 0, sum = 0;
  while (auto record = lazy.decodeIfPresent<Record>()) {
    ++rows;
    sum += digest(*record);
  }
  benchmark::DoNotOptimize(sum);
  return rows;
}

template <class Record>
void decodeRowByRow(benchmark::State& state) {
  const auto* files = inputs(state);
  if (!files) return;
  const auto& path = pathOf<Record>(*files);
  const auto decoder = bench::recordDecoder(Buffering::sequential);
  std::uint64_t rows = 0;
  for (auto _ : state) rows = decodeLazily<Record>(decoder, path);
  if (check(state, rows, expectedRows<Record>())) report(state, path, rows);
}

// One lazy pass over the places file. Its peak resident size should stay far below the file's size: the
// decoder holds a row and the reader's chunk, never the input or the records.
void lazyPeakMemory(benchmark::State& state) {
  const auto* files = inputs(state);
  if (!files) return;
  const auto decoder = bench::recordDecoder(Buffering::sequential);
  const bool reset = bench::resetPeakResident();
  const double before = bench::residentBytes();
  std::uint64_t rows = 0;
  for (auto _ : state) rows = decodeLazily<PlaceRecord>(decoder, files->places);
  if (!check(state, rows, bench::kPlacesRows)) return;
  report(state, files->places, rows);
  const double peak = bench::peakResidentBytes();
  const auto input = static_cast<double>(std::filesystem::file_size(files->places));
  bench::reportMemory(state, "input", input, before, peak, reset);
}

// A lazy pass over state.range(0) MiB of generated places rows, made as they are read: the peak resident
// size should be the same for 100 MB as for 1 GB, since nothing of the input or the records stays.
void lazyGeneratedPeakMemory(benchmark::State& state) {
  const auto limit = static_cast<std::uint64_t>(state.range(0)) << 20;
  const auto decoder = bench::recordDecoder(Buffering::sequential);
  const bool reset = bench::resetPeakResident();
  const double before = bench::residentBytes();
  std::uint64_t rows = 0, bytes = 0, sum = 0;
  for (auto _ : state) {
    auto stream = std::make_shared<bench::PlacesStream>(limit);
    auto lazy = decoder.makeLazyStream(stream);
    while (auto record = lazy.decodeIfPresent<PlaceRecord>()) {
      ++rows;
      sum += digest(*record);
    }
    if (rows != stream->rows()) {
      state.SkipWithError("the decoded rows differ from the generated ones");
      return;
    }
    bytes = stream->bytesRead();
  }
  benchmark::DoNotOptimize(sum);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
  state.counters["rows"] = benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsRate);
  bench::reportMemory(state, "input", static_cast<double>(bytes), before, bench::peakResidentBytes(), reset);
}

// Registered in this order, which is the order they run in.
[[maybe_unused]] const bool gRegistered = [] {
  // First, while the process is still small: the later benchmarks hold a million records.
  benchmark::RegisterBenchmark("lazy/generated/peakMemory", lazyGeneratedPeakMemory)
      ->Arg(100)
      ->Arg(1024)
      ->ArgName("MiB")
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("lazy/places/peakMemory", lazyPeakMemory)
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);

  // A pass decodes the million rows once; two seconds of passes each smooth out some of the noise.
  auto add = [](const char* name, std::function<void(benchmark::State&)> run) {
    benchmark::RegisterBenchmark(name, std::move(run))
        ->MinTime(2.0)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  };
  add("vector/places/keepAll", [](auto& state) { decodeIntoVector<PlaceRecord>(state, Buffering::keepAll); });
  add("vector/places/sequential",
      [](auto& state) { decodeIntoVector<PlaceRecord>(state, Buffering::sequential); });
  add("lazy/places", [](auto& state) { decodeRowByRow<PlaceRecord>(state); });
  add("vector/numeric/keepAll",
      [](auto& state) { decodeIntoVector<NumericRecord>(state, Buffering::keepAll); });
  add("vector/numeric/sequential",
      [](auto& state) { decodeIntoVector<NumericRecord>(state, Buffering::sequential); });
  add("lazy/numeric", [](auto& state) { decodeRowByRow<NumericRecord>(state); });
  // The same records declared by their fields, against the hand-written ones above.
  add("vector/places/keepAll/declared",
      [](auto& state) { decodeIntoVector<DeclaredPlaceRecord>(state, Buffering::keepAll); });
  add("vector/places/sequential/declared",
      [](auto& state) { decodeIntoVector<DeclaredPlaceRecord>(state, Buffering::sequential); });
  add("lazy/places/declared", [](auto& state) { decodeRowByRow<DeclaredPlaceRecord>(state); });
  add("vector/numeric/sequential/declared",
      [](auto& state) { decodeIntoVector<DeclaredNumericRecord>(state, Buffering::sequential); });
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
