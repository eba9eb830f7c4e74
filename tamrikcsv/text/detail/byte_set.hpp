#pragma once

// A small set of bytes and a fast search for the first of them, shared by the reader and the writer to
// skip runs of bytes that need no attention. Not part of the public interface.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace tamrikcsv::detail {

class ByteSet {
 public:
  void insert(unsigned char b) {
    if (contains_[b]) return;
    contains_[b] = true;
    members_.push_back(static_cast<char>(b));
#ifdef __SSE2__
    for (std::size_t k = 0; k < 4; ++k)
      needles_[k] = _mm_set1_epi8(members_[std::min(k, members_.size() - 1)]);
#endif
  }
  /// The number of members.
  std::size_t size() const noexcept {
    return members_.size();
  }
  bool contains(char c) const noexcept {
    return contains_[static_cast<unsigned char>(c)];
  }

  /// The first byte of [p, end) in the set, or `end`.
  [[gnu::always_inline]] const char* find(const char* p, const char* end) const noexcept {
#ifdef __SSE2__
    if (!members_.empty() && members_.size() <= 4) {
      while (end - p >= 16) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, needles_[0]), _mm_cmpeq_epi8(v, needles_[1])),
                         _mm_or_si128(_mm_cmpeq_epi8(v, needles_[2]), _mm_cmpeq_epi8(v, needles_[3])));
        if (int mask = _mm_movemask_epi8(hits)) return p + __builtin_ctz(static_cast<unsigned>(mask));
        p += 16;
      }
    }
#endif
    while (p != end && !contains(*p)) ++p;
    return p;
  }

  /// The bytes of [p, p + 64) in the set, as bits: bit k for p[k]. The set must have 1 to N members, N up
  /// to 4: a bound known where it is called spares looking at the set's size for every 64 bytes.
  template <std::size_t N>
  [[gnu::always_inline]] std::uint64_t mask64Of(const char* p) const noexcept {
    static_assert(N >= 1 && N <= 4);
#ifdef __SSE2__
    // Unused needles repeat the last member.
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
      __m128i hits = _mm_cmpeq_epi8(v, needles_[0]);
      for (std::size_t m = 1; m < N; ++m) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, needles_[m]));
      mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hits))) << (16 * k);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int k = 0; k < 64; ++k) mask |= static_cast<std::uint64_t>(contains(p[k])) << k;
    return mask;
#endif
  }

 private:
  std::array<bool, 256> contains_{};
  std::vector<char> members_;
#ifdef __SSE2__
  __m128i needles_[4];
#endif
};

}  // namespace tamrikcsv::detail
