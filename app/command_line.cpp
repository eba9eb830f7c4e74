#include "app/command_line.hpp"

#include "app/file_names.hpp"
#include "app/peripheral_assignment.hpp"
#include "peripherals/display_attributes.hpp"
#include "peripherals/display_source.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>
#include <cstdlib>

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
  const QCommandLineOption json{QStringLiteral("json"), QStringLiteral("With --list-displays: print JSON.")};
  const QCommandLineOption check{
      QStringLiteral("check"), QStringLiteral("Load FILE, print a summary of it and exit, without a window."),
      QStringLiteral("FILE")};
  const QCommandLineOption encoding{
      QStringLiteral("encoding"),
      QStringLiteral("Read FILE in the text encoding NAME (such as windows-1252) when it is not UTF-8."),
      QStringLiteral("NAME")};
};

CommandLineSyntax::CommandLineSyntax() {
  parser.setApplicationDescription(
      QStringLiteral("Assigns the displays attached to this computer to desks of a places file."));
  parser.addOptions({demo, displayCommand, list, json, check, encoding});
  parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("A places file to open."),
                               QStringLiteral("[FILE]"));
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
  if (files.size() > 1) return CommandLineExit{2, QStringLiteral("Give at most one FILE.\n")};

  if (parser.isSet(syntax.list) && parser.isSet(syntax.check))
    return CommandLineExit{2, QStringLiteral("Give either --list-displays or --check.\n")};
  if (parser.isSet(syntax.json) && !parser.isSet(syntax.list))
    return CommandLineExit{2, QStringLiteral("--json goes with --list-displays.\n")};
  if ((parser.isSet(syntax.list) || parser.isSet(syntax.check)) && !files.isEmpty())
    return CommandLineExit{2, QStringLiteral("--list-displays and --check open no FILE.\n")};

  AppOptions options;
  if (parser.isSet(syntax.encoding)) {
    options.encoding = tamrikcsv::textEncoding(parser.value(syntax.encoding).toStdString());
    if (!options.encoding) return CommandLineExit{2, unknownEncoding(parser.value(syntax.encoding))};
    if (files.isEmpty() && !parser.isSet(syntax.check))
      return CommandLineExit{2, QStringLiteral("--encoding goes with a FILE or --check FILE.\n")};
  }
  options.demo = parser.isSet(syntax.demo);
  if (parser.isSet(syntax.displayCommand)) options.displayCommand = parser.value(syntax.displayCommand);
  if (!files.isEmpty()) options.file = argumentPath(files.constFirst(), arguments, nativeArguments);
  if (parser.isSet(syntax.list)) {
    options.mode = AppOptions::Mode::listDisplays;
    options.json = parser.isSet(syntax.json);
  } else if (parser.isSet(syntax.check)) {
    options.mode = AppOptions::Mode::check;
    options.file = argumentPath(parser.value(syntax.check), arguments, nativeArguments);
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
    // Said once, plainly: the log line on standard output holds the library's full text.
    QString text =
        QString::fromStdString(describeLoadFailure(file, readOptions, std::current_exception()).sentence);
    try {
      throw;
    } catch (const PlacesFileError& error) {
      if (error.kind() == PlacesFileError::Kind::notUTF8)
        text += QStringLiteral(" With --encoding windows-1252 it is read as Western European.");
    } catch (...) {
    }
    return {1, text + QLatin1Char('\n')};
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
  auto count = [](std::size_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
  };
  const auto name = file.filename().string();
  const QString warnings = QString::fromStdString(report.warningText(name));
  return {0,
          QStringLiteral("%1: %2, %3, %4, %5, %6\n")
              .arg(displayName(file.filename()), count(model.locations().size(), "location", "locations"),
                   count(levels, "level", "levels"), count(zones, "zone", "zones"),
                   count(places, "place", "places"), count(serialNumbers, "serial number", "serial numbers")),
          warnings.isEmpty() ? QString() : QStringLiteral("warning: ") + warnings + QLatin1Char('\n')};
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
