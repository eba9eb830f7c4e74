#pragma once

#include <optional>
#include <string_view>

namespace tamrikcsv {

/// A named text encoding.
///
/// The reader decodes ASCII, UTF-8, UTF-16 and UTF-32 itself; the others are converted through ICU
/// where a whole input is converted at once (a presampled byte block).
///
/// ```cpp
/// CSVReader::fromData(bytes, [](auto& c) { c.encoding = TextEncoding::utf16LittleEndian; });
/// ```
enum class TextEncoding {
  ascii,
  utf8,
  utf16,  ///< UTF-16 without a given byte order: the mark decides, big-endian otherwise.
  utf16BigEndian,
  utf16LittleEndian,
  utf32,  ///< UTF-32 without a given byte order: the mark decides, big-endian otherwise.
  utf32BigEndian,
  utf32LittleEndian,
  isoLatin1,
  isoLatin2,
  windowsCP1250,
  windowsCP1251,
  windowsCP1252,
  windowsCP1253,
  windowsCP1254,
  macOSRoman,
  shiftJIS,
  japaneseEUC,
  iso2022JP,
  unicode = utf16,  ///< The second name of UTF-16 without byte order.
};

/// The encoding's display name, e.g. "UTF-16LE" or "Shift_JIS".
[[nodiscard]] std::string_view name(TextEncoding encoding) noexcept;

/// The encoding whose display name is `name` (ASCII letters compared without case), if any.
[[nodiscard]] std::optional<TextEncoding> textEncoding(std::string_view name) noexcept;

}  // namespace tamrikcsv
