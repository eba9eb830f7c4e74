#pragma once

// The text of numbers as the writer puts them in fields: integers, and doubles in the shortest plain form
// that reads back to the same value. Each writes at a pointer into room the caller has made, so that a
// number can be formatted straight into the output. Not part of the public interface.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tamrikcsv::detail {

/// "00" to "99", for writing two digits at a time.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

/// The eight decimal digits of `value` (below 10^8), leading zeros included, ending just before `end`; in
/// 32-bit arithmetic, four independent pairs.
inline void eightDigitsBefore(char* end, std::uint32_t value) noexcept {
  const std::uint32_t high = value / 10000, low = value % 10000;
  std::memcpy(end - 2, kDigitPairs + 2 * (low % 100), 2);
  std::memcpy(end - 4, kDigitPairs + 2 * (low / 100), 2);
  std::memcpy(end - 6, kDigitPairs + 2 * (high % 100), 2);
  std::memcpy(end - 8, kDigitPairs + 2 * (high / 100), 2);
}

/// The decimal digits of `value`, written backwards so that they end just before `end`; returns where
/// they start. For the per-field path: eight digits at a time in 32-bit arithmetic, two per table look-up.
inline char* decimalDigitsBefore(char* end, std::uint64_t value) noexcept {
  while (value >= 100000000) {
    eightDigitsBefore(end, static_cast<std::uint32_t>(value % 100000000));
    value /= 100000000;
    end -= 8;
  }
  auto rest = static_cast<std::uint32_t>(value);
  while (rest >= 100) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * (rest % 100), 2);
    rest /= 100;
  }
  if (rest >= 10) {
    end -= 2;
    std::memcpy(end, kDigitPairs + 2 * rest, 2);
  } else {
    *--end = static_cast<char>('0' + rest);
  }
  return end;
}

/// 10^n for n up to 19, every power of ten an unsigned 64-bit integer holds.
inline constexpr auto kPowersOfTen = [] {
  std::array<std::uint64_t, 20> powers{};
  std::uint64_t power = 1;
  for (auto& p : powers) p = power, power *= 10;
  return powers;
}();

/// The number of decimal digits of `value` (one for zero), from its bit width and one comparison.
inline int decimalDigitCount(std::uint64_t value) noexcept {
  value |= 1;  // zero has a digit too; no other count changes, as no power of ten above 1 is odd
  const int guess = (std::bit_width(value) * 1233) >> 12;  // floor(bits * log10(2)), at most one short
  return guess + (value >= kPowersOfTen[static_cast<std::size_t>(guess)]);
}

/// The decimal text of an integer, starting at `out` (room for 20 bytes); returns its end. Nothing is
/// written outside the text, so that `out` may point into the output itself.
///@{
inline char* writeInteger(char* out, std::uint64_t value) noexcept {
  char* const end = out + decimalDigitCount(value);
  decimalDigitsBefore(end, value);
  return end;
}
inline char* writeInteger(char* out, std::int64_t value) noexcept {
  // The sign is written always and kept only when negative: no branch to mispredict on random signs. The
  // magnitude as unsigned, so that the most negative value has one too.
  *out = '-';
  return writeInteger(out + (value < 0),
                      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
}
///@}

/// The shortest text that reads back to the same double, with ".0" on whole numbers, at `out` (room for 64
/// bytes), for the common case: a finite value from 1e-4 up to 2^53, in plain notation. Returns its end, or
/// null for any other value or a tie that only a general conversion settles (what it wrote then means
/// nothing).
char* writePlainDouble(char* out, double value) noexcept;

}  // namespace tamrikcsv::detail
