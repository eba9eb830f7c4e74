#pragma once

// The store with the benchmarks' places file loaded, once per benchmark program.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "model/place_data_model.hpp"
#include "places_data.hpp"

namespace tamrik::bench {

/// The loaded store, made on first use (before any timing starts); null, with the benchmark skipped, when
/// the file cannot be written or loaded.
inline const std::shared_ptr<PlaceDataModel>& loadedStore(benchmark::State& state) {
  static std::string failure;
  static const std::shared_ptr<PlaceDataModel> model = []() -> std::shared_ptr<PlaceDataModel> {
    try {
      auto store = std::make_shared<PlaceDataModel>();
      store->loadPlaces(tamrikcsv::bench::ensurePlacesFiles().utf8);
      return store;
    } catch (const std::exception& error) {
      failure = std::string("cannot load the places: ") + error.what();
      return nullptr;
    }
  }();
  if (!model) state.SkipWithError(failure.c_str());
  return model;
}

}  // namespace tamrik::bench
