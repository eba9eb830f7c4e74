#pragma once

// Shorthands for the application tests: a scratch folder with its own preferences file, models filled from
// CSV text, and displays to list.

#include <QList>
#include <QSettings>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>

#include "../model/model_support.hpp"
#include "app/seatloom_app.hpp"
#include "model/place_data_model.hpp"
#include "peripherals/display_source.hpp"
#include "peripherals/peripheral_manager.hpp"

/// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace tamrik::test {

/// A scratch folder whose preferences live in it, never in the user's.
class AppScratch : public ScratchFolder {
 public:
  AppScratch()
      : settings_(QString::fromStdString((path() / "settings.ini").string()), QSettings::IniFormat) {}
  QSettings& settings() { return settings_; }

 private:
  QSettings settings_;
};

/// A manager listing `displays` (serial number, product name), without asking the system.
inline std::shared_ptr<PeripheralManager> managerWith(
    const std::vector<std::pair<QString, QString>>& displays) {
  auto manager = PeripheralManager::create(makeDisplaySource(QStringLiteral("true")));
  QList<PeripheralInfo> list;
  for (const auto& [serial, product] : displays) list.push_back({serial, product, QStringLiteral("display")});
  manager->setPeripherals(list);
  return manager;
}

/// A places file's rows after the header, as the store loads them.
inline void loadRows(PlaceDataModel& model, const AppScratch& scratch, const std::string& rows,
                     const std::string& name = "places.csv") {
  model.loadPlaces(scratch.write(name, kHeader + rows));
}

/// Waits (handling events, as the window does) until `app` has no opening running.
inline bool waitForOpening(TamrikSeatloomApp& app) {
  return QTest::qWaitFor([&] { return !app.isOpening(); }, 30000);
}
/// Waits until `app` has neither an opening nor an export running.
inline bool waitForWork(TamrikSeatloomApp& app) {
  return QTest::qWaitFor([&] { return !app.isOpening() && !app.isExporting(); }, 30000);
}
/// The bytes of `file`.
inline std::string contentsOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// Saves a picture of `widget` as NAME.png into $TAMRIK_SCREENSHOT_DIR, when that is set: a way to look at
/// what the tests drive.
inline void screenshot(QWidget& widget, const QString& name) {
  QString folder = qEnvironmentVariable("TAMRIK_SCREENSHOT_DIR");
  if (!folder.isEmpty()) widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

}  // namespace tamrik::test
