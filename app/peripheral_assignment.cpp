#include "app/peripheral_assignment.hpp"

#include <QStringList>
#include <QTextDocument>

#include <algorithm>
#include <vector>

#include "app/assignment_command.hpp"
#include "common/diagnostic_log.hpp"

namespace tamrik {
namespace {

bool sameSerialNumbers(const QList<PeripheralInfo>& a, const QList<PeripheralInfo>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& x, const auto& y) { return x.serialNumber == y.serialNumber; });
}

std::optional<std::string> placeIdOf(const std::shared_ptr<TamrikPlace>& place) {
  if (!place) return std::nullopt;
  return place->placeId();
}

// An assignment or unassignment, as a step of `undoStack` where there is one.
void performStep(const std::shared_ptr<PlaceDataModel>& placeDataModel, QUndoStack* undoStack,
                 AssignmentCommand::Kind kind, const std::vector<std::string>& serialNumbers,
                 const std::shared_ptr<TamrikPlace>& place) {
  if (!undoStack) {
    if (kind == AssignmentCommand::Kind::assign)
      placeDataModel->assignSerialNumbers(serialNumbers, place);
    else
      placeDataModel->unassignSerialNumbers(serialNumbers, place);
  } else if (auto step = AssignmentCommand::perform(placeDataModel, kind, serialNumbers, place)) {
    undoStack->push(step.release());
  }
}

}  // namespace

PeripheralAssignment::PeripheralAssignment(std::shared_ptr<PeripheralManager> peripheralManager,
                                           std::shared_ptr<PlaceDataModel> placeDataModel,
                                           QUndoStack* undoStack, QObject* parent)
    : QObject(parent),
      peripheralManager_(std::move(peripheralManager)),
      placeDataModel_(std::move(placeDataModel)),
      undoStack_(undoStack),
      knownPeripherals_(peripheralManager_->peripherals()),
      knownSelectedPlace_(placeIdOf(placeDataModel_->selectedPlace())) {
  connect(peripheralManager_.get(), &PeripheralManager::peripheralsChanged, this,
          &PeripheralAssignment::peripheralsChanged);
  connect(peripheralManager_.get(), &PeripheralManager::displaysWithoutSerialNumberChanged, this,
          &PeripheralAssignment::changed);
  connect(placeDataModel_.get(), &PlaceDataModel::selectedPlaceChanged, this,
          &PeripheralAssignment::selectedPlaceChanged);
  connect(placeDataModel_.get(), &PlaceDataModel::serialMapChanged, this, &PeripheralAssignment::changed);
  // A load puts displays at other places of the file.
  connect(placeDataModel_.get(), &PlaceDataModel::locationsChanged, this, &PeripheralAssignment::changed);
}

void PeripheralAssignment::toggle(const QString& serialNumber) {
  if (!selectedPeripherals_.erase(serialNumber)) selectedPeripherals_.insert(serialNumber);
  emit changed();
}

void PeripheralAssignment::clearSelection() {
  selectedPeripherals_.clear();
  emit changed();
}

QString PeripheralAssignment::title() const {
  const auto& place = placeDataModel_->selectedPlace();
  if (!place) return tr("Select a place to assign peripherals");
  return tr("Assign peripherals to ") + QString::fromStdString(place->name());
}

bool PeripheralAssignment::canAssign() const {
  return !selectedPeripherals_.empty() && placeDataModel_->selectedPlace();
}

std::vector<std::string> PeripheralAssignment::selectedSerialNumbers() const {
  std::vector<std::string> serialNumbers;
  for (const auto& serialNumber : selectedPeripherals_) serialNumbers.push_back(serialNumber.toStdString());
  return serialNumbers;
}

void PeripheralAssignment::assign() {
  // A copy: the store's member changes as the assignment's signals run, and the step still names it after.
  const auto place = placeDataModel_->selectedPlace();
  assignPeripherals(placeDataModel_, undoStack_, selectedSerialNumbers(), place);
}

PeripheralAssignment::Entry PeripheralAssignment::enterSerialNumber(const QString& text) {
  // A scanner types the label and presses Enter; some send a tab or a carriage return as well.
  const QString serialNumber = text.trimmed();
  if (serialNumber.isEmpty())
    return {Entry::Outcome::empty, serialNumber,
            tr("Nothing to assign: type or scan a serial number, then press Enter.")};
  const auto place = placeDataModel_->selectedPlace();
  if (!place)
    return {Entry::Outcome::noPlace, serialNumber,
            tr("Select the place of %1 first, then press Enter again.").arg(serialNumber)};
  const std::string serial = serialNumber.toStdString();
  QStringList from;  // the places it leaves: its last assignment's, or the file's
  for (const auto& holder : placeDataModel_->placesHolding(serial))
    if (holder != place) from.push_back(QString::fromStdString(holder->name()));
  assignPeripherals(placeDataModel_, undoStack_, {serial}, place);
  const QString name = QString::fromStdString(place->name());
  // `arg` in one pass, so that a "%1" in a name stays as it is.
  const QString message =
      from.isEmpty()
          ? tr("Assigned %1 to %2.").arg(serialNumber, name)
          : tr("Assigned %1 to %2, moved from %3.").arg(serialNumber, name, from.join(QStringLiteral(", ")));
  emit serialNumberEntered(serialNumber, message);
  return {Entry::Outcome::assigned, serialNumber, message};
}

bool PeripheralAssignment::canUnassign() const {
  const auto& place = placeDataModel_->selectedPlace();
  return place &&
         std::any_of(selectedPeripherals_.begin(), selectedPeripherals_.end(), [&](const QString& serial) {
           return place->serialNumbers().contains(serial.toStdString());
         });
}

void PeripheralAssignment::unassign() {
  const auto place = placeDataModel_->selectedPlace();
  if (!canUnassign()) return;
  std::vector<std::string> held;
  for (const auto& serialNumber : selectedSerialNumbers())
    if (place->serialNumbers().contains(serialNumber)) held.push_back(serialNumber);
  perform(AssignmentCommand::Kind::unassign, held, place);
}

void PeripheralAssignment::perform(AssignmentCommand::Kind kind,
                                   const std::vector<std::string>& serialNumbers,
                                   const std::shared_ptr<TamrikPlace>& place) {
  performStep(placeDataModel_, undoStack_, kind, serialNumbers, place);
}

void assignPeripherals(const std::shared_ptr<PlaceDataModel>& placeDataModel, QUndoStack* undoStack,
                       const std::vector<std::string>& serialNumbers,
                       const std::shared_ptr<TamrikPlace>& place) {
  std::string line = "Assigning peripherals: [";
  for (std::size_t i = 0; i < serialNumbers.size(); ++i)
    line += (i ? ", \"" : "\"") + serialNumbers[i] + "\"";
  line += "] to place: " + (place ? place->name() : std::string("Unknown"));
  logLine(line);
  if (!place) return;
  performStep(placeDataModel, undoStack, AssignmentCommand::Kind::assign, serialNumbers, place);
}

PeripheralAssignment::Badge PeripheralAssignment::badge(const QString& serialNumber) const {
  const auto& selected = placeDataModel_->selectedPlace();
  const auto serial = serialNumber.toStdString();
  const auto& serialMap = placeDataModel_->serialMap();
  if (auto assigned = serialMap.find(serial); assigned != serialMap.end() && assigned->second) {
    if (!selected) return Badge::none;
    return assigned->second->placeId() == selected->placeId() ? Badge::assignedHere
                                                              : Badge::assignedElsewhere;
  }
  const auto holders = placeDataModel_->placesHolding(serial);
  if (holders.empty()) return Badge::none;
  const bool here = selected && std::any_of(holders.begin(), holders.end(), [&](const auto& holder) {
                      return holder->placeId() == selected->placeId();
                    });
  return here ? Badge::inFileHere : Badge::inFileElsewhere;
}

QString PeripheralAssignment::badgeText(const QString& serialNumber) const {
  const auto kind = badge(serialNumber);
  switch (kind) {
    case Badge::assignedHere:
      return tr("assigned");
    case Badge::assignedElsewhere:
      return tr("assigned to ") +
             QString::fromStdString(placeDataModel_->serialMap().at(serialNumber.toStdString())->name());
    case Badge::inFileHere:
    case Badge::inFileElsewhere:
      break;
    case Badge::none:
      return {};
  }
  // The places beyond the one named: a file may list a display at several desks.
  auto holders = placeDataModel_->placesHolding(serialNumber.toStdString());
  QString text;
  if (kind == Badge::inFileHere) {
    const auto& selected = placeDataModel_->selectedPlace()->placeId();
    std::erase_if(holders, [&](const auto& holder) { return holder->placeId() == selected; });
    text = tr("here in file");
  } else {
    text = tr("in file: ") + QString::fromStdString(holders.front()->name());
    holders.erase(holders.begin());
  }
  return holders.empty() ? text : text + tr(" and %1 more").arg(holders.size());
}

QString PeripheralAssignment::displaysWithoutSerialNumberText(int count) {
  if (count <= 0) return {};
  if (count == 1) return tr("1 connected display has no usable serial number and is not listed.");
  return tr("%1 connected displays have no usable serial number and are not listed.").arg(count);
}

QString PeripheralAssignment::unlistedDisplaysNote() const {
  return displaysWithoutSerialNumberText(peripheralManager_->displaysWithoutSerialNumber());
}

void PeripheralAssignment::peripheralsChanged() {
  auto peripherals = peripheralManager_->peripherals();
  if (!sameSerialNumbers(peripherals, knownPeripherals_)) {
    std::erase_if(selectedPeripherals_, [&](const QString& serialNumber) {
      return std::none_of(peripherals.begin(), peripherals.end(),
                          [&](const PeripheralInfo& info) { return info.serialNumber == serialNumber; });
    });
  }
  knownPeripherals_ = std::move(peripherals);
  emit changed();
}

void PeripheralAssignment::selectedPlaceChanged() {
  auto placeId = placeIdOf(placeDataModel_->selectedPlace());
  if (placeId != knownSelectedPlace_) selectedPeripherals_.clear();
  knownSelectedPlace_ = std::move(placeId);
  emit changed();
}

// --- The list model -------------------------------------------------------------------------------------

PeripheralListModel::PeripheralListModel(PeripheralAssignment& assignment, QObject* parent)
    : QAbstractListModel(parent),
      assignment_(assignment),
      peripherals_(assignment.peripheralManager()->peripherals()) {
  connect(assignment_.peripheralManager().get(), &PeripheralManager::peripheralsChanged, this, [this] {
    beginResetModel();
    peripherals_ = assignment_.peripheralManager()->peripherals();
    endResetModel();
  });
  connect(&assignment_, &PeripheralAssignment::changed, this, [this] {
    if (!peripherals_.isEmpty()) emit dataChanged(index(0), index(rowCount() - 1));
  });
}

int PeripheralListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(peripherals_.size());
}

QVariant PeripheralListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const PeripheralInfo& info = peripherals_.at(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return info.productName;
    case SerialNumberRole:
      return info.serialNumber;
    case IconRole:
      return info.icon;
    case BadgeRole:
      return static_cast<int>(assignment_.badge(info.serialNumber));
    case BadgeTextRole:
      return assignment_.badgeText(info.serialNumber);
    case SelectedRole:
      return assignment_.isSelected(info.serialNumber);
    case Qt::ToolTipRole:
      // A tooltip takes markup; a product name is shown as it is.
      return Qt::convertFromPlainText(info.productName + QLatin1Char('\n') + info.serialNumber);
    default:
      return {};
  }
}

}  // namespace tamrik
