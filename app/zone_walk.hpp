#pragma once

// Walking mode: a technician fits out a zone desk by desk, and only plugs in and unplugs.

#include <QObject>
#include <QString>
#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/location_models.hpp"
#include "model/place_counts.hpp"
#include "model/place_data_model.hpp"
#include "peripherals/peripheral_manager.hpp"

class QTimer;
class QUndoStack;

namespace tamrik {

/// A walk through the places of one zone that hold no serial number, apart from any widget. The walk selects
/// its current place in the store; a display that appears in the manager's list assigns itself there (as
/// "Assign" would, one step per change of the list), and once every display it assigned there has left the
/// list again, and stayed away for `settleTime`, the walk moves on to the next place without one. The
/// displays listed when the walk started are never assigned by it. Of the two entries a listing may give one
/// monitor, the walk assigns only the first (its alphanumeric serial number).
///
/// ```cpp
/// ZoneWalk walk(peripheralManager, placeDataModel, &undoStack);
/// walk.start({"HQ", "1", "N"});  // selects the zone's first place without a serial number
/// // plug in: assigned to that place; unplug: the next place is selected; after the last, `finished`
/// ```
///
/// Places come and go in the zone's order, from the current one on and round to its start again, so that a
/// place that lost its display meanwhile (to another desk, or to Undo) comes round again. A skipped place is
/// not offered again in this walk. Selecting another place of the zone makes it the current one; selecting
/// anything else, or a load, stops the walk.
class ZoneWalk : public QObject {
  Q_OBJECT
 public:
  /// `idle`: no walk. `walking`: a place is current. `finished`: the walk ran out of places; its texts say
  /// how the zone stands until `stop`.
  enum class State { idle, walking, finished };

  /// With `undoStack`, each assignment the walk makes is a step of it. `counts` are the store's, shared with
  /// the views that show them (a second would count the hierarchy again); without, the walk makes its own.
  ZoneWalk(std::shared_ptr<PeripheralManager> peripheralManager,
           std::shared_ptr<PlaceDataModel> placeDataModel, QUndoStack* undoStack = nullptr,
           std::shared_ptr<const PlaceCounts> counts = nullptr, QObject* parent = nullptr);

  State state() const noexcept { return state_; }
  bool isWalking() const noexcept { return state_ == State::walking; }

  /// Walks the zone at `path` (another walk stops first): notes the displays listed now and selects the
  /// zone's first place, in its order, that holds no serial number. When every place holds one, the walk is
  /// `finished` at once. False, and nothing changes, when there is no such zone, it has no places, or the
  /// walk is held.
  bool start(const ZonePath& path);
  /// Held while a file is read that would replace the places: no walk starts (`start` refuses), so that none
  /// assigns what the load would then replace without asking. Holding stops a walk that runs.
  void setHeld(bool held);
  bool isHeld() const noexcept { return held_; }
  /// Ends the walk, finished or not. The selection stays.
  void stop();
  /// Moves on to the next place without a serial number; `finished` when there is none.
  void nextPlace();
  /// Leaves the current place for the rest of this walk, and moves on as `nextPlace` does.
  void skipPlace();
  /// Tells the walk that `serialNumber` was entered by hand and assigned to the selected place: while
  /// `enteredCountsAsPluggedIn`, it counts as a display plugged in there (and, never listed, as one already
  /// unplugged). Otherwise, or when the walk is elsewhere, nothing changes.
  void noteEntered(const QString& serialNumber);

  /// Whether the walk moves on by itself once the current place's displays are unplugged (else "Next
  /// Place" does). On by default.
  bool moveOnWhenUnplugged() const noexcept { return moveOnWhenUnplugged_; }
  void setMoveOnWhenUnplugged(bool on);
  /// Whether a serial number entered by hand counts as a display plugged in. Off by default.
  bool enteredCountsAsPluggedIn() const noexcept { return enteredCountsAsPluggedIn_; }
  void setEnteredCountsAsPluggedIn(bool on);
  /// How long the displays of a place must stay unplugged before the walk moves on: a dock or a
  /// multi-stream hub lists its displays again now and then, dropping them for a moment.
  std::chrono::milliseconds settleTime() const noexcept { return settleTime_; }
  void setSettleTime(std::chrono::milliseconds time) { settleTime_ = time; }
  /// A dock's re-enumeration lists its displays again within a second; the technician walking to the next
  /// desk takes longer than this.
  static constexpr std::chrono::milliseconds kSettleTime{1500};

  /// The zone walked, while not `idle`.
  const std::optional<ZonePath>& zonePath() const noexcept { return zonePath_; }
  /// The place the walk is at; null unless `walking`.
  const std::shared_ptr<TamrikPlace>& currentPlace() const noexcept { return currentPlace_; }
  /// Its position in the zone's order.
  std::size_t currentPosition() const noexcept { return current_; }
  /// The displays the walk assigned (or, as the option says, that were entered) at the current place and
  /// that it still holds.
  std::vector<std::string> assignedHere() const;
  /// "Walking Zone North: Desk 3"; once finished "Every place of Zone North has a display." or how many
  /// have none; empty when `idle`.
  QString headline() const;
  /// What to do: "Plug in the displays of Desk 3.", then "Unplug the displays of Desk 3 to move on." or
  /// "Plug in more, or press Next Place (Space)."; to type a label's serial number when a display plugged
  /// in gives none; once finished, how to go on.
  QString instruction() const;
  /// "3 of 40 places without a display left".
  QString progress() const;

 signals:
  /// The state, the place, the texts or an option may have changed: once per change of the display list.
  void changed();
  /// The walk went to another place (or started at one): the views bring it into view.
  void currentPlaceChanged();

 private:
  void peripheralsChanged();
  void selectedPlaceChanged();
  // The next place without a serial number that is not skipped, from `from` round to before it.
  std::optional<std::size_t> nextWithoutDisplay(std::size_t from, bool includingFrom) const;
  void moveTo(std::optional<std::size_t> place);
  // Whether the option says to move on and every display assigned here is gone from `listed_`.
  bool unpluggedHere() const;
  // Moves on when `unpluggedHere`.
  bool moveOnIfUnplugged();
  std::size_t placesWithoutDisplay() const;
  // `changed`, or once the list change being handled is done.
  void notify();

  std::shared_ptr<PeripheralManager> peripheralManager_;
  std::shared_ptr<PlaceDataModel> placeDataModel_;
  QUndoStack* undoStack_;
  std::shared_ptr<const PlaceCounts> counts_;
  QTimer* settle_;  // runs while the displays of the current place are unplugged
  std::chrono::milliseconds settleTime_ = kSettleTime;
  State state_ = State::idle;
  bool held_ = false;
  std::optional<ZonePath> zonePath_;
  std::array<std::size_t, 3> zoneAt_{};  // its positions, for its counts
  QString zoneName_;
  std::vector<std::shared_ptr<TamrikPlace>> places_;  // the zone's, in its order
  std::size_t current_ = 0;
  std::shared_ptr<TamrikPlace> currentPlace_;
  std::set<const TamrikPlace*> skipped_;
  std::set<QString> displaysAtStart_;
  int unreadableAtStart_ = 0;  // displays listed without a usable serial number when the walk started
  std::set<QString> listed_;   // the displays of the manager's list as the walk last saw it
  std::set<std::string> assignedHere_;  // by the walk at the current place, whether still held or not
  bool moveOnWhenUnplugged_ = true;
  bool enteredCountsAsPluggedIn_ = false;
  bool selecting_ = false;  // the walk itself changes the selection
  bool batching_ = false;   // a list change is handled: `changed` waits for its end
  bool dirty_ = false;      // and is due then
};

}  // namespace tamrik
