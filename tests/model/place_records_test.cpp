#include <gtest/gtest.h>

#include "model/place_records.hpp"
#include "tamrikcsv/decoder/csv_decoder.hpp"
#include "tamrikcsv/encoder/csv_encoder.hpp"

using namespace tamrik;

namespace {

tamrikcsv::CSVDecoder titledDecoder() {
  return tamrikcsv::CSVDecoder([](tamrikcsv::CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = tamrikcsv::Strategy::Header::firstLine;
  });
}

}  // namespace

TEST(PlaceRecords, AreEqualByIdentifierAloneAndHashMore) {
  TamrikZone a{"Z1", "North", {std::make_shared<TamrikPlace>("P1", "Desk")}};
  TamrikZone b{"Z1", "South", {}};
  EXPECT_EQ(a, b);
  EXPECT_NE(std::hash<TamrikZone>{}(a), std::hash<TamrikZone>{}(b));
  EXPECT_NE(a, (TamrikZone{"Z2", "North", a.places}));
  EXPECT_EQ((TamrikLocation{"L1", "Here", {TamrikLevel{"F1", "One", {a}}}}),
            (TamrikLocation{"L1", "There", {}}));

  TamrikPlace first("P1", "Desk", std::vector<std::string>{"S2", "S1"});
  TamrikPlace second("P1", "Other desk", std::vector<std::string>{"S1", "S2", "S1"});
  EXPECT_EQ(first, second);
  EXPECT_EQ(second.serialNumbers().size(), 2u);
  // The set counts, not the order its members came in, nor the name.
  EXPECT_EQ(std::hash<TamrikPlace>{}(first), std::hash<TamrikPlace>{}(second));
  second.removeSerialNumber("S2");
  EXPECT_NE(std::hash<TamrikPlace>{}(first), std::hash<TamrikPlace>{}(second));
}

TEST(CSVRowCoding, ALocationCodesOnlyItsIdentifierAndName) {
  auto locations =
      titledDecoder().decodeText<std::vector<TamrikLocation>>("locationId,name,levels\nL1,Main,\"F1,F2\"\n");
  ASSERT_EQ(locations.size(), 1u);
  EXPECT_EQ(locations[0].name, "Main");
  EXPECT_TRUE(locations[0].levels.empty());
  EXPECT_EQ(tamrikcsv::CSVEncoder([](tamrikcsv::CSVEncoder::Configuration& c) {
              c.writerConfiguration.headers = {"locationId", "name"};
            }).encodeString(std::vector<TamrikLocation>{sampleLocations()[0]}),
            "locationId,name\nHQ,Headquarters\n");
}
