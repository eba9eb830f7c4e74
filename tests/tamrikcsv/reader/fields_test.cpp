// Reading into CSVReader::Fields takes an unescaped row whole where it lies in the window, and hands
// anything else to the field-by-field parser at the field where it stands. Generated CSV in the
// configurations that allow that, with rows shorter and longer than the 64-byte scan and the 1024-byte
// chunks of a stream, must read the same into one reused Fields, into a Row, and with the literal reader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include "support/reading.hpp"
#include "support/reference_reader.hpp"
#include "support/scripted_stream.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"

namespace {

using namespace tamrikcsv;

// Text made of a configuration's own scalars, with lengths that put delimiters, escaping scalars and
// row ends on every byte of the 64-byte scan and across the windows of every source. A faulty text has
// one fault, anywhere, so that reading goes far before it; or it is a soup of special scalars.
class Generated {
 public:
  Generated(std::mt19937& rng, const ReaderConfiguration& c)
      : rng_(rng), field_(c.delimiters.field.scalars), escape_(c.escapingStrategy.scalar()) {
    rows_.assign(c.delimiters.row.scalars.begin(), c.delimiters.row.scalars.end());
    for (auto [first, last] : c.trimStrategy.ranges())
      for (char32_t t = first; t <= last && trim_.size() < 4; ++t) trim_.push_back(t);
  }

  std::u32string text(bool faulty) {
    if (faulty && rng_() % 5 == 0) return soup();
    const std::size_t fields = 1 + rng_() % 8, rows = 1 + rng_() % 40;
    const std::size_t fault = faulty ? rng_() % (rows * fields) : rows * fields;
    std::u32string out;
    for (std::size_t r = 0; r < rows; ++r) {
      const bool shortRow = fault / fields == r && fields > 1 && rng_() % 6 == 0;
      for (std::size_t f = 0; f + shortRow < fields; ++f) {
        if (f > 0) out += field_;
        out += value(r * fields + f == fault && !shortRow);
      }
      if (r + 1 == rows && rng_() % 2) break;
      out += row();
      if (rng_() % 30 == 0) out += row();  // a blank line
    }
    return out;
  }

 private:
  std::u32string soup() {
    std::u32string out;
    const std::size_t plain = 4 + rng_() % 40;
    for (auto n = rng_() % 3000; n > 0; --n) {
      switch (rng_() % plain) {
        case 0:
          out += field_;
          break;
        case 1:
          out += row();
          break;
        case 2:
          out += escape_ ? *escape_ : U'\r';
          break;
        case 3:
          out += U'\r';
          break;
        default:
          out += filler();
      }
    }
    return out;
  }
  std::size_t length() {
    switch (rng_() % 10) {
      case 0:
        return 0;
      case 1:
        return 56 + rng_() % 16;
      case 2:
        return rng_() % 4 ? 120 + rng_() % 16 : 1000 + rng_() % 100;
      default:
        return 1 + rng_() % 8;
    }
  }
  // A scalar that is no delimiter or escaping scalar.
  char32_t filler() {
    static constexpr char32_t kFillers[] = {U'a', U'b', U'z', U' ', U'\u00E9', U'\u65E5', U'\U0001F600'};
    for (;;) {
      const char32_t c = kFillers[rng_() % (rng_() % 4 ? 3 : std::size(kFillers))];
      if (field_.find(c) == field_.npos && c != escape_) return c;
    }
  }
  const std::u32string& row() { return rows_[rng_() % rows_.size()]; }
  std::u32string trims() {
    std::u32string out;
    if (!trim_.empty())
      for (auto n = rng_() % 3; n > 0; --n) out += trim_[rng_() % trim_.size()];
    return out;
  }
  std::u32string plain() {
    std::u32string out;
    for (auto n = length(); n > 0; --n) out += filler();
    if (rng_() % 8 == 0 && std::find(rows_.begin(), rows_.end(), U"\r") == rows_.end())
      out.insert(out.size() / 2, 1, U'\r');
    return out;
  }
  // With `fault`: an escaped field left open or with a scalar after it, or the escaping scalar inside an
  // unescaped field, in its middle or around its end as if it began there.
  std::u32string value(bool fault) {
    std::u32string out = trims();
    if (escape_ && (fault || rng_() % 4 == 0)) {
      if (fault && rng_() % 2) {
        out +=
            plain() + (rng_() % 2 ? std::u32string(1, *escape_) : std::u32string{*escape_, U'q', *escape_});
        return out + trims();
      }
      out += *escape_;
      // Up to a dozen doubled escaping scalars, among delimiters and runs of any length.
      const std::size_t doubled = rng_() % 3 ? rng_() % 3 : rng_() % 12;
      for (std::size_t k = 0; k <= doubled; ++k) {
        if (k > 0) out += std::u32string(2, *escape_);
        out += plain();
        if (rng_() % 6 == 0) out += rng_() % 2 ? field_ : row();
      }
      if (fault && rng_() % 4 == 0) return out;
      out += *escape_;
      if (fault) out += rng_() % 2 ? U'\r' : U'x';
    } else {
      out += plain();
    }
    return out + trims();
  }

  std::mt19937& rng_;
  std::u32string field_;
  std::optional<char32_t> escape_;
  std::vector<std::u32string> rows_;
  std::vector<char32_t> trim_;
};

// UTF-16 little-endian after its mark.
Data utf16(std::u32string_view text) {
  std::string out = "\xFF\xFE";
  auto unit = [&](unsigned u) { out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)}; };
  for (char32_t c : text) {
    if (c < 0x10000) {
      unit(c);
    } else {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  auto p = reinterpret_cast<const std::byte*>(out.data());
  return Data(p, p + out.size());
}

// Every configuration the fast path takes (one-byte delimiters and escaping scalar, one-byte and mixed
// row delimiters, "\r\n" alone or beside another, its line feed even the field delimiter or the escaping
// scalar) and some next to them that it does not, through every source, with windows cut anywhere; read
// into one Fields shared by all readers, and mixed with reads into a Row.
TEST(Fields, ReadLikeTheLiteralReaderInEveryConfigurationAndSource) {
  using C = ReaderConfiguration&;
  void (*const configurations[])(C) = {
      [](C) {},
      [](C c) { c.delimiters.row = Delimiter::Row::standard(); },
      [](C c) { c.escapingStrategy = nullptr; },
      [](C c) { c.escapingStrategy = U'\''; },
      [](C c) {
        c.delimiters = {U';', *Delimiter::Row::fromTexts({"\n", "\r"})};
        c.escapingStrategy = U'|';
      },
      [](C c) {
        c.delimiters = {U'\t', *Delimiter::Row::fromTexts({"\n", "||"})};
        c.headerStrategy = Strategy::Header::firstLine;
      },
      [](C c) { c.delimiters.row = "\r\n"; },
      [](C c) {
        c.delimiters.row = *Delimiter::Row::fromTexts({"\r\n", "|"});
      },
      [](C c) {
        c.delimiters = {U'\n', Delimiter::Row("\r\n")};
      },
      [](C c) {
        c.delimiters.row = "\r\n";
        c.escapingStrategy = U'\n';
      },
      [](C c) { c.delimiters.field = "::"; },
      [](C c) { c.delimiters.field = U'\u00E9'; },
      [](C c) { c.escapingStrategy = U'\u00E9'; },
      [](C c) { c.trimStrategy = {U' '}; },
  };
  const char* const explored = std::getenv("TAMRIK_FIELDS_SEED");
  std::mt19937 rng(explored ? static_cast<std::uint32_t>(std::strtoul(explored, nullptr, 10)) : 1207);
  const int inputs = explored ? 3000 : 220;
  const auto path = std::filesystem::temp_directory_path() / ("tamrik-fields-" + std::to_string(rng()));
  CSVReader::Fields shared;
  int failures = 0;
  for (int i = 0; i < inputs && failures < 3; ++i) {
    ReaderConfiguration c;
    configurations[static_cast<std::size_t>(i) % std::size(configurations)](c);
    const std::u32string scalars = Generated(rng, c).text(i % 3 != 0);
    std::string text = test::toUTF8(scalars);
    std::optional<test::ErrorText> endError;
    if (i % 5 == 4) {
      static const char* const kInvalid[] = {"\xFF", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xE2\x82"};
      text += kInvalid[rng() % std::size(kInvalid)];
      endError = test::invalidUTF8Text();
    }
    const auto expected = test::referenceRead(c, scalars, endError);
    const std::size_t chunk = 1 + rng() % 200;
    std::vector<std::pair<const char*, std::function<CSVReader()>>> ways = {
        {"text", [&] { return CSVReader::fromText(text, c); }},
        {"bytes", [&] { return CSVReader::fromData(test::bytes(text), c); }},
        {"stream",
         [&] { return CSVReader::fromStream(std::make_shared<MemoryInputStream>(test::bytes(text)), c); }},
        {"short reads", [&] { return CSVReader::fromStream(test::ScriptedStream::chunked(text, chunk), c); }},
        {"file", [&] {
           std::ofstream(path, std::ios::binary) << text;
           return CSVReader::fromFile(path, c);
         }}};
    if (!endError) ways.push_back({"UTF-16", [&] { return CSVReader::fromData(utf16(scalars), c); }});
    auto fields = [](unsigned) { return 2U; };
    auto mixed = [&](unsigned n) { return rng() % 3 ? 2U : static_cast<unsigned>(rng() % n); };
    for (std::size_t w = 0; w < 2 * ways.size(); ++w) {
      const auto& [name, make] = ways[w / 2];
      const auto actual =
          test::productionRead(make, w % 2 ? std::function<unsigned(unsigned)>(mixed) : fields, &shared);
      if (actual != expected) {
        ADD_FAILURE() << ++failures << ": " << name << (w % 2 ? ", mixed with rows" : "") << ", "
                      << test::describe(c) << ", reads of " << chunk << " bytes\ninput "
                      << (scalars.size() <= 2000 ? '"' + test::printable(scalars) + '"'
                                                 : "of " + std::to_string(scalars.size()) + " scalars")
                      << (endError ? " and invalid bytes" : "") << "\nexpected:\n"
                      << expected << "\nactual:\n"
                      << actual;
        break;
      }
    }
  }
  std::filesystem::remove(path);
}

// A Fields moved from is empty, as a moved-from Row is, rather than counting fields it no longer holds.
TEST(Fields, MovedFromIsEmptyAndReadsOn) {
  auto reader = CSVReader::fromText("a,b,c\nd,e,f\n");
  CSVReader::Fields fields;
  ASSERT_TRUE(reader.readRow(fields));
  CSVReader::Fields moved = std::move(fields);
  EXPECT_TRUE(fields.empty());
  EXPECT_EQ(fields.begin(), fields.end());
  EXPECT_EQ(std::vector<std::string_view>(moved.begin(), moved.end()),
            (std::vector<std::string_view>{"a", "b", "c"}));
  CSVReader::Fields assigned;
  assigned = std::move(moved);
  EXPECT_TRUE(moved.empty());
  ASSERT_TRUE(reader.readRow(fields));
  EXPECT_EQ(std::vector<std::string_view>(fields.begin(), fields.end()),
            (std::vector<std::string_view>{"d", "e", "f"}));
}

}  // namespace
