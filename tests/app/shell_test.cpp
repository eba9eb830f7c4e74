#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/command_line.hpp"
#include "app/location_view.hpp"
#include "app/peripheral_view.hpp"
#include "app/seatloom_app.hpp"
#include "app_support.hpp"
#include "support/capture_stdout.hpp"
#include "tamrikcsv/reader/csv_error.hpp"

using namespace tamrik;
using test::AppScratch;

namespace {

const std::string kRow = "L1,Head office,F1,First,Z1,North,P1,Desk 1,SN1\n";

// The buttons that the empty window shows, in order.
std::vector<QPushButton*> emptyStateButtons(const MainWindow& window) {
  std::vector<QPushButton*> out;
  if (auto* actions = window.findChild<QWidget*>(QStringLiteral("EmptyStateActions")))
    for (QPushButton* button : actions->findChildren<QPushButton*>())
      if (!button->isHidden()) out.push_back(button);
  return out;
}

std::vector<QString> entries(const QMenu* menu) {
  std::vector<QString> out;
  for (const QAction* action : menu->actions())
    out.push_back(action->isSeparator() ? QStringLiteral("---") : action->text());
  return out;
}

// Assigns `serial` to the first place through the panel, as a click on Assign does.
void assignThroughPanel(TamrikSeatloomApp& app, const QString& serial) {
  auto& model = *app.placeDataModel();
  auto& panel = app.window()->contentView()->locationView()->peripheralView()->assignment();
  model.setSelectedPlace(model.locations()[0].levels[0].zones[0].places[0]);
  panel.toggle(serial);
  panel.assign();
}

// A shell without a display source of the system's, and with no dialog in the way.
struct Shell {
  AppScratch scratch;
  TamrikSeatloomApp app{AppOptions{false, QStringLiteral("true"), std::nullopt}, scratch.settings()};
};

}  // namespace

TEST(Shell, TitlesTheWindowByTheFileLoaded) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  EXPECT_EQ(window.objectName(), "MainWindow");
  EXPECT_EQ(window.windowTitle(), "Tamrik Seatloom");
  shell.app.openFile(shell.scratch.write("places.csv", test::kHeader + kRow));
  EXPECT_EQ(window.windowTitle(), "places.csv");
  EXPECT_FALSE(window.contentView()->locationView()->showsEmptyState());
  test::screenshot(window, QStringLiteral("shell-loaded"));
}

TEST(Shell, OffersTheFileCommandsInOrderWithTheirShortcuts) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  EXPECT_EQ(entries(window.fileMenu()), (std::vector<QString>{"Open…", "Open Recent", "Export…", "---",
                                                              "Merge…", "Export Report…", "---", "Quit"}));
  EXPECT_EQ(window.openAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
  EXPECT_EQ(window.exportAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
  EXPECT_EQ(window.quitAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));

  // No files yet: one disabled entry. After an open: the file, a divider and "Clear".
  ASSERT_EQ(entries(window.recentMenu()), std::vector<QString>{"No Recent Files"});
  EXPECT_FALSE(window.recentMenu()->actions().front()->isEnabled());
  shell.app.openFile(shell.scratch.write("R&D places.csv", test::kHeader + kRow));
  EXPECT_EQ(entries(window.recentMenu()), (std::vector<QString>{"R&&D places.csv", "---", "Clear"}));
  EXPECT_EQ(window.recentMenu()->actions().front()->iconText(), "R&D places.csv");  // shown as named
  window.recentMenu()->actions().back()->trigger();
  EXPECT_EQ(entries(window.recentMenu()), std::vector<QString>{"No Recent Files"});
}

TEST(Shell, ReportsAFailedLoadAndKeepsWhatWasLoaded) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  shell.app.openFile(shell.scratch.write("places.csv", test::kHeader + kRow));
  auto recent = shell.app.recentFiles().files();

  shell.app.openFile(shell.scratch.write("other.csv", "Name\nx\n"));  // no place columns
  ASSERT_NE(window.alert(), nullptr);
  EXPECT_EQ(window.alert()->windowTitle(), "Failed to Load file");
  EXPECT_TRUE(window.alert()->informativeText().startsWith(
      "other.csv, line 1: the first line is not the header of a places file."))
      << window.alert()->informativeText().toStdString();
  // The library's text is behind "Show Details…".
  EXPECT_NE(window.alert()->detailedText().indexOf("didn't match any CSV header"), -1);
  const auto buttons = window.alert()->findChildren<QPushButton*>();
  EXPECT_TRUE(std::any_of(buttons.begin(), buttons.end(),
                          [](QPushButton* button) { return button->text() == "Show Details\u2026"; }));
  EXPECT_EQ(window.windowTitle(), "places.csv");
  EXPECT_EQ(shell.app.recentFiles().files(), recent);
  test::screenshot(*window.alert(), QStringLiteral("shell-alert"));

  // Escape dismisses it as "OK" does, and either forgets the error.
  QTest::keyClick(window.alert(), Qt::Key_Escape);
  EXPECT_EQ(shell.app.loadError(), nullptr);
  EXPECT_EQ(window.alert(), nullptr);
  shell.app.openFile(shell.scratch.path() / "other.csv");
  ASSERT_NE(window.alert(), nullptr);
  // One answer, "OK"; "Show Details…" only opens the details.
  auto answers = window.alert()->buttons();
  answers.removeIf(
      [&](QAbstractButton* button) { return window.alert()->buttonRole(button) == QMessageBox::ActionRole; });
  ASSERT_EQ(answers.size(), 1);
  EXPECT_EQ(answers.front()->text(), "OK");
  answers.front()->click();
  EXPECT_EQ(shell.app.loadError(), nullptr);
  EXPECT_EQ(window.alert(), nullptr);

  // An export's failure is called one.
  shell.app.exportTo(shell.scratch.path() / "no-such-folder" / "places.csv");
  ASSERT_NE(window.alert(), nullptr);
  EXPECT_EQ(window.alert()->windowTitle(), "Failed to Export file");
  EXPECT_EQ(window.alert()->informativeText(),
            "Cannot write places.csv: no file can be made in its folder (No such file or directory).");
  window.alert()->close();
}

TEST(Shell, DescribesErrorsForTheAlert) {
  EXPECT_EQ(TamrikSeatloomApp::describeError(nullptr), "Unknown error");
  EXPECT_EQ(TamrikSeatloomApp::describeError(std::make_exception_ptr(std::runtime_error("disk full"))),
            "disk full");
  EXPECT_EQ(TamrikSeatloomApp::describeError(std::make_exception_ptr(42)), "Unknown error");
}

TEST(Shell, RunsTheDialogsCommands) {
  Shell shell;
  bool asked = false;
  shell.app.setSaveFileChooser([&](QWidget*) {
    asked = true;
    return std::optional<std::filesystem::path>();  // cancelled
  });
  shell.app.window()->exportAction()->trigger();
  EXPECT_TRUE(asked);
  EXPECT_EQ(shell.app.loadError(), nullptr);  // cancelling shows nothing

  auto file = shell.scratch.write("chosen.csv", test::kHeader + kRow);
  shell.app.setOpenFileChooser([&](QWidget*) { return std::optional(file); });
  shell.app.window()->openAction()->trigger();
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(shell.app.placeDataModel()->currentFileName(), "chosen.csv");
}

TEST(CommandLine, ReadsTheOptionsAndOneFile) {
  auto parsed = parseCommandLine({"tamrik-seatloom", "--demo", "--display-command", "cat x", "places.csv"});
  ASSERT_TRUE(std::holds_alternative<AppOptions>(parsed));
  const auto& options = std::get<AppOptions>(parsed);
  EXPECT_TRUE(options.demo);
  EXPECT_EQ(options.displayCommand, "cat x");
  EXPECT_EQ(options.file, std::filesystem::path("places.csv"));

  auto bare = std::get<AppOptions>(parseCommandLine({"tamrik-seatloom"}));
  EXPECT_FALSE(bare.demo);
  EXPECT_FALSE(bare.file);

  for (const QStringList& wrong : {QStringList{"tamrik-seatloom", "a.csv", "b.csv"},
                                   QStringList{"tamrik-seatloom", "--no-such-option"}}) {
    auto exit = parseCommandLine(wrong);
    ASSERT_TRUE(std::holds_alternative<CommandLineExit>(exit));
    EXPECT_EQ(std::get<CommandLineExit>(exit).status, 2);
  }
  EXPECT_TRUE(std::get<CommandLineExit>(parseCommandLine({"tamrik-seatloom", "--version"}))
                  .output.startsWith("tamrik-seatloom "));
}

TEST(Shell, AsksBeforeUnexportedAssignmentsAreLost) {
  Shell shell;
  auto& app = shell.app;
  int asked = 0;
  auto answer = TamrikSeatloomApp::UnsavedChoice::cancel;
  app.setUnsavedPrompt([&](QWidget*) {
    ++asked;
    return answer;
  });
  auto places = shell.scratch.write("places.csv", test::kHeader + kRow);
  app.openFile(places);
  EXPECT_TRUE(app.window()->close());  // nothing to lose: nothing asked
  EXPECT_EQ(asked, 0);

  const auto& model = *app.placeDataModel();
  assignThroughPanel(app, "SN7");
  EXPECT_TRUE(app.hasUnsavedAssignments());
  EXPECT_FALSE(app.window()->close());  // cancelled
  app.openFileFromUser(places);
  ASSERT_TRUE(test::waitForOpening(app));
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(app.hasUnsavedAssignments());  // not reloaded

  // Exporting first: a cancelled or failed export keeps everything as it was.
  answer = TamrikSeatloomApp::UnsavedChoice::exportFirst;
  std::optional<std::filesystem::path> destination;
  app.setSaveFileChooser([&](QWidget*) { return destination; });
  app.openFileFromUser(places);
  ASSERT_TRUE(test::waitForWork(app));
  EXPECT_TRUE(app.hasUnsavedAssignments());
  destination = shell.scratch.path() / "no-such-folder" / "out.csv";
  app.openFileFromUser(places);
  EXPECT_TRUE(app.isExporting());  // in the background, the window showing it
  ASSERT_TRUE(test::waitForWork(app));
  EXPECT_NE(app.loadError(), nullptr);
  EXPECT_TRUE(app.hasUnsavedAssignments());
  app.setLoadError(nullptr);

  // Exported in the background, then closed; asking to close again meanwhile asks nothing more.
  destination = shell.scratch.path() / "out.csv";
  const int askedBefore = asked;
  app.window()->show();
  EXPECT_FALSE(app.window()->close());  // not yet: the export writes
  EXPECT_TRUE(app.window()->openingBar()->isVisibleTo(app.window()));
  EXPECT_EQ(app.exportFollowedBy(), "closing");  // the status bar says what comes after
  test::screenshot(*app.window(), QStringLiteral("export-first"));
  EXPECT_FALSE(app.window()->close());
  EXPECT_EQ(asked, askedBefore + 1);
  ASSERT_TRUE(test::waitForWork(app));
  EXPECT_FALSE(app.hasUnsavedAssignments());
  EXPECT_FALSE(app.window()->isVisible());  // closed itself
  EXPECT_EQ(asked, askedBefore + 1);
  std::ifstream exported(*destination);
  std::string text((std::istreambuf_iterator<char>(exported)), {});
  EXPECT_NE(text.find("SN7"), std::string::npos) << text;

  assignThroughPanel(app, "SN8");
  answer = TamrikSeatloomApp::UnsavedChoice::discard;
  app.openFileFromUser(places);
  ASSERT_TRUE(test::waitForOpening(app));
  EXPECT_FALSE(app.hasUnsavedAssignments());  // reloaded: nothing assigned any more
  EXPECT_TRUE(model.serialMap().empty());
}

TEST(Shell, OpensACSVFileDroppedOnTheWindow) {
  Shell shell;
  // A drop arrives after the drag entered the window, as a file manager delivers it.
  auto dropFile = [&](const QString& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(shell.app.window(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(shell.app.window(), &drop);
    EXPECT_TRUE(test::waitForOpening(shell.app));
    return enter.isAccepted();
  };
  EXPECT_FALSE(dropFile(QStringLiteral("/tmp/notes.txt")));  // not a CSV file: refused
  auto file = shell.scratch.write("dropped.csv", test::kHeader + kRow);
  EXPECT_TRUE(dropFile(QString::fromStdString(file.string())));
  EXPECT_EQ(shell.app.placeDataModel()->currentFileName(), "dropped.csv");
}

TEST(Shell, UndoesAndRedoesAssignmentsAndUnassignments) {
  Shell shell;
  auto& app = shell.app;
  MainWindow& window = *app.window();
  app.openFile(shell.scratch.write("places.csv", test::kHeader + kRow));
  const auto& model = *app.placeDataModel();
  auto desk = model.locations()[0].levels[0].zones[0].places[0];
  EXPECT_FALSE(window.undoAction()->isEnabled());
  EXPECT_EQ(window.undoAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Z")));
  EXPECT_EQ(window.redoAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+Z")));

  test::captureStdout([&] { assignThroughPanel(app, "SN2"); });
  EXPECT_EQ(desk->serialNumbers(), (SerialNumbers{"SN1", "SN2"}));
  window.undoAction()->trigger();
  EXPECT_EQ(desk->serialNumbers(), SerialNumbers{"SN1"});
  EXPECT_TRUE(model.serialMap().empty());
  EXPECT_FALSE(app.hasUnsavedAssignments());  // back where the load left it
  window.redoAction()->trigger();
  EXPECT_EQ(model.serialMap().at("SN2"), desk);

  // Unassign takes the selected displays the place holds, the file's one included.
  PeripheralView& panel = *window.contentView()->locationView()->peripheralView();
  panel.assignment().toggle("SN1");
  ASSERT_TRUE(panel.unassignButton()->isEnabled());
  std::string log = test::captureStdout([&] { panel.unassignButton()->click(); });
  EXPECT_EQ(log, "Unassigned serial SN1 from place Desk 1\nUnassigned serial SN2 from place Desk 1\n");
  EXPECT_TRUE(desk->serialNumbers().empty());
  EXPECT_FALSE(panel.unassignButton()->isEnabled());
  window.undoAction()->trigger();
  EXPECT_EQ(desk->serialNumbers(), (SerialNumbers{"SN1", "SN2"}));
  EXPECT_EQ(model.serialMap().at("SN2"), desk);

  // A step that changes nothing leaves the history alone: Redo still brings back what was undone.
  test::captureStdout([&] {
    assignThroughPanel(app, "SN3");
    window.undoAction()->trigger();
    panel.assignment().clearSelection();
    panel.assignment().toggle("SN2");  // here already, and assigned here
    panel.assignment().assign();
  });
  EXPECT_TRUE(window.redoAction()->isEnabled());

  // Undo with nothing to do logs nothing; a load starts a new history.
  app.openFile(shell.scratch.path() / "places.csv");
  EXPECT_FALSE(window.undoAction()->isEnabled());
  EXPECT_EQ(test::captureStdout([&] { app.undoStack().undo(); }), "");
}

TEST(Shell, SaysInTheStatusBarHowManyPlacesOfTheShownZoneHaveADisplay) {
  Shell shell;
  auto& app = shell.app;
  MainWindow& window = *app.window();
  app.openFile(shell.scratch.write("places.csv", test::kHeader +
                                                     "L1,Head office,F1,First,Z1,North,P1,Desk 1,\n" +
                                                     "L1,Head office,F1,First,Z1,North,P2,Desk 2,SN1\n"));
  QStatusBar* bar = window.statusBar();
  EXPECT_EQ(bar->currentMessage(), "");
  window.contentView()->locationView()->selectZone({"L1", "F1", "Z1"});
  EXPECT_EQ(bar->currentMessage(), "1 of 2 places in Zone North have a display");
  test::captureStdout([&] { assignThroughPanel(app, "SN7"); });
  EXPECT_EQ(bar->currentMessage(), "2 of 2 places in Zone North have a display");
  window.undoAction()->trigger();
  EXPECT_EQ(bar->currentMessage(), "1 of 2 places in Zone North have a display");

  // A status tip covers it for a while; once it is cleared the summary is back.
  QStatusTipEvent tip(QStringLiteral("Opens a places file"));
  QCoreApplication::sendEvent(&window, &tip);
  EXPECT_EQ(bar->currentMessage(), "Opens a places file");
  QStatusTipEvent cleared{QString()};
  QCoreApplication::sendEvent(&window, &cleared);
  EXPECT_EQ(bar->currentMessage(), "1 of 2 places in Zone North have a display");
}

TEST(Shell, NamesTheStepsThatUndoAndRedoTake) {
  Shell shell;
  auto& app = shell.app;
  MainWindow& window = *app.window();
  app.openFile(shell.scratch.write("places.csv",
                                   test::kHeader + kRow + "L1,Head office,F1,First,Z1,North,P2,R&D desk,\n"));
  EXPECT_EQ(window.undoAction()->text(), "Undo");
  EXPECT_EQ(window.redoAction()->text(), "Redo");
  auto& model = *app.placeDataModel();
  const auto& zone = model.locations()[0].levels[0].zones[0];
  auto& panel = window.contentView()->locationView()->peripheralView()->assignment();
  test::captureStdout([&] {
    model.setSelectedPlace(zone.places[0]);
    panel.toggle("SN1");  // the file's, at this desk: assigning makes it this run's
    panel.toggle("SN2");
    panel.assign();
  });
  EXPECT_EQ(window.undoAction()->text(), "Undo Assign 2 Displays to Desk 1");
  test::captureStdout([&] {
    panel.toggle("SN3");
    panel.assign();  // SN1 and SN2 stay where they are: one display moves
  });
  EXPECT_EQ(window.undoAction()->text(), "Undo Assign 1 Display to Desk 1");
  test::captureStdout([&] { window.undoAction()->trigger(); });
  EXPECT_EQ(window.undoAction()->text(), "Undo Assign 2 Displays to Desk 1");
  EXPECT_EQ(window.redoAction()->text(), "Redo Assign 1 Display to Desk 1");
  test::captureStdout([&] {
    panel.clearSelection();
    panel.toggle("SN2");
    panel.unassign();
  });
  EXPECT_EQ(window.undoAction()->text(), "Undo Unassign 1 Display from Desk 1");
  EXPECT_EQ(window.redoAction()->text(), "Redo");

  // The place is named as it is: its "&" is no shortcut marker in the menu.
  test::captureStdout([&] {
    model.setSelectedPlace(zone.places[1]);
    panel.toggle("SN4");
    panel.assign();
  });
  EXPECT_EQ(app.undoStack().undoText(), "Assign 1 Display to R&D desk");
  EXPECT_EQ(window.undoAction()->text(), "Undo Assign 1 Display to R&&D desk");
  app.openFile(shell.scratch.path() / "places.csv");
  EXPECT_EQ(window.undoAction()->text(), "Undo");
}

TEST(Shell, UndoesAndRedoesFromTheKeyboardWhereverTheFocusIs) {
  Shell shell;
  auto& app = shell.app;
  MainWindow& window = *app.window();
  app.openFile(shell.scratch.write("places.csv", test::kHeader + kRow));
  LocationView& view = *window.contentView()->locationView();
  view.selectZone({"L1", "F1", "Z1"});
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  auto desk = app.placeDataModel()->locations()[0].levels[0].zones[0].places[0];
  test::captureStdout([&] { assignThroughPanel(app, "SN2"); });
  QTest::keyClicks(view.searchField(), "desk");

  for (QWidget* focus :
       std::initializer_list<QWidget*>{static_cast<QWidget*>(view.searchField()), view.sidebar(),
                                       view.placesList(), view.peripheralView()->list()}) {
    focus->setFocus();
    ASSERT_TRUE(focus->hasFocus()) << focus->metaObject()->className();
    test::captureStdout([&] { QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier); });
    EXPECT_EQ(desk->serialNumbers(), SerialNumbers{"SN1"}) << focus->metaObject()->className();
    test::captureStdout([&] { QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); });
    EXPECT_EQ(desk->serialNumbers(), (SerialNumbers{"SN1", "SN2"})) << focus->metaObject()->className();
  }
  EXPECT_EQ(view.searchField()->text(), "desk");  // the field's own undo gave way
  window.hide();                                  // closing would ask about the assignment
}

TEST(Shell, MarksTheTitleWhileAssignmentsAreUnexported) {
  Shell shell;
  auto& app = shell.app;
  MainWindow& window = *app.window();
  app.openFile(shell.scratch.write("[*]places.csv", test::kHeader + kRow));
  window.winId();  // the native window, whose title is the one shown
  EXPECT_EQ(window.windowTitle(), "[*][*]places.csv");
  EXPECT_FALSE(window.isWindowModified());
  test::captureStdout([&] { assignThroughPanel(app, "SN2"); });
  EXPECT_TRUE(window.isWindowModified());
  EXPECT_EQ(window.windowTitle(), "[*][*]places.csv[*]");
  EXPECT_EQ(window.windowHandle()->title(), "[*]places.csv*");

  // Undoing back to the load, or exporting, leaves nothing unexported.
  test::captureStdout([&] { window.undoAction()->trigger(); });
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_EQ(window.windowHandle()->title(), "[*]places.csv");
  test::captureStdout([&] { window.redoAction()->trigger(); });
  EXPECT_TRUE(window.isWindowModified());
  app.exportTo(shell.scratch.path() / "out.csv");
  EXPECT_FALSE(window.isWindowModified());
  EXPECT_EQ(window.windowTitle(), "[*][*]places.csv");

  // Assignments to the sample places are only tried out.
  TamrikSeatloomApp sample(AppOptions{true, QStringLiteral("true"), std::nullopt}, shell.scratch.settings());
  test::captureStdout([&] { assignThroughPanel(sample, "SN2"); });
  EXPECT_TRUE(sample.undoStack().canUndo());
  EXPECT_FALSE(sample.hasUnsavedAssignments());
  EXPECT_FALSE(sample.window()->isWindowModified());
  EXPECT_EQ(sample.window()->windowTitle(), "Tamrik Seatloom");
}

TEST(Shell, OffersOpenAndTheRecentFilesInTheEmptyWindow) {
  Shell shell;
  auto& app = shell.app;
  MainWindow& window = *app.window();
  auto texts = [&] {
    std::vector<QString> out;
    for (const QPushButton* button : emptyStateButtons(window)) out.push_back(button->text());
    return out;
  };
  ASSERT_EQ(texts(), std::vector<QString>{"Open…"});
  int asked = 0;
  app.setOpenFileChooser([&](QWidget*) {
    ++asked;
    return std::optional<std::filesystem::path>();
  });
  emptyStateButtons(window).front()->click();
  EXPECT_EQ(asked, 1);  // as File > Open… asks

  // The recent files, newest first, by name; the tooltip gives the path as text.
  const auto first = shell.scratch.write("R&D places.csv", test::kHeader + kRow);
  const auto second = shell.scratch.write("<b>other.csv", test::kHeader + kRow);
  app.recentFiles().noteOpened(first);
  app.recentFiles().noteOpened(second);
  EXPECT_EQ(texts(), (std::vector<QString>{"Open…", "<b>other.csv", "R&&D places.csv"}));
  QPushButton* recent = emptyStateButtons(window).back();
  EXPECT_TRUE(recent->isFlat());
  EXPECT_EQ(recent->toolTip(), Qt::convertFromPlainText(QString::fromStdString(first.string())));
  window.resize(1180, 720);
  test::screenshot(window, QStringLiteral("shell-empty"));

  recent->click();
  ASSERT_TRUE(test::waitForOpening(app));
  EXPECT_EQ(app.placeDataModel()->currentFileName(), "R&D places.csv");
  EXPECT_FALSE(window.contentView()->locationView()->showsEmptyState());
  app.recentFiles().clear();
  EXPECT_EQ(texts(), std::vector<QString>{"Open…"});
}
