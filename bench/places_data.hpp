#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "tamrikcsv/reader/input_stream.hpp"

// Benchmark inputs shaped like the places files the application loads: nine columns, LF line ends,
// about a tenth of the names quoted (they hold a comma or a doubled quote), some non-ASCII names and a
// third of the serial numbers empty. The rows come from a fixed-seed generator, so every machine and
// every run reads the very same bytes.
namespace tamrikcsv::bench {

/// The header line of a places file, its line feed included.
inline constexpr std::string_view kPlacesHeader =
    "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Place Name,Serial Number\n";
inline constexpr std::size_t kPlacesColumns = 9;
/// Data rows (the header not counted) in the files `ensurePlacesFiles` writes.
inline constexpr std::uint64_t kPlacesRows = 1'000'000;

/// How many consecutive rows share a location, a level and a zone. Every row is a place of its own.
struct PlacesLayout {
  std::uint64_t rowsPerLocation = 5000, rowsPerLevel = 500, rowsPerZone = 50;
};
/// Every row in one zone of one level of one location.
inline constexpr PlacesLayout kOneZoneLayout{UINT64_MAX, UINT64_MAX, UINT64_MAX};

/// Makes places rows one at a time; the same seed always gives the same rows.
class PlacesGenerator {
 public:
  explicit PlacesGenerator(std::uint64_t seed = 42, PlacesLayout layout = {})
      : state_(seed), layout_(layout) {}

  /// Appends the next row as one CSV line ending in a line feed.
  void appendRow(std::string& out);
  /// Rows made so far.
  std::uint64_t rows() const noexcept { return row_; }

 private:
  std::uint64_t next() noexcept;
  bool chance(double probability) noexcept;
  void appendName(std::string& out, std::string_view prefix, std::uint64_t number);

  std::uint64_t state_;
  PlacesLayout layout_;
  std::uint64_t row_ = 0;
  std::string scratch_;
};

/// Appends valid UTF-8 text as UTF-16 little-endian code units.
void appendUTF16LE(std::string_view utf8, std::string& out);

/// The folder that holds the generated inputs: `TAMRIK_BENCH_DATA`, else /tmp/tamrik-bench.
std::filesystem::path benchDataDirectory();

struct PlacesFiles {
  std::filesystem::path utf8;     ///< places.csv
  std::filesystem::path utf16LE;  ///< places-utf16le.csv, with a byte-order mark
};

/// Writes the places files into `directory` where they are missing and returns their paths. A file is
/// written under a temporary name and renamed, so a run that is stopped halfway never leaves a short
/// file behind that later runs would take for a whole one.
PlacesFiles ensurePlacesFiles(const std::filesystem::path& directory = benchDataDirectory());

/// Data rows in the file `ensureOneZonePlacesFile` writes: that many places, all in one zone.
inline constexpr std::uint64_t kOneZoneRows = 200'000;
/// Writes places-one-zone.csv (UTF-8, laid out as `kOneZoneLayout`) into `directory` when it is missing,
/// the same way as `ensurePlacesFiles`, and returns its path.
std::filesystem::path ensureOneZonePlacesFile(const std::filesystem::path& directory = benchDataDirectory());

/// The header line of the numeric file, its line feed included: five integer columns, five double ones.
inline constexpr std::string_view kNumericHeader = "i0,i1,i2,i3,i4,f0,f1,f2,f3,f4\n";
inline constexpr std::size_t kNumericColumns = 10;
/// Data rows in the file `ensureNumericFile` writes.
inline constexpr std::uint64_t kNumericRows = 1'000'000;

/// Makes numeric rows one at a time: integers in (-1e9, 1e9), doubles in (-1e6, 1e6) written in their
/// shortest form that reads back to the same value. The same seed always gives the same rows.
class NumericGenerator {
 public:
  explicit NumericGenerator(std::uint64_t seed = 42) : state_(seed) {}

  /// Appends the next row as one CSV line ending in a line feed.
  void appendRow(std::string& out);
  std::uint64_t rows() const noexcept { return row_; }

 private:
  std::uint64_t next() noexcept;

  std::uint64_t state_;
  std::uint64_t row_ = 0;
};

/// Writes numeric.csv into `directory` when it is missing (the same way as `ensurePlacesFiles`) and
/// returns its path.
std::filesystem::path ensureNumericFile(const std::filesystem::path& directory = benchDataDirectory());

/// An input stream that makes places rows as they are read and forgets them once handed out, so an
/// input of any size costs only a small buffer: the way to show that reading keeps memory flat however
/// long the input is. It ends after the first row that takes it to `limit` bytes.
class PlacesStream final : public InputStream {
 public:
  explicit PlacesStream(std::uint64_t limit, std::uint64_t seed = 42) : limit_(limit), generator_(seed) {}

  void open() override;
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override;
  bool hasBytesAvailable() const override { return status_ == StreamStatus::open; }
  void close() override { status_ = StreamStatus::closed; }
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return nullptr; }
  std::string description() const override;

  /// Bytes handed out so far, the header included.
  std::uint64_t bytesRead() const noexcept { return bytesRead_; }
  /// Data rows made so far.
  std::uint64_t rows() const noexcept { return generator_.rows(); }

 private:
  void refill();

  std::uint64_t limit_;
  PlacesGenerator generator_;
  std::string pending_;
  std::size_t offset_ = 0;
  std::uint64_t bytesMade_ = 0;
  std::uint64_t bytesRead_ = 0;
  StreamStatus status_ = StreamStatus::notOpen;
};

}  // namespace tamrikcsv::bench
