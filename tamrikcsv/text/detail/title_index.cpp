#include "tamrikcsv/text/detail/title_index.hpp"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <unordered_set>

namespace tamrikcsv::detail {
namespace {

bool isASCII(std::string_view text) noexcept {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string canonicallyComposed(std::string_view text) {
  if (isASCII(text)) return std::string(text);
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  if (U_FAILURE(status)) return std::string(text);
  auto unicode =
      icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  icu::UnicodeString normalized = nfc->normalize(unicode, status);
  if (U_FAILURE(status)) return std::string(text);
  std::string out;
  normalized.toUTF8String(out);
  return out;
}

TitleIndex::TitleIndex(const std::vector<std::string>& titles) {
  exact_.reserve(titles.size());
  std::unordered_set<std::string> forms;  // the composed form of every title
  forms.reserve(titles.size());
  for (std::size_t i = 0; i < titles.size(); ++i) {
    if (!exact_.emplace(titles[i], i).second) repeatsText_ = true;
    std::string composed = canonicallyComposed(titles[i]);
    if (composed != titles[i]) composed_.emplace(composed, i);
    if (!forms.insert(std::move(composed)).second) repeatsCanonically_ = true;
  }
}

std::optional<std::size_t> TitleIndex::find(std::string_view text) const {
  if (auto it = exact_.find(text); it != exact_.end()) return it->second;
  // The first title whose composed form is that of `text`: one that is composed already has it as its
  // text, any other is under it in `composed_`.
  auto first = [this](std::string_view composed) -> std::optional<std::size_t> {
    auto exact = exact_.find(composed);
    auto other = composed_.find(composed);
    if (exact == exact_.end() && other == composed_.end()) return std::nullopt;
    if (exact == exact_.end()) return other->second;
    if (other == composed_.end()) return exact->second;
    return std::min(exact->second, other->second);
  };
  if (isASCII(text)) return composed_.empty() ? std::nullopt : first(text);
  return first(canonicallyComposed(text));
}

}  // namespace tamrikcsv::detail
