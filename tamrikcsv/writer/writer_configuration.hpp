#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tamrikcsv/reader/delimiter.hpp"
#include "tamrikcsv/reader/text_encoding.hpp"

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
  Strategy::BOM bomStrategy = Strategy::BOM::convention;
  /// Of several row delimiters, the shortest is written (ties: the smallest scalars), so `standard` writes
  /// "\n".
  Delimiter::Pair delimiters;
  Strategy::Escaping escapingStrategy = Strategy::Escaping::doubleQuote();
  /// Written as the first row when not empty.
  std::vector<std::string> headers;
};

/// The validated values a writer works from (`CSVWriter::Settings`).
struct WriterSettings {
  struct Delimiters {
    std::u32string field;
    std::u32string row;  ///< the one row delimiter that is written
  };
  Delimiters delimiters;
  std::optional<char32_t> escapingScalar;
  std::vector<std::string> headers;
  TextEncoding encoding = TextEncoding::utf8;

  /// Validates a configuration; throws `CSVError<CSVWriter>` (`invalidConfiguration`) when the delimiters are
  /// missing or clash.
  static WriterSettings make(const WriterConfiguration& configuration);
};

}  // namespace tamrikcsv
