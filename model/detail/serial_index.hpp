#pragma once

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
/// assignment and its undoing. Callers check that a recorded place still holds it.
class SerialIndex {
 public:
  bool isBuilt() const noexcept { return built_; }
  void reset() noexcept {
    holders_.clear();
    built_ = false;
  }
  void build(const std::vector<TamrikLocation>& locations);

  /// The places recorded as holding `serialNumber`.
  std::vector<std::shared_ptr<TamrikPlace>> holders(const std::string& serialNumber) const;
  /// Records `place` as one more holder of `serialNumber`, unless it is recorded already.
  void add(const std::string& serialNumber, std::shared_ptr<TamrikPlace> place);

 private:
  // A serial number is mostly held by one place; more only where a file lists it at several.
  struct Holders {
    std::shared_ptr<TamrikPlace> first;
    std::vector<std::shared_ptr<TamrikPlace>> more;
  };
  std::unordered_map<std::string, Holders> holders_;
  bool built_ = false;
};

}  // namespace tamrik::detail
