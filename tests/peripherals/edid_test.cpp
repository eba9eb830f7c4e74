#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "peripherals/display_attributes.hpp"
#include "peripherals/display_source.hpp"
#include "peripherals/edid.hpp"

using namespace tamrik;

namespace {

QByteArray fixture(const char* name) {
  QFile file(QString(TAMRIK_TEST_DATA "/edid/") + name);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
  return file.readAll();
}

// A made-up but well-formed base block ("DEL", product 0x1234) with the 32-bit serial and a string
// descriptor per (tag, text), from offset 54 on. A text shorter than 13 bytes is ended by a line feed and
// padded with spaces, as monitors do; one of 13 bytes fills its descriptor.
QByteArray edidOf(std::uint32_t serial, std::initializer_list<std::pair<char, QByteArray>> descriptors) {
  QByteArray edid(128, '\0');
  const char header[] = "\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00";
  edid.replace(0, 8, QByteArray(header, 8));
  edid[8] = 0x10, edid[9] = '\xAC';
  edid[10] = 0x34, edid[11] = 0x12;
  for (int i = 0; i < 4; ++i) edid[12 + i] = static_cast<char>(serial >> (8 * i));
  int offset = 54;
  for (const auto& [tag, text] : descriptors) {
    edid[offset + 3] = tag;
    edid.replace(offset + 5, 13, (text + '\n').leftJustified(13, ' ', true));
    offset += 18;
  }
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += static_cast<unsigned char>(edid[i]);
  edid[127] = static_cast<char>((256 - sum % 256) % 256);
  return edid;
}

QByteArray edidWith(const QByteArray& name, const QByteArray& serialText = "SER1",
                    std::uint32_t serial = 42) {
  return edidOf(serial, {{'\xFF', serialText}, {'\xFC', name}});
}

std::vector<std::string> entries(const QByteArray& listing) {
  std::vector<std::string> out;
  for (const auto& display : parseDisplayAttributes(listing))
    out.push_back((display.serialNumber + "|" + display.productName).toStdString());
  return out;
}

void writeConnector(const QDir& root, const QString& name, const QByteArray& status, const QByteArray& edid) {
  root.mkpath(name);
  QFile statusFile(root.filePath(name + "/status"));
  ASSERT_TRUE(statusFile.open(QIODevice::WriteOnly));
  statusFile.write(status + "\n");
  QFile edidFile(root.filePath(name + "/edid"));
  ASSERT_TRUE(edidFile.open(QIODevice::WriteOnly));
  edidFile.write(edid);
}

}  // namespace

TEST(Edid, RealMonitorsGiveTheirIdentity) {
  struct Case {
    const char* file;
    const char* line;
  };
  const Case cases[] = {
      {"dell-u2412m.bin",
       R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="DEL","ProductID"=41082,"SerialNumber"=810173772,"AlphanumericSerialNumber"="TK85K3140JEL","ProductName"="DELL U2412M"})"},
      {"hp-z24n.bin",
       R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="HWP","ProductID"=12814,"AlphanumericSerialNumber"="CN465018YN","ProductName"="HP Z24n"})"},
      {"boe-hb133wx1-402.bin",
       R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="BOE","ProductID"=1503})"},
      {"lg-24mp55.bin",
       R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="GSM","ProductID"=23072,"SerialNumber"=513736,"ProductName"="24MP55"})"},
      {"philips-243v5.bin",
       R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="PHL","ProductID"=49361,"SerialNumber"=11015,"AlphanumericSerialNumber"="ZV01551011015","ProductName"="PHL 243V5"})"},
      {"lenovo-lt2252p-wide.bin",
       R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="LEN","ProductID"=2572,"AlphanumericSerialNumber"="6V8AN427","ProductName"="LT2252p Wide"})"},
      {"viewsonic-vx2433wm.bin",
       R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="VSC","ProductID"=14370,"AlphanumericSerialNumber"="R4F100424142","ProductName"="VX2433wm"})"},
  };
  for (const auto& c : cases) {
    auto identity = parseEdid(fixture(c.file));
    ASSERT_TRUE(identity) << c.file;
    EXPECT_EQ(displayAttributesLine(*identity).toStdString(), c.line);
  }
  for (const char* name : {"asus-vs247.bin", "benq-gl2450.bin", "lg-full-hd.bin", "samsung-s24d300.bin"})
    EXPECT_TRUE(parseEdid(fixture(name))) << name;
}

TEST(Edid, MalformedBlocksGiveNothing) {
  QByteArray good = fixture("benq-gl2450.bin");
  EXPECT_FALSE(parseEdid(good.left(127)));
  QByteArray badChecksum = good;
  badChecksum[20] = static_cast<char>(badChecksum[20] + 1);
  EXPECT_FALSE(parseEdid(badChecksum));
  QByteArray badHeader = good;
  badHeader[0] = 1;
  EXPECT_FALSE(parseEdid(badHeader));
  EXPECT_FALSE(parseEdid(QByteArray()));
  // Quotation marks and braces would break the line; they are left out.
  auto quoted = parseEdid(edidWith("A\"{B}\"", "\"S\""));
  ASSERT_TRUE(quoted);
  auto displays = parseDisplayAttributes(displayAttributesLine(*quoted));
  ASSERT_EQ(displays.size(), 2);
  EXPECT_EQ(displays[0].serialNumber, "S");
  EXPECT_EQ(displays[0].productName, "AB");
  EXPECT_EQ(displays[1].serialNumber, "42");
}

TEST(Edid, PlaceholderSerialsAreLeftOut) {
  for (std::uint32_t placeholder : {0u, 0x01010101u, 0xFFFFFFFFu}) {
    auto identity = parseEdid(edidWith("N", "", placeholder));
    ASSERT_TRUE(identity);
    EXPECT_FALSE(identity->serial) << placeholder;
  }
  EXPECT_EQ(parseEdid(edidWith("N", "", 0x01010102)).value().serial, 0x01010102u);
}

TEST(Edid, StringsSplitOverDescriptorsAreJoined) {
  auto cinema = parseEdid(edidOf(42, {{'\xFC', "Cinema Displa"}, {'\xFF', "SER"}, {'\xFC', "y"}}));
  ASSERT_TRUE(cinema);
  EXPECT_EQ(cinema->name, "Cinema Display");
  // A full piece has no padding: a space at its end belongs to the text.
  EXPECT_EQ(parseEdid(edidOf(42, {{'\xFC', "Apple Cinema "}, {'\xFC', "HD  "}})).value().name,
            "Apple Cinema HD");
  EXPECT_EQ(parseEdid(edidOf(0, {{'\xFF', "ABCDEFGHIJKLM"}, {'\xFF', "NOP"}})).value().serialText,
            "ABCDEFGHIJKLMNOP");
}

TEST(Edid, AStringWithABadByteIsAbsentAlone) {
  auto accented = parseEdid(edidWith("Caf\xE9"));
  ASSERT_TRUE(accented);
  EXPECT_FALSE(accented->name);
  EXPECT_EQ(accented->serialText, "SER1");
  EXPECT_EQ(accented->serial, 42u);
  EXPECT_EQ(parseEdid(edidOf(42, {{'\xFC', "Good"}, {'\xFC', "B\x01"}})).value().name, "Good");
  // A NUL ends the text as a line feed does; what follows it is padding.
  auto nul = parseEdid(edidWith(QByteArray("AB\0\x01\xFF", 5), QByteArray("\0", 1)));
  ASSERT_TRUE(nul);
  EXPECT_EQ(nul->name, "AB");
  EXPECT_FALSE(nul->serialText);
}

TEST(SysfsDisplaySource, ConnectedConnectorsWithWellFormedEdids) {
  QTemporaryDir dir;
  QDir root(dir.path());
  writeConnector(root, "card0-HDMI-A-1", "connected", fixture("dell-u2412m.bin"));
  writeConnector(root, "card0-DP-1", "disconnected", fixture("hp-z24n.bin"));
  writeConnector(root, "card0-eDP-1", "connected", QByteArray());
  writeConnector(root, "card1-DP-2", "connected", fixture("benq-gl2450.bin").left(100));
  writeConnector(root, "card1-DP-3", "connected", fixture("samsung-s24d300.bin"));
  writeConnector(root, "card1-DP-4", "connected", fixture("boe-hb133wx1-402.bin"));  // no serial at all
  root.mkpath("card0");
  auto listing = parseDisplayListing(SysfsDisplaySource(dir.path()).listDisplayAttributes());
  // The empty, the short and the serial-less EDID each count as a display without a serial number.
  EXPECT_EQ(listing.displaysWithoutSerialNumber, 3);
  const auto& displays = listing.displays;
  ASSERT_EQ(displays.size(), 3);
  EXPECT_EQ(displays[0].serialNumber, "TK85K3140JEL");
  EXPECT_EQ(displays[1].serialNumber, "810173772");
  EXPECT_EQ(displays[2].serialNumber, "809578827");
  EXPECT_EQ(displays[2].productName, "S24D300");
  EXPECT_TRUE(SysfsDisplaySource(dir.path() + "/missing").listDisplayAttributes().isEmpty());
}

TEST(SysfsDisplaySource, ASerialNumberThatDifferentEdidsShareIsLeftOut) {
  QTemporaryDir dir;
  QDir root(dir.path());
  writeConnector(root, "card0-DP-1", "connected", edidWith("Left", "", 7));
  writeConnector(root, "card0-DP-2", "connected", edidWith("Right", "R2", 7));
  // The same EDID on two connectors keeps its serial number; a disconnected connector shares nothing.
  writeConnector(root, "card0-DP-3", "connected", edidWith("Twin", "", 9));
  writeConnector(root, "card0-DP-4", "connected", edidWith("Twin", "", 9));
  writeConnector(root, "card0-DP-5", "disconnected", edidWith("Off", "", 9));
  QByteArray lines = SysfsDisplaySource(dir.path()).listDisplayAttributes();
  EXPECT_EQ(entries(lines), (std::vector<std::string>{"R2|Right", "9|Twin", "9|Twin"}));
  EXPECT_EQ(parseDisplayListing(lines).displaysWithoutSerialNumber, 1);
}
