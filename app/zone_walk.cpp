#include "app/zone_walk.hpp"

#include <QScopedValueRollback>
#include <QTimer>
#include <QUndoStack>
#include <algorithm>

#include "app/peripheral_assignment.hpp"

namespace tamrik {

// What the walk sees of the displays is the manager's list, compared with the list it saw last: a display
// in the new list and not in the last one was plugged in, one in the last and not in the new one was
// unplugged. Notices that do not enumerate (a screen added or removed) change no list, so they change
// nothing here; the kernel's hot-plug notices enumerate and come through as a new list.

ZoneWalk::ZoneWalk(std::shared_ptr<PeripheralManager> peripheralManager,
                   std::shared_ptr<PlaceDataModel> placeDataModel, QUndoStack* undoStack,
                   std::shared_ptr<const PlaceCounts> counts, QObject* parent)
    : QObject(parent),
      peripheralManager_(std::move(peripheralManager)),
      placeDataModel_(std::move(placeDataModel)),
      undoStack_(undoStack),
      counts_(counts ? std::move(counts) : std::make_shared<PlaceCounts>(placeDataModel_)),
      settle_(new QTimer(this)) {
  settle_->setObjectName(QStringLiteral("WalkSettle"));
  settle_->setSingleShot(true);
  // Still unplugged once it has settled: the technician is on the way to the next desk.
  connect(settle_, &QTimer::timeout, this, [this] {
    if (unpluggedHere())
      nextPlace();
    else
      emit changed();
  });
  connect(peripheralManager_.get(), &PeripheralManager::peripheralsChanged, this,
          &ZoneWalk::peripheralsChanged);
  // Another hierarchy: the walk's places are no longer loaded.
  connect(placeDataModel_.get(), &PlaceDataModel::locationsChanged, this, &ZoneWalk::stop);
  connect(placeDataModel_.get(), &PlaceDataModel::selectedPlaceChanged, this,
          &ZoneWalk::selectedPlaceChanged);
  // Undo, Redo and the one-desk rule change how many places are left, and what the current one holds.
  connect(placeDataModel_.get(), &PlaceDataModel::placeSerialNumbersChanged, this, [this] {
    if (state_ != State::idle) notify();
  });
}

bool ZoneWalk::start(const ZonePath& path) {
  if (held_) return false;
  const auto at = findZonePosition(placeDataModel_->locations(), path);
  if (!at) return false;
  const TamrikZone& zone = placeDataModel_->locations()[(*at)[0]].levels[(*at)[1]].zones[(*at)[2]];
  if (std::none_of(zone.places.begin(), zone.places.end(),
                   [](const auto& place) { return place != nullptr; }))
    return false;
  stop();
  zonePath_ = path;
  zoneAt_ = *at;
  zoneName_ = QString::fromStdString(zone.name);
  places_ = zone.places;  // positions as the zone's, so that views find a place's row by it
  displaysAtStart_.clear();
  for (const auto& display : peripheralManager_->peripherals()) displaysAtStart_.insert(display.serialNumber);
  listed_ = displaysAtStart_;
  unreadableAtStart_ = peripheralManager_->displaysWithoutSerialNumber();
  state_ = State::walking;
  moveTo(nextWithoutDisplay(0, true));
  return true;
}

void ZoneWalk::setHeld(bool held) {
  held_ = held;
  stop();
  emit changed();  // Walk Zone follows
}

void ZoneWalk::stop() {
  settle_->stop();
  if (state_ == State::idle) return;
  state_ = State::idle;
  zonePath_.reset();
  zoneName_.clear();
  places_.clear();
  currentPlace_.reset();
  skipped_.clear();
  displaysAtStart_.clear();
  listed_.clear();
  assignedHere_.clear();
  emit changed();
}

void ZoneWalk::nextPlace() {
  if (state_ == State::walking) moveTo(nextWithoutDisplay(current_, false));
}

void ZoneWalk::skipPlace() {
  if (state_ != State::walking) return;
  skipped_.insert(currentPlace_.get());
  moveTo(nextWithoutDisplay(current_, false));
}

void ZoneWalk::noteEntered(const QString& serialNumber) {
  if (state_ != State::walking || !enteredCountsAsPluggedIn_ ||
      placeDataModel_->selectedPlace() != currentPlace_)
    return;
  assignedHere_.insert(serialNumber.toStdString());
  if (!moveOnIfUnplugged()) emit changed();
}

void ZoneWalk::setMoveOnWhenUnplugged(bool on) {
  moveOnWhenUnplugged_ = on;
  // Turned on after the displays were unplugged (and had settled): there is nothing left to wait for.
  if (!moveOnIfUnplugged()) emit changed();
}

void ZoneWalk::setEnteredCountsAsPluggedIn(bool on) {
  enteredCountsAsPluggedIn_ = on;
  emit changed();
}

std::vector<std::string> ZoneWalk::assignedHere() const {
  std::vector<std::string> held;
  if (!currentPlace_) return held;
  // What Undo or another desk took away is no longer here, and no longer waited for.
  for (const auto& serial : assignedHere_)
    if (currentPlace_->serialNumbers().contains(serial)) held.push_back(serial);
  return held;
}

std::size_t ZoneWalk::placesWithoutDisplay() const {
  const PlaceCount count = counts_->zone(zoneAt_[0], zoneAt_[1], zoneAt_[2]);
  return count.total - count.withDisplay;
}

void ZoneWalk::notify() {
  if (batching_)
    dirty_ = true;
  else
    emit changed();
}

QString ZoneWalk::headline() const {
  switch (state_) {
    case State::idle:
      return {};
    case State::walking:
      // `arg` in one pass, so that a "%1" in a name stays as it is.
      return tr("Walking Zone %1: %2").arg(zoneName_, QString::fromStdString(currentPlace_->name()));
    case State::finished:
      break;
  }
  const std::size_t left = placesWithoutDisplay();
  if (left == 0) return tr("Every place of Zone %1 has a display.").arg(zoneName_);
  if (left == 1) return tr("Walk of Zone %1 ended: 1 place has no display.").arg(zoneName_);
  return tr("Walk of Zone %1 ended: %2 places have no display.").arg(zoneName_, QString::number(left));
}

QString ZoneWalk::instruction() const {
  switch (state_) {
    case State::idle:
      return {};
    case State::finished:
      return placesWithoutDisplay() == 0 ? tr("Export the places to keep the assignments.")
                                         : tr("Walk the zone again to visit the places without a display.");
    case State::walking:
      break;
  }
  const QString name = QString::fromStdString(currentPlace_->name());
  // The field takes what the listing could not read.
  if (peripheralManager_->displaysWithoutSerialNumber() > unreadableAtStart_)
    return tr("A display plugged in at %1 gives no serial number: type or scan the one on its label into "
              "\"Serial Number from a Label\", then press Enter.")
        .arg(name);
  if (settle_->isActive() && unpluggedHere())
    return tr("The displays of %1 are unplugged: on to the next place.").arg(name);
  if (currentPlace_->serialNumbers().empty()) return tr("Plug in the displays of %1.").arg(name);
  const auto here = assignedHere();
  const bool plugged = std::any_of(here.begin(), here.end(), [&](const std::string& serial) {
    return listed_.contains(QString::fromStdString(serial));
  });
  if (plugged && moveOnWhenUnplugged_) return tr("Unplug the displays of %1 to move on.").arg(name);
  return tr("Plug in more displays of %1, or press Next Place (Space) to move on.").arg(name);
}

QString ZoneWalk::progress() const {
  if (state_ == State::idle) return {};
  return tr("%1 of %2 places without a display left")
      .arg(QString::number(placesWithoutDisplay()),
           QString::number(counts_->zone(zoneAt_[0], zoneAt_[1], zoneAt_[2]).total));
}

void ZoneWalk::peripheralsChanged() {
  if (state_ != State::walking) return;
  {
    QScopedValueRollback batch(batching_, true);
    std::set<QString> listed;
    std::vector<std::string> plugged;  // in the list's order, for the log line
    for (const auto& display : peripheralManager_->peripherals()) {
      if (!listed.insert(display.serialNumber).second) continue;  // listed twice
      // A monitor's numeric serial number, listed after its alphanumeric one, is not a second display.
      if (display.sameDisplayAsPrevious) continue;
      if (!listed_.contains(display.serialNumber) && !displaysAtStart_.contains(display.serialNumber))
        plugged.push_back(display.serialNumber.toStdString());
    }
    listed_ = std::move(listed);
    dirty_ = true;  // what is listed shows in the texts
    if (!unpluggedHere()) {
      settle_->stop();  // back again: the list only blinked
    } else if (!plugged.empty() || settleTime_.count() <= 0) {
      // One listing that sees a desk's displays gone and others in is the next desk: no blink brings new
      // displays. The walk moves on first.
      moveOnIfUnplugged();
    } else if (!settle_->isActive()) {
      settle_->start(settleTime_);
    }
    if (state_ == State::walking && !plugged.empty()) {
      const auto place = currentPlace_;  // a copy: the assignment's signals may move the walk
      assignPeripherals(placeDataModel_, undoStack_, plugged, place);
      if (place == currentPlace_) assignedHere_.insert(plugged.begin(), plugged.end());
    }
  }
  if (std::exchange(dirty_, false)) emit changed();
}

void ZoneWalk::selectedPlaceChanged() {
  if (selecting_ || state_ != State::walking) return;
  const auto& selected = placeDataModel_->selectedPlace();
  if (selected == currentPlace_) return;
  const auto at = std::find(places_.begin(), places_.end(), selected);
  // The technician went to another desk of the zone: the walk goes with them. Elsewhere, it ends.
  if (!selected || at == places_.end()) return stop();
  skipped_.erase(selected.get());
  settle_->stop();
  current_ = static_cast<std::size_t>(at - places_.begin());
  currentPlace_ = selected;
  assignedHere_.clear();
  emit currentPlaceChanged();
  notify();
}

std::optional<std::size_t> ZoneWalk::nextWithoutDisplay(std::size_t from, bool includingFrom) const {
  const std::size_t count = places_.size();
  for (std::size_t step = includingFrom ? 0 : 1; step < count; ++step) {
    const std::size_t at = (from + step) % count;
    if (places_[at] && places_[at]->serialNumbers().empty() && !skipped_.contains(places_[at].get()))
      return at;
  }
  return std::nullopt;
}

void ZoneWalk::moveTo(std::optional<std::size_t> place) {
  settle_->stop();
  assignedHere_.clear();
  if (!place) {
    state_ = State::finished;
    currentPlace_.reset();
    notify();
    return;
  }
  current_ = *place;
  currentPlace_ = places_[*place];
  {
    QScopedValueRollback walkSelects(selecting_, true);
    placeDataModel_->setSelectedPlace(currentPlace_);
  }
  emit currentPlaceChanged();
  notify();
}

bool ZoneWalk::unpluggedHere() const {
  if (state_ != State::walking || !moveOnWhenUnplugged_) return false;
  const auto here = assignedHere();
  return !here.empty() && std::none_of(here.begin(), here.end(), [&](const std::string& serial) {
    return listed_.contains(QString::fromStdString(serial));
  });
}

bool ZoneWalk::moveOnIfUnplugged() {
  if (!unpluggedHere()) return false;
  nextPlace();
  return true;
}

}  // namespace tamrik
