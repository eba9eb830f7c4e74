#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include "peripherals/display_notices.hpp"
#include "peripherals/peripheral_manager.hpp"
#include "support/capture_stdout.hpp"

using namespace tamrik;
using test::captureStdout;

namespace {

std::shared_ptr<PeripheralManager> managerFor(const QString& command) {
  return PeripheralManager::create(std::make_unique<CommandDisplaySource>(command));
}

// Counts the listings a manager asks for.
class CountingSource final : public DisplaySource {
 public:
  explicit CountingSource(int* count) : count_(count) {}
  QByteArray listDisplayAttributes() override {
    ++*count_;
    return "{\"SerialNumber\"=1}\n";
  }

 private:
  int* count_;
};

}  // namespace

TEST(PeripheralManager, EnumeratesThroughTheCommandAtCreation) {
  auto manager = managerFor(
      R"(printf '%s\n' '{"SerialNumber"=5,"AlphanumericSerialNumber"="A1","ProductName"="P"}' >&2)");
  ASSERT_EQ(manager->peripherals().size(), 2);
  EXPECT_EQ(manager->peripherals()[0].serialNumber, "A1");
  EXPECT_EQ(manager->peripherals()[1].serialNumber, "5");
  EXPECT_TRUE(managerFor("exit 3").get()->peripherals().isEmpty());
}

TEST(PeripheralManager, ReadsOutputFarLargerThanAPipe) {
  // About 8 MB of blocks, each with a serial number.
  auto manager = managerFor(R"(yes '{"SerialNumber"=42,"ProductName"="Big"}' | head -n 200000)");
  EXPECT_EQ(manager->peripherals().size(), 200000);
}

TEST(PeripheralManager, AProgramThatCannotStartIsLoggedAndListsNothing) {
  std::shared_ptr<PeripheralManager> manager;
  auto log = captureStdout([&] {
    manager = PeripheralManager::create(std::make_unique<CommandDisplaySource>("true", "/nonexistent/shell"));
  });
  EXPECT_EQ(log.rfind("Failed to run process: ", 0), 0u) << log;
  EXPECT_TRUE(manager->peripherals().isEmpty());
}

TEST(PeripheralManager, EveryReplacementNotifies) {
  auto manager = managerFor("true");
  QSignalSpy spy(manager.get(), &PeripheralManager::peripheralsChanged);
  manager->refreshPeripherals();
  manager->refreshPeripherals();
  EXPECT_EQ(spy.count(), 2);
}

TEST(PeripheralManager, CountsTheDisplaysWithoutAUsableSerialNumber) {
  auto manager = managerFor(
      R"(printf '%s\n' '"DisplayAttributes"={"SerialNumber"=5}' '"DisplayAttributes"={"ProductName"="P"}' '' 'oops' )"
      R"('"DisplayAttributes"={}')");
  EXPECT_EQ(manager->peripherals().size(), 1);
  EXPECT_EQ(manager->displaysWithoutSerialNumber(), 2);
  QSignalSpy spy(manager.get(), &PeripheralManager::displaysWithoutSerialNumberChanged);
  manager->refreshPeripherals();
  manager->refreshPeripherals();
  EXPECT_EQ(spy.count(), 2);
  EXPECT_EQ(managerFor("true")->displaysWithoutSerialNumber(), 0);
  auto sample = SamplePeripheralManager::create();
  sample->setDisplaysWithoutSerialNumber(4);
  EXPECT_EQ(sample->displaysWithoutSerialNumber(), 0);
}

TEST(DisplayNotices, AddedAndRemovedAreLoggedOthersEnumerateAgain) {
  int listings = 0;
  auto manager = PeripheralManager::create(std::make_unique<CountingSource>(&listings));
  ASSERT_EQ(listings, 1);
  std::shared_ptr<PeripheralManager> user = manager;
  EXPECT_EQ(captureStdout([&] { displayReconfigurationCallback(2, kDisplayAdded, &user); }),
            "Display added: 2\n");
  EXPECT_EQ(captureStdout([&] { displayReconfigurationCallback(2, 48, &user); }), "Display added: 2\n");
  EXPECT_EQ(captureStdout([&] { displayReconfigurationCallback(7, kDisplayRemoved, &user); }),
            "Display removed: 7\n");
  EXPECT_EQ(listings, 1);
  EXPECT_EQ(captureStdout([&] { displayReconfigurationCallback(4294967295u, 0, &user); }),
            "Display changed: 4294967295\n");
  EXPECT_EQ(captureStdout([&] { displayReconfigurationCallback(1, 1 | 4, &user); }), "Display changed: 1\n");
  EXPECT_EQ(listings, 3);
  EXPECT_EQ(captureStdout([&] { displayReconfigurationCallback(1, 0, nullptr); }), "");
}

TEST(DisplayNotices, TheKernelMonitorStartsAndStaysQuietWithoutDisplays) {
  auto log = captureStdout([] {
    int listings = 0;
    auto manager = PeripheralManager::create(std::make_unique<CountingSource>(&listings));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  });
  EXPECT_EQ(log, "");
}

TEST(SamplePeripheralManager, AlwaysTheSameThreeDisplays) {
  auto sample = SamplePeripheralManager::create();
  sample->setPeripherals({{"X", "Y", "display"}});
  ASSERT_EQ(sample->peripherals().size(), 3);
  EXPECT_EQ(sample->peripherals()[0].serialNumber, "SN123456");
  EXPECT_EQ(sample->peripherals()[1].productName, "LG UltraFine");
  EXPECT_EQ(sample->peripherals()[2].serialNumber, "SN987654");
}
