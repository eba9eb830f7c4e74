#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

using namespace tamrikcsv;

namespace {

// The first line of the text of what one `catch (const LibraryError&)` around `action` took, which must
// be a `T`.
template <class T>
std::string caughtAs(const std::function<void()>& action) {
  try {
    action();
  } catch (const LibraryError& error) {
    EXPECT_NE(dynamic_cast<const T*>(&error), nullptr) << error.what();
    std::string text = error.what();
    return text.substr(0, text.find('\n'));
  }
  ADD_FAILURE() << "nothing was raised";
  return {};
}

}  // namespace

TEST(LibraryError, OneCatchTakesEveryFailureOfTheLibraryWithItsText) {
  EXPECT_EQ(caughtAs<CSVError<CSVReader>>([] { (void)CSVReader::decodeText("a,b\n1,2,3\n"); }),
            "[CSVReader] Invalid input");
  EXPECT_EQ(caughtAs<CSVError<CSVWriter>>([] {
              auto writer = CSVWriter::toMemory();
              writer.writeRow(std::vector<std::string>{"a"});
              writer.writeRow(std::vector<std::string>{"a", "b"});
            }),
            "[CSVWriter] Invalid operation");
  EXPECT_EQ(
      caughtAs<DecodingError>([] { (void)CSVDecoder().decodeText<std::vector<std::vector<int>>>("1,x\n"); }),
      "The field 'x' was not of the expected type 'Int32'. (at [0, 1])");
  // A named encoder: GCC 12 at -O3 takes the temporary's optional locale for uninitialized.
  const CSVEncoder encoder;
  EXPECT_EQ(caughtAs<EncodingError>([&] {
              (void)encoder.encodeString(
                  std::vector<std::vector<double>>{{std::numeric_limits<double>::infinity()}});
            }),
            "The value is a non-conformant floating-point. (at [0, 0])");
}
