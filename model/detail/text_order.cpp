#include "model/detail/text_order.hpp"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tamrik::detail {
namespace {

// Scalars below U+0300 neither combine nor decompose under canonical composition, so text made of them
// only is composed already. In UTF-8 they are the bytes below 0xCC.
bool isBelowCombiningMarks(std::string_view text) noexcept {
  // Eight bytes at a time, most texts being ASCII: only bytes from 0xC0 up need a closer look.
  auto clear = [&](std::size_t at) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    return (word & (word << 1) & 0x8080808080808080u) == 0;
  };
  std::size_t i = 0;
  if (text.size() >= 8) {
    while (i + 8 <= text.size() && clear(i)) i += 8;
    // The last eight bytes, overlapping those checked already.
    if (i + 8 > text.size() && (i == text.size() || clear(text.size() - 8))) return true;
  }
  unsigned char highest = 0;
  for (; i < text.size(); ++i) highest = std::max(highest, static_cast<unsigned char>(text[i]));
  return highest < 0xCC;
}

const icu::Normalizer2* nfc() {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
  return U_SUCCESS(status) ? normalizer : nullptr;
}

bool isComposed(std::string_view text) {
  if (isBelowCombiningMarks(text)) return true;
  const icu::Normalizer2* normalizer = nfc();
  if (!normalizer) return true;
  UErrorCode status = U_ZERO_ERROR;
  bool normalized =
      normalizer->isNormalizedUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), status);
  // Text that ICU can't read (not UTF-8) is compared as it is.
  return normalized || U_FAILURE(status);
}

}  // namespace

std::string composed(std::string_view text) {
  if (isComposed(text)) return std::string(text);
  std::string out;
  icu::StringByteSink<std::string> sink(&out, static_cast<int32_t>(text.size()));
  UErrorCode status = U_ZERO_ERROR;
  nfc()->normalizeUTF8(0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, nullptr,
                       status);
  return U_SUCCESS(status) ? out : std::string(text);
}

std::string_view ComposedTexts::operator()(std::string_view text) {
  if (isComposed(text)) return text;
  return composed_.emplace_back(composed(text));
}

int compareComposed(std::string_view a, std::string_view b) {
  if (isComposed(a) && isComposed(b)) return a.compare(b);
  return composed(a).compare(composed(b));
}

}  // namespace tamrik::detail
