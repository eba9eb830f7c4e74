#include "tamrikcsv/text/detail/unicode.hpp"

#include <cstdio>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tamrikcsv::detail {

void appendUTF8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    char b[2] = {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
    out.append(b, 2);
  } else if (c < 0x10000) {
    char b[3] = {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))};
    out.append(b, 3);
  } else {
    char b[4] = {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                 static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    out.append(b, 4);
  }
}

std::string toUTF8(std::u32string_view scalars) {
  std::string out;
  out.reserve(scalars.size());
  for (char32_t c : scalars) appendUTF8(out, c);
  return out;
}

std::optional<std::u32string> toScalars(std::string_view utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  if (checkUTF8(p, utf8.size()).stop != UTF8Stop::complete) return std::nullopt;
  std::u32string out;
  for (const char* q = utf8.data(); q != utf8.data() + utf8.size();
       q += sequenceLength(static_cast<unsigned char>(*q)))
    out.push_back(decodeValid(q));
  return out;
}

char32_t decodeValid(const char* p) noexcept {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  switch (sequenceLength(u[0])) {
    case 1:
      return u[0];
    case 2:
      return (char32_t{u[0] & 0x1Fu} << 6) | (u[1] & 0x3Fu);
    case 3:
      return (char32_t{u[0] & 0x0Fu} << 12) | (char32_t{u[1] & 0x3Fu} << 6) | (u[2] & 0x3Fu);
    default:
      return (char32_t{u[0] & 0x07u} << 18) | (char32_t{u[1] & 0x3Fu} << 12) | (char32_t{u[2] & 0x3Fu} << 6) |
             (u[3] & 0x3Fu);
  }
}

const char* lastScalarStart(const char* begin, const char* end) noexcept {
  const char* p = end - 1;
  while (p > begin && (static_cast<unsigned char>(*p) & 0xC0) == 0x80) --p;
  return p;
}

UTF8Check checkUTF8(const unsigned char* p, std::size_t n) noexcept {
  std::size_t i = 0;
#ifdef __SSE2__
  // 64 bytes at a time: most CSV text is ASCII, and the rest comes in short runs (names, accents), which
  // are validated scalar by scalar from the first of their bytes that the block's mask shows, without
  // leaving the block. Takes a third off the instructions of validating the places file, against going
  // 16 bytes at a time and back at every scalar that is not ASCII.
  while (i + 64 <= n) {
    __m128i v[4];
    for (int k = 0; k < 4; ++k) v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(v[0], v[1]), _mm_or_si128(v[2], v[3]))) == 0) {
      i += 64;
      continue;
    }
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k)
      mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v[k]))) << (16 * k);
    const std::size_t block = i;
    i += 64;
    while (mask != 0) {
      std::size_t j = block + static_cast<std::size_t>(__builtin_ctzll(mask));
      do {
        // Most of them are two or three bytes long, with a lead byte that puts no bounds on the second.
        const unsigned char lead = p[j];
        if (lead >= 0xC2 && lead <= 0xDF && n - j >= 2 && (p[j + 1] & 0xC0) == 0x80) {
          j += 2;
          continue;
        }
        if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && n - j >= 3 && (p[j + 1] & 0xC0) == 0x80 &&
            (p[j + 2] & 0xC0) == 0x80) {
          j += 3;
          continue;
        }
        const int length = scalarLength(p + j, n - j);
        if (length <= 0) return {j, length == 0 ? UTF8Stop::invalid : UTF8Stop::truncated};
        j += static_cast<std::size_t>(length);
      } while (j < n && p[j] >= 0x80);
      if (j >= i) {  // the run went on past the block
        i = j;
        break;
      }
      mask &= ~std::uint64_t{0} << (j - block);
    }
  }
#endif
  while (i < n) {
#ifdef __SSE2__
    while (i + 16 <= n) {
      int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)));
      if (mask != 0) {
        i += static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        break;
      }
      i += 16;
    }
#endif
    while (i + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      if (w & 0x8080808080808080ULL) break;
      i += 8;
    }
    if (i == n) break;
    const int length = scalarLength(p + i, n - i);
    if (length <= 0) return {i, length == 0 ? UTF8Stop::invalid : UTF8Stop::truncated};
    i += static_cast<std::size_t>(length);
  }
  return {n, UTF8Stop::complete};
}

std::string quoted(std::u32string_view scalars) {
  std::string out = "\"";
  for (char32_t c : scalars) {
    switch (c) {
      case U'\n':
        out += "\\n";
        break;
      case U'\r':
        out += "\\r";
        break;
      case U'\t':
        out += "\\t";
        break;
      case U'"':
        out += "\\\"";
        break;
      case U'\\':
        out += "\\\\";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[16];
          std::snprintf(buf, sizeof buf, "\\u{%X}", static_cast<unsigned>(c));
          out += buf;
        } else {
          appendUTF8(out, c);
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace tamrikcsv::detail
