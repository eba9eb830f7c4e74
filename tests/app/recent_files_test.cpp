#include <gtest/gtest.h>

#include "app/recent_files.hpp"
#include "app_support.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::AppScratch;

namespace {

std::vector<std::string> names(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> out;
  for (const auto& file : files) out.push_back(file.filename().string());
  return out;
}

}  // namespace

TEST(RecentFiles, KeepsTheSixNewestFirstAndMovesAReopenedOneToTheFront) {
  AppScratch scratch;
  RecentFiles recent(scratch.settings());
  EXPECT_TRUE(recent.files().empty());
  for (int i = 1; i <= 7; ++i) recent.noteOpened(scratch.write(std::to_string(i) + ".csv", ""));
  EXPECT_EQ(names(recent.files()),
            (std::vector<std::string>{"7.csv", "6.csv", "5.csv", "4.csv", "3.csv", "2.csv"}));

  recent.noteOpened(scratch.path() / "5.csv");  // the third entry
  EXPECT_EQ(names(recent.files()),
            (std::vector<std::string>{"5.csv", "7.csv", "6.csv", "4.csv", "3.csv", "2.csv"}));

  // Stored as it is shown, and read back the same in a later run.
  RecentFiles later(scratch.settings());
  EXPECT_EQ(later.files(), recent.files());
}

TEST(RecentFiles, StoresOneBlobPerEntryAndAnEmptyListAfterClear) {
  AppScratch scratch;
  RecentFiles recent(scratch.settings());
  auto file = scratch.write("places.csv", "");
  recent.noteOpened(file);
  const QVariantList stored = scratch.settings().value(RecentFiles::recentFilesKey).toList();
  ASSERT_EQ(stored.size(), 1);
  EXPECT_EQ(stored.front().toByteArray().toStdString(), file.string());

  recent.clear();
  EXPECT_TRUE(recent.files().empty());
  EXPECT_TRUE(scratch.settings().value(RecentFiles::recentFilesKey).toList().isEmpty());
  EXPECT_TRUE(RecentFiles(scratch.settings()).files().empty());
}

TEST(RecentFiles, LeavesOutEntriesThatNoLongerResolve) {
  AppScratch scratch;
  auto kept = scratch.write("kept.csv", "");
  std::string gone = (scratch.path() / "gone.csv").string();
  QVariantList blobs{QByteArray::fromStdString(gone), QByteArray::fromStdString(kept.string())};
  scratch.settings().setValue(RecentFiles::recentFilesKey, blobs);

  std::vector<std::filesystem::path> files;
  std::string log = test::captureStdout([&] { files = RecentFiles::loadRecentFiles(scratch.settings()); });
  EXPECT_EQ(files, std::vector<std::filesystem::path>{kept});
  std::string size = std::to_string(gone.size()) + " bytes";
  EXPECT_NE(log.find("Resolving bookmark data " + size + "\nFailed to resolve bookmark data " + size + "\n"),
            std::string::npos)
      << log;
  // Reading doesn't rewrite the stored list.
  EXPECT_EQ(scratch.settings().value(RecentFiles::recentFilesKey).toList().size(), 2);

  // Anything but a list of blobs reads as no files.
  scratch.settings().setValue(RecentFiles::recentFilesKey, QStringLiteral("places.csv"));
  EXPECT_TRUE(RecentFiles::loadRecentFiles(scratch.settings()).empty());
}

TEST(RecentFiles, LogsAndLeavesOutAFileThatCanNoLongerBeStored) {
  AppScratch scratch;
  auto file = scratch.write("places.csv", "");
  auto removed = scratch.path() / "removed.csv";
  std::string log = test::captureStdout([&] {
    RecentFiles::saveRecentFiles(scratch.settings(), {removed, file});
  });
  EXPECT_EQ(log, "Failed to create bookmark for file://" + removed.string() + ": The file doesn't exist.\n");
  EXPECT_EQ(scratch.settings().value(RecentFiles::recentFilesKey).toList().size(), 1);
}
