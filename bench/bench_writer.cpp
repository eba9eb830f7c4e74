// Writer throughput on a million places rows, in MB/s of output and rows/s, into memory and into a file,
// in UTF-8 and UTF-16 little-endian; and the writer's memory while it writes a file far larger than the
// rows it is given.
//
// The rows are the reader benchmark's: the places generator's text read back into strings once, before
// any timing. Written out with the same header they give that text again byte for byte, which is what the
// timed benchmarks check their last output against.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
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
using Rows = std::vector<std::vector<std::string>>;

// Rows in memory, with what writing them (and the header) must give.
struct Table {
  std::vector<std::string> headers;
  Rows rows;
  std::uint64_t utf8Bytes = 0, utf16Bytes = 0;  // the UTF-16 output starts with a byte-order mark
  std::uint64_t utf8Hash = 0, utf16Hash = 0;
};

// FNV-1a: enough to tell a wrong byte, and keeps a copy of the expected output out of memory.
class Hash {
 public:
  void add(const void* bytes, std::size_t length) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < length; ++i) value_ = (value_ ^ p[i]) * 0x100000001B3u;
  }
  std::uint64_t value() const noexcept { return value_; }

 private:
  std::uint64_t value_ = 0xCBF29CE484222325u;
};

// The first `count` generated rows, read back with the library's reader.
Table makeTable(std::uint64_t count) {
  std::string text(bench::kPlacesHeader);
  bench::PlacesGenerator generator;
  while (generator.rows() < count) generator.appendRow(text);

  Table table;
  Hash utf8, utf16;
  utf8.add(text.data(), text.size());
  table.utf8Bytes = text.size();
  std::string wide = "\xFF\xFE";
  bench::appendUTF16LE(text, wide);
  utf16.add(wide.data(), wide.size());
  table.utf16Bytes = wide.size();
  table.utf8Hash = utf8.value();
  table.utf16Hash = utf16.value();
  wide = std::string();

  auto reader = CSVReader::fromText(
      std::move(text), [](CSVReader::Configuration& c) { c.headerStrategy = Strategy::Header::firstLine; });
  table.headers = reader.headers();
  table.rows.reserve(count);
  while (auto row = reader.readRow()) table.rows.push_back(std::move(*row));
  return table;
}

// The million rows, made on first use (before any timing starts) and kept for the whole run. Null, with
// the benchmark skipped, when they cannot be made.
const Table* places(benchmark::State& state) {
  static std::string failure;
  static const std::optional<Table> table = []() -> std::optional<Table> {
    try {
      auto made = makeTable(kPlacesRows);
      if (made.rows.size() == kPlacesRows && made.headers.size() == kPlacesColumns) return made;
      failure = "the generated rows read back as " + std::to_string(made.rows.size()) + " rows";
    } catch (const std::exception& error) {
      failure = std::string("cannot make the rows: ") + error.what();
    }
    return std::nullopt;
  }();
  if (!table) state.SkipWithError(failure.c_str());
  return table ? &*table : nullptr;
}

enum class Encoding { utf8, utf16LE };

CSVWriter::Configuration configuration(const Table& table, Encoding encoding) {
  CSVWriter::Configuration c;
  c.headers = table.headers;
  if (encoding == Encoding::utf16LE) {
    c.encoding = TextEncoding::utf16LittleEndian;
    c.bomStrategy = Strategy::BOM::always;  // as the reader benchmark's UTF-16 input has one
  }
  return c;
}

// Output files go next to the inputs; the process id keeps two runs at once apart.
std::filesystem::path outputPath(std::string_view name) {
  return bench::benchDataDirectory() / (std::string(name) + "-" + std::to_string(::getpid()) + ".csv");
}

void removeQuietly(const std::filesystem::path& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

void report(benchmark::State& state, std::uint64_t outputBytes, std::uint64_t rowsPerPass) {
  state.SetBytesProcessed(static_cast<std::int64_t>(outputBytes) * state.iterations());
  state.counters["rows"] =
      benchmark::Counter(static_cast<double>(rowsPerPass) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}

bool check(benchmark::State& state, const Table& table, Encoding encoding, std::uint64_t size,
           std::uint64_t hash) {
  const bool wide = encoding == Encoding::utf16LE;
  const std::uint64_t expectedSize = wide ? table.utf16Bytes : table.utf8Bytes;
  if (size == expectedSize && hash == (wide ? table.utf16Hash : table.utf8Hash)) return true;
  state.SkipWithError(
      ("wrote " + std::to_string(size) + " bytes, " +
       (size == expectedSize ? "not the generated ones" : "not " + std::to_string(expectedSize)))
          .c_str());
  return false;
}

std::uint64_t hashFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  Hash hash;
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
    hash.add(block.data(), static_cast<std::size_t>(in.gcount()));
  return hash.value();
}

// The writer goes away with the clock stopped: freeing the output is not writing it.
void writeMemory(benchmark::State& state, Encoding encoding) {
  const auto* table = places(state);
  if (!table) return;
  const auto config = configuration(*table, encoding);
  std::optional<CSVWriter> writer;
  for (auto _ : state) {
    state.PauseTiming();
    writer.reset();
    state.ResumeTiming();
    writer.emplace(CSVWriter::toMemory(config));
    for (const auto& row : table->rows) writer->writeRow(row);
    writer->endEncoding();
    benchmark::DoNotOptimize(writer->data().data());
  }
  const Data& data = writer->data();
  Hash hash;
  hash.add(data.data(), data.size());
  if (check(state, *table, encoding, data.size(), hash.value())) report(state, data.size(), kPlacesRows);
}

// Each pass makes a new file: the one before is removed with the clock stopped, so that truncating it
// is not timed.
void writeFile(benchmark::State& state, Encoding encoding) {
  const auto* table = places(state);
  if (!table) return;
  const auto config = configuration(*table, encoding);
  const auto path = outputPath(encoding == Encoding::utf8 ? "written" : "written-utf16le");
  for (auto _ : state) {
    state.PauseTiming();
    removeQuietly(path);
    state.ResumeTiming();
    auto writer = CSVWriter::toFile(path, config);
    for (const auto& row : table->rows) writer.writeRow(row);
    writer.endEncoding();
  }
  const auto size = std::filesystem::file_size(path);
  const bool ok = check(state, *table, encoding, size, hashFile(path));
  removeQuietly(path);
  if (ok) report(state, size, kPlacesRows);
}

// Writes about state.range(0) MiB into a file by going round the first ten thousand rows (1 MB) again and
// again: few enough rows that holding them costs nothing beside the writer. The peak resident size should
// be the same for every output size, as the writer holds back a block at most, never the output.
void writeLargeFile(benchmark::State& state) {
  constexpr std::uint64_t kBlockRows = 10'000;
  const auto limit = static_cast<std::uint64_t>(state.range(0)) << 20;
  const Table block = makeTable(kBlockRows);
  const auto config = configuration(block, Encoding::utf8);
  const auto path = outputPath("written-large");
  const std::uint64_t blockBytes = block.utf8Bytes - bench::kPlacesHeader.size();
  const std::uint64_t rounds = (limit + blockBytes - 1) / blockBytes;
  removeQuietly(path);

  const bool reset = resetPeakResident();
  const double before = residentBytes();
  for (auto _ : state) {
    auto writer = CSVWriter::toFile(path, config);
    for (std::uint64_t round = 0; round < rounds; ++round)
      for (const auto& row : block.rows) writer.writeRow(row);
    writer.endEncoding();
  }
  const double peak = peakResidentBytes();
  const auto size = std::filesystem::file_size(path);
  removeQuietly(path);
  const std::uint64_t expected = bench::kPlacesHeader.size() + rounds * blockBytes;
  if (size != expected) {
    state.SkipWithError(
        ("wrote " + std::to_string(size) + " bytes, not " + std::to_string(expected)).c_str());
    return;
  }
  report(state, size, rounds * kBlockRows);
  bench::reportMemory(state, "output", static_cast<double>(size), before, peak, reset);
}

// Registered in this order, which is the order they run in.
[[maybe_unused]] const bool gRegistered = [] {
  // First, while the process is still small: the later benchmarks hold a million rows.
  benchmark::RegisterBenchmark("file/large/peakMemory", writeLargeFile)
      ->Arg(128)
      ->Arg(1024)
      ->ArgName("MiB")
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);

  // A pass writes the million rows once; two seconds of passes each smooth out some of the noise.
  auto add = [](const char* name, std::function<void(benchmark::State&)> run) {
    benchmark::RegisterBenchmark(name, std::move(run))
        ->MinTime(2.0)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  };
  add("writeRow/memory", [](auto& state) { writeMemory(state, Encoding::utf8); });
  add("writeRow/file", [](auto& state) { writeFile(state, Encoding::utf8); });
  add("writeRow/memoryUTF16LE", [](auto& state) { writeMemory(state, Encoding::utf16LE); });
  add("writeRow/fileUTF16LE", [](auto& state) { writeFile(state, Encoding::utf16LE); });
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
