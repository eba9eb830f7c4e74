#pragma once

#include <optional>

#include "tamrikcsv/reader/delimiter.hpp"
#include "tamrikcsv/text/character_set.hpp"
#include "tamrikcsv/text/text_encoding.hpp"

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
  /// The field delimiter and the row delimiters.
  using Delimiters = Delimiter::Pair;

  /// The input's encoding; absent: the byte-order mark decides, else UTF-8.
  std::optional<TextEncoding> encoding;
  /// By default "," and the line feed. Both must be given, and no row delimiter may equal the field
  /// delimiter.
  Delimiters delimiters;
  /// The scalar that encloses fields: by default '"'.
  Strategy::Escaping escapingStrategy = Strategy::Escaping::doubleQuote();
  /// Whether the first line holds the column titles: by default it does not.
  Strategy::Header headerStrategy = Strategy::Header::none;
  /// Characters removed around fields (never inside escaped fields). It may not hold a scalar of a
  /// delimiter or the escaping scalar.
  CharacterSet trimStrategy;
  /// For file and stream inputs: read the whole input into memory before parsing.
  bool presample = false;
};

/// The validated values a reader works from (`CSVReader::Settings`).
struct ReaderSettings {
  Delimiter::Scalars delimiters;           ///< The field and row delimiters, checked.
  std::optional<char32_t> escapingScalar;  ///< The scalar that encloses fields; absent without escaping.
  CharacterSet trimCharacters;             ///< The characters trimmed around fields.
  bool isTrimNeeded = false;               ///< Whether `trimCharacters` has any members.

  /// Validates a configuration; throws `CSVError<CSVReader>` (`invalidConfiguration`) on the first failed
  /// check.
  static ReaderSettings make(const ReaderConfiguration& configuration);
};

}  // namespace tamrikcsv
