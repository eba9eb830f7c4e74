#include "peripherals/display_notices.hpp"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <vector>

#ifdef __linux__
#include <libudev.h>
#endif

#include "peripherals/peripheral_manager.hpp"

namespace tamrik {
namespace {

// One registration per manager, kept for the whole run of the program, as the platform's would be.
struct Registration {
  std::shared_ptr<PeripheralManager> manager;  // the user data handed to the callback
  std::unique_ptr<QSocketNotifier> notifier;
#ifdef __linux__
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
#endif
};

std::vector<std::unique_ptr<Registration>>& registrations() {
  static auto* all =
      new std::vector<std::unique_ptr<Registration>>();  // never destroyed, like the registrations
  return *all;
}

// Screens have no number of their own; their place among the screens serves.
std::uint32_t screenIdentifier(QScreen* screen) {
  auto index = QGuiApplication::screens().indexOf(screen);
  return static_cast<std::uint32_t>(index < 0 ? QGuiApplication::screens().size() : index);
}

#ifdef __linux__
// Hot-plug events of the kernel's DRM devices, read on the main thread as the socket becomes readable.
void watchDrmEvents(Registration& registration) {
  if (!QCoreApplication::instance()) return;
  registration.context = udev_new();
  if (!registration.context) return;
  registration.monitor = udev_monitor_new_from_netlink(registration.context, "udev");
  if (!registration.monitor ||
      udev_monitor_filter_add_match_subsystem_devtype(registration.monitor, "drm", nullptr) < 0 ||
      udev_monitor_enable_receiving(registration.monitor) < 0)
    return;
  registration.notifier =
      std::make_unique<QSocketNotifier>(udev_monitor_get_fd(registration.monitor), QSocketNotifier::Read);
  udev_monitor* monitor = registration.monitor;
  void* userData = &registration.manager;
  QObject::connect(registration.notifier.get(), &QSocketNotifier::activated, [monitor, userData] {
    while (udev_device* device = udev_monitor_receive_device(monitor)) {
      const char* number = udev_device_get_sysnum(device);
      auto display = static_cast<std::uint32_t>(number ? std::strtoul(number, nullptr, 10) : 0);
      udev_device_unref(device);
      displayReconfigurationCallback(display, 0, userData);
    }
  });
}
#endif

}  // namespace

void registerForDisplayNotices(std::shared_ptr<PeripheralManager> manager) {
  auto registration = std::make_unique<Registration>();
  registration->manager = std::move(manager);
  void* userData = &registration->manager;
#ifdef __linux__
  watchDrmEvents(*registration);
#endif
  if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    QObject::connect(gui, &QGuiApplication::screenAdded, gui, [userData](QScreen* screen) {
      displayReconfigurationCallback(screenIdentifier(screen), kDisplayAdded, userData);
    });
    QObject::connect(gui, &QGuiApplication::screenRemoved, gui, [userData](QScreen* screen) {
      displayReconfigurationCallback(screenIdentifier(screen), kDisplayRemoved, userData);
    });
  }
  registrations().push_back(std::move(registration));
}

}  // namespace tamrik
