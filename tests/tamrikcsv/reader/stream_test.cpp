#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "support/reading.hpp"
#include "support/scripted_stream.hpp"

using namespace tamrikcsv;
using test::readAll;
using test::readerError;
using test::Rows;
using test::ScriptedStream;

namespace {

std::filesystem::path temporaryFile(const std::string& content) {
  auto path = std::filesystem::temp_directory_path() / ("tamrik-stream-test-" + std::to_string(::getpid()) +
                                                        "-" + std::to_string(std::rand()) + ".csv");
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

}  // namespace

TEST(Streams, MarkDetectionReadsFourBytesAndEverythingElseLazily) {
  // A first read of two bytes cuts the mark: the reads go on until four bytes are in.
  auto cut = std::make_shared<ScriptedStream>(std::deque<ScriptedStream::Step>{{"\xEF\xBB"},
                                                                               {"\xBF"
                                                                                "a,b\n"}});
  auto reader = CSVReader::fromStream(cut);
  EXPECT_EQ(readAll(reader), (Rows{{"a", "b"}}));
  EXPECT_EQ(cut->requests, (std::vector<std::size_t>{4, 2, 1024, 1024}));

  std::string big;
  for (int i = 0; i < 2000; ++i) big += "row" + std::to_string(i) + ",x\n";
  auto stream = ScriptedStream::chunked(big, 100000);
  auto lazy = CSVReader::fromStream(stream);
  EXPECT_EQ(stream->requests.size(), 1u);
  EXPECT_EQ(lazy.readRow(), (std::vector<std::string>{"row0", "x"}));
  EXPECT_EQ(stream->requests, (std::vector<std::size_t>{4, 1024}));
}

TEST(Streams, InputsShorterThanAMarkEndAfterTheirBytes) {
  struct Case {
    std::string text;
    Rows rows;
    std::optional<std::string> reason;  // of the error after the rows
  };
  const Case cases[] = {
      {"", {}, std::nullopt},
      {"a", {{"a"}}, std::nullopt},
      {"a,\n", {{"a", ""}}, std::nullopt},
      {"\xEF\xBB\xBF", {}, std::nullopt},
      {"\xFF\xFE", {}, std::nullopt},
      {"\xFE\xFF"
       "a",
       {},
       "The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected)."},
      {"\xC3", {}, "Some input bytes couldn't be decoded as UTF8 characters"},
  };
  for (const auto& c : cases) {
    for (std::size_t chunk : {1, 4}) {
      SCOPED_TRACE(testing::PrintToString(c.text) + " in reads of " + std::to_string(chunk));
      auto stream = ScriptedStream::chunked(c.text, chunk);
      auto reader = CSVReader::fromStream(stream);
      std::optional<CSVError<CSVReader>> error;
      EXPECT_EQ(test::rowsBeforeError(reader, error), c.rows);
      EXPECT_EQ(error ? error->failureReason() : std::nullopt, c.reason);
      // Read to its end once, and not asked again.
      EXPECT_EQ(stream->requests.size(), (c.text.size() + chunk - 1) / chunk + 1);
      EXPECT_EQ(stream->closes, 1);
    }
  }
}

TEST(Streams, StreamsAreClosedAtTheEndOrWhenTheReaderGoesAway) {
  auto whole = ScriptedStream::chunked("a\nb\n", 3);
  {
    auto reader = CSVReader::fromStream(whole);
    EXPECT_EQ(readAll(reader), (Rows{{"a"}, {"b"}}));
    EXPECT_EQ(whole->closes, 1);
  }
  EXPECT_EQ(whole->closes, 1);

  auto dropped = ScriptedStream::chunked("a\nb\n", 1);
  (void)CSVReader::fromStream(dropped).readRow();
  EXPECT_EQ(dropped->closes, 1);

  // Construction that fails after the stream was opened closes it too.
  auto refused = ScriptedStream::chunked("a\n", 3);
  readerError([&] { (void)CSVReader::fromStream(refused, [](auto& c) { c.delimiters.row = U','; }); });
  EXPECT_EQ(refused->opens, 1);
  EXPECT_EQ(refused->closes, 1);
}

TEST(Streams, AFailingStreamDeliversWhatCameBeforeThenFailsForGood) {
  auto stream = std::make_shared<ScriptedStream>(
      std::deque<ScriptedStream::Step>{{"a,b\nc,"}, {"d\ne"}, ScriptedStream::failure(), {"f\n"}});
  auto reader = CSVReader::fromStream(stream);
  std::optional<CSVError<CSVReader>> error;
  EXPECT_EQ(test::rowsBeforeError(reader, error), (Rows{{"a", "b"}, {"c", "d"}}));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->type(), CSVReader::Error::streamFailure);
  EXPECT_EQ(error->failureReason(),
            "The input stream encountered an error while trying to read input bytes.");
  EXPECT_EQ(error->helpAnchor(),
            "Review the internal error and make sure you have access to the input data.");
  EXPECT_EQ(*error->errorUserInfo().get<StreamStatus>("Stream status"), StreamStatus::error);
  EXPECT_TRUE(error->underlyingError());
  EXPECT_TRUE(readerError([&] { (void)reader.readRow(); }).isSameError(*error));
  EXPECT_EQ(stream->closes, 1);

  auto early = std::make_shared<ScriptedStream>(std::deque<ScriptedStream::Step>{ScriptedStream::failure()});
  auto first = readerError([&] { (void)CSVReader::fromStream(early); });
  EXPECT_EQ(first.failureReason(),
            "The input stream encountered an error while trying to read the first bytes.");
  EXPECT_NE(std::string(first.what()).find("Underlying error: injected read failure"), std::string::npos);
  // Bytes before a failure are rows even when there are fewer than a mark's four.
  auto twoBytes =
      std::make_shared<ScriptedStream>(std::deque<ScriptedStream::Step>{{"a\n"}, ScriptedStream::failure()});
  auto twoBytesReader = CSVReader::fromStream(twoBytes);
  std::optional<CSVError<CSVReader>> twoBytesError;
  EXPECT_EQ(test::rowsBeforeError(twoBytesReader, twoBytesError), (Rows{{"a"}}));
  EXPECT_EQ(twoBytesError->failureReason(), error->failureReason());

  // A stream failing inside a UTF-16 unit reports the stream, not the cut unit.
  auto utf16 = std::make_shared<ScriptedStream>(
      std::deque<ScriptedStream::Step>{{std::string("a\0\n\0b", 5)}, ScriptedStream::failure()});
  auto reader16 = CSVReader::fromStream(utf16, [](auto& c) { c.encoding = TextEncoding::utf16LittleEndian; });
  std::optional<CSVError<CSVReader>> error16;
  EXPECT_EQ(test::rowsBeforeError(reader16, error16), (Rows{{"a"}}));
  EXPECT_EQ(error16->type(), CSVReader::Error::streamFailure);
}

TEST(Streams, PresamplingReadsEverythingFirst) {
  auto stream = ScriptedStream::chunked("a,b\n1,2\n", 3);
  auto reader = CSVReader::fromStream(stream, [](auto& c) { c.presample = true; });
  EXPECT_EQ(stream->closes, 1);
  EXPECT_EQ(readAll(reader), (Rows{{"a", "b"}, {"1", "2"}}));

  auto failing =
      std::make_shared<ScriptedStream>(std::deque<ScriptedStream::Step>{{"a,b"}, ScriptedStream::failure()});
  auto error =
      readerError([&] { (void)CSVReader::fromStream(failing, [](auto& c) { c.presample = true; }); });
  EXPECT_EQ(error.type(), CSVReader::Error::streamFailure);
  EXPECT_EQ(error.failureReason(), "The provided input stream could not be read in its entirety.");
  EXPECT_EQ(error.helpAnchor(),
            "Make sure there is data in the input stream and that you have access to it.");
  EXPECT_EQ(*error.errorUserInfo().get<std::string>("Input stream"), "scripted stream");
  EXPECT_EQ(failing->closes, 1);
}

TEST(Streams, FilesWithAndWithoutPresampling) {
  // A field far longer than a read, with multi-byte scalars cut at every possible place.
  std::string longField;
  for (int i = 0; i < 70000; ++i) longField += i % 3 ? "é" : "日";
  auto path = temporaryFile("h1,h2\n" + longField + ",\"" + longField + "\"\"\"\nx,y\n");
  Rows expected{{longField, longField + "\""}, {"x", "y"}};
  for (bool presample : {false, true}) {
    auto reader = CSVReader::fromFile(path, [&](auto& c) {
      c.presample = presample;
      c.headerStrategy = Strategy::Header::firstLine;
    });
    EXPECT_EQ(reader.headers(), (std::vector<std::string>{"h1", "h2"}));
    EXPECT_EQ(readAll(reader), expected);
  }
  std::filesystem::remove(path);

  auto missing = std::filesystem::temp_directory_path() / "tamrik-no-such-file.csv";
  auto unopened = readerError([&] { (void)CSVReader::fromFile(missing); });
  EXPECT_EQ(unopened.type(), CSVReader::Error::streamFailure);
  EXPECT_EQ(unopened.failureReason(),
            "The input stream encountered an error while trying to read the first bytes.");
  auto unread = readerError([&] { (void)CSVReader::fromFile(missing, [](auto& c) { c.presample = true; }); });
  EXPECT_EQ(unread.type(), CSVReader::Error::invalidInput);
  EXPECT_EQ(unread.failureReason(), "The file under the given URL couldn't be read.");
  EXPECT_EQ(*unread.errorUserInfo().get<std::filesystem::path>("File URL"), missing);
  EXPECT_EQ(readerError([] { (void)CSVReader::fromFile(""); }).failureReason(),
            "Creating an input stream to the given file URL failed.");
  EXPECT_EQ(readerError([] { (void)CSVReader::fromFile(std::filesystem::temp_directory_path()); }).type(),
            CSVReader::Error::streamFailure);
}

TEST(Streams, AFileArrivingInPiecesStillShowsItsMark) {
  // A pipe's read gives what has arrived: here the mark's first byte alone, the rest once it was taken.
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const std::string text(
      "\xFF\xFE"
      "a\0\n\0",
      6);
  ASSERT_EQ(::write(ends[1], text.data(), 1), 1);
  std::jthread writer([&] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int queued = 1;
    while (queued > 0 && std::chrono::steady_clock::now() < deadline &&
           ::ioctl(ends[0], FIONREAD, &queued) == 0)
      std::this_thread::yield();
    EXPECT_EQ(::write(ends[1], text.data() + 1, text.size() - 1), 5);
    ::close(ends[1]);
  });
  auto reader = CSVReader::fromFile("/proc/self/fd/" + std::to_string(ends[0]));
  writer.join();
  EXPECT_EQ(readAll(reader), (Rows{{"a"}}));
  ::close(ends[0]);
}

TEST(Streams, ProgressIsTheShareOfTheInputParsed) {
  // The mark counts as parsed input, before the first row: 3 of these 22 bytes.
  const std::string text =
      "\xEF\xBB\xBF"
      "ab\n" +
      std::string(3, 'x') + "\n" + std::string(11, 'y') + "\n";
  auto path = temporaryFile(text);
  for (bool fromFile : {false, true}) {
    auto reader = fromFile ? CSVReader::fromFile(path) : CSVReader::fromData(test::bytes(text));
    EXPECT_EQ(reader.progress(), 3.0 / 22);
    std::vector<double> seen;
    while (reader.readRow()) seen.push_back(reader.progress().value());
    EXPECT_EQ(seen, (std::vector<double>{6.0 / 22, 10.0 / 22, 1.0})) << fromFile;
    EXPECT_EQ(reader.progress(), 1.0);
  }
  std::filesystem::remove(path);
  // Unknown for a stream of unknown length, and for input that isn't parsed as it is stored.
  auto stream = std::make_shared<ScriptedStream>(std::deque<ScriptedStream::Step>{{"a\nb\n"}});
  auto streamed = CSVReader::fromStream(stream);
  (void)streamed.readRow();
  EXPECT_EQ(streamed.progress(), std::nullopt);
  auto wide =
      CSVReader::fromData(test::bytes(std::string("\xFF\xFE"
                                                  "a\0\n\0",
                                                  6)));
  (void)wide.readRow();
  EXPECT_EQ(wide.progress(), std::nullopt);
}

// An endless supply of rows, made up as they are read.
class GeneratedRows final : public InputStream {
 public:
  explicit GeneratedRows(std::size_t total) : remaining_(total) {}
  void open() override {}
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override {
    std::size_t n = std::min(maxLength, remaining_);
    for (std::size_t i = 0; i < n; ++i, ++offset_) buffer[i] = std::byte(kRow[offset_ % (sizeof kRow - 1)]);
    remaining_ -= n;
    return static_cast<std::ptrdiff_t>(n);
  }
  bool hasBytesAvailable() const override { return remaining_ > 0; }
  void close() override {}
  StreamStatus status() const override { return StreamStatus::open; }
  std::exception_ptr error() const override { return nullptr; }
  std::string description() const override { return "generated rows"; }

 private:
  static constexpr char kRow[] = "Location 1,\"Dock, East\",Floor 3,SN000123\n";
  std::size_t remaining_, offset_ = 0;
};

TEST(Streams, MemoryStaysFlatWhateverTheInputSize) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "resident memory means little under the address sanitizer";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "resident memory means little under the address sanitizer";
#endif
#endif
  auto peak = [] {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB
  };
  long before = peak();
  auto reader = CSVReader::fromStream(std::make_shared<GeneratedRows>(std::size_t{200} << 20));
  std::vector<std::string> row;
  std::size_t rows = 0;
  while (reader.readRow(row)) ++rows;
  EXPECT_GT(rows, 4'000'000u);
  EXPECT_LT(peak() - before, 16 * 1024) << "reading 200 MiB grew the resident set by more than 16 MiB";
}
