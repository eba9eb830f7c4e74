#include "model/place_data_model.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <optional>
#include <unordered_set>
#include <utility>

#include "common/diagnostic_log.hpp"
#include "model/detail/export_file.hpp"
#include "model/detail/place_hierarchy.hpp"
#include "model/detail/place_rows.hpp"
#include "model/detail/place_tally.hpp"
#include "model/detail/places_format.hpp"
#include "model/place_search.hpp"
#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/coding/encoder.hpp"
#include "tamrikcsv/decoder/csv_decoder.hpp"
#include "tamrikcsv/encoder/csv_encoder.hpp"

namespace tamrik {
namespace {

using Keys = CSVRow::CodingKeys;

// The hierarchy of a places file, folded as its rows decode, so that no row is made into a `CSVRow` and
// kept until the last one is read (the decoder keeps the file's text, as its configuration says). A file
// whose header lacks a required title fails even without data rows, with the error its first data row
// would have raised, so that an unrelated file never loads as an empty hierarchy.
struct PlaceFile {
  PlaceLocations locations;
  std::vector<std::size_t> spreadsheetNumberRows;  // data rows counted from 0

  static PlaceFile decode(tamrikcsv::Decoder& decoder) {
    detail::PlaceFolder folder;
    std::vector<std::size_t> spreadsheetNumberRows;
    for (auto rows = decoder.unkeyedContainer(); !rows.isAtEnd();) {
      // Read as a `CSVRow` is, but viewed: the folder copies the few texts it keeps.
      auto row = rows.nestedContainer<Keys>();
      const auto texts = detail::decodePlaceRow(row);
      if (texts.serialNumber && hasSpreadsheetNumberFormat(*texts.serialNumber))
        spreadsheetNumberRows.push_back(folder.rows());
      folder.add(texts);
    }
    if (folder.rows() == 0) requireColumns(decoder.unkeyedContainer().nestedContainer<Keys>());
    return {folder.finish(), std::move(spreadsheetNumberRows)};
  }

  // `row` stands where the first data row would. Looking a title up fails as it would there; reading the
  // field fails for want of the row, which is no failure of the header.
  static void requireColumns(tamrikcsv::KeyedDecodingContainer<Keys> row) {
    constexpr Keys kRequired[] = {Keys::locationId, Keys::locationName, Keys::levelId, Keys::levelName,
                                  Keys::zoneId,     Keys::zoneName,     Keys::placeId, Keys::placeName};
    bool complete = true;
    for (Keys key : kRequired) complete = complete && row.contains(key);
    if (complete) return;
    for (Keys key : kRequired) {
      try {
        row.decodeNil(key);
      } catch (const tamrikcsv::CSVError<tamrikcsv::CSVDecoder>& error) {
        if (error.type() == tamrikcsv::CSVDecoder::Error::invalidConfiguration) throw;
      }
    }
  }
};

tamrikcsv::CSVDecoder placesDecoder(const tamrikcsv::ReaderConfiguration& readerConfiguration) {
  return tamrikcsv::CSVDecoder([&](tamrikcsv::CSVDecoder::Configuration& c) {
    c.readerConfiguration = readerConfiguration;
    // The rows are folded in order and never read again: keeping them all would hold the file's text.
    c.bufferingStrategy = tamrikcsv::Strategy::DecodingBuffer::sequential;
  });
}

// Adds `place` to the places an operation changed, unless it is there already. Operations change few.
void noteChanged(std::vector<std::shared_ptr<TamrikPlace>>& changed,
                 const std::shared_ptr<TamrikPlace>& place) {
  if (std::find(changed.begin(), changed.end(), place) == changed.end()) changed.push_back(place);
}

}  // namespace

PlaceDataModel::PlaceDataModel(QObject* parent) : QObject(parent) {}
PlaceDataModel::~PlaceDataModel() = default;

void PlaceDataModel::setLocations(PlaceLocations locations) {
  LoadedPlaces unprepared;
  unprepared.locations = std::move(locations);
  replaceLocations(unprepared);
}

void PlaceDataModel::replaceLocations(LoadedPlaces& loaded) {
  // The index goes first: the old one points into the places the old hierarchy is about to free.
  serialIndex_ = std::move(loaded.serialIndex);
  locations_ = std::move(loaded.locations);
  // Offered only while this change is told of; a change told of meanwhile offers its own, or none.
  preparedTally_ = std::move(loaded.tally);
  preparedSearch_ = std::move(loaded.search);
  if (&locations() != &locations_) {  // a store showing another hierarchy: none of it applies
    serialIndex_.reset();
    preparedTally_.reset();
    preparedSearch_.reset();
  }
  struct Withdraw {
    PlaceDataModel& store;
    ~Withdraw() {
      store.preparedTally_.reset();
      store.preparedSearch_.reset();
    }
  } withdraw{*this};
  emit locationsChanged();
}

void PlaceDataModel::setCurrentFileName(std::optional<std::string> fileName) {
  currentFileName_ = std::move(fileName);
  emit currentFileNameChanged();
}

void PlaceDataModel::setSerialMap(SerialMap serialMap) {
  serialMap_ = std::move(serialMap);
  emit serialMapChanged();
}

void PlaceDataModel::setSelectedPlace(std::shared_ptr<TamrikPlace> place) {
  selectedPlace_ = std::move(place);
  emit selectedPlaceChanged();
}

PlacesLoadReport PlaceDataModel::loadPlaces(const std::filesystem::path& file,
                                            const PlacesReadOptions& options) {
  return takePlaces(readPlaces(file, options));
}

PlaceDataModel::LoadedPlaces PlaceDataModel::readPlaces(const std::filesystem::path& file,
                                                        const PlacesReadOptions& options,
                                                        WorkProgress* progress, QThread* home) {
  LoadedPlaces loaded{file, {}, {}};
  try {
    detail::requireLoadableFile(file);
    const auto configuration = detail::placesReaderConfiguration(file, options);
    PlaceFile placeFile;
    try {
      // Watched, the file is read through a stream the load can count and stop; alone, as the reader reads
      // files, in larger pieces.
      const auto decoder = placesDecoder(configuration);
      placeFile = progress ? decoder.decodeStream<PlaceFile>(detail::watchedFile(file, progress))
                           : decoder.decodeFile<PlaceFile>(file);
    } catch (...) {
      if (progress && progress->isCancelled()) throw WorkCancelled();
      std::rethrow_exception(detail::recogniseNotUTF8(file, options, std::current_exception()));
    }
    loaded.locations = std::move(placeFile.locations);
    if (progress && progress->isCancelled()) throw WorkCancelled();  // asked while the hierarchy was built
    if (!placeFile.spreadsheetNumberRows.empty())
      loaded.report.spreadsheetNumberLines =
          detail::linesOfRows(file, configuration, placeFile.spreadsheetNumberRows);
  } catch (const WorkCancelled&) {
    throw;
  } catch (const std::exception& error) {
    logLine(std::string("Error loading places: ") + error.what());
    throw;
  }
  // Made here, the places would live on this thread, which may end before they do.
  if (home && home != QThread::currentThread()) {
    for (const auto& location : loaded.locations)
      for (const auto& level : location.levels)
        for (const auto& zone : level.zones)
          for (const auto& place : zone.places)
            if (place) place->moveToThread(home);
  }
  return loaded;
}

void PlaceDataModel::prepare(LoadedPlaces& loaded, const WorkProgress* progress) {
  auto checkCancelled = [&] {
    if (progress && progress->isCancelled()) throw WorkCancelled();
  };
  checkCancelled();
  loaded.serialIndex.build(loaded.locations);
  checkCancelled();
  loaded.tally = std::make_shared<detail::PlaceTally>(loaded.locations);
  checkCancelled();
  loaded.search = std::make_shared<PlaceSearch>(loaded.locations);
}

PlacesLoadReport PlaceDataModel::takePlaces(LoadedPlaces loaded) {
  // The selection and the assigned places that belong to the hierarchy being replaced. Assignments are
  // few, so one pass over the old places checks them all.
  std::optional<std::shared_ptr<TamrikPlace>> selected;  // set when the selection moves
  std::optional<SerialMap> serialMap;                    // set when entries are dropped
  std::unordered_set<const TamrikPlace*> assigned;
  for (const auto& [serial, place] : serialMap_) assigned.insert(place.get());
  std::unordered_set<const TamrikPlace*> previous;
  std::optional<std::array<std::string, 4>> selectedPath;
  if (selectedPlace_ || !assigned.empty()) {
    for (const auto& location : this->locations())
      for (const auto& level : location.levels)
        for (const auto& zone : level.zones)
          for (const auto& place : zone.places) {
            if (!place) continue;
            if (place == selectedPlace_)
              selectedPath = {location.locationId, level.levelId, zone.zoneId, place->placeId()};
            if (assigned.contains(place.get())) previous.insert(place.get());
          }
  }
  if (selectedPath) selected = detail::findPlace(loaded.locations, *selectedPath);
  if (!previous.empty()) {
    serialMap.emplace(serialMap_);
    std::erase_if(*serialMap, [&](const auto& entry) { return previous.contains(entry.second.get()); });
  }

  replaceLocations(loaded);
  setCurrentFileName(loaded.file.filename().string());
  if (selected) setSelectedPlace(std::move(*selected));
  if (serialMap) setSerialMap(std::move(*serialMap));
  return std::move(loaded.report);
}

void PlaceDataModel::buildHierarchy(std::vector<CSVRow> rows) {
  setLocations(detail::foldPlaceRows(rows));
}

void PlaceDataModel::assignSerialNumbers(const std::vector<std::string>& serialNumbers,
                                         const std::shared_ptr<TamrikPlace>& place) {
  if (!place) return;
  if (!serialIndex_.isBuilt()) serialIndex_.build(locations());
  std::vector<std::shared_ptr<TamrikPlace>> changed;
  for (const auto& serial : serialNumbers) {
    std::shared_ptr<TamrikPlace> last;
    if (auto entry = serialMap_.find(serial); entry != serialMap_.end() && entry->second) {
      last = entry->second;
      last->removeSerialNumber(serial);
      noteChanged(changed, last);
    }
    // A display stands at one desk: the file may have given it to other places too.
    for (const auto& holder : serialIndex_.holders(serial))
      if (holder != last && holder->serialNumbers().contains(serial)) {
        holder->removeSerialNumber(serial);
        noteChanged(changed, holder);
      }
    place->insertSerialNumber(serial);
    noteChanged(changed, place);
    serialMap_[serial] = place;
    emit serialMapChanged();
    serialIndex_.add(serial, place);
    logLine("Assigned serial " + serial + " to place " + place->name());
  }
  if (!changed.empty()) emit placeSerialNumbersChanged(changed);
}

void PlaceDataModel::unassignSerialNumbers(const std::vector<std::string>& serialNumbers,
                                           const std::shared_ptr<TamrikPlace>& place) {
  if (!place) return;
  bool changed = false;
  for (const auto& serial : serialNumbers) {
    if (!place->serialNumbers().contains(serial)) continue;
    place->removeSerialNumber(serial);
    changed = true;
    if (auto entry = serialMap_.find(serial); entry != serialMap_.end() && entry->second == place)
      serialMap_.erase(entry);
    emit serialMapChanged();
    logLine("Unassigned serial " + serial + " from place " + place->name());
  }
  if (changed) emit placeSerialNumbersChanged({place});
}

std::vector<std::shared_ptr<TamrikPlace>> PlaceDataModel::placesAffectedBy(
    const std::vector<std::string>& serialNumbers, const std::shared_ptr<TamrikPlace>& place) {
  if (!serialIndex_.isBuilt()) serialIndex_.build(locations());
  std::vector<std::shared_ptr<TamrikPlace>> places;
  auto note = [&](const std::shared_ptr<TamrikPlace>& candidate) {
    if (candidate && std::find(places.begin(), places.end(), candidate) == places.end())
      places.push_back(candidate);
  };
  note(place);
  for (const auto& serial : serialNumbers) {
    for (const auto& holder : serialIndex_.holders(serial))
      if (holder && holder->serialNumbers().contains(serial)) note(holder);
    if (auto entry = serialMap_.find(serial); entry != serialMap_.end()) note(entry->second);
  }
  return places;
}

PlaceDataModel::AssignmentState PlaceDataModel::captureAssignments(
    const std::vector<std::string>& serialNumbers,
    const std::vector<std::shared_ptr<TamrikPlace>>& places) const {
  AssignmentState state;
  for (const auto& place : places) state.places.emplace_back(place, place->serialNumbers());
  for (const auto& serial : serialNumbers) {
    auto entry = serialMap_.find(serial);
    state.entries.emplace_back(serial, entry == serialMap_.end() ? nullptr : entry->second);
  }
  return state;
}

void PlaceDataModel::restoreAssignments(const AssignmentState& state) {
  if (!serialIndex_.isBuilt()) serialIndex_.build(locations());
  std::vector<std::shared_ptr<TamrikPlace>> changed;
  for (const auto& [place, serials] : state.places) {
    if (place->serialNumbers() != serials) {
      place->setSerialNumbers(serials);
      noteChanged(changed, place);
    }
    for (const auto& serial : serials) serialIndex_.add(serial, place);
  }
  for (const auto& [serial, place] : state.entries) {
    if (place)
      serialMap_[serial] = place;
    else
      serialMap_.erase(serial);
  }
  emit serialMapChanged();
  if (!changed.empty()) emit placeSerialNumbersChanged(changed);
}

std::vector<std::shared_ptr<TamrikPlace>> PlaceDataModel::placesHolding(const std::string& serialNumber) {
  if (!serialIndex_.isBuilt()) serialIndex_.build(locations());
  auto places = serialIndex_.holders(serialNumber);
  // The index keeps places that have since given the serial number up.
  std::erase_if(places, [&](const auto& place) { return !place->serialNumbers().contains(serialNumber); });
  return places;
}

PlaceDataModel::ExportSnapshot PlaceDataModel::exportSnapshot() const {
  ExportSnapshot snapshot;
  snapshot.locations_ = locations();
  for (const auto& location : snapshot.locations_)
    for (const auto& level : location.levels)
      for (const auto& zone : level.zones)
        for (const auto& place : zone.places) {
          if (!place) continue;
          const auto none = std::numeric_limits<std::size_t>::max();
          if (place->serialNumbers().empty())
            snapshot.lines_.push_back({&location, &level, &zone, place.get(), none});
          for (const auto& serial : place->serialNumbers()) {
            snapshot.lines_.push_back({&location, &level, &zone, place.get(), snapshot.serials_.size()});
            snapshot.serials_.push_back(serial);
          }
        }
  return snapshot;
}

namespace {

// One line of the export: the `CSVRow` of a place and one of its serial numbers (or none), written
// straight from the hierarchy's texts rather than copies of them.
struct ExportLine {
  std::array<const std::string*, 8> fields;
  const std::string* serial;  // null for none

  void encode(tamrikcsv::Encoder& encoder) const { detail::encodePlaceRow(encoder, fields, serial); }
};

ExportLine exportLine(const TamrikLocation& location, const TamrikLevel& level, const TamrikZone& zone,
                      const TamrikPlace& place, const std::string* serial) {
  return {{&location.locationId, &location.name, &level.levelId, &level.name, &zone.zoneId, &zone.name,
           &place.placeId(), &place.name()},
          serial};
}

// Writes the lines `forEachLine` hands over, one at a time: the encoder holds no more than a row, so an
// export takes no memory beyond what it reads from. `progress`, when given, counts `total` lines.
void writeLines(const std::filesystem::path& destination, std::size_t total,
                const std::function<void(const std::function<void(const ExportLine&)>&)>& forEachLine,
                WorkProgress* progress) {
  if (progress) progress->setTotal(total);
  const tamrikcsv::CSVEncoder encoder([](tamrikcsv::CSVEncoder::Configuration& c) {
    const auto& titles = tamrikcsv::CodingKeyTraits<CSVRow::CodingKeys>::names;
    c.writerConfiguration.headers.assign(titles.begin(), titles.end());
    c.bufferingStrategy = tamrikcsv::Strategy::EncodingBuffer::sequential;
  });
  auto encodeAll = [&](auto&& lazy) {
    forEachLine([&](const ExportLine& line) {
      if (progress) {
        if (progress->isCancelled()) throw WorkCancelled();
        progress->addDone(1);
      }
      lazy.encodeNext(line);
    });
    return lazy.endEncoding();
  };
  detail::writeExportFile(
      destination, "places",
      [&](const std::filesystem::path& file) { encodeAll(encoder.makeLazyFile(file)); },
      [&] { return encodeAll(encoder.makeLazyData()); });
}

}  // namespace

void PlaceDataModel::exportPlaces(const std::filesystem::path& destination) const {
  // Nothing changes the store while this writes, so the lines come straight from its places: a snapshot
  // would copy every serial number first.
  writeLines(
      destination, 0,
      [&](const std::function<void(const ExportLine&)>& line) {
        for (const auto& location : locations())
          for (const auto& level : location.levels)
            for (const auto& zone : level.zones)
              for (const auto& place : zone.places) {
                if (!place) continue;
                if (place->serialNumbers().empty()) line(exportLine(location, level, zone, *place, nullptr));
                for (const auto& serial : place->serialNumbers())
                  line(exportLine(location, level, zone, *place, &serial));
              }
      },
      nullptr);
}

void PlaceDataModel::writePlaces(const ExportSnapshot& snapshot, const std::filesystem::path& destination,
                                 WorkProgress* progress) {
  writeLines(
      destination, snapshot.size(),
      [&](const std::function<void(const ExportLine&)>& line) {
        for (const auto& l : snapshot.lines_)
          line(exportLine(*l.location, *l.level, *l.zone, *l.place,
                          l.serial < snapshot.serials_.size() ? &snapshot.serials_[l.serial] : nullptr));
      },
      progress);
}

}  // namespace tamrik
