#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/seatloom_app.hpp"

namespace tamrik {

/// What the program does when the command line asks for something other than the window.
struct CommandLineExit {
  // A constructor rather than an aggregate, so that most exits can leave the note out.
  CommandLineExit(int exitStatus = 0, QString text = {}, QString noteText = {})
      : status(exitStatus), output(std::move(text)), note(std::move(noteText)) {}

  int status = 0;
  QString output;  ///< printed before exiting: help, the version, or what was wrong
  QString note;    ///< printed on standard error whatever the status: what `output` leaves out
};

/// Reads `tamrik-seatloom [--demo] [--display-command CMD] [--encoding NAME] [FILE]`, the script modes
/// `--list-displays [--json]`, `--check FILE`, `--report FILE [--json]` and
/// `--merge OUT FILE... [--prefer FILE]...`, --help and --help-all (modes too:
/// see `showHelp`), and
/// --version; `arguments` begins with the program name. File names come from `nativeArguments`, the
/// arguments' bytes, where given (see `argumentPath`). Needs no application object.
std::variant<AppOptions, CommandLineExit> parseCommandLine(
    const QStringList& arguments, const std::vector<std::string>& nativeArguments = {});

/// `--list-displays`: the displays the enumeration finds, as the panel lists them: a line each with the
/// serial number, a tab and the product name, or a JSON array of {"serialNumber", "productName"}. The note
/// says how many connected displays are left out for want of a usable serial number, when any are.
CommandLineExit listDisplays(const AppOptions& options);

/// `--check FILE`: loads the file as "Open…" does and summarises it in one line, with what the load
/// warns of as the note, or gives the error's text and status 1.
CommandLineExit checkPlacesFile(const std::filesystem::path& file, const PlacesReadOptions& options = {});

/// `--report FILE`: loads the file as `--check` does and prints, per location, level and zone, its places,
/// those holding a display and their serial numbers: a table with levels and zones indented under their
/// location, or JSON ({"locations": [{"id", "name", "places", "placesWithDisplay", "serialNumbers",
/// "levels": [... "zones": [...]]}]} with the totals beside "locations"). A file that fails to load gives
/// the sentence `--check` gives and status 1.
CommandLineExit reportCoverage(const std::filesystem::path& file, const PlacesReadOptions& options = {},
                               bool json = false);

/// `--merge OUT FILE...`: merges the places files (see `PlacesMerge`) and writes the result to `output` as an
/// export does; `output` may be one of them. Warnings and conflicts go to the note. With a conflict that
/// no file of `preferred` (each one of `files`) settles, or a file that fails to load, writes nothing and
/// gives status 1; a preferred file that is not merged gives status 2.
CommandLineExit mergePlacesFiles(const std::filesystem::path& output,
                                 const std::vector<std::filesystem::path>& files,
                                 const std::vector<std::filesystem::path>& preferred,
                                 const PlacesReadOptions& options = {});

/// Prints the help of `AppOptions::Mode::help` or `helpAll` (with Qt's own options) and exits. Needs the
/// application object: its first argument names the program, and its kind decides which options Qt has (a
/// `QApplication` has the window's).
[[noreturn]] void showHelp(AppOptions::Mode mode);

/// Whether a window can be shown: a display server is named, or a Qt platform is chosen explicitly.
bool hasDisplay();

}  // namespace tamrik
