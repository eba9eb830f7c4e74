#pragma once

#include <optional>

#include "tamrikcsv/reader/character_set.hpp"
#include "tamrikcsv/reader/delimiter.hpp"
#include "tamrikcsv/reader/text_encoding.hpp"

namespace tamrikcsv {

/// What a reader is told about its input (`CSVReader::Configuration`).
///
/// ```cpp
/// CSVReader::Configuration config;
/// config.delimiters = {U';', Delimiter::Row::standard()};
/// config.headerStrategy = Strategy::Header::firstLine;
/// config.trimStrategy = CharacterSet::whitespaces();
/// ```
struct ReaderConfiguration {
  using Delimiters = Delimiter::Pair;

  /// The input's encoding; absent: the byte-order mark decides, else UTF-8.
  std::optional<TextEncoding> encoding;
  Delimiters delimiters;
  Strategy::Escaping escapingStrategy = Strategy::Escaping::doubleQuote();
  Strategy::Header headerStrategy = Strategy::Header::none;
  /// Characters removed around fields (never inside escaped fields).
  CharacterSet trimStrategy;
  /// For file and stream inputs: read the whole input into memory before parsing.
  bool presample = false;
};

/// The validated values a reader works from (`CSVReader::Settings`).
struct ReaderSettings {
  Delimiter::Scalars delimiters;
  std::optional<char32_t> escapingScalar;
  CharacterSet trimCharacters;
  bool isTrimNeeded = false;

  /// Validates a configuration; throws `CSVError<CSVReader>` (`invalidConfiguration`) on the first failed
  /// check.
  static ReaderSettings make(const ReaderConfiguration& configuration);
};

}  // namespace tamrikcsv
