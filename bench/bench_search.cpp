// Finding a place in the million places of the benchmark file: preparing the search after a load, then
// each keystroke's search through the hierarchy and the sidebar model narrowed to its result. A keystroke
// should stay under 50 ms.

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>

#include <QApplication>

#include <QTreeView>
#include "app/location_models.hpp"
#include "app/location_view.hpp"
#include "loaded_store.hpp"
#include "model/place_data_model.hpp"
#include "model/place_search.hpp"
#include "places_data.hpp"

namespace {

using namespace tamrik;

const std::shared_ptr<PlaceDataModel>& loaded(benchmark::State& state) {
  return bench::loadedStore(state);
}

void prepare(benchmark::State& state) {
  const auto& model = loaded(state);
  if (!model) return;
  for (auto _ : state) benchmark::DoNotOptimize(PlaceSearch(model->locations()));
}
BENCHMARK(prepare)->Unit(benchmark::kMillisecond)->UseRealTime();

// Typical texts: a rare desk number, a common word of names, a location's name, an accented word, nothing.
const char* const kTexts[] = {"desk 4711", "harbour", "location 12", "zürich", "no such place"};

void keystroke(benchmark::State& state) {
  const auto& model = loaded(state);
  if (!model) return;
  static const PlaceSearch search(model->locations());
  LocationTreeModel tree(model, std::make_shared<PlaceCounts>(model));
  const char* text = kTexts[state.range(0)];
  std::size_t shownLocations = 0;
  for (auto _ : state) {
    SearchResult result = search.find(text);
    tree.setFilter(std::move(result));
    shownLocations = static_cast<std::size_t>(tree.rowCount());
  }
  state.SetLabel(std::string("\"") + text + "\", " + std::to_string(shownLocations) + " locations shown");
}
BENCHMARK(keystroke)->DenseRange(0, std::size(kTexts) - 1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A keystroke as the window takes it: the search, the sidebar narrowed and its groups opened, the places
// column filtered. Each iteration types the text into an empty field and clears it again, so it counts
// two keystrokes.
void windowKeystroke(benchmark::State& state) {
  const auto& model = loaded(state);
  if (!model) return;
  static int argc = 1;
  static char name[] = "bench_search";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication application(argc, argv);
  static LocationView view(model, SamplePeripheralManager::create());
  const auto& first = model->locations().front();
  view.selectZone(
      {first.locationId, first.levels.front().levelId, first.levels.front().zones.front().zoneId});
  view.setSearchText(QStringLiteral("x"));  // the search is prepared on the first keystroke after a load
  view.setSearchText({});
  const QString text = QString::fromUtf8(kTexts[state.range(0)]);
  // The view lays itself out when it is next drawn; asking where a row is makes it do that now.
  auto layOut = [&] {
    benchmark::DoNotOptimize(view.sidebar()->visualRect(view.locationTree().index(0, 0)));
  };
  for (auto _ : state) {
    view.setSearchText(text);
    layOut();
    view.setSearchText({});
    layOut();
  }
  state.SetLabel(std::string("\"") + kTexts[state.range(0)] + "\" and back");
}
BENCHMARK(windowKeystroke)
    ->DenseRange(0, std::size(kTexts) - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
