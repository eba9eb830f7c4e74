#include <gtest/gtest.h>

#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

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
  ASSERT_TRUE(shell.app.startOpening(file));
  // At once, before anything is read: the bar, Cancel, and no second opening.
  EXPECT_TRUE(window.openingBar()->isVisible());
  EXPECT_TRUE(window.cancelOpeningButton()->isVisible());
  EXPECT_FALSE(window.openAction()->isEnabled());
  EXPECT_FALSE(shell.app.startOpening(file));
  test::screenshot(window, QStringLiteral("opening"));

  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(shell.app.placeDataModel()->currentFileName(), "large.csv");
  EXPECT_EQ(shell.app.recentFiles().files().size(), 1u);
  EXPECT_FALSE(window.openingBar()->isVisible());
  EXPECT_TRUE(window.openAction()->isEnabled());
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

  // A failure in the background reaches the alert as a failed open does.
  test::captureStdout([&] {
    ASSERT_TRUE(shell.app.startOpening(shell.scratch.write("bad.csv", "Name\nx\n")));
    ASSERT_TRUE(test::waitForOpening(shell.app));
  });
  ASSERT_NE(window.alert(), nullptr);
  EXPECT_TRUE(window.alert()->isVisible() || shell.app.loadError());
  window.alert()->close();

  // Closing the program while a file opens stops the reading first.
  ASSERT_TRUE(shell.app.startOpening(file));
}
