// Reading into CSVReader::Fields takes an unescaped row whole where it lies in the window, and hands
// anything else to the field-by-field parser at the field where it stands. Generated CSV in the
// configurations that allow that, with rows shorter and longer than the 64-byte scan and the 1024-byte
// chunks of a stream, must read the same into Fields, into a Row, and with the literal reader.

#include <gtest/gtest.h>

#include <random>

#include "support/reference_reader.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"

namespace {

using namespace tamrikcsv;
using Rng = std::mt19937;

// Rows of one field count, and now and then what breaks the common row: an escaped field (with a
// delimiter, a doubled escaping scalar or a line break inside), a blank line, a carriage return, a row
// one field short, the escaping scalar inside an unescaped field, a byte after an escaped field, an
// escaped field that is not closed, or bytes that are not UTF-8.
class Corpus {
 public:
  Corpus(Rng& rng, char field, char row, bool escaping)
      : rng_(rng), field_(field), row_(row), escaping_(escaping) {}

  std::string make(std::size_t rows, bool crlf, bool faults) {
    const std::size_t fields = 1 + rng_() % 12;
    std::string text;
    for (std::size_t r = 0; r < rows; ++r) {
      const bool shortRow = faults && rng_() % 80 == 0;
      for (std::size_t f = 0; f < fields - (shortRow && fields > 1 ? 1 : 0); ++f) {
        if (f > 0) text += field_;
        text += value(faults);
      }
      if (r + 1 == rows && rng_() % 2) break;  // the last row without its delimiter
      if (crlf) text += '\r';
      text += row_;
      if (rng_() % 40 == 0) text += row_;  // a blank line
    }
    if (faults && rng_() % 4 == 0) {
      static const char* const kInvalid[] = {"\xFF", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xE2\x82", "\xC3("};
      text.insert(rng_() % (text.size() + 1), kInvalid[rng_() % std::size(kInvalid)]);
    }
    return text;
  }

 private:
  std::string value(bool faults) {
    static const char* const kPlain[] = {"",
                                         "7",
                                         "Desk 12",
                                         "SN241524956",
                                         "日本橋",
                                         "Café Zürich",
                                         "Ørsted Hall",
                                         "\xF0\x9F\x98\x80 wing",
                                         "a b\tc d",
                                         "Location 0 South Wing Floor 3"};
    switch (rng_() % 16) {
      case 0:
      case 1:
        return std::string(1 + rng_() % 150, static_cast<char>('a' + rng_() % 26));  // across blocks
      case 2:
        if (escaping_) return std::string("\"a") + field_ + "b\"\"c" + row_ + "\"";
        break;
      case 3:
        if (escaping_) {  // long, or with many doubled escaping scalars
          std::string text = "\"";
          for (auto n = rng_() % 100; n > 0; --n) text += rng_() % 8 ? "q" : "\"\"";
          return text + "\"";
        }
        break;
      case 4:
        if (faults && rng_() % 8 == 0) return escaping_ ? "ab\"c" : "ab\rc";
        break;
      case 5:
        if (faults && escaping_ && rng_() % 8 == 0) return rng_() % 2 ? "\"ab\"x" : "\"ab";
        break;
    }
    return kPlain[rng_() % std::size(kPlain)];
  }

  Rng& rng_;
  char field_, row_;
  bool escaping_;
};

struct Case {
  const char* name;
  void (*configure)(ReaderConfiguration&);
  char field = ',';
  char row = '\n';
  bool escaping = true;
};

TEST(Fields, ReadLikeRowsAndTheLiteralReader) {
  const Case cases[] = {
      {"defaults", [](ReaderConfiguration&) {}},
      {"\\n and \\r\\n rows", [](ReaderConfiguration& c) { c.delimiters.row = Delimiter::Row::standard(); }},
      {"no escaping", [](ReaderConfiguration& c) { c.escapingStrategy = nullptr; }, ',', '\n', false},
      {"tabs, semicolon rows and a header",
       [](ReaderConfiguration& c) {
         c.delimiters.field = U'\t';
         c.delimiters.row = U';';
         c.headerStrategy = Strategy::Header::firstLine;
       },
       '\t', ';'},
  };
  Rng rng(20261207);
  auto asFields = [](unsigned) { return 2U; };
  auto asRows = [](unsigned) { return 0U; };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ReaderConfiguration c;
    k.configure(c);
    Corpus corpus(rng, k.field, k.row, k.escaping);
    int failures = 0;
    for (int i = 0; i < 60 && failures < 3; ++i) {
      const std::string text = corpus.make(1 + rng() % 40, rng() % 4 == 0, i % 3 != 0);
      auto [scalars, valid] = test::decodeUTF8(text);
      const auto expected =
          test::referenceRead(c, scalars, valid ? std::nullopt : std::optional(test::invalidUTF8Text()));
      auto fromText = [&] { return CSVReader::fromText(text, c); };
      auto fromStream = [&] {
        auto p = reinterpret_cast<const std::byte*>(text.data());
        return CSVReader::fromStream(std::make_shared<MemoryInputStream>(Data(p, p + text.size())), c);
      };
      const auto fields = test::productionRead(fromText, asFields);
      const auto streamed = test::productionRead(fromStream, asFields);
      const auto rows = test::productionRead(fromText, asRows);
      if (fields != expected || streamed != expected || rows != expected) {
        ++failures;
        ADD_FAILURE() << "input \"" << test::printable(scalars) << "\"" << (valid ? "" : " and invalid bytes")
                      << "\nexpected:\n"
                      << expected << "\nFields:\n"
                      << fields << "\nFields from a stream:\n"
                      << streamed << "\nRow:\n"
                      << rows;
      }
    }
  }
}

// A Fields reused from a long row to short ones, and from rows copied whole to rows parsed field by field,
// shows only the current row.
TEST(Fields, ReusedAcrossRowsOfEveryKind) {
  const std::string longField(200, 'x');
  const std::string text = longField + ",b,c\n\"q,\"\"\",,\n1,2,3\nx,\"y\",z";
  auto reader = CSVReader::fromText(text);
  CSVReader::Fields fields;
  std::vector<std::vector<std::string>> rows;
  while (reader.readRow(fields)) rows.emplace_back(fields.begin(), fields.end());
  EXPECT_EQ(rows, (std::vector<std::vector<std::string>>{
                      {longField, "b", "c"}, {"q,\"", "", ""}, {"1", "2", "3"}, {"x", "y", "z"}}));
  EXPECT_TRUE(fields.empty());
}

}  // namespace
