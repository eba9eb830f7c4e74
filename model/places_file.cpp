#include "model/places_file.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <initializer_list>
#include <span>
#include <system_error>
#include <utility>

#include "model/csv_row.hpp"
#include "model/detail/places_format.hpp"
#include "tamrikcsv/reader/csv_error.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"
#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrik {
namespace {

std::string fileNameOf(const std::filesystem::path& file) {
  return file.filename().string();
}

// "3", "3 and 7", "3, 7 and 12", and past `shown` lines "3, 7, 12 and 40 more".
std::string listOfLines(const std::vector<std::size_t>& lines, std::size_t shown = 10) {
  std::string text;
  const std::size_t listed = std::min(lines.size(), shown);
  for (std::size_t i = 0; i < listed; ++i) {
    if (i > 0) text += (i + 1 == listed && listed == lines.size()) ? " and " : ", ";
    text += std::to_string(lines[i]);
  }
  if (listed < lines.size()) text += " and " + std::to_string(lines.size() - listed) + " more";
  return text;
}

}  // namespace

PlacesFileError::PlacesFileError(Kind kind, std::filesystem::path file, std::string message,
                                 std::optional<std::size_t> line, std::optional<std::size_t> column,
                                 std::exception_ptr underlying)
    : std::runtime_error(std::move(message)),
      kind_(kind),
      file_(std::move(file)),
      line_(line),
      column_(column),
      underlying_(std::move(underlying)) {}

std::string PlacesLoadReport::warningText(const std::string& fileName) const {
  if (spreadsheetNumberLines.empty()) return {};
  const bool one = spreadsheetNumberLines.size() == 1;
  return fileName + ": the serial number" + (one ? " on line " : "s on lines ") +
         listOfLines(spreadsheetNumberLines) + (one ? " is" : " are") +
         " in a spreadsheet's number format (such as \"1.23456789012346E+019\"), so a spreadsheet program "
         "has rounded " +
         (one ? "it" : "them") +
         ". In the spreadsheet, format the Serial Number column as text before saving, and enter the "
         "serial numbers again.";
}

bool hasSpreadsheetNumberFormat(std::string_view s) noexcept {
  auto digit = [&](std::size_t i) { return i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); };
  std::size_t i = 0;
  if (!digit(i++)) return false;
  if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
    if (!digit(++i)) return false;
    while (digit(i)) ++i;
  }
  if (i >= s.size() || (s[i] != 'E' && s[i] != 'e')) return false;
  if (++i >= s.size() || (s[i] != '+' && s[i] != '-')) return false;
  if (!digit(++i)) return false;
  while (digit(i)) ++i;
  return i == s.size();
}

namespace detail {
namespace {

using Keys = CSVRow::CodingKeys;
using tamrikcsv::TextEncoding;
constexpr std::size_t kRequiredTitles = 8;  // all but "Serial Number"
constexpr std::size_t kUnitBuffer = 1 << 16;
// Less than the buffer, so that the unit after a line end at the limit is read without a refill.
constexpr std::size_t kFirstLineLimit = kUnitBuffer - 8;

// How a file's text is laid out in code units: bytes for UTF-8 and the code pages (whose CR, LF, quotation
// mark and delimiters are bytes of their own), two or four bytes for UTF-16 and UTF-32. `mark` is the
// size of a byte-order mark to pass over.
struct Layout {
  std::size_t width = 1, mark = 0;
  bool bigEndian = false;
  TextEncoding markEncoding = TextEncoding::utf8;  // what the mark says, where there is one
};

bool startsWith(std::string_view bytes, std::initializer_list<unsigned char> mark) {
  return bytes.size() >= mark.size() &&
         std::equal(mark.begin(), mark.end(), bytes.begin(),
                    [](unsigned char m, char b) { return m == static_cast<unsigned char>(b); });
}

// The layout that the first bytes and the encoding given (which the mark must agree with) make.
Layout layoutOf(std::string_view first, std::optional<TextEncoding> encoding) {
  auto given = [&](TextEncoding unordered, TextEncoding ordered) {
    return !encoding || *encoding == unordered || *encoding == ordered;
  };
  // UTF-32LE's mark begins as UTF-16LE's does, so it is tried first.
  if (startsWith(first, {0x00, 0x00, 0xFE, 0xFF}) && given(TextEncoding::utf32, TextEncoding::utf32BigEndian))
    return {4, 4, true, TextEncoding::utf32BigEndian};
  if (startsWith(first, {0xFF, 0xFE, 0x00, 0x00}) &&
      given(TextEncoding::utf32, TextEncoding::utf32LittleEndian))
    return {4, 4, false, TextEncoding::utf32LittleEndian};
  if (startsWith(first, {0xFE, 0xFF}) && given(TextEncoding::utf16, TextEncoding::utf16BigEndian))
    return {2, 2, true, TextEncoding::utf16BigEndian};
  if (startsWith(first, {0xFF, 0xFE}) && given(TextEncoding::utf16, TextEncoding::utf16LittleEndian))
    return {2, 2, false, TextEncoding::utf16LittleEndian};
  if (startsWith(first, {0xEF, 0xBB, 0xBF}) && given(TextEncoding::utf8, TextEncoding::utf8)) return {1, 3};
  if (encoding == TextEncoding::utf16 || encoding == TextEncoding::utf16BigEndian) return {2, 0, true};
  if (encoding == TextEncoding::utf16LittleEndian) return {2, 0, false};
  if (encoding == TextEncoding::utf32 || encoding == TextEncoding::utf32BigEndian) return {4, 0, true};
  if (encoding == TextEncoding::utf32LittleEndian) return {4, 0, false};
  return {};
}

// The code units of a file, read in the layout of its first bytes.
class CodeUnits {
 public:
  CodeUnits(const std::filesystem::path& file, std::optional<TextEncoding> encoding)
      : in_(file, std::ios::binary), buffer_(kUnitBuffer) {
    fill();
    layout_ = layoutOf(std::string_view(buffer_.data(), end_), encoding);
    at_ = layout_.mark;
  }
  const Layout& layout() const noexcept { return layout_; }
  // The file's first bytes, up to `upTo`, while no more than the first buffer was read.
  std::string_view firstBytes(std::size_t upTo) const {
    return consumed_ == 0 ? std::string_view(buffer_.data(), std::min(upTo, end_)) : std::string_view();
  }
  std::size_t offset() const noexcept { return consumed_ + at_; }

  bool next(std::uint32_t& unit) {
    if (at_ + layout_.width > end_) {
      if (!in_) return false;
      fill();
      if (at_ + layout_.width > end_) return false;  // a cut unit at the end is no line end
    }
    unit = 0;
    for (std::size_t k = 0; k < layout_.width; ++k) {
      const auto byte =
          static_cast<unsigned char>(buffer_[at_ + (layout_.bigEndian ? k : layout_.width - 1 - k)]);
      unit = unit << 8 | byte;
    }
    at_ += layout_.width;
    return true;
  }

 private:
  void fill() {
    const std::size_t kept = end_ - at_;
    std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(at_),
              buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
    consumed_ += at_;
    in_.read(buffer_.data() + kept, static_cast<std::streamsize>(buffer_.size() - kept));
    end_ = kept + static_cast<std::size_t>(in_.gcount());
    at_ = 0;
  }

  std::ifstream in_;
  std::vector<char> buffer_;
  std::size_t at_ = 0, end_ = 0, consumed_ = 0;
  Layout layout_;
};

// The first line of a file: its bytes with their mark, up to and with its line end, and whether that is
// CR alone. Cut at 64 KiB when no line ends before.
struct FirstLine {
  std::string bytes;
  bool endsWithCR = false;
};

FirstLine firstLineOf(const std::filesystem::path& file, std::optional<TextEncoding> encoding) {
  CodeUnits units(file, encoding);
  std::uint32_t unit = 0;
  while (units.offset() < kFirstLineLimit && units.next(unit)) {
    if (unit != '\n' && unit != '\r') continue;
    std::size_t end = units.offset();
    bool aloneCR = false;
    if (unit == '\r') {
      std::uint32_t after = 0;
      const bool more = units.next(after);
      if (more && after == '\n') end = units.offset();
      aloneCR = more && after != '\n';
    }
    return {std::string(units.firstBytes(end)), aloneCR};
  }
  return {std::string(units.firstBytes(kFirstLineLimit)), false};
}

std::string titleList() {
  std::string list;
  for (const char* title : tamrikcsv::CodingKeyTraits<Keys>::names)
    list += (list.empty() ? "" : ", ") + std::string(title);
  return list;
}

// Whether the first line, split at `delimiter`, holds every required title.
bool headerSplitsAt(const std::string& firstLine, tamrikcsv::ReaderConfiguration configuration,
                    char32_t delimiter) {
  configuration.delimiters.field = delimiter;
  configuration.headerStrategy = tamrikcsv::Strategy::Header::none;
  try {
    auto reader = tamrikcsv::CSVReader::fromData(
        std::span(reinterpret_cast<const std::byte*>(firstLine.data()), firstLine.size()), configuration);
    std::vector<std::string> titles;
    if (!reader.readRow(titles)) return false;
    const auto& names = tamrikcsv::CodingKeyTraits<Keys>::names;
    return std::all_of(names.begin(), names.begin() + kRequiredTitles, [&](const char* name) {
      return std::find(titles.begin(), titles.end(), name) != titles.end();
    });
  } catch (const std::exception&) {
    return false;  // the decode says what is wrong
  }
}

bool isStreamed(TextEncoding encoding) {
  using enum TextEncoding;
  switch (encoding) {
    case ascii:
    case utf8:
    case utf16:
    case utf16BigEndian:
    case utf16LittleEndian:
    case utf32:
    case utf32BigEndian:
    case utf32LittleEndian:
      return true;
    default:
      return false;
  }
}

struct BytePosition {
  std::size_t line, column;
};

// Where the first byte that is not UTF-8 stands in `file`, after a UTF-8 byte-order mark; nothing when
// all of it is UTF-8. Lines end with "\n", "\r\n" or "\r"; columns count scalars.
std::optional<BytePosition> firstNonUTF8(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> buffer(1 << 16);
  std::size_t kept = 0;  // bytes of a scalar cut by the end of the last read
  std::size_t line = 1, column = 1;
  bool afterCR = false, first = true;
  while (true) {
    in.read(reinterpret_cast<char*>(buffer.data() + kept),
            static_cast<std::streamsize>(buffer.size() - kept));
    const std::size_t size = kept + static_cast<std::size_t>(in.gcount());
    const bool atEnd = !in;
    std::size_t i = 0;
    if (first && size >= 3 && buffer[0] == 0xEF && buffer[1] == 0xBB && buffer[2] == 0xBF) i = 3;
    first = false;
    while (i < size) {
      const int length = tamrikcsv::detail::scalarLength(buffer.data() + i, size - i);
      if (length == 0 || (length < 0 && atEnd)) return BytePosition{line, column};
      if (length < 0) break;
      const unsigned char byte = buffer[i];
      if (byte == '\n' && afterCR) {
        afterCR = false;
      } else if (byte == '\n' || byte == '\r') {
        ++line, column = 1;
        afterCR = byte == '\r';
      } else {
        ++column;
        afterCR = false;
      }
      i += static_cast<std::size_t>(length);
    }
    if (atEnd) return std::nullopt;
    kept = size - i;
    std::copy(buffer.begin() + static_cast<std::ptrdiff_t>(i),
              buffer.begin() + static_cast<std::ptrdiff_t>(size), buffer.begin());
  }
}

bool isReaderInputError(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const tamrikcsv::CSVError<tamrikcsv::CSVReader>& error) {
    // The decoding errors of UTF-8 carry no context; those of the CSV shape carry their row.
    return error.type() == tamrikcsv::CSVReader::Error::invalidInput && error.errorUserInfo().empty();
  } catch (...) {
  }
  return false;
}

class WatchedFile final : public tamrikcsv::InputStream {
 public:
  WatchedFile(const std::filesystem::path& file, WorkProgress& progress) : file_(file), progress_(progress) {
    // A work that reads several files (a merge) counts them all, and says so first.
    std::error_code error;
    if (progress_.total() == 0) progress_.setTotal(std::filesystem::file_size(file, error));
  }
  void open() override { file_.open(); }
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override {
    if (progress_.isCancelled()) {
      cancelled_ = std::make_exception_ptr(WorkCancelled());
      return -1;
    }
    const auto count = file_.read(buffer, maxLength);
    if (count > 0) progress_.addDone(static_cast<std::uint64_t>(count));
    return count;
  }
  bool hasBytesAvailable() const override { return !cancelled_ && file_.hasBytesAvailable(); }
  void close() override { file_.close(); }
  tamrikcsv::StreamStatus status() const override {
    return cancelled_ ? tamrikcsv::StreamStatus::error : file_.status();
  }
  std::exception_ptr error() const override { return cancelled_ ? cancelled_ : file_.error(); }
  std::string description() const override { return file_.description(); }

 private:
  tamrikcsv::FileInputStream file_;
  WorkProgress& progress_;
  std::exception_ptr cancelled_;
};

}  // namespace

std::shared_ptr<tamrikcsv::InputStream> watchedFile(const std::filesystem::path& file,
                                                    WorkProgress* progress) {
  if (!progress) return std::make_shared<tamrikcsv::FileInputStream>(file);
  return std::make_shared<WatchedFile>(file, *progress);
}

void requireLoadableFile(const std::filesystem::path& file) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (error || !std::filesystem::exists(status)) return;
  if (!std::filesystem::is_regular_file(status))
    throw PlacesFileError(PlacesFileError::Kind::notRegularFile, file,
                          fileNameOf(file) + " is not a regular file. Choose a places file saved on disk.");
  // Nothing but perhaps a byte-order mark.
  if (std::filesystem::file_size(file, error) <= CodeUnits(file, std::nullopt).layout().mark && !error)
    throw PlacesFileError(
        PlacesFileError::Kind::empty, file,
        fileNameOf(file) + " is empty. A places file starts with the header line: " + titleList() + ".");
}

tamrikcsv::ReaderConfiguration placesReaderConfiguration(const std::filesystem::path& file,
                                                         const PlacesReadOptions& options) {
  tamrikcsv::ReaderConfiguration configuration;
  configuration.encoding = options.encoding;
  // The reader streams only the Unicode encodings and ASCII; it converts the others as a whole.
  configuration.presample = options.encoding && !isStreamed(*options.encoding);
  configuration.headerStrategy = tamrikcsv::Strategy::Header::firstLine;
  // Spreadsheet programs end lines with CR LF, and some still offer CR alone; with LF alone the last
  // column would keep the CR, or the whole file would be one line. CR cannot join LF and CR LF in one set:
  // as the shorter delimiter, it would split every CR LF. The first line's end decides.
  const auto first = firstLineOf(file, options.encoding);
  configuration.delimiters.row =
      first.endsWithCR ? tamrikcsv::Delimiter::Row(U'\r') : tamrikcsv::Delimiter::Row::standard();
  if (!headerSplitsAt(first.bytes, configuration, U',')) {
    for (char32_t delimiter : {U';', U'\t'}) {
      if (headerSplitsAt(first.bytes, configuration, delimiter)) {
        configuration.delimiters.field = delimiter;
        break;
      }
    }
  }
  return configuration;
}

std::exception_ptr recogniseNotUTF8(const std::filesystem::path& file, const PlacesReadOptions& options,
                                    std::exception_ptr failure) {
  if (options.encoding && options.encoding != TextEncoding::utf8) return failure;
  if (!isReaderInputError(failure)) return failure;
  try {
    if (CodeUnits(file, options.encoding).layout().width != 1) return failure;  // read as UTF-16 or UTF-32
    const auto position = firstNonUTF8(file);
    if (!position) return failure;
    return std::make_exception_ptr(PlacesFileError(
        PlacesFileError::Kind::notUTF8, file,
        fileNameOf(file) + ", line " + std::to_string(position->line) + ", column " +
            std::to_string(position->column) +
            ": the text is not UTF-8. It was probably saved in a Windows code page: open it as Western "
            "European (Windows-1252), or save it again from the spreadsheet as \"CSV UTF-8\".",
        position->line, position->column, failure));
  } catch (const std::exception&) {
    return failure;
  }
}

std::vector<RowSpot> spotsOfRows(const std::filesystem::path& file,
                                 const tamrikcsv::ReaderConfiguration& configuration,
                                 const std::vector<std::size_t>& readerRows) {
  // The rows as the reader splits them (a field opened by a quotation mark runs to the closing one), on
  // lines as an editor counts them: every LF, CR LF and CR ends one. A row of one empty field is a blank
  // line, which the reader passes over.
  const std::uint32_t delimiter = configuration.delimiters.field.scalars.at(0);
  const bool rowsEndWithCR = configuration.delimiters.row.scalars.contains(U"\r");
  CodeUnits units(file, configuration.encoding);
  std::size_t line = 1;
  bool afterCR = false;
  std::optional<std::uint32_t> pushedBack;
  // The next unit, counting the line it ends.
  auto take = [&](std::uint32_t& unit) {
    if (pushedBack) {
      unit = *pushedBack;
      pushedBack.reset();
      return true;
    }
    if (!units.next(unit)) return false;
    if (unit == '\r' || (unit == '\n' && !afterCR)) ++line;
    afterCR = unit == '\r';
    return true;
  };

  std::vector<RowSpot> spots;
  auto wanted = readerRows.begin();
  std::size_t readerRow = 0, field = 0;
  RowSpot spot;
  bool rowStarted = false, quoted = false, closed = false, fieldStart = true, fieldEmpty = true;
  // The first quotation mark out of place in a wanted row.
  auto misplaced = [&](std::size_t at) {
    if (wanted != readerRows.end() && readerRow == *wanted && !spot.problemField)
      spot.problemLine = at, spot.problemField = field;
  };
  auto endRow = [&] {
    // The reader passes a blank line over, but for one right after its first row, which is a row.
    if (field > 0 || !fieldEmpty || readerRow == 1) {
      if (readerRow == *wanted) {
        spots.push_back(spot);
        ++wanted;
      }
      ++readerRow;
    }
    spot = {};
    field = 0, rowStarted = quoted = closed = false, fieldStart = fieldEmpty = true;
  };
  std::uint32_t unit = 0;
  while (wanted != readerRows.end()) {
    const std::size_t lineBefore = line;
    if (!take(unit)) break;
    if (!rowStarted) rowStarted = true, spot.line = lineBefore;
    if (quoted) {
      if (unit == '"') quoted = false, closed = true;
      fieldEmpty = fieldEmpty && unit == '"';
      continue;
    }
    if (closed && unit == '"') {  // a doubled quotation mark inside the field
      quoted = true, closed = false, fieldEmpty = false;
      continue;
    }
    const bool afterClosing = std::exchange(closed, false);
    if (fieldStart && unit == '"') {
      quoted = true, fieldStart = false;
      spot.openedLine = lineBefore, spot.openedField = field;
      continue;
    }
    if (unit == delimiter) {
      ++field, fieldStart = fieldEmpty = true;
      continue;
    }
    bool rowEnd = rowsEndWithCR ? unit == '\r' : unit == '\n';
    if (unit == '\r' && !rowsEndWithCR) {
      // Only before LF does CR end the row; alone it is text.
      std::uint32_t after = 0;
      if (take(after)) {
        if (after == '\n')
          rowEnd = true;
        else
          pushedBack = after;
      }
    }
    if (rowEnd) {
      endRow();
      continue;
    }
    if (afterClosing || unit == '"') misplaced(lineBefore);
    fieldStart = fieldEmpty = false;
  }
  if (rowStarted && wanted != readerRows.end()) {
    if (quoted) {
      spot.problemLine = spot.openedLine, spot.problemField = spot.openedField;
      spot.unclosed = true, fieldEmpty = false;
    }
    endRow();
  }
  return spots;
}

std::vector<std::size_t> linesOfRows(const std::filesystem::path& file,
                                     const tamrikcsv::ReaderConfiguration& configuration,
                                     const std::vector<std::size_t>& rows) {
  std::vector<std::size_t> readerRows(rows.size());
  std::transform(rows.begin(), rows.end(), readerRows.begin(), [](std::size_t row) { return row + 1; });
  std::vector<std::size_t> lines;
  for (const auto& spot : spotsOfRows(file, configuration, readerRows)) lines.push_back(spot.line);
  return lines;
}

std::vector<std::string> headerTitles(const std::filesystem::path& file,
                                      tamrikcsv::ReaderConfiguration configuration) {
  configuration.headerStrategy = tamrikcsv::Strategy::Header::none;
  const auto first = firstLineOf(file, configuration.encoding);
  try {
    auto reader = tamrikcsv::CSVReader::fromData(
        std::span(reinterpret_cast<const std::byte*>(first.bytes.data()), first.bytes.size()), configuration);
    std::vector<std::string> titles;
    if (!reader.readRow(titles)) return {};
    return titles;
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace detail
}  // namespace tamrik
