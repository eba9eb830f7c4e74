// libFuzzer target for the writer. The first bytes choose a configuration and where the writer writes,
// the rest is a list of operations:
//
//   field delimiter    1 byte count (1-3), then a byte per scalar (an index into kScalars)
//   row delimiters     1 byte count (1-3), then a delimiter each, as the field delimiter
//   escaping           1 byte: none, or an index into kScalars
//   encoding, mark     1 byte each
//   headers            1 byte count (0-3), then a field each
//   sink               1 byte (see Sink), then the flaky stream's pattern and failure offset, 1 byte each
//   operations         1 byte each: the low 3 bits choose it (see the switch below), the next 2 the field
//                      count of writeFields and writeRow; the fields it writes follow
//
// A field is 1 byte length (0-7), then a byte per piece: a scalar of kScalars or an invalid UTF-8 fragment.
// Every operation must end normally or in a writer error. While no operation failed partway, the counters
// follow a model of the rows, and what the model refuses raises `invalidOperation` before writing anything.
// A complete output of a configuration that round-trips must read back as the modelled rows.

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/reference_reader.hpp"
#include "tamrikcsv/tamrikcsv.hpp"

namespace {

using namespace tamrikcsv;
using Row = std::vector<std::string>;

constexpr char32_t kScalars[] = {U',',      U';',      U'\t',     U'|',          U'\n',     U'\r',
                                 U'"',      U'\'',     U' ',      U'a',          U'\0',     U'\u00E9',
                                 U'\u65E5', U'\u00A5', U'\u2028', U'\U0001F600', U'\uFEFF', U'\uFFFE'};
constexpr const char* kInvalid[] = {"\x80",         "\xC3",     "\xE6\x97", "\xED\xA0\x80",
                                    "\xF4\x90\x80", "\xC0\xAF", "\xFF",     "\xF0\x9F\x98"};
using E = TextEncoding;
constexpr std::optional<E> kEncodings[] = {std::nullopt, E::utf8,           E::ascii,
                                           E::utf16,     E::utf16BigEndian, E::utf16LittleEndian,
                                           E::utf32,     E::utf32BigEndian, E::utf32LittleEndian,
                                           E::shiftJIS,  E::isoLatin1};
constexpr std::string_view kMarks[] = {"\xEF\xBB\xBF", "\xFE\xFF", "\xFF\xFE", {"\0\0\xFE\xFF", 4}};
enum class Sink { memory, flakyStream, file, appendedFile, fullDevice, count };

struct Input {
  const std::uint8_t* data;
  std::size_t size, at = 0;
  std::uint8_t take() { return at < size ? data[at++] : 0; }
  std::u32string sequence() {
    std::u32string scalars;
    for (int n = 1 + take() % 3; n > 0; --n) scalars += kScalars[take() % std::size(kScalars)];
    return scalars;
  }
  std::string field() {
    std::string text;
    for (int n = take() % 8; n > 0; --n) {
      std::uint8_t piece = take();
      text += piece >= 0xF8 ? kInvalid[piece & 7] : test::toUTF8({&kScalars[piece % std::size(kScalars)], 1});
    }
    return text;
  }
};

// The round-trip test's rule: delimiters the reader tells apart from the ends of fields, and an escaping
// scalar outside them.
bool roundTrips(const std::u32string& field, const std::u32string& row, std::optional<char32_t> escape) {
  if (field.starts_with(row) || row.starts_with(field)) return false;
  for (const auto* d : {&field, &row})
    for (const auto* e : {&field, &row})
      if (d->find(e->front(), 1) != std::u32string::npos) return false;
  return !escape ||
         (field.find(*escape) == std::u32string::npos && row.find(*escape) == std::u32string::npos);
}

// Accepts all, a few or no bytes per write as its pattern says, and fails for good after `failAt` bytes;
// with the pattern 0xFF it does not open.
class FlakyOutput final : public OutputStream {
 public:
  FlakyOutput(std::uint8_t pattern, std::size_t failAt) : pattern_(pattern), failAt_(failAt) {}
  void open() override {
    if (status_ == StreamStatus::notOpen && pattern_ != 0xFF) status_ = StreamStatus::open;
  }
  std::ptrdiff_t write(const std::byte* bytes, std::size_t length) override {
    if (status_ != StreamStatus::open) return -1;
    if (written.size() >= failAt_) {
      error_ = std::make_exception_ptr(std::runtime_error("unplugged"));
      return status_ = StreamStatus::error, -1;
    }
    std::size_t n = (pattern_ >> (calls_ % 8)) & 1 ? length : calls_ * pattern_ % 4;
    ++calls_;
    n = std::min({n, length, failAt_ - written.size()});
    written.append(reinterpret_cast<const char*>(bytes), n);
    return static_cast<std::ptrdiff_t>(n);
  }
  void close() override {
    if (status_ != StreamStatus::error) status_ = StreamStatus::closed;
  }
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return error_; }
  std::string description() const override { return "flaky stream"; }
  std::string written;

 private:
  std::uint8_t pattern_;
  std::size_t failAt_, calls_ = 0;
  StreamStatus status_ = StreamStatus::notOpen;
  std::exception_ptr error_;
};

// A file that only lives in memory, reached through a path.
struct MemoryFile {
  int fd = memfd_create("fuzz_writer", MFD_CLOEXEC);
  ~MemoryFile() { ::close(fd); }
  std::filesystem::path path() const { return "/proc/self/fd/" + std::to_string(fd); }
};

// The rows as the reader should see them (padded, the header row first) and the writer's counters.
struct Model {
  std::vector<Row> rows;
  Row current;
  std::size_t expected = 0, headerRows = 0;
  bool intact = true;  // every operation so far completed, or was refused before writing anything
  bool ended = false;

  bool live() const { return intact && !ended; }
  bool tooMany(std::size_t more) const { return expected > 0 && current.size() + more > expected; }
  void endRow() {
    if (expected == 0) expected = current.size();
    current.resize(expected);
    rows.push_back(std::exchange(current, {}));
  }
};

enum class Outcome { written, refused, failed };

std::string described;  // the case, for failure messages

[[noreturn]] void fail(const std::string& what) {
  std::cerr << what << "\n" << described << std::endl;
  std::abort();
}

Outcome attempt(const std::function<void()>& operation) {
  try {
    operation();
    return Outcome::written;
  } catch (const CSVErrorBase& error) {
    auto* writerError = dynamic_cast<const CSVError<CSVWriter>*>(&error);
    if (!writerError) fail(std::string("not a writer error: ") + error.what());
    return writerError->type() == CSVWriter::Error::invalidOperation ? Outcome::refused : Outcome::failed;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input in{data, size};
  CSVWriter::Configuration c;
  c.delimiters.field.scalars = in.sequence();
  c.delimiters.row.scalars.clear();
  for (int n = 1 + in.take() % 3; n > 0; --n) c.delimiters.row.scalars.insert(in.sequence());
  std::uint8_t escaping = in.take();
  c.escapingStrategy =
      escaping % 4 ? Strategy::Escaping(kScalars[escaping / 4 % std::size(kScalars)]) : nullptr;
  auto escape = c.escapingStrategy.scalar();
  c.encoding = kEncodings[in.take() % std::size(kEncodings)];
  auto encoding = c.encoding.value_or(E::utf8);
  c.bomStrategy = static_cast<Strategy::BOM>(in.take() % 3);
  for (int n = in.take() % 4; n > 0; --n) c.headers.push_back(in.field());
  auto sink = static_cast<Sink>(in.take() % static_cast<int>(Sink::count));
  std::uint8_t pattern = in.take(), failAt = in.take();

  CSVReader::Configuration read;
  read.delimiters = c.delimiters;
  read.escapingStrategy = c.escapingStrategy;
  read.encoding = c.encoding;
  if (!c.headers.empty()) read.headerStrategy = Strategy::Header::firstLine;
  described = test::describe(read) + ", mark " + std::to_string(static_cast<int>(c.bomStrategy)) + ", sink " +
              std::to_string(static_cast<int>(sink));

  // Fields that are not UTF-8, hold a delimiter without escaping, or hold a scalar outside ASCII in ASCII
  // must be refused; in a Unicode encoding, into memory or a file, the rest must be written.
  auto narrow = [](std::string_view text) {
    return std::ranges::all_of(text, [](char b) { return b >= 0; });
  };
  std::string fieldDelimiter = test::toUTF8(c.delimiters.field.scalars);
  bool unicode = encoding != E::ascii && encoding != E::shiftJIS,
       strict = unicode && sink != Sink::flakyStream && sink != Sink::fullDevice;
  auto refusable = [&](const Row& fields, const std::string& row) {
    return std::ranges::any_of(fields, [&](const std::string& f) {
      return !test::decodeUTF8(f).second || (encoding == E::ascii && !narrow(f)) ||
             (!escape && (f.find(fieldDelimiter) != std::string::npos || f.find(row) != std::string::npos));
    });
  };

  std::shared_ptr<FlakyOutput> stream;
  std::optional<MemoryFile> file;
  auto make = [&] {
    if (sink == Sink::memory) return CSVWriter::toMemory(c);
    if (sink == Sink::fullDevice) return CSVWriter::toFile("/dev/full", c);
    if (sink == Sink::flakyStream)
      return CSVWriter::toStream(
          stream = std::make_shared<FlakyOutput>(pattern, failAt ? failAt * 4 : SIZE_MAX), c);
    file.emplace();
    return CSVWriter::toFile(file->path(), c, sink == Sink::file ? FileMode::replace : FileMode::append);
  };
  std::optional<CSVWriter> writer;
  if (attempt([&] { writer.emplace(make()); }) != Outcome::written) return 0;
  const std::u32string rowDelimiter = writer->settings().delimiters.row;
  const std::string row = test::toUTF8(rowDelimiter);
  Model m;
  if (!c.headers.empty()) m.current = c.headers, m.endRow(), m.headerRows = 1;

  // Checks an outcome against the model: `refused` when the model refuses the operation before it writes,
  // else what its fields allow. True when the operation wrote what the model should take on.
  auto settle = [&](Outcome got, bool refused, bool mustRefuse) {
    if (!m.live()) return false;
    if (refused != (got == Outcome::refused))
      fail(refused ? "an operation was not refused" : "refused wrongly");
    if (got == Outcome::written && mustRefuse) fail("wrote what must be refused");
    if (got == Outcome::failed && !mustRefuse && strict) fail("failed to write");
    // A refused field takes back what its operation did; only a failing stream leaves the output broken.
    if (got == Outcome::failed && !mustRefuse) m.intact = false;
    return got == Outcome::written;
  };
  for (int operations = 0; in.at < in.size && operations < 64 && writer; ++operations) {
    std::uint8_t op = in.take();
    Row fields(op % 8 == 0 ? 1 : op % 8 <= 2 ? op / 8 % 4 : 0);
    for (auto& f : fields) f = in.field();
    switch (op % 8) {
      case 0:    // writeField
      case 1:    // writeFields
      case 2: {  // writeRow
        bool ends = op % 8 == 2;
        bool refused =
            m.tooMany(fields.size()) || (ends && fields.empty() && m.current.empty() && m.expected == 0);
        auto got = attempt([&] {
          if (op % 8 == 0)
            writer->writeField(fields[0]);
          else
            ends ? writer->writeRow(fields) : writer->writeFields(fields);
        });
        if (settle(got, refused, refusable(fields, row))) {
          m.current.insert(m.current.end(), fields.begin(), fields.end());
          if (ends) m.endRow();
        }
        break;
      }
      case 3:
        if (settle(attempt([&] { writer->endRow(); }), m.current.empty() && m.expected == 0, false))
          m.endRow();
        break;
      case 4:  // only at the start of a row, once the field count is known
        if (settle(attempt([&] { writer->writeEmptyRow(); }), m.expected == 0 || !m.current.empty(), false))
          m.endRow();
        break;
      case 5:
        if (settle(attempt([&] { writer->endEncoding(); }), false, false) && !m.current.empty()) m.endRow();
        m.ended = true;
        break;
      case 6: {
        bool available = sink == Sink::memory && m.ended;
        if ((attempt([&] { writer->data(); }) == Outcome::written) != available && (m.intact || !available))
          fail(available ? "no data after the end" : "data before the end, or without memory");
        break;
      }
      default:  // dropped: the destructor ends the row and closes the stream, silently
        writer.reset();
        if (m.live() && !m.current.empty()) m.endRow();
        m.intact = m.intact && strict;
        m.ended = true;
    }
    if (m.live() && (writer->fieldIndex() != static_cast<std::int64_t>(m.current.size()) ||
                     writer->expectedFields() != static_cast<std::int64_t>(m.expected) ||
                     writer->rowIndex() != static_cast<std::int64_t>(m.rows.size() - m.headerRows)))
      fail("the counters differ from the model");
  }
  if (writer && !m.ended && settle(attempt([&] { writer->endEncoding(); }), false, false) &&
      !m.current.empty())
    m.endRow();

  // Reading back a complete output.
  if (!m.intact || !roundTrips(c.delimiters.field.scalars, rowDelimiter, escape)) return 0;
  if (!(sink == Sink::memory && writer) && !stream && !file) return 0;
  auto* written = reinterpret_cast<const std::byte*>(stream ? stream->written.data() : nullptr);
  Data output = stream ? Data(written, written + stream->written.size())
                : file ? readFile(file->path())
                       : writer->data();
  // Without a mark from the writer, leading bytes that look like one are taken for one (Shift-JIS is
  // converted whole, without looking for marks).
  bool unordered = encoding == E::utf16 || encoding == E::utf32;
  bool marked = sink != Sink::appendedFile && (c.bomStrategy == Strategy::BOM::always
                                                   ? unicode
                                                   : c.bomStrategy == Strategy::BOM::convention && unordered);
  std::string_view head(reinterpret_cast<const char*>(output.data()),
                        std::min<std::size_t>(output.size(), 4));
  if (!marked && encoding != E::shiftJIS &&
      std::ranges::any_of(kMarks, [&](auto mark) { return head.starts_with(mark); }))
    return 0;

  read.delimiters.row.scalars = {rowDelimiter};
  read.presample = encoding == E::shiftJIS;
  test::Outcome expected;
  if (m.headerRows) expected.headers = m.rows[0];
  for (auto r = m.rows.begin() + static_cast<std::ptrdiff_t>(m.headerRows); r != m.rows.end(); ++r)
    // A blank line is dropped, unless it directly follows the first row.
    if (*r != Row{""} || m.headerRows + expected.rows.size() == 1) expected.rows.push_back(*r);
  auto actual = test::productionRead([&] { return CSVReader::fromData(output, read); });
  if (actual != expected) {
    std::cerr << "expected:\n" << expected << "\nactual:\n" << actual << "\noutput:";
    for (auto b : output) std::fprintf(stderr, " %02X", static_cast<unsigned>(b));
    fail("\nthe reader reads back other rows");
  }
  return 0;
}
