#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QUndoStack>
#include <cstdio>

#include "app/location_view.hpp"
#include "app/peripheral_view.hpp"
#include "app/seatloom_app.hpp"
#include "app/walk_banner.hpp"
#include "app/zone_walk.hpp"
#include "app_support.hpp"
#include "peripherals/display_notices.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::AppScratch;
using test::captureStdout;

namespace {

const ZonePath kNorth{"L1", "F1", "Z1"};

// The places of zone North, "Desk 01" to "Desk <count>" (so that their names sort as their numbers), with
// the serial numbers the file gives some of them, and a desk of zone South that holds "MON-X".
std::string zoneRows(int count, const std::map<int, std::string>& serials = {}) {
  std::string rows;
  for (int desk = 1; desk <= count; ++desk) {
    char name[16];
    std::snprintf(name, sizeof name, "%02d", desk);
    auto serial = serials.find(desk);
    rows += std::string("L1,Head Office,F1,First Floor,Z1,North,P") + name + ",Desk " + name + "," +
            (serial == serials.end() ? "" : serial->second) + "\n";
  }
  return rows + "L1,Head Office,F1,First Floor,Z2,South,S1,South desk,MON-X\n";
}

// The displays, as the command source lists them from a file the test rewrites; the notices come through
// `handleDisplayChange`, where the platform delivers them. A "changed" notice (the kernel's hot-plug event)
// enumerates again.
class Displays {
 public:
  explicit Displays(const AppScratch& scratch) : file_(scratch.path() / "displays.txt") { write({}); }

  /// The product names of some serial numbers; "Monitor " and the serial number for the others.
  std::map<std::string, std::string> products;

  /// `--display-command` for the file.
  QString command() const { return QStringLiteral("cat '%1'").arg(QString::fromStdString(file_.string())); }
  void write(const std::vector<std::string>& serials) const {
    std::string lines;
    for (const auto& serial : serials)
      lines += R"("DisplayAttributes" = {"ProductAttributes"={"AlphanumericSerialNumber"=")" + serial +
               R"(","ProductName"=")" +
               (products.contains(serial) ? products.at(serial) : "Monitor " + serial) + "\"}}\n";
    std::ofstream(file_, std::ios::binary) << lines;
  }
  /// Rewrites the file to list `serials` and delivers the kernel's notice; returns the log.
  std::string attach(PeripheralManager& manager, const std::vector<std::string>& serials) const {
    write(serials);
    return captureStdout([&] { manager.handleDisplayChange(3, 0); });
  }

 private:
  std::filesystem::path file_;
};

// A walk without widgets: a store, a manager listing through the command source, and a history.
struct Walk {
  AppScratch scratch;
  Displays displays{scratch};
  std::shared_ptr<PlaceDataModel> model = std::make_shared<PlaceDataModel>();
  std::shared_ptr<PeripheralManager> manager =
      PeripheralManager::create(std::make_unique<CommandDisplaySource>(displays.command()));
  QUndoStack history;
  ZoneWalk walk{manager, model, &history};

  explicit Walk(int places = 4, const std::map<int, std::string>& serials = {{1, "SN-FILE"}}) {
    test::loadRows(*model, scratch, zoneRows(places, serials));
  }
  std::shared_ptr<TamrikPlace> desk(int number) const {
    return model->locations()[0].levels[0].zones[0].places.at(static_cast<std::size_t>(number - 1));
  }
  std::shared_ptr<TamrikPlace> southDesk() const {
    return model->locations()[0].levels[0].zones[1].places[0];
  }
  std::string attach(const std::vector<std::string>& serials) { return displays.attach(*manager, serials); }
  std::string current() const { return walk.currentPlace() ? walk.currentPlace()->name() : "(none)"; }
};

// A shell whose displays come from the command source over a file.
struct WalkShell {
  AppScratch scratch;
  Displays displays{scratch};
  TamrikSeatloomApp app{AppOptions{false, displays.command(), std::nullopt}, scratch.settings()};
  MainWindow& window = *app.window();
  LocationView& view = *window.contentView()->locationView();
  WalkBanner& banner = *window.walkBanner();

  explicit WalkShell(int places = 4, const std::map<int, std::string>& serials = {{1, "SN-FILE"}}) {
    app.openFile(scratch.write("places.csv", test::kHeader + zoneRows(places, serials)));
    app.setUnsavedPrompt([](QWidget*) { return TamrikSeatloomApp::UnsavedChoice::discard; });
  }
  ~WalkShell() { window.hide(); }  // closing would ask about the assignments
  std::string attach(const std::vector<std::string>& serials) {
    return displays.attach(*app.peripheralManager(), serials);
  }
  std::shared_ptr<TamrikPlace> desk(int number) const {
    return app.placeDataModel()->locations()[0].levels[0].zones[0].places.at(
        static_cast<std::size_t>(number - 1));
  }
  std::string selected() const {
    const auto& place = app.placeDataModel()->selectedPlace();
    return place ? place->name() : "(none)";
  }
  void showActive() {
    window.resize(1180, 720);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
};

std::vector<QString> entries(const QMenu* menu) {
  std::vector<QString> out;
  for (const QAction* action : menu->actions())
    out.push_back(action->isSeparator() ? QStringLiteral("---") : action->text());
  return out;
}

}  // namespace

TEST(ZoneWalk, AssignsWhatIsPluggedInAndMovesOnOnceItIsUnplugged) {
  Walk w;
  w.attach({"LAPTOP"});  // the technician's own screen, attached before walking
  ASSERT_TRUE(w.walk.start(kNorth));
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::walking);
  EXPECT_EQ(w.current(), "Desk 02");  // Desk 01 holds a serial number from the file
  EXPECT_EQ(w.model->selectedPlace(), w.desk(2));
  EXPECT_EQ(w.walk.displaysAtStart(), std::set<QString>{"LAPTOP"});
  EXPECT_EQ(w.walk.headline(), "Walking Zone North: Desk 02");
  EXPECT_EQ(w.walk.instruction(), "Plug in the displays of Desk 02.");
  EXPECT_EQ(w.walk.progress(), "3 of 4 places without a display left");

  // A notice of an added screen lists nothing anew, so it assigns nothing; the kernel's does.
  w.displays.write({"LAPTOP", "MON-A"});
  EXPECT_EQ(captureStdout([&] { w.manager->handleDisplayChange(3, kDisplayAdded); }), "Display added: 3\n");
  EXPECT_TRUE(w.desk(2)->serialNumbers().empty());
  EXPECT_EQ(w.attach({"LAPTOP", "MON-A"}),
            "Display changed: 3\n"
            "Assigning peripherals: [\"MON-A\"] to place: Desk 02\n"
            "Assigned serial MON-A to place Desk 02\n");
  EXPECT_EQ(w.desk(2)->serialNumbers(), SerialNumbers{"MON-A"});
  EXPECT_EQ(w.history.count(), 1);
  EXPECT_EQ(w.history.undoText(), "Assign 1 Display to Desk 02");
  EXPECT_EQ(w.walk.instruction(), "Unplug the displays of Desk 02 to move on.");
  EXPECT_EQ(w.walk.progress(), "2 of 4 places without a display left");

  // A second display at the same desk: its own step. It was at a desk of another zone: a display stands at
  // one desk.
  EXPECT_EQ(w.attach({"MON-A", "LAPTOP", "MON-X"}),
            "Display changed: 3\n"
            "Assigning peripherals: [\"MON-X\"] to place: Desk 02\n"
            "Assigned serial MON-X to place Desk 02\n");
  EXPECT_EQ(w.desk(2)->serialNumbers(), (SerialNumbers{"MON-A", "MON-X"}));
  EXPECT_TRUE(w.southDesk()->serialNumbers().empty());
  EXPECT_EQ(w.history.count(), 2);

  // Unplugging one of them is not enough; unplugging both moves on. The laptop's screen, unplugged and
  // plugged in again, is still the technician's own.
  w.attach({"MON-X"});
  EXPECT_EQ(w.current(), "Desk 02");
  w.attach({"LAPTOP"});
  EXPECT_EQ(w.current(), "Desk 03");
  EXPECT_EQ(w.model->selectedPlace(), w.desk(3));
  EXPECT_EQ(w.walk.instruction(), "Plug in the displays of Desk 03.");

  // One listing that sees a desk's displays gone and the next desk's in: on to the next desk first.
  w.attach({"LAPTOP", "MON-B"});
  EXPECT_EQ(w.attach({"LAPTOP", "MON-C"}),
            "Display changed: 3\n"
            "Assigning peripherals: [\"MON-C\"] to place: Desk 04\n"
            "Assigned serial MON-C to place Desk 04\n");
  EXPECT_EQ(w.desk(3)->serialNumbers(), SerialNumbers{"MON-B"});
  EXPECT_EQ(w.desk(4)->serialNumbers(), SerialNumbers{"MON-C"});

  // After the last place the walk ends, and says so; what is plugged in then stays unassigned.
  w.attach({});
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::finished);
  EXPECT_EQ(w.walk.headline(), "Every place of Zone North has a display.");
  EXPECT_EQ(w.walk.progress(), "0 of 4 places without a display left");
  EXPECT_EQ(w.attach({"LAPTOP", "MON-D"}), "Display changed: 3\n");
  EXPECT_FALSE(w.model->serialMap().contains("LAPTOP"));
  EXPECT_EQ(w.history.count(), 4);
  w.walk.stop();
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::idle);
  EXPECT_EQ(w.walk.headline(), "");
}

TEST(ZoneWalk, MovesOnByHandSkipsAndComesRoundToPlacesLeftWithoutADisplay) {
  Walk w(5);
  w.walk.setMoveOnWhenUnplugged(false);
  w.walk.start(kNorth);
  w.attach({"MON-A"});
  w.attach({});
  EXPECT_EQ(w.current(), "Desk 02");  // the option is off: Next Place moves on
  EXPECT_EQ(w.walk.instruction(),
            "Plug in more displays of Desk 02, or press Next Place (Space) to move on.");
  w.walk.nextPlace();
  EXPECT_EQ(w.current(), "Desk 03");
  w.walk.skipPlace();
  EXPECT_EQ(w.current(), "Desk 04");
  w.walk.nextPlace();  // nothing plugged in at Desk 04: it comes round again, after Desk 05
  EXPECT_EQ(w.current(), "Desk 05");
  w.history.undo();  // Desk 02 loses its display
  w.walk.nextPlace();
  EXPECT_EQ(w.current(), "Desk 02");  // round to the start; Desk 03 was skipped
  w.walk.nextPlace();
  EXPECT_EQ(w.current(), "Desk 04");
  w.walk.nextPlace();
  EXPECT_EQ(w.current(), "Desk 05");
  w.walk.skipPlace();
  w.walk.skipPlace();
  w.walk.skipPlace();
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::finished);
  EXPECT_EQ(w.walk.headline(), "Walk of Zone North ended: 4 places have no display.");

  // A new walk offers the skipped places again; turning the option on with the displays gone moves on.
  w.walk.start(kNorth);
  EXPECT_EQ(w.current(), "Desk 02");
  w.attach({"MON-B"});
  w.attach({});
  EXPECT_EQ(w.current(), "Desk 02");
  w.walk.setMoveOnWhenUnplugged(true);
  EXPECT_EQ(w.current(), "Desk 03");
}

TEST(ZoneWalk, FollowsThePlacePickedInTheZoneAndStopsForOneElsewhere) {
  Walk w;
  w.walk.start(kNorth);
  w.model->setSelectedPlace(w.desk(4));
  EXPECT_EQ(w.current(), "Desk 04");
  w.attach({"MON-A"});
  EXPECT_EQ(w.desk(4)->serialNumbers(), SerialNumbers{"MON-A"});
  w.attach({});
  EXPECT_EQ(w.current(), "Desk 02");  // round to the start
  w.model->setSelectedPlace(w.southDesk());
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::idle);
  w.attach({"MON-B"});
  EXPECT_FALSE(w.model->serialMap().contains("MON-B"));

  EXPECT_FALSE(w.walk.start({"L1", "F1", "nowhere"}));
  w.walk.start(kNorth);
  test::loadRows(*w.model, w.scratch, zoneRows(3), "other.csv");  // its places are gone
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::idle);
  // A zone whose places all have a display is walked at once.
  ASSERT_TRUE(w.walk.start({"L1", "F1", "Z2"}));
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::finished);
  EXPECT_EQ(w.walk.headline(), "Every place of Zone South has a display.");
}

TEST(ZoneWalk, UndoTakesBackWhatTheWalkWaitsFor) {
  Walk w;
  w.walk.start(kNorth);
  w.attach({"MON-A"});
  w.history.undo();
  EXPECT_TRUE(w.desk(2)->serialNumbers().empty());
  EXPECT_TRUE(w.walk.assignedHere().empty());
  EXPECT_EQ(w.walk.instruction(), "Plug in the displays of Desk 02.");
  w.attach({});  // nothing assigned here any more: nothing to move on for
  EXPECT_EQ(w.current(), "Desk 02");
  w.history.redo();
  EXPECT_EQ(w.walk.assignedHere(), std::vector<std::string>{"MON-A"});
  w.attach({"MON-A"});
  w.attach({});
  EXPECT_EQ(w.current(), "Desk 03");
}

// --- The window -------------------------------------------------------------------------------------------

TEST(Walk, IsOfferedInThePlacesMenuOnAToolbarAndWithF6) {
  WalkShell shell;
  auto* places = shell.window.menuBar()->actions().back()->menu();
  ASSERT_NE(places, nullptr);
  EXPECT_EQ(places->title(), "&Places");
  EXPECT_EQ(entries(places),
            (std::vector<QString>{"Walk Zone", "---", "Next Place", "Skip Place", "Stop Walking"}));
  QAction* walkZone = shell.banner.walkZoneAction();
  EXPECT_EQ(walkZone->shortcut(), QKeySequence(Qt::Key_F6));
  auto* toolBar = shell.window.findChild<QToolBar*>(QStringLiteral("WalkToolBar"));
  ASSERT_NE(toolBar, nullptr);
  EXPECT_TRUE(toolBar->actions().contains(walkZone));
  // One action, in every place.
  EXPECT_TRUE(places->actions().contains(walkZone));
  EXPECT_FALSE(walkZone->isEnabled());  // no zone shown yet
  EXPECT_FALSE(shell.banner.nextPlaceAction()->isEnabled());

  shell.showActive();
  shell.view.selectZone(kNorth);
  EXPECT_TRUE(walkZone->isEnabled());
  EXPECT_TRUE(shell.banner.isHidden());
  QTest::keyClick(&shell.window, Qt::Key_F6);
  EXPECT_EQ(shell.app.zoneWalk().state(), ZoneWalk::State::walking);
  EXPECT_TRUE(shell.banner.isVisible());
  EXPECT_TRUE(shell.banner.hasFocus());  // where Space and Escape work
  EXPECT_EQ(shell.selected(), "Desk 02");
  EXPECT_EQ(shell.banner.headline()->text(), "Walking Zone North: Desk 02");
  EXPECT_EQ(shell.banner.instruction()->text(), "Plug in the displays of Desk 02.");
  EXPECT_EQ(shell.banner.progress()->text(), "3 of 4 places without a display left");
  EXPECT_TRUE(shell.banner.nextPlaceAction()->isEnabled());
}

TEST(Walk, SpaceMovesOnAndEscapeStopsOnlyWhereTheFocusHasNoUseForThem) {
  WalkShell shell(6);
  shell.showActive();
  shell.view.selectZone(kNorth);
  shell.banner.walkZoneAction()->trigger();
  shell.banner.moveOnOption()->click();  // off: Space moves on
  EXPECT_FALSE(shell.app.zoneWalk().moveOnWhenUnplugged());
  ASSERT_TRUE(shell.banner.hasFocus());
  QTest::keyClick(&shell.banner, Qt::Key_Space);
  EXPECT_EQ(shell.selected(), "Desk 03");

  // A text field takes Space as text, and Escape in the search field clears it.
  QLineEdit* field = shell.view.peripheralView()->serialNumberField();
  field->setFocus();
  QTest::keyClick(field, Qt::Key_Space);
  EXPECT_EQ(field->text(), " ");
  EXPECT_EQ(shell.selected(), "Desk 03");
  field->clear();
  QLineEdit* search = shell.view.searchField();
  search->setFocus();
  QTest::keyClicks(search, "desk 0");
  EXPECT_EQ(shell.selected(), "Desk 03");
  QTest::keyClick(search, Qt::Key_Escape);
  EXPECT_TRUE(search->text().isEmpty());
  EXPECT_TRUE(shell.app.zoneWalk().isWalking());

  // In the places list Space picks the row, and the walk goes there.
  QListView* places = shell.view.placesList();
  places->setFocus();
  places->setCurrentIndex(shell.view.placesModel().index(4));
  QTest::keyClick(places, Qt::Key_Space);
  EXPECT_EQ(shell.selected(), "Desk 05");
  EXPECT_EQ(shell.app.zoneWalk().currentPlace(), shell.desk(5));

  // A banner button clicked leaves the focus where it was; Space there moves on once, not twice.
  shell.banner.setFocus();
  QTest::keyClick(&shell.banner, Qt::Key_Space);
  EXPECT_EQ(shell.selected(), "Desk 06");
  QTest::keyClick(&shell.banner, Qt::Key_Escape);
  EXPECT_EQ(shell.app.zoneWalk().state(), ZoneWalk::State::idle);
  EXPECT_TRUE(shell.banner.isHidden());
  QTest::keyClick(&shell.window, Qt::Key_Space);  // no walk: Space does nothing here
  EXPECT_EQ(shell.selected(), "Desk 06");
}

TEST(Walk, KeepsTheCurrentPlaceInViewAndShowsItsZone) {
  WalkShell shell(40);
  shell.showActive();
  shell.view.selectZone(kNorth);
  shell.view.setSearchText("desk 01");  // hides the places the walk goes to
  shell.banner.walkZoneAction()->trigger();
  shell.view.selectZone({"L1", "F1", "Z2"});  // the technician looks elsewhere
  for (int desk = 2; desk < 38; ++desk) shell.app.zoneWalk().skipPlace();
  EXPECT_EQ(shell.selected(), "Desk 38");
  EXPECT_EQ(shell.view.selectedZonePath(), kNorth);
  EXPECT_TRUE(shell.view.searchField()->text().isEmpty());
  QListView* list = shell.view.placesList();
  const QRect row = list->visualRect(shell.view.placesModel().index(37));
  EXPECT_TRUE(list->viewport()->rect().contains(row)) << row.y() << " of " << list->viewport()->height();
}

TEST(Walk, FitsOutAFortyPlaceZoneAndUndoesIt) {
  // Four desks have their displays from the file; a laptop's screen is attached throughout.
  WalkShell shell(40, {{5, "FILE-05"}, {12, "FILE-12"}, {20, "FILE-20"}, {33, "FILE-33"}});
  shell.showActive();
  shell.attach({"LAPTOP"});
  shell.view.selectZone(kNorth);
  QUndoStack& history = shell.app.undoStack();
  ZoneWalk& walk = shell.app.zoneWalk();
  QElapsedTimer timer;
  timer.start();
  shell.banner.walkZoneAction()->trigger();

  int notices = 0, desks = 0, displays = 0;
  std::string log;
  std::vector<std::string> visited;
  while (walk.isWalking()) {
    const auto desk = walk.currentPlace();
    visited.push_back(desk->name());
    ++desks;
    // Every third desk has two monitors, plugged in one after the other.
    const std::string serial = "CN" + desk->placeId();
    std::vector<std::string> attached{"LAPTOP", serial};
    log += shell.attach(attached);
    ++notices;
    ++displays;
    if (desks % 3 == 0) {
      attached.push_back(serial + "-2");
      log += shell.attach(attached);
      ++notices;
      ++displays;
    }
    if (desks == 34) {
      EXPECT_EQ(shell.banner.progress()->text(), "2 of 40 places without a display left");
      EXPECT_EQ(shell.banner.instruction()->text(),
                QString::fromStdString("Unplug the displays of " + desk->name() + " to move on."));
      test::screenshot(shell.window, QStringLiteral("walk-banner-unplug"));
    }
    EXPECT_EQ(shell.selected(), desk->name());
    log += shell.attach({"LAPTOP"});
    ++notices;
  }
  const auto elapsed = timer.elapsed();
  EXPECT_EQ(desks, 36);
  EXPECT_EQ(visited.front(), "Desk 01");
  EXPECT_EQ(visited.back(), "Desk 40");
  EXPECT_EQ(std::count(visited.begin(), visited.end(), "Desk 05"), 0);  // it had its display
  EXPECT_EQ(displays, 48);
  EXPECT_EQ(history.count(), 48);  // one step per change of the list that brought a display
  EXPECT_EQ(shell.banner.headline()->text(), "Every place of Zone North has a display.");
  EXPECT_TRUE(shell.banner.closeButton()->isVisible());
  EXPECT_EQ(shell.view.zoneSummary(), "40 of 40 places in Zone North have a display");
  EXPECT_FALSE(shell.app.placeDataModel()->serialMap().contains("LAPTOP"));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), notices + 2 * displays);  // notice, Assigning, Assigned
  EXPECT_TRUE(shell.app.hasUnsavedAssignments());
  EXPECT_TRUE(shell.window.isWindowModified());

  // Undo steps back through every assignment of the walk, to the file as it was; Redo brings them back.
  int undone = 0;
  while (shell.window.undoAction()->isEnabled()) {
    shell.window.undoAction()->trigger();
    ++undone;
  }
  EXPECT_EQ(undone, 48);
  EXPECT_FALSE(shell.app.hasUnsavedAssignments());
  EXPECT_EQ(shell.view.zoneSummary(), "4 of 40 places in Zone North have a display");
  EXPECT_EQ(shell.banner.headline()->text(), "Walk of Zone North ended: 36 places have no display.");
  while (shell.window.redoAction()->isEnabled()) shell.window.redoAction()->trigger();
  EXPECT_EQ(shell.view.zoneSummary(), "40 of 40 places in Zone North have a display");
  EXPECT_EQ(shell.desk(3)->serialNumbers(), (SerialNumbers{"CNP03", "CNP03-2"}));
  QTest::keyClick(&shell.window, Qt::Key_Escape);
  EXPECT_TRUE(shell.banner.isHidden());
  std::fprintf(stderr,
               "[ walk     ] 40-place zone: %d desks walked, %d notices, %d displays assigned in %d steps, "
               "%lld ms; %d undone and redone\n",
               desks, notices, displays, static_cast<int>(history.count()), static_cast<long long>(elapsed),
               undone);
}

TEST(Walk, IsStoppedByAReloadAndByClosingBeforeTheyAsk) {
  WalkShell shell;
  shell.showActive();
  auto& walk = shell.app.zoneWalk();
  shell.view.selectZone(kNorth);
  shell.banner.walkZoneAction()->trigger();
  shell.attach({"MON-A"});
  shell.app.openFile(shell.scratch.path() / "places.csv");  // a reload: the walk's places are gone
  EXPECT_EQ(walk.state(), ZoneWalk::State::idle);
  EXPECT_TRUE(shell.banner.isHidden());
  shell.attach({"MON-A", "MON-B"});
  EXPECT_TRUE(shell.app.placeDataModel()->serialMap().empty());

  // Opening another file as the user does: the walk stops before the question about the assignments.
  shell.view.selectZone(kNorth);
  shell.banner.walkZoneAction()->trigger();
  shell.attach({"MON-C"});
  ASSERT_TRUE(shell.app.hasUnsavedAssignments());
  std::optional<ZoneWalk::State> whileAsked;
  shell.app.setUnsavedPrompt([&](QWidget*) {
    whileAsked = walk.state();
    return TamrikSeatloomApp::UnsavedChoice::cancel;
  });
  shell.app.openFileFromUser(shell.scratch.path() / "places.csv");
  EXPECT_EQ(whileAsked, ZoneWalk::State::idle);
  shell.attach({"MON-D"});  // after the answer, nothing more is assigned
  EXPECT_FALSE(shell.app.placeDataModel()->serialMap().contains("MON-D"));

  // And so does closing the window.
  shell.banner.walkZoneAction()->trigger();
  ASSERT_TRUE(walk.isWalking());
  whileAsked.reset();
  EXPECT_FALSE(shell.window.close());
  EXPECT_EQ(whileAsked, ZoneWalk::State::idle);
  EXPECT_TRUE(shell.banner.isHidden());
}

// --- The serial number field ------------------------------------------------------------------------------

TEST(SerialNumberField, AssignsWhatIsTypedOrScannedOnEnter) {
  WalkShell shell;
  shell.showActive();
  shell.view.selectZone(kNorth);
  auto& model = *shell.app.placeDataModel();
  PeripheralView& panel = *shell.view.peripheralView();
  QLineEdit* field = panel.serialNumberField();
  QLabel* note = panel.entryNote();

  // No place selected: refused, and the text kept for when there is one.
  field->setFocus();
  QTest::keyClicks(field, "CN465018YN");
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(note->text(), "Select the place of CN465018YN first, then press Enter again.");
  EXPECT_EQ(field->text(), "CN465018YN");
  EXPECT_TRUE(model.serialMap().empty());

  // A scanner's text with white space around it, and its Enter.
  model.setSelectedPlace(shell.desk(3));
  field->setText(QStringLiteral("  CN465018YN\t"));
  std::string log = captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  EXPECT_EQ(log,
            "Assigning peripherals: [\"CN465018YN\"] to place: Desk 03\n"
            "Assigned serial CN465018YN to place Desk 03\n");
  EXPECT_EQ(shell.desk(3)->serialNumbers(), SerialNumbers{"CN465018YN"});
  EXPECT_TRUE(field->text().isEmpty());  // ready for the next label
  EXPECT_TRUE(note->isHidden());
  EXPECT_EQ(shell.window.statusBar()->currentMessage(), "Assigned CN465018YN to Desk 03.");
  EXPECT_EQ(shell.app.undoStack().undoText(), "Assign 1 Display to Desk 03");

  // The same serial number at another desk: it moves, and the status bar says where from.
  model.setSelectedPlace(shell.desk(4));
  QTest::keyClicks(field, "CN465018YN");
  captureStdout([&] { QTest::keyClick(field, Qt::Key_Enter); });
  EXPECT_TRUE(shell.desk(3)->serialNumbers().empty());
  EXPECT_EQ(shell.window.statusBar()->currentMessage(),
            "Assigned CN465018YN to Desk 04, moved from Desk 03.");
  // From a place the file puts it at, too.
  QTest::keyClicks(field, " SN-FILE ");
  captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  EXPECT_EQ(shell.window.statusBar()->currentMessage(), "Assigned SN-FILE to Desk 04, moved from Desk 01.");
  EXPECT_EQ(shell.app.undoStack().count(), 3);

  // White space alone is refused with a word, not silently.
  QTest::keyClicks(field, "   ");
  EXPECT_EQ(captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); }), "");
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(note->text(), "Nothing to assign: type or scan a serial number, then press Enter.");
  EXPECT_EQ(shell.app.undoStack().count(), 3);
  QTest::keyClick(field, Qt::Key_Return);  // and an empty field likewise
  EXPECT_FALSE(note->isHidden());
  panel.resize(380, 460);
  test::screenshot(panel, QStringLiteral("serial-number-field-refused"));
  QTest::keyClicks(field, "C");
  EXPECT_TRUE(note->isHidden());  // answered by typing
}

TEST(SerialNumberField, MovesTheWalkOnOnlyWhenTheBannerSaysSo) {
  WalkShell shell;
  shell.showActive();
  shell.view.selectZone(kNorth);
  shell.banner.walkZoneAction()->trigger();
  QLineEdit* field = shell.view.peripheralView()->serialNumberField();
  field->setFocus();
  QTest::keyClicks(field, "BOXED-1");
  captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  EXPECT_EQ(shell.desk(2)->serialNumbers(), SerialNumbers{"BOXED-1"});
  EXPECT_EQ(shell.selected(), "Desk 02");  // by default entering does not move on
  EXPECT_EQ(shell.banner.instruction()->text(),
            "Plug in more displays of Desk 02, or press Next Place (Space) to move on.");

  shell.banner.enteredOption()->click();
  EXPECT_TRUE(shell.app.zoneWalk().enteredCountsAsPluggedIn());
  QTest::keyClicks(field, "BOXED-2");
  captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  EXPECT_EQ(shell.desk(2)->serialNumbers(), (SerialNumbers{"BOXED-1", "BOXED-2"}));
  EXPECT_EQ(shell.selected(), "Desk 03");  // never listed, so "unplugged" already
  EXPECT_TRUE(field->hasFocus());          // the next label can be scanned at once

  // A display plugged in at the same desk is still waited for.
  shell.attach({"MON-A"});
  QTest::keyClicks(field, "BOXED-3");
  captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  EXPECT_EQ(shell.selected(), "Desk 03");
  shell.attach({});
  EXPECT_EQ(shell.selected(), "Desk 04");
}

// The README's pictures of walking: the banner at a desk, and the field with a label's serial number.
TEST(Screenshot, ShowsTheWalkBannerAndTheSerialNumberField) {
  WalkShell shell(40, {{3, "CN465018YN"}, {7, "TK85K3140JEL"}});
  shell.displays.products = {{"5CG1182XQ9", "Built-in display"},
                             {"CN0VW5JT1", "DELL P2419H"},
                             {"CN0VW5JT2", "DELL P2419H"},
                             {"CN0VW5JT3", "DELL P2419H"},
                             {"CN0VW5JT4", "DELL P2419H"}};
  shell.showActive();
  shell.attach({"5CG1182XQ9"});  // the laptop's own screen
  shell.view.sidebar()->expandAll();
  shell.view.selectZone(kNorth);
  shell.banner.walkZoneAction()->trigger();
  for (const char* serial : {"CN0VW5JT1", "CN0VW5JT2", "CN0VW5JT3"}) {
    shell.attach({"5CG1182XQ9", serial});
    shell.attach({"5CG1182XQ9"});
  }
  EXPECT_EQ(shell.banner.instruction()->text(), "Plug in the displays of Desk 05.");
  test::screenshot(shell.window, QStringLiteral("walk"));

  shell.attach({"5CG1182XQ9", "CN0VW5JT4"});
  QLineEdit* field = shell.view.peripheralView()->serialNumberField();
  field->setFocus();
  QTest::keyClicks(field, "CN0VW5JT9");  // a second monitor, still boxed
  shell.window.resize(1180, 600);
  test::screenshot(*shell.view.peripheralView(), QStringLiteral("label-serial-number"));
  captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  EXPECT_EQ(shell.desk(5)->serialNumbers(), (SerialNumbers{"CN0VW5JT4", "CN0VW5JT9"}));
}
