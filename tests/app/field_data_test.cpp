#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTextDocument>
#include <QUrl>
#include <fstream>
#include <sstream>

#include "app/location_view.hpp"
#include "app/peripheral_view.hpp"
#include "app/seatloom_app.hpp"
#include "app_support.hpp"
#include "support/capture_stdout.hpp"

// What the window makes of files and displays as they come from the field: other encodings, names that
// are not UTF-8, numbers a spreadsheet rounded, markup in names, and demo mode left for a real file.

using namespace tamrik;
using test::AppScratch;

namespace {

struct Shell {
  explicit Shell(AppOptions given = {false, QStringLiteral("true"), std::nullopt})
      : options(std::move(given)) {}
  AppOptions options;
  AppScratch scratch;
  TamrikSeatloomApp app{options, scratch.settings()};

  std::filesystem::path write(const std::string& name, const std::string& rows) {
    return scratch.write(name, test::kHeader + rows);
  }
};

std::string contents(const std::filesystem::path& file) {
  std::stringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

}  // namespace

TEST(FieldData, AsksBeforeReadingAFileThatIsNotUTF8AsWesternEuropean) {
  Shell shell;
  auto& app = shell.app;
  std::optional<std::size_t> askedLine;
  bool answer = false;
  app.setEncodingPrompt([&](QWidget*, const PlacesFileError& error) {
    askedLine = error.line();
    return answer;
  });
  const auto file = shell.write("western.csv", "L1,Caf\xe9,F1,First,Z1,North,P1,Desk 1,SN1\n");

  test::captureStdout([&] { app.openFile(file); });
  EXPECT_EQ(askedLine, 2u);
  EXPECT_TRUE(app.placeDataModel()->locations().empty());  // declined: nothing loaded, nothing more said
  EXPECT_EQ(app.loadError(), nullptr);
  EXPECT_TRUE(app.recentFiles().files().empty());

  answer = true;
  test::captureStdout([&] { app.openFile(file); });
  ASSERT_EQ(app.placeDataModel()->locations().size(), 1u);
  EXPECT_EQ(app.placeDataModel()->locations()[0].name, "Café");
  EXPECT_EQ(app.recentFiles().files().size(), 1u);
  app.exportTo(shell.scratch.path() / "out.csv");
  EXPECT_NE(contents(shell.scratch.path() / "out.csv").find("L1,Café,"), std::string::npos);  // UTF-8
}

TEST(FieldData, ShowsWhatALoadWarnsOfWithoutBlockingTheWindow) {
  Shell shell;
  auto& app = shell.app;
  MainWindow& window = *app.window();
  window.show();
  EXPECT_FALSE(window.noticeBar()->isVisible());
  app.openFile(shell.write("rounded.csv", "L1,Office,F1,First,Z1,North,P1,Desk 1,1.23456789012346E+019\n"));
  EXPECT_EQ(app.placeDataModel()->locations().size(), 1u);
  EXPECT_TRUE(window.noticeBar()->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(app.loadNotice().startsWith("rounded.csv: the serial number on line 2 is in a spreadsheet's"));
  test::screenshot(window, QStringLiteral("load-notice"));

  window.noticeBar()->findChild<QPushButton*>()->click();
  EXPECT_FALSE(window.noticeBar()->isVisible());
  app.openFile(shell.scratch.path() / "rounded.csv");
  EXPECT_TRUE(window.noticeBar()->isVisible());
  app.openFile(shell.write("clean.csv", "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n"));
  EXPECT_FALSE(window.noticeBar()->isVisible());
  window.close();
}

TEST(FieldData, OpensFilesWhoseNamesAreNotUTF8) {
  Shell shell;
  const auto file = shell.write("caf\xe9.csv", "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n");
  // A file manager drops the name's bytes, percent-encoded.
  QMimeData mime;
  mime.setUrls({QUrl::fromEncoded(QByteArray("file://") +
                                  QByteArray::fromStdString(file.native()).toPercentEncoding("/"))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(shell.app.window(), &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(shell.app.window(), &drop);
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(shell.app.loadError(), nullptr);
  EXPECT_EQ(shell.app.placeDataModel()->currentFileName(), "caf\xe9.csv");
  ASSERT_EQ(shell.app.recentFiles().files().size(), 1u);
  EXPECT_EQ(shell.app.recentFiles().files()[0], file);

  // Open Recent opens it again by the same bytes, and the list reads back after a restart.
  shell.app.placeDataModel()->setLocations({});
  shell.app.window()->recentMenu()->actions().front()->trigger();
  ASSERT_TRUE(test::waitForOpening(shell.app));
  EXPECT_EQ(shell.app.placeDataModel()->locations().size(), 1u);
  EXPECT_EQ(RecentFiles::loadRecentFiles(shell.scratch.settings()), std::vector<std::filesystem::path>{file});
}

TEST(FieldData, OpeningAFileLeavesDemoMode) {
  Shell shell(AppOptions{true, QStringLiteral(R"(echo '"SerialNumber"=42')"), std::nullopt});
  auto& app = shell.app;
  ASSERT_TRUE(app.isDemo());
  EXPECT_EQ(app.placeDataModel()->locations().size(), 3u);  // the sample
  EXPECT_EQ(app.peripheralManager()->peripherals(), samplePeripherals());
  // A file that fails to load leaves the demo as it was.
  test::captureStdout([&] { app.openFile(shell.scratch.path() / "missing.csv"); });
  EXPECT_TRUE(app.isDemo());
  EXPECT_EQ(app.peripheralManager()->peripherals().size(), 3);

  const auto file = shell.write("mine.csv", "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n");
  app.openFile(file);
  EXPECT_FALSE(app.isDemo());
  ASSERT_EQ(app.placeDataModel()->locations().size(), 1u);
  EXPECT_EQ(app.placeDataModel()->locations()[0].name, "Office");
  ASSERT_EQ(app.peripheralManager()->peripherals().size(), 1);  // the real source's
  EXPECT_EQ(app.peripheralManager()->peripherals()[0].serialNumber, "42");
  app.exportTo(file);
  EXPECT_EQ(contents(file), test::kHeader + "L1,Office,F1,First,Z1,North,P1,Desk 1,SN1\n");
}

TEST(FieldData, ShowsTextsFromFilesAndDisplaysAsText) {
  const QString product = QStringLiteral("<b>Big</b> <a href=https://example.invalid>screen</a>");
  AppScratch lines;
  const auto listing = lines.write(
      "displays.txt",
      R"("DisplayAttributes" = {"ProductAttributes"={"AlphanumericSerialNumber"="<i>SN1</i>","ProductName"=")" +
          product.toStdString() + "\"}}\n");
  Shell shell(AppOptions{false, QStringLiteral("cat '%1'").arg(QString::fromStdString(listing.string())),
                         std::nullopt});
  auto& app = shell.app;
  MainWindow& window = *app.window();
  const std::string desk = "<h1>Desk</h1><img src=\"/some/local/file.png\">";
  app.openFile(shell.write(
      "<b>places.csv",
      "L1,<u>Office</u>,F1,First,Z1,North,P1,\"<h1>Desk</h1><img src=\"\"/some/local/file.png\"\">\","
      "<i>SN1</i>\n"));
  ASSERT_EQ(app.placeDataModel()->locations().size(), 1u);
  app.placeDataModel()->setSelectedPlace(app.placeDataModel()->locations()[0].levels[0].zones[0].places[0]);
  window.show();

  PeripheralView& panel = *window.contentView()->locationView()->peripheralView();
  EXPECT_EQ(panel.title()->text(), QString::fromStdString("Assign peripherals to " + desk));
  // Every label that holds markup-like text shows it as it is.
  for (QLabel* label : window.findChildren<QLabel*>()) {
    if (label->text().contains(QLatin1Char('<'))) {
      EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    }
  }
  const QModelIndex row = panel.list()->model()->index(0, 0);
  EXPECT_EQ(row.data(Qt::DisplayRole).toString(), product);
  EXPECT_EQ(row.data(Qt::ToolTipRole).toString(), Qt::convertFromPlainText(product + "\n<i>SN1</i>"));
  EXPECT_EQ(window.windowTitle(), "<b>places.csv");
  EXPECT_EQ(
      window.recentMenu()->actions().front()->toolTip(),
      Qt::convertFromPlainText(QString::fromStdString((shell.scratch.path() / "<b>places.csv").string())));
  test::screenshot(window, QStringLiteral("markup-as-text"));

  // The alert quotes the library's text, with the file's field in it.
  test::captureStdout(
      [&] { app.openFile(shell.scratch.write("bad.csv", test::kHeader + "\"<h1>x</h1>\"y,,,,,,,,\n")); });
  ASSERT_NE(window.alert(), nullptr);
  EXPECT_TRUE(window.alert()->informativeText().contains("<h1>x</h1>"));
  for (QLabel* label : window.alert()->findChildren<QLabel*>()) {
    if (label->text().contains(QLatin1Char('<'))) {
      EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    }
  }
  window.alert()->close();
  window.close();
}
