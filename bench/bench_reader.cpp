// Reader throughput on a million places rows, in MB/s of input and rows/s, from a file, from memory,
// from a UTF-16 copy and into a FileView; and the reader's memory on an input far larger than memory
// would allow if it were buffered.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "places_data.hpp"
#include "resident_memory.hpp"
#include "tamrikcsv/tamrikcsv.hpp"

namespace {

using namespace tamrikcsv;
using bench::kPlacesColumns;
using bench::kPlacesRows;
using bench::peakResidentBytes;
using bench::resetPeakResident;
using bench::residentBytes;

// The input files, written on first use (before any timing starts) and kept for the whole run. Null,
// with the benchmark skipped, when they cannot be written.
const bench::PlacesFiles* places(benchmark::State& state) {
  static std::string failure;
  static const std::optional<bench::PlacesFiles> files = []() -> std::optional<bench::PlacesFiles> {
    try {
      return bench::ensurePlacesFiles();
    } catch (const std::exception& error) {
      failure = std::string("cannot write the input: ") + error.what();
      return std::nullopt;
    }
  }();
  if (!files) state.SkipWithError(failure.c_str());
  return files ? &*files : nullptr;
}

CSVReader::Configuration configuration() {
  CSVReader::Configuration c;
  c.headerStrategy = Strategy::Header::firstLine;
  return c;
}

// Both forms of readRow, behind one call so every input is read the same two ways.
enum class Form { optional, filling };

struct Tally {
  std::uint64_t rows = 0;
  std::uint64_t fieldBytes = 0;  // summed so the fields are really used
  bool shapeOK = true;
};

Tally readAll(CSVReader& reader, Form form) {
  Tally tally;
  auto take = [&tally](const CSVReader::Row& row) {
    ++tally.rows;
    if (row.size() != kPlacesColumns) tally.shapeOK = false;
    for (const auto& field : row) tally.fieldBytes += field.size();
  };
  if (form == Form::optional) {
    while (auto row = reader.readRow()) take(*row);
  } else {
    CSVReader::Row row;
    while (reader.readRow(row)) take(row);
  }
  return tally;
}

void report(benchmark::State& state, std::uint64_t inputBytes, std::uint64_t rowsPerPass) {
  state.SetBytesProcessed(static_cast<std::int64_t>(inputBytes) * state.iterations());
  state.counters["rows"] =
      benchmark::Counter(static_cast<double>(rowsPerPass) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

bool check(benchmark::State& state, const Tally& tally) {
  if (tally.rows == kPlacesRows && tally.shapeOK) return true;
  state.SkipWithError(("read " + std::to_string(tally.rows) + " rows, not " + std::to_string(kPlacesRows) +
                       (tally.shapeOK ? "" : ", some without nine fields"))
                          .c_str());
  return false;
}

std::uint64_t fileSize(const std::filesystem::path& path) {
  return std::filesystem::file_size(path);
}

void readFromFile(benchmark::State& state, bool utf16, Form form) {
  const auto* files = places(state);
  if (!files) return;
  const auto& path = utf16 ? files->utf16LE : files->utf8;
  const auto config = configuration();
  Tally tally;
  for (auto _ : state) {
    auto reader = CSVReader::fromFile(path, config);
    tally = readAll(reader, form);
    benchmark::DoNotOptimize(tally.fieldBytes);
  }
  if (check(state, tally)) report(state, fileSize(path), tally.rows);
}

// fromData takes its bytes by value; each pass gets its own copy, made while the clock is stopped, so
// what is timed is the reading and not a 100 MB memcpy.
void readMemory(benchmark::State& state, Form form) {
  const auto config = configuration();
  const auto* files = places(state);
  if (!files) return;
  const Data bytes = tamrikcsv::readFile(files->utf8);
  Tally tally;
  for (auto _ : state) {
    state.PauseTiming();
    Data copy = bytes;
    state.ResumeTiming();
    auto reader = CSVReader::fromData(std::move(copy), config);
    tally = readAll(reader, form);
    benchmark::DoNotOptimize(tally.fieldBytes);
  }
  if (check(state, tally)) report(state, bytes.size(), tally.rows);
}

// The places file with its lines ended by "\r\n", as a file saved on Windows, written next to it once. Null,
// with the benchmark skipped, when it cannot be written.
const std::filesystem::path* crlfPlaces(benchmark::State& state, const bench::PlacesFiles& files) {
  static const std::optional<std::filesystem::path> path = [&]() -> std::optional<std::filesystem::path> {
    auto target = files.utf8;
    target.replace_filename("places-crlf.csv");
    if (std::filesystem::exists(target)) return target;
    std::ifstream in(files.utf8, std::ios::binary);
    auto partial = target;
    partial += ".partial";
    std::ofstream out(partial, std::ios::binary);
    for (std::string line; std::getline(in, line);) out << line << "\r\n";
    out.close();
    if (!in.eof() || !out) return std::nullopt;
    std::filesystem::rename(partial, target);
    return target;
  }();
  if (!path) state.SkipWithError("cannot write the places file with \"\\r\\n\" line ends");
  return path ? &*path : nullptr;
}

// Reads into one `Fields`, row delimiters "\n" and "\r\n" (as a program that takes files from anywhere
// sets them), the places file as it is or with "\r\n" line ends: the two should read alike.
void readFieldsFromFile(benchmark::State& state, bool crlf) {
  const auto* files = places(state);
  if (!files) return;
  const auto* path = crlf ? crlfPlaces(state, *files) : &files->utf8;
  if (!path) return;
  auto config = configuration();
  config.delimiters.row = Delimiter::Row::standard();
  Tally tally;
  for (auto _ : state) {
    auto reader = CSVReader::fromFile(*path, config);
    CSVReader::Fields row;
    tally = {};
    while (reader.readRow(row)) {
      ++tally.rows;
      if (row.size() != kPlacesColumns) tally.shapeOK = false;
      for (std::string_view field : row) tally.fieldBytes += field.size();
    }
    benchmark::DoNotOptimize(tally.fieldBytes);
  }
  if (check(state, tally)) report(state, fileSize(*path), tally.rows);
}

// The FileView is freed with the clock stopped: freeing nine million strings is not decoding.
void decodeIntoFileView(benchmark::State& state) {
  const auto* files = places(state);
  if (!files) return;
  const auto config = configuration();
  std::optional<FileView> file;
  for (auto _ : state) {
    state.PauseTiming();
    file.reset();
    state.ResumeTiming();
    file.emplace(CSVReader::decodeFile(files->utf8, config));
    benchmark::DoNotOptimize(file->rows().data());
  }
  Tally tally{file->size(), 0, file->headers().size() == kPlacesColumns};
  for (const auto& row : *file) tally.shapeOK = tally.shapeOK && row.size() == kPlacesColumns;
  file.reset();
  if (check(state, tally)) report(state, fileSize(files->utf8), tally.rows);
}

// Reads state.range(0) MiB of generated rows through a stream. The peak resident size should be the
// same for every input size: the reader holds a row and a chunk, never the input.
void readGeneratedStream(benchmark::State& state) {
  const auto limit = static_cast<std::uint64_t>(state.range(0)) << 20;
  const auto config = configuration();
  const bool reset = resetPeakResident();
  const double before = residentBytes();
  std::uint64_t rows = 0, bytes = 0;
  for (auto _ : state) {
    auto stream = std::make_shared<bench::PlacesStream>(limit);
    auto reader = CSVReader::fromStream(stream, config);
    Tally tally = readAll(reader, Form::filling);
    benchmark::DoNotOptimize(tally.fieldBytes);
    if (tally.rows != stream->rows() || !tally.shapeOK) {
      state.SkipWithError("the reader's rows differ from the generated ones");
      break;
    }
    rows = tally.rows;
    bytes = stream->bytesRead();
  }
  if (state.error_occurred()) return;
  report(state, bytes, rows);
  bench::reportMemory(state, "input", static_cast<double>(bytes), before, peakResidentBytes(), reset);
}

// Registered in this order, which is the order they run in.
[[maybe_unused]] const bool gRegistered = [] {
  // First, while the process is still small: the later benchmarks hold a whole file or a FileView.
  benchmark::RegisterBenchmark("stream/generated/peakMemory", readGeneratedStream)
      ->Arg(128)
      ->Arg(1024)
      ->ArgName("MiB")
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);

  // A pass reads the million rows once; two seconds of passes each smooth out some of the noise.
  auto add = [](const char* name, std::function<void(benchmark::State&)> run) {
    benchmark::RegisterBenchmark(name, std::move(run))
        ->MinTime(2.0)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  };
  add("readRow/optional/file", [](auto& state) { readFromFile(state, false, Form::optional); });
  add("readRow/filling/file", [](auto& state) { readFromFile(state, false, Form::filling); });
  add("readRow/optional/memory", [](auto& state) { readMemory(state, Form::optional); });
  add("readRow/filling/memory", [](auto& state) { readMemory(state, Form::filling); });
  add("readRow/optional/fileUTF16LE", [](auto& state) { readFromFile(state, true, Form::optional); });
  add("readRow/filling/fileUTF16LE", [](auto& state) { readFromFile(state, true, Form::filling); });
  add("readRow/fields/fileLF", [](auto& state) { readFieldsFromFile(state, false); });
  add("readRow/fields/fileCRLF", [](auto& state) { readFieldsFromFile(state, true); });
  add("decodeFile/FileView", decodeIntoFileView);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
