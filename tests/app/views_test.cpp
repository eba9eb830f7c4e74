#include <gtest/gtest.h>

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>

#include "app/location_view.hpp"
#include "app/peripheral_view.hpp"
#include "app/theme.hpp"
#include "app_support.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::AppScratch;
using test::captureStdout;

namespace {

// Two zones whose places share an identifier; P2 holds a serial number from the file.
const std::string kRows =
    "L1,Head office,F1,First,Z1,North,P1,Desk 1,\n"
    "L1,Head office,F1,First,Z1,North,P2,Desk 2,SN9\n"
    "L1,Head office,F1,First,Z2,South,P1,Desk 1 south,\n";

struct Views {
  AppScratch scratch;
  std::shared_ptr<PlaceDataModel> model = std::make_shared<PlaceDataModel>();
  std::shared_ptr<PeripheralManager> manager =
      test::managerWith({{"SN1", "DELL U2412M"}, {"SN2", "HP Z24n"}});

  std::vector<QString> column(const QAbstractItemModel& items, int role = Qt::DisplayRole,
                              const QModelIndex& parent = {}) const {
    std::vector<QString> out;
    for (int row = 0; row < items.rowCount(parent); ++row)
      out.push_back(items.index(row, 0, parent).data(role).toString());
    return out;
  }
  const TamrikZone& zone(std::size_t level, std::size_t index) const {
    return model->locations().at(0).levels.at(level).zones.at(index);
  }
};

}  // namespace

TEST(LocationView, ShowsTheEmptyStateWithThePanelUntilAFileIsLoaded) {
  Views views;
  LocationView view(views.model, views.manager);
  EXPECT_TRUE(view.showsEmptyState());
  auto labels = view.findChildren<QLabel*>();
  auto shows = [&](const QString& text) {
    return std::any_of(labels.begin(), labels.end(), [&](QLabel* label) { return label->text() == text; });
  };
  EXPECT_TRUE(shows("No locations loaded."));
  EXPECT_TRUE(shows("Please open a CSV file from the File menu to load locations."));
  ASSERT_NE(view.peripheralView(), nullptr);
  EXPECT_EQ(view.peripheralView()->list()->model()->rowCount(), 2);  // displays are listed already
  view.resize(1000, 600);
  test::screenshot(view, QStringLiteral("empty-state"));

  test::loadRows(*views.model, views.scratch, kRows);
  EXPECT_FALSE(view.showsEmptyState());
  EXPECT_GE(view.minimumSizeHint().width(), 900);
}

TEST(LocationView, BrowsesLocationsLevelsAndZones) {
  Views views;
  test::loadRows(*views.model, views.scratch, kRows);
  LocationView view(views.model, views.manager);
  auto& tree = view.locationTree();
  EXPECT_EQ(views.column(tree), std::vector<QString>{"Head office"});
  QModelIndex office = tree.index(0, 0);
  EXPECT_EQ(views.column(tree, Qt::DisplayRole, office), std::vector<QString>{"First"});
  EXPECT_EQ(views.column(tree, Qt::DisplayRole, tree.index(0, 0, office)),
            (std::vector<QString>{"North", "South"}));
  EXPECT_FALSE(view.sidebar()->isExpanded(office));  // groups start collapsed
  EXPECT_EQ(tree.parent(tree.index(1, 0, tree.index(0, 0, office))), tree.index(0, 0, office));

  // Clicking a zone shows its places; the symbol tells whether a place holds displays.
  auto north = tree.zonePath(tree.index(0, 0, tree.index(0, 0, office)));
  ASSERT_TRUE(north);
  EXPECT_EQ(*north, (ZonePath{"L1", "F1", "Z1"}));
  EXPECT_FALSE(tree.zonePath(office));
  view.selectZone(*north);
  EXPECT_EQ(views.column(view.placesModel()), (std::vector<QString>{"Desk 1", "Desk 2"}));
  EXPECT_EQ(views.column(view.placesModel(), PlacesModel::SymbolRole),
            (std::vector<QString>{"square", "number.square"}));

  // A level without zones is an empty group.
  views.model->setLocations({{"L2", "Annex", {{"F1", "Ground", {}}}}});
  EXPECT_EQ(tree.rowCount(tree.index(0, 0, tree.index(0, 0))), 0);
}

TEST(LocationView, ActsOnRowsClickedOrReachedWithTheKeyboard) {
  Views views;
  test::loadRows(*views.model, views.scratch, kRows);
  LocationView view(views.model, views.manager);
  view.resize(1000, 600);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.selectZone({"L1", "F1", "Z1"});
  QListView* places = view.placesList();
  QTest::mouseClick(places->viewport(), Qt::LeftButton, {},
                    places->visualRect(view.placesModel().index(0)).center());
  ASSERT_TRUE(views.model->selectedPlace());
  EXPECT_EQ(views.model->selectedPlace()->name(), "Desk 1");

  places->setCurrentIndex(view.placesModel().index(1));
  QTest::keyClick(places, Qt::Key_Space);
  ASSERT_TRUE(views.model->selectedPlace());
  EXPECT_EQ(views.model->selectedPlace()->name(), "Desk 2");

  // Return on a group opens it; on a zone, shows its places.
  QTreeView* sidebar = view.sidebar();
  QModelIndex office = view.locationTree().index(0, 0);
  sidebar->setCurrentIndex(office);
  QTest::keyClick(sidebar, Qt::Key_Return);
  EXPECT_TRUE(sidebar->isExpanded(office));
  sidebar->setCurrentIndex(view.locationTree().index(1, 0, view.locationTree().index(0, 0, office)));
  QTest::keyClick(sidebar, Qt::Key_Return);
  EXPECT_EQ(view.selectedZone()->zoneId, "Z2");
}

TEST(LocationView, HighlightsEveryPlaceWithTheSelectedIdentifier) {
  Views views;
  test::loadRows(*views.model, views.scratch, kRows);
  LocationView view(views.model, views.manager);
  view.selectZone({"L1", "F1", "Z2"});  // South: its P1 is another desk with the same identifier
  views.model->setSelectedPlace(views.zone(0, 0).places[0]);
  EXPECT_TRUE(view.placesModel().index(0).data(PlacesModel::HighlightedRole).toBool());
  EXPECT_TRUE(view.placesModel().index(0).data(Qt::BackgroundRole).isValid());

  // A load shows the same zone of the new hierarchy, or none when it is gone.
  test::loadRows(*views.model, views.scratch, "L1,Head office,F1,First,Z2,South,P8,Desk 8,\n", "other.csv");
  ASSERT_TRUE(view.selectedZone());
  EXPECT_EQ(views.column(view.placesModel()), std::vector<QString>{"Desk 8"});
  test::loadRows(*views.model, views.scratch, "L9,Elsewhere,F1,First,Z2,South,P7,Desk 7,\n", "third.csv");
  EXPECT_FALSE(view.selectedZone());
  EXPECT_EQ(view.placesModel().rowCount(), 0);
}

TEST(LocationView, ShowsThePlacesSerialNumbersUnderTheirNames) {
  Views views;
  test::loadRows(*views.model, views.scratch,
                 kRows +
                     "L1,Head office,F1,First,Z2,South,P3,Desk <b>3</b>,SN8\n"
                     "L1,Head office,F1,First,Z2,South,P3,Desk <b>3</b>,SN7\n");
  LocationView view(views.model, views.manager);
  view.selectZone({"L1", "F1", "Z2"});
  auto& places = view.placesModel();
  EXPECT_EQ(views.column(places, PlacesModel::SerialNumbersRole), (std::vector<QString>{"", "SN7, SN8"}));
  // Names and serial numbers are the file's: the tooltip shows them as they are.
  EXPECT_EQ(places.index(1).data(Qt::ToolTipRole).toString(),
            Qt::convertFromPlainText("Desk <b>3</b>\nSN7, SN8"));
  const QFont font = view.placesList()->font();
  EXPECT_GE(view.placesList()->sizeHintForRow(0),
            QFontMetrics(font).height() + QFontMetrics(captionFont(font)).height());

  QSignalSpy rowsChanged(&places, &QAbstractItemModel::dataChanged);
  captureStdout([&] { views.model->assignSerialNumbers({"SN1"}, views.zone(0, 1).places[0]); });
  EXPECT_FALSE(rowsChanged.isEmpty());
  EXPECT_EQ(views.column(places, PlacesModel::SerialNumbersRole), (std::vector<QString>{"SN1", "SN7, SN8"}));
  view.resize(1000, 400);
  test::screenshot(view, QStringLiteral("places-serial-numbers"));
}

TEST(LocationView, CountsThePlacesWithADisplayInEveryGroupAsAssignmentsChangeThem) {
  Views views;
  test::loadRows(*views.model, views.scratch, kRows);
  QUndoStack history;
  LocationView view(views.model, views.manager, &history);
  auto& tree = view.locationTree();
  const QModelIndex office = tree.index(0, 0), first = tree.index(0, 0, office);
  const QModelIndex north = tree.index(0, 0, first), south = tree.index(1, 0, first);
  auto counts = [&] {
    return std::vector<QString>{office.data(LocationTreeModel::PlaceCountRole).toString(),
                                first.data(LocationTreeModel::PlaceCountRole).toString(),
                                north.data(LocationTreeModel::PlaceCountRole).toString(),
                                south.data(LocationTreeModel::PlaceCountRole).toString()};
  };
  EXPECT_EQ(counts(), (std::vector<QString>{"1/3", "1/3", "1/2", "0/1"}));
  view.selectZone({"L1", "F1", "Z2"});
  EXPECT_EQ(view.zoneSummary(), "0 of 1 places in Zone South have a display");

  // The rows of the zone and its groups are told, and so is the summary.
  QSignalSpy rowsChanged(&tree, &QAbstractItemModel::dataChanged);
  QSignalSpy summaries(&view, &LocationView::zoneSummaryChanged);
  views.model->setSelectedPlace(views.zone(0, 1).places[0]);
  auto& panel = view.peripheralView()->assignment();
  panel.toggle("SN1");
  captureStdout([&] { panel.assign(); });
  EXPECT_EQ(counts(), (std::vector<QString>{"2/3", "2/3", "1/2", "1/1"}));
  EXPECT_EQ(rowsChanged.count(), 3);
  ASSERT_EQ(summaries.count(), 1);
  EXPECT_EQ(summaries.at(0).at(0).toString(), "1 of 1 places in Zone South have a display");
  view.resize(1000, 400);
  view.sidebar()->expandAll();
  test::screenshot(view, QStringLiteral("sidebar-counts"));

  history.undo();
  EXPECT_EQ(counts(), (std::vector<QString>{"1/3", "1/3", "1/2", "0/1"}));
  EXPECT_EQ(view.zoneSummary(), "0 of 1 places in Zone South have a display");
  test::loadRows(*views.model, views.scratch, "L1,Head office,F1,First,Z2,South,P8,Desk 8,SN4\n", "new.csv");
  EXPECT_EQ(tree.index(0, 0).data(LocationTreeModel::PlaceCountRole).toString(), "1/1");
  EXPECT_EQ(view.zoneSummary(), "1 of 1 places in Zone South have a display");
}

TEST(LocationView, NarrowsThePlacesToThoseWithoutADisplay) {
  Views views;
  test::loadRows(
      *views.model, views.scratch,
      kRows + "L1,Head office,F1,First,Z1,North,P3,Desk 3,\nL1,Head office,F1,First,Z1,North,P4,Desk 4,\n");
  LocationView view(views.model, views.manager);
  view.selectZone({"L1", "F1", "Z1"});
  auto& places = view.placesModel();
  view.onlyWithoutDisplayAction()->trigger();
  EXPECT_EQ(views.column(places), (std::vector<QString>{"Desk 1", "Desk 3", "Desk 4"}));

  // The place just given a display stays until another is picked, and the others keep their rows.
  auto desk3 = views.zone(0, 0).places[2];
  views.model->setSelectedPlace(desk3);
  QSignalSpy resets(&places, &QAbstractItemModel::modelReset);
  captureStdout([&] { views.model->assignSerialNumbers({"SN1"}, desk3); });
  EXPECT_EQ(views.column(places), (std::vector<QString>{"Desk 1", "Desk 3", "Desk 4"}));
  views.model->setSelectedPlace(views.zone(0, 0).places[0]);
  EXPECT_EQ(views.column(places), (std::vector<QString>{"Desk 1", "Desk 4"}));
  captureStdout([&] { views.model->unassignSerialNumbers({"SN9"}, views.zone(0, 0).places[1]); });
  EXPECT_EQ(views.column(places), (std::vector<QString>{"Desk 1", "Desk 2", "Desk 4"}));
  EXPECT_EQ(resets.count(), 0);

  // With a search, both narrow; another zone keeps the toggle.
  view.setSearchText("desk 4");
  EXPECT_EQ(views.column(places), std::vector<QString>{"Desk 4"});
  view.setSearchText({});
  view.selectZone({"L1", "F1", "Z2"});
  EXPECT_EQ(views.column(places), std::vector<QString>{"Desk 1 south"});
  view.onlyWithoutDisplayAction()->trigger();
  view.selectZone({"L1", "F1", "Z1"});
  EXPECT_EQ(places.rowCount(), 4);
}

TEST(PeripheralView, EnablesAssignOnlyWithAPlaceAndADisplaySelected) {
  Views views;
  test::loadRows(*views.model, views.scratch, kRows);
  PeripheralView panel(views.manager, views.model);
  auto& assignment = panel.assignment();
  EXPECT_EQ(panel.title()->text(), "Select a place to assign peripherals");
  assignment.toggle("SN1");
  EXPECT_FALSE(panel.assignButton()->isEnabled());
  EXPECT_EQ(assignment.badgeText("SN1"), "");

  views.model->setSelectedPlace(views.zone(0, 0).places[0]);  // another place: the selection empties
  EXPECT_TRUE(assignment.selectedPeripherals().empty());
  EXPECT_EQ(panel.title()->text(), "Assign peripherals to Desk 1");
  EXPECT_FALSE(panel.assignButton()->isEnabled());
  assignment.toggle("SN1");
  assignment.toggle("SN2");
  EXPECT_TRUE(panel.assignButton()->isEnabled());
  assignment.toggle("SN2");  // a second click deselects
  EXPECT_EQ(assignment.selectedPeripherals(), std::set<QString>{"SN1"});
}

TEST(PeripheralView, AssignsTheSelectedDisplaysAndShowsWhereTheyAre) {
  Views views;
  test::loadRows(*views.model, views.scratch, kRows);
  PeripheralView panel(views.manager, views.model);
  auto& assignment = panel.assignment();
  auto desk1 = views.zone(0, 0).places[0], desk2 = views.zone(0, 0).places[1];
  views.model->setSelectedPlace(desk1);
  assignment.toggle("SN2");
  assignment.toggle("SN1");
  std::string log = test::captureStdout([&] { panel.assignButton()->click(); });
  EXPECT_EQ(log.substr(0, log.find('\n')), "Assigning peripherals: [\"SN1\", \"SN2\"] to place: Desk 1");
  EXPECT_EQ(desk1->serialNumbers(), (SerialNumbers{"SN1", "SN2"}));
  EXPECT_EQ(assignment.badgeText("SN1"), "assigned");
  EXPECT_EQ(assignment.selectedPeripherals().size(), 2u);  // the selection stays
  panel.resize(380, 300);
  test::screenshot(panel, QStringLiteral("peripheral-panel"));

  views.model->setSelectedPlace(desk2);
  EXPECT_EQ(assignment.badgeText("SN1"), "assigned to Desk 1");
  EXPECT_EQ(assignment.badge("SN1"), PeripheralAssignment::Badge::assignedElsewhere);
  EXPECT_EQ(assignment.badgeText("SN9"), "here in file");  // not assigned in this run
  EXPECT_TRUE(assignment.selectedPeripherals().empty());
}

TEST(PeripheralView, SaysWhereTheFilePutsADisplayUntilAnAssignmentMovesIt) {
  Views views;
  test::loadRows(*views.model, views.scratch,
                 "L1,Head office,F1,First,Z1,North,P1,Desk 1,SN1\n"
                 "L1,Head office,F1,First,Z1,North,P2,Desk 2,SN2\n"
                 "L1,Head office,F1,First,Z2,South,P3,Desk 3,SN2\n");
  QUndoStack history;
  PeripheralView panel(views.manager, views.model, &history);
  auto& assignment = panel.assignment();
  auto badgeOf = [&](int row) {
    auto kind = panel.list()->model()->index(row, 0).data(PeripheralListModel::BadgeRole).toInt();
    return static_cast<PeripheralAssignment::Badge>(kind);
  };
  EXPECT_EQ(assignment.badgeText("SN1"), "in file: Desk 1");
  EXPECT_EQ(assignment.badgeText("SN2"), "in file: Desk 2 and 1 more");  // the first in the hierarchy

  views.model->setSelectedPlace(views.zone(0, 0).places[0]);
  EXPECT_EQ(assignment.badgeText("SN1"), "here in file");
  EXPECT_EQ(badgeOf(0), PeripheralAssignment::Badge::inFileHere);
  EXPECT_EQ(badgeOf(1), PeripheralAssignment::Badge::inFileElsewhere);
  panel.resize(380, 300);
  test::screenshot(panel, QStringLiteral("peripheral-panel-in-file"));

  // An assignment of this session says "assigned" instead; undone, the file speaks again.
  assignment.toggle("SN2");
  captureStdout([&] { assignment.assign(); });
  EXPECT_EQ(assignment.badgeText("SN2"), "assigned");
  history.undo();
  EXPECT_EQ(assignment.badgeText("SN2"), "in file: Desk 2 and 1 more");
  views.model->setSelectedPlace(views.zone(0, 1).places[0]);
  EXPECT_EQ(assignment.badgeText("SN2"), "here in file and 1 more");
}

TEST(PeripheralView, DropsDisplaysThatAreNoLongerAttachedFromTheSelection) {
  Views views;
  PeripheralView panel(views.manager, views.model);
  auto& assignment = panel.assignment();
  assignment.toggle("SN1");
  assignment.toggle("SN2");
  views.manager->setPeripherals(views.manager->peripherals());  // the same list: nothing changes
  EXPECT_EQ(assignment.selectedPeripherals().size(), 2u);
  views.manager->setPeripherals({{"SN2", "HP Z24n", "display"}, {"SN3", "New", "display"}});
  EXPECT_EQ(assignment.selectedPeripherals(), std::set<QString>{"SN2"});
  EXPECT_EQ(panel.list()->model()->rowCount(), 2);
  EXPECT_FALSE(panel.list()->model()->index(1, 0).data(PeripheralListModel::SelectedRole).toBool());
}

TEST(PeripheralView, SaysQuietlyHowManyDisplaysItLeavesOut) {
  Views views;
  PeripheralView panel(views.manager, views.model);
  QLabel* note = panel.unlistedNote();
  EXPECT_TRUE(note->isHidden());
  EXPECT_EQ(note->textFormat(), Qt::PlainText);
  views.manager->setDisplaysWithoutSerialNumber(2);
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(note->text(), "2 connected displays have no usable serial number and are not listed.");
  panel.resize(380, 300);
  test::screenshot(panel, QStringLiteral("peripheral-panel-unlisted"));
  views.manager->setDisplaysWithoutSerialNumber(1);
  EXPECT_EQ(note->text(), "1 connected display has no usable serial number and is not listed.");
  views.manager->setDisplaysWithoutSerialNumber(0);
  EXPECT_TRUE(note->isHidden());
}

TEST(LocationView, FindsPlacesIgnoringCaseAndAccents) {
  Views views;
  test::loadRows(*views.model, views.scratch,
                 kRows +
                     "ZRH,Café Zürich,E0,Erdgeschoss,S1,Studio,A1,Arbeitsplatz 1,\n"
                     "ZRH,Café Zürich,E0,Erdgeschoss,S1,Studio,A2,Arbeitsplatz 2,\n");
  LocationView view(views.model, views.manager);
  auto& tree = view.locationTree();
  ASSERT_EQ(views.column(tree), (std::vector<QString>{"Café Zürich", "Head office"}));
  view.sidebar()->expand(tree.index(1, 0));  // as the user left it

  for (const char* text : {"cafe", "ZURICH"}) {
    view.searchField()->clear();
    QTest::keyClicks(view.searchField(), text);
    QTest::qWait(1);  // the search follows the keys
    EXPECT_EQ(views.column(tree), std::vector<QString>{"Café Zürich"}) << text;
  }

  // Keys that arrive together are searched for once, when the last of them is in.
  view.searchField()->clear();
  QTest::qWait(1);
  QSignalSpy searches(&tree, &QAbstractItemModel::modelReset);
  for (char key : std::string("zur")) {
    QCoreApplication::postEvent(view.searchField(),
                                new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, QString(QChar(key))));
  }
  QTest::qWait(1);
  EXPECT_EQ(view.searchField()->text(), "zur");
  EXPECT_EQ(searches.count(), 1);
  EXPECT_EQ(views.column(tree), std::vector<QString>{"Café Zürich"});
  EXPECT_TRUE(view.sidebar()->isExpanded(tree.index(0, 0)));  // what was found is opened

  // A place's name narrows the zones to the one holding it, and the places column to the place.
  view.selectZone({"L1", "F1", "Z1"});
  view.setSearchText("desk 2");
  EXPECT_EQ(views.column(tree), std::vector<QString>{"Head office"});
  EXPECT_EQ(views.column(tree, Qt::DisplayRole, tree.index(0, 0, tree.index(0, 0))),
            std::vector<QString>{"North"});
  EXPECT_EQ(views.column(view.placesModel()), std::vector<QString>{"Desk 2"});
  view.setSearchText("north");  // the zone itself: all its places
  EXPECT_EQ(views.column(view.placesModel()), (std::vector<QString>{"Desk 1", "Desk 2"}));

  // Escape empties the field: everything shows, the groups as they were.
  QTest::keyClick(view.searchField(), Qt::Key_Escape);
  QTest::qWait(1);
  EXPECT_TRUE(view.searchField()->text().isEmpty());
  EXPECT_EQ(views.column(tree), (std::vector<QString>{"Café Zürich", "Head office"}));
  EXPECT_TRUE(view.sidebar()->isExpanded(tree.index(1, 0)));
  EXPECT_FALSE(view.sidebar()->isExpanded(tree.index(0, 0)));
  EXPECT_EQ(view.placesModel().rowCount(), 2);

  // A load while searching searches the new hierarchy, where the zone may sit elsewhere.
  view.setSearchText("desk");
  test::loadRows(*views.model, views.scratch,
                 "A1,Annex A,F1,First,Z1,North,P5,Desk 5,\nA2,Annex B,F1,First,Z1,North,P6,Desk 6,\n" + kRows,
                 "more.csv");
  EXPECT_EQ(views.column(tree), (std::vector<QString>{"Annex A", "Annex B", "Head office"}));
  EXPECT_EQ(views.column(view.placesModel()), (std::vector<QString>{"Desk 1", "Desk 2"}));
}
