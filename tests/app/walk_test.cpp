#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <QUndoStack>
#include <chrono>
#include <cstdio>

#include "app/location_view.hpp"
#include "app/peripheral_view.hpp"
#include "app/seatloom_app.hpp"
#include "app/walk_banner.hpp"
#include "app/zone_walk.hpp"
#include "app_support.hpp"
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

// The displays, as the command source lists them from a file the test rewrites. `attach` delivers the
// kernel's hot-plug notice, which enumerates again, and returns the log.
class Displays {
 public:
  explicit Displays(const AppScratch& scratch) : file_(scratch.path() / "displays.txt") { write({}); }
  std::map<std::string, std::string> products;  ///< by serial number; else "Monitor <serial>"
  QString command() const { return QStringLiteral("cat '%1'").arg(QString::fromStdString(file_.string())); }
  /// "AB#12" is one monitor with both serial numbers, "?" one that gives none.
  void write(const std::vector<std::string>& serials) const {
    std::string lines;
    for (const auto& entry : serials) {
      const auto hash = entry.find('#');
      const std::string serial = entry.substr(0, hash);
      lines += R"("DisplayAttributes" = {"ProductAttributes"={)" +
               (serial == "?" ? "" : R"("AlphanumericSerialNumber"=")" + serial + "\",") +
               (hash == std::string::npos ? "" : R"("SerialNumber"=)" + entry.substr(hash + 1) + ",") +
               R"("ProductName"=")" +
               (products.contains(serial) ? products.at(serial) : "Monitor " + serial) + "\"}}\n";
    }
    std::ofstream(file_, std::ios::binary) << lines;
  }
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
    walk.setSettleTime(std::chrono::milliseconds(0));
  }
  std::shared_ptr<TamrikPlace> desk(int number) const {
    return model->locations()[0].levels[0].zones[0].places.at(std::size_t(number - 1));
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
    app.zoneWalk().setSettleTime(std::chrono::milliseconds(0));
  }
  ~WalkShell() { window.hide(); }  // closing would ask about the assignments
  std::string attach(const std::vector<std::string>& serials) {
    return displays.attach(*app.peripheralManager(), serials);
  }
  std::shared_ptr<TamrikPlace> desk(int number) const {
    return app.placeDataModel()->locations()[0].levels[0].zones[0].places.at(std::size_t(number - 1));
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

}  // namespace

TEST(ZoneWalk, AssignsWhatIsPluggedInAndMovesOnOnceItIsUnplugged) {
  Walk w;
  w.attach({"LAPTOP"});  // the technician's own screen, attached before walking
  ASSERT_TRUE(w.walk.start(kNorth));
  EXPECT_EQ(w.current(), "Desk 02");  // Desk 01 holds a serial number from the file
  EXPECT_EQ(w.model->selectedPlace(), w.desk(2));
  EXPECT_EQ(w.walk.instruction(), "Plug in the displays of Desk 02.");
  EXPECT_EQ(w.attach({"LAPTOP", "MON-A"}),
            "Display changed: 3\n"
            "Assigning peripherals: [\"MON-A\"] to place: Desk 02\n"
            "Assigned serial MON-A to place Desk 02\n");
  EXPECT_EQ(w.history.undoText(), "Assign 1 Display to Desk 02");
  EXPECT_EQ(w.walk.instruction(), "Unplug the displays of Desk 02 to move on.");
  EXPECT_EQ(w.walk.progress(), "2 of 4 places without a display left");

  // A second display, taken from a desk of another zone, is a step of its own.
  w.attach({"MON-A", "LAPTOP", "MON-X"});
  EXPECT_EQ(w.desk(2)->serialNumbers(), (SerialNumbers{"MON-A", "MON-X"}));
  EXPECT_TRUE(w.southDesk()->serialNumbers().empty());
  EXPECT_EQ(w.history.count(), 2);

  // Unplugging one is not enough; unplugging both moves on. The laptop's screen stays the technician's.
  w.attach({"MON-X"});
  EXPECT_EQ(w.current(), "Desk 02");
  w.attach({"LAPTOP"});
  EXPECT_EQ(w.current(), "Desk 03");

  // One listing that sees a desk's displays gone and the next desk's in: on to the next desk first.
  w.attach({"LAPTOP", "MON-B"});
  w.attach({"LAPTOP", "MON-C"});
  EXPECT_EQ(w.desk(3)->serialNumbers(), SerialNumbers{"MON-B"});
  EXPECT_EQ(w.desk(4)->serialNumbers(), SerialNumbers{"MON-C"});

  // After the last place the walk ends, and says so; what is plugged in then stays unassigned.
  w.attach({});
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::finished);
  EXPECT_EQ(w.walk.headline(), "Every place of Zone North has a display.");
  EXPECT_EQ(w.attach({"LAPTOP", "MON-D"}), "Display changed: 3\n");
  EXPECT_FALSE(w.model->serialMap().contains("LAPTOP"));
  EXPECT_EQ(w.history.count(), 4);
}

TEST(ZoneWalk, AssignsOneSerialNumberPerMonitorAndWaitsOutABlinkOfTheList) {
  Walk w;
  w.walk.setSettleTime(std::chrono::milliseconds(1));
  w.walk.start(kNorth);
  // A monitor listed by both its serial numbers is one display: its alphanumeric one is assigned.
  EXPECT_EQ(w.attach({"MON-A#4711"}),
            "Display changed: 3\n"
            "Assigning peripherals: [\"MON-A\"] to place: Desk 02\n"
            "Assigned serial MON-A to place Desk 02\n");
  // A dock lists its displays again: gone for a moment, then back. The walk stays.
  w.attach({});
  EXPECT_EQ(w.walk.instruction(), "The displays of Desk 02 are unplugged: on to the next place.");
  w.attach({"MON-A#4711"});
  EXPECT_EQ(w.walk.instruction(), "Unplug the displays of Desk 02 to move on.");
  w.attach({});
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.current() == "Desk 03"; }));
  EXPECT_EQ(w.desk(2)->serialNumbers(), SerialNumbers{"MON-A"});

  // A monitor that gives no serial number: its label's is to be entered.
  w.attach({"?"});
  EXPECT_EQ(w.walk.instruction(),
            "A display plugged in at Desk 03 gives no serial number: type or scan the one on its label into "
            "\"Serial Number from a Label\", then press Enter.");
  w.attach({});
  EXPECT_EQ(w.walk.instruction(), "Plug in the displays of Desk 03.");
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
  w.walk.skipPlace();
  EXPECT_EQ(w.current(), "Desk 04");
  w.walk.nextPlace();  // nothing plugged in at Desk 04: it comes round again, after Desk 05
  w.history.undo();    // Desk 02 loses its display
  w.walk.nextPlace();
  EXPECT_EQ(w.current(), "Desk 02");  // round to the start; Desk 03 was skipped
  w.walk.nextPlace();
  EXPECT_EQ(w.current(), "Desk 04");
  for (int i = 0; i < 3; ++i) w.walk.skipPlace();
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::finished);
  EXPECT_EQ(w.walk.headline(), "Walk of Zone North ended: 4 places have no display.");

  // A new walk offers the skipped places again; turning the option on with the displays gone moves on.
  w.walk.start(kNorth);
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
  w.attach({"MON-A"});
  EXPECT_EQ(w.desk(4)->serialNumbers(), SerialNumbers{"MON-A"});
  w.attach({});
  EXPECT_EQ(w.current(), "Desk 02");  // round to the start
  w.model->setSelectedPlace(w.southDesk());
  EXPECT_EQ(w.walk.state(), ZoneWalk::State::idle);
  w.attach({"MON-B"});
  EXPECT_FALSE(w.model->serialMap().contains("MON-B"));

  EXPECT_FALSE(w.walk.start({"L1", "F1", "nowhere"}));
  ASSERT_TRUE(w.walk.start({"L1", "F1", "Z2"}));  // every place has a display: walked at once
  EXPECT_EQ(w.walk.headline(), "Every place of Zone South has a display.");
}

// --- The window -------------------------------------------------------------------------------------------

TEST(Walk, SpaceMovesOnAndEscapeStopsOnlyWhereTheFocusHasNoUseForThem) {
  WalkShell shell(6);
  QAction* walkZone = shell.banner.walkZoneAction();
  EXPECT_EQ(walkZone->shortcut(), QKeySequence(Qt::Key_F6));
  EXPECT_FALSE(walkZone->isEnabled());  // no zone shown yet
  shell.showActive();
  shell.view.selectZone(kNorth);
  QTest::keyClick(&shell.window, Qt::Key_F6);
  EXPECT_TRUE(shell.banner.hasFocus());  // where Space and Escape work
  EXPECT_EQ(shell.banner.headline()->text(), "Walking Zone North: Desk 02");
  EXPECT_EQ(shell.banner.progress()->text(), "5 of 6 places without a display left");
  shell.banner.moveOnOption()->click();  // off: Space moves on
  QTest::keyClick(&shell.banner, Qt::Key_Space);
  EXPECT_EQ(shell.selected(), "Desk 03");

  // A text field takes Space as text and Escape to clear itself, with text or without.
  QLineEdit* field = shell.view.peripheralView()->serialNumberField();
  field->setFocus();
  QTest::keyClick(field, Qt::Key_Space);
  EXPECT_EQ(field->text(), " ");
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_TRUE(field->text().isEmpty());
  QTest::keyClick(field, Qt::Key_Escape);
  QLineEdit* search = shell.view.searchField();
  search->setFocus();
  QTest::keyClicks(search, "desk 0");
  QTest::keyClick(search, Qt::Key_Escape);
  EXPECT_TRUE(search->text().isEmpty());
  QTest::keyClick(search, Qt::Key_Escape);
  EXPECT_EQ(shell.selected(), "Desk 03");
  EXPECT_TRUE(shell.app.zoneWalk().isWalking());

  // In the places list Space picks the row, and the walk goes there; where the walk moves on, the list's
  // current row follows, so that Space there does not pick the place left behind.
  QListView* places = shell.view.placesList();
  places->setFocus();
  places->setCurrentIndex(shell.view.placesModel().index(4));
  QTest::keyClick(places, Qt::Key_Space);
  EXPECT_EQ(shell.app.zoneWalk().currentPlace(), shell.desk(5));
  shell.banner.moveOnOption()->click();
  shell.attach({"MON-A"});
  shell.attach({});
  EXPECT_EQ(places->currentIndex().row(), 5);
  QTest::keyClick(places, Qt::Key_Space);
  EXPECT_EQ(shell.selected(), "Desk 06");

  shell.banner.setFocus();
  QTest::keyClick(&shell.banner, Qt::Key_Space);
  EXPECT_EQ(shell.selected(), "Desk 02");  // round to the start
  QTest::keyClick(&shell.banner, Qt::Key_Escape);
  EXPECT_TRUE(shell.banner.isHidden());
  QTest::keyClick(&shell.window, Qt::Key_Space);  // no walk: Space does nothing here
  EXPECT_EQ(shell.selected(), "Desk 02");
}

TEST(Walk, FitsOutAFortyPlaceZoneAndUndoesIt) {
  // Four desks have their displays from the file; a laptop's screen is attached throughout.
  WalkShell shell(40, {{5, "FILE-05"}, {12, "FILE-12"}, {20, "FILE-20"}, {33, "FILE-33"}});
  shell.showActive();
  shell.attach({"LAPTOP"});
  shell.view.selectZone(kNorth);
  shell.view.setSearchText("desk 01");  // hides the places the walk goes to
  ZoneWalk& walk = shell.app.zoneWalk();
  shell.banner.walkZoneAction()->trigger();
  shell.view.selectZone({"L1", "F1", "Z2"});  // the technician looks elsewhere

  int desks = 0, displays = 0;
  std::string log;
  while (walk.isWalking()) {
    const auto desk = walk.currentPlace();
    // Every third desk has two monitors, plugged in one after the other.
    std::vector<std::string> attached{"LAPTOP", "CN" + desk->placeId()};
    log += shell.attach(attached);
    ++displays;
    if (++desks % 3 == 0) {
      attached.push_back("CN" + desk->placeId() + "-2");
      log += shell.attach(attached);
      ++displays;
    }
    if (desks == 34) {
      EXPECT_EQ(shell.banner.progress()->text(), "2 of 40 places without a display left");
      // The walk's place is shown, in view, in its zone, without the search that hid it.
      EXPECT_EQ(shell.view.selectedZonePath(), kNorth);
      EXPECT_TRUE(shell.view.searchField()->text().isEmpty());
      QListView* list = shell.view.placesList();
      EXPECT_TRUE(list->viewport()->rect().contains(list->visualRect(list->currentIndex())));
      EXPECT_EQ(shell.view.placesModel().place(list->currentIndex()), desk);
    }
    log += shell.attach({"LAPTOP"});
  }
  EXPECT_EQ(desks, 36);
  EXPECT_EQ(shell.app.undoStack().count(), 48);  // one step per change of the list that brought a display
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'),
            84 + 2 * displays);  // a notice per listing, 2 lines a display
  EXPECT_EQ(shell.banner.headline()->text(), "Every place of Zone North has a display.");
  EXPECT_TRUE(shell.window.isWindowModified());

  // Undo steps back through every assignment of the walk, to the file as it was; Redo brings them back.
  int undone = 0;
  for (; shell.window.undoAction()->isEnabled(); ++undone) shell.window.undoAction()->trigger();
  EXPECT_EQ(undone, 48);
  EXPECT_FALSE(shell.app.hasUnsavedAssignments());
  EXPECT_EQ(shell.view.zoneSummary(), "4 of 40 places in Zone North have a display");
  EXPECT_EQ(shell.banner.headline()->text(), "Walk of Zone North ended: 36 places have no display.");
  while (shell.window.redoAction()->isEnabled()) shell.window.redoAction()->trigger();
  EXPECT_EQ(shell.desk(3)->serialNumbers(), (SerialNumbers{"CNP03", "CNP03-2"}));
}

TEST(Walk, StopsOnlyWhereThePlacesAreReplacedOrTheWindowCloses) {
  WalkShell shell;
  shell.showActive();
  auto& walk = shell.app.zoneWalk();
  QAction* walkZone = shell.banner.walkZoneAction();
  const auto file = shell.scratch.path() / "places.csv";
  shell.view.selectZone(kNorth);
  walkZone->trigger();
  shell.attach({"MON-A"});
  shell.app.openFile(file);  // a reload: the walk's places are gone
  EXPECT_EQ(walk.state(), ZoneWalk::State::idle);
  EXPECT_TRUE(shell.banner.isHidden());
  shell.attach({"MON-A", "MON-B"});
  EXPECT_TRUE(shell.app.placeDataModel()->serialMap().empty());

  // Open… and Merge… cancelled replace nothing: the walk goes on.
  walkZone->trigger();
  shell.app.setOpenFileChooser([](QWidget*) { return std::nullopt; });
  shell.app.showFileImporter();
  shell.app.setMergeFilesChooser([](QWidget*) { return std::vector<std::filesystem::path>{}; });
  shell.app.showMergeChooser();
  EXPECT_TRUE(walk.isWalking());

  // What the walk assigns while the file is chosen is asked about before the file replaces it; while it
  // is read, no walk starts.
  std::optional<ZoneWalk::State> whileAsked;
  shell.app.setUnsavedPrompt([&](QWidget*) {
    whileAsked = walk.state();
    return TamrikSeatloomApp::UnsavedChoice::cancel;
  });
  shell.app.setOpenFileChooser([&](QWidget*) {
    shell.attach({"MON-C"});
    return std::optional(file);
  });
  shell.app.showFileImporter();
  EXPECT_FALSE(walkZone->isEnabled());
  EXPECT_FALSE(walk.start(kNorth));
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(whileAsked, ZoneWalk::State::idle);
  EXPECT_EQ(shell.desk(2)->serialNumbers(), SerialNumbers{"MON-C"});
  EXPECT_TRUE(walkZone->isEnabled());

  // With assignments to lose, the walk stops before the question, and nothing more is assigned.
  walkZone->trigger();
  whileAsked.reset();
  shell.app.openFileFromUser(file);
  EXPECT_EQ(whileAsked, ZoneWalk::State::idle);
  shell.attach({"MON-D"});
  EXPECT_FALSE(shell.app.placeDataModel()->serialMap().contains("MON-D"));

  // And so does closing the window.
  walkZone->trigger();
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
  QLineEdit* field = shell.view.peripheralView()->serialNumberField();
  QLabel* note = shell.view.peripheralView()->entryNote();
  auto enter = [&](const char* text) {
    QTest::keyClicks(field, text);
    return captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  };

  // A scanner's text with white space around it, and its Enter.
  field->setFocus();
  shell.app.placeDataModel()->setSelectedPlace(shell.desk(3));
  field->setText(QStringLiteral("  CN465018YN\t"));
  EXPECT_EQ(enter(""),
            "Assigning peripherals: [\"CN465018YN\"] to place: Desk 03\n"
            "Assigned serial CN465018YN to place Desk 03\n");
  EXPECT_TRUE(field->text().isEmpty());  // ready for the next label
  EXPECT_TRUE(note->isHidden());
  EXPECT_EQ(shell.window.statusBar()->currentMessage(), "Assigned CN465018YN to Desk 03.");

  // The same serial number at another desk, or one the file puts elsewhere: it moves, and the status bar
  // says where from.
  shell.app.placeDataModel()->setSelectedPlace(shell.desk(4));
  enter("CN465018YN");
  EXPECT_EQ(shell.window.statusBar()->currentMessage(),
            "Assigned CN465018YN to Desk 04, moved from Desk 03.");
  enter(" SN-FILE ");
  EXPECT_EQ(shell.window.statusBar()->currentMessage(), "Assigned SN-FILE to Desk 04, moved from Desk 01.");
  EXPECT_EQ(shell.app.undoStack().count(), 3);

  // White space alone, or nothing, is refused with a word, not silently.
  EXPECT_EQ(enter("   "), "");
  EXPECT_EQ(note->text(), "Nothing to assign: type or scan a serial number, then press Enter.");
  note->hide();
  enter("");
  EXPECT_FALSE(note->isHidden());
  EXPECT_EQ(shell.app.undoStack().count(), 3);
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
  auto enter = [&](const char* text) {
    QTest::keyClicks(field, text);
    captureStdout([&] { QTest::keyClick(field, Qt::Key_Return); });
  };
  enter("BOXED-1");
  EXPECT_EQ(shell.desk(2)->serialNumbers(), SerialNumbers{"BOXED-1"});
  EXPECT_EQ(shell.banner.instruction()->text(),  // by default entering does not move on
            "Plug in more displays of Desk 02, or press Next Place (Space) to move on.");

  shell.banner.enteredOption()->click();
  enter("BOXED-2");
  EXPECT_EQ(shell.selected(), "Desk 03");  // never listed, so "unplugged" already
  EXPECT_TRUE(field->hasFocus());          // the next label can be scanned at once
  shell.attach({"MON-A"});                 // a display plugged in at the same desk is still waited for
  enter("BOXED-3");
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
