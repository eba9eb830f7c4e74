#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QString>
#include <fstream>
#include <sstream>

#include "model/place_data_model.hpp"
#include "model_support.hpp"
#include "support/capture_stdout.hpp"
#include "tamrikcsv/reader/csv_error.hpp"

using namespace tamrik;
using test::captureStdout;
using test::describe;
using test::kHeader;

namespace {

class PlacesFileTest : public ::testing::Test {
 protected:
  // The file loaded into a fresh model, described; the log stays quiet on success.
  std::string loaded(const std::filesystem::path& file, PlacesReadOptions options = {}) {
    PlaceDataModel model;
    EXPECT_EQ(captureStdout([&] { report = model.loadPlaces(file, options); }), "");
    return describe(model.locations());
  }
  // The error a load of `file` raises into a model that holds `first`, which it must leave as it was.
  template <class Error = PlacesFileError>
  Error refused(const std::filesystem::path& file, PlacesReadOptions options = {}) {
    PlaceDataModel model;
    model.loadPlaces(first);
    const auto before = describe(model.locations());
    std::optional<Error> error;
    const auto log = captureStdout([&] {
      try {
        model.loadPlaces(file, options);
      } catch (const Error& raised) {
        error = raised;
      }
    });
    if (!error) throw std::logic_error(file.string() + " did not fail as expected");
    EXPECT_EQ(log, std::string("Error loading places: ") + error->what() + "\n");
    EXPECT_EQ(describe(model.locations()), before);
    EXPECT_EQ(model.currentFileName(), "first.csv");
    return *error;
  }

  test::ScratchFolder folder;
  PlacesLoadReport report;
  std::filesystem::path first =
      folder.write("first.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n");
  const std::string expected =
      "L1 Café\n  F1 Ground\n    Z1 North\n      P1 Desk A [S1;]\n      P2 Desk B []\n";
};

std::string withSeparators(std::string text, char delimiter, const std::string& lineEnd) {
  for (char& c : text)
    if (c == ',') c = delimiter;
  std::string out;
  for (char c : text) out += c == '\n' ? lineEnd : std::string(1, c);
  return out;
}

}  // namespace

TEST_F(PlacesFileTest, ReadsTheLineEndsAndSeparatorsOfSpreadsheetPrograms) {
  const std::string rows =
      kHeader + "L1,Café,F1,Ground,Z1,North,P1,Desk A,S1\nL1,Café,F1,Ground,Z1,North,P2,Desk B,\n";
  for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
    for (char delimiter : {',', ';', '\t'}) {
      auto file = folder.write("places.csv", withSeparators(rows, delimiter, lineEnd));
      EXPECT_EQ(loaded(file), expected) << int(delimiter) << " " << int(lineEnd[0]);
    }
  }
  // The "Unicode text" of spreadsheet programs: UTF-16 with its mark, tabs and CR LF; and CR alone in
  // the other byte order.
  std::string little = "\xFF\xFE", big = "\xFE\xFF";
  for (char16_t unit : QString::fromStdString(withSeparators(rows, '\t', "\r\n")).toStdU16String())
    little += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  for (char16_t unit : QString::fromStdString(withSeparators(rows, ';', "\r")).toStdU16String())
    big += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  EXPECT_EQ(loaded(folder.write("unicode.txt", little)), expected);
  EXPECT_EQ(loaded(folder.write("big.csv", big)), expected);
  // A quoted field keeps its line ends and delimiters; a comma inside a semicolon file is text.
  auto quoted =
      folder.write("quoted.csv", withSeparators(kHeader, ';', "\r") +
                                     "L1;\"Café\";F1;Ground;Z1;North;P1;\"Desk, \"\"A\"\"\r2\";S1\r");
  EXPECT_EQ(loaded(quoted), "L1 Café\n  F1 Ground\n    Z1 North\n      P1 Desk, \"A\"\r2 [S1;]\n");
  // Semicolons in a comma file's names don't make it a semicolon file.
  auto commas = folder.write("commas.csv", kHeader + "L1;x,Café,F1,Ground,Z1,North,P1,Desk A,S1\n");
  EXPECT_EQ(loaded(commas), "L1;x Café\n  F1 Ground\n    Z1 North\n      P1 Desk A [S1;]\n");
}

TEST_F(PlacesFileTest, RefusesWhatIsNotAPlacesFileInPlainWords) {
  auto empty = refused(folder.write("empty.csv", ""));
  EXPECT_EQ(empty.kind(), PlacesFileError::Kind::empty);
  EXPECT_STREQ(
      empty.what(),
      "empty.csv is empty. A places file starts with the header line: Location ID, Location Name, Level "
      "ID, Level Name, Zone ID, Zone Name, Place ID, Place Name, Serial Number.");
  EXPECT_EQ(refused(folder.write("mark.csv", "\xEF\xBB\xBF")).kind(), PlacesFileError::Kind::empty);

  // A FIFO without a writer would block a read for ever; it is refused before anything opens it. (Held
  // open here, so that a read which wrongly gets that far fails rather than hangs the test.)
  const auto fifo = folder.path() / "pipe.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int held = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
  auto special = refused(fifo);
  EXPECT_EQ(special.kind(), PlacesFileError::Kind::notRegularFile);
  EXPECT_STREQ(special.what(), "pipe.csv is not a regular file. Choose a places file saved on disk.");
  ::close(held);
  EXPECT_EQ(refused("/dev/null").kind(), PlacesFileError::Kind::notRegularFile);
  EXPECT_EQ(refused(folder.path()).kind(), PlacesFileError::Kind::notRegularFile);
  // A link to a places file is read as the file.
  std::filesystem::create_symlink(first, folder.path() / "link.csv");
  EXPECT_EQ(loaded(folder.path() / "link.csv"),
            "L1 Main\n  F1 Ground\n    Z1 North\n      P1 Desk A [S1;]\n");
}

TEST_F(PlacesFileTest, SaysWhereTextIsNotUTF8AndReadsTheEncodingGiven) {
  // "Café Zürich" as Windows-1252 saves it, on the third line, after a quoted field over two lines.
  auto file = folder.write("cp1252.csv", kHeader +
                                             "L1,Main,F1,Ground,Z1,North,P1,\"Desk\r\nA\",S1\r\n"
                                             "L1,Main,F1,Ground,Z2,Caf\xE9 Z\xFCrich,P2,Desk B,\r\n");
  auto error = refused(file);
  EXPECT_EQ(error.kind(), PlacesFileError::Kind::notUTF8);
  EXPECT_EQ(error.line(), 4u);
  EXPECT_EQ(error.column(), 25u);
  EXPECT_EQ(std::string(error.what()).substr(0, 52), "cp1252.csv, line 4, column 25: the text is not UTF-8");
  EXPECT_TRUE(error.underlying());

  const PlacesReadOptions western{tamrikcsv::TextEncoding::windowsCP1252};
  PlaceDataModel model;
  model.loadPlaces(file, western);
  EXPECT_EQ(model.locations()[0].levels[0].zones[0].name, "Café Zürich");
  model.exportPlaces(folder.path() / "out.csv");
  std::stringstream out;
  out << std::ifstream(folder.path() / "out.csv").rdbuf();
  EXPECT_NE(out.str().find("Café Zürich"), std::string::npos);  // UTF-8

  // Other failures of the reader keep their own error, and so does a file that is UTF-16 by its mark.
  refused<tamrikcsv::CSVErrorBase>(folder.write("short.csv", kHeader + "L,M,F,G,Z,N,P\n\xE9"));
  refused<tamrikcsv::CSVErrorBase>(folder.write("utf16.csv", std::string("\xFF\xFE\x41\x00\x00\xD8", 6)));
}

TEST_F(PlacesFileTest, WarnsOfSerialNumbersASpreadsheetRounded) {
  auto file =
      folder.write("rounded.csv", kHeader +
                                      "L1,Main,F1,Ground,Z1,North,P1,\"Desk\nA\",1.23456789012346E+019\n"
                                      "L1,Main,F1,Ground,Z1,North,P2,Desk B,01234567\n"
                                      "L1,Main,F1,Ground,Z1,North,P3,Desk C,1.00E+05\n");
  EXPECT_EQ(loaded(file),
            "L1 Main\n  F1 Ground\n    Z1 North\n      P1 Desk\nA [1.23456789012346E+019;]\n"
            "      P2 Desk B [01234567;]\n      P3 Desk C [1.00E+05;]\n");
  EXPECT_EQ(report.spreadsheetNumberLines, (std::vector<std::size_t>{2, 5}));
  EXPECT_EQ(report.warningText("rounded.csv").substr(0, 48),
            "rounded.csv: the serial numbers on lines 2 and 5");

  // Lines as an editor counts them: blank lines, which the reader passes over, and CR line ends count.
  auto spaced = folder.write("spaced.csv", withSeparators(kHeader, ',', "\r") +
                                               "L1,Main,F1,Ground,Z1,North,P1,\"Desk\r\nA\",S1\r\r\"\"\r"
                                               "L1,Main,F1,Ground,Z1,North,P2,Desk B,7E+05\r");
  loaded(spaced);
  EXPECT_EQ(report.spreadsheetNumberLines, (std::vector<std::size_t>{6}));

  loaded(first);
  EXPECT_FALSE(report.hasWarnings());
  EXPECT_EQ(report.warningText("first.csv"), "");
}

TEST(SpreadsheetNumberFormat, IsADigitAFractionAndASignedExponent) {
  for (const char* rounded : {"1.23456789012346E+019", "1.00E+05", "1,23457E+19", "7E-03", "1.5e+10"})
    EXPECT_TRUE(hasSpreadsheetNumberFormat(rounded)) << rounded;
  for (const char* serial :
       {"", "1", "12E+05", "1.E+05", "1.0E5", "1.0E+", "SN1.0E+05", "1.0E+05x", "E+05", "1e+5e"})
    EXPECT_FALSE(hasSpreadsheetNumberFormat(serial)) << serial;
}
