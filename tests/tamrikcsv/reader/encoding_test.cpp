#include <gtest/gtest.h>

#include "support/reading.hpp"
#include "support/scripted_stream.hpp"

using namespace tamrikcsv;
using test::bytes;
using test::readAll;
using test::readerError;
using test::Rows;

namespace {

// The text in an encoding, with its byte-order mark when asked.
std::string encode(std::u32string_view text, TextEncoding encoding, bool mark) {
  std::string out;
  auto put = [&](std::uint32_t unit, int size, bool big) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<char>(unit >> (8 * (big ? size - 1 - i : i))));
  };
  bool big = encoding == TextEncoding::utf16BigEndian || encoding == TextEncoding::utf32BigEndian;
  bool sixteen = encoding == TextEncoding::utf16BigEndian || encoding == TextEncoding::utf16LittleEndian;
  if (encoding == TextEncoding::utf8) {
    if (mark) out = "\xEF\xBB\xBF";
    for (char32_t c : text) {
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
      } else if (c < 0x800) {
        out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
      } else if (c < 0x10000) {
        out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                static_cast<char>(0x80 | (c & 0x3F))};
      } else {
        out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
      }
    }
    return out;
  }
  if (mark) put(0xFEFF, sixteen ? 2 : 4, big);
  for (char32_t c : text) {
    if (sixteen && c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10), 2, big);
      put(0xDC00 + ((c - 0x10000) & 0x3FF), 2, big);
    } else {
      put(c, sixteen ? 2 : 4, big);
    }
  }
  return out;
}

Rows readData(std::string_view data, const CSVReader::Setter& setter = {}) {
  auto reader = CSVReader::fromData(bytes(data), setter);
  return test::readAll(reader);
}

const Rows kSample{{"é", "日本"}, {"𝄞", "x\ny"}};
const std::u32string kSampleText = U"é,日本\n𝄞,\"x\ny\"\n";

}  // namespace

TEST(Encoding, EveryUnicodeEncodingWithAndWithoutMarkThroughBytesAndStreams) {
  for (auto encoding : {TextEncoding::utf8, TextEncoding::utf16BigEndian, TextEncoding::utf16LittleEndian,
                        TextEncoding::utf32BigEndian, TextEncoding::utf32LittleEndian}) {
    for (bool mark : {false, true}) {
      SCOPED_TRACE(std::string(name(encoding)) + (mark ? " with mark" : ""));
      std::string data = encode(kSampleText, encoding, mark);
      auto configured = [&](CSVReader::Configuration& c) { c.encoding = encoding; };
      EXPECT_EQ(readData(data, configured), kSample);
      if (mark || encoding == TextEncoding::utf8) {
        EXPECT_EQ(readData(data), kSample);
      }
      // However the reads cut the mark.
      for (std::size_t chunk : {1, 2, 3, 4, 7, 1024}) {
        auto reader = CSVReader::fromStream(test::ScriptedStream::chunked(data, chunk), configured);
        EXPECT_EQ(test::readAll(reader), kSample) << chunk;
        if (mark) {
          auto inferred = CSVReader::fromStream(test::ScriptedStream::chunked(data, chunk));
          EXPECT_EQ(test::readAll(inferred), kSample) << chunk;
        }
      }
      EXPECT_EQ(readData(data,
                         [&](auto& c) {
                           c.encoding = encoding;
                           c.presample = true;
                         }),
                kSample);
    }
  }
}

TEST(Encoding, MarksChooseTheEncoding) {
  EXPECT_EQ(readData("\xEF\xBB\xBF"
                     "a,b"),
            (Rows{{"a", "b"}}));
  EXPECT_EQ(readData(std::string("\xFE\xFF\0a", 4)), (Rows{{"a"}}));
  EXPECT_EQ(readData(std::string("a\0", 2), [](auto& c) { c.encoding = TextEncoding::utf16LittleEndian; }),
            (Rows{{"a"}}));
  // Unordered UTF-16 takes its order from the mark, and is big-endian without one.
  EXPECT_EQ(readData(std::string("\xFF\xFE"
                                 "a\0",
                                 4),
                     [](auto& c) { c.encoding = TextEncoding::utf16; }),
            (Rows{{"a"}}));
  EXPECT_EQ(readData(std::string("\0a", 2), [](auto& c) { c.encoding = TextEncoding::utf16; }),
            (Rows{{"a"}}));
  // FF FE 00 00 starts both little-endian marks: the configured encoding settles it, else UTF-32.
  std::string ambiguous("\xFF\xFE\0\0a\0\0\0", 8);
  EXPECT_EQ(readData(ambiguous), (Rows{{"a"}}));
  EXPECT_EQ(readData(ambiguous, [](auto& c) { c.encoding = TextEncoding::utf16LittleEndian; }),
            (Rows{{std::string("\0a\0", 3)}}));

  auto mismatch = readerError([] {
    (void)CSVReader::fromData(bytes("\xEF\xBB\xBF"
                                    "a"),
                              [](auto& c) { c.encoding = TextEncoding::utf16; });
  });
  EXPECT_EQ(mismatch.type(), CSVReader::Error::invalidConfiguration);
  EXPECT_EQ(
      mismatch.failureReason(),
      "The encoding passed in the configuration doesn't match the Byte Order Mark (BOM) from the input data");
  EXPECT_EQ(mismatch.helpAnchor(),
            "Set the appropriate encoding for the reader configuration or don't set any at all (pass nil)");
  EXPECT_EQ(*mismatch.errorUserInfo().get<TextEncoding>("Provided encoding"), TextEncoding::utf16);
  EXPECT_EQ(*mismatch.errorUserInfo().get<TextEncoding>("Data BOM encoding"), TextEncoding::utf8);
}

TEST(Encoding, MalformedInputFailsAfterTheRowsBeforeIt) {
  struct Case {
    std::string data;
    std::optional<TextEncoding> encoding;
    const char* reason;
  };
  const Case cases[] = {
      {"a,b\nc,\xC3", std::nullopt, "Some input bytes couldn't be decoded as UTF8 characters"},
      {"a,b\nc,\xFF", std::nullopt, "Some input bytes couldn't be decoded as UTF8 characters"},
      {"a,b\nc,\xED\xA0\x80", std::nullopt, "Some input bytes couldn't be decoded as UTF8 characters"},
      {encode(U"a,b\nc,", TextEncoding::utf16LittleEndian, false) + "d", TextEncoding::utf16LittleEndian,
       "The last input UTF16 character is incomplete (only 1 byte was found when 2 were expected)."},
      {encode(U"a,b\nc,", TextEncoding::utf16BigEndian, false) + std::string("\xDC\x00", 2),
       TextEncoding::utf16BigEndian, "Some input bytes couldn't be decoded as multibyte UTF16"},
      {encode(U"a,b\nc,", TextEncoding::utf16BigEndian, false) + std::string("\xD8\x00", 2),
       TextEncoding::utf16BigEndian, "Some input bytes couldn't be decoded as multibyte UTF16"},
      {encode(U"a,b\nc,", TextEncoding::utf32LittleEndian, false) + std::string("\0\0\x11\0", 4),
       TextEncoding::utf32LittleEndian, "Some input bytes couldn't be decoded as multibyte UTF32"},
      {encode(U"a,b\nc,", TextEncoding::utf32BigEndian, false) + "xyz", TextEncoding::utf32BigEndian,
       "The last input UTF32 character is incomplete (less than 4 bytes were found)."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    auto setter = [&](CSVReader::Configuration& config) { config.encoding = c.encoding; };
    for (int kind = 0; kind < 3; ++kind) {
      auto reader = kind == 0 ? CSVReader::fromData(bytes(c.data), setter)
                    : kind == 1
                        ? CSVReader::fromStream(test::ScriptedStream::chunked(c.data, 2), setter)
                        : CSVReader::fromStream(std::make_shared<MemoryInputStream>(bytes(c.data)), setter);
      std::optional<CSVError<CSVReader>> error;
      EXPECT_EQ(test::rowsBeforeError(reader, error), (Rows{{"a", "b"}}));
      ASSERT_TRUE(error);
      EXPECT_EQ(error->failureReason(), c.reason);
      EXPECT_EQ(error->type(), CSVReader::Error::invalidInput);
    }
  }
  // Text is UTF-8 too, and checked as it is read.
  auto reader = CSVReader::fromText("a,b\n\xF0\x9F");
  std::optional<CSVError<CSVReader>> error;
  EXPECT_EQ(test::rowsBeforeError(reader, error), (Rows{{"a", "b"}}));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->helpAnchor(),
            "Make sure the CSV only contains UTF8 characters or select a different encoding.");
}

TEST(Encoding, ASCIIRejectsHighBytes) {
  auto reader = CSVReader::fromData(bytes("ok\n\xE9"), [](auto& c) { c.encoding = TextEncoding::ascii; });
  std::optional<CSVError<CSVReader>> error;
  EXPECT_EQ(test::rowsBeforeError(reader, error), (Rows{{"ok"}}));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->failureReason(), "The decoded byte is not an ASCII character.");
  EXPECT_EQ(error->helpAnchor(),
            "Make sure the CSV only contains ASCII characters or select a different encoding (e.g. UTF8).");
  EXPECT_EQ(*error->errorUserInfo().get<std::int64_t>("Byte"), 233);
}

TEST(Encoding, OtherEncodingsOnlyThroughPresampledBytes) {
  auto latin1 = [](bool presample) {
    return [presample](CSVReader::Configuration& c) {
      c.encoding = TextEncoding::isoLatin1;
      c.presample = presample;
    };
  };
  auto unsupported = readerError([&] { (void)CSVReader::fromData(bytes("caf\xE9"), latin1(false)); });
  EXPECT_EQ(unsupported.failureReason(), "The given encoding is not yet supported by this library");
  EXPECT_EQ(unsupported.helpAnchor(), "Contact the library maintainer");
  EXPECT_EQ(*unsupported.errorUserInfo().get<TextEncoding>("Encoding"), TextEncoding::isoLatin1);
  EXPECT_EQ(readData("caf\xE9,x", latin1(true)), (Rows{{"café", "x"}}));
  // Longer than a conversion block.
  std::string latinBlock(20000, '\xE9'), utf8Block;
  for (int i = 0; i < 20000; ++i) utf8Block += "é";
  EXPECT_EQ(readData(latinBlock + ",x", latin1(true)), (Rows{{utf8Block, "x"}}));
  EXPECT_EQ(readData("\x93\xfa\x96\x7b,x",
                     [](auto& c) {
                       c.encoding = TextEncoding::shiftJIS;
                       c.presample = true;
                     }),
            (Rows{{"日本", "x"}}));

  auto blob = readerError([] {
    (void)CSVReader::fromData(bytes("\x81\x20"), [](auto& c) {
      c.encoding = TextEncoding::shiftJIS;
      c.presample = true;
    });
  });
  EXPECT_EQ(blob.type(), CSVReader::Error::invalidConfiguration);
  EXPECT_EQ(blob.failureReason(), "The data blob didn't match the given string encoding.");
  EXPECT_EQ(blob.helpAnchor(),
            "Let the reader infer the encoding or make sure the data blob is correctly formatted.");
  EXPECT_EQ(readerError([] {
              (void)CSVReader::fromData(bytes("a\xFF"), [](auto& c) {
                c.encoding = TextEncoding::utf8;
                c.presample = true;
              });
            }).failureReason(),
            blob.failureReason());
}
