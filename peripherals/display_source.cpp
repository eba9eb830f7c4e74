#include "peripherals/display_source.hpp"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "common/diagnostic_log.hpp"
#include "peripherals/edid.hpp"

namespace tamrik {
namespace {

// A display whose EDID does not read is still attached: its line names no serial number, so that it counts
// among the displays without one.
constexpr char kLineWithoutIdentity[] = R"("DisplayAttributes" = {"ProductAttributes"={}})";

}  // namespace

CommandDisplaySource::CommandDisplaySource(QString commandLine, QString program)
    : commandLine_(std::move(commandLine)), program_(std::move(program)) {}

QString CommandDisplaySource::registryCommandLine() {
  return QStringLiteral(R"(ioreg -lw0 | grep -o '"DisplayAttributes"\s*=\s*{[^}]*}')");
}

QByteArray CommandDisplaySource::listDisplayAttributes() {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.setInputChannelMode(QProcess::ForwardedInputChannel);
  process.start(program_, {QStringLiteral("-c"), commandLine_});
  if (!process.waitForStarted(-1)) {
    logLine(("Failed to run process: " + process.errorString()).toStdString());
    return {};
  }
  // Waiting reads the pipe as it fills, so output larger than the pipe's buffer cannot stall the child.
  process.waitForFinished(-1);
  return process.readAll();
}

SysfsDisplaySource::SysfsDisplaySource(QString root) : root_(std::move(root)) {}

QByteArray SysfsDisplaySource::listDisplayAttributes() {
  struct Connected {
    QByteArray edid;
    std::optional<EdidIdentity> identity;
  };
  std::vector<Connected> displays;
  QDir root(root_);
  // Connectors are named card<N>-<type>-<M>; the cards themselves have no dash.
  const auto connectors =
      root.entryList({QStringLiteral("card*-*")}, QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (const QString& connector : connectors) {
    QFile status(root.filePath(connector + QStringLiteral("/status")));
    if (!status.open(QIODevice::ReadOnly) || status.readAll().trimmed() != "connected") continue;
    QFile edidFile(root.filePath(connector + QStringLiteral("/edid")));
    QByteArray edid = edidFile.open(QIODevice::ReadOnly) ? edidFile.readAll() : QByteArray();
    auto identity = parseEdid(edid);
    displays.push_back({std::move(edid), std::move(identity)});
  }

  // A numeric serial that monitors with different EDIDs share identifies none of them. Byte-identical EDIDs
  // on two connectors keep theirs: nothing in them tells two monitors from one reached twice.
  std::map<std::uint32_t, const QByteArray*> firstWithSerial;
  std::set<std::uint32_t> shared;
  for (const auto& display : displays) {
    if (!display.identity || !display.identity->serial) continue;
    auto [first, isFirst] = firstWithSerial.emplace(*display.identity->serial, &display.edid);
    if (!isFirst && *first->second != display.edid) shared.insert(*display.identity->serial);
  }

  QByteArray lines;
  for (auto& display : displays) {
    if (!display.identity) {
      lines += kLineWithoutIdentity;
    } else {
      if (display.identity->serial && shared.contains(*display.identity->serial))
        display.identity->serial.reset();
      lines += displayAttributesLine(*display.identity);
    }
    lines += '\n';
  }
  return lines;
}

const QList<PeripheralInfo>& samplePeripherals() {
  static const QList<PeripheralInfo> displays{
      {QStringLiteral("SN123456"), QStringLiteral("Dell UltraSharp"), QStringLiteral("display")},
      {QStringLiteral("SN654321"), QStringLiteral("LG UltraFine"), QStringLiteral("display")},
      {QStringLiteral("SN987654"), QStringLiteral("Samsung Odyssey"), QStringLiteral("display")}};
  return displays;
}

QByteArray SampleDisplaySource::listDisplayAttributes() {
  QByteArray lines;
  for (const auto& display : samplePeripherals())
    lines += R"("DisplayAttributes" = {"ProductAttributes"={"AlphanumericSerialNumber"=")" +
             display.serialNumber.toUtf8() + R"(","ProductName"=")" + display.productName.toUtf8() + "\"}}\n";
  return lines;
}

std::unique_ptr<DisplaySource> makeDisplaySource(const QString& command) {
  if (!command.isEmpty()) return std::make_unique<CommandDisplaySource>(command);
#ifdef Q_OS_MACOS
  return std::make_unique<CommandDisplaySource>(CommandDisplaySource::registryCommandLine());
#else
  return std::make_unique<SysfsDisplaySource>();
#endif
}

}  // namespace tamrik
