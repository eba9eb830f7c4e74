#pragma once

// Where the display attribute lines come from: a shell command, or the kernel's view of the connectors.

#include <QByteArray>
#include <QString>
#include <memory>

#include "peripherals/peripheral_info.hpp"

namespace tamrik {

/// Lists the attached displays as display attribute lines, one per display.
class DisplaySource {
 public:
  virtual ~DisplaySource() = default;
  /// Everything the listing produced; nothing when it could not run.
  virtual QByteArray listDisplayAttributes() = 0;
};

/// Runs `program -c commandLine` (normally /bin/bash) with standard output and standard error on one pipe and
/// standard input inherited, and returns everything written, whatever the exit status. A program that
/// cannot start is logged as "Failed to run process: " and its reason.
class CommandDisplaySource final : public DisplaySource {
 public:
  explicit CommandDisplaySource(QString commandLine, QString program = QStringLiteral("/bin/bash"));
  QByteArray listDisplayAttributes() override;

  /// The registry listing pipeline that prints one display attribute block per line.
  static QString registryCommandLine();

 private:
  QString commandLine_;
  QString program_;
};

/// Makes a line for each connector under `root` (normally /sys/class/drm) whose "status" reads "connected",
/// in connector-name order: from its "edid", or one naming no serial number when that holds no well-formed
/// base block. A numeric serial that connected displays with different EDIDs share is left out of their
/// lines.
class SysfsDisplaySource final : public DisplaySource {
 public:
  explicit SysfsDisplaySource(QString root = QStringLiteral("/sys/class/drm"));
  QByteArray listDisplayAttributes() override;

 private:
  QString root_;
};

/// The three displays of previews and demo mode: "SN123456" Dell UltraSharp, "SN654321" LG UltraFine and
/// "SN987654" Samsung Odyssey.
const QList<PeripheralInfo>& samplePeripherals();

/// Lists `samplePeripherals()`, for demo mode: a manager with this source shows them until it is given the
/// real one.
class SampleDisplaySource final : public DisplaySource {
 public:
  QByteArray listDisplayAttributes() override;
};

/// The platform's listing: the registry command on macOS, the connectors' EDIDs elsewhere; or `command`
/// through /bin/bash when one is given.
std::unique_ptr<DisplaySource> makeDisplaySource(const QString& command = {});

}  // namespace tamrik
