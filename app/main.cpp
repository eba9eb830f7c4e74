#include <QApplication>
#include <QSettings>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "app/seatloom_app.hpp"

int main(int argc, char** argv) {
  QStringList arguments;
  std::vector<std::string> nativeArguments;
  for (int i = 0; i < argc; ++i) {
    arguments << QString::fromLocal8Bit(argv[i]);
    nativeArguments.emplace_back(argv[i]);
  }
  auto parsed = tamrik::parseCommandLine(arguments, nativeArguments);
  if (auto* exit = std::get_if<tamrik::CommandLineExit>(&parsed)) {
    std::fputs(exit->output.toLocal8Bit().constData(), exit->status == 0 ? stdout : stderr);
    return exit->status;
  }
  const auto& options = std::get<tamrik::AppOptions>(parsed);
  if (options.mode == tamrik::AppOptions::Mode::help) {
    QCoreApplication application(argc, argv);  // its first argument names the program in the usage line
    tamrik::showHelp(options.mode);
  }
  if (options.mode == tamrik::AppOptions::Mode::helpAll) {
    // Qt's own options are those of the window's application object, which needs a platform: one without
    // a display server.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    tamrik::showHelp(options.mode);
  }
  if (options.mode != tamrik::AppOptions::Mode::window) {
    tamrik::shareOneMemoryArena();
    QCoreApplication application(argc, argv);  // for the display command's process
    auto result = [&] {
      switch (options.mode) {
        case tamrik::AppOptions::Mode::listDisplays:
          return tamrik::listDisplays(options);
        case tamrik::AppOptions::Mode::merge:
          return tamrik::mergePlacesFiles(*options.file, options.mergeFiles, options.preferredFiles,
                                          {options.encoding});
        case tamrik::AppOptions::Mode::report:
          return tamrik::reportCoverage(*options.file, {options.encoding}, options.json);
        default:
          return tamrik::checkPlacesFile(*options.file, {options.encoding});
      }
    }();
    std::fputs(result.output.toUtf8().constData(), result.status == 0 ? stdout : stderr);
    std::fflush(stdout);  // so that a terminal showing both puts the note after the list
    std::fputs(result.note.toUtf8().constData(), stderr);
    return result.status;
  }
  if (!tamrik::hasDisplay()) {
    // Qt would abort with a page about platform plugins; one line says what is wrong.
    std::fputs(
        "tamrik-seatloom: no display to show a window on (DISPLAY and WAYLAND_DISPLAY are unset); "
        "run it in a desktop session or under xvfb-run.\n",
        stderr);
    return 1;
  }

  tamrik::shareOneMemoryArena();
  QApplication application(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("Tamrik"));
  QApplication::setApplicationName(QStringLiteral("Seatloom"));
  // Title bars add it to the window's title, the file's name.
  QApplication::setApplicationDisplayName(QStringLiteral("Tamrik Seatloom"));
  QApplication::setApplicationVersion(QStringLiteral(TAMRIK_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("tamrik-seatloom"));

  QSettings settings;
  tamrik::TamrikSeatloomApp app(options, settings);
  app.window()->show();
  return QApplication::exec();
}
