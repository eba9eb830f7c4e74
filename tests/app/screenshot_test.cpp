#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTreeView>

#include "app/location_view.hpp"
#include "app/seatloom_app.hpp"
#include "app_support.hpp"

using namespace tamrik;

namespace {

// Renders `widget` to NAME.png in the build folder's screenshots and checks that something was drawn.
void render(QWidget& widget, const QString& name) {
  QDir().mkpath(QStringLiteral(TAMRIK_SCREENSHOT_OUTPUT));
  QString file = QStringLiteral(TAMRIK_SCREENSHOT_OUTPUT "/%1.png").arg(name);
  QImage image = widget.grab().toImage();
  ASSERT_FALSE(image.isNull());
  EXPECT_TRUE(image.save(file)) << file.toStdString();
  EXPECT_GT(image.width(), 800);
}

}  // namespace

// Both layouts as `--demo` shows them, with the sample places and displays.
TEST(Screenshot, RendersTheEmptyAndTheLoadedLayouts) {
  test::AppScratch scratch;
  {
    LocationView empty(std::make_shared<PlaceDataModel>(), SamplePeripheralManager::create());
    empty.resize(1100, 640);
    render(empty, QStringLiteral("empty"));
  }
  TamrikSeatloomApp app(AppOptions{true, std::nullopt, std::nullopt}, scratch.settings());
  MainWindow& window = *app.window();
  LocationView& view = *window.contentView()->locationView();
  view.sidebar()->expandAll();
  const auto& locations = app.placeDataModel()->locations();
  ASSERT_FALSE(locations.empty());
  const auto& location = locations.front();
  const auto& level = location.levels.front();
  view.selectZone({location.locationId, level.levelId, level.zones.front().zoneId});
  app.placeDataModel()->setSelectedPlace(level.zones.front().places.front());
  window.resize(1180, 720);
  render(window, QStringLiteral("loaded"));
}
