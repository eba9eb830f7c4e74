// Records of every built-in type, encoded and decoded back with matching strategies, must come back the
// same under every buffering strategy of either side, whole and row by row.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>

#include "tamrikcsv/tamrikcsv.hpp"

using namespace tamrikcsv;

namespace {

struct Everything {
  std::string text;
  bool flag = false;
  std::int8_t i8 = 0;
  std::int16_t i16 = 0;
  std::int32_t i32 = 0;
  std::int64_t i64 = 0;
  long long word = 0;
  std::uint8_t u8 = 0;
  std::uint16_t u16 = 0;
  std::uint32_t u32 = 0;
  std::uint64_t u64 = 0;
  unsigned long long uword = 0;
  float ratio = 0;
  double amount = 0;
  Date when;
  Data blob;
  Decimal price;
  URL link = *URL::parse("/");
  std::optional<std::string> note;
  std::optional<double> maybe;

  // The order the fields are encoded in; not part of the record.
  std::array<int, 20> order{};

  enum class Keys {
    text,
    flag,
    i8,
    i16,
    i32,
    i64,
    word,
    u8,
    u16,
    u32,
    u64,
    uword,
    ratio,
    amount,
    when,
    blob,
    price,
    link,
    note,
    maybe
  };
  static Everything decode(Decoder& decoder);
  void encode(Encoder& encoder) const;
};

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || (a == b && std::signbit(a) == std::signbit(b));
}

bool operator==(const Everything& a, const Everything& b) {
  return a.text == b.text && a.flag == b.flag && a.i8 == b.i8 && a.i16 == b.i16 && a.i32 == b.i32 &&
         a.i64 == b.i64 && a.word == b.word && a.u8 == b.u8 && a.u16 == b.u16 && a.u32 == b.u32 &&
         a.u64 == b.u64 && a.uword == b.uword && same(a.ratio, b.ratio) && same(a.amount, b.amount) &&
         a.when == b.when && a.blob == b.blob && a.price == b.price && a.link == b.link && a.note == b.note &&
         a.maybe.has_value() == b.maybe.has_value() && (!a.maybe || same(*a.maybe, *b.maybe));
}

}  // namespace

template <>
struct tamrikcsv::CodingKeyTraits<Everything::Keys> {
  static constexpr std::array names{"text", "flag", "i8",    "i16",  "i32",   "i64",   "word",
                                    "u8",   "u16",  "u32",   "u64",  "uword", "ratio", "amount",
                                    "when", "blob", "price", "link", "note",  "maybe"};
};

namespace {

Everything Everything::decode(Decoder& decoder) {
  auto row = decoder.container<Keys>();
  Everything r;
  r.text = row.decode<std::string>(Keys::text);
  r.flag = row.decode<bool>(Keys::flag);
  r.i8 = row.decode<std::int8_t>(Keys::i8);
  r.i16 = row.decode<std::int16_t>(Keys::i16);
  r.i32 = row.decode<std::int32_t>(Keys::i32);
  r.i64 = row.decode<std::int64_t>(Keys::i64);
  r.word = row.decode<long long>(Keys::word);
  r.u8 = row.decode<std::uint8_t>(Keys::u8);
  r.u16 = row.decode<std::uint16_t>(Keys::u16);
  r.u32 = row.decode<std::uint32_t>(Keys::u32);
  r.u64 = row.decode<std::uint64_t>(Keys::u64);
  r.uword = row.decode<unsigned long long>(Keys::uword);
  r.ratio = row.decode<float>(Keys::ratio);
  r.amount = row.decode<double>(Keys::amount);
  r.when = row.decode<Date>(Keys::when);
  r.blob = row.decode<Data>(Keys::blob);
  r.price = row.decode<Decimal>(Keys::price);
  r.link = row.decode<URL>(Keys::link);
  r.note = row.decodeIfPresent<std::string>(Keys::note);
  r.maybe = row.decodeIfPresent<double>(Keys::maybe);
  return r;
}

void Everything::encode(Encoder& encoder) const {
  auto row = encoder.container<Keys>();
  for (int field : order) {
    switch (static_cast<Keys>(field)) {
      case Keys::text:
        row.encode(text, Keys::text);
        break;
      case Keys::flag:
        row.encode(flag, Keys::flag);
        break;
      case Keys::i8:
        row.encode(i8, Keys::i8);
        break;
      case Keys::i16:
        row.encode(i16, Keys::i16);
        break;
      case Keys::i32:
        row.encode(i32, Keys::i32);
        break;
      case Keys::i64:
        row.encode(i64, Keys::i64);
        break;
      case Keys::word:
        row.encode(word, Keys::word);
        break;
      case Keys::u8:
        row.encode(u8, Keys::u8);
        break;
      case Keys::u16:
        row.encode(u16, Keys::u16);
        break;
      case Keys::u32:
        row.encode(u32, Keys::u32);
        break;
      case Keys::u64:
        row.encode(u64, Keys::u64);
        break;
      case Keys::uword:
        row.encode(uword, Keys::uword);
        break;
      case Keys::ratio:
        row.encode(ratio, Keys::ratio);
        break;
      case Keys::amount:
        row.encode(amount, Keys::amount);
        break;
      case Keys::when:
        row.encode(when, Keys::when);
        break;
      case Keys::blob:
        row.encode(blob, Keys::blob);
        break;
      case Keys::price:
        row.encode(price, Keys::price);
        break;
      case Keys::link:
        row.encode(link, Keys::link);
        break;
      case Keys::note:
        row.encode(note, Keys::note);
        break;
      case Keys::maybe:
        row.encode(maybe, Keys::maybe);
        break;
    }
  }
}

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  Everything record() {
    Everything r;
    r.text = text(true);
    r.flag = integer<int>(0, 1) == 1;
    r.i8 = integer<std::int8_t>();
    r.i16 = integer<std::int16_t>();
    r.i32 = integer<std::int32_t>();
    r.i64 = integer<std::int64_t>();
    r.word = integer<long long>();
    r.u8 = integer<std::uint8_t>();
    r.u16 = integer<std::uint16_t>();
    r.u32 = integer<std::uint32_t>();
    r.u64 = integer<std::uint64_t>();
    r.uword = integer<unsigned long long>();
    r.ratio = floating<float>();
    r.amount = floating<double>();
    // Whole seconds between 1900 and 2100 read back exactly under every date strategy.
    r.when = dateSince1970(static_cast<double>(integer<std::int64_t>(-2'208'988'800, 4'102'444'800)));
    for (int n = integer<int>(0, 12); n > 0; --n) r.blob.push_back(std::byte{integer<std::uint8_t>()});
    r.price =
        *Decimal::parse(std::to_string(integer<std::int64_t>()) + "." + std::to_string(integer<int>(0, 999)));
    r.link = *URL::parse("/places/" + std::to_string(integer<int>(0, 9999)) + ".csv");
    // A present optional text is never empty: an empty field is an absent value.
    if (integer<int>(0, 1)) r.note = text(false);
    if (integer<int>(0, 1)) r.maybe = floating<double>();
    std::iota(r.order.begin(), r.order.end(), 0);
    std::shuffle(r.order.begin(), r.order.end(), random_);
    return r;
  }

 private:
  template <class Int>
  Int integer(Int low = std::numeric_limits<Int>::min(), Int high = std::numeric_limits<Int>::max()) {
    using Wide = std::conditional_t<std::is_signed_v<Int>, long long, unsigned long long>;
    return static_cast<Int>(std::uniform_int_distribution<Wide>(low, high)(random_));
  }
  // Any bit pattern: subnormals, extremes, infinities and NaN among them.
  template <class F>
  F floating() {
    using Bits = std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t>;
    if (integer<int>(0, 9) == 0)
      return std::array<F, 3>{std::numeric_limits<F>::infinity(), -std::numeric_limits<F>::infinity(),
                              std::numeric_limits<F>::quiet_NaN()}[integer<int>(0, 2)];
    Bits bits = integer<Bits>();
    F value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  std::string text(bool mayBeEmpty) {
    static constexpr std::array<std::string_view, 10> kPieces{"a",    "Zürich", ",",   "\"",   "\n",
                                                              "\r\n", " ",      "x;y", "東京", "'"};
    std::string out;
    for (int n = integer<int>(mayBeEmpty ? 0 : 1, 5); n > 0; --n)
      out += kPieces[integer<std::size_t>(0, kPieces.size() - 1)];
    return out;
  }

  std::mt19937 random_;
};

constexpr auto kConvert = [] {
  return Strategy::NonConformingFloat::convert("+Infinity", "-Infinity", "NaN");
};

CSVEncoder encoderFor(Strategy::EncodingBuffer buffering, int dates) {
  std::vector<std::string> headers;
  for (const char* name : CodingKeyTraits<Everything::Keys>::names) headers.emplace_back(name);
  return CSVEncoder([&](CSVEncoder::Configuration& c) {
    c.writerConfiguration.headers = headers;
    c.bufferingStrategy = buffering;
    c.nonConformingFloatStrategy = kConvert();
    c.dateStrategy =
        std::array{Strategy::DateEncoding::deferredToDate(), Strategy::DateEncoding::secondsSince1970(),
                   Strategy::DateEncoding::millisecondsSince1970(), Strategy::DateEncoding::iso8601()}[dates];
  });
}

CSVDecoder decoderFor(Strategy::DecodingBuffer buffering, int dates) {
  return CSVDecoder([&](CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
    c.bufferingStrategy = buffering;
    c.nonConformingFloatStrategy = kConvert();
    c.dateStrategy =
        std::array{Strategy::DateDecoding::deferredToDate(), Strategy::DateDecoding::secondsSince1970(),
                   Strategy::DateDecoding::millisecondsSince1970(), Strategy::DateDecoding::iso8601()}[dates];
  });
}

}  // namespace

TEST(EncoderRoundTrip, RecordsOfEveryTypeComeBackUnderEveryBuffering) {
  for (unsigned seed : {1u, 2u, 3u, 4u}) {
    Generator generate(seed);
    std::vector<Everything> records;
    for (int i = 0; i < 25; ++i) records.push_back(generate.record());
    const int dates = static_cast<int>(seed % 4);
    for (auto encoding : {Strategy::EncodingBuffer::keepAll, Strategy::EncodingBuffer::assembled,
                          Strategy::EncodingBuffer::sequential}) {
      const auto encoder = encoderFor(encoding, dates);
      const std::string whole = encoder.encodeString(records);
      auto lazyEncoder = encoder.makeLazyString();
      for (const auto& record : records) lazyEncoder.encodeNext(record);
      ASSERT_EQ(lazyEncoder.endEncoding(), whole);
      for (auto decoding : {Strategy::DecodingBuffer::keepAll, Strategy::DecodingBuffer::sequential}) {
        SCOPED_TRACE(::testing::Message() << "seed " << seed << ", encoding " << static_cast<int>(encoding)
                                          << ", decoding " << static_cast<int>(decoding));
        const auto decoder = decoderFor(decoding, dates);
        auto decoded = decoder.decodeText<std::vector<Everything>>(whole);
        ASSERT_EQ(decoded.size(), records.size());
        for (std::size_t i = 0; i < records.size(); ++i) EXPECT_TRUE(decoded[i] == records[i]) << "row " << i;
        auto lazy = decoder.makeLazyText(whole);
        std::size_t rows = 0;
        while (auto record = lazy.decodeIfPresent<Everything>()) EXPECT_TRUE(*record == records[rows++]);
        EXPECT_EQ(rows, records.size());
      }
    }
  }
}
