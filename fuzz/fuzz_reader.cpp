// libFuzzer target for the reader. The first bytes choose a configuration and a way into the reader,
// the rest is the input:
//
//   field delimiter    1 byte count (1-3), then a byte per scalar (an index into kScalars)
//   row delimiters     1 byte count (1-3), then a delimiter each, as the field delimiter
//   escaping, trim     1 byte each (see configuration())
//   flags              1 byte: header, presample, prepend the encoding's mark, stream fails, decode whole
//   encoding, kind     1 byte each
//   stream             1 byte read pattern, 1 byte failure offset (in units of 4 bytes)
//   reading            1 byte seed for the mix of readRow, readRow(Row&) and readRecord
//
// Every read must end in rows or a CSVErrorBase, never in a crash, a hang or another exception; a failed
// reader must keep raising its error. Where the input is UTF-8 without a mark, the outcome must also be
// that of the scalar-by-scalar reference reader, whatever the way in.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "support/reference_reader.hpp"
#include "tamrikcsv/tamrikcsv.hpp"

namespace {

using namespace tamrikcsv;

constexpr char32_t kScalars[] = {U',',      U';',          U'\t',     U'|',     U'\n', U'\r',
                                 U'"',      U'\'',         U' ',      U'a',     U'\0', U'\u00E9',
                                 U'\u2028', U'\U0001F600', U'\uFEFF', U'\u00A0'};
constexpr std::optional<TextEncoding> kEncodings[] = {
    std::nullopt,
    std::nullopt,
    TextEncoding::utf8,
    TextEncoding::ascii,
    TextEncoding::utf16,
    TextEncoding::utf16BigEndian,
    TextEncoding::utf16LittleEndian,
    TextEncoding::utf32,
    TextEncoding::utf32BigEndian,
    TextEncoding::utf32LittleEndian,
    TextEncoding::isoLatin1,
    TextEncoding::shiftJIS,
};
enum class Kind { text, data, file, memoryStream, choppyStream, count };
constexpr const char* kKindNames[] = {"text", "bytes", "file", "memory stream", "choppy stream"};

class Bytes {
 public:
  Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t take() { return at_ < size_ ? data_[at_++] : 0; }
  std::string rest() const { return at_ < size_ ? std::string(data_ + at_, data_ + size_) : std::string(); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

std::u32string sequence(Bytes& in) {
  std::u32string scalars;
  for (int n = 1 + in.take() % 3; n > 0; --n) scalars += kScalars[in.take() % std::size(kScalars)];
  return scalars;
}

// Any configuration, valid or not: construction must reject the invalid ones with a configuration error.
ReaderConfiguration configuration(Bytes& in) {
  ReaderConfiguration c;
  c.delimiters.field.scalars = sequence(in);
  c.delimiters.row.scalars.clear();
  for (int n = 1 + in.take() % 3; n > 0; --n) c.delimiters.row.scalars.insert(sequence(in));
  std::uint8_t escaping = in.take();
  if (escaping % 4 == 0) c.escapingStrategy = nullptr;
  if (escaping % 4 >= 2) c.escapingStrategy = kScalars[escaping / 4 % std::size(kScalars)];
  std::uint8_t trim = in.take();
  if (trim % 4 == 1) c.trimStrategy = CharacterSet::whitespaces();
  if (trim % 4 >= 2) c.trimStrategy = {kScalars[trim / 4 % 4 + 8], kScalars[trim / 16 % std::size(kScalars)]};
  return c;
}

const char* markOf(TextEncoding encoding, std::size_t& size) {
  switch (encoding) {
    case TextEncoding::utf8:
      return size = 3, "\xEF\xBB\xBF";
    case TextEncoding::utf16:
    case TextEncoding::utf16BigEndian:
      return size = 2, "\xFE\xFF";
    case TextEncoding::utf16LittleEndian:
      return size = 2, "\xFF\xFE";
    case TextEncoding::utf32:
    case TextEncoding::utf32BigEndian:
      return size = 4, "\0\0\xFE\xFF";
    case TextEncoding::utf32LittleEndian:
      return size = 4, "\xFF\xFE\0\0";
    default:
      return size = 0, "";
  }
}

// Short reads of varying sizes; when told to, it fails once `failAt` bytes were read.
class ChoppyStream final : public InputStream {
 public:
  ChoppyStream(const std::string& data, std::uint8_t pattern, std::optional<std::size_t> failAt)
      : data_(data), pattern_(pattern), failAt_(failAt) {}

  void open() override {
    if (status_ == StreamStatus::notOpen) status_ = StreamStatus::open;
  }
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override {
    if (status_ != StreamStatus::open) return status_ == StreamStatus::atEnd ? 0 : -1;
    std::size_t limit = failAt_ ? std::min(*failAt_, data_.size()) : data_.size();
    if (offset_ == limit) {
      status_ = failAt_ ? StreamStatus::error : StreamStatus::atEnd;
      return failAt_ ? -1 : 0;
    }
    std::size_t wanted = (pattern_ >> (reads_ % 8)) & 1 ? maxLength : 1 + (reads_ * pattern_) % 7;
    ++reads_;
    std::size_t n = std::min({maxLength, wanted, limit - offset_});
    std::memcpy(buffer, data_.data() + offset_, n);
    offset_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }
  bool hasBytesAvailable() const override { return status_ == StreamStatus::open; }
  void close() override {
    if (status_ != StreamStatus::error) status_ = StreamStatus::closed;
  }
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override {
    return status_ == StreamStatus::error ? std::make_exception_ptr(std::runtime_error("unplugged"))
                                          : nullptr;
  }
  std::string description() const override { return "choppy stream"; }

 private:
  std::string data_;
  std::uint8_t pattern_;
  std::optional<std::size_t> failAt_;
  std::size_t offset_ = 0, reads_ = 0;
  StreamStatus status_ = StreamStatus::notOpen;
};

// A file that only lives in memory, reached through a path.
class MemoryFile {
 public:
  explicit MemoryFile(const std::string& data) : fd_(memfd_create("fuzz_reader", MFD_CLOEXEC)) {
    if (fd_ < 0 || ::write(fd_, data.data(), data.size()) != static_cast<ssize_t>(data.size())) std::abort();
  }
  ~MemoryFile() { ::close(fd_); }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  std::filesystem::path path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

Data bytes(const std::string& text) {
  auto p = reinterpret_cast<const std::byte*>(text.data());
  return Data(p, p + text.size());
}

[[noreturn]] void fail(const std::string& what, const ReaderConfiguration& c, Kind kind,
                       const std::string& input) {
  std::cerr << what << "\n" << test::describe(c) << "\n" << kKindNames[static_cast<int>(kind)] << ", input";
  for (unsigned char b : input) std::fprintf(stderr, " %02X", b);
  std::cerr << std::endl;
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Bytes in(data, size);
  ReaderConfiguration c = configuration(in);
  std::uint8_t flags = in.take();
  c.headerStrategy = flags & 1 ? Strategy::Header::firstLine : Strategy::Header::none;
  c.presample = flags & 2;
  bool withMark = flags & 4, fails = flags & 8, decodeWhole = flags & 16;
  c.encoding = kEncodings[in.take() % std::size(kEncodings)];
  auto kind = static_cast<Kind>(in.take() % static_cast<int>(Kind::count));
  std::uint8_t pattern = in.take();
  std::size_t failAt = std::size_t{in.take()} * 4;
  std::minstd_rand rng(in.take());
  std::string input = in.rest();
  if (withMark && c.encoding) {
    std::size_t n;
    const char* mark = markOf(*c.encoding, n);
    input.insert(0, mark, n);
  }
  fails = fails && kind == Kind::choppyStream;

  std::optional<MemoryFile> file;
  if (kind == Kind::file) file.emplace(input);
  auto make = [&] {
    switch (kind) {
      case Kind::text:
        return CSVReader::fromText(input, c);
      case Kind::data:
        return CSVReader::fromData(bytes(input), c);
      case Kind::file:
        return CSVReader::fromFile(file->path(), c);
      case Kind::memoryStream:
        return CSVReader::fromStream(std::make_shared<MemoryInputStream>(bytes(input)), c);
      default:
        return CSVReader::fromStream(
            std::make_shared<ChoppyStream>(input, pattern, fails ? std::optional(failAt) : std::nullopt), c);
    }
  };
  auto actual = test::productionRead(make, [&](unsigned n) { return static_cast<unsigned>(rng() % n); });
  if (!actual.broken.empty()) fail(actual.broken, c, kind, input);

  // UTF-8 without a mark reads the same every way; the reference knows where invalid bytes and a failing
  // stream stop it. Left out: a stream that fails before parsing starts (presampled, or at its first
  // read) and a presampled input with an encoding, which is converted whole before parsing.
  auto first = input.empty() ? 0x20 : static_cast<unsigned char>(input[0]);
  bool markless = first != 0xEF && first != 0xFE && first != 0xFF && first != 0x00;
  std::string delivered = fails ? input.substr(0, std::min(failAt, input.size())) : input;
  bool comparable =
      kind == Kind::text || ((!c.encoding || *c.encoding == TextEncoding::utf8) && markless &&
                             !(c.presample && (c.encoding || fails)) && !(fails && delivered.empty()));
  if (comparable) {
    auto [scalars, valid] = test::decodeUTF8(delivered);
    std::optional<test::ErrorText> endError;
    if (!valid)
      endError = test::invalidUTF8Text();
    else if (fails)
      endError = test::ErrorText{"The input stream encountered an error while trying to read input bytes.",
                                 "Review the internal error and make sure you have access to the input data.",
                                 "Stream status: error"};
    auto expected = test::referenceRead(c, scalars, endError);
    if (expected != actual) {
      std::cerr << "expected:\n" << expected << "\nactual:\n" << actual << "\n";
      fail("the reader and the reference disagree", c, kind, input);
    }
  }

  if (decodeWhole && kind == Kind::text) {
    bool repeatedTitles =
        std::set(actual.headers.begin(), actual.headers.end()).size() != actual.headers.size();
    try {
      auto view = CSVReader::decodeText(input, c);
      if (actual.error || view.headers() != actual.headers || view.rows() != actual.rows)
        fail("decodeText reads otherwise", c, kind, input);
    } catch (const CSVErrorBase&) {
      if (!actual.error && !repeatedTitles) fail("decodeText fails where reading does not", c, kind, input);
    }
  }
  return 0;
}
