#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "tamrikcsv/tamrikcsv.hpp"

using namespace tamrikcsv;
using Buffering = Strategy::EncodingBuffer;

namespace {

struct Place {
  std::string placeId, placeName;
  std::optional<std::string> serialNumber;
  enum class CodingKeys { placeId, placeName, serialNumber };
  void encode(Encoder& encoder) const;
};

// Field texts placed at (row, field) positions in the order given, through integer keys at file level.
struct Cells {
  std::vector<std::tuple<int, int, std::string>> cells;
  void encode(Encoder& encoder) const {
    auto file = encoder.container<CodingKey>();
    for (const auto& [row, field, text] : cells)
      file.nestedContainer<CodingKey>(CodingKey(row)).encode(text, CodingKey(field));
  }
};

// One number by title.
struct Ratio {
  double value;
  enum class Keys { value };
  void encode(Encoder& encoder) const;
};

// One field by title.
struct Named {
  std::string value;
  enum class Keys { value };
  void encode(Encoder& encoder) const;
};

}  // namespace

template <>
struct tamrikcsv::CodingKeyTraits<Place::CodingKeys> {
  static constexpr std::array names{"Place ID", "Place Name", "Serial Number"};
};
template <>
struct tamrikcsv::CodingKeyTraits<Ratio::Keys> {
  static constexpr std::array names{"ratio"};
};
template <>
struct tamrikcsv::CodingKeyTraits<Named::Keys> {
  static constexpr std::array names{"Café"};  // composed é; headers may spell it decomposed
};

namespace {

void Place::encode(Encoder& encoder) const {
  auto row = encoder.container<CodingKeys>();
  row.encode(placeId, CodingKeys::placeId);
  row.encode(placeName, CodingKeys::placeName);
  row.encode(serialNumber, CodingKeys::serialNumber);
}

void Ratio::encode(Encoder& encoder) const {
  encoder.container<Keys>().encode(value, Keys::value);
}
void Named::encode(Encoder& encoder) const {
  encoder.container<Keys>().encode(value, Keys::value);
}

const std::vector<std::string> kPlaceHeaders{"Place ID", "Place Name", "Serial Number"};

CSVEncoder encoderWith(Buffering buffering, std::vector<std::string> headers = {}) {
  return CSVEncoder([&](CSVEncoder::Configuration& c) {
    c.bufferingStrategy = buffering;
    c.writerConfiguration.headers = headers;
  });
}

// The encoder error `action` raises, which must be of `kind`.
CSVError<CSVEncoder> encoderError(const std::function<void()>& action, CSVEncoder::Error kind) {
  try {
    action();
  } catch (const CSVError<CSVEncoder>& error) {
    EXPECT_EQ(error.type(), kind) << error.what();
    return error;
  } catch (const std::exception& error) {
    ADD_FAILURE() << "another error: " << error.what();
  }
  ADD_FAILURE() << "no encoder error";
  return CSVError<CSVEncoder>(kind, "", "");
}

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

constexpr std::array kBufferings{Buffering::keepAll, Buffering::assembled, Buffering::sequential};

}  // namespace

TEST(CSVEncoder, EncodesRecordsUnderTheirHeaderRowWithEveryBuffering) {
  std::vector<Place> places{{"P1", "Desk, window", "SN1"}, {"P2", "Desk 2", std::nullopt}};
  for (auto buffering : kBufferings)
    EXPECT_EQ(encoderWith(buffering, kPlaceHeaders).encodeString(places),
              "Place ID,Place Name,Serial Number\nP1,\"Desk, window\",SN1\nP2,Desk 2,\n");
  // The bytes are those of the configured encoding; the text reads them back.
  auto encoder = encoderWith(Buffering::sequential, kPlaceHeaders);
  encoder.configuration.writerConfiguration.encoding = TextEncoding::utf16LittleEndian;
  EXPECT_EQ(encoder.encodeData(places).size(), 2 * encoder.encodeString(places).size());
  // A vector tells the writer how many rows come, so its memory grows once, not by doubling.
  const std::vector<Place> many(20000, Place{"P1", "Desk 1", "SN1"});
  const Data data = encoderWith(Buffering::sequential, kPlaceHeaders).encodeData(many);
  EXPECT_LE(data.capacity(), data.size() * 13 / 10);
}

TEST(CSVEncoder, WritesValuesByTheirStrategies) {
  struct Row {
    bool yes = true, no = false;
    std::optional<int> nothing;
    std::int8_t small = -128;
    std::uint64_t big = 18446744073709551615ULL;
    Decimal price = *Decimal::parse("12.50");
    URL link = *URL::parse("file:///tmp/a%20b.csv?x#y");
    Data blob{std::byte{0xFF}, std::byte{0}};
    void encode(Encoder& encoder) const {
      auto fields = encoder.unkeyedContainer();
      fields.encode(yes), fields.encode(no), fields.encode(nothing), fields.encode(small);
      fields.encode(big), fields.encode(price), fields.encode(link), fields.encode(blob);
    }
  };
  std::vector<Row> rows(1);
  EXPECT_EQ(CSVEncoder().encodeString(rows),
            "true,false,,-128,18446744073709551615,12.5,/tmp/a%20b.csv,/wA=\n");
  CSVEncoder custom([](CSVEncoder::Configuration& c) {
    c.boolStrategy = Strategy::BoolEncoding::numeric();
    c.nilStrategy = Strategy::NilEncoding::custom([](Encoder& e) { e.singleValueContainer().encode("-"); });
    c.decimalStrategy = Strategy::DecimalEncoding::locale(Locale("de_DE"));
    c.dataStrategy = Strategy::DataEncoding::custom(
        [](const Data& d, Encoder& e) { e.singleValueContainer().encode(static_cast<int>(d.size())); });
  });
  EXPECT_EQ(custom.encodeString(rows), "1,0,-,-128,18446744073709551615,\"12,5\",/tmp/a%20b.csv,2\n");
}

TEST(CSVEncoder, NumbersAreEnclosedWhereTheirCharactersDelimit) {
  struct Row {
    std::int64_t negative = -12;
    double fraction = 2.5;
    std::uint64_t whole = 10;
    void encode(Encoder& encoder) const {
      auto fields = encoder.unkeyedContainer();
      fields.encode(negative), fields.encode(fraction), fields.encode(whole);
    }
  };
  const std::vector<Row> rows(2);
  auto encoded = [&](Buffering buffering, Delimiter::Pair delimiters, std::optional<char32_t> escape) {
    return CSVEncoder([&](CSVEncoder::Configuration& c) {
             c.bufferingStrategy = buffering;
             c.writerConfiguration.headers = {"a", "b", "c"};
             c.writerConfiguration.delimiters = delimiters;
             if (escape) c.writerConfiguration.escapingStrategy = *escape;
           })
        .encodeString(rows);
  };
  for (auto buffering : kBufferings) {
    EXPECT_EQ(encoded(buffering, {U'.', U'\n'}, std::nullopt), "a.b.c\n-12.\"2.5\".10\n-12.\"2.5\".10\n");
    EXPECT_EQ(encoded(buffering, {U',', U'-'}, std::nullopt), "a,b,c-\"-12\",2.5,10-\"-12\",2.5,10-");
    EXPECT_EQ(encoded(buffering, {U',', U'\n'}, U'0'), "a,b,c\n-12,2.5,01000\n-12,2.5,01000\n");
    // A number past the header row's width is refused as any field is: by the writer, or under
    // `assembled`, which ends a row once it is full, as a field of a row already written.
    if (buffering == Buffering::assembled)
      EXPECT_THROW((void)encoderWith(buffering, {"a", "b"}).encodeString(rows), CSVError<CSVEncoder>);
    else
      EXPECT_THROW((void)encoderWith(buffering, {"a", "b"}).encodeString(rows), CSVError<CSVWriter>);
  }
}

TEST(CSVEncoder, RefusedValuesCarryTheirPathAndCustomErrorsPassUnchanged) {
  std::vector<Ratio> rows{{0.5}, {std::numeric_limits<double>::infinity()}};
  try {
    (void)encoderWith(Buffering::sequential, {"ratio"}).encodeString(rows);
    FAIL() << "no encoding error";
  } catch (const EncodingError& error) {
    EXPECT_EQ(error.codingPath(), (CodingPath{CodingKey(1), CodingKey("ratio")}));
  }
  // The value is refused before the writer leaves the row before it: here an empty row it could not end.
  const std::vector<std::vector<double>> afterEmpty{{}, {std::numeric_limits<double>::quiet_NaN()}};
  for (auto buffering : kBufferings) {
    try {
      (void)encoderWith(buffering).encodeString(afterEmpty);
      FAIL() << "no encoding error";
    } catch (const EncodingError& error) {
      EXPECT_EQ(error.kind(), EncodingError::Kind::invalidValue);
      EXPECT_EQ(error.codingPath(), (CodingPath{CodingKey(1), CodingKey(0)}));
    }
  }
  struct Refusal {};
  CSVEncoder refusing([](CSVEncoder::Configuration& c) {
    c.boolStrategy = Strategy::BoolEncoding::custom([](bool, Encoder&) { throw Refusal{}; });
  });
  EXPECT_THROW((void)refusing.encodeString(std::vector<std::vector<bool>>{{true}}), Refusal);
}

TEST(CSVEncoder, KeepAllWritesInRowAndFieldOrderWhateverTheEncodingOrder) {
  Cells cells{{{1, 0, "c"}, {1, 1, "d"}, {0, 2, "b"}, {0, 0, "a"}, {1, 2, "x"}, {1, 2, "e"}}};
  // Row 0's missing middle field is empty; the later value of a field replaces the earlier.
  EXPECT_EQ(encoderWith(Buffering::keepAll).encodeString(cells), "a,,b\nc,d,e\n");
  // Without a header row `assembled` has no row width to go by and waits for the end as well.
  EXPECT_EQ(encoderWith(Buffering::assembled).encodeString(cells), "a,,b\nc,d,e\n");
}

TEST(CSVEncoder, SequentialWritesARowsLateFieldsWhenTheRowIsLeft) {
  Cells cells{{{0, 0, "a"}, {0, 2, "c"}, {0, 1, "b"}, {2, 1, "f"}, {2, 0, "e"}}};
  // Row 1 was never given: it is written empty.
  EXPECT_EQ(encoderWith(Buffering::sequential, {"x", "y", "z"}).encodeString(cells),
            "x,y,z\na,b,c\n,,\ne,f,\n");
  // Going back to a row already left is refused; what was written stays written.
  auto path = std::filesystem::temp_directory_path() / "tamrik_encoder_sequential.csv";
  Cells back{{{0, 0, "a"}, {0, 1, "b"}, {1, 0, "c"}, {0, 2, "late"}}};
  auto error = encoderError([&] { encoderWith(Buffering::sequential).encodeFile(back, path); },
                            CSVEncoder::Error::invalidPath);
  EXPECT_EQ(*error.failureReason(), "The provided coding path matched a previously written field.");
  EXPECT_EQ(*error.helpAnchor(),
            "An already written CSV row cannot be rewritten. Be mindful on the encoding order.");
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Row index"), 0);
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Field index"), 2);
  EXPECT_EQ(*error.errorUserInfo().get<std::string>("Value"), "late");
  EXPECT_EQ(fileText(path).substr(0, 6), "a,b\nc,");
  std::filesystem::remove(path);
}

TEST(CSVEncoder, AssembledWritesEachValueOnceEverythingBeforeItIs) {
  auto encoder = encoderWith(Buffering::assembled, {"x", "y"});
  Cells cells{{{1, 1, "d"}, {0, 1, "b"}, {1, 0, "c"}, {0, 0, "a"}, {3, 0, "g"}}};
  EXPECT_EQ(encoder.encodeString(cells), "x,y\na,b\nc,d\n,\ng,\n");
  // What the writer has passed cannot be given again.
  encoderError(
      [&] {
        (void)encoder.encodeString(Cells{{{0, 0, "a"}, {0, 1, "b"}, {0, 0, "again"}}});
      },
      CSVEncoder::Error::invalidPath);
}

TEST(CSVEncoder, FindsFieldsByHeaderTitle) {
  // Canonically equivalent titles match; a title in another case does not.
  EXPECT_EQ(encoderWith(Buffering::sequential, {"n", "Cafe\u0301"}).encodeString(std::vector<Named>{{"v"}}),
            "n,Cafe\u0301\n,v\n");
  auto noMatch = encoderError(
      [] { (void)encoderWith(Buffering::keepAll, {"CAFÉ"}).encodeString(std::vector<Named>{{"v"}}); },
      CSVEncoder::Error::invalidConfiguration);
  EXPECT_EQ(*noMatch.failureReason(),
            "The provided coding key identifying a field didn't match any CSV header.");
  auto noHeaders =
      encoderError([] { (void)encoderWith(Buffering::keepAll).encodeString(std::vector<Named>{{"v"}}); },
                   CSVEncoder::Error::invalidConfiguration);
  EXPECT_EQ(
      *noHeaders.failureReason(),
      "The provided coding key identifying a field cannot be matched to a header, since the CSV file has no "
      "headers.");
  EXPECT_EQ(*noHeaders.errorUserInfo().get<CodingPath>("Coding path"), CodingPath{CodingKey(0)});
  EXPECT_EQ(*noHeaders.errorUserInfo().get<CodingKey>("Key"), CodingKey("Café"));
  auto twice = encoderError(
      [] {
        (void)encoderWith(Buffering::keepAll, {"Café", "Café"}).encodeString(std::vector<Named>{{"v"}});
      },
      CSVEncoder::Error::invalidConfiguration);
  EXPECT_EQ(*twice.failureReason(), "The header row contain two fields with the same value.");
  EXPECT_EQ(*twice.helpAnchor(), "Request a row instead of a record.");
  EXPECT_TRUE(twice.errorUserInfo().empty());
}

TEST(CSVEncoder, PlainValuesNeedAFileOneFieldWide) {
  EXPECT_EQ(encoderWith(Buffering::keepAll, {"n"}).encodeString(std::vector<int>{1, 2}), "n\n1\n2\n");
  // A first field that begins with U+FEFF is text, not a byte-order mark to drop.
  EXPECT_EQ(CSVEncoder().encodeString(std::vector<std::vector<std::string>>{{"\uFEFF/", "x"}}),
            "\uFEFF/,x\n");
  EXPECT_EQ(encoderWith(Buffering::keepAll, {"n"}).encodeString(std::string("only")), "n\nonly\n");
  auto wide = encoderError(
      [] {
        (void)encoderWith(Buffering::keepAll, {"a", "b"}).encodeString(std::vector<int>{1});
      },
      CSVEncoder::Error::invalidPath);
  EXPECT_EQ(*wide.failureReason(), "A nested container is needed to encode at this coding path.");
  EXPECT_EQ(*wide.helpAnchor(), "Request a nested container instead of trying to encode a value directly.");
  auto file = encoderError(
      [] {
        (void)encoderWith(Buffering::keepAll, {"a", "b"}).encodeString(1.5);
      },
      CSVEncoder::Error::invalidPath);
  EXPECT_EQ(*file.failureReason(), "A field is being encoded at file level.");
  struct Scalar {
    void encode(Encoder& encoder) const { encoder.singleValueContainer().encode(true); }
  };
  auto row = encoderError(
      [] {
        (void)encoderWith(Buffering::keepAll, {"a", "b"}).encodeString(std::vector<Scalar>(1));
      },
      CSVEncoder::Error::invalidPath);
  EXPECT_EQ(*row.failureReason(), "A field is being encoded at row level.");
}

TEST(CSVEncoder, ContainersTheCodingPathCannotHaveFailWhenUsed) {
  struct Deep {
    void encode(Encoder& encoder) const {
      auto row = encoder.container<CodingKey>();
      auto nested = row.nestedContainer<CodingKey>(CodingKey(0));  // a field holds no container
      auto super = row.superEncoder();
      EXPECT_EQ(super->codingPath().back(), CodingKey("super", 0));
      nested.nestedUnkeyedContainer(CodingKey(1)).encode(1);
    }
  };
  auto error = encoderError([] { (void)CSVEncoder().encodeString(std::vector<Deep>(1)); },
                            CSVEncoder::Error::invalidPath);
  EXPECT_EQ(*error.failureReason(), "A CSV doesn't support more than two nested encoding container.");
  EXPECT_EQ(*error.helpAnchor(),
            "Don't ask for a nested container on the targeted key for this coding path.");
  struct ByName {
    void encode(Encoder& encoder) const {
      encoder.container<CodingKey>().nestedContainer<CodingKey>(CodingKey("row")).encode(1, CodingKey(0));
    }
  };
  auto rowKey =
      encoderError([] { (void)CSVEncoder().encodeString(ByName{}); }, CSVEncoder::Error::invalidPath);
  EXPECT_EQ(*rowKey.failureReason(),
            "The coding key identifying a CSV row couldn't be transformed into an integer value.");
  encoderError(
      [] {
        (void)CSVEncoder().encodeString(Cells{{{-1, 0, "a"}}});
      },
      CSVEncoder::Error::invalidPath);
  encoderError(
      [] {
        (void)CSVEncoder().encodeString(Cells{{{0, -1, "a"}}});
      },
      CSVEncoder::Error::invalidPath);
}

TEST(CSVEncoder, CountsWhatAContainerHolds) {
  struct Counting {
    void encode(Encoder& encoder) const {
      auto fields = encoder.unkeyedContainer();
      EXPECT_EQ(fields.count(), 0);
      fields.encode("a");
      fields.encode("b");
      EXPECT_EQ(fields.count(), 2);
    }
  };
  for (auto buffering : kBufferings)
    EXPECT_EQ(encoderWith(buffering).encodeString(std::vector<Counting>(2)), "a,b\na,b\n");
}

TEST(CSVEncoderLazy, EncodesRowByRowAndBlankRows) {
  for (auto buffering : kBufferings) {
    auto lazy = encoderWith(buffering).makeLazyString();
    auto unknown = encoderError([&] { lazy.encodeBlankRow(); }, CSVEncoder::Error::invalidPath);
    EXPECT_EQ(*unknown.failureReason(),
              "An empty row cannot be encoded if the number of fields hold by the CSV file is unkwnown.");
    EXPECT_TRUE(unknown.errorUserInfo().empty());
    lazy.encodeNext(std::vector<std::string>{"a", "b", "c"});
    lazy.encodeBlankRow();
    lazy.encodeNext(std::vector<std::string>{"d"});
    EXPECT_EQ(lazy.currentIndex(), 3);
    EXPECT_EQ(lazy.endEncoding(), "a,b,c\n,,\nd,,\n");
  }
  auto lazy = encoderWith(Buffering::sequential, kPlaceHeaders).makeLazyData();
  lazy.encodeBlankRow();
  lazy.encodeNext(Place{"P1", "Desk", "S"});
  auto data = lazy.endEncoding();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()), data.size()),
            "Place ID,Place Name,Serial Number\n,,\nP1,Desk,S\n");
}

TEST(CSVEncoderLazy, BlankRowsTakeTheNilStrategyInEveryField) {
  // Three fields wide with a gap, so that under `sequential` the third waits while the row is open.
  struct Sparse {
    void encode(Encoder& encoder) const {
      auto row = encoder.container<CodingKey>();
      row.encode("a", CodingKey(0));
      row.encode("c", CodingKey(2));
    }
  };
  for (auto buffering : kBufferings) {
    for (bool headers : {false, true}) {
      for (std::string nil : {"", "NULL"}) {
        SCOPED_TRACE(std::to_string(static_cast<int>(buffering)) + (headers ? " with headers " : " ") + nil);
        auto encoder = encoderWith(buffering, headers ? kPlaceHeaders : std::vector<std::string>{});
        if (!nil.empty())
          encoder.configuration.nilStrategy =
              Strategy::NilEncoding::custom([nil](Encoder& e) { e.singleValueContainer().encode(nil); });
        auto lazy = encoder.makeLazyString();
        lazy.encodeNext(Sparse{});
        lazy.encodeBlankRow();
        lazy.encodeBlankRow();
        const std::string blank = nil + "," + nil + "," + nil + "\n";
        EXPECT_EQ(lazy.endEncoding(), std::string(headers ? "Place ID,Place Name,Serial Number\n" : "") +
                                          "a,,c\n" + blank + blank);
      }
    }
  }
}

TEST(CSVEncoderLazy, WritesFilesReplacingOrAppending) {
  auto path = std::filesystem::temp_directory_path() / "tamrik_encoder_lazy.csv";
  auto encoder = encoderWith(Buffering::sequential);
  for (auto mode : {FileMode::replace, FileMode::append}) {
    auto lazy = encoder.makeLazyFile(path, mode);
    lazy.encodeNext(std::vector<int>{1, 2});
    lazy.endEncoding();
  }
  encoder.encodeFile(std::vector<std::vector<int>>{{3, 4}}, path, FileMode::append);
  EXPECT_EQ(fileText(path), "1,2\n1,2\n3,4\n");
  encoder.encodeFile(std::vector<std::vector<int>>{{5, 6}}, path);
  EXPECT_EQ(fileText(path), "5,6\n");
  std::filesystem::remove(path);
}
