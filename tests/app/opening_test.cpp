#include <gtest/gtest.h>

#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <thread>

#include "app/location_view.hpp"
#include "app/peripheral_view.hpp"
#include "app/seatloom_app.hpp"
#include "app_support.hpp"
#include "support/capture_stdout.hpp"

// Opening a file on another thread: the window shows how far it got, stays usable, and can stop it.

using namespace tamrik;

namespace {

// Started in demo mode, so that no display command runs: the tests run under ThreadSanitizer too, which
// cannot follow the way Qt starts processes.
struct Shell {
  test::AppScratch scratch;
  TamrikSeatloomApp app{AppOptions{true, std::nullopt, std::nullopt}, scratch.settings()};

  // A file large enough that an opening is still reading when the test acts on it.
  std::filesystem::path largeFile() {
    std::string rows;
    for (int i = 0; i < 300000; ++i)
      rows += "L1,Main,F" + std::to_string(i % 7) + ",Floor,Z" + std::to_string(i % 50) + ",Zone,P" +
              std::to_string(i) + ",Desk " + std::to_string(i) + ",SN" + std::to_string(i) + "\n";
    return scratch.write("large.csv", test::kHeader + rows);
  }
};

}  // namespace

TEST(Opening, ShowsProgressAndLoadsInTheBackground) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  window.show();
  EXPECT_FALSE(window.openingBar()->isVisible());
  const auto file = shell.largeFile();
  // A search typed before the file arrives applies to it as it arrives.
  LocationView& view = *window.contentView()->locationView();
  view.setSearchText(QStringLiteral("desk 299999"));
  EXPECT_EQ(view.locationTree().rowCount(), 0);
  ASSERT_TRUE(shell.app.startOpening(file));
  // At once, before anything is read: the bar, Cancel, and no second opening.
  EXPECT_TRUE(window.openingBar()->isVisible());
  EXPECT_TRUE(window.cancelOpeningButton()->isVisible());
  EXPECT_FALSE(window.openAction()->isEnabled());
  EXPECT_FALSE(shell.app.startOpening(file));
  // The empty window's Open button waits too, rather than looking as if it would act.
  auto emptyOpen = [&] {
    for (auto* button : window.findChildren<QPushButton*>())
      if (button->text() == window.openAction()->text()) return button;
    return static_cast<QPushButton*>(nullptr);
  };
  ASSERT_NE(emptyOpen(), nullptr);
  EXPECT_FALSE(emptyOpen()->isEnabled());
  test::screenshot(window, QStringLiteral("opening"));

  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(shell.app.placeDataModel()->currentFileName(), "large.csv");
  EXPECT_EQ(shell.app.recentFiles().files().size(), 1u);
  EXPECT_FALSE(window.openingBar()->isVisible());
  EXPECT_TRUE(window.openAction()->isEnabled());
  EXPECT_TRUE(emptyOpen()->isEnabled());
  ASSERT_EQ(view.locationTree().rowCount(), 1);
  EXPECT_TRUE(view.locationTree().index(0, 0).data().toString().startsWith(QStringLiteral("Main")));
  view.setSearchText(QStringLiteral("desk 12345"));  // and so does the next one
  EXPECT_EQ(view.locationTree().rowCount(), 1);
  view.setSearchText(QStringLiteral("no such desk"));
  EXPECT_EQ(view.locationTree().rowCount(), 0);
  window.close();
}

TEST(Opening, CancelLeavesTheStoreAsItWas) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  shell.app.openFile(
      shell.scratch.write("small.csv", test::kHeader + "L1,Main,F1,Ground,Z1,North,P1,Desk,S1\n"));
  const auto before = shell.app.placeDataModel()->locations();
  const auto file = shell.largeFile();

  std::string log = test::captureStdout([&] {
    ASSERT_TRUE(shell.app.startOpening(file));
    window.cancelOpeningButton()->click();
    ASSERT_TRUE(test::waitForOpening(shell.app));
  });
  EXPECT_EQ(log, "");  // a cancel is no error
  EXPECT_EQ(shell.app.placeDataModel()->locations(), before);
  EXPECT_EQ(shell.app.placeDataModel()->currentFileName(), "small.csv");
  EXPECT_EQ(shell.app.loadError(), nullptr);
  EXPECT_EQ(shell.app.recentFiles().files().size(), 1u);

  // A cancel after the last byte was read, while the hierarchy is still being built, stands too.
  ASSERT_TRUE(shell.app.startOpening(file));
  while (shell.app.openingProgress()->total() == 0 ||
         shell.app.openingProgress()->done() < shell.app.openingProgress()->total())
    std::this_thread::yield();
  shell.app.cancelOpening();
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(shell.app.placeDataModel()->currentFileName(), "small.csv");

  // A failure in the background reaches the alert as a failed open does.
  test::captureStdout([&] {
    ASSERT_TRUE(shell.app.startOpening(shell.scratch.write("bad.csv", "Name\nx\n")));
    ASSERT_TRUE(test::waitForOpening(shell.app));
  });
  ASSERT_NE(window.alert(), nullptr);
  EXPECT_TRUE(
      window.alert()->informativeText().startsWith("bad.csv, line 1: the first line is not the header"));
  window.alert()->close();

  // Assignments made while a file reads are asked about before the file replaces them; Cancel keeps them.
  int asked = 0;
  shell.app.setUnsavedPrompt([&](QWidget*) {
    ++asked;
    return TamrikSeatloomApp::UnsavedChoice::cancel;
  });
  ASSERT_TRUE(shell.app.startOpening(file));
  auto& model = *shell.app.placeDataModel();
  auto& panel = window.contentView()->locationView()->peripheralView()->assignment();
  model.setSelectedPlace(model.locations()[0].levels[0].zones[0].places[0]);
  panel.toggle(QStringLiteral("SN123456"));
  test::captureStdout([&] { panel.assign(); });
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(model.currentFileName(), "small.csv");
  EXPECT_TRUE(shell.app.hasUnsavedAssignments());

  // Closing while a file opens, answered Export: the opening stops, the export writes, the window closes.
  const auto saved = shell.scratch.path() / "saved.csv";
  shell.app.setUnsavedPrompt([](QWidget*) { return TamrikSeatloomApp::UnsavedChoice::exportFirst; });
  shell.app.setSaveFileChooser([&](QWidget*) { return std::optional(saved); });
  window.show();
  ASSERT_TRUE(shell.app.startOpening(file));
  EXPECT_FALSE(window.close());
  ASSERT_TRUE(test::waitForWork(shell.app));
  EXPECT_EQ(model.currentFileName(), "small.csv");
  EXPECT_NE(test::contentsOf(saved).find("SN123456"), std::string::npos);
  EXPECT_FALSE(shell.app.hasUnsavedAssignments());
  EXPECT_FALSE(window.isVisible());

  // Closing the program while a file opens stops the reading first.
  ASSERT_TRUE(shell.app.startOpening(file));
}

TEST(Exporting, WritesInTheBackgroundFromASnapshotAndCancelLeavesTheFile) {
  Shell shell;
  MainWindow& window = *shell.app.window();
  shell.app.openFile(shell.largeFile());
  const auto destination = shell.scratch.write("out.csv", "old contents\n");
  auto& model = *shell.app.placeDataModel();
  auto& panel = window.contentView()->locationView()->peripheralView()->assignment();
  model.setSelectedPlace(model.locations()[0].levels[0].zones[0].places[0]);
  panel.toggle(QStringLiteral("SN123456"));
  test::captureStdout([&] { panel.assign(); });
  ASSERT_TRUE(shell.app.hasUnsavedAssignments());

  // Cancelled: the old file stays, with nothing beside it.
  ASSERT_TRUE(shell.app.startExporting(destination));
  EXPECT_FALSE(window.exportAction()->isEnabled());
  EXPECT_FALSE(shell.app.startOpening(destination));
  shell.app.cancelExporting();
  ASSERT_TRUE(test::waitForWork(shell.app));
  EXPECT_EQ(test::contentsOf(destination), "old contents\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(shell.scratch.path()), {}), 3);  // none beside
  EXPECT_TRUE(shell.app.hasUnsavedAssignments());

  // Written: what the store held when it started, though an assignment came while it wrote.
  ASSERT_TRUE(shell.app.startExporting(destination));
  EXPECT_FALSE(window.openingBar()->isHidden());
  const auto second = model.locations()[0].levels[0].zones[0].places[1];
  model.setSelectedPlace(second);
  panel.toggle(QStringLiteral("SN654321"));
  test::captureStdout([&] { panel.assign(); });
  ASSERT_TRUE(test::waitForWork(shell.app));
  const auto written = test::contentsOf(destination);
  EXPECT_NE(written.find(",SN123456\n"), std::string::npos);
  EXPECT_EQ(written.find(",SN654321\n"), std::string::npos);
  EXPECT_TRUE(shell.app.hasUnsavedAssignments());  // the second assignment is not in the file
  EXPECT_TRUE(window.openingBar()->isHidden());
  EXPECT_TRUE(window.exportAction()->isEnabled());
}
