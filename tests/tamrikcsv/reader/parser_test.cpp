#include <gtest/gtest.h>

#include <ranges>

#include "support/reading.hpp"

using namespace tamrikcsv;
using test::readAll;
using test::readerError;
using test::Rows;

namespace {

const CSVReader::Setter kHeader = [](auto& c) { c.headerStrategy = Strategy::Header::firstLine; };
const CSVReader::Setter kTrimSpaces = [](auto& c) { c.trimStrategy = {U' '}; };

CSVError<CSVReader> readError(std::string text, const CSVReader::Setter& setter = {}) {
  return readerError([&] { readAll(std::move(text), setter); });
}

}  // namespace

TEST(Parser, EmptyInputHasNoRows) {
  auto reader = CSVReader::fromText("");
  EXPECT_FALSE(reader.readRow());
  EXPECT_EQ(reader.status().kind, CSVReader::Status::Kind::finished);

  auto withHeader = CSVReader::fromText("", kHeader);
  EXPECT_TRUE(withHeader.headers().empty());
  EXPECT_EQ(withHeader.status().kind, CSVReader::Status::Kind::finished);
}

TEST(Parser, EmptyFieldsAtBothEndsOfARow) {
  EXPECT_EQ(readAll("a,b,"), (Rows{{"a", "b", ""}}));
  EXPECT_EQ(readAll("a,b,\n"), (Rows{{"a", "b", ""}}));
  EXPECT_EQ(readAll(",a\n"), (Rows{{"", "a"}}));
  EXPECT_EQ(readAll(",,\n,,"), (Rows{{"", "", ""}, {"", "", ""}}));
}

TEST(Parser, EscapedFields) {
  EXPECT_EQ(readAll("\"x\"\"y\""), (Rows{{"x\"y"}}));
  EXPECT_EQ(readAll("\"a,b\ncc\",d\n"), (Rows{{"a,b\ncc", "d"}}));
  EXPECT_EQ(readAll("\"\",\"\"\"\"\n"), (Rows{{"", "\""}}));
  EXPECT_EQ(readAll("\"a\",b", [](auto& c) { c.escapingStrategy = nullptr; }), (Rows{{"\"a\"", "b"}}));
  EXPECT_EQ(readAll("'it''s',x", [](auto& c) { c.escapingStrategy = U'\''; }), (Rows{{"it's", "x"}}));
}

TEST(Parser, MalformedEscapingIsAnErrorWithItsRow) {
  auto unterminated = readError("a\n\"abc");
  EXPECT_EQ(
      unterminated.failureReason(),
      "The last field is escaped (with double quotes if you haven't changed the defaults) and an EOF (End of "
      "File) was encountered before the field matched at the end with the closing escaping scalar.");
  EXPECT_EQ(unterminated.helpAnchor(),
            "End the targeted field with the scaping scalar (double quotes by default).");
  EXPECT_EQ(*unterminated.errorUserInfo().get<std::int64_t>("Row index"), 1);

  auto after = readError("\"abc\"x");
  EXPECT_EQ(
      after.failureReason(),
      "The targeted field parsed successfully. However, the character right after it was not a field nor row "
      "delimiter.");
  EXPECT_EQ(after.helpAnchor(),
            "There seems to be some characters after the escaping character and before the next field or the "
            "end of "
            "the row. Please remove those.");
  EXPECT_EQ(*after.errorUserInfo().get<std::string>("Field"), "abc");
  EXPECT_EQ(*after.errorUserInfo().get<std::int64_t>("Row index"), 0);
  EXPECT_EQ(
      readError("\"abc\"\r\n").helpAnchor(),
      "If your CSV is CRLF, change the row delimiter to \"\\r\\n\" or add a trim strategy for \"\\r\".");

  auto inside = readError("ab\"c");
  EXPECT_EQ(
      inside.failureReason(),
      "The escaping scalar (double quotes by default) is not allowed within fields which aren't already "
      "escaped.");
  EXPECT_EQ(
      inside.helpAnchor(),
      "Add the escaping scalar at the very beginning and the very end of the field and escape the escaping "
      "scalar found within the field.");
}

TEST(Parser, TrimmingAroundButNeverInsideEscapedFields) {
  EXPECT_EQ(readAll(" a ,  b  \n", kTrimSpaces), (Rows{{"a", "b"}}));
  EXPECT_EQ(readAll("\" a \"", kTrimSpaces), (Rows{{" a "}}));
  EXPECT_EQ(readAll("\"a\"  ,b", kTrimSpaces), (Rows{{"a", "b"}}));
  EXPECT_EQ(readAll("a b , c", kTrimSpaces), (Rows{{"a b", "c"}}));
  EXPECT_EQ(readAll("a,  ", kTrimSpaces), (Rows{{"a", ""}}));
  EXPECT_EQ(readAll("\u3000x\u3000,y", [](auto& c) { c.trimStrategy = CharacterSet::whitespaces(); }),
            (Rows{{"x", "y"}}));
  // A line of trim characters alone at the end of the input is no row at all.
  EXPECT_EQ(readAll("a\n   ", kTrimSpaces), (Rows{{"a"}}));
}

TEST(Parser, BlankLinesAreDroppedExceptRightAfterTheFirstRow) {
  EXPECT_EQ(readAll("\n\na,b\nc,d\n\n\ne,f\n\n"), (Rows{{"a", "b"}, {"c", "d"}, {"e", "f"}}));
  EXPECT_EQ(readAll("a\n\nb\n\n\nc"), (Rows{{"a"}, {""}, {"b"}, {"c"}}));

  auto afterHeader = readError("x,y\n\n1,2", kHeader);
  EXPECT_EQ(afterHeader.failureReason(), "The number of fields is not constant between rows.");
  EXPECT_EQ(*afterHeader.errorUserInfo().get<std::int64_t>("Row index"), 2);
  EXPECT_EQ(*afterHeader.errorUserInfo().get<std::int64_t>("Number of parsed fields"), 1);
  EXPECT_EQ(*afterHeader.errorUserInfo().get<std::int64_t>("Number of expected fields"), 2);

  // The header line is not subject to the rule: a leading blank line is one empty title.
  auto reader = CSVReader::fromText("\na\nb", kHeader);
  EXPECT_EQ(reader.headers(), std::vector<std::string>{""});
  EXPECT_EQ(readAll(reader), (Rows{{"a"}, {"b"}}));
}

TEST(Parser, FieldCountFailureIsStickyAndTheSameError) {
  auto reader = CSVReader::fromText("a,b\n1,2,3\n4,5\n");
  EXPECT_TRUE(reader.readRow());
  auto first = readerError([&] { (void)reader.readRow(); });
  EXPECT_EQ(
      first.helpAnchor(),
      "Make sure the CSV file has always the same amount of fields per row (including the header row).");
  EXPECT_EQ(
      test::readerError([&] { (void)reader.readRow(); }).debugDescription(),
      "[CSVReader] Invalid input\n\tReason: The number of fields is not constant between rows.\n\tHelp: Make "
      "sure the CSV file has always the same amount of fields per row (including the header row).\n\tUser "
      "info: "
      "Row index: 2, Number of parsed fields: 3, Number of expected fields: 2");
  std::vector<std::string> row;
  EXPECT_TRUE(readerError([&] { (void)reader.readRow(row); }).isSameError(first));
  ASSERT_EQ(reader.status().kind, CSVReader::Status::Kind::failed);
  EXPECT_TRUE(reader.status().error->isSameError(first));
}

TEST(Parser, RowDelimiterSets) {
  const CSVReader::Setter standard = [](auto& c) { c.delimiters.row = Delimiter::Row::standard(); };
  EXPECT_EQ(readAll("a\r\nb\nc", standard), (Rows{{"a"}, {"b"}, {"c"}}));
  EXPECT_EQ(readAll("\"a\"\r\n\"b\"\n", standard), (Rows{{"a"}, {"b"}}));
  // The one-scalar carriage return always wins over carriage return plus line feed.
  EXPECT_EQ(readAll("a\r\nb",
                    [](auto& c) {
                      c.delimiters.row = *Delimiter::Row::fromTexts({"\r", "\r\n"});
                    }),
            (Rows{{"a"}, {"\nb"}}));
  // The default row delimiter leaves a carriage return in the field.
  EXPECT_EQ(readAll("a\r\nb\r\n"), (Rows{{"a\r"}, {"b\r"}}));
}

TEST(Parser, MultiScalarDelimitersReadAheadAndPushBack) {
  const CSVReader::Setter pipes = [](auto& c) { c.delimiters.field = "||"; };
  EXPECT_EQ(readAll("a|b", pipes), (Rows{{"a|b"}}));
  EXPECT_EQ(readAll("a||b|||c|", pipes), (Rows{{"a", "b", "|c|"}}));
  EXPECT_EQ(readAll("a||\n|||", pipes), (Rows{{"a", ""}, {"", "|"}}));

  const CSVReader::Setter words = [](auto& c) {
    c.delimiters = {"<>", *Delimiter::Row::fromTexts({"EOR", "\n", "E!"})};
  };
  EXPECT_EQ(readAll("x<>EOEOR1<>2E!E<EO<>R\nE<>", words),
            (Rows{{"x", "EO"}, {"1", "2"}, {"E<EO", "R"}, {"E", ""}}));

  // The field delimiter is tested first, so it wins when it starts a row delimiter.
  EXPECT_EQ(readAll("a;b;;c", [](auto& c) { c.delimiters = {U';', ";;"}; }), (Rows{{"a", "b", "", "c"}}));

  const CSVReader::Setter unicode = [](auto& c) {
    c.delimiters = {"→", "¶"};
    c.escapingStrategy = U'«';
  };
  EXPECT_EQ(readAll("«a→b¶««»«→c¶é→ü", unicode), (Rows{{"a→b¶«»", "c"}, {"é", "ü"}}));
}

TEST(Parser, HeaderRowCountsAsTheFirstRow) {
  auto reader = CSVReader::fromText("a,b\n1,2\n3,4", kHeader);
  EXPECT_EQ(reader.headers(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(reader.count(), (CSVReader::Count{1, 2}));
  EXPECT_EQ(readAll(reader), (Rows{{"1", "2"}, {"3", "4"}}));
  EXPECT_EQ(reader.count(), (CSVReader::Count{3, 2}));
  EXPECT_EQ(*readError("a,b\n\"x\"y,1", kHeader).errorUserInfo().get<std::int64_t>("Row index"), 1);
  // A header that cannot be parsed stops construction.
  EXPECT_NO_FATAL_FAILURE(readError("\"a", kHeader));
}

TEST(Parser, FillingReadReusesTheCallersRow) {
  auto reader = CSVReader::fromText("a,bb,ccc\n1,2,3\n");
  std::vector<std::string> row{"x", "y", "z", "w"};
  ASSERT_TRUE(reader.readRow(row));
  EXPECT_EQ(row, (std::vector<std::string>{"a", "bb", "ccc"}));
  ASSERT_TRUE(reader.readRow(row));
  EXPECT_EQ(row, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_FALSE(reader.readRow(row));
  EXPECT_TRUE(row.empty());
}

static_assert(std::ranges::input_range<CSVReader>);
static_assert(std::is_nothrow_move_constructible_v<CSVReader> && !std::is_copy_constructible_v<CSVReader>);

TEST(Parser, ReaderIsARangeAndMovable) {
  auto reader = CSVReader::fromText("a\nb\nc");
  Rows rows;
  EXPECT_TRUE(reader.readRow());
  CSVReader moved = std::move(reader);
  for (auto& row : moved) rows.push_back(std::move(row));
  EXPECT_EQ(rows, (Rows{{"b"}, {"c"}}));
  EXPECT_FALSE(reader.readRow());  // NOLINT(bugprone-use-after-move): a moved-from reader reads nothing

  auto failing = CSVReader::fromText("a\nb,c");
  auto error = readerError([&] {
    for ([[maybe_unused]] auto& row : failing) {
    }
  });
  EXPECT_EQ(error.failureReason(), "The number of fields is not constant between rows.");
}
