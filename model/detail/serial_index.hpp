#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/place_records.hpp"

namespace tamrik::detail {

/// The places of a hierarchy that hold each serial number, so that a serial number can be taken from
/// all of them without a walk over every place. A place stays recorded when it gives a serial number up,
/// and new holders go after it, so that the places a file gives one to keep the file's order through an
/// assignment and its undoing. Callers check that a recorded place still holds it: the index may also
/// give, rarely, a place that holds another serial number of the same hash.
///
/// Built from a hierarchy, it refers to the places of that hierarchy where its zones hold them, and is
/// valid while the hierarchy's zones stay as they are (moving the hierarchy keeps them where they are).
class SerialIndex {
 public:
  SerialIndex() = default;
  // Copies would refer to the places of the hierarchy the original was built from.
  SerialIndex(const SerialIndex&) = delete;
  SerialIndex& operator=(const SerialIndex&) = delete;
  SerialIndex(SerialIndex&&) noexcept = default;
  SerialIndex& operator=(SerialIndex&&) noexcept = default;

  bool isBuilt() const noexcept { return built_; }
  void reset() noexcept;
  /// Records every place of `locations` under each serial number it holds; any thread.
  void build(const std::vector<TamrikLocation>& locations);

  /// The places recorded as holding `serialNumber`, each once.
  std::vector<std::shared_ptr<TamrikPlace>> holders(std::string_view serialNumber) const;
  /// Records `place` as one more holder of `serialNumber`, unless it is recorded already.
  void add(const std::string& serialNumber, std::shared_ptr<TamrikPlace> place);

 private:
  // The places of the hierarchy by the hash of each serial number they held when it was built: 16 bytes
  // a serial number, where a map of texts to places took 96 (64 MB for the million-place file).
  struct Entry {
    std::uint64_t hash;
    const std::shared_ptr<TamrikPlace>* place;  // in its zone's list
  };
  std::vector<Entry> entries_;  // by hash, then in hierarchy order
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
      return std::hash<std::string_view>{}(text);
    }
  };
  // Holders recorded since, which assignments make: few.
  std::unordered_map<std::string, std::vector<std::shared_ptr<TamrikPlace>>, TextHash, std::equal_to<>>
      added_;
  bool built_ = false;
};

}  // namespace tamrik::detail
