// Reading into CSVReader::Fields takes an unescaped row whole where it lies in the window, and hands
// anything else to the field-by-field parser at the field where it stands. Generated CSV in the
// configurations that allow that, with rows shorter and longer than the 64-byte scan and the 1024-byte
// chunks of a stream, must read the same into one reused Fields, into a Row, and with the literal reader.

#include <gtest/gtest.h>

#include <random>

#include "support/reference_reader.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"

namespace {

using namespace tamrikcsv;

struct Case {
  const char* name;
  void (*configure)(ReaderConfiguration&);
  char field = ',', row = '\n';
  bool escaping = true;
};

// Rows of one field count, and now and then what breaks the common row: escaped fields (with delimiters
// and doubled escaping scalars inside, long, or not closed, or with a byte after them), a blank line, a
// carriage return before the row delimiter or inside a field, a row one field short, the escaping scalar
// inside an unescaped field, no row delimiter at the end, bytes that are not UTF-8.
std::string corpus(std::mt19937& rng, const Case& k, bool faults) {
  static const char* const kPlain[] = {"",        "7",           "Desk 12",     "SN241524956",
                                       "日本橋",  "Café Zürich", "Ørsted Hall", "\xF0\x9F\x98\x80 wing",
                                       "a b\tc d"};
  auto value = [&]() -> std::string {
    const bool fault = faults && rng() % 8 == 0;
    switch (rng() % 16) {
      case 0:
      case 1:
        return std::string(1 + rng() % 150, static_cast<char>('a' + rng() % 26));
      case 2:
        if (k.escaping) return std::string("\"a") + k.field + "b\"\"c" + k.row + "\"";
        break;
      case 3:
        if (k.escaping) {
          std::string text = "\"";
          for (auto n = rng() % 100; n > 0; --n) text += rng() % 8 ? "q" : "\"\"";
          return text + "\"";
        }
        break;
      case 4:
        if (fault) return k.escaping ? (rng() % 3 == 0 ? "ab\"c" : rng() % 2 ? "\"ab\"x" : "\"ab") : "ab\rc";
        break;
    }
    return kPlain[rng() % std::size(kPlain)];
  };
  const std::size_t fields = 1 + rng() % 12, rows = 1 + rng() % 40;
  const bool crlf = rng() % 4 == 0;
  std::string text;
  for (std::size_t r = 0; r < rows; ++r) {
    const std::size_t count = faults && fields > 1 && rng() % 80 == 0 ? fields - 1 : fields;
    for (std::size_t f = 0; f < count; ++f) text += (f > 0 ? std::string(1, k.field) : "") + value();
    if (r + 1 == rows && rng() % 2) break;
    text += crlf ? std::string("\r") + k.row : std::string(1, k.row);
    if (rng() % 40 == 0) text += k.row;
  }
  if (faults && rng() % 4 == 0) {
    static const char* const kInvalid[] = {"\xFF", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xE2\x82", "\xC3("};
    text.insert(rng() % (text.size() + 1), kInvalid[rng() % std::size(kInvalid)]);
  }
  return text;
}

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
  std::mt19937 rng(20261207);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ReaderConfiguration c;
    k.configure(c);
    for (int i = 0, failures = 0; i < 60 && failures < 3; ++i) {
      const std::string text = corpus(rng, k, i % 3 != 0);
      auto [scalars, valid] = test::decodeUTF8(text);
      const auto expected =
          test::referenceRead(c, scalars, valid ? std::nullopt : std::optional(test::invalidUTF8Text()));
      auto fromText = [&] { return CSVReader::fromText(text, c); };
      auto fromStream = [&] {
        auto p = reinterpret_cast<const std::byte*>(text.data());
        return CSVReader::fromStream(std::make_shared<MemoryInputStream>(Data(p, p + text.size())), c);
      };
      const auto fields = test::productionRead(fromText, [](unsigned) { return 2U; });
      const auto streamed = test::productionRead(fromStream, [](unsigned) { return 2U; });
      const auto rows = test::productionRead(fromText);
      if (fields != expected || streamed != expected || rows != expected)
        ADD_FAILURE() << ++failures << ": input \"" << test::printable(scalars) << "\""
                      << (valid ? "" : " and invalid bytes") << "\nexpected:\n"
                      << expected << "\nFields:\n"
                      << fields << "\nFields from a stream:\n"
                      << streamed << "\nRow:\n"
                      << rows;
    }
  }
}

}  // namespace
