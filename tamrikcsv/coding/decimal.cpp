#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>

#include <charconv>
#include <cmath>
#include <limits>

#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrikcsv {

namespace {

constexpr std::size_t kMaxDigits = 38;
// Printing is plain notation, so the exponent bounds the length of the text a decimal prints to; a field
// such as "1e2000000000" must not turn into gigabytes when it is written back.
constexpr std::int64_t kMaxExponent = 1000;

bool isDigit(char c) noexcept {
  return c >= '0' && c <= '9';
}

std::string separatorText(char32_t separator) {
  std::string text;
  detail::appendUTF8(text, detail::isScalar(separator) ? separator : U'.');
  return text;
}

}  // namespace

Decimal Decimal::fromInteger(std::int64_t value) {
  // The magnitude in unsigned arithmetic, where negating INT64_MIN is defined.
  const auto magnitude =
      value < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  Decimal result;
  if (magnitude == 0) return result;
  char buffer[20] = {};
  auto end = std::to_chars(buffer, buffer + sizeof buffer, magnitude).ptr;
  while (end[-1] == '0') {
    --end;
    ++result.exponent_;
  }
  result.digits_.assign(buffer, end);
  result.negative_ = value < 0;
  return result;
}

std::optional<Decimal> Decimal::parse(std::string_view text, char32_t separator) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

  const std::size_t integerStart = i;
  while (i < text.size() && isDigit(text[i])) ++i;
  const std::string_view integerPart = text.substr(integerStart, i - integerStart);
  std::string_view fractionPart;
  if (detail::isScalar(separator)) {
    const std::string mark = separatorText(separator);
    if (text.substr(i).starts_with(mark)) {
      i += mark.size();
      const std::size_t fractionStart = i;
      while (i < text.size() && isDigit(text[i])) ++i;
      fractionPart = text.substr(fractionStart, i - fractionStart);
    }
  }
  if (integerPart.empty() && fractionPart.empty()) return std::nullopt;

  std::int64_t exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
    const std::size_t exponentStart = i;
    for (; i < text.size() && isDigit(text[i]); ++i) {
      // Saturates far beyond any exponent that is kept, so long digit runs cannot overflow.
      if (exponent < std::int64_t{1} << 40) exponent = exponent * 10 + (text[i] - '0');
    }
    if (i == exponentStart) return std::nullopt;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != text.size()) return std::nullopt;

  // Both parts read as one digit run whose last digit has the place 10^(exponent - fraction length).
  std::string digits;
  digits.reserve(integerPart.size() + fractionPart.size());
  digits.append(integerPart).append(fractionPart);
  exponent -= static_cast<std::int64_t>(fractionPart.size());
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) return Decimal();  // zero, whatever its sign and exponent
  const auto last = digits.find_last_not_of('0');
  exponent += static_cast<std::int64_t>(digits.size() - 1 - last);
  if (last - first + 1 > kMaxDigits || exponent < -kMaxExponent || exponent > kMaxExponent)
    return std::nullopt;

  Decimal result;
  result.negative_ = negative;
  result.digits_ = digits.substr(first, last - first + 1);
  result.exponent_ = static_cast<std::int32_t>(exponent);
  return result;
}

std::string Decimal::toString(char32_t separator) const {
  if (isZero()) return "0";
  std::string text = negative_ ? "-" : "";
  const auto length = static_cast<std::int64_t>(digits_.size());
  if (exponent_ >= 0) {
    text.append(digits_).append(static_cast<std::size_t>(exponent_), '0');
    return text;
  }
  // Count of digits before the separator; zero or less when the number is below one.
  const std::int64_t integerDigits = length + exponent_;
  if (integerDigits > 0) {
    text.append(digits_, 0, static_cast<std::size_t>(integerDigits));
    text.append(separatorText(separator));
    text.append(digits_, static_cast<std::size_t>(integerDigits));
  } else {
    text.append("0").append(separatorText(separator));
    text.append(static_cast<std::size_t>(-integerDigits), '0').append(digits_);
  }
  return text;
}

double Decimal::toDouble() const {
  if (isZero()) return 0.0;
  // Integer digits and an exponent: std::from_chars rounds this to the nearest double.
  std::string text = digits_ + 'e' + std::to_string(exponent_);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Past the largest finite double, or below half the smallest subnormal.
    const bool large = exponent_ + static_cast<std::int64_t>(digits_.size()) > 0;
    value = large ? std::numeric_limits<double>::infinity() : 0.0;
  }
  return negative_ ? -value : value;
}

std::strong_ordering operator<=>(const Decimal& a, const Decimal& b) {
  const int signA = a.isZero() ? 0 : a.negative_ ? -1 : 1;
  const int signB = b.isZero() ? 0 : b.negative_ ? -1 : 1;
  if (signA != signB || signA == 0) return signA <=> signB;
  // Same sign, both non-zero: the place of the leading digit decides, then the digits themselves, which
  // compare as text because neither run has trailing zeros.
  const std::int64_t leadA = std::int64_t{a.exponent_} + static_cast<std::int64_t>(a.digits_.size());
  const std::int64_t leadB = std::int64_t{b.exponent_} + static_cast<std::int64_t>(b.digits_.size());
  std::strong_ordering magnitude = leadA <=> leadB;
  if (magnitude == 0) magnitude = a.digits_.compare(b.digits_) <=> 0;
  return signA > 0 ? magnitude : 0 <=> magnitude;
}

std::string Locale::description() const {
  const icu::Locale locale(identifier_.c_str());
  return locale.isBogus() ? identifier_ : std::string(locale.getName());
}

char32_t Locale::decimalSeparator() const {
  UErrorCode status = U_ZERO_ERROR;
  const icu::DecimalFormatSymbols symbols(icu::Locale(identifier_.c_str()), status);
  if (U_FAILURE(status)) return U'.';
  const icu::UnicodeString symbol = symbols.getSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol);
  if (symbol.isEmpty()) return U'.';
  const auto scalar = static_cast<char32_t>(symbol.char32At(0));
  return detail::isScalar(scalar) ? scalar : U'.';
}

}  // namespace tamrikcsv
