// What the writer writes, the reader reads back: random rows under random configurations, written into
// memory, through a stream that takes short writes and into a file, then read with the same settings.

#include <gtest/gtest.h>

#include <unistd.h>

#include <random>

#include "support/reading.hpp"
#include "support/reference_reader.hpp"
#include "support/scripted_output.hpp"
#include "tamrikcsv/writer/csv_writer.hpp"

using namespace tamrikcsv;

namespace {

using test::Rows;
using Random = std::mt19937;

constexpr char32_t kDelimiterScalars[] = {U',',  U';', U'\t', U'|',      U'\n',         U'\r',     U'"',
                                          U'\'', U' ', U'#',  U'\u2192', U'\U0001D11E', U'\u2028', U'\u00B6'};
constexpr char32_t kTextScalars[] = {U'a',      U'Z',      U' ',          U'\n',     U'\r',
                                     U'\u00E9', U'\u65E5', U'\U0001F600', U'\uFEFF', U'\u00A0'};
constexpr std::optional<TextEncoding> kEncodings[] = {std::nullopt,
                                                      TextEncoding::utf8,
                                                      TextEncoding::utf16,
                                                      TextEncoding::utf16BigEndian,
                                                      TextEncoding::utf16LittleEndian,
                                                      TextEncoding::utf32,
                                                      TextEncoding::utf32BigEndian,
                                                      TextEncoding::utf32LittleEndian};
constexpr Strategy::BOM kMarks[] = {Strategy::BOM::convention, Strategy::BOM::always, Strategy::BOM::never};

std::size_t below(Random& random, std::size_t n) {
  return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
}
template <class T, std::size_t N>
T pick(Random& random, const T (&values)[N]) {
  return values[below(random, N)];
}

std::u32string delimiter(Random& random) {
  std::u32string scalars;
  for (auto n = 1 + below(random, 3); n > 0; --n) scalars += pick(random, kDelimiterScalars);
  return scalars;
}

// Configurations whose output reads back as written. The reader tries the field delimiter before the row
// delimiter, so neither may be a prefix of the other. A field may end in the first scalars of a delimiter
// and the writer does not enclose it for that; if the delimiter written next continued them into a whole
// delimiter, the field would end early, so no delimiter may hold a delimiter's first scalar after its own
// first. An escaping scalar inside a delimiter would open or close escaped fields.
bool roundTrips(const std::u32string& field, const std::u32string& row, std::optional<char32_t> escape) {
  if (field.starts_with(row) || row.starts_with(field)) return false;
  for (const auto* d : {&field, &row})
    for (const auto* e : {&field, &row})
      if (d->find(e->front(), 1) != std::u32string::npos) return false;
  return !escape ||
         (field.find(*escape) == std::u32string::npos && row.find(*escape) == std::u32string::npos);
}

struct Case {
  CSVWriter::Configuration configuration;
  Rows rows;
  std::size_t columns = 0;
};

Case generate(Random& random, std::size_t minimumBytes) {
  Case c;
  auto& config = c.configuration;
  std::u32string field, row;
  std::optional<char32_t> escape;
  do {
    field = delimiter(random), row = delimiter(random);
    escape = below(random, 4) == 0 ? std::nullopt : std::optional(pick(random, kDelimiterScalars));
  } while (!roundTrips(field, row, escape));
  config.delimiters.field.scalars = field;
  config.delimiters.row.scalars = {row};
  config.escapingStrategy = escape ? Strategy::Escaping(*escape) : Strategy::Escaping::none();
  config.encoding = minimumBytes > 0 ? TextEncoding::utf8 : pick(random, kEncodings);
  config.bomStrategy = pick(random, kMarks);

  // Texts lean on the scalars that make the writer enclose fields.
  std::u32string special = field + row + (escape ? std::u32string(1, *escape) : U"");
  auto text = [&] {
    std::u32string scalars;
    for (auto n = below(random, 6); n > 0; --n)
      scalars += below(random, 2) ? special[below(random, special.size())] : pick(random, kTextScalars);
    return scalars;
  };
  auto fieldText = [&] {
    for (;;) {  // without escaping, only fields without delimiters can be written
      auto scalars = text();
      if (escape ||
          (scalars.find(field) == std::u32string::npos && scalars.find(row) == std::u32string::npos))
        return test::toUTF8(scalars);
    }
  };
  c.columns = 1 + below(random, 4);
  if (below(random, 2))
    for (std::size_t i = 0; i < c.columns; ++i) config.headers.push_back(fieldText());
  // The first row sets the field count (unless headers did); later rows may be short, even empty.
  std::size_t bytes = 0;
  for (auto n = static_cast<int>(below(random, 6)); n > 0 || bytes < minimumBytes; --n) {
    bool full = c.rows.empty() && config.headers.empty();
    c.rows.emplace_back(full ? c.columns : below(random, c.columns + 1));
    for (auto& f : c.rows.back()) bytes += (f = fieldText()).size() + 1;
  }
  // Without a byte-order mark from the writer, a leading U+FEFF would be taken for one.
  auto encoding = config.encoding.value_or(TextEncoding::utf8);
  bool marked = config.bomStrategy == Strategy::BOM::always ||
                (config.bomStrategy == Strategy::BOM::convention &&
                 (encoding == TextEncoding::utf16 || encoding == TextEncoding::utf32));
  auto& first = config.headers.empty() && !c.rows.empty() ? c.rows.front() : config.headers;
  if (!marked && !first.empty() && first.front().starts_with("\uFEFF")) first.front().insert(0, "x");
  return c;
}

// What the reader gives back: rows padded to the field count, and a row holding one empty field (a blank
// line) dropped unless it directly follows the first row.
Rows expectedRows(const Case& c) {
  Rows rows;
  std::size_t read = c.configuration.headers.empty() ? 0 : 1;
  for (auto row : c.rows) {
    row.resize(c.columns);
    if (row.size() == 1 && row[0].empty() && read != 1) continue;
    rows.push_back(std::move(row));
    ++read;
  }
  return rows;
}

std::string text(const Data& data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

}  // namespace

TEST(WriterRoundTrip, RandomRowsReadBackAsWritten) {
  auto path = std::filesystem::temp_directory_path() / ("tamrik-round-trip-" + std::to_string(::getpid()));
  for (unsigned seed = 0; seed < 600; ++seed) {
    Random random(seed);
    // Some outputs outgrow the blocks in which the writer hands bytes to its own streams.
    bool large = seed % 300 == 0;
    Case c = generate(random, large ? 40000 : 0);
    const auto& config = c.configuration;
    CSVReader::Configuration read;
    read.encoding = config.encoding;
    read.delimiters = config.delimiters;
    read.escapingStrategy = config.escapingStrategy;
    if (!config.headers.empty()) read.headerStrategy = Strategy::Header::firstLine;
    const char* marks[] = {"convention", "always", "never"};
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + test::describe(read) + ", mark " +
                 marks[static_cast<int>(config.bomStrategy)]);

    Data data = CSVWriter::encodeData(c.rows, config);
    try {
      auto reader = CSVReader::fromData(data, read);
      EXPECT_EQ(reader.headers(), config.headers);
      EXPECT_EQ(test::readAll(reader), expectedRows(c));
    } catch (const CSVErrorBase& error) {
      ADD_FAILURE() << error.what();
    }

    // A caller's stream may accept fewer bytes than offered, or nothing once per hand-over.
    if (!large) {
      std::deque<std::ptrdiff_t> script{0};
      for (int i = 0; i < 40; ++i) script.push_back(1 + below(random, 3));
      auto stream = std::make_shared<test::ScriptedOutput>(script);
      auto writer = CSVWriter::toStream(stream, config);
      for (const auto& row : c.rows) writer.writeRow(row);
      writer.endEncoding();
      EXPECT_EQ(stream->written, text(data));
    }

    if (seed % 16 == 0 || large) {
      CSVWriter::encodeFile(c.rows, path, config);
      EXPECT_EQ(readFile(path), data);
    }
  }
  std::filesystem::remove(path);
}
