#pragma once

// Value to field text under the encoder's built-in strategies. Each conversion appends to `out`; those that
// can refuse a value throw `EncodingError` (`invalidValue`) with an empty path, which the caller fills in.
// Not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <string>

#include "tamrikcsv/coding/encoding_error.hpp"
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/encoder/encoding_strategies.hpp"

namespace tamrikcsv::detail {

/// The decimal digits of `value`, written backwards so that they end just before `end`; returns where
/// they start. Two digits per step from a table, for the per-field path.
inline char* decimalDigitsBefore(char* end, std::uint64_t value) noexcept {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100) * 2;
    value /= 100;
    *--end = kPairs[pair + 1];
    *--end = kPairs[pair];
  }
  if (value >= 10) {
    const auto pair = static_cast<std::size_t>(value) * 2;
    *--end = kPairs[pair + 1];
    *--end = kPairs[pair];
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

/// The decimal form: a leading "-" for negatives, no "+", no grouping.
void appendInteger(std::string& out, std::int64_t value);
void appendInteger(std::string& out, std::uint64_t value);

/// The shortest text that reads back to the same value of that type, with ".0" on whole numbers (1.0,
/// 0.1, 1e-05, 1e+16); infinities and NaN only as the non-conforming strategy allows.
void appendFloat(std::string& out, float value, const Strategy::NonConformingFloat& strategy);
void appendDouble(std::string& out, double value, const Strategy::NonConformingFloat& strategy);

/// For the date strategies that make the text directly: the date's own form (seconds since 2001),
/// seconds and milliseconds since 1970, ISO 8601 and formatted.
void appendDate(std::string& out, Date date, const Strategy::DateEncoding& strategy,
                const Strategy::NonConformingFloat& floats);

}  // namespace tamrikcsv::detail
