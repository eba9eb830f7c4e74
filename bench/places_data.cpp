#include "places_data.hpp"

#include <unistd.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace tamrikcsv::bench {
namespace {

// Two of the twenty need escaping (one holds a comma, one a quote), which quotes about a tenth of the
// names; three carry non-ASCII text (two and three-byte UTF-8 sequences).
constexpr std::array<std::string_view, 20> kNames = {
    "Atrium",    "North Wing", "Café Zürich", "Dock, East", "The \"Loft\"", "日本橋",      "Harbour",
    "Mezzanine", "Lab 7",      "Orchard",     "South Wing", "Library",      "Ørsted Hall", "Studio",
    "Annex",     "Gallery",    "Terrace",     "Quiet Room", "Boardroom",    "Garden",
};

// splitmix64: tiny, fast, and the same sequence on every platform.
std::uint64_t splitmix64(std::uint64_t& state) noexcept {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

void appendNumber(std::string& out, std::uint64_t value, int width = 0) {
  char digits[24];
  auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  for (auto length = end - digits; length < width; ++length) out += '0';
  out.append(digits, end);
}

// Quotes a field only when it must be: a comma, a quote or a line break inside it.
void appendField(std::string& out, std::string_view field) {
  if (field.find_first_of(",\"\n\r") == std::string_view::npos) {
    out += field;
    return;
  }
  out += '"';
  for (char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// Writes `text` to `path` through a temporary file in the same folder, then renames it into place.
class AtomicFile {
 public:
  explicit AtomicFile(std::filesystem::path path)
      : path_(std::move(path)), temporary_(path_.string() + ".part" + std::to_string(::getpid())) {
    out_.open(temporary_, std::ios::binary | std::ios::trunc);
    if (!out_) throw std::runtime_error("Cannot create " + temporary_.string());
  }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile() {
    if (!committed_) {
      std::error_code ignored;
      std::filesystem::remove(temporary_, ignored);
    }
  }

  void write(std::string_view bytes) { out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size())); }
  void commit() {
    out_.close();
    if (!out_) throw std::runtime_error("Cannot write " + temporary_.string());
    std::filesystem::rename(temporary_, path_);
    committed_ = true;
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path temporary_;
  std::ofstream out_;
  bool committed_ = false;
};

// Writes the header and `rows` rows of `generator` to `path`, a block of whole lines at a time, and puts
// the file in place only once it is complete.
template <class Generator>
void writeRows(const std::filesystem::path& path, std::string_view header, Generator& generator,
               std::uint64_t rows) {
  AtomicFile file(path);
  std::string block(header);
  block.reserve(1 << 20);
  while (generator.rows() < rows) {
    generator.appendRow(block);
    if (block.size() >= (1 << 20) - 512) {
      file.write(block);
      block.clear();
    }
  }
  file.write(block);
  file.commit();
}

}  // namespace

std::uint64_t PlacesGenerator::next() noexcept {
  return splitmix64(state_);
}

bool PlacesGenerator::chance(double probability) noexcept {
  return static_cast<double>(next() >> 11) * 0x1.0p-53 < probability;
}

void PlacesGenerator::appendName(std::string& out, std::string_view prefix, std::uint64_t number) {
  std::string_view base = kNames[next() % kNames.size()];
  scratch_.clear();
  if (chance(0.9)) {
    scratch_ += prefix;
    scratch_ += ' ';
    appendNumber(scratch_, number);
    scratch_ += ' ';
    scratch_ += base;
  } else {
    scratch_ += base;
    scratch_ += ' ';
    scratch_ += prefix;
    scratch_ += ' ';
    appendNumber(scratch_, number);
  }
  appendField(out, scratch_);
}

void PlacesGenerator::appendRow(std::string& out) {
  const std::uint64_t r = row_++;
  const std::uint64_t location = r / layout_.rowsPerLocation,
                      level = (r / layout_.rowsPerLevel) % (layout_.rowsPerLocation / layout_.rowsPerLevel),
                      zone = (r / layout_.rowsPerZone) % (layout_.rowsPerLevel / layout_.rowsPerZone),
                      place = r;
  out += 'L';
  appendNumber(out, location);
  out += ',';
  appendName(out, "Location", location);
  out += ",L";
  appendNumber(out, location);
  out += "-F";
  appendNumber(out, level);
  out += ",Floor ";
  appendNumber(out, level);
  out += ",Z";
  appendNumber(out, location);
  out += '-';
  appendNumber(out, level);
  out += '-';
  appendNumber(out, zone);
  out += ',';
  appendName(out, "Zone", zone);
  out += ",P";
  appendNumber(out, place);
  out += ',';
  appendName(out, "Desk", place);
  out += ',';
  if (!chance(1.0 / 3.0)) {
    out += "SN";
    appendNumber(out, next() % 1'000'000'000u, 9);
  }
  out += '\n';
}

void appendUTF16LE(std::string_view utf8, std::string& out) {
  auto unit = [&out](std::uint32_t u) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  };
  for (std::size_t i = 0; i < utf8.size();) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t scalar = length == 1   ? lead
                           : length == 2 ? lead & 0x1F
                           : length == 3 ? lead & 0x0F
                                         : lead & 0x07;
    for (int k = 1; k < length; ++k)
      scalar = (scalar << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<std::size_t>(length);
    if (scalar < 0x10000) {
      unit(scalar);
    } else {
      scalar -= 0x10000;
      unit(0xD800 | (scalar >> 10));
      unit(0xDC00 | (scalar & 0x3FF));
    }
  }
}

std::filesystem::path benchDataDirectory() {
  const char* configured = std::getenv("TAMRIK_BENCH_DATA");
  return configured && *configured ? std::filesystem::path(configured)
                                   : std::filesystem::path("/tmp/tamrik-bench");
}

PlacesFiles ensurePlacesFiles(const std::filesystem::path& directory) {
  PlacesFiles files{directory / "places.csv", directory / "places-utf16le.csv"};
  const bool needUTF8 = !std::filesystem::exists(files.utf8);
  const bool needUTF16 = !std::filesystem::exists(files.utf16LE);
  if (!needUTF8 && !needUTF16) return files;

  std::filesystem::create_directories(directory);
  std::cerr << "Writing " << kPlacesRows << " places rows to " << directory.string() << " ..." << std::endl;
  std::optional<AtomicFile> utf8, utf16;
  if (needUTF8) utf8.emplace(files.utf8);
  if (needUTF16) utf16.emplace(files.utf16LE);

  std::string block, wide;
  block.reserve(1 << 20);
  wide.reserve(2 << 20);
  // The mark lets the reader find the encoding without being told.
  if (utf16) wide = "\xFF\xFE";
  block = kPlacesHeader;
  PlacesGenerator generator;
  auto flush = [&] {
    if (utf8) utf8->write(block);
    if (utf16) {
      appendUTF16LE(block, wide);
      utf16->write(wide);
    }
    block.clear();
    wide.clear();
  };
  while (generator.rows() < kPlacesRows) {
    generator.appendRow(block);
    if (block.size() >= (1 << 20) - 512) flush();  // whole lines only, so no character is ever cut
  }
  flush();
  if (utf8) utf8->commit();
  if (utf16) utf16->commit();
  return files;
}

std::filesystem::path ensureOneZonePlacesFile(const std::filesystem::path& directory) {
  auto path = directory / "places-one-zone.csv";
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories(directory);
  std::cerr << "Writing " << kOneZoneRows << " places rows of one zone to " << directory.string() << " ..."
            << std::endl;
  PlacesGenerator generator(42, kOneZoneLayout);
  writeRows(path, kPlacesHeader, generator, kOneZoneRows);
  return path;
}

std::uint64_t NumericGenerator::next() noexcept {
  return splitmix64(state_);
}

void NumericGenerator::appendRow(std::string& out) {
  ++row_;
  char digits[32];
  for (int k = 0; k < 5; ++k) {
    const auto value = static_cast<std::int64_t>(next() % 1'999'999'999u) - 999'999'999;
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    out += ',';
  }
  for (int k = 0; k < 5; ++k) {
    const double value = static_cast<double>(next() >> 11) * 0x1.0p-53 * 2e6 - 1e6;
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);  // shortest round trip
    out += k < 4 ? ',' : '\n';
  }
}

std::filesystem::path ensureNumericFile(const std::filesystem::path& directory) {
  auto path = directory / "numeric.csv";
  if (std::filesystem::exists(path)) return path;
  std::filesystem::create_directories(directory);
  std::cerr << "Writing " << kNumericRows << " numeric rows to " << directory.string() << " ..." << std::endl;
  NumericGenerator generator;
  writeRows(path, kNumericHeader, generator, kNumericRows);
  return path;
}

void PlacesStream::open() {
  if (status_ != StreamStatus::notOpen) return;
  status_ = StreamStatus::open;
  pending_ = kPlacesHeader;
  bytesMade_ = pending_.size();
}

// Makes about 64 KiB of rows at a time: large enough that making them is cheap per row, small enough
// that the stream's own memory does not count.
void PlacesStream::refill() {
  pending_.clear();
  offset_ = 0;
  while (pending_.size() < 64 * 1024 && bytesMade_ + pending_.size() < limit_) generator_.appendRow(pending_);
  bytesMade_ += pending_.size();
}

std::ptrdiff_t PlacesStream::read(std::byte* buffer, std::size_t maxLength) {
  if (status_ == StreamStatus::atEnd) return 0;
  if (status_ != StreamStatus::open) return -1;
  if (offset_ == pending_.size()) refill();
  std::size_t n = std::min(maxLength, pending_.size() - offset_);
  if (n > 0) std::memcpy(buffer, pending_.data() + offset_, n);
  offset_ += n;
  bytesRead_ += n;
  if (n == 0 && maxLength > 0) status_ = StreamStatus::atEnd;
  return static_cast<std::ptrdiff_t>(n);
}

std::string PlacesStream::description() const {
  return "generated places stream of about " + std::to_string(limit_) + " bytes";
}

}  // namespace tamrikcsv::bench
