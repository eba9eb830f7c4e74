#include <gtest/gtest.h>

#include "peripherals/display_attributes.hpp"

using namespace tamrik;

namespace {
QList<PeripheralInfo> parse(const char* text) {
  return parseDisplayAttributes(QByteArray(text));
}
QStringList serials(const QList<PeripheralInfo>& displays) {
  QStringList out;
  for (const auto& display : displays)
    out << display.serialNumber + "|" + display.productName + "|" + display.icon;
  return out;
}
}  // namespace

TEST(Extractors, TwoStageSearches) {
  const QString line =
      R"("DisplayAttributes" = {"ProductAttributes"={"ManufacturerID"="DEL","ProductID"=41197,)"
      R"("SerialNumber"=808464432,"AlphanumericSerialNumber"="7MT0186G1C2L","ProductName"="DELL U2719D"})";
  EXPECT_EQ(extractProductName(line), QString("DELL U2719D"));
  EXPECT_EQ(extractAlphanumericSerialNumber(line), QString("7MT0186G1C2L"));
  EXPECT_EQ(extractSerialNumber(line), QString("808464432"));

  EXPECT_EQ(extractProductName(R"("ProductName"="")"), std::nullopt);
  EXPECT_EQ(extractProductName(R"("ProductName" =  "A \"quoted\" name")"), QString("A \\"));
  EXPECT_EQ(extractSerialNumber(R"("SerialNumber"="123")"), std::nullopt);
  EXPECT_EQ(extractSerialNumber(R"("SerialNumber"= x"123")"), std::nullopt);
  EXPECT_EQ(extractSerialNumber(R"("SerialNumber"=12ab34,)"), QString("12"));
  EXPECT_EQ(extractSerialNumber(R"("AlphanumericSerialNumber"="12")"), std::nullopt);
  EXPECT_EQ(extractSerialNumber("\"SerialNumber\" =\t0}"), QString("0"));
}

TEST(DisplayAttributes, LinesToDisplays) {
  EXPECT_EQ(serials(parse(R"({"SerialNumber"=5,"AlphanumericSerialNumber"="A1","ProductName"="P"})")),
            (QStringList{"A1|P|display", "5|P|display"}));
  EXPECT_EQ(serials(parse(R"({"SerialNumber"=0})")), (QStringList{"0|Monitor|display"}));
  EXPECT_EQ(serials(parse(R"({"SerialNumber"=7,"ProductName"=""})")), (QStringList{"7|Monitor|display"}));
  EXPECT_EQ(serials(parse("{\"SerialNumber\"=1}\n\n{\"SerialNumber\"=1}\n")),
            (QStringList{"1|Monitor|display", "1|Monitor|display"}));
  EXPECT_TRUE(parse("").isEmpty());
  EXPECT_TRUE(parse("bash: ioreg: command not found\n{\"ProductName\"=\"No serial\"}\n").isEmpty());
  EXPECT_TRUE(parseDisplayAttributes(QByteArray("{\"SerialNumber\"=1}\n\xff\n")).isEmpty());
}

TEST(DisplayAttributes, CountsTheLinesThatGiveNoDisplay) {
  auto count = [](const char* text) { return parseDisplayListing(text).displaysWithoutSerialNumber; };
  EXPECT_EQ(count("{\"SerialNumber\"=0}\n\n{\"AlphanumericSerialNumber\"=\"A\"}"), 0);
  // A shell's message is no display; a display's block without a serial number is one.
  EXPECT_EQ(count("bash: ioreg: command not found\n\"DisplayAttributes\" = {\"ProductName\"=\"No serial\"}\n"
                  "\"DisplayAttributes\" = {}\n{\"SerialNumber\"=1}"),
            2);
  auto notUtf8 =
      parseDisplayListing("\"DisplayAttributes\" = {\"SerialNumber\"=1}\n\xff\n\n\"DisplayAttributes\"={}");
  EXPECT_TRUE(notUtf8.displays.isEmpty());
  EXPECT_EQ(notUtf8.displaysWithoutSerialNumber, 2);
}

TEST(PeripheralInfo, IdentifiedBySerialNumberAlone) {
  PeripheralInfo a{"SN1", "One", "display"}, b{"SN1", "Other", "square"};
  EXPECT_EQ(a, b);
  EXPECT_EQ(std::hash<PeripheralInfo>{}(a), std::hash<PeripheralInfo>{}(b));
  EXPECT_NE(a, (PeripheralInfo{"SN2", "One", "display"}));
  EXPECT_EQ(a.id(), "SN1");
}
