#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUndoCommand>

#include "app/location_view.hpp"
#include "app/merge_dialog.hpp"
#include "app/peripheral_view.hpp"
#include "app/seatloom_app.hpp"
#include "app_support.hpp"
#include "support/capture_stdout.hpp"

// File > Merge… and File > Export Report…: the files read in the background, the conflicts settled in a
// dialog, the merge shown as a document no file holds yet.

using namespace tamrik;

namespace {

using Files = std::vector<std::filesystem::path>;

// Started in demo mode, so that no display command runs (as the opening tests, for ThreadSanitizer).
struct Shell {
  test::AppScratch scratch;
  TamrikSeatloomApp app{AppOptions{true, std::nullopt, std::nullopt}, scratch.settings()};
  int asked = 0;  // unsaved-assignment questions

  Shell() {
    app.setUnsavedPrompt([this](QWidget*) {
      ++asked;
      return TamrikSeatloomApp::UnsavedChoice::cancel;
    });
  }
  std::filesystem::path file(const std::string& name, const std::string& rows) {
    return scratch.write(name, test::kHeader + rows);
  }
  // Opens a places file of one desk, and says what the store holds then.
  std::string openPlaces() {
    app.openFile(file("places.csv", "L,Main,F,Ground,Z,Zone,P,Desk,\n"));
    return test::describe(app.placeDataModel()->locations());
  }
  // Merges `files` through the menu, the way the user does, and waits for the reading to end.
  void mergeFromMenu(const Files& files) {
    app.setMergeFilesChooser([files](QWidget*) { return files; });
    app.window()->mergeAction()->trigger();
    ASSERT_TRUE(test::waitForOpening(app));
  }
};

// Anna has the display at Desk 1, Ben at Desk 2, which he names otherwise; and a file that puts VNA3M0129L
// at two places itself.
const std::string kAnna =
    "HQ,Head Office,1,First Floor,N,North Wing,D1,Desk 1,CN465018YN\nHQ,Head Office,1,First Floor,N,North "
    "Wing,D2,Desk 2,\n";
const std::string kBen =
    "HQ,Head Office,1,First Floor,N,North Wing,D2,Window desk,CN465018YN\nHQ,Head Office,1,First "
    "Floor,S,South Wing,D4,Desk 4,CN4650221P\n";
const std::string kCarl =
    "HQ,Head Office,1,First Floor,N,North Wing,D1,Desk 1,VNA3M0129L\nHQ,Head Office,1,First Floor,S,South "
    "Wing,D4,Desk 4,VNA3M0129L\n";

}  // namespace

TEST(Merging, LoadsTheUnionAsADocumentNotYetExportedThatExportWrites) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  const auto places = shell.file("places.csv", "L,Main,F,Ground,Z,Zone,P,Desk,\n");
  shell.app.openFile(places);
  const auto recent = shell.app.recentFiles().files();
  const auto anna = shell.file("anna.csv", kAnna);
  const auto ben = shell.file("ben.csv",
                              "HQ,Head Office,1,First Floor,S,South Wing,D4,Desk 4,CN4650221P\n"
                              "HQ,Head Office,1,First Floor,N,North Wing,D2,Window desk,1.23457E+19\n");

  // While the files are read, the status bar says so and no other file work starts. The files are taken
  // by name, whatever order the dialog gives them in.
  ASSERT_TRUE(shell.app.startMerging({ben, anna}));
  EXPECT_EQ(shell.app.mergingFiles(), 2u);
  EXPECT_FALSE(window.mergeAction()->isEnabled());
  EXPECT_FALSE(window.exportReportAction()->isEnabled());
  EXPECT_FALSE(shell.app.startMerging({anna}));
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_TRUE(window.mergeAction()->isEnabled());

  auto& model = *shell.app.placeDataModel();
  EXPECT_EQ(test::describe(model.locations()),
            "HQ Head Office\n  1 First Floor\n    N North Wing\n      D1 Desk 1 [CN465018YN;]\n"
            "      D2 Desk 2 [1.23457E+19;]\n    S South Wing\n      D4 Desk 4 [CN4650221P;]\n");
  EXPECT_EQ(model.currentFileName(), std::nullopt);
  EXPECT_EQ(window.windowTitle(), "Merged places[*]");
  EXPECT_TRUE(shell.app.hasUnsavedAssignments());
  EXPECT_EQ(shell.app.recentFiles().files(), recent);
  // Each file's own load warnings are the merge's too.
  const std::string notice = shell.app.loadNotice().toStdString();
  EXPECT_TRUE(
      notice.starts_with("Names are taken from the files in this order: anna.csv, ben.csv.\n"
                         "ben.csv: the serial number on line 3 is in a spreadsheet's number format"))
      << notice;
  EXPECT_TRUE(
      notice.ends_with("\nben.csv names place D2 (location HQ, level 1, zone N) \"Window desk\", an "
                       "earlier file \"Desk 2\": the merge keeps \"Desk 2\"."))
      << notice;

  // Not exported: closing asks, and so does the next merge, before the user picks its files.
  EXPECT_FALSE(window.close());
  int chosen = 0;
  shell.app.setMergeFilesChooser([&](QWidget*) { return ++chosen, Files{anna}; });
  window.mergeAction()->trigger();
  EXPECT_EQ(shell.asked, 2);
  EXPECT_EQ(chosen, 0);

  const auto team = shell.scratch.path() / "team.csv";
  shell.app.setSaveFileChooser([&](QWidget*) { return std::optional(team); });
  window.exportAction()->trigger();
  ASSERT_TRUE(test::waitForWork(shell.app));
  EXPECT_EQ(test::contentsOf(team), test::kHeader +
                                        "HQ,Head Office,1,First Floor,N,North Wing,D1,Desk 1,CN465018YN\n"
                                        "HQ,Head Office,1,First Floor,N,North Wing,D2,Desk 2,1.23457E+19\n"
                                        "HQ,Head Office,1,First Floor,S,South Wing,D4,Desk 4,CN4650221P\n");
  EXPECT_FALSE(shell.app.hasUnsavedAssignments());
  EXPECT_EQ(window.windowTitle(), "Merged places");
  shell.app.openFileFromUser(places);
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(shell.asked, 2);
  EXPECT_FALSE(shell.app.showsMerge());
  EXPECT_EQ(window.windowTitle(), "places.csv");
}

TEST(Merging, ConflictsAreTheUsersToSettleAndCancelChangesNothing) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  const auto before = shell.openPlaces();
  const Files files = {shell.file("anna.csv", kAnna), shell.file("ben.csv", kBen)};

  // What the user is asked about: CN465018YN, at Desk 1 as anna.csv has it and at Desk 2 as ben.csv has it.
  std::vector<std::string> asked;
  std::optional<std::vector<std::size_t>> answer;
  shell.app.setConflictPrompt([&](QWidget*, const MergeResult& result, const Files& names) {
    for (const auto& conflict : result.conflicts)
      for (const auto& place : conflict.places)
        asked.push_back(conflict.serialNumber + " " + placePath(place) + " " +
                        names[place.files.front()].string());
    return answer;
  });
  shell.mergeFromMenu(files);
  EXPECT_EQ(asked,
            (std::vector<std::string>{
                "CN465018YN Head Office / First Floor / North Wing / Desk 1 (HQ / 1 / N / D1) anna.csv",
                "CN465018YN Head Office / First Floor / North Wing / Desk 2 (HQ / 1 / N / D2) ben.csv"}));
  EXPECT_EQ(test::describe(shell.app.placeDataModel()->locations()), before);
  EXPECT_EQ(window.windowTitle(), "places.csv");
  EXPECT_FALSE(shell.app.hasUnsavedAssignments());
  EXPECT_EQ(shell.app.loadError(), nullptr);

  // Picks that leave a serial number at two places load nothing.
  answer = std::vector<std::size_t>{};
  shell.mergeFromMenu(files);
  EXPECT_EQ(test::describe(shell.app.placeDataModel()->locations()), before);
  EXPECT_FALSE(shell.app.showsMerge());
  shell.app.setLoadError(nullptr);

  // Settling runs in the background as the reading did: a step taken meanwhile is asked about first.
  answer = std::vector<std::size_t>{1};
  shell.app.setConflictPrompt([&](QWidget*, const MergeResult&, const Files&) {
    QTimer::singleShot(0, [&] {
      if (shell.app.isOpening()) shell.app.undoStack().push(new QUndoCommand(QStringLiteral("step")));
    });
    return answer;
  });
  const int askedBefore = shell.asked;
  shell.mergeFromMenu(files);
  EXPECT_EQ(shell.asked, askedBefore + 1);
  EXPECT_EQ(test::describe(shell.app.placeDataModel()->locations()), before);
  shell.app.undoStack().clear();

  shell.app.setConflictPrompt([&](QWidget*, const MergeResult&, const Files&) { return answer; });
  shell.mergeFromMenu(files);
  EXPECT_EQ(
      test::describe(shell.app.placeDataModel()->locations()),
      "HQ Head Office\n  1 First Floor\n    N North Wing\n      D1 Desk 1 []\n      D2 Desk 2 [CN465018YN;]\n"
      "    S South Wing\n      D4 Desk 4 [CN4650221P;]\n");
  EXPECT_TRUE(shell.app.showsMerge());

  // The dialog itself, as the window shows it: one file for all, then OK.
  shell.app.setConflictPrompt(askAboutConflicts);
  shell.app.setUnsavedPrompt([](QWidget*) { return TamrikSeatloomApp::UnsavedChoice::discard; });
  QTimer dialogUp;  // answers the dialog once it is up
  QObject::connect(&dialogUp, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<MergeDialog*>(QApplication::activeModalWidget())) {
      dialogUp.stop();
      emit dialog->fileChoice()->activated(0);
      dialog->okButton()->click();
    }
  });
  dialogUp.start(10);
  shell.mergeFromMenu(files);
  EXPECT_EQ(shell.app.placeDataModel()->locations()[0].levels[0].zones[0].places[0]->serialNumbers().size(),
            1u);
}

TEST(Merging, AFileThatFailsNamesItAndChangesNothingAndCancelStopsTheReading) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  const auto before = shell.openPlaces();
  const auto anna = shell.file("anna.csv", kAnna);
  const auto bad = shell.scratch.write("bad.csv", "Name\nx\n");
  test::captureStdout([&] { shell.mergeFromMenu({anna, bad}); });
  ASSERT_NE(window.alert(), nullptr);
  EXPECT_EQ(window.alert()->windowTitle(), "Failed to Load file");
  const QString sentence = window.alert()->informativeText();
  EXPECT_TRUE(sentence.startsWith("bad.csv, line 1: the first line is not the header"))
      << sentence.toStdString();
  EXPECT_TRUE(sentence.endsWith(" Nothing was merged.")) << sentence.toStdString();
  EXPECT_EQ(test::describe(shell.app.placeDataModel()->locations()), before);
  EXPECT_EQ(window.windowTitle(), "places.csv");
  window.alert()->close();

  // Of two files of one name, the failing one is named by its path; a file in a Windows code page is to be
  // saved as UTF-8 first, as a merge cannot be told to read it otherwise.
  const auto bens = shell.scratch.path() / "ben";
  std::filesystem::create_directories(bens);
  const auto western = shell.scratch.write("ben/anna.csv", test::kHeader + "L,Caf\xE9,F,G,Z,Z,P,Desk,\n");
  test::captureStdout([&] { shell.mergeFromMenu({anna, western}); });
  ASSERT_NE(window.alert(), nullptr);
  const std::string named = window.alert()->informativeText().toStdString();
  EXPECT_TRUE(named.starts_with(western.string() + ", line 2, column")) << named;
  EXPECT_NE(named.find("export it, which saves it as UTF-8, and merge again."), std::string::npos) << named;
  window.alert()->close();

  std::string rows;
  for (int i = 0; i < 200000; ++i)
    rows += "L1,Main,F1,Floor,Z" + std::to_string(i % 50) + ",Zone,P" + std::to_string(i) + ",Desk,S" +
            std::to_string(i) + "\n";
  const auto large = shell.file("large.csv", rows);
  ASSERT_TRUE(shell.app.startMerging({large, anna}));
  window.cancelOpeningButton()->click();
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(test::describe(shell.app.placeDataModel()->locations()), before);
  EXPECT_EQ(shell.app.loadError(), nullptr);
}

TEST(MergeDialog, TakesAPickPerConflictOrOneFileForAllAndOKWaitsUntilAllAreSettled) {
  test::AppScratch scratch;
  const Files files = {scratch.write("anna.csv", test::kHeader + kAnna),
                       scratch.write("ben.csv", test::kHeader + kBen),
                       scratch.write("carl.csv", test::kHeader + kCarl)};
  MergeReadOptions named;
  named.names = mergeFileNames(files);
  const MergeResult result = readAndMerge(files, named);
  ASSERT_EQ(result.conflicts.size(),
            2u);  // CN465018YN (anna.csv, ben.csv), VNA3M0129L (carl.csv at two places)
  MergeDialog dialog(result, {"anna.csv", "ben.csv", "carl.csv"});
  QTreeWidget& list = *dialog.conflictList();
  ASSERT_EQ(list.topLevelItemCount(), 2);
  QTreeWidgetItem& s1 = *list.topLevelItem(0);
  EXPECT_EQ(s1.text(0), "CN465018YN");
  EXPECT_EQ(s1.text(1), "Not settled");
  ASSERT_EQ(s1.childCount(), 2);
  EXPECT_EQ(s1.child(1)->text(0), "Head Office / First Floor / North Wing / Desk 2 (HQ / 1 / N / D2)");
  EXPECT_EQ(s1.child(1)->text(1), "ben.csv");
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  EXPECT_NE(dialog.findChild<QLabel*>("MergeWarnings"), nullptr);  // Ben's other name for Desk 2
  EXPECT_NE(dialog.findChild<QPushButton*>("MergeWarningDetails"), nullptr);

  // carl.csv puts VNA3M0129L at two places: following it settles nothing; ben.csv settles CN465018YN alone.
  emit dialog.fileChoice()->activated(2);
  EXPECT_EQ(dialog.picks(), (std::vector<std::optional<std::size_t>>{std::nullopt, std::nullopt}));
  emit dialog.fileChoice()->activated(1);
  EXPECT_EQ(dialog.picks()[0], 1u);
  EXPECT_EQ(s1.child(1)->checkState(0), Qt::Checked);
  EXPECT_EQ(s1.text(1), "");
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  test::screenshot(dialog, QStringLiteral("merge-conflicts"));

  // A click on a place picks it; its sibling loses the pick, and a pick is not taken back to none.
  QTreeWidgetItem& s2 = *list.topLevelItem(1);
  s2.child(1)->setCheckState(0, Qt::Checked);
  EXPECT_TRUE(dialog.okButton()->isEnabled());
  s1.child(0)->setCheckState(0, Qt::Checked);
  EXPECT_EQ(s1.child(1)->checkState(0), Qt::Unchecked);
  s1.child(0)->setCheckState(0, Qt::Unchecked);
  EXPECT_EQ(s1.child(0)->checkState(0), Qt::Checked);
  EXPECT_EQ(dialog.settledPicks(), (std::vector<std::size_t>{0, 1}));
}

TEST(ExportReport, WritesTheCoverageOfThePlacesShownAndReportsAFailureAsAnExport) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  shell.app.openFile(shell.file("places.csv", kBen));
  const auto report = shell.scratch.path() / "report.csv";
  shell.app.setReportFileChooser([&](QWidget*) { return std::optional(report); });
  window.exportReportAction()->trigger();
  EXPECT_EQ(
      test::contentsOf(report),
      "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Places,With display,Serial numbers\n"
      "HQ,Head Office,,,,,2,2,2\nHQ,Head Office,1,First Floor,,,2,2,2\nHQ,Head Office,1,First Floor,N,North "
      "Wing,1,1,1\n"
      "HQ,Head Office,1,First Floor,S,South Wing,1,1,1\n,Total,,,,,2,2,2\n");
  EXPECT_EQ(window.statusBar()->currentMessage(), "Exported the report to report.csv.");

  shell.app.setReportFileChooser(
      [&](QWidget*) { return std::optional(shell.scratch.path() / "no" / "r.csv"); });
  window.exportReportAction()->trigger();
  ASSERT_NE(window.alert(), nullptr);
  EXPECT_EQ(window.alert()->windowTitle(), "Failed to Export file");
  EXPECT_TRUE(window.alert()->informativeText().contains("r.csv"))
      << window.alert()->informativeText().toStdString();
}

TEST(MergeDialog, WarningTextSumsUpAndShowDetailsHoldsEveryWarning) {
  std::vector<MergeWarning> warnings;
  for (int i = 0; i < 4; ++i)
    warnings.push_back({MergeWarning::Kind::differentName, "name " + std::to_string(i)});
  warnings.push_back({MergeWarning::Kind::leadingZeros, "zeros"});
  const MergeWarningText text = mergeWarningText(warnings, {"a.csv", "b.csv"});
  EXPECT_EQ(text.summary,
            "Names are taken from the files in this order: a.csv, b.csv.\nname 0\nname 1\nname 2\n"
            "2 more warnings: Show Details\u2026 lists every warning.");
  EXPECT_EQ(
      text.details,
      "Names are taken from the files in this order: a.csv, b.csv.\nname 0\nname 1\nname 2\nname 3\nzeros");
}
