// The real window on a places file, driven as a person would drive it, timed from each event to the window
// being idle again: the first progress of an opening, the opening itself and the longest time the window
// went without handling events meanwhile, the peak memory, keystrokes in "Find a place" (the first after
// the opening, then the median and 95th percentile of all, and three keys typed at once) and an assignment. Run it under a display server: bench/window_figures.sh starts Xvfb.
//
//   window_figures PLACES.csv

#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/location_view.hpp"
#include "app/peripheral_view.hpp"
#include "app/seatloom_app.hpp"

namespace {

// With TAMRIK_SCREENSHOT_DIR set, saves what the window shows as NAME.png there.
void screenshot(QWidget& window, const char* name) {
  const QString folder = qEnvironmentVariable("TAMRIK_SCREENSHOT_DIR");
  if (!folder.isEmpty())
    window.grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

double milliseconds(const QElapsedTimer& timer) {
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Handles events until the queue is empty: a zero timer fires only once everything before it is done.
void untilIdle() {
  bool idle = false;
  QTimer::singleShot(0, [&] { idle = true; });
  while (!idle) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

double percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

}  // namespace

int main(int argc, char** argv) {
  tamrik::shareOneMemoryArena();
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: window_figures PLACES.csv\n");
    return 2;
  }
  const std::filesystem::path file = argv[1];
  QTemporaryDir preferences;
  QSettings settings(preferences.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
  tamrik::AppOptions options;
  options.displayCommand =
      QStringLiteral(R"(printf '"DisplayAttributes" = {"SerialNumber"=%s,"ProductName"="Bench"}\n' 41 42)");
  tamrik::TamrikSeatloomApp app(options, settings);
  tamrik::MainWindow& window = *app.window();
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  untilIdle();

  // The opening: first progress on screen, loaded, and the longest the window went without its events.
  QElapsedTimer clock;
  double longestStall = 0;
  QElapsedTimer sinceTick;
  QTimer ticks;
  ticks.setInterval(5);
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    longestStall = std::max(longestStall, milliseconds(sinceTick));
    sinceTick.restart();
  });
  clock.start();
  app.startOpening(file);
  QCoreApplication::processEvents();
  const double firstProgress = window.openingBar()->isVisible() ? milliseconds(clock) : -1;
  screenshot(window, "window-opening");
  sinceTick.start();
  ticks.start();
  while (app.isOpening()) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  untilIdle();
  const double loaded = milliseconds(clock);
  ticks.stop();
  screenshot(window, "window-loaded");
  if (!app.placeDataModel()->currentFileName()) {
    std::fprintf(stderr, "window_figures: %s did not load\n", file.c_str());
    return 1;
  }

  // Keystrokes in the search field, each from the key to the window being idle.
  auto* view = window.contentView()->locationView();
  view->searchField()->setFocus();
  std::vector<double> keys;
  for (int round = 0; round < 4; ++round) {
    for (const char* key : {"d", "e", "s", "k", " ", "1", "2"}) {
      clock.restart();
      QTest::keyClicks(view->searchField(), QString::fromLatin1(key));
      untilIdle();
      keys.push_back(milliseconds(clock));
    }
    for (int i = 0; i < 7; ++i) {
      clock.restart();
      QTest::keyClick(view->searchField(), Qt::Key_Backspace);
      untilIdle();
      keys.push_back(milliseconds(clock));
    }
  }

  // Three keys typed before the window gets to any of them, as a fast typist's arrive.
  std::vector<double> bursts;
  for (int round = 0; round < 4; ++round) {
    clock.restart();
    QTest::keyClicks(view->searchField(), QStringLiteral("hub"));
    untilIdle();
    bursts.push_back(milliseconds(clock));
    view->searchField()->clear();
    untilIdle();
  }

  // An assignment to the first place, through the panel.
  auto& model = *app.placeDataModel();
  model.setSelectedPlace(model.locations().at(0).levels.at(0).zones.at(0).places.at(0));
  untilIdle();
  auto& panel = view->peripheralView()->assignment();
  panel.toggle(QStringLiteral("41"));
  clock.restart();
  panel.assign();
  untilIdle();
  const double assignment = milliseconds(clock);
  screenshot(window, "window-assigned");

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double fileMB = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
  std::printf("file                       %s (%.1f MB)\n", file.c_str(), fileMB);
  std::printf("first progress             %.1f ms\n", firstProgress);
  std::printf("loaded                     %.0f ms\n", loaded);
  std::printf("longest stall while loading %.0f ms\n", longestStall);
  std::printf("peak memory                %.0f MB (%.1f times the file)\n",
              static_cast<double>(usage.ru_maxrss) / 1e3,
              static_cast<double>(usage.ru_maxrss) / 1e3 / fileMB);
  std::printf("first keystroke            %.1f ms\n", keys.front());
  std::printf("keystroke median           %.1f ms\n", percentile(keys, 0.5));
  std::printf("keystroke 95th percentile  %.1f ms\n", percentile(keys, 0.95));
  std::printf("three keys at once, median %.1f ms\n", percentile(bursts, 0.5));
  std::printf("assignment                 %.1f ms\n", assignment);
  return 0;
}
