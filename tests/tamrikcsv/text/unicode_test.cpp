// The UTF-8 check skips ASCII and common scalars in blocks, with the vectors each processor has; it must
// stop where checking scalar by scalar does, for the same reason, with each.

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
  // Where scalar by scalar checking stops in `text`.
  auto expectedOf = [](const std::string& text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
      const int length = scalarLength(p + at, text.size() - at);
      if (length <= 0) return UTF8Check{at, length == 0 ? UTF8Stop::invalid : UTF8Stop::truncated};
      at += static_cast<std::size_t>(length);
    }
    return UTF8Check{text.size(), UTF8Stop::complete};
  };
  auto same = [](UTF8Check a, UTF8Check b) { return a.valid == b.valid && a.stop == b.stop; };
  std::vector<BlockCheck> checks{BlockCheck::none};
  if (widestBlockCheck() >= BlockCheck::ssse3) checks.push_back(BlockCheck::ssse3);
  if (widestBlockCheck() >= BlockCheck::avx2) checks.push_back(BlockCheck::avx2);
  auto check = [&](const std::string& text, BlockCheck blocks) {
    return checkUTF8(reinterpret_cast<const unsigned char*>(text.data()), text.size(), blocks);
  };
  // Every lead byte with every second byte, and the third bytes that matter, across a block's end, its
  // vectors' and its lanes' ends and within a block, before ASCII, another such pair, or the end.
  for (int lead = 0x80; lead < 0x100; ++lead)
    for (int second = 0; second < 0x100; ++second)
      for (const char* third : {"", "\x80", "\xBF\x80", "a", "\xC3\xA9"})
        for (std::size_t at : {15u, 31u, 47u, 61u, 62u, 63u, 100u}) {
          std::string text(at, 'x');
          text += {static_cast<char>(lead), static_cast<char>(second)};
          text += third;
          text += std::string(at == 100 ? 0 : 70, 'y');
          const UTF8Check expected = expectedOf(text);
          for (BlockCheck blocks : checks)
            ASSERT_TRUE(same(check(text, blocks), expected))
                << lead << " " << second << " " << third << " " << at << " " << static_cast<int>(blocks);
        }
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (auto pieces = rng() % 40; pieces > 0; --pieces) {
      // Half the texts are valid but for their last piece, so that the check goes far.
      text += kPieces[i % 2 == 0 && pieces > 1 ? rng() % 10 : rng() % std::size(kPieces)];
      if (rng() % 3 == 0) text += std::string(rng() % 70, 'x');
    }
    for (BlockCheck blocks : checks)
      ASSERT_TRUE(same(check(text, blocks), expectedOf(text)))
          << "text " << i << " " << static_cast<int>(blocks);
  }
}

}  // namespace
