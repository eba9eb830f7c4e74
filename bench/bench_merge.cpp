// Merging two places files of a million places each, against what a merge cannot avoid: loading both
// and exporting a hierarchy of that size. The merge should cost at most 1.3 times that, and its peak
// memory stay within that of holding both files loaded.
//
// The second file is the first as a colleague would return it: the same places, a serial number added
// at every third place that had none, and every tenth place's serial number dropped.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/merge.hpp"
#include "model/place_data_model.hpp"
#include "places_data.hpp"
#include "resident_memory.hpp"

namespace {

using namespace tamrikcsv;

struct Inputs {
  std::filesystem::path first, second, output;
};

std::filesystem::path writeSecondFile(const std::filesystem::path& first) {
  auto path = first.parent_path() / "places-colleague.csv";
  if (std::filesystem::exists(path)) return path;
  std::ifstream in(first, std::ios::binary);
  auto partial = path;
  partial += ".partial";
  std::ofstream out(partial, std::ios::binary);
  std::string line;
  std::getline(in, line);
  out << line << '\n';
  for (std::uint64_t row = 0; std::getline(in, line); ++row) {
    // The generated names hold no line feed, so a line is a row and its last field the serial number.
    const bool none = line.back() == ',';
    if (none && row % 3 == 0) line += "C" + std::to_string(row);
    if (!none && row % 10 == 0) line.erase(line.rfind(',') + 1);
    out << line << '\n';
  }
  out.close();
  std::filesystem::rename(partial, path);
  return path;
}

const Inputs* inputs(benchmark::State& state) {
  static std::string failure;
  static const std::optional<Inputs> files = []() -> std::optional<Inputs> {
    try {
      const auto first = bench::ensurePlacesFiles().utf8;
      return Inputs{first, writeSecondFile(first), first.parent_path() / "bench-merge-output.csv"};
    } catch (const std::exception& error) {
      failure = std::string("cannot write the input: ") + error.what();
      return std::nullopt;
    }
  }();
  if (!files) state.SkipWithError(failure.c_str());
  return files ? &*files : nullptr;
}

void exportLocations(tamrik::PlaceLocations locations, const std::filesystem::path& output) {
  tamrik::PlaceDataModel model;
  model.setLocations(std::move(locations));
  model.exportPlaces(output);
}

// The baseline: both files loaded, and the first exported (it has every place of the merge).
void loadBothAndExport(benchmark::State& state) {
  const auto* files = inputs(state);
  if (!files) return;
  for (auto _ : state) {
    auto first = tamrik::PlaceDataModel::readPlaces(files->first).locations;
    auto second = tamrik::PlaceDataModel::readPlaces(files->second).locations;
    exportLocations(std::move(first), files->output);
    second = {};  // freed in the time, as the merge frees the second file's duplicates
  }
}

void mergeTwo(benchmark::State& state) {
  const auto* files = inputs(state);
  if (!files) return;
  for (auto _ : state) {
    tamrik::PlacesMerge merge;
    merge.add({files->first, tamrik::PlaceDataModel::readPlaces(files->first).locations});
    merge.add({files->second, tamrik::PlaceDataModel::readPlaces(files->second).locations});
    // The generated file puts a few serial numbers at two places: those conflicts are found and listed.
    auto result = merge.finish();
    state.counters["conflicts"] = static_cast<double>(result.conflicts.size());
    exportLocations(std::move(result.locations), files->output);
  }
}

// One pass each, for the peak resident size: holding both files loaded, and merging them. Run each in a
// process of its own (--benchmark_filter): memory freed by an earlier benchmark hides a later one's peak.
void holdBothPeakMemory(benchmark::State& state) {
  const auto* files = inputs(state);
  if (!files) return;
  for (auto _ : state) {
    const bool reset = bench::resetPeakResident();
    const double before = bench::residentBytes();
    auto first = tamrik::PlaceDataModel::readPlaces(files->first).locations;
    auto second = tamrik::PlaceDataModel::readPlaces(files->second).locations;
    bench::reportMemory(state, "input", 0, before, bench::peakResidentBytes(), reset);
  }
}

void loadBothAndExportPeakMemory(benchmark::State& state) {
  const auto* files = inputs(state);
  if (!files) return;
  for (auto _ : state) {
    const bool reset = bench::resetPeakResident();
    const double before = bench::residentBytes();
    auto first = tamrik::PlaceDataModel::readPlaces(files->first).locations;
    auto second = tamrik::PlaceDataModel::readPlaces(files->second).locations;
    exportLocations(std::move(first), files->output);
    bench::reportMemory(state, "input", 0, before, bench::peakResidentBytes(), reset);
  }
}

void mergePeakMemory(benchmark::State& state) {
  const auto* files = inputs(state);
  if (!files) return;
  for (auto _ : state) {
    const bool reset = bench::resetPeakResident();
    const double before = bench::residentBytes();
    tamrik::PlacesMerge merge;
    merge.add({files->first, tamrik::PlaceDataModel::readPlaces(files->first).locations});
    merge.add({files->second, tamrik::PlaceDataModel::readPlaces(files->second).locations});
    state.counters["joined_peak"] = benchmark::Counter(
        bench::peakResidentBytes(), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
    auto result = merge.finish();
    state.counters["finished_peak"] = benchmark::Counter(
        bench::peakResidentBytes(), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
    exportLocations(std::move(result.locations), files->output);
    bench::reportMemory(state, "input", 0, before, bench::peakResidentBytes(), reset);
  }
}

// One zone of 200,000 places, of which the last 5,000 hold a serial number that the second file has at
// the next place: 5,000 conflicts, each settled by the user's pick. Settling should cost about one walk
// over the places, not one per conflict.
void settleConflictsAtAZonesEnd(benchmark::State& state) {
  constexpr int kPlaces = 200'000, kConflicts = 5'000;
  auto file = [&](int shift) {
    tamrik::TamrikZone zone{"Z1", "Zone", {}};
    for (int i = 0; i < kPlaces; ++i) {
      char id[16];
      std::snprintf(id, sizeof id, "P%07d", i);
      const int serial = i - shift;
      zone.places.push_back(
          std::make_shared<tamrik::TamrikPlace>(id, "Desk",
                                                serial >= kPlaces - kConflicts - 1 && serial < kPlaces - 1
                                                    ? std::vector<std::string>{"S" + std::to_string(serial)}
                                                    : std::vector<std::string>{}));
    }
    tamrik::TamrikLevel level{"F1", "Floor", {}};
    level.zones.push_back(std::move(zone));
    tamrik::TamrikLocation location{"L1", "Site", {}};
    location.levels.push_back(std::move(level));
    tamrik::PlaceLocations locations;
    locations.push_back(std::move(location));
    return locations;
  };
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<tamrik::LoadedFile> files;
    files.push_back({"a.csv", file(0)});
    files.push_back({"b.csv", file(1)});
    tamrik::MergeResult result = tamrik::mergePlaces(std::move(files));
    const std::vector<std::size_t> picks(result.conflicts.size(), 1);
    state.counters["conflicts"] = static_cast<double>(result.conflicts.size());
    state.ResumeTiming();
    tamrik::settleConflicts(result, picks);
  }
}

}  // namespace

BENCHMARK(settleConflictsAtAZonesEnd)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(loadBothAndExport)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(mergeTwo)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(holdBothPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(loadBothAndExportPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(mergePeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
