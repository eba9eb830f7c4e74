#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>
#include <set>

#include "model/place_data_model.hpp"
#include "model_support.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::captureStdout;
using test::describe;
using test::kHeader;

namespace {

// Counts every notification of a store.
struct StoreSpies {
  explicit StoreSpies(PlaceDataModel& model)
      : locations(&model, &PlaceDataModel::locationsChanged),
        fileName(&model, &PlaceDataModel::currentFileNameChanged),
        serialMap(&model, &PlaceDataModel::serialMapChanged),
        selected(&model, &PlaceDataModel::selectedPlaceChanged) {}
  std::vector<qsizetype> counts() const {
    return {locations.count(), fileName.count(), serialMap.count(), selected.count()};
  }
  QSignalSpy locations, fileName, serialMap, selected;
};

std::shared_ptr<TamrikPlace> placeAt(const PlaceDataModel& model, std::size_t location, std::size_t index) {
  return model.locations().at(location).levels.at(0).zones.at(0).places.at(index);
}

// What loading `file` raises; the log must be that error's line.
std::string loadError(PlaceDataModel& model, const std::filesystem::path& file) {
  std::string what;
  auto log = captureStdout([&] {
    try {
      model.loadPlaces(file);
    } catch (const std::exception& error) {
      what = error.what();
    }
  });
  EXPECT_FALSE(what.empty()) << file << " loaded";
  EXPECT_EQ(log, "Error loading places: " + what + "\n");
  return what;
}

class PlaceDataModelTest : public ::testing::Test {
 protected:
  test::ScratchFolder folder;
  PlaceDataModel model;
  std::filesystem::path first = folder.write("first.csv", kHeader +
                                                              "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"
                                                              "L1,Main,F1,Ground,Z1,North,P2,Desk B,\n"
                                                              "L2,Annex,F1,Ground,Z1,East,P9,Desk C,S9\n");
};

}  // namespace

TEST_F(PlaceDataModelTest, StartsEmptyAndNotifiesEveryAssignment) {
  EXPECT_TRUE(model.locations().empty());
  EXPECT_FALSE(model.currentFileName());
  EXPECT_TRUE(model.serialMap().empty());
  EXPECT_FALSE(model.selectedPlace());
  StoreSpies spies(model);
  model.setLocations({});
  model.setCurrentFileName(std::nullopt);
  model.setSerialMap({});
  model.setSelectedPlace(nullptr);
  model.setSelectedPlace(nullptr);
  EXPECT_EQ(spies.counts(), (std::vector<qsizetype>{1, 1, 1, 2}));
}

TEST_F(PlaceDataModelTest, LoadsAFileAndNotifiesOnce) {
  StoreSpies spies(model);
  model.loadPlaces(first);
  EXPECT_EQ(describe(model.locations()),
            "L2 Annex\n  F1 Ground\n    Z1 East\n      P9 Desk C [S9;]\n"
            "L1 Main\n  F1 Ground\n    Z1 North\n      P1 Desk A [S1;]\n      P2 Desk B []\n");
  EXPECT_EQ(model.currentFileName(), "first.csv");
  EXPECT_EQ(spies.counts(), (std::vector<qsizetype>{1, 1, 0, 0}));

  // Without a "Serial Number" column, places have none; a correct header alone is an empty hierarchy.
  model.loadPlaces(folder.write("no-serials.csv",
                                "Place Name,Place ID,Zone Name,Zone ID,Level Name,Level ID,"
                                "Location Name,Location ID\nDesk,P,North,Z,One,F,Main,L\n"));
  EXPECT_EQ(describe(model.locations()), "L Main\n  F One\n    Z North\n      P Desk []\n");
  model.loadPlaces(folder.write("empty.csv", kHeader));
  EXPECT_TRUE(model.locations().empty());
  EXPECT_EQ(model.currentFileName(), "empty.csv");
}

TEST_F(PlaceDataModelTest, ReadsWhatASpreadsheetProgramWrites) {
  auto file = folder.write("windows.csv",
                           "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Place "
                           "Name,Serial Number\r\n"
                           "L1,\"Dock, East\",F1,Ground,Z1,\"The \"\"Loft\"\"\",P1,Desk A,\"S1\"\r\n"
                           "L1,\"Dock, East\",F1,Ground,Z1,\"The \"\"Loft\"\"\",P1,Desk A,S2\r\n"
                           "L1,\"Dock, East\",F1,Ground,Z1,\"The \"\"Loft\"\"\",P2,\"Window\r\nDesk\",\r\n");
  model.loadPlaces(file);
  EXPECT_EQ(describe(model.locations()),
            "L1 Dock, East\n  F1 Ground\n    Z1 The \"Loft\"\n      P1 Desk A [S1;S2;]\n      P2 "
            "Window\r\nDesk []\n");
}

TEST_F(PlaceDataModelTest, AFailedLoadChangesNothing) {
  model.loadPlaces(first);
  model.setSelectedPlace(placeAt(model, 1, 0));
  captureStdout([&] { model.assignSerialNumbers({"S5"}, model.selectedPlace()); });
  const auto before = describe(model.locations());
  const auto places = model.locations();
  const auto serialMap = model.serialMap();
  const auto selected = model.selectedPlace();
  StoreSpies spies(model);

  const std::string header8 = "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID";
  for (const auto& file : {
           folder.path() / "missing.csv",
           folder.path(),
           folder.write("short-row.csv",
                        kHeader + "L,M,F,G,Z,N,P,D,S\nL,M,F,G,Z,N,P2,D\nL,M,F,G,Z,N,P3,D,S\n"),
           folder.write("bad-utf8.csv", kHeader + "L,M,F,G,Z,N,P,D\xff,S\n"),
           folder.write("no-place-name.csv", header8 + ",Serial Number\nL,M,F,G,Z,N,P,S\n"),
           folder.write("duplicate.csv",
                        kHeader.substr(0, kHeader.size() - 1) + ",Extra,Extra\nL,M,F,G,Z,N,P,D,S,x,y\n"),
           folder.write("titles-only.csv", header8 + ",Serial Number\n"),
           folder.write("letter-case.csv", "location ID" + kHeader.substr(11) + "L,M,F,G,Z,N,P,D,S\n"),
           folder.write("unrelated.csv", "Name,Phone\n"),
           folder.write("nothing.csv", ""),
       }) {
    loadError(model, file);
    EXPECT_EQ(describe(model.locations()), before) << file;
  }
  EXPECT_EQ(model.locations(), places);
  EXPECT_EQ(model.locations()[1].levels[0].zones[0].places[0], selected);
  EXPECT_EQ(model.currentFileName(), "first.csv");
  EXPECT_EQ(model.serialMap(), serialMap);
  EXPECT_EQ(model.selectedPlace(), selected);
  EXPECT_EQ(spies.counts(), (std::vector<qsizetype>{0, 0, 0, 0}));
}

TEST_F(PlaceDataModelTest, ATitleMissingFailsAsTheFirstRowWould) {
  const std::string titles =
      "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Serial Number\n";
  auto alone = loadError(model, folder.write("alone.csv", titles));
  auto withRow = loadError(model, folder.write("with-row.csv", titles + "L,M,F,G,Z,N,P,S\n"));
  EXPECT_EQ(alone, withRow);
  EXPECT_NE(alone.find("Place Name"), std::string::npos) << alone;
}

TEST_F(PlaceDataModelTest, ALoadMovesTheSelectionAndDropsStaleAssignments) {
  model.loadPlaces(first);
  auto outside = std::make_shared<TamrikPlace>("X", "Loose desk");
  model.setSelectedPlace(placeAt(model, 1, 1));  // L1 F1 Z1 P2
  captureStdout([&] {
    model.assignSerialNumbers({"S7"}, model.selectedPlace());
    model.assignSerialNumbers({"S8"}, outside);
  });
  StoreSpies spies(model);
  model.loadPlaces(folder.write("second.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P2,Renamed,\n"));
  EXPECT_EQ(model.selectedPlace(), placeAt(model, 0, 0));
  EXPECT_EQ(model.selectedPlace()->name(), "Renamed");
  ASSERT_EQ(model.serialMap().size(), 1u);
  EXPECT_EQ(model.serialMap().at("S8"), outside);
  EXPECT_EQ(spies.counts(), (std::vector<qsizetype>{1, 1, 1, 1}));

  model.loadPlaces(folder.write("third.csv", kHeader + "L1,Main,F1,Ground,Z2,North,P2,Desk,\n"));
  EXPECT_FALSE(model.selectedPlace());
}

TEST_F(PlaceDataModelTest, AssignmentMovesADisplayToOneDesk) {
  model.loadPlaces(first);
  auto deskA = placeAt(model, 1, 0), deskB = placeAt(model, 1, 1), deskC = placeAt(model, 0, 0);
  QSignalSpy aChanged(deskA.get(), &TamrikPlace::serialNumbersChanged),
      bChanged(deskB.get(), &TamrikPlace::serialNumbersChanged);
  StoreSpies spies(model);

  // S1 came with the file to desk A; S2 is new.
  auto log = captureStdout([&] { model.assignSerialNumbers({"S1", "S2"}, deskB); });
  EXPECT_EQ(log, "Assigned serial S1 to place Desk B\nAssigned serial S2 to place Desk B\n");
  EXPECT_EQ(deskA->serialNumbers(), SerialNumbers{});
  EXPECT_EQ(deskB->serialNumbers(), (SerialNumbers{"S1", "S2"}));
  EXPECT_EQ(model.serialMap().at("S1"), deskB);
  EXPECT_EQ(aChanged.count(), 1);
  EXPECT_EQ(bChanged.count(), 2);
  EXPECT_EQ(spies.serialMap.count(), 2);

  log = captureStdout([&] {
    model.assignSerialNumbers({"S1"}, deskC);
    model.assignSerialNumbers({"S1"}, deskC);
    model.assignSerialNumbers({}, deskA);
  });
  EXPECT_EQ(log, "Assigned serial S1 to place Desk C\nAssigned serial S1 to place Desk C\n");
  EXPECT_EQ(deskB->serialNumbers(), SerialNumbers{"S2"});
  EXPECT_EQ(deskC->serialNumbers(), (SerialNumbers{"S1", "S9"}));
  EXPECT_EQ(model.serialMap().size(), 2u);
}

TEST_F(PlaceDataModelTest, UnassignsAndPutsAssignmentsBack) {
  model.loadPlaces(first);
  auto deskA = placeAt(model, 1, 0), deskB = placeAt(model, 1, 1);
  captureStdout([&] { model.assignSerialNumbers({"S2"}, deskB); });

  // What an assignment of S1 to B changes, captured before and after it.
  const std::vector<std::string> serials{"S1"};
  auto places = model.placesAffectedBy(serials, deskB);
  EXPECT_EQ(places.size(), 2u);  // B, and A which holds S1 from the file
  auto before = model.captureAssignments(serials, places);
  captureStdout([&] { model.assignSerialNumbers(serials, deskB); });
  auto after = model.captureAssignments(serials, places);
  model.restoreAssignments(before);
  EXPECT_EQ(deskA->serialNumbers(), SerialNumbers{"S1"});
  EXPECT_EQ(deskB->serialNumbers(), SerialNumbers{"S2"});
  EXPECT_FALSE(model.serialMap().contains("S1"));
  model.restoreAssignments(after);
  EXPECT_EQ(model.serialMap().at("S1"), deskB);

  // Only what the place holds is taken, each with its line; the rest does nothing and logs nothing.
  StoreSpies spies(model);
  auto log = captureStdout([&] { model.unassignSerialNumbers({"S2", "S9", "S1"}, deskB); });
  EXPECT_EQ(log, "Unassigned serial S2 from place Desk B\nUnassigned serial S1 from place Desk B\n");
  EXPECT_EQ(deskB->serialNumbers(), SerialNumbers{});
  EXPECT_TRUE(model.serialMap().empty());
  EXPECT_EQ(spies.serialMap.count(), 2);
  EXPECT_EQ(captureStdout([&] { model.unassignSerialNumbers({"S2"}, deskB); }), "");

  // A restored holder is known again: assigning its serial elsewhere takes it from there.
  model.restoreAssignments(after);
  captureStdout([&] { model.assignSerialNumbers(serials, deskA); });
  EXPECT_EQ(deskB->serialNumbers(), SerialNumbers{"S2"});
}

TEST_F(PlaceDataModelTest, TellsWhereTheFilePutsADisplayAndWhatAnAssignmentChanged) {
  model.loadPlaces(folder.write("twice.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P1,Desk A,S5\n"
                                                       "L1,Main,F1,Ground,Z1,North,P2,Desk B,S5\n"
                                                       "L2,Annex,F1,Ground,Z1,East,P9,Desk C,\n"));
  auto deskA = placeAt(model, 1, 0), deskB = placeAt(model, 1, 1), deskC = placeAt(model, 0, 0);
  using Places = std::vector<std::shared_ptr<TamrikPlace>>;
  auto holders = [&](const std::string& serial) {
    std::vector<std::string> names;
    for (const auto& place : model.placesHolding(serial)) names.push_back(place->name());
    return names;
  };
  EXPECT_EQ(holders("S5"), (std::vector<std::string>{"Desk A", "Desk B"}));
  EXPECT_EQ(holders("S6"), std::vector<std::string>{});

  // Each operation names the places it changed once, after changing them.
  QSignalSpy changed(&model, &PlaceDataModel::placeSerialNumbersChanged);
  auto changedPlaces = [&] {
    auto places = changed.takeFirst().at(0).value<Places>();
    return std::set<std::shared_ptr<TamrikPlace>>(places.begin(), places.end());
  };
  const std::vector<std::string> serials{"S5"};
  auto affected = model.placesAffectedBy(serials, deskB);
  auto before = model.captureAssignments(serials, affected);
  captureStdout([&] { model.assignSerialNumbers(serials, deskB); });
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changedPlaces(), (std::set{deskA, deskB}));
  EXPECT_EQ(holders("S5"), std::vector<std::string>{"Desk B"});

  // Undone, the file's order comes back with it: Desk A is still the first to hold S5.
  model.restoreAssignments(before);
  EXPECT_EQ(changedPlaces(), (std::set{deskA}));
  EXPECT_EQ(holders("S5"), (std::vector<std::string>{"Desk A", "Desk B"}));

  captureStdout([&] { model.unassignSerialNumbers({"S5", "S6"}, deskA); });
  EXPECT_EQ(changedPlaces(), (std::set{deskA}));
  captureStdout([&] { model.unassignSerialNumbers({"S6"}, deskC); });
  EXPECT_EQ(changed.count(), 0);  // nothing to take: nothing changed
}

TEST(SamplePlaceDataModel, AlwaysShowsTheSample) {
  SamplePlaceDataModel model;
  model.setLocations({});
  EXPECT_EQ(model.locations().size(), 3u);
  EXPECT_EQ(&model.locations(), &sampleLocations());
}
