#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

#include "model/detail/places_format.hpp"
#include "model/place_data_model.hpp"
#include "model_support.hpp"
#include "support/capture_stdout.hpp"

// A load off the store's thread: how far it read, how it stops, and whose its places are.

using namespace tamrik;
using test::kHeader;

TEST(WorkProgress, ALoadOnAnotherThreadCountsItsBytesAndHandsItsPlacesHome) {
  test::ScratchFolder folder;
  std::string rows;
  for (int i = 0; i < 2000; ++i)
    rows += "L1,Main,F1,Ground,Z1,North,P" + std::to_string(i) + ",Desk,S" + std::to_string(i) + "\n";
  const auto file = folder.write("places.csv", kHeader + rows);
  WorkProgress progress;
  PlaceDataModel::LoadedPlaces loaded;
  std::thread worker([&] {
    loaded = PlaceDataModel::readPlaces(file, {}, &progress, QCoreApplication::instance()->thread());
  });
  worker.join();
  EXPECT_EQ(progress.done(), std::filesystem::file_size(file));
  EXPECT_EQ(progress.fraction(), 1.0);
  const auto& places = loaded.locations.at(0).levels.at(0).zones.at(0).places;
  ASSERT_EQ(places.size(), 2000u);
  EXPECT_EQ(places.front()->thread(), QCoreApplication::instance()->thread());

  PlaceDataModel model;
  model.takePlaces(std::move(loaded));
  EXPECT_EQ(model.currentFileName(), "places.csv");
  EXPECT_EQ(model.locations().at(0).levels.at(0).zones.at(0).places.size(), 2000u);
}

TEST(WorkProgress, ACancelledLoadStopsAtItsNextReadAndSaysNothing) {
  test::ScratchFolder folder;
  const auto file = folder.write("places.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P1,Desk,S1\n");
  WorkProgress progress;
  auto stream = detail::watchedFile(file, &progress);
  stream->open();
  std::byte buffer[16];
  EXPECT_EQ(stream->read(buffer, sizeof buffer), 16);
  EXPECT_EQ(progress.done(), 16u);
  progress.cancel();
  EXPECT_EQ(stream->read(buffer, sizeof buffer), -1);
  EXPECT_EQ(stream->status(), tamrikcsv::StreamStatus::error);
  EXPECT_THROW(std::rethrow_exception(stream->error()), WorkCancelled);
  stream->close();

  std::string log = test::captureStdout([&] {
    try {
      PlaceDataModel::readPlaces(file, {}, &progress);
      ADD_FAILURE() << "a cancelled load finished";
    } catch (const WorkCancelled&) {
    }
  });
  EXPECT_EQ(log, "");
}
