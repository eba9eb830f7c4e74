#include "app/command_line.hpp"

#include "app/file_names.hpp"
#include "app/peripheral_assignment.hpp"
#include "model/coverage.hpp"
#include "model/merge.hpp"
#include "peripherals/display_attributes.hpp"
#include "peripherals/display_source.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

namespace tamrik {
namespace {

QString unknownEncoding(const QString& name) {
  QStringList known;
  for (int e = static_cast<int>(tamrikcsv::TextEncoding::ascii);
       e <= static_cast<int>(tamrikcsv::TextEncoding::iso2022JP); ++e)
    known << QString::fromUtf8(tamrikcsv::name(static_cast<tamrikcsv::TextEncoding>(e)));
  return QStringLiteral("Unknown encoding \"%1\". Known encodings: %2.\n")
      .arg(name, known.join(QStringLiteral(", ")));
}

// The options and arguments, described once for parsing and for the help that Qt prints.
struct CommandLineSyntax {
  CommandLineSyntax();

  QCommandLineParser parser;
  const QCommandLineOption help = parser.addHelpOption();  // and --help-all
  const QCommandLineOption version = parser.addVersionOption();
  const QCommandLineOption demo{QStringLiteral("demo"), QStringLiteral("Show sample places and displays.")};
  const QCommandLineOption displayCommand{
      QStringLiteral("display-command"),
      QStringLiteral("List the displays by running CMD through /bin/bash."), QStringLiteral("CMD")};
  const QCommandLineOption list{QStringLiteral("list-displays"),
                                QStringLiteral("Print the attached displays and exit, without a window.")};
  const QCommandLineOption json{QStringLiteral("json"),
                                QStringLiteral("With --list-displays or --report: print JSON.")};
  const QCommandLineOption check{
      QStringLiteral("check"), QStringLiteral("Load FILE, print a summary of it and exit, without a window."),
      QStringLiteral("FILE")};
  const QCommandLineOption report{
      QStringLiteral("report"),
      QStringLiteral(
          "Print how many places of each location, level and zone of FILE hold a display, and exit, "
          "without a window."),
      QStringLiteral("FILE")};
  const QCommandLineOption merge{
      QStringLiteral("merge"),
      QStringLiteral(
          "Merge the places files FILE... of several people into OUT, and exit, without a window."),
      QStringLiteral("OUT")};
  const QCommandLineOption prefer{
      QStringLiteral("prefer"),
      QStringLiteral("With --merge: where the files put a serial number at different places, keep the place "
                     "FILE gives (repeat in order of precedence)."),
      QStringLiteral("FILE")};
  const QCommandLineOption encoding{
      QStringLiteral("encoding"),
      QStringLiteral("Read FILE in the text encoding NAME (such as windows-1252) when it is not UTF-8."),
      QStringLiteral("NAME")};
};

CommandLineSyntax::CommandLineSyntax() {
  parser.setApplicationDescription(
      QStringLiteral("Assigns the displays attached to this computer to desks of a places file."));
  parser.addOptions({demo, displayCommand, list, json, check, report, merge, prefer, encoding});
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("A places file to open; with --merge, the files to merge."),
                               QStringLiteral("[FILE]"));
}

// "1 place", "2 places".
QString counted(std::size_t n, const char* one, const char* many) {
  return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// What a load warns of, as a line for standard error; empty when nothing.
QString warningNote(const PlacesLoadReport& report, const std::filesystem::path& file) {
  const QString text = QString::fromStdString(report.warningText(file.filename().string()));
  return text.isEmpty() ? QString() : QStringLiteral("warning: ") + text + QLatin1Char('\n');
}

// The sentence that says why `file` did not load, with what the command line can do about it. Said once,
// plainly: the log line on standard output holds the library's full text.
QString loadFailureLine(const std::filesystem::path& file, const PlacesReadOptions& options,
                        std::exception_ptr error) {
  QString text = QString::fromStdString(describeLoadFailure(file, options, error).sentence);
  try {
    std::rethrow_exception(error);
  } catch (const PlacesFileError& failure) {
    if (failure.kind() == PlacesFileError::Kind::notUTF8)
      text += QStringLiteral(" With --encoding windows-1252 it is read as Western European.");
  } catch (...) {
  }
  return text + QLatin1Char('\n');
}

QJsonObject coverageObject(const Coverage& counts, const QString& partsKey, const QString& subpartsKey) {
  QJsonObject object{{QStringLiteral("id"), QString::fromStdString(counts.id)},
                     {QStringLiteral("name"), QString::fromStdString(counts.name)}};
  object.insert(QStringLiteral("places"), qint64(counts.places));
  object.insert(QStringLiteral("placesWithDisplay"), qint64(counts.placesWithDisplay));
  object.insert(QStringLiteral("serialNumbers"), qint64(counts.serialNumbers));
  if (!partsKey.isEmpty()) {
    QJsonArray parts;
    for (const auto& part : counts.parts) parts.append(coverageObject(part, subpartsKey, {}));
    object.insert(partsKey, parts);
  }
  return object;
}

QString coverageJson(const Coverage& all) {
  QJsonArray locations;
  for (const auto& location : all.parts)
    locations.append(coverageObject(location, QStringLiteral("levels"), QStringLiteral("zones")));
  QJsonObject report{{QStringLiteral("locations"), locations}};
  report.insert(QStringLiteral("places"), qint64(all.places));
  report.insert(QStringLiteral("placesWithDisplay"), qint64(all.placesWithDisplay));
  report.insert(QStringLiteral("serialNumbers"), qint64(all.serialNumbers));
  return QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Indented));
}

// A line per location, level and zone, each indented under its owner, with the counts in aligned columns.
QString coverageTable(const Coverage& all) {
  std::vector<std::pair<QString, const Coverage*>> rows;
  auto label = [](const Coverage& counts, int depth) {
    return QString(2 * depth, QLatin1Char(' ')) + QString::fromStdString(counts.name) + QStringLiteral(" (") +
           QString::fromStdString(counts.id) + QLatin1Char(')');
  };
  for (const auto& location : all.parts) {
    rows.emplace_back(label(location, 0), &location);
    for (const auto& level : location.parts) {
      rows.emplace_back(label(level, 1), &level);
      for (const auto& zone : level.parts) rows.emplace_back(label(zone, 2), &zone);
    }
  }
  rows.emplace_back(QStringLiteral("Total"), &all);
  const QString titles[] = {QStringLiteral("Places"), QStringLiteral("With display"),
                            QStringLiteral("Serial numbers")};
  qsizetype nameWidth = 0;
  for (const auto& row : rows) nameWidth = std::max(nameWidth, row.first.size());
  QString out = QString(nameWidth, QLatin1Char(' '));
  for (const auto& title : titles) out += QStringLiteral("  ") + title;
  out += QLatin1Char('\n');
  for (const auto& [name, counts] : rows) {
    out += name.leftJustified(nameWidth);
    const std::size_t values[] = {counts->places, counts->placesWithDisplay, counts->serialNumbers};
    for (std::size_t i = 0; i < 3; ++i)
      out += QStringLiteral("  ") + QString::number(values[i]).rightJustified(titles[i].size());
    out += QLatin1Char('\n');
  }
  return out;
}

// The position among `files` of the file `wanted` names, the same file under another name included.
std::optional<std::size_t> positionOf(const std::filesystem::path& wanted,
                                      const std::vector<std::filesystem::path>& files) {
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::error_code unknown;
    if (files[i] == wanted || std::filesystem::equivalent(files[i], wanted, unknown)) return i;
  }
  return std::nullopt;
}

QString conflictText(const MergeConflict& conflict, const std::vector<std::filesystem::path>& files) {
  QString text = QStringLiteral("Serial number %1 is at %2 places:\n")
                     .arg(QString::fromStdString(conflict.serialNumber))
                     .arg(conflict.places.size());
  for (std::size_t p = 0; p < conflict.places.size(); ++p) {
    const auto& place = conflict.places[p];
    QStringList from;
    for (std::size_t file : place.files) from << displayName(files[file]);
    text += QStringLiteral("  %1, in %2%3\n")
                .arg(QString::fromStdString(placePath(place)), from.join(QStringLiteral(", ")),
                     conflict.kept == p
                         ? QStringLiteral(": kept, as %1 has it").arg(displayName(files[*conflict.settledBy]))
                         : QString());
  }
  return text;
}

}  // namespace

std::variant<AppOptions, CommandLineExit> parseCommandLine(const QStringList& arguments,
                                                           const std::vector<std::string>& nativeArguments) {
  CommandLineSyntax syntax;
  QCommandLineParser& parser = syntax.parser;
  if (!parser.parse(arguments)) return CommandLineExit{2, parser.errorText() + QLatin1Char('\n')};
  // The help waits for the application object, which names the program (see `showHelp`).
  const bool helpAll = parser.isSet(QStringLiteral("help-all"));
  if (helpAll || parser.isSet(syntax.help)) {
    AppOptions help;
    help.mode = helpAll ? AppOptions::Mode::helpAll : AppOptions::Mode::help;
    return help;
  }
  if (parser.isSet(syntax.version))
    return CommandLineExit{0, QStringLiteral("tamrik-seatloom %1\n").arg(QStringLiteral(TAMRIK_VERSION))};
  const QStringList files = parser.positionalArguments();
  const bool merging = parser.isSet(syntax.merge);
  if (files.size() > 1 && !merging) return CommandLineExit{2, QStringLiteral("Give at most one FILE.\n")};
  if (parser.isSet(syntax.prefer) && !merging)
    return CommandLineExit{2, QStringLiteral("--prefer goes with --merge.\n")};

  const int modes = int(parser.isSet(syntax.list)) + int(parser.isSet(syntax.check)) +
                    int(parser.isSet(syntax.report)) + int(merging);
  if (modes > 1)
    return CommandLineExit{2,
                           QStringLiteral("Give one of --list-displays, --check, --report and --merge.\n")};
  if (merging && files.isEmpty())
    return CommandLineExit{2, QStringLiteral("--merge OUT takes the places files to merge: FILE...\n")};
  if (parser.isSet(syntax.json) && !parser.isSet(syntax.list) && !parser.isSet(syntax.report))
    return CommandLineExit{2, QStringLiteral("--json goes with --list-displays or --report.\n")};
  if (modes > 0 && !merging && !files.isEmpty())
    return CommandLineExit{2, QStringLiteral("--list-displays, --check and --report open no FILE.\n")};

  AppOptions options;
  if (parser.isSet(syntax.encoding)) {
    options.encoding = tamrikcsv::textEncoding(parser.value(syntax.encoding).toStdString());
    if (!options.encoding) return CommandLineExit{2, unknownEncoding(parser.value(syntax.encoding))};
    if (files.isEmpty() && !parser.isSet(syntax.check) && !parser.isSet(syntax.report))
      return CommandLineExit{2,
                             QStringLiteral("--encoding goes with a FILE, --check FILE or --report FILE.\n")};
  }
  options.demo = parser.isSet(syntax.demo);
  if (parser.isSet(syntax.displayCommand)) options.displayCommand = parser.value(syntax.displayCommand);
  if (!files.isEmpty() && !merging)
    options.file = argumentPath(files.constFirst(), arguments, nativeArguments);
  if (parser.isSet(syntax.list)) {
    options.mode = AppOptions::Mode::listDisplays;
    options.json = parser.isSet(syntax.json);
  } else if (parser.isSet(syntax.check)) {
    options.mode = AppOptions::Mode::check;
    options.file = argumentPath(parser.value(syntax.check), arguments, nativeArguments);
  } else if (parser.isSet(syntax.report)) {
    options.mode = AppOptions::Mode::report;
    options.json = parser.isSet(syntax.json);
    options.file = argumentPath(parser.value(syntax.report), arguments, nativeArguments);
  } else if (merging) {
    options.mode = AppOptions::Mode::merge;
    options.file = argumentPath(parser.value(syntax.merge), arguments, nativeArguments);
    for (const auto& file : files)
      options.mergeFiles.push_back(argumentPath(file, arguments, nativeArguments));
    for (const auto& file : parser.values(syntax.prefer))
      options.preferredFiles.push_back(argumentPath(file, arguments, nativeArguments));
  }
  return options;
}

CommandLineExit listDisplays(const AppOptions& options) {
  DisplayListing listing;
  if (options.demo) {
    auto sample = SamplePeripheralManager::create();
    listing = {sample->peripherals(), sample->displaysWithoutSerialNumber()};
  } else {
    listing = parseDisplayListing(
        makeDisplaySource(options.displayCommand.value_or(QString()))->listDisplayAttributes());
  }
  const auto& displays = listing.displays;
  // On standard error, so that the list and the JSON read as they always have.
  QString note = PeripheralAssignment::displaysWithoutSerialNumberText(listing.displaysWithoutSerialNumber);
  if (!note.isEmpty()) note += QLatin1Char('\n');
  if (options.json) {
    QJsonArray array;
    for (const auto& display : displays)
      array.append(QJsonObject{{QStringLiteral("serialNumber"), display.serialNumber},
                               {QStringLiteral("productName"), display.productName}});
    return {0, QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)), note};
  }
  QString out;
  for (const auto& display : displays)
    out += display.serialNumber + QLatin1Char('\t') + display.productName + '\n';
  return {0, out, note};
}

CommandLineExit checkPlacesFile(const std::filesystem::path& file, const PlacesReadOptions& readOptions) {
  PlaceDataModel model;
  PlacesLoadReport report;
  try {
    report = model.loadPlaces(file, readOptions);
  } catch (...) {
    return {1, loadFailureLine(file, readOptions, std::current_exception())};
  }
  std::size_t levels = 0, zones = 0, places = 0, serialNumbers = 0;
  for (const auto& location : model.locations()) {
    levels += location.levels.size();
    for (const auto& level : location.levels) {
      zones += level.zones.size();
      for (const auto& zone : level.zones) {
        places += zone.places.size();
        for (const auto& place : zone.places) serialNumbers += place->serialNumbers().size();
      }
    }
  }
  return {
      0,
      QStringLiteral("%1: %2, %3, %4, %5, %6\n")
          .arg(displayName(file.filename()), counted(model.locations().size(), "location", "locations"),
               counted(levels, "level", "levels"), counted(zones, "zone", "zones"),
               counted(places, "place", "places"), counted(serialNumbers, "serial number", "serial numbers")),
      warningNote(report, file)};
}

CommandLineExit reportCoverage(const std::filesystem::path& file, const PlacesReadOptions& readOptions,
                               bool json) {
  PlaceDataModel::LoadedPlaces loaded;
  try {
    loaded = PlaceDataModel::readPlaces(file, readOptions);
  } catch (...) {
    return {1, loadFailureLine(file, readOptions, std::current_exception())};
  }
  const Coverage all = coverage(loaded.locations);
  return {0, json ? coverageJson(all) : coverageTable(all), warningNote(loaded.report, file)};
}

CommandLineExit mergePlacesFiles(const std::filesystem::path& output,
                                 const std::vector<std::filesystem::path>& files,
                                 const std::vector<std::filesystem::path>& preferred,
                                 const PlacesReadOptions& readOptions) {
  std::vector<std::size_t> preferences;
  for (const auto& file : preferred) {
    auto position = positionOf(file, files);
    if (!position)
      return {2, QStringLiteral("--prefer %1: not one of the files to merge.\n").arg(displayName(file))};
    preferences.push_back(*position);
  }
  // Every file is read before `output`, which may be one of them, is written.
  MergeResult result;
  std::size_t failed = 0;
  try {
    result = readAndMerge(files, {readOptions, preferences}, &failed);
  } catch (...) {
    const QString why =
        failed < files.size()
            ? loadFailureLine(files[failed], readOptions, std::current_exception())
            : QString::fromStdString(describeMergeFailure(std::current_exception()).sentence) +
                  QLatin1Char('\n');
    return {
        1,
        why +
            QStringLiteral("Nothing was merged: %1 was not written.\n").arg(displayName(output.filename()))};
  }
  QString note;
  for (const auto& warning : result.warnings)
    note += QStringLiteral("warning: ") + QString::fromStdString(warning.text) + QLatin1Char('\n');
  std::size_t unsettled = 0;
  for (const auto& conflict : result.conflicts) {
    note += conflictText(conflict, files);
    if (!conflict.kept) ++unsettled;
  }
  // The conflicts before the sentence that sums them up.
  if (unsettled > 0)
    return {1, note + QStringLiteral("%1 put at more than one place by the files: %2 was not written. Say "
                                     "which file to follow with --prefer FILE, or correct the files.\n")
                          .arg(unsettled == 1 ? QStringLiteral("1 serial number is")
                                              : QStringLiteral("%1 serial numbers are").arg(unsettled),
                               displayName(output.filename()))};
  PlaceDataModel model;
  model.setLocations(std::move(result.locations));
  try {
    model.exportPlaces(output);
  } catch (...) {
    return {1,
            QString::fromStdString(describeExportFailure(output, std::current_exception()).sentence) +
                QLatin1Char('\n'),
            note};
  }
  const Coverage all = coverage(model.locations());
  return {0,
          QStringLiteral("%1: %2, %3, from %4\n")
              .arg(displayName(output.filename()), counted(all.places, "place", "places"),
                   counted(all.serialNumbers, "serial number", "serial numbers"),
                   counted(files.size(), "file", "files")),
          note};
}

void showHelp(AppOptions::Mode mode) {
  CommandLineSyntax syntax;
  // Only processing prints Qt's own options, and it exits once the help is printed.
  syntax.parser.process({QCoreApplication::arguments().value(0), mode == AppOptions::Mode::helpAll
                                                                     ? QStringLiteral("--help-all")
                                                                     : QStringLiteral("--help")});
  std::abort();  // not reached
}

bool hasDisplay() {
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
         !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

}  // namespace tamrik
