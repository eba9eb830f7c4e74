#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "model/failure_text.hpp"
#include "model/place_data_model.hpp"
#include "model_support.hpp"
#include "support/capture_stdout.hpp"

// What a person reads when a places file fails to load: the file, the line as an editor counts it, the
// column where it is known, what is wrong and what to do.

using namespace tamrik;
using test::kHeader;

namespace {

std::string sentenceFor(const test::ScratchFolder& folder, const std::string& name, const std::string& bytes,
                        std::string* details = nullptr) {
  const auto file = folder.write(name, bytes);
  PlaceDataModel model;
  std::exception_ptr error;
  test::captureStdout([&] {
    try {
      model.loadPlaces(file);
    } catch (...) {
      error = std::current_exception();
    }
  });
  EXPECT_TRUE(error) << name << " loaded";
  auto text = describeLoadFailure(file, {}, error);
  if (details) *details = text.details;
  return text.sentence;
}

const std::string kRow = "L1,Main,F1,Ground,Z1,North,P1,Desk A,S1\n";

}  // namespace

TEST(FailureText, SaysWhereAndWhatForEachErrorAPlacesFileRaises) {
  test::ScratchFolder folder;
  // A quoted field over two lines and a blank line come before the faulty line, which is line 5.
  const std::string before = kHeader + "L1,Main,F1,Ground,Z1,North,P0,\"Desk\nZero\",S0\n\n";
  EXPECT_EQ(
      sentenceFor(folder, "quote.csv", before + "L1,Main,F1,Ground,Z1,North,P1,Desk \"A\",S1\n"),
      "quote.csv, line 5, column \"Place Name\": a quotation mark inside a field that does not start with "
      "one. Put the whole field in quotation marks and double each quotation mark inside it.");
  EXPECT_EQ(
      sentenceFor(folder, "count.csv", before + "L1,Main,F1,Ground,Z1,North,P1,Desk A\n"),
      "count.csv, line 5: this line has 8 fields where the header has 9. Check for a comma too many or too "
      "few, and put a field that holds a comma in quotation marks.");
  EXPECT_EQ(sentenceFor(folder, "after.csv", before + "L1,Main,F1,Ground,Z1,North,P1,\"Desk\" A,S1\n"),
            "after.csv, line 5, column \"Place Name\": text follows the quotation mark that closes the field "
            "\"Desk\". Put the whole field in quotation marks and double each quotation mark inside it.");
  EXPECT_EQ(
      sentenceFor(folder, "open.csv", before + "L1,Main,F1,\"Ground,Z1,North,P1,Desk A,S1\n"),
      "open.csv, line 5, column \"Level Name\": a field that starts with a quotation mark is never closed. "
      "Add the closing quotation mark at the end of the field, and double each quotation mark inside it.");
  EXPECT_EQ(
      sentenceFor(folder, "missing.csv",
                  "Location ID,Location Name,Level ID,Level Name,Zone ID,Zone Name,Place ID,Serial Number\n" +
                      std::string("L,M,F,G,Z,N,P,S\n")),
      "missing.csv, line 1: the header has no column \"Place Name\". Add it, or check its spelling: a places "
      "file's titles are Location ID, Location Name, Level ID, Level Name, Zone ID, Zone Name, Place ID, "
      "Place Name, Serial Number.");
  EXPECT_EQ(sentenceFor(folder, "twice.csv",
                        kHeader.substr(0, kHeader.size() - 1) + ",Notes,Notes\n" + "L,M,F,G,Z,N,P,D,S,x,y\n"),
            "twice.csv, line 1: the header names the column \"Notes\" twice. Rename or remove one of the two "
            "columns.");
  EXPECT_TRUE(sentenceFor(folder, "other.csv", "Name,Phone\nx,y\n")
                  .starts_with("other.csv, line 1: the first line is not the header of a places file. "));
  EXPECT_EQ(
      sentenceFor(folder, "semicolons.csv",
                  "Location ID;Location Name;Level ID;Level Name;Zone ID;Zone "
                  "Name;Place ID;Place Name;Serial Number\r\nL;M;F;G;Z;N;P;D\r\n"),
      "semicolons.csv, line 2: this line has 8 fields where the header has 9. Check for a semicolon too "
      "many or too few, and put a field that holds a semicolon in quotation marks.");
  // A blank line right after the header is a row of one field to the reader.
  EXPECT_EQ(
      sentenceFor(folder, "blank.csv", kHeader + "\n" + kRow),
      "blank.csv, line 2: this line has 1 field where the header has 9. Check for a comma too many or too "
      "few, and put a field that holds a comma in quotation marks.");
  EXPECT_EQ(sentenceFor(folder, "gone.csv", "").substr(0, 13), "gone.csv is e");  // the file's own words
  std::filesystem::remove(folder.path() / "gone.csv");
  std::exception_ptr missing;
  test::captureStdout([&] {
    try {
      PlaceDataModel().loadPlaces(folder.path() / "gone.csv");
    } catch (...) {
      missing = std::current_exception();
    }
  });
  EXPECT_EQ(
      describeLoadFailure(folder.path() / "gone.csv", {}, missing).sentence,
      "gone.csv could not be read: No such file or directory. Check that the file is there and that you "
      "may read it.");
}

TEST(FailureText, CutsWhatItQuotesFromTheFile) {
  test::ScratchFolder folder;
  // A closing quotation mark followed by text, after a field of a megabyte.
  const std::string huge(1 << 20, 'x');
  std::string details;
  const auto sentence = sentenceFor(
      folder, "huge.csv", kHeader + "L1,Main,F1,Ground,Z1,North,P1,\"" + huge + "\"y,S1\n", &details);
  EXPECT_LT(sentence.size(), 400u);
  EXPECT_NE(sentence.find("\"" + std::string(80, 'x') + "\u2026\""), std::string::npos) << sentence;
  EXPECT_LT(details.size(), 2000u);
  EXPECT_EQ(details.substr(0, 26), "[CSVReader] Invalid input\n");

  EXPECT_EQ(cutQuote("Café"), "Café");
  EXPECT_EQ(cutQuote("Desk\r\nA\tB"), "Desk  A B");  // one line, whatever the field held
  EXPECT_EQ(cutQuote("Caféteria", 4), "Café\u2026");
  EXPECT_EQ(withThousands(500001), "500,001");
  EXPECT_EQ(withThousands(999), "999");
  EXPECT_EQ(withThousands(1000000), "1,000,000");
}
