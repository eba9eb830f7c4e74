#include "peripherals/peripheral_manager.hpp"

#include "common/diagnostic_log.hpp"
#include "peripherals/display_attributes.hpp"
#include "peripherals/display_notices.hpp"

namespace tamrik {

PeripheralManager::PeripheralManager(std::unique_ptr<DisplaySource> source) : source_(std::move(source)) {}
PeripheralManager::~PeripheralManager() = default;

std::shared_ptr<PeripheralManager> PeripheralManager::create(std::unique_ptr<DisplaySource> source) {
  std::shared_ptr<PeripheralManager> manager(new PeripheralManager(std::move(source)));
  start(manager);
  return manager;
}

void PeripheralManager::start(const std::shared_ptr<PeripheralManager>& manager) {
  manager->setPeripherals({});
  registerForDisplayNotices(manager);
  manager->refreshPeripherals();
}

void PeripheralManager::setPeripherals(QList<PeripheralInfo> peripherals) {
  peripherals_ = std::move(peripherals);
  emit peripheralsChanged();
}

void PeripheralManager::setDisplaysWithoutSerialNumber(int count) {
  displaysWithoutSerialNumber_ = count;
  emit displaysWithoutSerialNumberChanged();
}

void PeripheralManager::refreshPeripherals() {
  DisplayListing listing = source_ ? parseDisplayListing(source_->listDisplayAttributes()) : DisplayListing{};
  setDisplaysWithoutSerialNumber(listing.displaysWithoutSerialNumber);
  setPeripherals(std::move(listing.displays));
}

void PeripheralManager::setSource(std::unique_ptr<DisplaySource> source) {
  source_ = std::move(source);
  refreshPeripherals();
}

void PeripheralManager::handleDisplayChange(std::uint32_t display, std::uint32_t flags) {
  if (flags & kDisplayAdded) {
    logLine("Display added: " + std::to_string(display));
  } else if (flags & kDisplayRemoved) {
    logLine("Display removed: " + std::to_string(display));
  } else {
    logLine("Display changed: " + std::to_string(display));
    refreshPeripherals();
  }
}

SamplePeripheralManager::SamplePeripheralManager() : PeripheralManager(nullptr) {}

std::shared_ptr<SamplePeripheralManager> SamplePeripheralManager::create() {
  std::shared_ptr<SamplePeripheralManager> manager(new SamplePeripheralManager());
  start(manager);
  return manager;
}

QList<PeripheralInfo> SamplePeripheralManager::peripherals() const {
  return samplePeripherals();
}

void displayReconfigurationCallback(std::uint32_t display, std::uint32_t flags, void* userData) {
  if (!userData) return;
  // A copy keeps the manager alive for the whole call.
  std::shared_ptr<PeripheralManager> manager = *static_cast<std::shared_ptr<PeripheralManager>*>(userData);
  if (manager) manager->handleDisplayChange(display, flags);
}

}  // namespace tamrik
