#pragma once

// A slow, literal reader that parses one Unicode scalar at a time, with a pushback stack and delimiter
// matchers that read ahead exactly as the reader's behaviour is defined. Tests compare the production
// reader, which works on UTF-8 bytes with fast paths, against it.

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tamrikcsv/reader/csv_reader.hpp"

namespace tamrikcsv::test {

/// The observable part of a reader error.
struct ErrorText {
  std::string reason;
  std::string help;
  std::string userInfo;  ///< "key: value" entries joined with ", "
  friend bool operator==(const ErrorText&, const ErrorText&) = default;
};

/// Everything a reader hands out until it stops: the headers, the rows, then the error if it failed.
/// A failed construction gives no headers and no rows.
struct Outcome {
  std::vector<std::string> headers;
  std::vector<std::vector<std::string>> rows;
  std::optional<ErrorText> error;
  /// Empty while the reader keeps to its word: once failed it raises the same error again, once
  /// finished it stays finished. Otherwise what it did instead.
  std::string broken;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};
std::ostream& operator<<(std::ostream& out, const Outcome& outcome);

/// Reads `scalars` with a configuration that `ReaderSettings::make` accepts. The scalar source raises
/// `endError`, if given, instead of reporting the end of the input.
Outcome referenceRead(const ReaderConfiguration& configuration, std::u32string_view scalars,
                      const std::optional<ErrorText>& endError = std::nullopt);

ErrorText errorText(const CSVErrorBase& error);

/// Reads every row of the reader that `make` builds. `pick(n)` chooses a number below n to vary the
/// way rows are read (`readRow` in its three forms, `readRecord`). Rows read into a `Fields` go into
/// `fields` when given, which may have served other readers before.
Outcome productionRead(
    const std::function<CSVReader()>& make,
    const std::function<unsigned(unsigned)>& pick = [](unsigned) { return 0U; },
    CSVReader::Fields* fields = nullptr);

/// Scalars as UTF-8, encoded here rather than by the library.
std::string toUTF8(std::u32string_view scalars);
/// The scalars of the longest valid UTF-8 prefix of `bytes`, and whether that prefix is all of them.
std::pair<std::u32string, bool> decodeUTF8(std::string_view bytes);
/// The error a reader raises where its UTF-8 input stops being valid.
ErrorText invalidUTF8Text();

/// Text for test messages, with control and non-ASCII scalars escaped.
std::string printable(std::u32string_view scalars);
/// The delimiters, escaping, trimming and header strategy, for test messages.
std::string describe(const ReaderConfiguration& configuration);

}  // namespace tamrikcsv::test
