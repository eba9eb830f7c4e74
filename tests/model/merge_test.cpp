#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "model/merge.hpp"
#include "model_support.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::describe;
using test::kHeader;

namespace {

// Reads each of `files` (name, rows below the header) as the application loads it, and merges them.
MergeResult merge(const test::ScratchFolder& folder,
                  const std::vector<std::pair<std::string, std::string>>& files,
                  const std::vector<std::size_t>& preferences = {}) {
  std::vector<LoadedFile> loaded;
  for (const auto& [name, rows] : files) {
    auto path = folder.write(name, kHeader + rows);
    loaded.push_back({path, PlaceDataModel::readPlaces(path).locations});
  }
  return mergePlaces(std::move(loaded), preferences);
}

std::string exported(const test::ScratchFolder& folder, PlaceLocations locations) {
  PlaceDataModel model;
  model.setLocations(std::move(locations));
  model.exportPlaces(folder.path() / "exported.csv");
  std::ifstream in(folder.path() / "exported.csv", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<std::string> texts(const std::vector<MergeWarning>& warnings) {
  std::vector<std::string> out;
  for (const auto& warning : warnings) out.push_back(warning.text);
  return out;
}

}  // namespace

TEST(MergePlaces, TakesEveryPlaceWithAllItsSerialNumbersOrderedAsALoad) {
  test::ScratchFolder folder;
  auto result = merge(folder, {{"a.csv",
                                "L1,Main,F1,Ground,Z1,North,P2,Desk B,S1\n"
                                "L1,Main,F1,Ground,Z1,North,P1,Desk A,\n"},
                               {"b.csv",
                                "L1,Main,F1,Ground,Z1,North,P2,Desk B,S2\n"
                                "L1,Main,F1,Ground,Z1,North,P3,Aisle,S3\n"
                                "L0,Annex,F1,Ground,Z1,Hall,P1,Kiosk,\n"}});
  EXPECT_TRUE(result.conflicts.empty());
  EXPECT_TRUE(result.warnings.empty());
  EXPECT_EQ(describe(result.locations),
            "L0 Annex\n  F1 Ground\n    Z1 Hall\n      P1 Kiosk []\n"
            "L1 Main\n  F1 Ground\n    Z1 North\n      P3 Aisle [S3;]\n      P1 Desk A []\n      P2 Desk B "
            "[S1;S2;]\n");
}

TEST(MergePlaces, NamesEachRecordAsTheFirstFileHavingItDoesAndWarnsOfOtherNames) {
  test::ScratchFolder folder;
  auto result = merge(folder, {{"a.csv", "L1,Main,F1,Ground,Z1,North,P1,Desk A,\n"},
                               {"b.csv",
                                "L1,Main,F1,Ground,Z1,North,P1,Desk A,\n"
                                "L2,Annex,F1,Ground,Z1,Hall,P1,Kiosk,\n"},
                               {"c.csv",
                                "L1,Head office,F1,First,Z1,Nord,P1,Window desk,\n"
                                "L2,Side,F1,Ground,Z1,Hall,P1,Kiosk,\n"}});
  EXPECT_EQ(describe(result.locations),
            "L2 Annex\n  F1 Ground\n    Z1 Hall\n      P1 Kiosk []\n"
            "L1 Main\n  F1 Ground\n    Z1 North\n      P1 Desk A []\n");
  const std::string c = (folder.path() / "c.csv").string();
  EXPECT_EQ(
      texts(result.warnings),
      (std::vector<std::string>{
          c + " names location L1 \"Head office\", an earlier file \"Main\": the merge keeps \"Main\".",
          c + " names level F1 (location L1) \"First\", an earlier file \"Ground\": the merge keeps "
              "\"Ground\".",
          c + " names zone Z1 (location L1, level F1) \"Nord\", an earlier file \"North\": the merge keeps "
              "\"North\".",
          c + " names place P1 (location L1, level F1, zone Z1) \"Window desk\", an earlier file \"Desk A\": "
              "the "
              "merge keeps \"Desk A\".",
          c + " names location L2 \"Side\", an earlier file \"Annex\": the merge keeps \"Annex\"."}));
}

TEST(MergePlaces, ListsASerialNumberAtTwoPlacesWithTheFilesThatPutItThere) {
  test::ScratchFolder folder;
  auto result = merge(folder, {{"a.csv",
                                "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"
                                "L1,Main,F1,Ground,Z1,North,P2,Desk B,S9\n"},
                               {"b.csv", "L1,Main,F1,Ground,Z2,South,P7,Desk Z,S1\n"},
                               {"c.csv", "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"}});
  ASSERT_EQ(result.conflicts.size(), 1u);
  EXPECT_TRUE(result.hasUnsettledConflicts());
  const auto& conflict = result.conflicts[0];
  EXPECT_EQ(conflict.serialNumber, "S1");
  EXPECT_FALSE(conflict.kept);
  ASSERT_EQ(conflict.places.size(), 2u);
  EXPECT_EQ(conflict.places[0].ids, (std::array<std::string, 4>{"L1", "F1", "Z1", "P1"}));
  EXPECT_EQ(conflict.places[0].names, (std::array<std::string, 4>{"Main", "Ground", "North", "Desk A"}));
  EXPECT_EQ(conflict.places[0].files, (std::vector<std::size_t>{0, 2}));
  EXPECT_EQ(conflict.places[1].ids[3], "P7");
  EXPECT_EQ(conflict.places[1].files, (std::vector<std::size_t>{1}));
}

// Past the files kept as bits, and past the table's first size when one file is merged on its own.
TEST(MergePlaces, FindsConflictsAmongManyFilesAndManySerialNumbers) {
  test::ScratchFolder folder;
  std::vector<std::pair<std::string, std::string>> files;
  for (int f = 0; f < 40; ++f)
    files.push_back(
        {"f" + std::to_string(f) + ".csv", "L1,Main,F1,Ground,Z1,North,P1,Desk A,S" + std::to_string(f) +
                                               "\n" + "L1,Main,F1,Ground,Z1,North," +
                                               (f == 35 ? "P2,Desk B" : "P1,Desk A") + ",SHARED\n"});
  auto many = merge(folder, files);
  ASSERT_EQ(many.conflicts.size(), 1u);
  ASSERT_EQ(many.conflicts[0].places.size(), 2u);
  std::vector<std::size_t> allBut35;
  for (std::size_t f = 0; f < 40; ++f)
    if (f != 35) allBut35.push_back(f);
  EXPECT_EQ(many.conflicts[0].places[0].files, allBut35);
  EXPECT_EQ(many.conflicts[0].places[1].files, (std::vector<std::size_t>{35}));

  std::string rows;
  for (int p = 0; p < 300; ++p)
    rows += "L1,Main,F1,Ground,Z1,North,P" + std::to_string(p) + ",Desk,S" + std::to_string(p) + "\n";
  rows += "L1,Main,F1,Ground,Z1,North,P299,Desk,S7\n";
  auto one = merge(folder, {{"one.csv", rows}});
  ASSERT_EQ(one.conflicts.size(), 1u);
  EXPECT_EQ(one.conflicts[0].serialNumber, "S7");
  ASSERT_EQ(one.conflicts[0].places.size(), 2u);
  EXPECT_EQ(one.conflicts[0].places[0].ids[3], "P299");  // in the load's order: by name, then identifier
  EXPECT_EQ(one.conflicts[0].places[1].ids[3], "P7");
}

TEST(MergePlaces, PreferredFilesSettleConflictsInOrderOfPrecedence) {
  test::ScratchFolder folder;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"a.csv", "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\nL1,Main,F1,Ground,Z1,North,P2,Desk B,S2\n"},
      {"b.csv", "L1,Main,F1,Ground,Z1,North,P3,Desk C,S1\n"},
      {"c.csv", "L1,Main,F1,Ground,Z1,North,P3,Desk C,S2\nL1,Main,F1,Ground,Z1,North,P4,Desk D,S2\n"}};
  // b.csv settles S1 (at P3); it has no S2, so a.csv, next, settles that one (at P2).
  auto chain = merge(folder, files, {1, 0});
  EXPECT_FALSE(chain.hasUnsettledConflicts());
  ASSERT_EQ(chain.conflicts.size(), 2u);
  EXPECT_EQ(chain.conflicts[0].settledBy, 1u);
  EXPECT_EQ(chain.conflicts[1].settledBy, 0u);
  EXPECT_EQ(describe(chain.locations),
            "L1 Main\n  F1 Ground\n    Z1 North\n      P1 Desk A []\n"
            "      P2 Desk B [S2;]\n      P3 Desk C [S1;]\n      P4 Desk D []\n");

  // c.csv puts S2 at two places itself, which settles nothing; without a preference nothing is settled.
  EXPECT_TRUE(merge(folder, files, {2}).hasUnsettledConflicts());
  EXPECT_FALSE(merge(folder, files, {2}).conflicts[0].kept);  // S1: c.csv does not have it
  auto none = merge(folder, files);
  EXPECT_EQ(none.conflicts.size(), 2u);
  EXPECT_FALSE(none.conflicts[0].kept || none.conflicts[1].kept);
}

TEST(MergePlaces, WarnsOfPlacesOfTwoFilesWhoseIdentifiersDifferOnlyByLeadingZeros) {
  test::ScratchFolder folder;
  auto result = merge(folder, {{"a.csv",
                                "L1,Main,F1,Ground,Z1,North,007,Desk 7,\n"
                                "L1,Main,F1,Ground,Z1,North,08,Desk 8,\n"
                                "L1,Main,F1,Ground,Z1,North,8,Desk 8,\n"},
                               {"b.csv",
                                "L1,Main,F1,Ground,Z1,North,7,Desk 7,\n"
                                "01,Main,F1,Ground,Z1,North,P1,Desk,\n"},
                               {"c.csv", "1,Main,F1,Ground,Z1,North,P1,Desk,\n"}});
  const std::string a = (folder.path() / "a.csv").string(), b = (folder.path() / "b.csv").string(),
                    c = (folder.path() / "c.csv").string();
  // In hierarchy order. 08 and 8 are both a.csv's: it keeps them apart itself.
  EXPECT_EQ(texts(result.warnings),
            (std::vector<std::string>{
                "place P1 (location 1, level F1, zone Z1) of " + c +
                    " and place P1 (location 01, level F1, zone Z1) of " + b +
                    " differ only by leading zeros and may be the same place; they are kept apart.",
                "place 7 (location L1, level F1, zone Z1) of " + b +
                    " and place 007 (location L1, level F1, zone Z1) of " + a +
                    " differ only by leading zeros and may be the same place; they are kept apart."}));
  EXPECT_EQ(result.locations.size(), 3u);
}

TEST(MergePlaces, OfAFileWithItselfExportsAsTheFileAndOfTwoFilesInEitherOrder) {
  test::ScratchFolder folder;
  // Names follow from identifiers, so that only serial numbers and the places present differ.
  std::mt19937 random(7);
  auto makeRows = [&](int places) {
    std::string rows;
    for (int i = 0; i < places; ++i) {
      const int location = random() % 3, level = random() % 3, zone = random() % 4, place = random() % 40;
      std::ostringstream row;
      row << "L" << location << ",Site " << (location * 7) % 3 << ",F" << level << ",Floor " << level << ",Z"
          << zone << ",\"Zone, " << (zone % 2) << "\",P" << place << ",Desk " << (place % 5) << ",";
      if (random() % 3) row << "S" << location << level << zone << "-" << place << "-" << random() % 4;
      rows += row.str() + "\n";
    }
    return rows;
  };
  for (int round = 0; round < 5; ++round) {
    const std::string a = makeRows(200), b = makeRows(150);
    test::captureStdout([&] {
      PlaceDataModel model;
      model.loadPlaces(folder.write("a.csv", kHeader + a));
      model.exportPlaces(folder.path() / "a-exported.csv");
    });
    std::ifstream in(folder.path() / "a-exported.csv", std::ios::binary);
    std::stringstream aExported;
    aExported << in.rdbuf();
    auto self = merge(folder, {{"a.csv", a}, {"a2.csv", a}});
    EXPECT_TRUE(self.warnings.empty() && self.conflicts.empty());
    EXPECT_EQ(exported(folder, std::move(self.locations)), aExported.str());

    auto ab = merge(folder, {{"a.csv", a}, {"b.csv", b}});
    auto ba = merge(folder, {{"b.csv", b}, {"a.csv", a}});
    EXPECT_TRUE(ab.conflicts.empty() && ba.conflicts.empty());
    EXPECT_EQ(exported(folder, std::move(ab.locations)), exported(folder, std::move(ba.locations)));
  }
}

TEST(MergePlaces, TheUsersPicksKeepEachSerialNumberAtOnePlace) {
  test::ScratchFolder folder;
  // a.csv puts S1 at two places itself; b.csv puts S2 where a.csv has S1, and S2 elsewhere than a.csv.
  auto result = merge(folder,
                      {{"a.csv",
                        "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"
                        "L1,Main,F1,Ground,Z1,North,P2,Desk B,S1\n"
                        "L1,Main,F1,Ground,Z1,North,P2,Desk B,S2\n"},
                       {"b.csv", "L1,Main,F1,Ground,Z1,North,P3,Desk C,S2\n"}},
                      {1});
  ASSERT_EQ(result.conflicts.size(), 2u);
  const auto& s1 = result.conflicts[0];
  EXPECT_EQ(placePath(s1.places[1]), "Main / Ground / North / Desk B (L1 / F1 / Z1 / P2)");
  // A file settles a conflict only where it puts the serial number at one place.
  EXPECT_EQ(placeGivenBy(s1, 0), std::nullopt);
  EXPECT_EQ(placeGivenBy(s1, 1), std::nullopt);
  EXPECT_EQ(placeGivenBy(result.conflicts[1], 0), 0u);
  EXPECT_EQ(result.conflicts[1].kept, 1u);  // b.csv, preferred, settled S2 at P3

  // Picks that leave a conflict unsettled are refused, and change nothing.
  const std::string before = describe(result.locations);
  EXPECT_THROW(settleConflicts(result, {1}), std::invalid_argument);
  EXPECT_THROW(settleConflicts(result, {2, 0}), std::invalid_argument);
  EXPECT_EQ(describe(result.locations), before);
  EXPECT_TRUE(result.hasUnsettledConflicts());

  // The user keeps S1 at P2 and overrules the preference: S2 back at P2.
  settleConflicts(result, {1, 0});
  EXPECT_FALSE(result.hasUnsettledConflicts());
  EXPECT_EQ(result.conflicts[0].kept, 1u);
  EXPECT_EQ(result.conflicts[1].kept, 0u);
  EXPECT_EQ(result.conflicts[1].settledBy, std::nullopt);
  EXPECT_EQ(describe(result.locations),
            "L1 Main\n  F1 Ground\n    Z1 North\n      P1 Desk A []\n"
            "      P2 Desk B [S1;S2;]\n      P3 Desk C []\n");
}

TEST(MergePlaces, ReadingTakesEachFilesLoadWarningsUnderItsShownName) {
  test::ScratchFolder folder;
  const std::vector<std::filesystem::path> files = {
      folder.write("a.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"),
      folder.write("b.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P2,Desk B,1.23457E+19\n")};
  MergeReadOptions how;
  how.names = {"a.csv", "team/b.csv"};
  std::size_t failed = 0;
  const MergeResult result = readAndMerge(files, how, &failed);
  EXPECT_EQ(failed, files.size());  // what fails after the last file is read is no file's fault
  ASSERT_EQ(result.warnings.size(), 1u);
  EXPECT_EQ(result.warnings[0].kind, MergeWarning::Kind::fileWarning);
  EXPECT_TRUE(
      result.warnings[0].text.starts_with("team/b.csv: the serial number on line 2 is in a "
                                          "spreadsheet's number format"))
      << result.warnings[0].text;
}
