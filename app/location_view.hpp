#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/location_models.hpp"
#include "peripherals/peripheral_manager.hpp"

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QSplitter;
class QStackedLayout;
class QStackedWidget;
class QTreeView;
class QUndoStack;

namespace tamrik {

class PeripheralView;

/// The main window's content: with nothing loaded, an instruction card beside the assignment panel;
/// otherwise three columns, the locations with their levels and zones (each with how many of its places
/// have a display), the places of the zone clicked last, and the assignment panel.
class LocationView : public QWidget {
  Q_OBJECT
 public:
  /// `counts`: the store's, where others share them; without, the view makes its own.
  LocationView(std::shared_ptr<PlaceDataModel> placeDataModel,
               std::shared_ptr<PeripheralManager> peripheralManager, QUndoStack* undoStack = nullptr,
               std::shared_ptr<PlaceCounts> counts = nullptr, QWidget* parent = nullptr);

  /// The zone clicked last, as it was then. A load moves it to the zone with the same identifiers in the
  /// new hierarchy, or clears it when there is none.
  const std::optional<TamrikZone>& selectedZone() const noexcept { return places_.zone(); }
  /// Shows the places of the zone at `path`, as clicking its row does; clears them if there is none.
  void selectZone(const ZonePath& path);
  /// Where the zone whose places are shown is.
  const std::optional<ZonePath>& selectedZonePath() const noexcept { return selectedZonePath_; }
  /// Shows the places of the zone at `zone` and scrolls its place at `position` (in the zone's order) into
  /// view, clearing a search that hides it, and makes it the list's current row, where the keys act next.
  void revealPlace(const ZonePath& zone, std::size_t position);

  /// Narrows the sidebar and the places to what `text` finds (case and accents ignored); an empty text shows
  /// everything again, with the groups opened as they were before the search.
  void setSearchText(const QString& text);
  /// "Find a place": what is typed there is searched for once the window has handled the keys that came
  /// with it.
  QLineEdit* searchField() const noexcept { return searchField_; }

  /// "Only places without a display": checked, the places column shows those (and the selected place).
  QAction* onlyWithoutDisplayAction() const noexcept { return onlyWithoutDisplay_; }
  /// "N of M places in Zone X have a display" for the zone whose places are shown, or nothing.
  QString zoneSummary() const;

  bool showsEmptyState() const;
  /// Puts `actions` (what the window offers to do, such as opening a file) in the empty card, under its
  /// texts. The view takes it over.
  void setEmptyStateActions(QWidget* actions);
  QTreeView* sidebar() const noexcept { return sidebar_; }
  QListView* placesList() const noexcept { return placesList_; }
  PeripheralView* peripheralView() const noexcept { return peripheralView_; }
  LocationTreeModel& locationTree() noexcept { return tree_; }
  PlacesModel& placesModel() noexcept { return places_; }
  const PlaceCounts& placeCounts() const noexcept { return *counts_; }

 signals:
  /// `zoneSummary` changed: another zone, a load, or an assignment in the zone.
  void zoneSummaryChanged(const QString& summary);
  /// The assignment panel's serial number field assigned `serialNumber`; `message` says where to and from.
  void serialNumberEntered(const QString& serialNumber, const QString& message);

 private:
  void updateLayout();
  void locationsChanged();
  void applySearch();
  void applyPlacesFilter();
  std::set<std::vector<std::string>> expandedGroups() const;
  void expandGroups(const std::set<std::vector<std::string>>& groups);
  void expandAllGroups();
  QWidget* makeEmptyState();
  QWidget* makeBrowser();

  std::shared_ptr<PlaceDataModel> placeDataModel_;
  std::shared_ptr<PeripheralManager> peripheralManager_;
  QUndoStack* undoStack_;
  std::shared_ptr<PlaceCounts> counts_;
  LocationTreeModel tree_;
  PlacesModel places_;
  QStackedLayout* pages_;
  QWidget* emptyState_;
  QWidget* emptyActionsSlot_;
  QWidget* emptyPanelSlot_;
  QSplitter* browser_;
  QTreeView* sidebar_;
  QStackedWidget* placesColumn_;
  QListView* placesList_;
  QAction* onlyWithoutDisplay_;
  QWidget* detailSlot_;
  PeripheralView* peripheralView_ = nullptr;
  std::optional<ZonePath> selectedZonePath_;
  QLineEdit* searchField_ = nullptr;
  QString searchText_;
  bool searchQueued_ = false;  // the field's text changed; the search follows once pending events are handled
  // Prepared with the hierarchy where it was read, else made on the first search after a load.
  std::shared_ptr<const PlaceSearch> search_;
  std::optional<SearchResult> searchResult_;
  std::set<std::vector<std::string>> groupsBeforeSearch_;  // the groups the user had opened
};

/// What the window shows: the location view inside the standard margin.
class ContentView : public QWidget {
  Q_OBJECT
 public:
  ContentView(std::shared_ptr<PlaceDataModel> placeDataModel,
              std::shared_ptr<PeripheralManager> peripheralManager, QUndoStack* undoStack = nullptr,
              std::shared_ptr<PlaceCounts> counts = nullptr, QWidget* parent = nullptr);
  LocationView* locationView() const noexcept { return locationView_; }

 private:
  LocationView* locationView_;
};

}  // namespace tamrik
