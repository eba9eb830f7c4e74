// Large files are read ahead on a thread, which also checks their UTF-8: the reader must see the same
// bytes, end, failure and rows as without it, whatever the reads and chunks cut.

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "support/reading.hpp"
#include "support/scripted_stream.hpp"
#include "tamrikcsv/reader/detail/read_ahead.hpp"
#include "tamrikcsv/text/detail/unicode.hpp"

using namespace tamrikcsv;
using detail::ReadAheadStream;
using test::ScriptedStream;

namespace {

bool wholeUTF8(const std::string& bytes) {
  return detail::checkUTF8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()).stop ==
         detail::UTF8Stop::complete;
}

// Reads `stream` to its end in reads of up to `length` bytes; checks each read that says it is whole UTF-8.
std::string drain(ReadAheadStream& stream, std::size_t length, std::size_t* wholeReads = nullptr) {
  std::string all;
  std::string buffer(length, '\0');
  for (;;) {
    const std::ptrdiff_t n = stream.read(reinterpret_cast<std::byte*>(buffer.data()), length);
    EXPECT_LE(n, static_cast<std::ptrdiff_t>(length));
    if (n <= 0) return all;
    EXPECT_EQ(stream.status(), StreamStatus::open);
    const std::string piece = buffer.substr(0, static_cast<std::size_t>(n));
    all += piece;
    if (stream.lastReadWasWholeUTF8()) {
      EXPECT_TRUE(wholeUTF8(piece) && wholeUTF8(all)) << all.size();
      if (wholeReads) ++*wholeReads;
    }
  }
}

}  // namespace

TEST(ReadAhead, GivesTheInnerStreamsBytesThenItsEnd) {
  const char* const scalars[] = {"a", "\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x98\x80", ",", "\n"};
  std::string valid;
  for (int i = 0; i < 90; ++i) valid += scalars[i * 7 % 6];
  // Valid text; a bad byte within it; a sequence cut by the end; a stray continuation at the start.
  for (const std::string& text : {valid, valid.substr(0, 90) + "\xFF" + valid.substr(90), valid + "\xF0\x9F",
                                  "\x80" + valid, std::string()})
    for (std::size_t chunk : {1u, 2u, 5u, 64u})
      for (std::size_t inner : {1u, 3u, 1000u})
        for (std::size_t length : {1u, 4u, 7u, 4096u}) {
          SCOPED_TRACE(testing::Message() << text.size() << " " << chunk << " " << inner << " " << length);
          auto scripted = ScriptedStream::chunked(text, inner);
          ReadAheadStream stream(scripted, chunk);
          stream.open();
          std::size_t wholeReads = 0;
          ASSERT_EQ(drain(stream, length, &wholeReads), text) << chunk << " " << inner << " " << length;
          EXPECT_EQ(stream.status(), StreamStatus::atEnd);
          EXPECT_EQ(stream.read(nullptr, 0), 0);
          EXPECT_EQ(stream.hasBytesAvailable(), false);
          // Checked on the way, so that a reader need not check it again.
          if (text == valid && length > 4) {
            EXPECT_GT(wholeReads, 0u);
          }
          stream.close();
          EXPECT_EQ(scripted->closes, 1);
        }
}

TEST(ReadAhead, FailsWhereTheInnerStreamFails) {
  // A sequence cut just before the failure comes out before it.
  ReadAheadStream failing(std::make_shared<ScriptedStream>(std::deque<ScriptedStream::Step>{
                              {"ab\xC3\xA9"}, {"cd\xE6\x97"}, ScriptedStream::failure()}),
                          4);
  failing.open();
  EXPECT_EQ(drain(failing, 16),
            "ab\xC3\xA9"
            "cd\xE6\x97");
  EXPECT_EQ(failing.status(), StreamStatus::error);
  EXPECT_TRUE(failing.error());
  EXPECT_EQ(failing.read(nullptr, 8), -1);

  // What the inner stream's read throws comes after its bytes, and reads after it are the inner stream's.
  class Throwing final : public InputStream {
   public:
    void open() override {}
    std::ptrdiff_t read(std::byte* buffer, std::size_t) override {
      if (reads_++ > 0) throw std::runtime_error("gone");
      buffer[0] = std::byte{'x'};
      return 1;
    }
    bool hasBytesAvailable() const override { return true; }
    void close() override {}
    StreamStatus status() const override { return StreamStatus::open; }
    std::exception_ptr error() const override { return nullptr; }
    std::string description() const override { return "throwing"; }

   private:
    int reads_ = 0;
  };
  ReadAheadStream throwing(std::make_shared<Throwing>(), 8);
  throwing.open();
  std::byte byte{};
  EXPECT_EQ(throwing.read(&byte, 8), 1);
  EXPECT_THROW((void)throwing.read(&byte, 8), std::runtime_error);
  EXPECT_THROW((void)throwing.read(&byte, 8), std::runtime_error);
}

TEST(ReadAhead, StopsWhenClosedOrDroppedEarly) {
  const std::string text(100000, 'x');
  auto scripted = ScriptedStream::chunked(text, 10);
  {
    ReadAheadStream stream(scripted, 16);
    stream.open();
    std::byte bytes[3];
    EXPECT_EQ(stream.read(bytes, 3), 3);
    stream.close();
    EXPECT_EQ(scripted->closes, 1);
    EXPECT_EQ(stream.status(), StreamStatus::closed);
    EXPECT_EQ(stream.read(bytes, 3), -1);  // as the closed inner stream answers
  }
  // Dropped without a read, the thread waiting for room: the destructor stops it.
  ReadAheadStream(ScriptedStream::chunked(text, 10), 16).open();
  // An inner stream that fails to open is never read ahead.
  auto unopened = std::make_shared<FileInputStream>("/nonexistent/tamrik.csv");
  ReadAheadStream stream(unopened, 16);
  stream.open();
  EXPECT_EQ(stream.status(), StreamStatus::error);
  EXPECT_EQ(stream.read(nullptr, 4), -1);
}

TEST(ReadAhead, ReadsAsTheInnerStreamAlone) {
  // Random rows, cut by the inner stream's reads, the chunks and the reader's reads anywhere, with a bad
  // byte, a cut end, a failure or an early stop: the rows and the error must be those without the thread.
  const char* const pieces[] = {"a", "\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x98\x80", " "};
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    for (std::size_t size = rng() % 12000; text.size() < size;)
      for (int f = 0; f < 3; ++f) {
        std::string field;
        for (std::size_t k = rng() % 8; k > 0; --k) field += pieces[rng() % std::size(pieces)];
        if (rng() % 4 == 0) field = "\"" + field + ",\n\"\"" + field + "\"";
        text += field + (f < 2 ? "," : "\n");
      }
    if (rng() % 2 && !text.empty()) text[rng() % text.size()] = static_cast<char>(0x80 + rng() % 0x80);
    if (rng() % 4 == 0 && !text.empty()) text.resize(rng() % text.size());
    std::deque<ScriptedStream::Step> steps;
    for (std::size_t i = 0; i < text.size(); i += steps.back().bytes.size())
      steps.push_back({text.substr(i, 1 + rng() % (rng() % 2 ? 50 : 3000))});
    if (rng() % 4 == 0) steps.push_back(ScriptedStream::failure());
    const std::size_t stopAfter = rng() % 3 == 0 ? rng() % 50 : SIZE_MAX;
    auto read = [&](std::shared_ptr<InputStream> stream) {
      test::Rows rows;
      try {
        auto reader = CSVReader::fromStream(std::move(stream));
        for (auto row = reader.readRow(); row && rows.size() < stopAfter; row = reader.readRow())
          rows.push_back(*row);
      } catch (const CSVError<CSVReader>& e) {
        rows.push_back({e.what()});
      }
      return rows;
    };
    auto inner = std::make_shared<ScriptedStream>(steps);
    ASSERT_EQ(read(std::make_shared<ReadAheadStream>(inner, 1 + rng() % 3000)),
              read(std::make_shared<ScriptedStream>(steps)))
        << round;
    EXPECT_EQ(inner->closes, 1) << round;
  }
}
