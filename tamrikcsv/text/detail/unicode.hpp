#pragma once

// UTF-8 helpers shared by the library's parts. Not part of the public interface.

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

/// The length of the valid UTF-8 scalar that starts [p, p + available), `available` being at least 1: its
/// byte count; 0 when its bytes are bad; -1 when they are fine but end before it does.
inline int scalarLength(const unsigned char* p, std::size_t available) noexcept {
  const unsigned char b = p[0];
  if (b < 0x80) return 1;
  int length;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  for (int k = 1; k < length; ++k) {
    if (static_cast<std::size_t>(k) == available) return -1;
    const unsigned char c = p[k];
    if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80) return 0;
  }
  return length;
}

enum class UTF8Stop { complete, truncated, invalid };
struct UTF8Check {
  std::size_t valid;  ///< length of the longest valid prefix made of whole scalars
  UTF8Stop stop;      ///< why the prefix ends: the end of the bytes, a sequence cut short by it, or bad bytes
};
/// Validates UTF-8, fast over ASCII runs.
UTF8Check checkUTF8(const unsigned char* p, std::size_t n) noexcept;
/// How `checkUTF8` checks 64 bytes at a time before going scalar by scalar: with the widest vectors that
/// the processor has, chosen once.
enum class BlockCheck { none, ssse3, avx2 };
BlockCheck widestBlockCheck() noexcept;
/// `checkUTF8` with `blocks`, which must be at most the widest: for tests of each.
UTF8Check checkUTF8(const unsigned char* p, std::size_t n, BlockCheck blocks) noexcept;

/// A scalar sequence in double quotes with control characters escaped, for messages: "\r\n".
std::string quoted(std::u32string_view scalars);

}  // namespace tamrikcsv::detail
