// The UTF-8 check skips ASCII and common scalars in blocks; it must stop where checking scalar by scalar
// does, for the same reason.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tamrikcsv/text/detail/unicode.hpp"

namespace {

using namespace tamrikcsv::detail;

TEST(CheckUTF8, StopsWhereScalarByScalarChecking) {
  // Valid scalars of every length and bound on the second byte, then bad or cut sequences.
  static const char* const kPieces[] = {"a",
                                        "0123456789abcdef0123456789",
                                        "\xC3\xA9",
                                        "\xDF\xBF",
                                        "\xE6\x97\xA5",
                                        "\xE0\xA0\x80",
                                        "\xED\x9F\xBF",
                                        "\xEF\xBF\xBF",
                                        "\xF0\x9F\x98\x80",
                                        "\xF4\x8F\xBF\xBF",
                                        "\x80",
                                        "\xC1\xBF",
                                        "\xE0\x9F\xBF",
                                        "\xED\xA0\x80",
                                        "\xF4\x90\x80\x80",
                                        "\xF5",
                                        "\xC3",
                                        "\xE6\x97",
                                        "\xF0\x9F\x98",
                                        "\xC3("};
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (auto pieces = rng() % 40; pieces > 0; --pieces) {
      // Half the texts are valid but for their last piece, so that the check goes far.
      text += kPieces[i % 2 == 0 && pieces > 1 ? rng() % 10 : rng() % std::size(kPieces)];
      if (rng() % 3 == 0) text += std::string(rng() % 70, 'x');
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    UTF8Check expected{text.size(), UTF8Stop::complete};
    for (std::size_t at = 0; at < text.size();) {
      const int length = scalarLength(p + at, text.size() - at);
      if (length <= 0) {
        expected = {at, length == 0 ? UTF8Stop::invalid : UTF8Stop::truncated};
        break;
      }
      at += static_cast<std::size_t>(length);
    }
    const UTF8Check actual = checkUTF8(p, text.size());
    ASSERT_TRUE(actual.valid == expected.valid && actual.stop == expected.stop) << "text " << i;
  }
}

}  // namespace
