#pragma once

#include <QList>
#include <QObject>
#include <cstdint>
#include <memory>

#include "peripherals/display_source.hpp"
#include "peripherals/peripheral_info.hpp"

namespace tamrik {

/// The displays attached to the computer, enumerated at creation and again whenever the display
/// configuration changes. Every assignment of a property notifies, even of an equal value.
///
/// ```cpp
/// auto manager = PeripheralManager::create(makeDisplaySource());
/// for (const auto& display : manager->peripherals()) qInfo() << display.serialNumber;
/// ```
class PeripheralManager : public QObject {
  Q_OBJECT
  Q_PROPERTY(QList<tamrik::PeripheralInfo> peripherals READ peripherals WRITE setPeripherals NOTIFY
                 peripheralsChanged)
  Q_PROPERTY(int displaysWithoutSerialNumber READ displaysWithoutSerialNumber WRITE
                 setDisplaysWithoutSerialNumber NOTIFY displaysWithoutSerialNumberChanged)

 public:
  /// A manager that enumerates through `source`: its list is emptied, it is registered for display notices
  /// (the registration keeps it alive for the rest of the program), and it enumerates once.
  static std::shared_ptr<PeripheralManager> create(std::unique_ptr<DisplaySource> source);
  ~PeripheralManager() override;

  /// The displays found by the last enumeration, in listing order.
  virtual QList<PeripheralInfo> peripherals() const { return peripherals_; }
  void setPeripherals(QList<PeripheralInfo> peripherals);
  /// How many attached displays the last enumeration found without a usable serial number, which
  /// `peripherals` leaves out.
  virtual int displaysWithoutSerialNumber() const { return displaysWithoutSerialNumber_; }
  void setDisplaysWithoutSerialNumber(int count);

  /// Enumerates the displays and replaces `displaysWithoutSerialNumber` and then `peripherals` with what was
  /// found. Raises nothing.
  void refreshPeripherals();
  /// Lists the displays through `source` from now on, starting with an enumeration: so that leaving demo
  /// mode lists the real displays.
  void setSource(std::unique_ptr<DisplaySource> source);
  /// Handles one display notice: flag 16 logs "Display added: ", else flag 32 "Display removed: ", else
  /// "Display changed: " and enumerates again.
  void handleDisplayChange(std::uint32_t display, std::uint32_t flags);

 signals:
  void peripheralsChanged();
  void displaysWithoutSerialNumberChanged();

 protected:
  explicit PeripheralManager(std::unique_ptr<DisplaySource> source);
  static void start(const std::shared_ptr<PeripheralManager>& manager);

 private:
  std::unique_ptr<DisplaySource> source_;
  QList<PeripheralInfo> peripherals_;
  int displaysWithoutSerialNumber_ = 0;
};

/// A manager for previews: it always shows the same three displays, and none without a serial number.
class SamplePeripheralManager final : public PeripheralManager {
  Q_OBJECT
 public:
  static std::shared_ptr<SamplePeripheralManager> create();
  QList<PeripheralInfo> peripherals() const override;
  int displaysWithoutSerialNumber() const override { return 0; }

 private:
  SamplePeripheralManager();
};

/// Display notices, as the platform delivers them: a display identifier, change flags (16 added, 32 removed)
/// and the user data given at registration, here a `std::shared_ptr<PeripheralManager>*`. Without user data
/// it does nothing.
void displayReconfigurationCallback(std::uint32_t display, std::uint32_t flags, void* userData);

}  // namespace tamrik
