#pragma once

#include <QObject>
#include <QThread>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/csv_row.hpp"
#include "model/detail/serial_index.hpp"
#include "model/place_records.hpp"
#include "model/places_file.hpp"
#include "model/work_progress.hpp"

namespace tamrik {

class PlaceSearch;
namespace detail {
struct PlaceTally;
}

/// The loaded hierarchy, in display order.
using PlaceLocations = std::vector<TamrikLocation>;
/// Which place each display serial number was last assigned to.
using SerialMap = std::map<std::string, std::shared_ptr<TamrikPlace>, std::less<>>;

/// The application's one store of place data: the loaded hierarchy, the file it came from, where each
/// display was last assigned and the place the user picked. Every assignment of a property notifies, even
/// of an equal value. Main thread only.
///
/// ```cpp
/// PlaceDataModel model;
/// model.loadPlaces("places.csv");                   // throws what went wrong; the model stays as it was
/// model.setSelectedPlace(model.locations()[0].levels[0].zones[0].places[0]);
/// model.assignSerialNumbers({"SN1"}, model.selectedPlace());
/// ```
class PlaceDataModel : public QObject {
  Q_OBJECT
  Q_PROPERTY(tamrik::PlaceLocations locations READ locations WRITE setLocations NOTIFY locationsChanged)
  Q_PROPERTY(std::optional<std::string> currentFileName READ currentFileName WRITE setCurrentFileName NOTIFY
                 currentFileNameChanged)
  Q_PROPERTY(tamrik::SerialMap serialMap READ serialMap WRITE setSerialMap NOTIFY serialMapChanged)
  Q_PROPERTY(std::shared_ptr<tamrik::TamrikPlace> selectedPlace READ selectedPlace WRITE setSelectedPlace
                 NOTIFY selectedPlaceChanged)

 public:
  /// An empty store: no locations, no file name, no assignments, nothing selected.
  explicit PlaceDataModel(QObject* parent = nullptr);
  ~PlaceDataModel() override;

  virtual const PlaceLocations& locations() const { return locations_; }
  void setLocations(PlaceLocations locations);
  /// The last path component of the last file loaded.
  const std::optional<std::string>& currentFileName() const noexcept { return currentFileName_; }
  void setCurrentFileName(std::optional<std::string> fileName);
  const SerialMap& serialMap() const noexcept { return serialMap_; }
  void setSerialMap(SerialMap serialMap);
  /// The target of assignments; null when nothing is selected.
  const std::shared_ptr<TamrikPlace>& selectedPlace() const noexcept { return selectedPlace_; }
  void setSelectedPlace(std::shared_ptr<TamrikPlace> place);

  /// Reads a places file (titled columns separated by commas, or by semicolons or tabs where the header
  /// says so; LF and CRLF line ends, or CR) and replaces `locations` (one notification) and
  /// `currentFileName`. A selected place of the previous hierarchy moves to the place with the same four
  /// identifiers, or is cleared; assignments to previous places are dropped. Returns what the user should
  /// hear about the file. On failure logs "Error loading places: " with the error's text, rethrows it
  /// (a `PlacesFileError` where the reason is the file's own, else the CSV library's error), and changes
  /// nothing.
  PlacesLoadReport loadPlaces(const std::filesystem::path& file, const PlacesReadOptions& options = {});

  /// A places file read and folded into a hierarchy that no store holds yet.
  struct LoadedPlaces {
    std::filesystem::path file;
    PlaceLocations locations;
    PlacesLoadReport report;
    /// Where each serial number is, how many places of each group hold one, and the search's text,
    /// once `prepare` built them. They refer to `locations` where they are: the whole may be moved, not
    /// copied.
    detail::SerialIndex serialIndex{};
    std::shared_ptr<detail::PlaceTally> tally{};
    std::shared_ptr<PlaceSearch> search{};
  };
  /// The first half of `loadPlaces`, for any thread: reads `file` into a hierarchy whose places belong to
  /// `home` (null: the calling thread), with `progress` showing how far it got and able to stop it
  /// (`WorkCancelled`). On failure logs "Error loading places: " with the error's text and rethrows it.
  static LoadedPlaces readPlaces(const std::filesystem::path& file, const PlacesReadOptions& options = {},
                                 WorkProgress* progress = nullptr, QThread* home = nullptr);
  /// Builds, on the reading thread, what the store and its views would otherwise build on the store's
  /// thread once it holds the hierarchy: which places hold each serial number, how many places of each
  /// group hold one, and the folded texts a search scans. A cancel of `progress` stops it between them
  /// (`WorkCancelled`).
  static void prepare(LoadedPlaces& loaded, const WorkProgress* progress = nullptr);
  /// The second half, on the store's thread: `loaded` replaces `locations` (one notification) and
  /// `currentFileName`, the selection moves to the same place, and assignments to previous places are
  /// dropped.
  PlacesLoadReport takePlaces(LoadedPlaces loaded);
  /// Builds the hierarchy of `rows` and assigns it to `locations`: members ordered by name, named by
  /// their first row in identifier order.
  void buildHierarchy(std::vector<CSVRow> rows);
  /// Moves each serial number, in order, to `place`: away from its last assigned place and from every
  /// place of the hierarchy that holds it, into `place` and `serialMap`. Logs one line per serial number.
  void assignSerialNumbers(const std::vector<std::string>& serialNumbers,
                           const std::shared_ptr<TamrikPlace>& place);
  /// Takes each serial number that `place` holds away from it, with its `serialMap` entry where that names
  /// `place`. Logs "Unassigned serial " S " from place " and the name per serial number taken; does and
  /// logs nothing for the others.
  void unassignSerialNumbers(const std::vector<std::string>& serialNumbers,
                             const std::shared_ptr<TamrikPlace>& place);

  /// While the store tells of a hierarchy that `prepare` made ready (`locationsChanged` from
  /// `takePlaces`), its counts and its search, for the first to ask to take; null otherwise, and the
  /// asker makes its own.
  std::shared_ptr<detail::PlaceTally> takePreparedTally() { return std::exchange(preparedTally_, nullptr); }
  std::shared_ptr<PlaceSearch> takePreparedSearch() { return std::exchange(preparedSearch_, nullptr); }

  /// The places of the hierarchy that hold `serialNumber`, in hierarchy order.
  std::vector<std::shared_ptr<TamrikPlace>> placesHolding(const std::string& serialNumber);

  /// The serial numbers of some places and the `serialMap` entries of some serial numbers (null: no entry),
  /// as an assignment found or left them: what undoing or redoing it puts back.
  struct AssignmentState {
    std::vector<std::pair<std::shared_ptr<TamrikPlace>, SerialNumbers>> places;
    std::vector<std::pair<std::string, std::shared_ptr<TamrikPlace>>> entries;
  };
  /// The places that an assignment of `serialNumbers` to `place` (or an unassignment from it) may change:
  /// `place`, and every place of the hierarchy holding one of them.
  std::vector<std::shared_ptr<TamrikPlace>> placesAffectedBy(const std::vector<std::string>& serialNumbers,
                                                             const std::shared_ptr<TamrikPlace>& place);
  /// The state of `places` and of the entries of `serialNumbers` now.
  AssignmentState captureAssignments(const std::vector<std::string>& serialNumbers,
                                     const std::vector<std::shared_ptr<TamrikPlace>>& places) const;
  /// Puts back a captured state: each place's serial numbers (a place notifies when they differ) and each
  /// entry, with one `serialMap` notification.
  void restoreAssignments(const AssignmentState& state);
  /// The places as an export writes them, taken from the store at one moment: the hierarchy it had then
  /// (its places kept alive) and copies of their serial numbers, so that another thread can write them
  /// while the store goes on changing.
  class ExportSnapshot {
   public:
    /// The lines to write.
    std::size_t size() const noexcept { return lines_.size(); }

   private:
    friend class PlaceDataModel;
    struct Line {
      const TamrikLocation* location;
      const TamrikLevel* level;
      const TamrikZone* zone;
      const TamrikPlace* place;
      std::size_t serial;  // into `serials_`; past its end for none
    };
    PlaceLocations locations_;
    std::vector<std::string> serials_;
    std::vector<Line> lines_;
  };
  /// The store's places, now; on the store's thread.
  ExportSnapshot exportSnapshot() const;
  /// Writes `snapshot` to `destination` as `exportPlaces` does, from any thread: `progress` counts the
  /// rows written and can stop the export (`WorkCancelled`), which leaves the file as it was.
  static void writePlaces(const ExportSnapshot& snapshot, const std::filesystem::path& destination,
                          WorkProgress* progress = nullptr);
  /// Writes every place, one line per serial number it holds (one with an empty last field if none), in
  /// hierarchy order under the nine column titles. The file is replaced only once all of it is written:
  /// on failure it stays as it was and the error is raised (naming `destination`). When only the file,
  /// not its folder, may be written, it is written in place, and the log says so. Replacement files that
  /// killed exports left in the folder are removed.
  void exportPlaces(const std::filesystem::path& destination) const;

 signals:
  void locationsChanged();
  void currentFileNameChanged();
  void serialMapChanged();
  void selectedPlaceChanged();
  /// An assignment, an unassignment or a restore changed the serial numbers of `places` (each named once).
  void placeSerialNumbersChanged(const std::vector<std::shared_ptr<tamrik::TamrikPlace>>& places);

 private:
  // Takes `loaded`'s hierarchy, with what `prepare` built of it, and tells of the change.
  void replaceLocations(LoadedPlaces& loaded);

  PlaceLocations locations_;
  std::optional<std::string> currentFileName_;
  SerialMap serialMap_;
  std::shared_ptr<TamrikPlace> selectedPlace_;
  detail::SerialIndex serialIndex_;  // of `locations()`: prepared with it, or built when first needed
  // What `prepare` made of a hierarchy while the store tells of it, for the first to take.
  std::shared_ptr<detail::PlaceTally> preparedTally_;
  std::shared_ptr<PlaceSearch> preparedSearch_;
};

/// A store for view previews: its `locations` are always the sample hierarchy.
class SamplePlaceDataModel final : public PlaceDataModel {
  Q_OBJECT
 public:
  explicit SamplePlaceDataModel(QObject* parent = nullptr) : PlaceDataModel(parent) {}
  const PlaceLocations& locations() const override { return sampleLocations(); }
};

}  // namespace tamrik
