#include "tamrikcsv/encoder/detail/value_conversion.hpp"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <type_traits>

namespace tamrikcsv::detail {
namespace {

template <class F>
void appendFloating(std::string& out, F value, const Strategy::NonConformingFloat& strategy) {
  if (!std::isfinite(value)) {
    if (strategy.kind() == Strategy::NonConformingFloat::Kind::throws)
      throw EncodingError::invalidValue(value, {}, "The value is a non-conformant floating-point.");
    out += std::isnan(value) ? strategy.nan()
           : value > 0       ? strategy.positiveInfinity()
                             : strategy.negativeInfinity();
    return;
  }
  // Plain notation while it is exact and short: from a ten-thousandth up to the largest whole numbers the
  // type counts without gaps; an exponent beyond. Either way the fewest digits that read back.
  constexpr F kLargest = std::is_same_v<F, float> ? F(16777216) : F(9007199254740992.0);
  const F magnitude = std::fabs(value);
  const bool plain = magnitude == 0 || (magnitude >= F(1e-4) && magnitude < kLargest);
  char buffer[64];
  if constexpr (std::is_same_v<F, double>) {
    if (char* end = writePlainDouble(buffer, value)) return out.append(buffer, end), void();
  }
  auto end = std::to_chars(buffer, buffer + sizeof buffer, value,
                           plain ? std::chars_format::fixed : std::chars_format::scientific)
                 .ptr;
  std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  out += text;
  // A whole number reads as an integer without its ".0"; the shortest form keeps the type visible. The
  // scientific form always has its "e".
  if (plain && text.find('.') == std::string_view::npos) out += ".0";
}

}  // namespace

void appendFloat(std::string& out, float value, const Strategy::NonConformingFloat& strategy) {
  appendFloating(out, value, strategy);
}
void appendDouble(std::string& out, double value, const Strategy::NonConformingFloat& strategy) {
  appendFloating(out, value, strategy);
}

void appendDate(std::string& out, Date date, const Strategy::DateEncoding& strategy,
                const Strategy::NonConformingFloat& floats) {
  using Kind = Strategy::DateEncoding::Kind;
  const double seconds = secondsSince1970(date);
  auto formatted = [&](const DateFormatter& formatter) {
    try {
      out += formatter.format(date);
    } catch (const std::invalid_argument& error) {
      throw EncodingError::invalidValue(date, {},
                                        std::string("The date couldn't be formatted: ") + error.what() + ".",
                                        std::current_exception());
    }
  };
  switch (strategy.kind()) {
    case Kind::secondsSince1970:
      return appendDouble(out, seconds, floats);
    case Kind::millisecondsSince1970:
      return appendDouble(out, seconds * 1000.0, floats);
    case Kind::iso8601:
      return formatted(iso8601Formatter());
    case Kind::formatted:
      if (!strategy.formatter())
        throw EncodingError::invalidValue(date, {}, "The '.formatted' date strategy has no date formatter.");
      return formatted(*strategy.formatter());
    case Kind::deferredToDate:
    case Kind::custom:
      break;
  }
  appendDouble(out, seconds - kReferenceDateSince1970, floats);
}

}  // namespace tamrikcsv::detail
