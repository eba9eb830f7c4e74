#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <list>

#include "tamrikcsv/tamrikcsv.hpp"

using namespace tamrikcsv;

namespace {

struct Place {
  std::string locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName;
  std::optional<std::string> serialNumber;
  // clang-format off
  enum class CodingKeys { locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName,
                          serialNumber };
  // clang-format on
  static Place decode(Decoder& decoder);
  friend bool operator==(const Place&, const Place&) = default;
};

// Columns by position, whatever the headers say.
struct Pair {
  std::string first;
  int second;
  enum class Keys { first, second };
  static Pair decode(Decoder& decoder);
};

// One field by title, for the lookup cases.
struct Named {
  std::string value;
  enum class Keys { value };
  static Named decode(Decoder& decoder);
};

}  // namespace

// Key enumerations get their traits before any container uses them.
template <>
struct tamrikcsv::CodingKeyTraits<Place::CodingKeys> {
  static constexpr std::array names{"Location ID", "Location Name", "Level ID",   "Level Name",   "Zone ID",
                                    "Zone Name",   "Place ID",      "Place Name", "Serial Number"};
};
template <>
struct tamrikcsv::CodingKeyTraits<Pair::Keys> {
  static constexpr std::array names{"first", "second"};
  static constexpr std::array ints{0, 1};
};
template <>
struct tamrikcsv::CodingKeyTraits<Named::Keys> {
  static constexpr std::array names{"Café"};
};

namespace {

Place Place::decode(Decoder& decoder) {
  auto row = decoder.container<CodingKeys>();
  auto text = [&](CodingKeys key) { return row.decode<std::string>(key); };
  return {text(CodingKeys::locationId),
          text(CodingKeys::locationName),
          text(CodingKeys::levelId),
          text(CodingKeys::levelName),
          text(CodingKeys::zoneId),
          text(CodingKeys::zoneName),
          text(CodingKeys::placeId),
          text(CodingKeys::placeName),
          row.decodeIfPresent<std::string>(CodingKeys::serialNumber)};
}
Pair Pair::decode(Decoder& decoder) {
  auto row = decoder.container<Keys>();
  return {row.decode<std::string>(Keys::first), row.decode<int>(Keys::second)};
}
Named Named::decode(Decoder& decoder) {
  return {decoder.container<Keys>().decode<std::string>(Keys::value)};
}

CSVDecoder withHeaders(Strategy::DecodingBuffer buffering = Strategy::DecodingBuffer::keepAll) {
  return CSVDecoder([=](CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
    c.bufferingStrategy = buffering;
  });
}

// The decoder error `action` raises, which must be of `kind`.
CSVError<CSVDecoder> decoderError(const std::function<void()>& action, CSVDecoder::Error kind) {
  try {
    action();
  } catch (const CSVError<CSVDecoder>& error) {
    EXPECT_EQ(error.type(), kind) << error.what();
    return error;
  }
  ADD_FAILURE() << "no decoder error";
  return CSVError<CSVDecoder>(kind, "", "");
}

const char* kPlaces =
    "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Place Name,Serial Number\n"
    "L1,Head office,F1,First,Z1,North,P1,\"Desk, window\",SN1\n"
    "L1,Head office,F1,First,Z1,North,P2,Desk 2,\n";

}  // namespace

TEST(CSVDecoder, DecodesPlacesByHeaderTitleUnderEitherBuffering) {
  for (auto buffering : {Strategy::DecodingBuffer::keepAll, Strategy::DecodingBuffer::sequential}) {
    auto places = withHeaders(buffering).decodeText<std::vector<Place>>(kPlaces);
    ASSERT_EQ(places.size(), 2u);  // the header row is no record
    EXPECT_EQ(places[0].placeName, "Desk, window");
    EXPECT_EQ(places[0].serialNumber, "SN1");
    EXPECT_EQ(places[1].placeId, "P2");
    EXPECT_EQ(places[1].serialNumber, std::nullopt);  // empty field: absent
  }
  // Without the optional column the serial numbers are absent; a missing required column is an error.
  auto places = withHeaders().decodeText<std::vector<Place>>(
      "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Place "
      "Name\na,b,c,d,e,f,g,h\n");
  EXPECT_EQ(places.at(0).serialNumber, std::nullopt);
  decoderError([] { (void)withHeaders().decodeText<std::vector<Place>>("Location ID\nL1\n"); },
               CSVDecoder::Error::invalidConfiguration);
}

namespace {

// A place read through views of its fields, copied only once the whole row is read.
struct ViewedPlace {
  Place place;
  static ViewedPlace decode(Decoder& decoder) {
    auto row = decoder.container<Place::CodingKeys>();
    using Keys = Place::CodingKeys;
    std::array<std::string_view, 8> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
      texts[i] = row.decode<std::string_view>(static_cast<Keys>(i));
    auto serial = row.decodeIfPresent<std::string_view>(Keys::serialNumber);
    return {{std::string(texts[0]), std::string(texts[1]), std::string(texts[2]), std::string(texts[3]),
             std::string(texts[4]), std::string(texts[5]), std::string(texts[6]), std::string(texts[7]),
             serial ? std::optional<std::string>(*serial) : std::nullopt}};
  }
};

}  // namespace

TEST(CSVDecoder, ViewsTextsUntilTheNextRow) {
  const std::string places = std::string(kPlaces) + "L2,\"Say \"\"hi\"\"\",F,G,Z,N,P3,Desk 3,SN3\n";
  for (auto buffering : {Strategy::DecodingBuffer::keepAll, Strategy::DecodingBuffer::sequential}) {
    auto viewed = withHeaders(buffering).decodeText<std::vector<ViewedPlace>>(places);
    auto copied = withHeaders(buffering).decodeText<std::vector<Place>>(places);
    ASSERT_EQ(viewed.size(), copied.size());
    for (std::size_t i = 0; i < viewed.size(); ++i) EXPECT_EQ(viewed[i].place, copied[i]) << i;
    EXPECT_EQ(viewed.at(2).place.locationName, "Say \"hi\"");
    EXPECT_EQ(viewed.at(1).place.serialNumber, std::nullopt);
  }
  // A missing column fails as it does for a string.
  auto viewError =
      decoderError([] { (void)withHeaders().decodeText<std::vector<ViewedPlace>>("Location ID\nL1\n"); },
                   CSVDecoder::Error::invalidConfiguration);
  auto copyError =
      decoderError([] { (void)withHeaders().decodeText<std::vector<Place>>("Location ID\nL1\n"); },
                   CSVDecoder::Error::invalidConfiguration);
  EXPECT_STREQ(viewError.what(), copyError.what());
}

TEST(CSVDecoder, FindsFieldsByKeyText) {
  // Integer keys read positions even though headers exist and don't match.
  auto pairs = withHeaders().decodeText<std::vector<Pair>>("x,y\na,1\nb,2\n");
  EXPECT_EQ(pairs.at(1).first, "b");
  EXPECT_EQ(pairs.at(1).second, 2);

  // Titles match exactly, letter case included...
  auto error = decoderError([] { (void)withHeaders().decodeText<std::vector<Named>>("CAFÉ\nx\n"); },
                            CSVDecoder::Error::invalidConfiguration);
  EXPECT_EQ(error.failureReason(),
            "The provided coding key identifying a field didn't match any CSV header.");
  ASSERT_NE(error.errorUserInfo().get<CodingPath>("Coding path"), nullptr);
  EXPECT_EQ(*error.errorUserInfo().get<CodingPath>("Coding path"), CodingPath{CodingKey(0)});
  EXPECT_EQ(toString(*error.errorUserInfo().find("Key")), "\"Café\"");
  // ...but canonically equivalent ones match: "e" and a combining acute accent is "é".
  EXPECT_EQ(withHeaders().decodeText<std::vector<Named>>("Cafe\u0301\nx\n").at(0).value, "x");

  // Repeated titles fail the first lookup by title; positions still work.
  error = decoderError([] { (void)withHeaders().decodeText<std::vector<Named>>("Café,Café\nx,y\n"); },
                       CSVDecoder::Error::invalidConfiguration);
  EXPECT_EQ(error.failureReason(), "The headers row contain two fields with the same value.");
  EXPECT_EQ(withHeaders().decodeText<std::vector<Pair>>("a,a\nx,7\n").at(0).second, 7);

  // Titles need a header row.
  error = decoderError([] { (void)CSVDecoder().decodeText<std::vector<Named>>("x\n"); },
                       CSVDecoder::Error::invalidConfiguration);
  EXPECT_NE(error.failureReason()->find("no headers"), std::string::npos);
}

namespace {

// Reads the first field of rows `first`, then `second`, through a keyed container over the file.
struct TwoRows {
  std::string first, second;
  static std::int64_t a, b;
  static TwoRows decode(Decoder& decoder) {
    auto file = decoder.container<CodingKey>();
    auto field = [&](std::int64_t row) {
      return file.nestedContainer<CodingKey>(CodingKey(static_cast<int>(row)))
          .decode<std::string>(CodingKey(0));
    };
    return {field(a), field(b)};
  }
};
std::int64_t TwoRows::a, TwoRows::b;

}  // namespace

TEST(CSVDecoder, BuffersRowsByStrategy) {
  const char* text = "r0\nr1\nr2\nr3\nr4\nr5\n";
  TwoRows::a = 5, TwoRows::b = 3;
  auto rows = CSVDecoder().decodeText<TwoRows>(text);  // keepAll: any row read so far
  EXPECT_EQ(rows.first, "r5");
  EXPECT_EQ(rows.second, "r3");

  CSVDecoder sequential([](auto& c) { c.bufferingStrategy = Strategy::DecodingBuffer::sequential; });
  auto error =
      decoderError([&] { (void)sequential.decodeText<TwoRows>(text); }, CSVDecoder::Error::bufferFailure);
  EXPECT_EQ(error.failureReason(), "A previously decoded row has been discarded.");
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Row index"), 3);

  TwoRows::a = 3, TwoRows::b = 5;  // forward skips row 4
  rows = sequential.decodeText<TwoRows>(text);
  EXPECT_EQ(rows.second, "r5");
}

TEST(CSVDecoder, ReportsRowsAndFieldsOutOfBounds) {
  TwoRows::a = 0, TwoRows::b = 9;
  auto error =
      decoderError([] { (void)CSVDecoder().decodeText<TwoRows>("a\nb\n"); }, CSVDecoder::Error::invalidPath);
  EXPECT_EQ(error.failureReason(), "The requested row index is out of bounds.");
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Row count"), 2);
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Row index"), 9);

  error = decoderError([] { (void)CSVDecoder().decodeText<std::vector<Pair>>("a\nb\n"); },
                       CSVDecoder::Error::invalidPath);
  EXPECT_EQ(error.failureReason(), "The provided field index is out of bounds.");
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Field index"), 1);
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Field count"), 1);
}

TEST(CSVDecoder, DecodesPlainValuesOnlyFromOneColumn) {
  EXPECT_EQ(CSVDecoder().decodeText<std::vector<std::string>>("a\nb\n"),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(CSVDecoder().decodeText<int>("42\n"), 42);  // a single value: one row, one column
  auto error = decoderError([] { (void)CSVDecoder().decodeText<std::vector<std::string>>("a,b\n"); },
                            CSVDecoder::Error::invalidPath);
  EXPECT_EQ(error.failureReason(), "A nested container is needed to decode at this coding path.");
  decoderError([] { (void)CSVDecoder().decodeText<int>("1\n2\n"); }, CSVDecoder::Error::invalidPath);
  // Rows hold no deeper containers.
  error =
      decoderError([] { (void)CSVDecoder().decodeText<std::vector<std::vector<std::vector<int>>>>("1\n"); },
                   CSVDecoder::Error::invalidPath);
  EXPECT_EQ(error.failureReason(), "A CSV doesn't support more than two nested encoding container.");
}

namespace {

// Places kept in a list, each handed over as it is decoded.
struct PlaceList {
  std::list<Place> places;
  static PlaceList decode(Decoder& decoder) {
    PlaceList list;
    auto rows = decoder.unkeyedContainer();
    while (!rows.isAtEnd())
      rows.decodeInto<Place>([&](Place&& place) { list.places.push_back(std::move(place)); });
    return list;
  }
};

}  // namespace

TEST(CSVDecoder, HandsEachValueOverToTheContainerThatKeepsIt) {
  const auto list = withHeaders().decodeText<PlaceList>(kPlaces);
  EXPECT_EQ(std::vector<Place>(list.places.begin(), list.places.end()),
            withHeaders().decodeText<std::vector<Place>>(kPlaces));
  // A file of no places fails as decode<Place>() does.
  decoderError([] { (void)withHeaders().decodeText<PlaceList>("Location ID\nL1\n"); },
               CSVDecoder::Error::invalidConfiguration);
}

TEST(CSVDecoder, SizesAVectorOfRowsFromTheShareOfTheInputRead) {
  // Rows of one length throughout: room for about as many as there are. Short rows first and long ones
  // after: the estimate overshoots and the room is given back. Either way every row is there.
  CSVDecoder sequential([](auto& c) { c.bufferingStrategy = Strategy::DecodingBuffer::sequential; });
  std::string even, uneven;
  for (int i = 0; i < 400000; ++i) even += std::to_string(100000 + i) + "\n";  // its room mapped ahead
  for (int i = 0; i < 20000; ++i) uneven += "a\n";
  for (int i = 0; i < 100; ++i) uneven += std::string(10000, 'b') + "\n";
  for (const std::string& text : {even, uneven}) {
    const auto rows = sequential.decodeText<std::vector<std::string>>(text);
    EXPECT_EQ(rows.size(), text == even ? 400000u : 20100u);
    EXPECT_EQ(rows.back(), text == even ? "499999" : std::string(10000, 'b'));
    if (text == even) {
      EXPECT_EQ(rows[200000], "300000");
    }
    EXPECT_LE(rows.capacity(), text == even ? rows.size() * 9 / 8 : rows.size() * 2);
  }
  // Bools packed into words have no room of their own to map; a vector of them decodes as any other.
  EXPECT_EQ(sequential.decodeText<std::vector<bool>>("true\nfalse\n"), std::vector<bool>({true, false}));
  // Mapping room leaves what memory holds as it is, at any alignment.
  std::vector<char> bytes(1 << 20, 'x');
  detail::prefault(bytes.data() + 3, bytes.size() - 5);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 'x'), 1 << 20);
}

TEST(CSVDecoder, DecodesLazilyRowByRow) {
  auto empty = withHeaders().makeLazyText("a,b\n");
  EXPECT_FALSE(empty.next());
  auto error = decoderError([&] { (void)empty.decode<Pair>(); }, CSVDecoder::Error::invalidPath);
  EXPECT_EQ(error.failureReason(), "There are no more rows to decode. The file is at the end.");
  EXPECT_TRUE(error.errorUserInfo().empty());

  auto lazy = withHeaders(Strategy::DecodingBuffer::sequential).makeLazyText("a,b\nx,1\ny,2\nz,3\nw,4\n");
  EXPECT_EQ(lazy.decode<Pair>().first, "x");
  lazy.skipRow();
  std::vector<std::string> rest;
  for (auto& row : lazy) {
    EXPECT_EQ(row.decoder().codingPath().size(), 1u);
    rest.push_back(row.decode<Pair>().first);
  }
  EXPECT_EQ(rest, (std::vector<std::string>{"z", "w"}));
  EXPECT_EQ(lazy.decodeIfPresent<Pair>(), std::nullopt);
}

namespace {

struct Flags {
  bool flag;
  std::optional<std::string> note;
  double amount;
  enum class Keys { flag, note, amount };
  static Flags decode(Decoder& decoder);
};

}  // namespace

template <>
struct tamrikcsv::CodingKeyTraits<Flags::Keys> {
  static constexpr std::array names{"flag", "note", "amount"};
};

Flags Flags::decode(Decoder& decoder) {
  auto row = decoder.container<Keys>();
  return {row.decode<bool>(Keys::flag), row.decode<std::optional<std::string>>(Keys::note),
          row.decode<double>(Keys::amount)};
}

TEST(CSVDecoder, AppliesStrategiesAtTheValue) {
  auto decoder = withHeaders();
  auto rows = decoder.decodeText<std::vector<Flags>>("flag,note,amount\n,,1.5\nYes, ,2\n");
  EXPECT_FALSE(rows[0].flag);  // empty: false, and absent
  EXPECT_EQ(rows[0].note, std::nullopt);
  EXPECT_TRUE(rows[1].flag);
  EXPECT_EQ(rows[1].note, " ");  // a space is present
  // In a row's sequence of fields, only an absent field is passed over by the nil test.
  EXPECT_EQ(decoder.decodeText<std::vector<std::vector<std::optional<int>>>>("a,b,c\n1,,3\n"),
            (std::vector<std::vector<std::optional<int>>>{{1, std::nullopt, 3}}));

  // Conversion failures name the row and the field.
  try {
    (void)decoder.decodeText<std::vector<Flags>>("flag,note,amount\nno,,1\nmaybe,,2\n");
    ADD_FAILURE();
  } catch (const DecodingError& e) {
    EXPECT_EQ(e.debugDescription(), "The field 'maybe' was not of the expected type 'Bool'.");
    EXPECT_EQ(e.codingPath(), (CodingPath{CodingKey(1), CodingKey::view("flag")}));
  }
  decoder.configuration.boolStrategy = Strategy::BoolDecoding::numeric();
  EXPECT_THROW((void)decoder.decodeText<std::vector<Flags>>("flag,note,amount\nyes,,1\n"), DecodingError);

  // Custom strategies see the decoder at the value, with the user info.
  decoder.userInfo["truth"] = std::string("oui");
  decoder.configuration.boolStrategy = Strategy::BoolDecoding::custom([](Decoder& at) {
    EXPECT_EQ(at.codingPath(), (CodingPath{CodingKey(0), CodingKey::view("flag")}));
    return at.singleValueContainer().decode<std::string>() ==
           std::any_cast<std::string>(at.userInfo().at("truth"));
  });
  decoder.configuration.nilStrategy = Strategy::NilDecoding::custom(
      [](Decoder& at) { return at.singleValueContainer().decode<std::string>() == "-"; });
  rows = decoder.decodeText<std::vector<Flags>>("flag,note,amount\noui,-,3\n");
  EXPECT_TRUE(rows[0].flag);
  EXPECT_EQ(rows[0].note, std::nullopt);

  // Their errors pass through unchanged.
  struct Refusal {};
  decoder.configuration.boolStrategy =
      Strategy::BoolDecoding::custom([](Decoder&) -> bool { throw Refusal{}; });
  EXPECT_THROW((void)decoder.decodeText<std::vector<Flags>>("flag,note,amount\nx,,1\n"), Refusal);
}

TEST(CSVDecoder, PassesReaderErrorsThrough) {
  try {
    (void)CSVDecoder().decodeText<std::vector<std::vector<std::string>>>("a,b\nc\n");
    ADD_FAILURE();
  } catch (const CSVError<CSVReader>& error) {
    EXPECT_EQ(error.type(), CSVReader::Error::invalidInput);
  }
  // The lazy decoder's lookahead doesn't swallow them either: decoding the row reports it.
  auto lazy = CSVDecoder().makeLazyText("a,b\nc\n");
  lazy.skipRow();
  EXPECT_THROW((void)lazy.decode<Pair>(), CSVError<CSVReader>);
}

TEST(CSVDecoder, PrintsPathsInErrors) {
  auto error = decoderError([] { (void)withHeaders().decodeText<std::vector<Named>>("Other\nx\n"); },
                            CSVDecoder::Error::invalidConfiguration);
  EXPECT_NE(std::string(error.what()).find("User info: Coding path: [0], Key: \"Café\""), std::string::npos)
      << error.what();
}

namespace {

// What the keyed containers of a file answer about their keys, captured while decoding.
struct KeyReport {
  std::vector<CodingKey> fileKeysWhileReading, fileKeysAtEnd;
  std::vector<Pair::Keys> positionalKeys;
  std::vector<Named::Keys> titledKeys;
  Pair fromSuper;
  static KeyReport decode(Decoder& decoder) {
    KeyReport report;
    auto file = decoder.container<CodingKey>();
    report.fileKeysWhileReading = file.allKeys();
    EXPECT_FALSE(file.contains(CodingKey(7)));  // reads to the end
    report.fileKeysAtEnd = file.allKeys();
    report.positionalKeys = file.nestedContainer<Pair::Keys>(CodingKey(0)).allKeys();
    report.titledKeys = file.nestedContainer<Named::Keys>(CodingKey(1)).allKeys();
    auto super = file.superDecoder();  // the first row
    EXPECT_EQ(super->codingPath(), CodingPath{CodingKey(0)});
    report.fromSuper = Pair::decode(*super);
    return report;
  }
};

// Under `sequential`: row 1, then a row past the end, then row 1 again.
struct ReadAheadPastEnd {
  static ReadAheadPastEnd decode(Decoder& decoder) {
    auto file = decoder.container<CodingKey>();
    auto first = [&](int row) {
      return file.nestedContainer<CodingKey>(CodingKey(row)).decode<int>(CodingKey(0));
    };
    EXPECT_EQ(first(1), 2);
    EXPECT_THROW(first(9), CSVError<CSVDecoder>);
    first(1);
    return {};
  }
};

}  // namespace

TEST(CSVDecoder, ListsKeysAndHandsOutSuperDecoders) {
  auto report = withHeaders().decodeText<KeyReport>("Café,Other\nx,1\ny,2\nz,3\n");
  EXPECT_TRUE(report.fileKeysWhileReading.empty());  // unknown until the reader is done
  EXPECT_EQ(report.fileKeysAtEnd, (std::vector<CodingKey>{CodingKey(0), CodingKey(1), CodingKey(2)}));
  EXPECT_EQ(report.positionalKeys, (std::vector<Pair::Keys>{Pair::Keys::first, Pair::Keys::second}));
  EXPECT_EQ(report.titledKeys, std::vector<Named::Keys>{Named::Keys::value});  // by header, if no position
  EXPECT_EQ(report.fromSuper.first, "x");

  // A row holds no deeper decoder; the error names the pseudo-key.
  struct RowSuper {
    static RowSuper decode(Decoder& decoder) {
      decoder.container<Pair::Keys>().superDecoder();
      return {};
    }
  };
  auto error = decoderError([] { (void)CSVDecoder().decodeText<std::vector<RowSuper>>("a,1\n"); },
                            CSVDecoder::Error::invalidPath);
  EXPECT_EQ(error.failureReason(), "A CSV doesn't support more than two nested decoding container.");
  EXPECT_EQ(toString(*error.errorUserInfo().find("Key")), "\"super\"");
}

TEST(CSVDecoder, DropsTheLastRowWhenReadingAheadFails) {
  CSVDecoder sequential([](auto& c) { c.bufferingStrategy = Strategy::DecodingBuffer::sequential; });
  auto error = decoderError([&] { (void)sequential.decodeText<ReadAheadPastEnd>("1\n2\n"); },
                            CSVDecoder::Error::bufferFailure);
  EXPECT_EQ(error.failureReason(), "A previously decoded row has been discarded.");
  EXPECT_NO_THROW((void)CSVDecoder().decodeText<ReadAheadPastEnd>("1\n2\n"));  // keepAll keeps it
}
