#pragma once

// Shorthands for the model tests: a scratch folder for places files, and a hierarchy printed as text.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/place_records.hpp"

namespace tamrik::test {

/// A fresh folder, removed with everything in it when the test ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tamrik-model-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  /// Writes `bytes` to the file `name` in the folder and returns its path.
  std::filesystem::path write(const std::string& name, const std::string& bytes) const {
    auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
  }

 private:
  std::filesystem::path path_;
};

/// One line per record, indented by depth: "id name", and a place's serial numbers in brackets.
inline std::string describe(const std::vector<TamrikLocation>& locations) {
  std::string out;
  for (const auto& location : locations) {
    out += location.locationId + " " + location.name + "\n";
    for (const auto& level : location.levels) {
      out += "  " + level.levelId + " " + level.name + "\n";
      for (const auto& zone : level.zones) {
        out += "    " + zone.zoneId + " " + zone.name + "\n";
        for (const auto& place : zone.places) {
          out += "      " + place->placeId() + " " + place->name() + " [";
          for (const auto& serial : place->serialNumbers()) out += serial + ";";
          out += "]\n";
        }
      }
    }
  }
  return out;
}

inline const std::string kHeader =
    "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Place Name,Serial Number\n";

}  // namespace tamrik::test
