#pragma once

// Places files of one organisation, made by several people, combined into one hierarchy: every place of
// every file, each with all the serial numbers the files give it. A serial number that the files put at
// two places is a conflict, which only a file the user prefers can settle.

#include <array>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/place_data_model.hpp"
#include "model/places_file.hpp"
#include "model/work_progress.hpp"

namespace tamrik {

/// A places file read for a merge: its path, which names it to the user, and its hierarchy.
struct LoadedFile {
  std::filesystem::path file;
  PlaceLocations locations{};
};

/// A place that a conflicting serial number stands at, and the files (by position) that put it there.
struct ConflictPlace {
  std::array<std::string, 4> ids{};    ///< location, level, zone and place identifier
  std::array<std::string, 4> names{};  ///< their names in the merged hierarchy
  std::vector<std::size_t> files{};    ///< ascending
};

/// A serial number that the files put at two or more places.
struct MergeConflict {
  std::string serialNumber;
  std::vector<ConflictPlace> places{};  ///< in the merged hierarchy's order
  /// The place that keeps the serial number, when a preferred file settled it; the others lost it.
  std::optional<std::size_t> kept{};
  /// The preferred file that settled it.
  std::optional<std::size_t> settledBy{};
};

/// Something about the files that the merge did not change but the user should check.
struct MergeWarning {
  enum class Kind {
    fileWarning,    ///< what a file's own load warns of, such as serial numbers a spreadsheet rounded
    differentName,  ///< a later file names a record otherwise; the first file's name is kept
    leadingZeros,   ///< two places whose identifiers differ only by leading zeros, kept apart
  };
  Kind kind = Kind::differentName;
  std::string text;  ///< one plain sentence naming the record, the files and the names or identifiers
};

/// What a merge made.
struct MergeResult {
  /// Ordered as a load orders a file: each list by name, then identifier.
  PlaceLocations locations{};
  std::vector<MergeConflict> conflicts{};  ///< by serial number, settled ones included
  /// The files' own load warnings in file order, then names as the files were joined, then leading zeros.
  std::vector<MergeWarning> warnings{};

  /// Whether a conflict is left that no preferred file settled: then the hierarchy is not to be written.
  bool hasUnsettledConflicts() const noexcept;
};

/// Merges places files taken in one at a time, so that only the merge so far and the next file need be
/// held. Places are the same when their four identifiers are. A record is named by the first file that
/// has it (in that file, by the first-name rule of the load).
///
/// ```cpp
/// PlacesMerge merge;
/// merge.add({"alice.csv", PlaceDataModel::readPlaces("alice.csv").locations});
/// merge.add({"bob.csv", PlaceDataModel::readPlaces("bob.csv").locations});
/// MergeResult result = merge.finish({1});  // bob.csv settles conflicts
/// ```
class PlacesMerge {
 public:
  PlacesMerge();
  ~PlacesMerge();
  PlacesMerge(const PlacesMerge&) = delete;
  PlacesMerge& operator=(const PlacesMerge&) = delete;

  /// Takes in the next file; its places join the merge (moved, not copied).
  void add(LoadedFile file);
  /// Files taken in so far; their positions are the ones conflicts and preferences name.
  const std::vector<std::filesystem::path>& files() const noexcept;
  /// The merged hierarchy, its conflicts and warnings; the merge is spent. A conflict is settled in
  /// favour of the one place that the first of `preferences` (file positions, in order of precedence)
  /// putting the serial number anywhere puts it at; where that file puts it at several places, it stays a
  /// conflict.
  MergeResult finish(const std::vector<std::size_t>& preferences = {});

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

/// Merges `files` in order, as `PlacesMerge` does.
MergeResult mergePlaces(std::vector<LoadedFile> files, const std::vector<std::size_t>& preferences = {});

/// How `readAndMerge` reads and merges.
struct MergeReadOptions {
  PlacesReadOptions read{};                    ///< how each file is read
  std::vector<std::size_t> preferences{};      ///< as `PlacesMerge::finish` takes them
  std::vector<std::filesystem::path> names{};  ///< what names each file in warnings; its path where absent
  WorkProgress* progress = nullptr;            ///< counts the bytes of all the files; can stop the work
  QThread* home = nullptr;                     ///< the thread the places belong to; null: the calling thread
};

/// Reads `files` in order as `PlaceDataModel::readPlaces` does, on any thread, and merges them, each joined
/// as soon as it is read; what each load warns of joins the warnings. A cancel of the progress raises
/// `WorkCancelled`. A file that fails to load fails the merge: its error is raised, and `failed` (when
/// given) is set to its position; an error raised after every file was read (out of memory) leaves
/// `failed` at `files.size()`.
MergeResult readAndMerge(const std::vector<std::filesystem::path>& files,
                         const MergeReadOptions& options = {}, std::size_t* failed = nullptr);

/// "Head Office / First Floor / North Wing / Desk 1 (HQ / 1 / N / D1)": a place's names, then its
/// identifiers.
std::string placePath(const ConflictPlace& place);

/// The place of `conflict` that `file` (a position) puts its serial number at, when that is one place:
/// what a preference for `file` keeps. Nothing when the file puts it nowhere, or at several places.
std::optional<std::size_t> placeGivenBy(const MergeConflict& conflict, std::size_t file);

/// Settles every conflict of `result` as the user picked: `picks[c]` is the place of `result.conflicts[c]`
/// that keeps its serial number, which every other place of that conflict loses. A conflict a preferred
/// file settled otherwise is settled again. Picks that do not name one place of each conflict raise
/// `std::invalid_argument`, and nothing changes.
void settleConflicts(MergeResult& result, const std::vector<std::size_t>& picks);

}  // namespace tamrik
