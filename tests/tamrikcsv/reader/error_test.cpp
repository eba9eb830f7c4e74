#include <gtest/gtest.h>

#include <stdexcept>

#include "support/reading.hpp"
#include "tamrikcsv/reader/csv_error.hpp"

using namespace tamrikcsv;

TEST(CSVError, PrintsTitleReasonAndHelpOnlyWhenThereIsNothingElse) {
  CSVError<CSVReader> error(CSVReader::Error::invalidInput, "Something broke.", "Fix it.");
  EXPECT_STREQ(error.what(), "[CSVReader] Invalid input\n\tReason: Something broke.\n\tHelp: Fix it.");
  EXPECT_EQ(error.debugDescription(), error.what());
  EXPECT_FALSE(error.recoverySuggestion());
  EXPECT_FALSE(error.underlyingError());
}

TEST(CSVError, PrintsUserInfoInOrderAndTheUnderlyingError) {
  CSVError<CSVReader> error(CSVReader::Error::streamFailure, "R", "H",
                            {{"Row index", std::int64_t{2}},
                             {"Field delimiter", std::u32string(U"\r\n")},
                             {"Row delimiters", std::set<std::u32string>{U"\n", U"\r\n"}},
                             {"Encoding", TextEncoding::utf16LittleEndian},
                             {"Trim characters", CharacterSet{U' ', U'\t'}}},
                            std::make_exception_ptr(std::runtime_error("disk on fire")));
  EXPECT_STREQ(
      error.what(),
      "[CSVReader] Stream failure\n\tReason: R\n\tHelp: H\n\tUser info: Row index: 2, Field delimiter: "
      "\"\\r\\n\", Row delimiters: {\"\\n\", \"\\r\\n\"}, Encoding: UTF-16LE, Trim characters: {\"\\t\", "
      "\" \"}\n\tUnderlying error: disk on fire");
  ASSERT_TRUE(error.errorUserInfo().get<std::int64_t>("Row index"));
  EXPECT_EQ(*error.errorUserInfo().get<std::int64_t>("Row index"), 2);
  EXPECT_FALSE(error.errorUserInfo().get<std::string>("Row index"));
}

TEST(CSVError, DomainsCodesAndTitlesOfEveryComponent) {
  CSVError<CSVWriter> writer(Failable<CSVWriter>::Error::invalidOperation, "r", "h");
  EXPECT_EQ(writer.errorCode(), 5);
  EXPECT_EQ(writer.errorDomain(), "TamrikCSV.Writer");
  EXPECT_EQ(writer.errorDescription(), "Invalid operation");
  EXPECT_EQ(CSVError<CSVDecoder>(Failable<CSVDecoder>::Error::bufferFailure, "r", "h").errorDescription(),
            "Invalid buffer state");
  EXPECT_EQ(CSVError<CSVDecoder>(Failable<CSVDecoder>::Error::invalidPath, "r", "h").errorDescription(),
            "Invalid path");
  EXPECT_EQ(CSVError<CSVEncoder>(Failable<CSVEncoder>::Error::invalidPath, "r", "h").errorDescription(),
            "Invalid coding path");
  EXPECT_EQ(CSVError<CSVEncoder>(Failable<CSVEncoder>::Error::invalidPath, "r", "h").errorDomain(),
            "TamrikCSV.Encoder");
  CSVError<CSVReader> reader(CSVReader::Error::streamFailure, "r", "h");
  EXPECT_EQ(reader.errorCode(), 4);
  EXPECT_EQ(reader.errorDomain(), "TamrikCSV.Reader");
  EXPECT_EQ(reader.componentName(), "CSVReader");

  // Codes that name no kind give none: there is no 3 anywhere, and 5 only for the writer.
  EXPECT_FALSE(Failable<CSVReader>::error(3));
  EXPECT_FALSE(Failable<CSVReader>::error(5));
  EXPECT_EQ(Failable<CSVWriter>::error(5), Failable<CSVWriter>::Error::invalidOperation);
  EXPECT_FALSE(Failable<CSVDecoder>::error(0));
  EXPECT_EQ(Failable<CSVEncoder>::error(4), Failable<CSVEncoder>::Error::bufferFailure);
}

TEST(CSVError, CopiesAreTheSameErrorAndCatchableThroughTheBase) {
  CSVError<CSVDecoder> original(Failable<CSVDecoder>::Error::invalidConfiguration, "r", "h");
  try {
    throw original;
  } catch (const CSVErrorBase& caught) {
    EXPECT_TRUE(caught.isSameError(original));
    EXPECT_FALSE(caught.isSameError(
        CSVError<CSVDecoder>(Failable<CSVDecoder>::Error::invalidConfiguration, "r", "h")));
  }
  static_assert(std::is_nothrow_copy_constructible_v<CSVError<CSVReader>>);
}
