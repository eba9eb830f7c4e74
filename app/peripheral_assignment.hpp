#pragma once

// The assignment panel's state and rules, apart from its widgets: which displays the user selected, the
// badges, when "Assign" is enabled, and what it does.

#include <QAbstractListModel>
#include <QList>
#include <QObject>
#include <QString>
#include <QUndoStack>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/assignment_command.hpp"
#include "model/place_data_model.hpp"
#include "peripherals/peripheral_manager.hpp"

namespace tamrik {

/// The displays selected in the panel, by serial number, and the rules that keep the selection true to the
/// models: a display that is no longer attached leaves it, and another place empties it.
///
/// ```cpp
/// PeripheralAssignment panel(peripheralManager, placeDataModel);
/// panel.toggle("CN465018YN");
/// if (panel.canAssign()) panel.assign();  // logs and assigns to the selected place
/// ```
class PeripheralAssignment : public QObject {
  Q_OBJECT
 public:
  /// With `undoStack`, assignments and unassignments become steps of that history.
  PeripheralAssignment(std::shared_ptr<PeripheralManager> peripheralManager,
                       std::shared_ptr<PlaceDataModel> placeDataModel, QUndoStack* undoStack = nullptr,
                       QObject* parent = nullptr);

  const std::shared_ptr<PeripheralManager>& peripheralManager() const noexcept { return peripheralManager_; }
  const std::shared_ptr<PlaceDataModel>& placeDataModel() const noexcept { return placeDataModel_; }

  /// The serial numbers of the selected displays.
  const std::set<QString>& selectedPeripherals() const noexcept { return selectedPeripherals_; }
  bool isSelected(const QString& serialNumber) const { return selectedPeripherals_.contains(serialNumber); }
  /// Selects the display with `serialNumber`, or deselects it when it is selected.
  void toggle(const QString& serialNumber);
  void clearSelection();

  /// "Select a place to assign peripherals", or "Assign peripherals to " and the selected place's name.
  QString title() const;
  /// Whether a place is selected and at least one display is.
  bool canAssign() const;
  /// Logs "Assigning peripherals: " with the selected serial numbers and the place, and assigns them to the
  /// selected place. The selection stays.
  void assign();
  /// Whether a place is selected that holds one of the selected displays.
  bool canUnassign() const;
  /// Takes the selected displays that the selected place holds away from it. The selection stays.
  void unassign();

  /// What became of a serial number typed by hand or by a barcode scanner.
  struct Entry {
    enum class Outcome { assigned, empty, noPlace };
    Outcome outcome = Outcome::empty;
    QString serialNumber = {};  ///< the text without white space at its ends
    /// What to tell the user: "Assigned S to Desk 3, moved from Desk 7.", or why nothing was assigned.
    QString message = {};
  };
  /// Assigns the serial number `text`, without the white space at its ends, to the selected place as
  /// "Assign" does (one desk per display, the same log lines, one step). Refuses an empty text, or no
  /// place selected, with a message and nothing else. `serialNumberEntered` tells of an assignment.
  Entry enterSerialNumber(const QString& text);

  enum class Badge { none, assignedHere, assignedElsewhere, inFileHere, inFileElsewhere };
  /// The badge of the display with `serialNumber`. One assigned in this run has its badge only while a
  /// place is selected; one that no assignment moved has the places the loaded file puts it at, if any.
  Badge badge(const QString& serialNumber) const;
  /// "assigned", "assigned to " and the other place's name; "here in file", or "in file: " and the first
  /// place in hierarchy order, each followed by " and N more" where the file puts it at more; or nothing.
  QString badgeText(const QString& serialNumber) const;

  /// "1 connected display has no usable serial number and is not listed.", or the same of `count` displays;
  /// nothing when `count` is 0.
  static QString displaysWithoutSerialNumberText(int count);
  /// That sentence for the attached displays that the list leaves out, or nothing when there are none.
  QString unlistedDisplaysNote() const;

 signals:
  /// The selection, the title, a badge, the note or whether "Assign" is enabled may have changed.
  void changed();
  /// `enterSerialNumber` assigned `serialNumber` to the selected place; `message` says so, and where from.
  void serialNumberEntered(const QString& serialNumber, const QString& message);

 private:
  void peripheralsChanged();
  void selectedPlaceChanged();
  std::vector<std::string> selectedSerialNumbers() const;
  void perform(AssignmentCommand::Kind kind, const std::vector<std::string>& serialNumbers,
               const std::shared_ptr<TamrikPlace>& place);

  std::shared_ptr<PeripheralManager> peripheralManager_;
  std::shared_ptr<PlaceDataModel> placeDataModel_;
  QUndoStack* undoStack_;
  std::set<QString> selectedPeripherals_;
  QList<PeripheralInfo> knownPeripherals_;         // to tell a changed list from a repeated one
  std::optional<std::string> knownSelectedPlace_;  // its `placeId`
};

/// What "Assign" does with `serialNumbers` and `place`: logs "Assigning peripherals: " with the serial
/// numbers and the place's name ("Unknown" for none), then assigns them to the place, each taken from
/// wherever it was, as one step of `undoStack` (when there is one, and the assignment changed something).
/// Walking a zone and the serial number field assign through it too.
void assignPeripherals(const std::shared_ptr<PlaceDataModel>& placeDataModel, QUndoStack* undoStack,
                       const std::vector<std::string>& serialNumbers,
                       const std::shared_ptr<TamrikPlace>& place);

/// The displays as a list for views, in enumeration order. `Qt::DisplayRole` is the product name; the other
/// roles below give what a row shows.
class PeripheralListModel : public QAbstractListModel {
  Q_OBJECT
 public:
  enum Role { SerialNumberRole = Qt::UserRole + 1, IconRole, BadgeRole, BadgeTextRole, SelectedRole };

  explicit PeripheralListModel(PeripheralAssignment& assignment, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  PeripheralAssignment& assignment_;
  QList<PeripheralInfo> peripherals_;
};

}  // namespace tamrik
