#include "tamrikcsv/text/detail/unicode.hpp"

#include <cstdio>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define TAMRIK_BLOCK_CHECKS 1
#endif

namespace tamrikcsv::detail {

namespace {

#ifdef TAMRIK_BLOCK_CHECKS
// Validating 64 bytes with a few table lookups, where SSSE3 has them, without a branch per scalar: the places
// file, with a scalar that is not ASCII in two blocks out of five, reads 6 to 8% faster (medians of 15
// interleaved runs) than when each of those is validated in turn, whose branches mispredict. Each pair of
// bytes looks up the classes of error it may belong to by the first byte's high and low nibbles and the
// second byte's high nibble, and is bad where a class is in all three; a continuation after a continuation is
// good only as a third or fourth byte.
constexpr char kTooShort = 1 << 0;      // a lead byte, then no continuation
constexpr char kTooLong = 1 << 1;       // ASCII, then a continuation
constexpr char kOverlong3 = 1 << 2;     // E0, then 80..9F
constexpr char kTooLarge = 1 << 3;      // F4..FF, then 90..BF
constexpr char kSurrogate = 1 << 4;     // ED, then A0..BF
constexpr char kOverlong2 = 1 << 5;     // C0 or C1, then a continuation
constexpr char kTooLarge1000 = 1 << 6;  // F5..FF, then 80..8F
constexpr char kOverlong4 = 1 << 6;     // F0, then 80..8F
constexpr char kTwoConts = static_cast<char>(1 << 7);
constexpr char kCarry = kTooShort | kTooLong | kTwoConts;  // whatever the first byte's low nibble
constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
constexpr char kCont = kTooLong | kOverlong2 | kTwoConts;
// The classes by the first byte's high nibble, its low nibble, and the second byte's high nibble.
alignas(16) constexpr char kByte1High[16] = {kTooLong,
                                             kTooLong,
                                             kTooLong,
                                             kTooLong,
                                             kTooLong,
                                             kTooLong,
                                             kTooLong,
                                             kTooLong,
                                             kTwoConts,
                                             kTwoConts,
                                             kTwoConts,
                                             kTwoConts,
                                             kTooShort | kOverlong2,
                                             kTooShort,
                                             kTooShort | kOverlong3 | kSurrogate,
                                             kTooShort | kTooLarge | kTooLarge1000 | kOverlong4};
alignas(16) constexpr char kByte1Low[16] = {kCarry | kOverlong3 | kOverlong2 | kOverlong4,
                                            kCarry | kOverlong2,
                                            kCarry,
                                            kCarry,
                                            kCarry | kTooLarge,
                                            kLarge,
                                            kLarge,
                                            kLarge,
                                            kLarge,
                                            kLarge,
                                            kLarge,
                                            kLarge,
                                            kLarge,
                                            kLarge | kSurrogate,
                                            kLarge,
                                            kLarge};
alignas(16) constexpr char kByte2High[16] = {kTooShort,
                                             kTooShort,
                                             kTooShort,
                                             kTooShort,
                                             kTooShort,
                                             kTooShort,
                                             kTooShort,
                                             kTooShort,
                                             kCont | kOverlong3 | kTooLarge1000 | kOverlong4,
                                             kCont | kOverlong3 | kTooLarge,
                                             kCont | kSurrogate | kTooLarge,
                                             kCont | kSurrogate | kTooLarge,
                                             kTooShort,
                                             kTooShort,
                                             kTooShort,
                                             kTooShort};

[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i table(const char (&entries)[16]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(entries));
}
[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i highNibbles(__m128i v) {
  return _mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(0x0F));
}

// The bytes of `v`, which follows `prev`, that are not where valid UTF-8 puts them: zero when all are.
[[gnu::target("ssse3"), gnu::always_inline]] inline __m128i errors(__m128i v, __m128i prev) {
  const __m128i prev1 = _mm_alignr_epi8(v, prev, 15);
  const __m128i special = _mm_and_si128(
      _mm_and_si128(_mm_shuffle_epi8(table(kByte1High), highNibbles(prev1)),
                    _mm_shuffle_epi8(table(kByte1Low), _mm_and_si128(prev1, _mm_set1_epi8(0x0F)))),
      _mm_shuffle_epi8(table(kByte2High), highNibbles(v)));
  // Third and fourth bytes: two and three after a lead of three and four bytes.
  const __m128i third =
      _mm_subs_epu8(_mm_alignr_epi8(v, prev, 14), _mm_set1_epi8(static_cast<char>(0xE0 - 0x80)));
  const __m128i fourth =
      _mm_subs_epu8(_mm_alignr_epi8(v, prev, 13), _mm_set1_epi8(static_cast<char>(0xF0 - 0x80)));
  const __m128i must = _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(kTwoConts));
  return _mm_xor_si128(must, special);
}

// Back from `i` to the lead of a sequence that the blocks' end cuts, whose bytes after it are not checked
// yet.
std::size_t beforeCut(const unsigned char* p, std::size_t i) {
  for (std::size_t m = i >= 3 ? i - 3 : 0; m < i; ++m)
    if (p[m] >= 0xC0 && m + sequenceLength(p[m]) > i) return m;
  return i;
}

// How many of the n bytes at p are whole 64-byte blocks of valid UTF-8, less any sequence that the last of
// them cuts: where checking goes on scalar by scalar, to find the first error, or to the end.
[[gnu::target("ssse3")]] std::size_t validBlocks(const unsigned char* p, std::size_t n) {
  const __m128i zero = _mm_setzero_si128();
  // Lead bytes in a vector's last three bytes that start a sequence longer than the bytes left.
  const __m128i cutAt =
      _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, static_cast<char>(0xF0 - 1),
                    static_cast<char>(0xE0 - 1), static_cast<char>(0xC0 - 1));
  __m128i prev = zero, cut = zero;
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    __m128i v[4];
    for (int k = 0; k < 4; ++k) v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k));
    const __m128i any = _mm_or_si128(_mm_or_si128(v[0], v[1]), _mm_or_si128(v[2], v[3]));
    __m128i error = cut;  // ASCII after a cut sequence
    if (_mm_movemask_epi8(any) != 0)
      error = _mm_or_si128(_mm_or_si128(errors(v[0], prev), errors(v[1], v[0])),
                           _mm_or_si128(errors(v[2], v[1]), errors(v[3], v[2])));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(error, zero)) != 0xFFFF) break;
    prev = v[3];
    cut = _mm_subs_epu8(prev, cutAt);
  }
  return beforeCut(p, i);
}

// The same 32 bytes at a time, where AVX2 has it, and without a branch on whether a block is ASCII, which
// mispredicts in text like the places file's: its blocks are checked in 40% less time (a 64 KiB buffer just
// filled, as read from a file) than with SSSE3.
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i table32(const char (&entries)[16]) {
  return _mm256_broadcastsi128_si256(table(entries));
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i highNibbles32(__m256i v) {
  return _mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(0x0F));
}
[[gnu::target("avx2"), gnu::always_inline]] inline __m256i errors32(__m256i v, __m256i prev) {
  // The 16 bytes before each lane of `v`: prev's high lane, then v's low lane.
  const __m256i before = _mm256_permute2x128_si256(prev, v, 0x21);
  const __m256i prev1 = _mm256_alignr_epi8(v, before, 15);
  const __m256i special = _mm256_and_si256(
      _mm256_and_si256(
          _mm256_shuffle_epi8(table32(kByte1High), highNibbles32(prev1)),
          _mm256_shuffle_epi8(table32(kByte1Low), _mm256_and_si256(prev1, _mm256_set1_epi8(0x0F)))),
      _mm256_shuffle_epi8(table32(kByte2High), highNibbles32(v)));
  const __m256i third =
      _mm256_subs_epu8(_mm256_alignr_epi8(v, before, 14), _mm256_set1_epi8(static_cast<char>(0xE0 - 0x80)));
  const __m256i fourth =
      _mm256_subs_epu8(_mm256_alignr_epi8(v, before, 13), _mm256_set1_epi8(static_cast<char>(0xF0 - 0x80)));
  const __m256i must = _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(kTwoConts));
  return _mm256_xor_si256(must, special);
}
[[gnu::target("avx2")]] std::size_t validBlocks32(const unsigned char* p, std::size_t n) {
  __m256i prev = _mm256_setzero_si256();
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
    const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + 32));
    const __m256i error = _mm256_or_si256(errors32(v0, prev), errors32(v1, v0));
    if (!_mm256_testz_si256(error, error)) break;
    prev = v1;
  }
  return beforeCut(p, i);
}

BlockCheck widest() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) return BlockCheck::avx2;
  if (__builtin_cpu_supports("ssse3")) return BlockCheck::ssse3;
  return BlockCheck::none;
}
#endif

}  // namespace

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

BlockCheck widestBlockCheck() noexcept {
#ifdef TAMRIK_BLOCK_CHECKS
  static const BlockCheck check = widest();
  return check;
#else
  return BlockCheck::none;
#endif
}

UTF8Check checkUTF8(const unsigned char* p, std::size_t n) noexcept {
  return checkUTF8(p, n, widestBlockCheck());
}

UTF8Check checkUTF8(const unsigned char* p, std::size_t n, BlockCheck blocks) noexcept {
  std::size_t i = 0;
#ifdef TAMRIK_BLOCK_CHECKS
  if (blocks == BlockCheck::avx2) i = validBlocks32(p, n);
  if (blocks == BlockCheck::ssse3) i = validBlocks(p, n);
#else
  (void)blocks;
#endif
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
