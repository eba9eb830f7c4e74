#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "support/reading.hpp"
#include "support/scripted_output.hpp"
#include "tamrikcsv/writer/csv_writer.hpp"

using namespace tamrikcsv;
using test::ScriptedOutput;

namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string text(const Data& data) {
  return {reinterpret_cast<const char*>(data.data()), data.size()};
}

// Runs `action` on a fresh in-memory writer and returns everything it wrote.
std::string written(const std::function<void(CSVWriter&)>& action, const CSVWriter::Setter& setter = {}) {
  auto writer = CSVWriter::toMemory(setter);
  action(writer);
  writer.endEncoding();
  return text(writer.data());
}

CSVError<CSVWriter> writerError(const std::function<void()>& action) {
  try {
    action();
  } catch (const CSVError<CSVWriter>& error) {
    return error;
  }
  ADD_FAILURE() << "no writer error was raised";
  return CSVError<CSVWriter>(CSVWriter::Error::invalidInput, "none", "none");
}

std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::filesystem::path temporaryPath(const char* name) {
  return std::filesystem::temp_directory_path() / (std::string("tamrik-writer-") + name);
}

}  // namespace

TEST(Writer, EnclosesExactlyTheFieldsThatNeedIt) {
  EXPECT_EQ(written([](auto& w) { w.writeRow({"a", "b,c", "x\"y"}); }), "a,\"b,c\",\"x\"\"y\"\n");
  EXPECT_EQ(written([](auto& w) {
              w.writeRow({"line\nbreak", " spaced ", "", "cr\r"});
            }),
            "\"line\nbreak\", spaced ,,cr\r\n");
  EXPECT_EQ(written(
                [](auto& w) {
                  w.writeRow({"a;b", "c|d"});
                },
                [](auto& c) {
                  c.delimiters = {U';', "|"};
                }),
            "\"a;b\";\"c|d\"|");
  EXPECT_EQ(written(
                [](auto& w) {
                  w.writeRow({"it's", "x"});
                },
                [](auto& c) { c.escapingStrategy = U'\''; }),
            "'it''s',x\n");
  EXPECT_EQ(written(
                [](auto& w) {
                  w.writeRow({"a→b", "«"});
                },
                [](auto& c) {
                  c.delimiters = {"→", "¶"};
                  c.escapingStrategy = U'«';
                }),
            "«a→b«→««««¶");
}

TEST(Writer, ABytePastTheFirstBlocksOrInTheLastStillEnclosesTheField) {
  // Fields of every length to 40 with one byte that matters at each place, so that the quick check for
  // plain fields sees it in its first and last block of 8 or 16 bytes and anywhere in between.
  for (std::size_t length = 1; length <= 40; ++length) {
    const std::string plain(length, 'p');
    EXPECT_EQ(written([&](auto& w) { w.writeRow({plain, plain}); }), plain + "," + plain + "\n");
    for (std::size_t at = 0; at < length; ++at) {
      for (std::string special : {",", "\n", "\""}) {
        std::string field = plain;
        field.replace(at, 1, special);
        std::string escaped = special == "\"" ? std::string(field).insert(at, "\"") : field;
        EXPECT_EQ(written([&](auto& w) {
                    w.writeRow({plain, field});
                  }),
                  plain + ",\"" + escaped + "\"\n")
            << length << ' ' << at;
      }
      std::string accented = plain;
      accented.replace(at, 1, "\xC3\xA9");
      EXPECT_EQ(written([&](auto& w) { w.writeRow({accented}); }), accented + "\n");
      // A bad byte, a stray continuation byte and a scalar cut short, by the field's end or by a byte that
      // doesn't continue it.
      for (std::string bad : {"\xFF", "\x80", "\xE2\x82"}) {
        std::string broken = plain;
        broken.replace(at, 1, bad);
        auto writer = CSVWriter::toMemory();
        EXPECT_EQ(writerError([&] { writer.writeField(broken); }).type(), CSVWriter::Error::invalidInput)
            << length << ' ' << at;
        EXPECT_EQ(writer.fieldIndex(), 0);
      }
    }
  }
}

TEST(Writer, FieldByFieldWritesWhatWholeRowsWrite) {
  // Fields one at a time take a quicker path than whole rows; both must give the same bytes, for fields of
  // every length class (short, word-sized, a few blocks, long), with and without bytes that matter, over
  // more than one 64 KiB block.
  std::mt19937 random(5);
  const std::vector<std::string> pieces = {"a",  "b",  "0",  " ",        ",",
                                           "\"", "\n", "\r", "\xC3\xA9", "\xE2\x82\xAC"};
  Rows rows(3000);
  for (auto& row : rows) {
    for (int f = 0; f < 6; ++f) {
      std::string field;
      const std::size_t length = std::uniform_int_distribution<std::size_t>(0, 90)(random);
      const bool plain = random() % 2 == 0;
      while (field.size() < length) field += plain ? pieces[random() % 3] : pieces[random() % pieces.size()];
      row.push_back(field);
    }
  }
  const std::string whole = written([&](auto& w) {
    for (const auto& row : rows) w.writeRow(row);
  });
  const std::string byField = written([&](auto& w) {
    for (const auto& row : rows) {
      for (const auto& field : row) w.writeField(field);
      w.endRow();
    }
  });
  ASSERT_GT(whole.size(), std::size_t{64 * 1024});
  EXPECT_EQ(byField, whole);

  // A field that fails within a row leaves not even its delimiter behind.
  EXPECT_EQ(written([&](auto& w) {
              w.writeField("a");
              writerError([&] { w.writeField("b\xFF,"); });
              w.writeField("c\"");
            }),
            "a,\"c\"\"\"\n");
}

TEST(Writer, RowDelimiterAndDefaults) {
  EXPECT_EQ(written([](auto& w) { w.writeRow({"a"}); },
                    [](auto& c) { c.delimiters.row = Delimiter::Row::standard(); }),
            "a\n");
  EXPECT_EQ(written([](auto& w) { w.writeRow({"a"}); }, [](auto& c) { c.delimiters.row = "\r\n"; }), "a\r\n");
  auto writer = CSVWriter::toMemory();
  EXPECT_EQ(writer.settings().encoding, TextEncoding::utf8);
  EXPECT_EQ(writer.settings().escapingScalar, U'"');
  EXPECT_EQ(writer.settings().delimiters.row, U"\n");
  auto invalid = writerError([] { (void)CSVWriter::toMemory([](auto& c) { c.delimiters = {U',', U','}; }); });
  EXPECT_EQ(invalid.type(), CSVWriter::Error::invalidConfiguration);
  EXPECT_EQ(invalid.failureReason(), "The field and/or row delimiters are invalid.");
  EXPECT_EQ(invalid.helpAnchor(),
            "Both delimiters must contain at least contain a unicode scalar/character and they must be "
            "different to "
            "each other.");
}

TEST(Writer, RowsKeepTheirFieldCount) {
  EXPECT_EQ(written([](auto& w) {
              w.writeRow({"a", "b", "c"});
              w.writeField("x");
              w.endRow();
              w.writeEmptyRow();
              w.writeField("y");  // ended and padded by endEncoding
            }),
            "a,b,c\nx,,\n,,\ny,,\n");

  auto writer = CSVWriter::toMemory();
  writer.writeRow({"1", "2"});
  writer.writeField("3");
  writer.writeField("4");
  auto tooMany = writerError([&] { writer.writeField("5"); });
  EXPECT_EQ(tooMany.type(), CSVWriter::Error::invalidOperation);
  EXPECT_EQ(tooMany.failureReason(),
            "A field cannot be added to a row that has already the expected amount of fields. All CSV rows "
            "must have "
            "the same amount of fields.");
  EXPECT_EQ(*tooMany.errorUserInfo().get<std::int64_t>("Number of expected fields per row"), 2);
  writer.endRow();
  writerError([&] { writer.writeFields({"a", "b", "c"}); });
  EXPECT_EQ(writer.fieldIndex(), 0);
  EXPECT_EQ(writer.rowIndex(), 2);
  writer.endEncoding();
  writer.endEncoding();  // harmless
  EXPECT_EQ(text(writer.data()), "1,2\n3,4\n");

  auto midRow = CSVWriter::toMemory();
  midRow.writeRow({"a", "b"});
  midRow.writeField("x");
  EXPECT_EQ(writerError([&] { midRow.writeEmptyRow(); }).type(), CSVWriter::Error::invalidOperation);
  midRow.endEncoding();
  EXPECT_EQ(writerError([&] { midRow.writeField(""); }).type(), CSVWriter::Error::streamFailure);
  EXPECT_EQ(text(midRow.data()), "a,b\nx,\n");

  auto empty = writerError([] { CSVWriter::toMemory().endRow(); });
  EXPECT_EQ(empty.failureReason(),
            "An empty row cannot be writen if the number of fields hold by the CSV file is unkwnown.");
  EXPECT_EQ(empty.helpAnchor(), "Write a headers row or a row with content before writing an empty row.");
}

TEST(Writer, HeadersAreTheFirstRowButNotCounted) {
  auto writer = CSVWriter::toMemory([](auto& c) { c.headers = {"a", "b"}; });
  EXPECT_EQ(writer.expectedFields(), 2);
  EXPECT_EQ(writer.rowIndex(), 0);
  writer.endRow();
  writer.endEncoding();
  EXPECT_EQ(text(writer.data()), "a,b\n,\n");
}

TEST(Writer, DataOnlyAfterTheEndAndOnlyFromMemory) {
  auto writer = CSVWriter::toMemory([](auto& c) { c.bomStrategy = Strategy::BOM::always; });
  writer.writeRow({"x"});
  auto early = writerError([&] { writer.data(); });
  EXPECT_EQ(early.type(), CSVWriter::Error::invalidOperation);
  EXPECT_EQ(early.failureReason(), "The memory stream must be closed before the data can be accessed.");
  writer.endEncoding();
  EXPECT_EQ(text(writer.data()), "\xEF\xBB\xBFx\n");

  auto path = temporaryPath("data.csv");
  auto file = CSVWriter::toFile(path);
  file.endEncoding();
  EXPECT_EQ(writerError([&] { file.data(); }).failureReason(),
            "The stream failed to returned the encoded data.");
  std::filesystem::remove(path);
}

TEST(Writer, MemoryGrowsOnceToTheRowsExpected) {
  // Told how many rows come, memory grows to what they take by the rows so far rather than by doubling:
  // about a quarter over. Too few rows told is no error, nor are far too many.
  for (std::int64_t told : {std::int64_t{30000}, std::int64_t{20000}, std::int64_t{10000},
                            std::numeric_limits<std::int64_t>::max()}) {
    auto writer = CSVWriter::toMemory();
    writer.expectRows(told);
    for (int i = 0; i < 20000; ++i) writer.writeRow({"Desk " + std::to_string(100000 + i), "SN"});
    writer.endEncoding();
    const Data& data = writer.data();
    EXPECT_EQ(data.size(), 20000u * 15);
    if (told == 20000) {
      EXPECT_LE(data.capacity(), data.size() * 13 / 10);
    } else if (told == 30000) {
      EXPECT_GE(data.capacity(), data.size() * 3 / 2);
    } else {
      EXPECT_LE(data.capacity(), data.size() * 2);  // a wild hint's room is given back
    }
  }
}

TEST(Writer, ALargeOutputIntoMemoryKeepsEveryByte) {
  // Several MiB, so that the room made ahead of the writing is crossed into more than once, with and
  // without the rows told.
  constexpr int kRows = 400000;
  std::string expected;
  for (int i = 0; i < kRows; ++i) expected += "Desk " + std::to_string(1000000 + i) + ",SN\n";
  for (std::int64_t told : {std::int64_t{0}, std::int64_t{kRows}}) {
    auto writer = CSVWriter::toMemory();
    writer.expectRows(told);
    for (int i = 0; i < kRows; ++i) writer.writeRow({"Desk " + std::to_string(1000000 + i), "SN"});
    writer.endEncoding();
    const Data& data = writer.data();
    ASSERT_EQ(data.size(), expected.size());
    EXPECT_EQ(std::memcmp(data.data(), expected.data(), expected.size()), 0);
  }
}

TEST(Writer, FieldsThatCannotBeWritten) {
  auto delimiter = writerError(
      [] { (void)CSVWriter::encodeData(Rows{{"a,b"}}, [](auto& c) { c.escapingStrategy = nullptr; }); });
  EXPECT_EQ(delimiter.type(), CSVWriter::Error::invalidInput);
  EXPECT_EQ(delimiter.failureReason(),
            "A field cannot include a delimiter if escaping strategy is disabled.");
  EXPECT_EQ(delimiter.helpAnchor(), "Remove delimiter from field or set an escaping strategy.");
  EXPECT_EQ(*delimiter.errorUserInfo().get<std::string>("Field"), "a,b");
  EXPECT_EQ(CSVWriter::encodeString(Rows{{"\"a\"", "b"}}, [](auto& c) { c.escapingStrategy = nullptr; }),
            "\"a\",b\n");

  // A field that cannot be written leaves no trace, so the output stays well-formed and writing goes on.
  auto stream = std::make_shared<ScriptedOutput>();
  auto writer = CSVWriter::toStream(stream, [](auto& c) { c.encoding = TextEncoding::ascii; });
  writer.writeField("ok");
  auto ascii = writerError([&] { writer.writeField("caf\u00e9"); });
  EXPECT_EQ(ascii.failureReason(), "The Unicode Scalar is not an ASCII character.");
  EXPECT_EQ(*ascii.errorUserInfo().get<char32_t>("Unicode scalar"), U'\u00e9');
  EXPECT_EQ(writer.fieldIndex(), 1);
  writerError([&] { writer.writeField("\xC3"); });
  writer.writeField("cafe");
  writer.endEncoding();
  EXPECT_EQ(stream->written, "ok,cafe\n");

  EXPECT_EQ(writerError([] { CSVWriter::toMemory().writeField("\xC3"); }).failureReason(),
            "The field is not valid UTF-8 text.");
}

TEST(Writer, EncodingsAndMarks) {
  auto bytesOf = [](TextEncoding encoding, Strategy::BOM bom) {
    return text(CSVWriter::encodeData(Rows{{"a"}}, [=](auto& c) {
      c.encoding = encoding;
      c.bomStrategy = bom;
    }));
  };
  using B = Strategy::BOM;
  EXPECT_EQ(bytesOf(TextEncoding::utf8, B::convention), "a\n");
  EXPECT_EQ(bytesOf(TextEncoding::utf8, B::always),
            "\xEF\xBB\xBF"
            "a\n");
  EXPECT_EQ(bytesOf(TextEncoding::utf16, B::convention), std::string("\xFE\xFF\0a\0\n", 6));
  EXPECT_EQ(bytesOf(TextEncoding::utf16, B::never), std::string("\0a\0\n", 4));
  EXPECT_EQ(bytesOf(TextEncoding::utf16LittleEndian, B::convention), std::string("a\0\n\0", 4));
  EXPECT_EQ(bytesOf(TextEncoding::utf16LittleEndian, B::always), std::string("\xFF\xFE"
                                                                             "a\0\n\0",
                                                                             6));
  EXPECT_EQ(bytesOf(TextEncoding::utf32, B::convention), std::string("\0\0\xFE\xFF\0\0\0a\0\0\0\n", 12));
  EXPECT_EQ(bytesOf(TextEncoding::utf32LittleEndian, B::always),
            std::string("\xFF\xFE\0\0a\0\0\0\n\0\0\0", 12));
  EXPECT_EQ(bytesOf(TextEncoding::shiftJIS, B::always), "a\n");

  const Rows rows{{"é", "日本"}, {"𝄞", "x,y"}};
  for (auto encoding : {TextEncoding::utf16, TextEncoding::utf16LittleEndian, TextEncoding::utf32BigEndian,
                        TextEncoding::utf32LittleEndian, TextEncoding::utf8}) {
    auto data = CSVWriter::encodeData(rows, [=](auto& c) { c.encoding = encoding; });
    auto reader = CSVReader::fromData(data, [=](auto& c) { c.encoding = encoding; });
    EXPECT_EQ(test::readAll(reader), rows) << name(encoding);
    EXPECT_EQ(CSVWriter::encodeString(rows, [=](auto& c) { c.encoding = encoding; }), "é,日本\n𝄞,\"x,y\"\n");
  }

  EXPECT_EQ(text(CSVWriter::encodeData(Rows{{"日本"}}, [](auto& c) { c.encoding = TextEncoding::shiftJIS; })),
            "\x93\xfa\x96\x7b\n");
  auto shiftJIS = writerError(
      [] { (void)CSVWriter::encodeData(Rows{{"😀"}}, [](auto& c) { c.encoding = TextEncoding::shiftJIS; }); });
  EXPECT_EQ(shiftJIS.failureReason(), "The Unicode Scalar couldn't be encoded to multibyte Shift-JIS");
  EXPECT_EQ(shiftJIS.helpAnchor(), "Make sure the CSV only contains Shift-JIS characters.");
  auto latin =
      writerError([] { (void)CSVWriter::toMemory([](auto& c) { c.encoding = TextEncoding::isoLatin1; }); });
  EXPECT_EQ(latin.failureReason(), "The given encoding is not yet supported by this library");
}

TEST(Writer, TheWriteProcedureRetriesOnceAndStopsOnFailure) {
  // Partial writes are advanced by what each call accepts; one call that accepts nothing is tolerated.
  auto trickle = std::make_shared<ScriptedOutput>(std::deque<std::ptrdiff_t>{1, 0, 1, 2});
  auto writer = CSVWriter::toStream(trickle);
  writer.writeRow({"ab", "c"});
  writer.endEncoding();
  EXPECT_EQ(trickle->written, "ab,c\n");
  EXPECT_EQ(trickle->closes, 1);

  auto stalled = std::make_shared<ScriptedOutput>(std::deque<std::ptrdiff_t>{5, 0, 0});
  auto stalls = CSVWriter::toStream(stalled);
  stalls.writeField("x");
  auto retries = writerError([&] { stalls.writeField("yz"); });
  EXPECT_EQ(retries.type(), CSVWriter::Error::streamFailure);
  EXPECT_EQ(retries.failureReason(),
            "Several attempts were made to write on the stream, but they were unsuccessful.");
  EXPECT_EQ(retries.helpAnchor(), "Review the underlying error (if any) and try again.");
  EXPECT_EQ(*retries.errorUserInfo().get<std::int64_t>("Attempts"), 2);

  // A caller's stream gets each operation's bytes at once: "a", ",b", then the ",c" that fails.
  auto failing = std::make_shared<ScriptedOutput>(std::deque<std::ptrdiff_t>{1, 1, 1, ScriptedOutput::kFail});
  auto fails = CSVWriter::toStream(failing);
  fails.writeField("a");
  fails.writeField("b");
  auto failure = writerError([&] { fails.writeField("c"); });
  EXPECT_EQ(failure.failureReason(),
            "The output stream encountered an error while trying to write encoded bytes");
  EXPECT_EQ(failure.helpAnchor(),
            "Review the underlying error and make sure you have access to the output data (if it is a file)");
  EXPECT_EQ(*failure.errorUserInfo().get<StreamStatus>("Stream status"), StreamStatus::error);
  EXPECT_TRUE(failure.underlyingError());
  EXPECT_EQ(failing->written, "a,b");
}

TEST(Writer, FilesReplacedAppendedAndLeftAloneOnFailure) {
  auto path = temporaryPath("file.csv");
  CSVWriter::encodeFile(Rows{{"a", "b"}}, path, [](auto& c) { c.bomStrategy = Strategy::BOM::always; });
  CSVWriter::encodeFile(
      Rows{{"c", "d"}}, path, [](auto& c) { c.bomStrategy = Strategy::BOM::always; }, FileMode::append);
  EXPECT_EQ(contentsOf(path),
            "\xEF\xBB\xBF"
            "a,b\nc,d\n");
  // A writer that cannot be made does not touch the file.
  writerError([&] { (void)CSVWriter::toFile(path, [](auto& c) { c.delimiters.row = U','; }); });
  writerError([&] { (void)CSVWriter::toFile(path, [](auto& c) { c.encoding = TextEncoding::isoLatin1; }); });
  EXPECT_EQ(contentsOf(path),
            "\xEF\xBB\xBF"
            "a,b\nc,d\n");
  std::filesystem::remove(path);

  auto nowhere = writerError([] { (void)CSVWriter::toFile("/nonexistent-folder/places.csv"); });
  EXPECT_EQ(nowhere.type(), CSVWriter::Error::streamFailure);
  EXPECT_EQ(nowhere.failureReason(), "The output stream is not open.");
  EXPECT_EQ(nowhere.helpAnchor(), "Check you have priviledge to open the output stream.");
  EXPECT_EQ(*nowhere.errorUserInfo().get<StreamStatus>("Stream status"), StreamStatus::error);
  EXPECT_EQ(writerError([] { (void)CSVWriter::toFile(""); }).failureReason(),
            "The output stream couldn't be initialized with the given URL.");

  // A device that is always full fails when the last block goes out, which the end reports.
  if (std::filesystem::exists("/dev/full")) {
    auto full = CSVWriter::toFile("/dev/full");
    full.writeRow({"a"});
    EXPECT_EQ(writerError([&] { full.endEncoding(); }).type(), CSVWriter::Error::streamFailure);
  }
}

TEST(Writer, ADroppedWriterFinishesItsRowAndClosesTheStream) {
  auto stream = std::make_shared<ScriptedOutput>();
  {
    auto writer = CSVWriter::toStream(stream, [](auto& c) { c.headers = {"a", "b"}; });
    writer.writeField("1");
  }
  EXPECT_EQ(stream->written, "a,b\n1,\n");
  EXPECT_EQ(stream->closes, 1);
}
