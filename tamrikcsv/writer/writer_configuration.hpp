#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tamrikcsv/reader/delimiter.hpp"
#include "tamrikcsv/text/text_encoding.hpp"

namespace tamrikcsv {

namespace Strategy {
/// When a writer starts its output with a byte-order mark.
enum class BOM {
  convention,  ///< only where the encoding leaves the byte order open (UTF-16, UTF-32)
  always,      ///< for every Unicode encoding
  never,
};
}  // namespace Strategy

/// What a writer is told about its output (`CSVWriter::Configuration`).
///
/// ```cpp
/// CSVWriter::Configuration config;
/// config.headers = {"Place ID", "Place Name"};
/// config.encoding = TextEncoding::utf16LittleEndian;
/// config.bomStrategy = Strategy::BOM::always;
/// ```
struct WriterConfiguration {
  /// The output's encoding; absent: UTF-8.
  std::optional<TextEncoding> encoding;
  /// Whether the output starts with a byte-order mark: by default only for UTF-16 and UTF-32. A writer
  /// that appends to a file never writes one.
  Strategy::BOM bomStrategy = Strategy::BOM::convention;
  /// Of several row delimiters, the shortest is written (ties: the smallest scalars), so `standard` writes
  /// "\n".
  Delimiter::Pair delimiters;
  /// The scalar that encloses fields holding a delimiter or the scalar itself: by default '"'. Without
  /// escaping, such a field is a `CSVError<CSVWriter>` (`invalidInput`).
  Strategy::Escaping escapingStrategy = Strategy::Escaping::doubleQuote();
  /// Written as the first row when not empty.
  std::vector<std::string> headers;
};

/// The validated values a writer works from (`CSVWriter::Settings`).
struct WriterSettings {
  /// The delimiters as they are written.
  struct Delimiters {
    /// The field delimiter, never empty.
    std::u32string field;
    std::u32string row;  ///< the one row delimiter that is written
  };
  Delimiters delimiters;                       ///< The field and row delimiters, checked.
  std::optional<char32_t> escapingScalar;      ///< The scalar that encloses fields; absent without escaping.
  std::vector<std::string> headers;            ///< The header row; empty for none.
  TextEncoding encoding = TextEncoding::utf8;  ///< The output's encoding, UTF-8 when none was given.

  /// Validates a configuration; throws `CSVError<CSVWriter>` (`invalidConfiguration`) when the delimiters are
  /// missing or clash.
  static WriterSettings make(const WriterConfiguration& configuration);
};

}  // namespace tamrikcsv
