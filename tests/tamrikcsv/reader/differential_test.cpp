// The production reader against the literal scalar-by-scalar reader of tests/support, over random
// configurations and inputs, through every kind of input and encoding.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>

#include "support/reference_reader.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"
#include "tamrikcsv/reader/detail/read_ahead.hpp"

namespace {

using namespace tamrikcsv;
using test::ErrorText;
using test::Outcome;
using test::toUTF8;
using Rng = std::mt19937;

// Delimiters, escaping and trimming are made of these. Some share leading UTF-8 bytes with each other or
// with the fillers (é/ã, U+2028/U+2029, U+1F600/U+1F601), so byte-wise matching must look at whole scalars.
constexpr char32_t kPool[] = {U',',  U';', U'|',      U'\n',     U'\r',     U'"',
                              U'\'', U'a', U'\u00E9', U'\u2192', U'\u2028', U'\U0001F600'};
constexpr char32_t kTrimPool[] = {U' ', U'\t', U'\u00A0', U'\u3000', U'b', U'\u00E9', U'\U0001F600'};
constexpr char32_t kFillers[] = {U'a',      U'b',      U'z',          U'\u00E3',    U'\u0800',
                                 U'\u20AC', U'\u2029', U'\U0001F601', U'\U0010FFFD'};

template <std::size_t N>
char32_t draw(Rng& rng, const char32_t (&pool)[N]) {
  return pool[rng() % N];
}

std::u32string drawSequence(Rng& rng) {
  static constexpr std::size_t kLengths[] = {1, 1, 1, 2, 2, 3};
  std::u32string s;
  for (std::size_t n = kLengths[rng() % 6]; n > 0; --n) s += draw(rng, kPool);
  return s;
}

ReaderConfiguration randomConfiguration(Rng& rng) {
  for (;;) {
    ReaderConfiguration c;
    c.delimiters.field.scalars = drawSequence(rng);
    c.delimiters.row.scalars.clear();
    for (auto n = 1 + rng() % 3; n > 0; --n) c.delimiters.row.scalars.insert(drawSequence(rng));
    switch (rng() % 4) {
      case 0:
        c.escapingStrategy = nullptr;
        break;
      case 1:
        c.escapingStrategy = U'"';
        break;
      case 2:
        c.escapingStrategy = draw(rng, kPool);
        break;
      default:
        c.escapingStrategy = draw(rng, kFillers);
    }
    if (rng() % 2)
      for (auto n = 1 + rng() % 3; n > 0; --n) c.trimStrategy.insert(draw(rng, kTrimPool));
    c.headerStrategy = rng() % 2 ? Strategy::Header::firstLine : Strategy::Header::none;
    try {
      ReaderSettings::make(c);
      return c;
    } catch (const CSVErrorBase&) {
    }
  }
}

// Inputs made of the configuration's own scalars: a soup of delimiters, escaping and trim scalars among
// plain ones, or well-formed rows with a few scalars overwritten, so that many inputs parse far.
class Texts {
 public:
  Texts(Rng& rng, const ReaderConfiguration& c) : rng_(rng), c_(c), escape_(c.escapingStrategy.scalar()) {
    special_.assign(c.delimiters.field.scalars.begin(), c.delimiters.field.scalars.end());
    for (const auto& d : c.delimiters.row.scalars) special_.insert(special_.end(), d.begin(), d.end());
    for (auto [first, last] : c.trimStrategy.ranges())
      for (char32_t t = first; t <= last; ++t) trim_.push_back(t);
    special_.insert(special_.end(), trim_.begin(), trim_.end());
    if (escape_) special_.push_back(*escape_);
  }

  std::u32string soup(std::size_t tokens) {
    std::u32string text;
    while (tokens-- > 0) {
      switch (rng_() % 10) {
        case 0:
        case 1:
          text += c_.delimiters.field.scalars;
          break;
        case 2:
          text += rowDelimiter();
          break;
        case 3:
          if (escape_) text += *escape_;
          break;
        case 4:
        case 5:
          text += special();
          break;
        default:
          text += draw(rng_, kFillers);
      }
    }
    return text;
  }

  std::u32string rows(std::size_t count) {
    std::u32string text;
    std::size_t fields = 1 + rng_() % 4;
    for (std::size_t r = 0; r < count; ++r) {
      for (std::size_t f = 0; f < fields; ++f) {
        if (f > 0) text += c_.delimiters.field.scalars;
        text += trims();
        if (escape_ && rng_() % 3 == 0) {
          text += *escape_;
          for (auto n = rng_() % 5; n > 0; --n) {
            char32_t s = rng_() % 2 ? special() : draw(rng_, kFillers);
            text += s;
            if (s == *escape_) text += s;
          }
          text += *escape_;
        } else {
          for (auto n = rng_() % 4; n > 0; --n) text += draw(rng_, kFillers);
        }
        text += trims();
      }
      if (r + 1 < count || rng_() % 2) text += rowDelimiter();
    }
    for (auto n = rng_() % 3; n > 0 && !text.empty(); --n) text[rng_() % text.size()] = special();
    return text;
  }

 private:
  char32_t special() { return special_[rng_() % special_.size()]; }
  const std::u32string& rowDelimiter() {
    auto d = c_.delimiters.row.scalars.begin();
    std::advance(d, rng_() % c_.delimiters.row.scalars.size());
    return *d;
  }
  std::u32string trims() {
    std::u32string text;
    if (!trim_.empty())
      for (auto n = rng_() % 3; n > 0; --n) text += trim_[rng_() % trim_.size()];
    return text;
  }

  Rng& rng_;
  const ReaderConfiguration& c_;
  std::optional<char32_t> escape_;
  std::vector<char32_t> special_, trim_;
};

Data bytes(std::string_view text) {
  auto p = reinterpret_cast<const std::byte*>(text.data());
  return Data(p, p + text.size());
}

// UTF-16 little-endian or UTF-32 big-endian, after `prefix` (a mark).
Data encode(std::u32string_view text, int unitSize, std::string_view prefix = {}) {
  std::string out(prefix);
  auto unit16 = [&](unsigned u) { out += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)}; };
  for (char32_t c : text) {
    if (unitSize == 4) {
      for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(c >> shift & 0xFF);
    } else if (c < 0x10000) {
      unit16(c);
    } else {
      unit16(0xD800 + ((c - 0x10000) >> 10));
      unit16(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return bytes(out);
}

// A stream that hands out its bytes in short reads and, when told to, fails once they are all read.
class ChoppyStream final : public InputStream {
 public:
  ChoppyStream(Data data, bool fails) : data_(std::move(data)), fails_(fails) {}
  void open() override { status_ = StreamStatus::open; }
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override {
    static constexpr std::size_t kSizes[] = {3, 1, 2, 5, 1, 7, 4};
    if (offset_ == data_.size()) {
      status_ = fails_ ? StreamStatus::error : StreamStatus::atEnd;
      return fails_ ? -1 : 0;
    }
    std::size_t n = std::min({maxLength, kSizes[reads_++ % 7], data_.size() - offset_});
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
  Data data_;
  bool fails_;
  std::size_t offset_ = 0, reads_ = 0;
  StreamStatus status_ = StreamStatus::notOpen;
};

const ErrorText kStreamFailure{"The input stream encountered an error while trying to read input bytes.",
                               "Review the internal error and make sure you have access to the input data.",
                               "Stream status: error"};
const ErrorText kIncompleteUTF16{
    "The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected).",
    "Check the last UTF16 character of your input data/file.", ""};
const ErrorText kIncompleteUTF32{
    "The last input UTF32 character is incomplete (less than 4 bytes were found).",
    "Check the last UTF32 character of your input data/file.", ""};

// Bytes that end valid UTF-8: stray, overlong, surrogate, too large, and sequences cut by the end.
constexpr std::string_view kInvalidTails[] = {
    "\xFF", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\xF0\x9F\x98", "\xC3("};

// One way into the reader: it reads `text` (and, after it, the bytes `tail` stands for) and its source
// raises `endError` once the text is read.
struct Way {
  const char* name;
  std::function<CSVReader(ReaderConfiguration, std::u32string_view, std::string_view tail)> open;
  std::optional<ErrorText> endError = std::nullopt;
  bool needsText = false;  // an empty stream that fails does so while its mark is looked for
  bool blocks = false;     // in-memory UTF-8, validated in blocks
};

std::vector<Way> ways() {
  using C = ReaderConfiguration;
  using V = std::u32string_view;
  using T = std::string_view;
  auto stream = [](Data data, bool fails = false) {
    return std::make_shared<ChoppyStream>(std::move(data), fails);
  };
  return {
      {"text", [](C c, V s, T) { return CSVReader::fromText(toUTF8(s), c); }},
      {"UTF-8 bytes with a mark",
       [](C c, V s, T) { return CSVReader::fromData(bytes("\xEF\xBB\xBF" + toUTF8(s)), c); }},
      {"UTF-16LE with a mark", [](C c, V s, T) { return CSVReader::fromData(encode(s, 2, "\xFF\xFE"), c); }},
      {"UTF-16LE configured",
       [](C c, V s, T) {
         c.encoding = TextEncoding::utf16LittleEndian;
         return CSVReader::fromData(encode(s, 2), c);
       }},
      {"UTF-32BE with a mark",
       [](C c, V s, T) { return CSVReader::fromData(encode(s, 4, std::string_view("\0\0\xFE\xFF", 4)), c); }},
      {"UTF-32 configured, big-endian by default",
       [](C c, V s, T) {
         c.encoding = TextEncoding::utf32;
         return CSVReader::fromData(encode(s, 4), c);
       }},
      {"memory stream",
       [](C c, V s, T) {
         return CSVReader::fromStream(std::make_shared<MemoryInputStream>(bytes(toUTF8(s))), c);
       }},
      {"presampled memory stream, UTF-16LE with a mark",
       [](C c, V s, T) {
         c.presample = true;
         return CSVReader::fromStream(std::make_shared<MemoryInputStream>(encode(s, 2, "\xFF\xFE")), c);
       }},
      {"short reads, UTF-8", [=](C c, V s, T) { return CSVReader::fromStream(stream(bytes(toUTF8(s))), c); }},
      {"short reads, UTF-8, then a failure",
       [=](C c, V s, T) { return CSVReader::fromStream(stream(bytes(toUTF8(s)), true), c); }, kStreamFailure,
       true},
      {"short reads, UTF-32BE, then a failure",
       [=](C c, V s, T) {
         c.encoding = TextEncoding::utf32BigEndian;
         return CSVReader::fromStream(stream(encode(s, 4), true), c);
       },
       kStreamFailure, true},
      {"text, then invalid UTF-8",
       [](C c, V s, T tail) { return CSVReader::fromText(toUTF8(s) + std::string(tail), c); },
       test::invalidUTF8Text(), false, true},
      {"UTF-8 bytes, then invalid UTF-8",
       [](C c, V s, T tail) { return CSVReader::fromData(bytes(toUTF8(s) + std::string(tail)), c); },
       test::invalidUTF8Text(), false, true},
      {"short reads, UTF-8, then invalid UTF-8",
       [=](C c, V s, T tail) {
         return CSVReader::fromStream(stream(bytes(toUTF8(s) + std::string(tail))), c);
       },
       test::invalidUTF8Text()},
      {"short reads, UTF-8, then invalid UTF-8 and a failure",
       [=](C c, V s, T tail) {
         return CSVReader::fromStream(stream(bytes(toUTF8(s) + std::string(tail)), true), c);
       },
       test::invalidUTF8Text()},
      // Read ahead on a thread in chunks of 1500 bytes, which the reader's reads of 1024 cut within, or of
      // 5, which cut scalars.
      {"read ahead, UTF-8, then invalid UTF-8",
       [](C c, V s, T tail) {
         auto inner = std::make_shared<MemoryInputStream>(bytes(toUTF8(s) + std::string(tail)));
         return CSVReader::fromStream(std::make_shared<detail::ReadAheadStream>(inner, 1500), c);
       },
       test::invalidUTF8Text()},
      {"read ahead in short reads, UTF-8, then a failure",
       [=](C c, V s, T) {
         return CSVReader::fromStream(
             std::make_shared<detail::ReadAheadStream>(stream(bytes(toUTF8(s)), true), 5), c);
       },
       kStreamFailure, true},
      {"UTF-16LE and an odd byte",
       [](C c, V s, T) {
         c.encoding = TextEncoding::utf16LittleEndian;
         auto data = encode(s, 2);
         data.push_back(std::byte{'x'});
         return CSVReader::fromData(data, c);
       },
       kIncompleteUTF16},
      {"short reads, UTF-32BE and a cut unit",
       [=](C c, V s, T) {
         c.encoding = TextEncoding::utf32BigEndian;
         auto data = encode(s, 4);
         data.insert(data.end(), 2, std::byte{0});
         return CSVReader::fromStream(stream(data), c);
       },
       kIncompleteUTF32},
  };
}

std::string describe(const ReaderConfiguration& c, std::u32string_view text, std::string_view tail) {
  std::string out = test::describe(c);
  out += text.size() <= 400 ? "\ninput \"" + test::printable(text) + '"'
                            : "\ninput of " + std::to_string(text.size()) + " scalars";
  if (!tail.empty()) out += " + an invalid tail of " + std::to_string(tail.size()) + " bytes";
  return out;
}

class Differential {
 public:
  // Each input goes the text way and `others` more picked at random, or with `blocksOnly` the ways that
  // validate in-memory UTF-8 in blocks.
  Differential(std::uint32_t seed, std::size_t others, bool blocksOnly = false)
      : rng_(seed), ways_(ways()), others_(others), blocksOnly_(blocksOnly) {}

  // Compares every way of reading `text`; returns false once enough mismatches were reported.
  bool check(const ReaderConfiguration& c, std::u32string_view text, std::string_view tail) {
    std::vector<std::pair<std::optional<ErrorText>, Outcome>> expected;  // by the error that ends the text
    std::vector<bool> chosen(ways_.size(), !blocksOnly_ && others_ == 0);
    chosen[0] = true;
    for (std::size_t k = 0; k < others_; ++k) chosen[1 + rng_() % (ways_.size() - 1)] = true;
    for (const Way& way : ways_) {
      bool take = blocksOnly_ ? way.blocks : chosen[static_cast<std::size_t>(&way - ways_.data())];
      if (!take || (way.needsText && text.empty())) continue;
      auto known = std::find_if(expected.begin(), expected.end(),
                                [&](const auto& e) { return e.first == way.endError; });
      if (known == expected.end())
        known = expected.insert(known, {way.endError, test::referenceRead(c, text, way.endError)});
      auto pick = [this](unsigned n) { return static_cast<unsigned>(rng_() % n); };
      if (known->second != test::productionRead([&] { return way.open(c, text, tail); }, pick)) {
        std::u32string small = shrink(way, c, std::u32string(text), tail);
        ADD_FAILURE() << way.name << ", "
                      << describe(c, small, way.endError == test::invalidUTF8Text() ? tail : "")
                      << "\nexpected:\n"
                      << test::referenceRead(c, small, way.endError) << "\nactual:\n"
                      << test::productionRead([&] { return way.open(c, small, tail); });
        if (++failures_ == 5) return false;
      }
    }
    return true;
  }

  Rng& rng() { return rng_; }

 private:
  bool mismatch(const Way& way, const ReaderConfiguration& c, std::u32string_view text,
                std::string_view tail) {
    return test::referenceRead(c, text, way.endError) !=
           test::productionRead([&] { return way.open(c, text, tail); });
  }

  // Drops runs of scalars, then single ones, while the mismatch stays, for a short report.
  std::u32string shrink(const Way& way, const ReaderConfiguration& c, std::u32string text,
                        std::string_view tail) {
    if (text.size() > 4096) return text;
    for (std::size_t chunk = std::max<std::size_t>(text.size() / 2, 1);;) {
      bool smaller = false;
      for (std::size_t i = 0; i + chunk <= text.size();) {
        std::u32string candidate = text.substr(0, i) + text.substr(i + chunk);
        if ((!way.needsText || !candidate.empty()) && mismatch(way, c, candidate, tail)) {
          text = std::move(candidate);
          smaller = true;
        } else {
          i += chunk;
        }
      }
      if (smaller) continue;
      if (chunk == 1) return text;
      chunk /= 2;
    }
  }

  Rng rng_;
  std::vector<Way> ways_;
  std::size_t others_;
  bool blocksOnly_;
  int failures_ = 0;
};

// TAMRIK_DIFFERENTIAL_SEED=n explores beyond the fixed seed, sending each input every way.
const char* const exploredSeed = std::getenv("TAMRIK_DIFFERENTIAL_SEED");
std::uint32_t seed() {
  return exploredSeed ? static_cast<std::uint32_t>(std::strtoul(exploredSeed, nullptr, 10)) : 20240611;
}

// Inputs whose outcome hangs on the order of checks or on how far a matcher reads ahead; the
// reference must agree with the stated outcome too.
TEST(ReaderDifferential, PinnedCases) {
  struct Pinned {
    const char* name;
    void (*configure)(ReaderConfiguration&);
    std::string input;  // UTF-8, maybe with invalid bytes at the end
    std::vector<std::vector<std::string>> rows;
    std::string reason;  // how the error that ends the reading begins
  };
  const Pinned cases[] = {
      {"the escaping scalar is tested before an equal field delimiter",
       [](ReaderConfiguration& c) { c.delimiters.field = U'"'; },
       "a\"",
       {},
       "The escaping scalar (double quotes by default) is not allowed"},
      {"mixed one- and two-scalar row delimiters read past the scalar after an escaped field",
       [](ReaderConfiguration& c) { c.delimiters.row = Delimiter::Row::standard(); },
       "\"a\"x\xFF",
       {},
       test::invalidUTF8Text().reason},
      {"a single one-scalar row delimiter does not",
       [](ReaderConfiguration&) {},
       "\"a\"x\xFF",
       {},
       "The targeted field parsed successfully."},
  };
  for (const auto& pinned : cases) {
    SCOPED_TRACE(pinned.name);
    ReaderConfiguration c;
    pinned.configure(c);
    auto [scalars, valid] = test::decodeUTF8(pinned.input);
    auto expected =
        test::referenceRead(c, scalars, valid ? std::nullopt : std::optional(test::invalidUTF8Text()));
    EXPECT_EQ(expected.rows, pinned.rows);
    EXPECT_THAT(expected.error ? expected.error->reason : "", testing::StartsWith(pinned.reason));
    EXPECT_EQ(test::productionRead([&] { return CSVReader::fromText(pinned.input, c); }), expected);
  }
}

TEST(ReaderDifferential, RandomConfigurationsAndInputs) {
  Differential differential(seed(), exploredSeed ? 0 : 2);
  Rng& rng = differential.rng();
  for (int i = 0; i < 1000; ++i) {
    auto c = randomConfiguration(rng);
    Texts texts(rng, c);
    // Now and then enough text to cross the 1024-byte chunks a stream is read in.
    auto text = i % 50 == 0 ? texts.rows(60 + rng() % 60)
                : i % 2     ? texts.rows(rng() % 5)
                            : texts.soup(rng() % 24);
    if (!differential.check(c, text, kInvalidTails[rng() % std::size(kInvalidTails)])) break;
  }
}

// In-memory UTF-8 is validated in blocks of 64 KiB: scalars and invalid bytes right at their edges.
TEST(ReaderDifferential, InputsAcrossValidationBlocks) {
  Differential differential(seed(), 0, true);
  Rng& rng = differential.rng();
  ReaderConfiguration c;
  c.delimiters.row = Delimiter::Row::standard();
  for (int i = 0; i < 3; ++i) {
    std::u32string text;
    std::size_t size = 0;  // in UTF-8
    while (size < 65536 - 8) {
      char32_t s = rng() % 8 ? draw(rng, kFillers) : U'\n';
      text += s;
      size += toUTF8(std::u32string(1, s)).size();
    }
    for (; size < 65536 + static_cast<std::size_t>(i) - 3; size += 4) text += U'\U0001F601';
    if (!differential.check(c, text, kInvalidTails[5 + i])) break;  // cut sequences, a bad continuation
  }
}

}  // namespace
