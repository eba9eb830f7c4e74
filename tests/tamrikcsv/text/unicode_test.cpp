// The UTF-8 check skips ASCII and common scalars in blocks; it must stop where checking scalar by scalar
// does, for the same reason.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tamrikcsv/text/detail/unicode.hpp"

namespace {

using namespace tamrikcsv::detail;

UTF8Check scalarByScalar(const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n;) {
    const int length = scalarLength(p + i, n - i);
    if (length <= 0) return {i, length == 0 ? UTF8Stop::invalid : UTF8Stop::truncated};
    i += static_cast<std::size_t>(length);
  }
  return {n, UTF8Stop::complete};
}

TEST(CheckUTF8, StopsWhereScalarByScalarChecking) {
  // Valid scalars of every length, the bounds on second bytes, and bad or cut sequences.
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
    const bool clean = i % 2 == 0;  // only valid pieces but for the last, so that checks go far
    for (auto pieces = rng() % 40; pieces > 0; --pieces) {
      const std::size_t valid = 10;
      text += kPieces[clean && pieces > 1 ? rng() % valid : rng() % std::size(kPieces)];
      if (rng() % 3 == 0) text += std::string(rng() % 70, 'x');
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const UTF8Check expected = scalarByScalar(p, text.size()), actual = checkUTF8(p, text.size());
    ASSERT_EQ(actual.valid, expected.valid) << i;
    ASSERT_EQ(actual.stop, expected.stop) << i;
  }
}

}  // namespace
