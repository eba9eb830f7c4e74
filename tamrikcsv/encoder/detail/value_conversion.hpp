#pragma once

// Value to field text under the encoder's built-in strategies. Each conversion appends to `out`; those that
// can refuse a value throw `EncodingError` (`invalidValue`) with an empty path, which the caller fills in.
// Not part of the public interface.

#include <string>

#include "tamrikcsv/coding/encoding_error.hpp"
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/encoder/encoding_strategies.hpp"
#include "tamrikcsv/writer/detail/number_text.hpp"

namespace tamrikcsv::detail {

/// The shortest text that reads back to the same value of that type, with ".0" on whole numbers (1.0,
/// 0.1, 1e-05, 1e+16); infinities and NaN only as the non-conforming strategy allows.
void appendFloat(std::string& out, float value, const Strategy::NonConformingFloat& strategy);
void appendDouble(std::string& out, double value, const Strategy::NonConformingFloat& strategy);

/// For the date strategies that make the text directly: the date's own form (seconds since 2001),
/// seconds and milliseconds since 1970, ISO 8601 and formatted.
void appendDate(std::string& out, Date date, const Strategy::DateEncoding& strategy,
                const Strategy::NonConformingFloat& floats);

}  // namespace tamrikcsv::detail
