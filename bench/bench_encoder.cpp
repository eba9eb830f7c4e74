// Record encoder throughput, in rows/s and MB/s of output: a million places records (nine texts by header
// title) and a million numeric records (five integers, five doubles), into memory and into a file under
// each buffering strategy, with records written by hand and, into memory, declared by their fields; and
// the lazy encoder's memory writing the places file row by row, and 100 MB and 1 GB of rows.
//
// The records are decoded once from the decoder benchmark's input files before any timing starts.
// TAMRIK_BENCH_ROWS takes fewer of them, for a quick run.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
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
using Buffering = Strategy::EncodingBuffer;

struct Records {
  std::vector<PlaceRecord> places;
  std::vector<NumericRecord> numeric;
  std::vector<DeclaredPlaceRecord> declaredPlaces;
  std::vector<DeclaredNumericRecord> declaredNumeric;
};

std::size_t rowLimit() {
  const char* limit = std::getenv("TAMRIK_BENCH_ROWS");
  return limit ? static_cast<std::size_t>(std::strtoull(limit, nullptr, 10)) : SIZE_MAX;
}

// Null, with the benchmark skipped, when the inputs cannot be made.
const Records* records(benchmark::State& state) {
  static std::string failure;
  static const std::optional<Records> loaded = []() -> std::optional<Records> {
    try {
      auto decoder = bench::recordDecoder(Strategy::DecodingBuffer::sequential);
      const auto places = bench::ensurePlacesFiles().utf8;
      const auto numeric = bench::ensureNumericFile();
      Records r{decoder.decodeFile<std::vector<PlaceRecord>>(places),
                decoder.decodeFile<std::vector<NumericRecord>>(numeric),
                decoder.decodeFile<std::vector<DeclaredPlaceRecord>>(places),
                decoder.decodeFile<std::vector<DeclaredNumericRecord>>(numeric)};
      const std::size_t limit = rowLimit();
      auto cut = [limit](auto& rows) {
        if (rows.size() > limit) rows.resize(limit);
      };
      cut(r.places), cut(r.numeric), cut(r.declaredPlaces), cut(r.declaredNumeric);
      return r;
    } catch (const std::exception& error) {
      failure = std::string("cannot load the records: ") + error.what();
      return std::nullopt;
    }
  }();
  if (!loaded) state.SkipWithError(failure.c_str());
  return loaded ? &*loaded : nullptr;
}

template <class Record>
const std::vector<Record>& recordsOf(const Records& r) {
  if constexpr (std::is_same_v<Record, PlaceRecord>)
    return r.places;
  else if constexpr (std::is_same_v<Record, NumericRecord>)
    return r.numeric;
  else if constexpr (std::is_same_v<Record, DeclaredPlaceRecord>)
    return r.declaredPlaces;
  else
    return r.declaredNumeric;
}

std::filesystem::path outputPath() {
  return bench::benchDataDirectory() / "encoded.csv";
}

void report(benchmark::State& state, std::size_t rows, double bytes) {
  using benchmark::Counter;
  state.counters["rows"] =
      Counter(static_cast<double>(rows) * static_cast<double>(state.iterations()), Counter::kIsRate);
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
}

template <class Record>
void intoMemory(benchmark::State& state, Buffering buffering) {
  const auto* r = records(state);
  if (!r) return;
  const auto& rows = recordsOf<Record>(*r);
  const auto encoder = bench::recordEncoder<Record>(buffering);
  std::size_t bytes = 0;
  for (auto _ : state) {
    Data data = encoder.encodeData(rows);
    bytes = data.size();
    benchmark::DoNotOptimize(data.data());
  }
  report(state, rows.size(), static_cast<double>(bytes));
}

template <class Record>
void intoFile(benchmark::State& state, Buffering buffering) {
  const auto* r = records(state);
  if (!r) return;
  const auto& rows = recordsOf<Record>(*r);
  const auto encoder = bench::recordEncoder<Record>(buffering);
  const auto path = outputPath();
  for (auto _ : state) encoder.encodeFile(rows, path);
  report(state, rows.size(), static_cast<double>(std::filesystem::file_size(path)));
  std::filesystem::remove(path);
}

// One lazy pass writing the places rows into a file. Under `sequential` and `assembled` its peak resident
// size should grow by far less than the output: the encoder holds a row, never the output.
void lazyPeakMemory(benchmark::State& state, Buffering buffering) {
  const auto* r = records(state);
  if (!r) return;
  const auto encoder = bench::recordEncoder<PlaceRecord>(buffering);
  const auto path = outputPath();
  const bool reset = bench::resetPeakResident();
  const double before = bench::residentBytes();
  for (auto _ : state) {
    auto lazy = encoder.makeLazyFile(path);
    for (const auto& place : r->places) lazy.encodeNext(place);
    lazy.endEncoding();
  }
  const double output = static_cast<double>(std::filesystem::file_size(path));
  report(state, r->places.size(), output);
  bench::reportMemory(state, "output", output, before, bench::peakResidentBytes(), reset);
  std::filesystem::remove(path);
}

// The lazy encoder writing state.range(0) MiB of places rows into a file, the records taken round and round
// from the first thousand: the peak resident size should be the same for 100 MB as for 1 GB, since the
// encoder holds a row, never the output.
void lazyLargePeakMemory(benchmark::State& state) {
  const auto* r = records(state);
  if (!r) return;
  const auto limit = static_cast<std::uint64_t>(state.range(0)) << 20;
  const std::size_t cycle = std::min<std::size_t>(r->places.size(), 1000);
  const auto encoder = bench::recordEncoder<PlaceRecord>(Buffering::sequential);
  // Rows to write, from the size the first thousand take.
  const std::vector<PlaceRecord> sample(r->places.begin(),
                                        r->places.begin() + static_cast<std::ptrdiff_t>(cycle));
  const auto perRow = static_cast<double>(encoder.encodeString(sample).size()) / static_cast<double>(cycle);
  const auto rows = static_cast<std::uint64_t>(static_cast<double>(limit) / perRow) + 1;
  const auto path = outputPath();
  const bool reset = bench::resetPeakResident();
  const double before = bench::residentBytes();
  for (auto _ : state) {
    auto lazy = encoder.makeLazyFile(path);
    for (std::uint64_t row = 0; row < rows; ++row) lazy.encodeNext(sample[row % cycle]);
    lazy.endEncoding();
  }
  const double output = static_cast<double>(std::filesystem::file_size(path));
  report(state, rows, output);
  bench::reportMemory(state, "output", output, before, bench::peakResidentBytes(), reset);
  std::filesystem::remove(path);
}

[[maybe_unused]] const bool gRegistered = [] {
  benchmark::RegisterBenchmark("lazy/large/peakMemory", lazyLargePeakMemory)
      ->Arg(100)
      ->Arg(1024)
      ->ArgName("MiB")
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  auto add = [](std::string name, std::function<void(benchmark::State&)> run) {
    benchmark::RegisterBenchmark(name.c_str(), std::move(run))->UseRealTime()->Unit(benchmark::kMillisecond);
  };
  const std::pair<const char*, Buffering> bufferings[] = {{"sequential", Buffering::sequential},
                                                          {"assembled", Buffering::assembled},
                                                          {"keepAll", Buffering::keepAll}};
  // The memory passes first, while the process holds nothing but the records.
  for (auto [name, buffering] : bufferings) {
    if (buffering == Buffering::keepAll) continue;
    benchmark::RegisterBenchmark((std::string("lazy/places/peakMemory/") + name).c_str(),
                                 [buffering](benchmark::State& s) { lazyPeakMemory(s, buffering); })
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }
  for (auto [name, buffering] : bufferings) {
    add(std::string("memory/places/") + name, [b = buffering](auto& s) { intoMemory<PlaceRecord>(s, b); });
    add(std::string("file/places/") + name, [b = buffering](auto& s) { intoFile<PlaceRecord>(s, b); });
    add(std::string("memory/numeric/") + name, [b = buffering](auto& s) { intoMemory<NumericRecord>(s, b); });
    add(std::string("file/numeric/") + name, [b = buffering](auto& s) { intoFile<NumericRecord>(s, b); });
  }
  // The same records declared by their fields, against the hand-written ones above.
  for (auto [name, buffering] : bufferings) {
    add(std::string("memory/places/") + name + "/declared",
        [b = buffering](auto& s) { intoMemory<DeclaredPlaceRecord>(s, b); });
    add(std::string("memory/numeric/") + name + "/declared",
        [b = buffering](auto& s) { intoMemory<DeclaredNumericRecord>(s, b); });
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
