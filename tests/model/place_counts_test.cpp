#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>

#include "model/place_counts.hpp"
#include "model/place_data_model.hpp"
#include "model_support.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::captureStdout;
using test::kHeader;

namespace {

// Annex (one place, with S9) sorts before Main: Ground with North (Desk A with S1, Desk B) and Upper with
// East (Desk C).
const std::string kRows =
    "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"
    "L1,Main,F1,Ground,Z1,North,P2,Desk B,\n"
    "L1,Main,F2,Upper,Z1,East,P3,Desk C,\n"
    "L2,Annex,F1,Ground,Z1,West,P9,Desk D,S9\n";

struct Counted {
  test::ScratchFolder folder;
  std::shared_ptr<PlaceDataModel> model = std::make_shared<PlaceDataModel>();
  PlaceCounts counts{model};

  std::shared_ptr<TamrikPlace> place(std::size_t location, std::size_t level, std::size_t index) const {
    return model->locations().at(location).levels.at(level).zones.at(0).places.at(index);
  }
  // Every count, locations first, then levels, then zones, each as "with/total".
  std::vector<std::string> all() const {
    std::vector<std::string> out;
    auto text = [](PlaceCount count) {
      return std::to_string(count.withDisplay) + "/" + std::to_string(count.total);
    };
    const auto& locations = model->locations();
    for (std::size_t l = 0; l < locations.size(); ++l) out.push_back(text(counts.location(l)));
    for (std::size_t l = 0; l < locations.size(); ++l)
      for (std::size_t v = 0; v < locations[l].levels.size(); ++v) out.push_back(text(counts.level(l, v)));
    for (std::size_t l = 0; l < locations.size(); ++l)
      for (std::size_t v = 0; v < locations[l].levels.size(); ++v)
        for (std::size_t z = 0; z < locations[l].levels[v].zones.size(); ++z)
          out.push_back(text(counts.zone(l, v, z)));
    return out;
  }
};

using Texts = std::vector<std::string>;

}  // namespace

TEST(PlaceCounts, CountsThePlacesWithADisplayInEveryGroup) {
  Counted counted;
  EXPECT_EQ(counted.counts.location(0), PlaceCount{});  // nothing loaded
  counted.model->loadPlaces(counted.folder.write("places.csv", kHeader + kRows));
  //                    Annex  Main   Annex F1 Main F1 Main F2 West   North  East
  EXPECT_EQ(counted.all(), (Texts{"1/1", "1/3", "1/1", "1/2", "0/1", "1/1", "1/2", "0/1"}));

  // Changes before the first question are seen too.
  counted.model->loadPlaces(counted.folder.write("again.csv", kHeader + kRows));
  captureStdout([&] { counted.model->assignSerialNumbers({"S2"}, counted.place(1, 1, 0)); });
  EXPECT_EQ(counted.all(), (Texts{"1/1", "2/3", "1/1", "1/2", "1/1", "1/1", "1/2", "1/1"}));
}

TEST(PlaceCounts, FollowsAssignmentsUnassignmentsRestoresAndLoads) {
  Counted counted;
  auto& model = *counted.model;
  model.loadPlaces(counted.folder.write("places.csv", kHeader + kRows));
  ASSERT_EQ(counted.all().size(), 8u);
  QSignalSpy changed(&counted.counts, &PlaceCounts::zoneCountChanged);
  auto deskB = counted.place(1, 0, 1), deskC = counted.place(1, 1, 0);

  // S9 leaves Annex's West for Main's East; S1 moves within North.
  const std::vector<std::string> serials{"S9", "S1"};
  auto before = model.captureAssignments(serials, model.placesAffectedBy(serials, deskC));
  captureStdout([&] {
    model.assignSerialNumbers({"S9"}, deskC);
    model.assignSerialNumbers({"S1"}, deskB);
  });
  EXPECT_EQ(counted.all(), (Texts{"0/1", "2/3", "0/1", "1/2", "1/1", "0/1", "1/2", "1/1"}));
  ASSERT_GE(changed.count(), 2);
  auto zoneAt = [](std::size_t location, std::size_t level, std::size_t zone) {
    return QVariantList{QVariant::fromValue(location), QVariant::fromValue(level), QVariant::fromValue(zone)};
  };
  EXPECT_EQ(changed.at(0), zoneAt(0, 0, 0));  // West
  EXPECT_EQ(changed.at(1), zoneAt(1, 1, 0));  // East

  captureStdout([&] { model.unassignSerialNumbers({"S1"}, deskB); });
  EXPECT_EQ(counted.all(), (Texts{"0/1", "1/3", "0/1", "0/2", "1/1", "0/1", "0/2", "1/1"}));
  model.restoreAssignments(before);  // S9 and S1 back where the file put them
  EXPECT_EQ(counted.all(), (Texts{"1/1", "1/3", "1/1", "1/2", "0/1", "1/1", "1/2", "0/1"}));

  // A place outside the hierarchy changes no count; a load counts the new file.
  auto outside = std::make_shared<TamrikPlace>("X", "Loose desk");
  changed.clear();
  captureStdout([&] { model.assignSerialNumbers({"S5"}, outside); });
  EXPECT_EQ(changed.count(), 0);
  model.loadPlaces(counted.folder.write("other.csv", kHeader + "L3,Depot,F1,Ground,Z1,Bay,P1,Desk,\n"));
  EXPECT_EQ(counted.all(), (Texts{"0/1", "0/1", "0/1"}));
}

TEST(PlaceCounts, AHierarchyPreparedWhereItWasReadCountsAndAssignsAsOneBuiltHere) {
  Counted counted;
  auto& model = *counted.model;
  auto loaded = PlaceDataModel::readPlaces(
      counted.folder.write("places.csv", kHeader + kRows + "L1,Main,F2,Upper,Z1,East,P4,Desk E,S9\n"));
  PlaceDataModel::prepare(loaded);
  PlaceDataModel::LoadedPlaces moved = std::move(loaded);  // what it refers to moves with it
  // Told of the load after the counts: they took the prepared tally; the search is still on offer.
  bool tallyOffered = true, searchOffered = false;
  QObject::connect(&model, &PlaceDataModel::locationsChanged, [&] {
    tallyOffered = model.takePreparedTally() != nullptr;
    searchOffered = model.takePreparedSearch() != nullptr;
  });
  model.takePlaces(std::move(moved));
  EXPECT_FALSE(tallyOffered);
  EXPECT_TRUE(searchOffered);
  EXPECT_EQ(model.takePreparedTally(), nullptr);  // offered only while the load is told of
  //                    Annex  Main   Annex F1 Main F1 Main F2 West   North  East
  EXPECT_EQ(counted.all(), (Texts{"1/1", "2/4", "1/1", "1/2", "1/2", "1/1", "1/2", "1/2"}));

  // The file puts S9 at Desk D and Desk E: assigning it to Desk B takes it from both, and the
  // prepared index knows them in the file's order.
  auto deskD = counted.place(0, 0, 0), deskE = counted.place(1, 1, 1), deskB = counted.place(1, 0, 1);
  EXPECT_EQ(model.placesHolding("S9"), (std::vector{deskD, deskE}));
  captureStdout([&] { model.assignSerialNumbers({"S9"}, deskB); });
  EXPECT_TRUE(deskD->serialNumbers().empty());
  EXPECT_TRUE(deskE->serialNumbers().empty());
  EXPECT_EQ(model.placesHolding("S9"), (std::vector{deskB}));
  EXPECT_EQ(counted.all(), (Texts{"0/1", "2/4", "0/1", "2/2", "0/2", "0/1", "2/2", "0/2"}));

  // A store that shows another hierarchy keeps nothing prepared for the one it was given.
  SamplePlaceDataModel sample;
  auto again = PlaceDataModel::readPlaces(counted.folder.write("again.csv", kHeader + kRows));
  PlaceDataModel::prepare(again);
  bool offered = true;
  QObject::connect(&sample, &PlaceDataModel::locationsChanged,
                   [&] { offered = sample.takePreparedTally() || sample.takePreparedSearch(); });
  sample.takePlaces(std::move(again));
  EXPECT_FALSE(offered);
}
