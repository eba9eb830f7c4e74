// An assignment on the million places of the benchmark file with the counts of places with a display
// following it: the store moves the display and names the places it changed, and the counts of their
// zones, levels and locations move. It should stay under 50 ms. Also what the window's first paint after a
// load waits for: the first count, for the sidebar, and the first look-up of where the file puts a display
// (the store's serial index), for the panel's badges.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "loaded_store.hpp"
#include "model/place_counts.hpp"
#include "model/place_data_model.hpp"
#include "places_data.hpp"

namespace {

using namespace tamrik;

const std::shared_ptr<PlaceDataModel>& loaded(benchmark::State& state) {
  return bench::loadedStore(state);
}

// The first place without a display in the location at `location`.
std::shared_ptr<TamrikPlace> emptyPlaceOf(const TamrikLocation& location) {
  for (const auto& level : location.levels)
    for (const auto& zone : level.zones)
      for (const auto& place : zone.places)
        if (place->serialNumbers().empty()) return place;
  return nullptr;
}

// Standard output goes nowhere while it lives: the store logs a line per assignment.
class QuietStandardOutput {
 public:
  QuietStandardOutput() : saved_(::dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    int nowhere = ::open("/dev/null", O_WRONLY);
    ::dup2(nowhere, STDOUT_FILENO);
    ::close(nowhere);
  }
  ~QuietStandardOutput() {
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
  }
  QuietStandardOutput(const QuietStandardOutput&) = delete;
  QuietStandardOutput& operator=(const QuietStandardOutput&) = delete;

 private:
  int saved_;
};

// The counts made afresh, as after a load.
void firstCount(benchmark::State& state) {
  const auto& model = loaded(state);
  if (!model) return;
  for (auto _ : state) {
    PlaceCounts counts(model);
    benchmark::DoNotOptimize(counts.location(0));
  }
}
BENCHMARK(firstCount)->Unit(benchmark::kMillisecond)->UseRealTime();

// A display moved between desks of the first and the last location in turn, each move followed by the
// counts of both locations as the sidebar would read them. The serial index and the counts are made
// before the timing, as the first assignment and the sidebar make them in the window.
void assignAndCount(benchmark::State& state) {
  const auto& model = loaded(state);
  if (!model) return;
  const auto& locations = model->locations();
  // Found before the first run's assignments, which leave the display at one of them.
  static const std::shared_ptr<TamrikPlace> desks[] = {emptyPlaceOf(locations.front()),
                                                       emptyPlaceOf(locations.back())};
  if (!desks[0] || !desks[1]) return state.SkipWithError("no place without a display");
  PlaceCounts counts(model);
  const std::size_t last = locations.size() - 1;
  std::size_t changes = 0;
  QObject::connect(&counts, &PlaceCounts::zoneCountChanged, [&] { ++changes; });
  const std::vector<std::string> display{"BENCH-COUNTS-1"};
  QuietStandardOutput quiet;
  model->assignSerialNumbers(display, desks[1]);
  const std::size_t before = counts.location(0).withDisplay;
  changes = 0;
  std::size_t turn = 0;
  for (auto _ : state) {
    model->assignSerialNumbers(display, desks[turn++ % 2]);
    benchmark::DoNotOptimize(counts.location(0));
    benchmark::DoNotOptimize(counts.location(last));
  }
  if (changes < 2 * static_cast<std::size_t>(state.iterations()))
    return state.SkipWithError("the counts did not follow");
  if (counts.location(0).withDisplay != before + turn % 2) return state.SkipWithError("wrong count");
}
BENCHMARK(assignAndCount)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The first question to a store about where the file puts a display, on the same hierarchy. Making the
// store anew and giving it the places is not timed.
void firstHolders(benchmark::State& state) {
  const auto& model = loaded(state);
  if (!model) return;
  std::unique_ptr<PlaceDataModel> fresh;
  for (auto _ : state) {
    state.PauseTiming();
    fresh.reset();
    fresh = std::make_unique<PlaceDataModel>();
    fresh->setLocations(model->locations());
    state.ResumeTiming();
    benchmark::DoNotOptimize(fresh->placesHolding("none"));
  }
}
BENCHMARK(firstHolders)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
