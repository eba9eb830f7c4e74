#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>
#include <limits>
#include <set>
#include <sstream>

#include "model/coverage.hpp"
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

TEST(ExportPlaces, WritesInPlaceWhereOnlyTheFileMayBeWritten) {
  test::ScratchFolder folder;
  PlaceDataModel model;
  model.buildHierarchy({CSVRow{"L", "M", "F", "G", "Z", "N", "P1", "Desk", "S1"}});
  const auto locked = folder.path() / "locked";
  std::filesystem::create_directory(locked);
  const auto destination = folder.write("locked/places.csv", "old contents\n");
  // Another user runs the export when the tests run as root, who may write anything.
  const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
  ASSERT_EQ(::chown(destination.c_str(), user, static_cast<gid_t>(-1)), 0);
  std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
  std::filesystem::permissions(locked, std::filesystem::perms::all & ~(std::filesystem::perms::owner_write |
                                                                       std::filesystem::perms::group_write |
                                                                       std::filesystem::perms::others_write));
  std::string log;
  std::string failure;
  if (::geteuid() != user) {
    ASSERT_EQ(::seteuid(user), 0);
  }
  log = test::captureStdout([&] {
    try {
      model.exportPlaces(destination);
    } catch (const std::exception& error) {
      failure = error.what();
    }
  });
  if (::getuid() != ::geteuid()) {
    ASSERT_EQ(::seteuid(::getuid()), 0);
  }
  EXPECT_EQ(failure, "");
  EXPECT_EQ(contents(destination), kHeader + "L,M,F,G,Z,N,P1,Desk,S1\n");
  EXPECT_EQ(log, "Exported places to " + destination.string() +
                     " in place: its folder is not writable, so the replacement was not atomic\n");
  EXPECT_EQ(filesIn(locked), 1u);
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

TEST(ExportPlaces, RemovesWhatKilledExportsLeftAndNamesTheUsersFile) {
  test::ScratchFolder folder;
  PlaceDataModel model;
  // Left by processes that no longer run (no pid is that high), by this one, and files of other names.
  const auto dead = std::to_string(std::numeric_limits<int>::max());
  const auto mine = std::to_string(::getpid());
  for (const std::string& name : std::vector<std::string>{
           ".places.csv." + dead + "-0.tmp", ".other.csv." + dead + "-12.tmp",
           ".places.csv." + mine + "-99.tmp", ".places.csv." + dead + ".tmp", "places.csv.tmp", "notes.txt"})
    folder.write(name, "partial");
  model.exportPlaces(folder.path() / "places.csv");
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
    names.insert(entry.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{".places.csv." + mine + "-99.tmp", ".places.csv." + dead + ".tmp",
                                          "places.csv.tmp", "notes.txt", "places.csv"}));

  // Kept: one that another export holds (from another host of a shared folder, whose pid means nothing
  // here), and one of another user.
  const auto held = folder.write(".held.csv." + dead + "-1.tmp", "partial");
  const int lock = ::open(held.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);
  const auto others = folder.write(".others.csv." + dead + "-1.tmp", "partial");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(others.c_str(), 65534, static_cast<gid_t>(-1)), 0);
  }
  // Names that leftovers of an earlier process with this pid hold are passed over.
  for (int n = 0; n < 40; ++n) folder.write(".places.csv." + mine + "-" + std::to_string(n) + ".tmp", "old");
  model.exportPlaces(folder.path() / "places.csv");
  EXPECT_TRUE(std::filesystem::exists(held));
  EXPECT_TRUE(std::filesystem::exists(others));
  ::close(lock);

  try {
    model.exportPlaces(folder.path() / "no-such-folder" / "places.csv");
    ADD_FAILURE() << "exported into a missing folder";
  } catch (const PlacesFileError& error) {
    EXPECT_EQ(error.kind(), PlacesFileError::Kind::notWritten);
    EXPECT_EQ(std::string(error.what()),
              "Cannot write places.csv: no file can be made in its folder (No such file or directory).");
  }
}

TEST(ExportPlaces, WritesTheCoverageReportAsATableWholeOrNotAtAll) {
  test::ScratchFolder folder;
  PlaceDataModel model;
  model.loadPlaces(folder.write("places.csv", kHeader +
                                                  "HQ,\"Head Office, Main\",1,First,N,North,D1,Desk 1,S1\n"
                                                  "HQ,\"Head Office, Main\",1,First,N,North,D1,Desk 1,S2\n"
                                                  "HQ,\"Head Office, Main\",1,First,S,South,D2,Desk 2,\n"
                                                  "AX,Annex,G,Ground,H,Hall,K1,Kiosk,S3\n"));
  const auto report = folder.path() / "report.csv";
  writeCoverage(coverage(model.locations()), report);
  EXPECT_EQ(
      contents(report),
      "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Places,With display,Serial numbers\n"
      "AX,Annex,,,,,1,1,1\n"
      "AX,Annex,G,Ground,,,1,1,1\n"
      "AX,Annex,G,Ground,H,Hall,1,1,1\n"
      "HQ,\"Head Office, Main\",,,,,2,1,2\n"
      "HQ,\"Head Office, Main\",1,First,,,2,1,2\n"
      "HQ,\"Head Office, Main\",1,First,N,North,1,1,2\n"
      "HQ,\"Head Office, Main\",1,First,S,South,1,0,0\n"
      ",Total,,,,,3,2,3\n");

  // Into a folder that is not there: the export's error, naming the file.
  try {
    writeCoverage(coverage(model.locations()), folder.path() / "missing" / "report.csv");
    ADD_FAILURE() << "no error";
  } catch (const PlacesFileError& error) {
    EXPECT_EQ(error.kind(), PlacesFileError::Kind::notWritten);
    EXPECT_EQ(std::string(error.what()).rfind("Cannot write report.csv: ", 0), 0u) << error.what();
  }
}
