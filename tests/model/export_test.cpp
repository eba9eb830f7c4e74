#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "model/place_data_model.hpp"
#include "model_support.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::describe;
using test::kHeader;

namespace {

std::string contents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t filesIn(const std::filesystem::path& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

}  // namespace

TEST(ExportPlaces, WritesOneLinePerSerialNumberInHierarchyOrder) {
  test::ScratchFolder folder;
  PlaceDataModel model;
  model.exportPlaces(folder.path() / "empty.csv");
  EXPECT_EQ(contents(folder.path() / "empty.csv"), kHeader);

  model.loadPlaces(folder.write("in.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P2,\"Desk, \"\"B\"\"\",\n"
                                                    "L1,Main,F1,Ground,Z1,North,P1,Desk A,S2\n"
                                                    "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"));
  model.exportPlaces(folder.path() / "out.csv");
  EXPECT_EQ(contents(folder.path() / "out.csv"), kHeader +
                                                     "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n"
                                                     "L1,Main,F1,Ground,Z1,North,P1,Desk A,S2\n"
                                                     "L1,Main,F1,Ground,Z1,North,P2,\"Desk, \"\"B\"\"\",\n");
}

TEST(ExportPlaces, LoadsBackAsTheSameHierarchy) {
  test::ScratchFolder folder;
  PlaceDataModel model;
  model.loadPlaces(
      folder.write("in.csv", kHeader + "L2,\"Dock, East\",F1,\"Floor \"\"1\"\"\",Z1,\"Line\nbreak\",P1,A,S1\n"
                                       "L2,\"Dock, East\",F1,\"Floor \"\"1\"\"\",Z1,\"Line\nbreak\",P2,B,\n"
                                       "L1,Café,F2,Ground,Z2,Zone,P3,C,S3\n"
                                       "L1,Café,F2,Ground,Z3,Zone,P3,C,\n"));
  auto places = model.locations();
  test::captureStdout([&] {
    model.assignSerialNumbers({"S1", "S9"}, places[0].levels[0].zones[0].places[0]);
  });
  const auto before = describe(model.locations());
  model.exportPlaces(folder.path() / "out.csv");
  model.loadPlaces(folder.path() / "out.csv");
  EXPECT_EQ(describe(model.locations()), before);
}

TEST(ExportPlaces, AFailedExportLeavesTheFileItReplaces) {
  test::ScratchFolder folder;
  PlaceDataModel model;
  auto destination = folder.write("places.csv", "old contents\n");
  // Text that is not UTF-8 cannot be written, so the encode fails.
  model.buildHierarchy({CSVRow{"L", "M", "F", "G", "Z", "N", "P1", "Desk", "S1"},
                        CSVRow{"L", "M", "F", "G", "Z", "N", "P2", "Bad \xff name", std::nullopt}});
  EXPECT_ANY_THROW(model.exportPlaces(destination));
  EXPECT_EQ(contents(destination), "old contents\n");
  EXPECT_EQ(filesIn(folder.path()), 1u);

  EXPECT_ANY_THROW(model.exportPlaces(folder.path() / "no-such-folder" / "places.csv"));
  EXPECT_ANY_THROW(model.exportPlaces(destination / "under-a-file.csv"));
  EXPECT_EQ(filesIn(folder.path()), 1u);

  // A failed rename (the destination is a folder) leaves nothing behind either.
  std::filesystem::create_directory(folder.path() / "taken.csv");
  std::filesystem::create_directory(folder.path() / "taken.csv" / "inside");
  model.setLocations({});
  EXPECT_ANY_THROW(model.exportPlaces(folder.path() / "taken.csv"));
  EXPECT_EQ(filesIn(folder.path()), 2u);
}
