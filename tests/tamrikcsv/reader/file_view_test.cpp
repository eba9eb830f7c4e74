#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <ranges>

#include "support/reading.hpp"

using namespace tamrikcsv;
using test::readerError;

namespace {
const CSVReader::Setter kHeader = [](auto& c) { c.headerStrategy = Strategy::Header::firstLine; };
}

TEST(FileView, RowsRecordsAndColumnsByIndexAndTitle) {
  auto file = CSVReader::decodeText("a,b\n1,2\n3,4\n", kHeader);
  EXPECT_EQ(file.headers(), (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(file.size(), 2u);
  EXPECT_EQ(file[1], (std::vector<std::string>{"3", "4"}));
  EXPECT_EQ(file.field(1, 1), "4");
  EXPECT_EQ(file.field(1, "b"), "4");
  EXPECT_EQ(file.field(0, "c"), std::nullopt);
  EXPECT_EQ(file.column("a"), (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(file.column("c"), std::nullopt);
  EXPECT_EQ(file.columns().size(), 2u);
  EXPECT_EQ(file.columns()[1], (std::vector<std::string>{"2", "4"}));
  EXPECT_EQ(file.records()[1]["a"], "3");
  EXPECT_EQ(file.records()[1][0], "3");
  EXPECT_EQ(std::ranges::distance(file.records()), 2);
  EXPECT_TRUE(std::ranges::all_of(file.columns(), [](const auto& column) { return column.size() == 2; }));
}

TEST(FileView, WithoutHeadersThereAreNoTitlesAndNoColumns) {
  auto file = CSVReader::decodeText("a,b\n1,2\n3,4\n");
  EXPECT_TRUE(file.headers().empty());
  EXPECT_EQ(file.size(), 3u);
  EXPECT_EQ(file.columns().size(), 0u);
  EXPECT_EQ(file.field(0, "a"), std::nullopt);
  EXPECT_EQ(file.records()[0]["a"], std::nullopt);
}

TEST(FileView, EveryInputKindGivesTheSameView) {
  const std::string text = "x,y\n1,\"2\n3\"\n";
  auto fromText = CSVReader::decodeText(text, kHeader);
  auto path = std::filesystem::temp_directory_path() / "tamrik-file-view-test.csv";
  std::ofstream(path) << text;
  auto fromFile = CSVReader::decodeFile(path, kHeader);
  std::filesystem::remove(path);
  auto fromData = CSVReader::decodeData(test::bytes(text), kHeader);
  auto fromStream = CSVReader::decodeStream(std::make_shared<MemoryInputStream>(test::bytes(text)), kHeader);
  for (const auto* file : {&fromFile, &fromData, &fromStream}) {
    EXPECT_EQ(file->headers(), fromText.headers());
    EXPECT_EQ(file->rows(), fromText.rows());
  }
}

TEST(Records, DuplicateTitlesFailTheLookupButNotTheReader) {
  auto duplicate = readerError([] { (void)CSVReader::decodeText("a,a\n1,2\n", kHeader); });
  EXPECT_EQ(duplicate.failureReason(), "The header row contain two fields with the same value.");
  EXPECT_EQ(duplicate.helpAnchor(), "Request a row instead of a record.");
  EXPECT_TRUE(duplicate.errorUserInfo().empty());

  auto reader = CSVReader::fromText("a,a\n1,2\n3,4\n", kHeader);
  readerError([&] { (void)reader.readRecord(); });
  EXPECT_EQ(reader.status().kind, CSVReader::Status::Kind::active);
  EXPECT_EQ(reader.headerLookup(), nullptr);
  readerError([&] { (void)reader.readRecord(); });  // the second row is consumed and the lookup fails again
  EXPECT_EQ(reader.readRecord(), std::nullopt);
}

TEST(Records, LookupByTitleAndEqualityByRow) {
  auto reader = CSVReader::fromText("Place ID,Place Name\nP1,Desk 1\n", kHeader);
  EXPECT_EQ(reader.headerLookup(), nullptr);
  auto record = reader.readRecord();
  ASSERT_TRUE(record);
  EXPECT_EQ((*record)["Place Name"], "Desk 1");
  EXPECT_EQ((*record)["Place"], std::nullopt);
  EXPECT_EQ(reader.headerLookup()->find("Place ID"), 0u);

  Record other({"P1", "Desk 1"}, std::make_shared<const HeaderLookup>(std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(*record, other);
  EXPECT_EQ(std::hash<Record>{}(*record), std::hash<Record>{}(other));
  EXPECT_NE(*record, Record({"P1"}, nullptr));
}

TEST(FileView, ViewsAndFieldsOutliveTheTemporariesTheyCameFrom) {
  auto records = CSVReader::decodeText("a,b\n1,2\n", kHeader).records();
  EXPECT_EQ(records[0]["b"], "2");
  auto field = CSVReader::decodeText("a,b\n1,2\n", kHeader).records()[0]["a"];
  EXPECT_EQ(field, "1");
  std::vector<std::vector<std::string>> columns;
  for (auto column : CSVReader::decodeText("a,b\n1,2\n", kHeader).columns()) columns.push_back(column);
  EXPECT_EQ(columns, (std::vector<std::vector<std::string>>{{"1"}, {"2"}}));
  auto it = CSVReader::decodeText("a\n1\n", kHeader).records().begin();
  EXPECT_EQ((*it)[0], "1");

  auto file = CSVReader::decodeText("a\n1\n", kHeader);
  FileView moved = std::move(file);
  EXPECT_EQ(file.column("a"),
            moved.column("a"));  // NOLINT(bugprone-use-after-move): copies share the contents
  EXPECT_THROW((void)CSVReader::fromStream(nullptr), std::invalid_argument);
}

TEST(Records, TitlesMatchWhicheverWayTheirAccentsAreWritten) {
  const std::string composed = "Caf\u00E9", decomposed = "Cafe\u0301";
  for (const auto& [header, asked] : {std::pair{decomposed, composed}, std::pair{composed, decomposed}}) {
    auto file = CSVReader::decodeText("Place," + header + "\nP1,open\n", kHeader);
    EXPECT_EQ(file.field(0, asked), "open");
    EXPECT_EQ(file.column(asked), std::vector<std::string>{"open"});
    EXPECT_EQ(file.records()[0][asked], "open");
    EXPECT_EQ(file.lookup().find(asked), 1u);
  }
  // Both ways in one header row are two titles, each found by its own text.
  auto file = CSVReader::decodeText(decomposed + "," + composed + "\n1,2\n", kHeader);
  EXPECT_EQ(file.field(0, decomposed), "1");
  EXPECT_EQ(file.field(0, composed), "2");
}
