#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <functional>
#include <limits>
#include <list>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

using namespace tamrikcsv;

namespace {

// A declared record, and its twin written by hand as records were before declarations: they must agree on
// every row, byte and error.
struct Desk {
  std::string id;
  int floor = 0;
  bool window = false;
  double width = 0;
  std::optional<std::string> serial;
  std::optional<Date> since;
  friend bool operator==(const Desk&, const Desk&) = default;
};

struct HandDesk : Desk {
  enum class Keys { id, floor, window, width, serial, since };
  static HandDesk decode(Decoder& decoder);
  void encode(Encoder& encoder) const;
};

// By position, for files without a header row; the second field has a title to be named by.
struct Pair {
  std::string name;
  std::int64_t count = 0;
  friend bool operator==(const Pair&, const Pair&) = default;
};

struct HandPair : Pair {
  enum class Keys { name, count };
  static HandPair decode(Decoder& decoder);
};

// Declared, with reading that needs logic written by hand: the declaration still writes it.
struct Shouted {
  std::string word;
  static Shouted decode(Decoder& decoder) {
    auto word = decoder.container<CodingKey>().decode<std::string>(CodingKey("word"));
    for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return {word};
  }
};

// Numbers of several kinds, optional ones among them, and their twin.
struct Reading {
  std::int64_t count = 0;
  std::optional<double> level;
  std::optional<std::uint8_t> grade;
  float ratio = 0;
  friend bool operator==(const Reading&, const Reading&) = default;
};

struct HandReading : Reading {
  enum class Keys { count, level, grade, ratio };
  static HandReading decode(Decoder& decoder);
};

struct Undeclared {};

}  // namespace

template <>
struct tamrikcsv::Fields<Desk> {
  static constexpr std::tuple list{field("Desk", &Desk::id),       field("Floor", &Desk::floor),
                                   field("Window", &Desk::window), field("Width", &Desk::width),
                                   field("Serial", &Desk::serial), field("Since", &Desk::since)};
};
template <>
struct tamrikcsv::CodingKeyTraits<HandDesk::Keys> {
  static constexpr auto names = fieldTitles<Desk>();
};
template <>
struct tamrikcsv::Fields<Pair> {
  static constexpr std::tuple list{field(0, &Pair::name), field("count", 1, &Pair::count)};
};
template <>
struct tamrikcsv::CodingKeyTraits<HandPair::Keys> {
  static constexpr std::array names{"0", "count"};
  static constexpr std::array ints{0, 1};
};
template <>
struct tamrikcsv::Fields<Shouted> {
  static constexpr std::tuple list{field("word", &Shouted::word)};
};

template <>
struct tamrikcsv::Fields<Reading> {
  static constexpr std::tuple list{field("Count", &Reading::count), field("Level", &Reading::level),
                                   field("Grade", &Reading::grade), field("Ratio", &Reading::ratio)};
};
template <>
struct tamrikcsv::CodingKeyTraits<HandReading::Keys> {
  static constexpr auto names = fieldTitles<Reading>();
};

HandReading HandReading::decode(Decoder& decoder) {
  auto row = decoder.container<Keys>();
  HandReading reading;
  reading.count = row.decode<std::int64_t>(Keys::count);
  reading.level = row.decodeIfPresent<double>(Keys::level);
  reading.grade = row.decodeIfPresent<std::uint8_t>(Keys::grade);
  reading.ratio = row.decode<float>(Keys::ratio);
  return reading;
}
HandDesk HandDesk::decode(Decoder& decoder) {
  auto row = decoder.container<Keys>();
  HandDesk desk;
  desk.id = row.decode<std::string>(Keys::id);
  desk.floor = row.decode<int>(Keys::floor);
  desk.window = row.decode<bool>(Keys::window);
  desk.width = row.decode<double>(Keys::width);
  desk.serial = row.decodeIfPresent<std::string>(Keys::serial);
  desk.since = row.decodeIfPresent<Date>(Keys::since);
  return desk;
}
void HandDesk::encode(Encoder& encoder) const {
  auto row = encoder.container<Keys>();
  row.encode(id, Keys::id);
  row.encode(floor, Keys::floor);
  row.encode(window, Keys::window);
  row.encode(width, Keys::width);
  row.encodeIfPresent(serial, Keys::serial);
  row.encodeIfPresent(since, Keys::since);
}
HandPair HandPair::decode(Decoder& decoder) {
  auto row = decoder.container<Keys>();
  HandPair pair;
  pair.name = row.decode<std::string>(Keys::name);
  pair.count = row.decode<std::int64_t>(Keys::count);
  return pair;
}

// What declarations promise at compile time; that a bad declaration fails with its message is a CTest.
constexpr std::tuple kTwice{field("Desk", &Desk::id), field("Desk", &Desk::serial)};
static_assert(hasUniqueTitles(Fields<Desk>::list) && !hasUniqueTitles(kTwice));
static_assert(DeclaredRecord<Desk> && !DeclaredRecord<HandDesk> && !DeclaredRecord<Undeclared>);

namespace {

const char* const kDesks = "Serial,Desk,Floor,Window,Width,Since\n,D1,1,true,1.5,\nS9,D2,2,no,0.8,60\n";

CSVDecoder decoderWith(const std::function<void(CSVDecoder::Configuration&)>& edit = {}) {
  return CSVDecoder([&](CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
    if (edit) edit(c);
  });
}

// Everything a failure shows: its text (which holds the user info and any coding path), kind and path.
std::string failureOf(const std::function<void()>& run) {
  try {
    run();
  } catch (const DecodingError& e) {
    return std::string(e.what()) + " | decoding " + std::to_string(static_cast<int>(e.kind())) + " at " +
           describe(e.codingPath());
  } catch (const EncodingError& e) {
    return std::string(e.what()) + " | encoding " + std::to_string(static_cast<int>(e.kind())) + " at " +
           describe(e.codingPath());
  } catch (const CSVErrorBase& e) {
    return std::string(e.what()) + " | " + e.errorDomain() + " " + std::to_string(e.errorCode());
  }
  return "no failure";
}

}  // namespace

TEST(DeclaredFields, DecodeAsTheirHandWrittenTwinsWhateverTheWayIn) {
  for (auto buffering : {Strategy::DecodingBuffer::keepAll, Strategy::DecodingBuffer::sequential}) {
    auto decoder = decoderWith([&](auto& c) { c.bufferingStrategy = buffering; });
    auto desks = decoder.decodeText<std::vector<Desk>>(kDesks);
    auto twins = decoder.decodeText<std::vector<HandDesk>>(kDesks);
    ASSERT_EQ(desks.size(), 2u);
    EXPECT_EQ(desks[0], (Desk{"D1", 1, true, 1.5, std::nullopt, std::nullopt}));
    EXPECT_EQ(desks[1].serial, "S9");
    EXPECT_TRUE(desks[1].since);
    EXPECT_EQ(desks, std::vector<Desk>(twins.begin(), twins.end()));

    auto lazy = decoder.makeLazyText(kDesks);
    EXPECT_EQ(lazy.decode<Desk>(), desks[0]);
    for (auto& row : lazy) EXPECT_EQ(row.decode<Desk>(), desks[1]);
  }
  // An optional field's column may be missing altogether.
  EXPECT_EQ(decoderWith().decodeText<std::vector<Desk>>("Desk,Floor,Window,Width\nD3,0,,2\n")[0].serial,
            std::nullopt);
  // From the second row on, texts are taken straight from the row: still as the twins read them, with a
  // column missing, and with nils that a custom strategy decides.
  const std::string longer = "Desk,Floor,Window,Width,Serial\nD1,1,true,1,-\nD2,2,true,2,\nD3,3,true,3,S3\n";
  auto dash = [](CSVDecoder::Configuration& c) {
    c.nilStrategy = Strategy::NilDecoding::custom(
        [](Decoder& d) { return d.singleValueContainer().decode<std::string>() == "-"; });
  };
  for (const auto& [input, edit] :
       std::vector<std::pair<std::string, std::function<void(CSVDecoder::Configuration&)>>>{
           {"Desk,Floor,Window,Width\nD1,1,true,1\nD2,2,,2\nD3,3,,3\n", {}}, {longer, {}}, {longer, dash}}) {
    auto decoder = decoderWith(edit);
    auto desks = decoder.decodeText<std::vector<Desk>>(input);
    auto twins = decoder.decodeText<std::vector<HandDesk>>(input);
    ASSERT_EQ(desks.size(), 3u);
    EXPECT_EQ(desks[2].id, "D3");
    EXPECT_EQ(desks, std::vector<Desk>(twins.begin(), twins.end())) << input;
  }
  // Numbers, from the second row on converted straight from the row's text: as the twins read them.
  for (const char* input : {"Count,Level,Grade,Ratio\n1,0.5,2,1\n-7,,255,1e3\n8,1e-9,,-0\n",
                            "Ratio,Count\n1,1\n2.5,9223372036854775807\n"}) {
    auto readings = decoderWith().decodeText<std::vector<Reading>>(input);
    auto twins = decoderWith().decodeText<std::vector<HandReading>>(input);
    EXPECT_EQ(readings, std::vector<Reading>(twins.begin(), twins.end())) << input;
  }
  // By position without a header row, by title and position with one that says otherwise.
  EXPECT_EQ(CSVDecoder().decodeText<std::vector<Pair>>("a,1\nb,2\n"),
            (std::vector<Pair>{{"a", 1}, {"b", 2}}));
  EXPECT_EQ(decoderWith().decodeText<std::vector<Pair>>("count,name\nc,3\n"), (std::vector<Pair>{{"c", 3}}));
}

TEST(DeclaredFields, FailAsTheirHandWrittenTwinsWithTheSameTextKindAndPath) {
  using Edit = std::function<void(CSVDecoder::Configuration&)>;
  const std::vector<std::pair<Edit, std::string>> cases = {
      {{}, "Desk,Floor,Window,Serial\nD1,1,true,\n"},                 // a column missing
      {{}, "Desk,Floor,Window,Width\nD1,1,true,1\nD2,one,true,1\n"},  // not a number, on the second row
      {{}, "Desk,Floor,Window,Width\nD1,1,true,inf\n"},               // not conforming
      {{}, "Desk,Desk,Floor,Window,Width\nD1,D1,1,true,1\n"},         // two equal titles
      {{}, "Desk,Floor,Window,Width\nD1,1,true\n"},                   // the reader's error
      {[](auto& c) { c.boolStrategy = Strategy::BoolDecoding::numeric(); }, kDesks},
      {[](auto& c) { c.dateStrategy = Strategy::DateDecoding::iso8601(); }, kDesks},
      {[](auto& c) { c.readerConfiguration.headerStrategy = Strategy::Header::none; }, kDesks},
      {[](auto& c) { c.bufferingStrategy = Strategy::DecodingBuffer::sequential; },
       "Desk,Floor,Window,Width,Since\nD1,1,true,1,x\n"},
  };
  for (const auto& failing : cases) {
    const std::string& input = failing.second;
    auto decoder = decoderWith(failing.first);
    std::string declared = failureOf([&] { (void)decoder.decodeText<std::vector<Desk>>(input); });
    EXPECT_NE(declared, "no failure") << input;
    EXPECT_EQ(declared, failureOf([&] { (void)decoder.decodeText<std::vector<HandDesk>>(input); })) << input;
    EXPECT_EQ(failureOf([&] { (void)decoder.makeLazyText(input).decode<Desk>(); }),
              failureOf([&] { (void)decoder.makeLazyText(input).decode<HandDesk>(); }));
    // A record asked of the whole file is no row: the same refusal.
    EXPECT_EQ(failureOf([&] { (void)decoder.decodeText<Desk>(input); }),
              failureOf([&] { (void)decoder.decodeText<HandDesk>(input); }));
  }
  EXPECT_EQ(failureOf([] { (void)CSVDecoder().decodeText<std::vector<Pair>>("a,b\n"); }),
            failureOf([] { (void)CSVDecoder().decodeText<std::vector<HandPair>>("a,b\n"); }));
  // Numbers that fail on a later row, where they are converted straight from its text.
  for (const char* bad : {"x", "256", "-1", "1.5", ""}) {  // not one, out of range, not whole, absent
    for (const std::string& input : {"Count,Grade,Ratio\n1,1,1\n2,1,1\n3," + std::string(bad) + ",1\n",
                                     "Count,Grade,Ratio\n1,1,1\n" + std::string(bad) + ",1,1\n",
                                     "Count,Level,Ratio\n1,1,1\n2,1," + std::string(bad) + "\n"}) {
      const std::string declared =
          failureOf([&] { (void)decoderWith().decodeText<std::vector<Reading>>(input); });
      EXPECT_EQ(declared, failureOf([&] { (void)decoderWith().decodeText<std::vector<HandReading>>(input); }))
          << input;
    }
  }
}

TEST(DeclaredFields, EncodeAsTheirHandWrittenTwins) {
  auto desks = decoderWith().decodeText<std::vector<Desk>>(kDesks);
  std::vector<HandDesk> twins(desks.size());
  for (std::size_t i = 0; i < desks.size(); ++i) static_cast<Desk&>(twins[i]) = desks[i];
  using Buffering = Strategy::EncodingBuffer;
  for (auto buffering : {Buffering::keepAll, Buffering::assembled, Buffering::sequential}) {
    CSVEncoder encoder([&](CSVEncoder::Configuration& c) {
      const auto titles = fieldTitles<Desk>();
      c.writerConfiguration.headers.assign(titles.begin(), titles.end());
      c.bufferingStrategy = buffering;
    });
    EXPECT_EQ(encoder.encodeString(desks),
              "Desk,Floor,Window,Width,Serial,Since\nD1,1,true,1.5,,\n"
              "D2,2,false,0.8,S9,60.0\n");
    EXPECT_EQ(encoder.encodeString(desks), encoder.encodeString(twins));
    auto lazy = encoder.makeLazyString();
    lazy.encodeNext(desks[1]);
    EXPECT_EQ(lazy.endEncoding(), "Desk,Floor,Window,Width,Serial,Since\nD2,2,false,0.8,S9,60.0\n");

    desks[0].width = twins[0].width = std::numeric_limits<double>::infinity();  // not conforming
    EXPECT_EQ(failureOf([&] { (void)encoder.encodeString(desks); }),
              failureOf([&] { (void)encoder.encodeString(twins); }));
    desks[0].width = twins[0].width = 1.5;
    encoder.configuration.writerConfiguration.headers = {"Desk", "Floor", "Window"};  // no "Width"
    EXPECT_EQ(failureOf([&] { (void)encoder.encodeString(desks); }),
              failureOf([&] { (void)encoder.encodeString(twins); }));
    encoder.configuration.writerConfiguration.headers.clear();
    EXPECT_EQ(failureOf([&] { (void)encoder.encodeString(desks[0]); }),
              failureOf([&] { (void)encoder.encodeString(twins[0]); }));
  }
}

namespace {

// The first row read into a desk and its hand-written twin, each already there, and why reading stopped.
struct DeskInPlace {
  Desk desk;
  HandDesk twin;
  std::string failure;
  static DeskInPlace decode(Decoder& decoder) {
    DeskInPlace read;
    read.desk.floor = read.twin.floor = -1;  // not the default: the row must set it
    try {
      decoder.unkeyedContainer().decodeInto(read.desk);
      decoder.unkeyedContainer().decodeInto(read.twin);
    } catch (const DecodingError& error) {
      read.failure = error.what();
    }
    return read;
  }
};

// Every desk read into a list's new elements, and why reading stopped.
struct DeskList {
  std::list<Desk> desks;
  std::string failure;
  static DeskList decode(Decoder& decoder) {
    DeskList list;
    try {
      decoder.unkeyedContainer().decodeAllInto<Desk>([&]() -> Desk& { return list.desks.emplace_back(); });
    } catch (const DecodingError& error) {
      list.failure = error.what();
    }
    return list;
  }
};

// Desks in a list, written with `encodeAll` or one by one.
struct DeskRows {
  std::list<Desk> desks;
  bool all = true;
  void encode(Encoder& encoder) const {
    auto rows = encoder.unkeyedContainer();
    if (all) return rows.encodeAll(desks);
    for (const auto& desk : desks) rows.encode(desk);
  }
};

}  // namespace

TEST(DeclaredFields, DecodeIntoAnElementWhereItStands) {
  const auto read = decoderWith().decodeText<DeskInPlace>(kDesks);
  EXPECT_EQ(read.failure, "");
  EXPECT_EQ(read.desk, decoderWith().decodeText<std::vector<Desk>>(kDesks).front());
  EXPECT_EQ(read.twin, read.desk);  // the hand-written one is assigned
  // A failure leaves the fields read before it, in declaration order.
  const auto failed = decoderWith().decodeText<DeskInPlace>("Desk,Floor,Window,Width\nD1,one,true,1\n");
  EXPECT_NE(failed.failure, "");
  EXPECT_EQ(failed.desk.id, "D1");
  EXPECT_EQ(failed.desk.floor, -1);

  // Every row into a list, row after row, as into a vector; a failure stops at the field, in its row.
  const std::string bad = "Desk,Floor,Window,Width\nD1,1,true,1\nD2,2,true,2\nD3,three,true,3\n";
  for (auto buffering : {Strategy::DecodingBuffer::keepAll, Strategy::DecodingBuffer::sequential}) {
    auto decoder = decoderWith([&](auto& c) { c.bufferingStrategy = buffering; });
    const auto list = decoder.decodeText<DeskList>(kDesks);
    EXPECT_EQ(list.failure, "");
    EXPECT_EQ(std::vector<Desk>(list.desks.begin(), list.desks.end()),
              decoder.decodeText<std::vector<Desk>>(kDesks));
    const auto stopped = decoder.decodeText<DeskList>(bad);
    ASSERT_EQ(stopped.desks.size(), 3u);
    EXPECT_EQ(stopped.desks.back().id, "D3");
    EXPECT_EQ(stopped.desks.back().floor, 0);
    EXPECT_EQ(stopped.failure, failureOf([&] {
                                 (void)decoder.decodeText<std::vector<HandDesk>>(bad);
                               }).substr(0, stopped.failure.size()));
  }
}

TEST(DeclaredFields, EncodeAllAsOneByOne) {
  const auto desks = decoderWith().decodeText<std::vector<Desk>>(kDesks);
  DeskRows all{{desks.begin(), desks.end()}, true}, oneByOne{all.desks, false};
  for (auto buffering : {Strategy::EncodingBuffer::keepAll, Strategy::EncodingBuffer::assembled,
                         Strategy::EncodingBuffer::sequential}) {
    CSVEncoder encoder([&](CSVEncoder::Configuration& c) {
      const auto titles = fieldTitles<Desk>();
      c.writerConfiguration.headers.assign(titles.begin(), titles.end());
      c.bufferingStrategy = buffering;
    });
    EXPECT_EQ(encoder.encodeString(all), encoder.encodeString(oneByOne));
    EXPECT_EQ(encoder.encodeString(all), encoder.encodeString(desks));
    // A failure in the second row: the same error, at the same row.
    all.desks.back().width = oneByOne.desks.back().width = std::numeric_limits<double>::infinity();
    EXPECT_EQ(failureOf([&] { (void)encoder.encodeString(all); }),
              failureOf([&] { (void)encoder.encodeString(oneByOne); }));
    all.desks.back().width = oneByOne.desks.back().width = desks.back().width;
  }
}

TEST(DeclaredFields, GiveWayToHandWrittenLogicOneDirectionAtATime) {
  auto words = decoderWith().decodeText<std::vector<Shouted>>("word\nquiet\n");
  EXPECT_EQ(words[0].word, "QUIET");
  EXPECT_EQ(CSVEncoder([](auto& c) { c.writerConfiguration.headers = {"word"}; }).encodeString(words),
            "word\nQUIET\n");
}

namespace {

// Texts and numbers only, which the encoder writes a whole row at a time, with optional fields in the
// middle (absent: a gap) and at the end (absent: no field). Its twin writes field by field.
struct Visit {
  std::string place;
  std::optional<std::string> note;
  std::int64_t count = 0;
  std::uint64_t badge = 0;
  double share = 0;
  std::optional<std::string> serial;
};

struct HandVisit : Visit {
  enum class Keys { place, note, count, badge, share, serial };
  void encode(Encoder& encoder) const;
};

}  // namespace

template <>
struct tamrikcsv::Fields<Visit> {
  static constexpr std::tuple list{field("Place", &Visit::place), field("Note", &Visit::note),
                                   field("Count", &Visit::count), field("Badge", &Visit::badge),
                                   field("Share", &Visit::share), field("Serial", &Visit::serial)};
};
template <>
struct tamrikcsv::CodingKeyTraits<HandVisit::Keys> {
  static constexpr auto names = fieldTitles<Visit>();
};

void HandVisit::encode(Encoder& encoder) const {
  auto row = encoder.container<Keys>();
  row.encode(place, Keys::place);
  row.encodeIfPresent(note, Keys::note);
  row.encode(count, Keys::count);
  row.encode(badge, Keys::badge);
  row.encode(share, Keys::share);
  row.encodeIfPresent(serial, Keys::serial);
}

namespace {

std::vector<HandVisit> handWritten(const std::vector<Visit>& visits) {
  std::vector<HandVisit> twins(visits.size());
  for (std::size_t i = 0; i < visits.size(); ++i) static_cast<Visit&>(twins[i]) = visits[i];
  return twins;
}

}  // namespace

TEST(DeclaredFields, WriteARowOfTextsAndNumbersAtOnceAsFieldByField) {
  const std::vector<Visit> visits = {
      {"P1", "", 1, 2, 0.5, "S1"},
      {"Desk, by the window", "say \"hi\"", -3, std::numeric_limits<std::uint64_t>::max(), 1234.5678, {}},
      {"line\nbreak", {}, std::numeric_limits<std::int64_t>::min(), 0, 0.0, "\xC3\xA9"},  // a gap, a zero
      {"A place name longer than 32 bytes, \xC3\xA9 and all", "x", 0, 7, 1e20, "SN;1"},
      {"exactly 16 bytes", "8 bytes!", 42, 42, -0.25, {}},
      {"", {}, 5, 5, 3.0, {}},
  };
  const auto twins = handWritten(visits);
  // Without serial numbers: a key that no row resolves, the rows still going in one go.
  auto unserialled = visits;
  for (auto& visit : unserialled) visit.serial = std::nullopt;
  const auto unserialledTwins = handWritten(unserialled);
  using Buffering = Strategy::EncodingBuffer;
  const auto titles = fieldTitles<Visit>();
  const std::vector<std::string> inOrder(titles.begin(), titles.end());
  const std::vector<std::string> reversed(inOrder.rbegin(), inOrder.rend());
  std::vector<std::string> wider = inOrder;
  wider.push_back("Extra");
  for (auto buffering : {Buffering::keepAll, Buffering::assembled, Buffering::sequential})
    for (char32_t delimiter : {U',', U';', U'.'})  // with '.' every double needs quotes
      for (const auto& headers : {inOrder, reversed, wider}) {
        CSVEncoder encoder([&](CSVEncoder::Configuration& c) {
          c.writerConfiguration.headers = headers;
          c.writerConfiguration.delimiters.field = delimiter;
          c.bufferingStrategy = buffering;
        });
        const std::string declared = encoder.encodeString(visits);
        EXPECT_EQ(declared, encoder.encodeString(twins));
        EXPECT_EQ(encoder.encodeString(unserialled), encoder.encodeString(unserialledTwins));
        auto lazy = encoder.makeLazyString(), lazyTwin = encoder.makeLazyString();
        for (std::size_t i = 0; i < visits.size(); ++i) {
          lazy.encodeNext(visits[i]);
          lazyTwin.encodeNext(twins[i]);
        }
        EXPECT_EQ(lazy.endEncoding(), declared);
        EXPECT_EQ(lazyTwin.endEncoding(), declared);
      }
  EXPECT_EQ(CSVEncoder([&](CSVEncoder::Configuration& c) {
              c.writerConfiguration.headers = inOrder;
              c.bufferingStrategy = Buffering::sequential;
            }).encodeString(visits),
            "Place,Note,Count,Badge,Share,Serial\n"
            "P1,,1,2,0.5,S1\n"
            "\"Desk, by the window\",\"say \"\"hi\"\"\",-3,18446744073709551615,1234.5678,\n"
            "\"line\nbreak\",,-9223372036854775808,0,0.0,\xC3\xA9\n"
            "\"A place name longer than 32 bytes, \xC3\xA9 and all\",x,0,7,1e+20,SN;1\n"
            "exactly 16 bytes,8 bytes!,42,42,-0.25,\n"
            ",,5,5,3.0,\n");
  // By position without a header row: the first row sets the width.
  EXPECT_EQ(CSVEncoder([](auto& c) {
              c.bufferingStrategy = Buffering::sequential;
            }).encodeString(std::vector<Pair>{{"a", 1}, {"b,c", 2}}),
            "a,1\n\"b,c\",2\n");
}

TEST(DeclaredFields, ARowTheWriterRefusesFailsAndLeavesTheOutputAsFieldByField) {
  using Buffering = Strategy::EncodingBuffer;
  std::vector<Visit> visits = {{"P1", "n", 1, 1, 1.5, "S1"}, {"P2", "n", 2, 2, 2.5, "S2"}};
  for (auto buffering : {Buffering::keepAll, Buffering::assembled, Buffering::sequential}) {
    CSVEncoder encoder([&](CSVEncoder::Configuration& c) {
      const auto titles = fieldTitles<Visit>();
      c.writerConfiguration.headers.assign(titles.begin(), titles.end());
      c.bufferingStrategy = buffering;
    });
    const std::vector<std::function<void(Visit&)>> refused = {
        [](Visit& v) { v.serial = "\xFF"; },  // not UTF-8
        [](Visit& v) { v.share = std::numeric_limits<double>::infinity(); },
        [](Visit& v) { v.place = std::string(40, 'x') + "\xC3"; },  // cut short
    };
    for (const auto& bad : refused) {
      std::vector<Visit> failing = visits;
      bad(failing[1]);
      const auto twins = handWritten(failing);
      EXPECT_NE(failureOf([&] { (void)encoder.encodeString(failing); }), "no failure");
      EXPECT_EQ(failureOf([&] { (void)encoder.encodeString(failing); }),
                failureOf([&] { (void)encoder.encodeString(twins); }));
      // A lazy encoder goes on after the refused row as it would field by field.
      auto lazy = encoder.makeLazyString(), lazyTwin = encoder.makeLazyString();
      lazy.encodeNext(failing[0]);
      lazyTwin.encodeNext(twins[0]);
      EXPECT_EQ(failureOf([&] { lazy.encodeNext(failing[1]); }),
                failureOf([&] { lazyTwin.encodeNext(twins[1]); }));
      lazy.encodeNext(failing[0]);
      lazyTwin.encodeNext(twins[0]);
      std::string written, writtenByTwin;
      EXPECT_EQ(failureOf([&] { written = lazy.endEncoding(); }),
                failureOf([&] { writtenByTwin = lazyTwin.endEncoding(); }));
      EXPECT_EQ(written, writtenByTwin);
    }
    encoder.configuration.nonConformingFloatStrategy =
        Strategy::NonConformingFloat::convert("inf", "-inf", "nan");
    visits[1].share = -std::numeric_limits<double>::infinity();
    EXPECT_EQ(encoder.encodeString(visits), encoder.encodeString(handWritten(visits)));
    visits[1].share = 2.5;
  }
  // More fields than the header row has: the writer's error, as field by field.
  const std::string tooMany = failureOf([] {
    (void)CSVEncoder([](auto& c) {
      c.writerConfiguration.headers = {"name"};
      c.bufferingStrategy = Strategy::EncodingBuffer::sequential;
    }).encodeString(std::vector<Pair>{{"a", 1}});
  });
  EXPECT_NE(tooMany.find("A field cannot be added to a row that has already the expected amount of fields"),
            std::string::npos)
      << tooMany;
}

TEST(DeclaredFields, WriteRandomRowsAsFieldByFieldInEveryConfiguration) {
  // Random rows, many of them refused, under every writer layout the encoder can meet: the same bytes and
  // failures as the twin, also for a lazy encoder that goes on after a refused row and writes blank rows.
  using Buffering = Strategy::EncodingBuffer;
  std::mt19937_64 random(7);
  // Delimiters, escaping scalars, letters that are not ASCII, bytes that are not UTF-8.
  std::vector<std::string> pieces = {std::string(9, 'q'), std::string(40, 'x')};
  std::string_view listed =
      "a~,~;~\"~'~\r~\n~ ~|~\t~.~-~e~ab~\xC3\xA9~\xF0\x9F\x98\x80~\xFF~\xC3~\xC0\xAF~\xED\xA0\x80";
  for (std::size_t end = listed.find('~');; end = listed.find('~')) {
    pieces.emplace_back(listed.substr(0, end));
    if (end == std::string_view::npos) break;
    listed.remove_prefix(end + 1);
  }
  auto text = [&](bool clean) {
    std::string t = clean ? "t" + std::to_string(random() % 100) : "";
    for (auto n = clean ? 0 : random() % 5; n > 0; --n) t += pieces[random() % pieces.size()];
    if (random() % 200 == 0) t += std::string(70000, 'y');  // a row past the writer's 64 KiB block
    return t;
  };
  const double infinity = std::numeric_limits<double>::infinity();
  const double specials[] = {
      0.0, -0.0, 5e-324, 1e-5, 1e300, 9007199254740992.0, -infinity, infinity / infinity};
  auto real = [&](bool clean) {
    if (clean || random() % 3 == 0)
      return static_cast<double>(static_cast<std::int64_t>(random() % 20000) - 10000) / 8;
    return random() % 2 ? specials[random() % std::size(specials)] : std::bit_cast<double>(random());
  };
  const auto titles = fieldTitles<Visit>();
  const std::vector<std::string> inOrder(titles.begin(), titles.end());
  const std::vector<std::string> reversed(inOrder.rbegin(), inOrder.rend());
  std::vector<std::string> wider = inOrder, narrower = inOrder;
  wider.push_back("Extra");
  narrower.pop_back();
  for (auto buffering : {Buffering::keepAll, Buffering::assembled, Buffering::sequential})
    for (const Delimiter::Field& field : {Delimiter::Field(U','), Delimiter::Field(U'.'),
                                          Delimiter::Field("ab"), Delimiter::Field(U'\u00E9')})
      for (const Delimiter::Row& row : {Delimiter::Row(U'\n'), Delimiter::Row("\r\n"), Delimiter::Row(U'|')})
        for (const Strategy::Escaping escaping :
             {Strategy::Escaping(U'"'), Strategy::Escaping(U'\''), Strategy::Escaping::none()})
          for (const auto& headers : {inOrder, reversed, wider, narrower, std::vector<std::string>{}}) {
            CSVEncoder encoder([&](CSVEncoder::Configuration& c) {
              c.writerConfiguration.delimiters = {field, row};
              c.writerConfiguration.escapingStrategy = escaping;
              c.writerConfiguration.headers = headers;
              c.bufferingStrategy = buffering;
              if (random() % 2)
                c.nilStrategy =
                    Strategy::NilEncoding::custom([](Encoder& e) { e.singleValueContainer().encode("-"); });
              if (random() % 2)
                c.nonConformingFloatStrategy = Strategy::NonConformingFloat::convert("inf", "-inf", "nan");
            });
            const bool clean = random() % 2;
            std::vector<Visit> visits(1 + random() % (random() % 8 == 0 ? 3000 : 12));
            for (auto& v : visits) {
              v = {
                  text(clean), std::nullopt, static_cast<std::int64_t>(random()), random() >> (random() % 64),
                  real(clean), std::nullopt};
              if (random() % 3) v.note = text(clean);
              if (random() % 3) v.serial = text(clean);
            }
            const auto twins = handWritten(visits);
            std::string declared, twin;
            ASSERT_EQ(failureOf([&] { declared = encoder.encodeString(visits); }),
                      failureOf([&] { twin = encoder.encodeString(twins); }));
            ASSERT_EQ(declared, twin);
            std::optional<CSVEncoder::Lazy<std::string>> lazy, lazyTwin;
            try {
              lazy.emplace(encoder.makeLazyString());
              lazyTwin.emplace(encoder.makeLazyString());
            } catch (const CSVErrorBase&) {
              continue;  // a layout the writer refuses, which the encodes above reported alike
            }
            for (std::size_t i = 0; i < visits.size(); ++i) {
              ASSERT_EQ(failureOf([&] { lazy->encodeNext(visits[i]); }),
                        failureOf([&] { lazyTwin->encodeNext(twins[i]); }));
              if (random() % 5 == 0) {
                ASSERT_EQ(failureOf([&] { lazy->encodeBlankRow(); }),
                          failureOf([&] { lazyTwin->encodeBlankRow(); }));
              }
            }
            ASSERT_EQ(failureOf([&] { declared = lazy->endEncoding(); }),
                      failureOf([&] { twin = lazyTwin->endEncoding(); }));
            ASSERT_EQ(declared, twin);
          }
}
