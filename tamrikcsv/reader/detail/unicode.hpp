#pragma once

// UTF-8 helpers shared by the reader's parts. Not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamrikcsv::detail {

inline bool isScalar(char32_t c) noexcept {
  return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF);
}

/// Appends the UTF-8 form of a valid scalar.
void appendUTF8(std::string& out, char32_t scalar);
std::string toUTF8(std::u32string_view scalars);
/// The scalars of a UTF-8 text, or nothing when it is not valid UTF-8.
std::optional<std::u32string> toScalars(std::string_view utf8);

/// Length of the sequence a valid UTF-8 lead byte starts.
inline std::size_t sequenceLength(unsigned char lead) noexcept {
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}
/// The scalar of a valid UTF-8 sequence.
char32_t decodeValid(const char* p) noexcept;
/// Start of the last scalar of the valid UTF-8 text [begin, end), which must not be empty.
const char* lastScalarStart(const char* begin, const char* end) noexcept;

enum class UTF8Stop { complete, truncated, invalid };
struct UTF8Check {
  std::size_t valid;  ///< length of the longest valid prefix made of whole scalars
  UTF8Stop stop;      ///< why the prefix ends: the end of the bytes, a sequence cut short by it, or bad bytes
};
/// Validates UTF-8, fast over ASCII runs.
UTF8Check checkUTF8(const unsigned char* p, std::size_t n) noexcept;

/// A scalar sequence in double quotes with control characters escaped, for messages: "\r\n".
std::string quoted(std::u32string_view scalars);

}  // namespace tamrikcsv::detail
