#include "tamrikcsv/writer/detail/number_text.hpp"

#include <algorithm>
#include <cmath>

namespace tamrikcsv::detail {
namespace {

__extension__ typedef unsigned __int128 Wide;  // exact products of a mantissa and a power of five

// 5^k for k up to 22.
constexpr auto kPowersOfFive = [] {
  std::array<std::uint64_t, 23> powers{};
  std::uint64_t power = 1;
  for (auto& p : powers) p = power, power *= 5;
  return powers;
}();

// The shortest plain text of a positive normal double below 2^53, written at `out`, in a fraction of the
// generic conversion's time; the same text. Every value and bound is an exact integer: the value times
// 10^k, for the k that gives it 17 digits, and the ends of the interval of decimals that read back to it.
// Digits are dropped while a decimal with fewer of them lies in the interval; of those, the one nearest
// the value is taken. Null, with nothing written, where two are equally near: the generic conversion
// settles it.
char* shortestPlain(char* out, double magnitude) {
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  if (biased == 0) return nullptr;
  const int binaryExponent = biased - 1023;
  const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
  // magnitude == mantissa * 2^(binaryExponent - 52), and 10^decimalExponent <= magnitude.
  const int decimalExponent = (binaryExponent * 78913) >> 18;  // floor(binaryExponent * log10(2))
  const int k = 16 - decimalExponent;                          // magnitude * 10^k lies in [10^16, 2 * 10^17)
  const int shift = 54 - binaryExponent - k;
  if (k < 0 || k >= static_cast<int>(kPowersOfFive.size()) || shift < 1 || shift > 64) return nullptr;
  // In units of 2^-64 (scaled up from 2^-shift, so that whole parts and fractions are the two words):
  // four times magnitude * 10^k, and the ends of its interval half a gap to the next double away (a
  // quarter below a power of two, where the gap below is half as wide). Each whole part is below 2^64.
  const int up = 64 - shift;
  const Wide five = static_cast<Wide>(kPowersOfFive[static_cast<std::size_t>(k)]) << up;
  const Wide center = (static_cast<Wide>(mantissa) * kPowersOfFive[static_cast<std::size_t>(k)]) << (2 + up);
  const Wide upper = center + 2 * five;
  const Wide lower = center - (mantissa == (std::uint64_t{1} << 52) && biased > 1 ? five : 2 * five);
  const bool endsReadBack = (mantissa & 1) == 0;  // a tie between two doubles goes to the even one
  auto floorOf = [](Wide x) { return static_cast<std::uint64_t>(x >> 64); };
  auto fractionOf = [](Wide x) { return static_cast<std::uint64_t>(x); };
  std::uint64_t high = floorOf(upper);
  if (!endsReadBack && fractionOf(upper) == 0) --high;
  std::uint64_t low = floorOf(lower) + (fractionOf(lower) == 0 && endsReadBack ? 0 : 1);
  std::uint64_t value = floorOf(center);
  const std::uint64_t rest = fractionOf(center), half = std::uint64_t{1} << 63;
  if (low > high) return nullptr;
  int dropped = 0;
  unsigned lastDropped = 0;
  bool zerosBelow = rest == 0;  // below the last dropped digit, or below `value` when none was dropped
  while (high / 10 >= (low + 9) / 10) {
    zerosBelow = zerosBelow && lastDropped == 0;
    lastDropped = static_cast<unsigned>(value % 10);
    value /= 10, high /= 10, low = (low + 9) / 10;
    ++dropped;
  }
  const bool tie = dropped == 0 ? rest == half : lastDropped == 5 && zerosBelow;
  if (tie) return nullptr;
  value += dropped == 0 ? rest > half : lastDropped >= 5;
  value = std::clamp(value, low, high);

  // The count of digits and the point's place decide the layout: a whole number, a whole part and a
  // fraction, or a fraction alone.
  const int length = decimalDigitCount(value);
  const int fraction = k - dropped;  // digits after the point
  if (fraction <= 0) {
    decimalDigitsBefore(out + length, value);
    out = std::fill_n(out + length, -fraction, '0');
    *out++ = '.';
    *out++ = '0';
    return out;
  }
  if (length > fraction) {
    // Every digit at once, with leading zeros, before `digitsEnd`: the value is below 2 * 10^17, so 18
    // places hold it. Then the whole part, the point and the fraction, each moved as one block of 32
    // bytes: no step depends on how many digits there are, which the processor could not foresee.
    char digits[64];
    char* const digitsEnd = digits + 24;
    std::uint64_t left = value;
    eightDigitsBefore(digitsEnd, static_cast<std::uint32_t>(left % 100000000));
    left /= 100000000;
    eightDigitsBefore(digitsEnd - 8, static_cast<std::uint32_t>(left % 100000000));
    left /= 100000000;
    std::memcpy(digitsEnd - 18, kDigitPairs + 2 * left, 2);
    const char* const first = digitsEnd - length;
    const int whole = length - fraction;
    std::memcpy(out, first, 32);
    out[whole] = '.';
    std::memcpy(out + whole + 1, first + whole, 32);
    return out + length + 1;
  }
  *out++ = '0';
  *out++ = '.';
  out = std::fill_n(out, fraction - length, '0');
  decimalDigitsBefore(out + length, value);
  return out + length;
}

}  // namespace

char* writePlainDouble(char* out, double value) noexcept {
  const double magnitude = std::fabs(value);
  // Not NaN, not zero, and in the plain range: from a ten-thousandth up to the largest whole numbers a
  // double counts without gaps.
  if (!(magnitude >= 1e-4 && magnitude < 9007199254740992.0)) return nullptr;
  *out = '-';  // kept only for a negative value: a sign that varies at random costs no misprediction
  return shortestPlain(out + (value < 0), magnitude);
}

}  // namespace tamrikcsv::detail
