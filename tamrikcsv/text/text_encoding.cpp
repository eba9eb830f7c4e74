#include "tamrikcsv/text/text_encoding.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace tamrikcsv {
namespace {

constexpr std::array<std::pair<TextEncoding, std::string_view>, 19> kNames{{
    {TextEncoding::ascii, "US-ASCII"},
    {TextEncoding::utf8, "UTF-8"},
    {TextEncoding::utf16, "UTF-16"},
    {TextEncoding::utf16BigEndian, "UTF-16BE"},
    {TextEncoding::utf16LittleEndian, "UTF-16LE"},
    {TextEncoding::utf32, "UTF-32"},
    {TextEncoding::utf32BigEndian, "UTF-32BE"},
    {TextEncoding::utf32LittleEndian, "UTF-32LE"},
    {TextEncoding::isoLatin1, "ISO-8859-1"},
    {TextEncoding::isoLatin2, "ISO-8859-2"},
    {TextEncoding::windowsCP1250, "windows-1250"},
    {TextEncoding::windowsCP1251, "windows-1251"},
    {TextEncoding::windowsCP1252, "windows-1252"},
    {TextEncoding::windowsCP1253, "windows-1253"},
    {TextEncoding::windowsCP1254, "windows-1254"},
    {TextEncoding::macOSRoman, "macintosh"},
    {TextEncoding::shiftJIS, "Shift_JIS"},
    {TextEncoding::japaneseEUC, "EUC-JP"},
    {TextEncoding::iso2022JP, "ISO-2022-JP"},
}};

bool equalIgnoringASCIICase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::string_view name(TextEncoding encoding) noexcept {
  for (const auto& [e, n] : kNames)
    if (e == encoding) return n;
  return "unknown";
}

std::optional<TextEncoding> textEncoding(std::string_view text) noexcept {
  for (const auto& [e, n] : kNames)
    if (equalIgnoringASCIICase(n, text)) return e;
  return std::nullopt;
}

}  // namespace tamrikcsv
