#pragma once

// Field text to value under the decoder's built-in strategies. Each conversion raises `DecodingError` with
// the given path when the text is not a value of the requested type. Not part of the public interface.

#include <cstdint>
#include <string_view>
#include <type_traits>

#include "tamrikcsv/coding/decoding_error.hpp"
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/decoder/decoding_strategies.hpp"
#include "tamrikcsv/text/coding_key.hpp"

namespace tamrikcsv::detail {

/// The name a type mismatch gives the requested type.
template <class T>
constexpr std::string_view typeName() {
  if constexpr (std::is_same_v<T, bool>)
    return "Bool";
  else if constexpr (std::is_same_v<T, float>)
    return "Float";
  else if constexpr (std::is_same_v<T, double>)
    return "Double";
  else if constexpr (std::is_same_v<T, long long>)
    return "Int";  // the 64-bit word, distinct from int64_t here
  else if constexpr (std::is_same_v<T, unsigned long long>)
    return "UInt";
  else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
    return sizeof(T) == 1 ? "Int8" : sizeof(T) == 2 ? "Int16" : sizeof(T) == 4 ? "Int32" : "Int64";
  else if constexpr (std::is_integral_v<T>)
    return sizeof(T) == 1 ? "UInt8" : sizeof(T) == 2 ? "UInt16" : sizeof(T) == 4 ? "UInt32" : "UInt64";
  else
    return "URL";
}

/// For the built-in boolean strategies (not `custom`).
bool decodeBool(std::string_view text, Strategy::BoolDecoding::Kind strategy, const CodingPath& path);

/// An optional sign and decimal digits, the whole text, within the type's range.
template <class Int>
Int decodeInteger(std::string_view text, const CodingPath& path);

/// A C-locale number (decimal or hexadecimal), the whole text; infinities and NaN only as the
/// non-conforming strategy allows.
double decodeDouble(std::string_view text, const Strategy::NonConformingFloat& strategy,
                    const CodingPath& path);
float decodeFloat(std::string_view text, const Strategy::NonConformingFloat& strategy,
                  const CodingPath& path);

/// With the locale's decimal separator, or "." without a locale.
Decimal decodeDecimal(std::string_view text, const std::optional<Locale>& locale, const CodingPath& path);

/// For the date strategies that read the text directly: seconds and milliseconds since 1970, ISO 8601,
/// formatted, and the date's own reading (seconds since 2001).
Date decodeDate(std::string_view text, const Strategy::DateDecoding& strategy,
                const Strategy::NonConformingFloat& floats, const CodingPath& path);

Data decodeBase64(std::string_view text, const CodingPath& path);
URL decodeURL(std::string_view text, const CodingPath& path);

}  // namespace tamrikcsv::detail
