#include "model/places_file.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <system_error>

#include "model/csv_row.hpp"
#include "model/detail/places_format.hpp"
#include "tamrikcsv/reader/csv_error.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"
#include "tamrikcsv/reader/detail/unicode.hpp"

namespace tamrik {
namespace {

std::string displayName(const std::filesystem::path& file) {
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
constexpr std::size_t kRequiredTitles = 8;  // all but "Serial Number"

constexpr std::array<std::array<unsigned char, 4>, 5> kByteOrderMarks{{
    {0xEF, 0xBB, 0xBF},
    {0xFE, 0xFF},
    {0xFF, 0xFE},
    {0x00, 0x00, 0xFE, 0xFF},
    {0xFF, 0xFE, 0x00, 0x00},
}};
constexpr std::array<std::size_t, 5> kByteOrderMarkSizes{3, 2, 2, 4, 4};

// The first bytes of `file`, at most four.
std::string firstBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(4, '\0');
  in.read(bytes.data(), 4);
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

bool startsWithMark(std::string_view bytes, std::size_t mark) {
  const auto size = kByteOrderMarkSizes[mark];
  return bytes.size() >= size &&
         std::equal(kByteOrderMarks[mark].begin(), kByteOrderMarks[mark].begin() + size, bytes.begin(),
                    [](unsigned char m, char b) { return m == static_cast<unsigned char>(b); });
}

std::string titleList() {
  std::string list;
  for (const char* title : tamrikcsv::CodingKeyTraits<Keys>::names)
    list += (list.empty() ? "" : ", ") + std::string(title);
  return list;
}

// Whether the first row of `file`, split at `delimiter`, holds every required title.
bool headerSplitsAt(const std::filesystem::path& file, tamrikcsv::ReaderConfiguration configuration,
                    char32_t delimiter) {
  configuration.delimiters.field = delimiter;
  configuration.headerStrategy = tamrikcsv::Strategy::Header::none;
  try {
    auto reader = tamrikcsv::CSVReader::fromFile(file, configuration);
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

bool isStreamed(tamrikcsv::TextEncoding encoding) {
  using enum tamrikcsv::TextEncoding;
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

// The line ends of `file`, as its first line ends. Spreadsheet programs end lines with CR LF, and some
// still offer CR alone; with LF alone the last column would keep the CR, or the whole file would be one
// line. CR cannot join LF and CR LF in one set: as the shorter delimiter, it would split every CR LF.
tamrikcsv::Delimiter::Row rowDelimiters(const std::filesystem::path& file,
                                        std::optional<tamrikcsv::TextEncoding> encoding) {
  using tamrikcsv::TextEncoding;
  std::ifstream in(file, std::ios::binary);
  std::string bytes(1 << 16, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  // Code units of UTF-16 and UTF-32 are read in their width and byte order; other encodings keep CR and
  // LF as bytes of their own.
  std::size_t width = 1, start = 0;
  bool bigEndian = false;
  auto unordered = [&](TextEncoding e) { return !encoding || *encoding == e; };
  if (startsWithMark(bytes, 3) && unordered(TextEncoding::utf32)) {
    width = 4, start = 4, bigEndian = true;
  } else if (startsWithMark(bytes, 4) && unordered(TextEncoding::utf32)) {
    width = 4, start = 4;
  } else if (startsWithMark(bytes, 1) && unordered(TextEncoding::utf16)) {
    width = 2, start = 2, bigEndian = true;
  } else if (startsWithMark(bytes, 2) && unordered(TextEncoding::utf16)) {
    width = 2, start = 2;
  } else if (encoding == TextEncoding::utf16 || encoding == TextEncoding::utf16BigEndian) {
    width = 2, bigEndian = true;
  } else if (encoding == TextEncoding::utf16LittleEndian) {
    width = 2;
  } else if (encoding == TextEncoding::utf32 || encoding == TextEncoding::utf32BigEndian) {
    width = 4, bigEndian = true;
  } else if (encoding == TextEncoding::utf32LittleEndian) {
    width = 4;
  }
  auto unit = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t k = 0; k < width; ++k) {
      const auto byte = static_cast<unsigned char>(bytes[at + (bigEndian ? k : width - 1 - k)]);
      value = value << 8 | byte;
    }
    return value;
  };
  for (std::size_t at = start; at + width <= bytes.size(); at += width) {
    const auto value = unit(at);
    if (value == '\n') break;
    if (value == '\r') {
      if (at + 2 * width <= bytes.size() && unit(at + width) == '\n') break;
      if (at + 2 * width > bytes.size() && bytes.size() == (1u << 16)) break;  // cut by the sample
      return U'\r';
    }
  }
  return tamrikcsv::Delimiter::Row::standard();
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

// The number of line ends in `text`, "\r\n" counted once.
std::size_t lineEnds(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) ++count;
  }
  return count;
}

}  // namespace

void requireLoadableFile(const std::filesystem::path& file) {
  std::error_code error;
  const auto status = std::filesystem::status(file, error);
  if (error || !std::filesystem::exists(status)) return;
  if (!std::filesystem::is_regular_file(status))
    throw PlacesFileError(PlacesFileError::Kind::notRegularFile, file,
                          displayName(file) + " is not a regular file. Choose a places file saved on disk.");
  const auto bytes = firstBytes(file);
  bool onlyMark = false;
  for (std::size_t mark = 0; mark < kByteOrderMarks.size(); ++mark)
    onlyMark = onlyMark || (startsWithMark(bytes, mark) && bytes.size() == kByteOrderMarkSizes[mark] &&
                            std::filesystem::file_size(file, error) == bytes.size());
  if (bytes.empty() || onlyMark)
    throw PlacesFileError(
        PlacesFileError::Kind::empty, file,
        displayName(file) + " is empty. A places file starts with the header line: " + titleList() + ".");
}

tamrikcsv::ReaderConfiguration placesReaderConfiguration(const std::filesystem::path& file,
                                                         const PlacesReadOptions& options) {
  tamrikcsv::ReaderConfiguration configuration;
  configuration.encoding = options.encoding;
  // The reader streams only the Unicode encodings and ASCII; it converts the others as a whole.
  configuration.presample = options.encoding && !isStreamed(*options.encoding);
  configuration.headerStrategy = tamrikcsv::Strategy::Header::firstLine;
  configuration.delimiters.row = rowDelimiters(file, options.encoding);
  if (!headerSplitsAt(file, configuration, U',')) {
    for (char32_t delimiter : {U';', U'\t'}) {
      if (headerSplitsAt(file, configuration, delimiter)) {
        configuration.delimiters.field = delimiter;
        break;
      }
    }
  }
  return configuration;
}

std::exception_ptr explainLoadFailure(const std::filesystem::path& file, const PlacesReadOptions& options,
                                      std::exception_ptr failure) {
  if (options.encoding && options.encoding != tamrikcsv::TextEncoding::utf8) return failure;
  if (!isReaderInputError(failure)) return failure;
  try {
    const auto bytes = firstBytes(file);
    for (std::size_t mark = 1; mark < kByteOrderMarks.size(); ++mark)
      if (startsWithMark(bytes, mark)) return failure;  // read as UTF-16 or UTF-32
    const auto position = firstNonUTF8(file);
    if (!position) return failure;
    return std::make_exception_ptr(PlacesFileError(
        PlacesFileError::Kind::notUTF8, file,
        displayName(file) + ", line " + std::to_string(position->line) + ", column " +
            std::to_string(position->column) +
            ": the text is not UTF-8. It was probably saved in a Windows code page: open it as Western "
            "European (Windows-1252), or save it again from the spreadsheet as \"CSV UTF-8\".",
        position->line, position->column, failure));
  } catch (const std::exception&) {
    return failure;
  }
}

std::vector<std::size_t> linesOfRows(const std::filesystem::path& file,
                                     const tamrikcsv::ReaderConfiguration& configuration,
                                     const std::vector<std::size_t>& rows) {
  auto withoutHeader = configuration;
  withoutHeader.headerStrategy = tamrikcsv::Strategy::Header::none;
  auto reader = tamrikcsv::CSVReader::fromFile(file, withoutHeader);
  std::vector<std::size_t> lines;
  std::vector<std::string> fields;
  std::size_t line = 1;
  auto wanted = rows.begin();
  // Row 0 of the reader is the header.
  for (std::size_t row = 0; wanted != rows.end() && reader.readRow(fields); ++row) {
    if (row > 0 && row - 1 == *wanted) {
      lines.push_back(line);
      ++wanted;
    }
    line += 1;
    for (const auto& field : fields) line += lineEnds(field);
  }
  return lines;
}

}  // namespace detail
}  // namespace tamrik
