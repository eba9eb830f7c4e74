#pragma once

// The places file as people bring it: saved by spreadsheet programs in other locales and code pages,
// with line ends of any platform, and sometimes not a file at all.

#include <cstddef>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tamrikcsv/reader/text_encoding.hpp"

namespace tamrik {

/// How to read a places file where the file itself does not say.
///
/// ```cpp
/// model.loadPlaces("export.csv", {.encoding = tamrikcsv::TextEncoding::windowsCP1252});
/// ```
struct PlacesReadOptions {
  /// The text encoding; absent: the byte-order mark's, else UTF-8.
  std::optional<tamrikcsv::TextEncoding> encoding;
};

/// A places file that cannot be loaded for a reason of its own, or cannot be written, said in plain words
/// by `what()`, for example "places.csv, line 3, column 12: the text is not UTF-8. …".
class PlacesFileError : public std::runtime_error {
 public:
  enum class Kind {
    notRegularFile,  ///< a folder, FIFO, device or socket: reading it could wait for ever
    empty,           ///< no bytes, or a byte-order mark alone
    notUTF8,         ///< read as UTF-8 (no encoding given, no other mark), it holds bytes that are not
    notWritten,      ///< an export could not write it
  };

  PlacesFileError(Kind kind, std::filesystem::path file, std::string message,
                  std::optional<std::size_t> line = std::nullopt,
                  std::optional<std::size_t> column = std::nullopt, std::exception_ptr underlying = nullptr);

  Kind kind() const noexcept { return kind_; }
  const std::filesystem::path& file() const noexcept { return file_; }
  /// Where in the file, counted from 1 (the header is line 1), when the error is at one place.
  std::optional<std::size_t> line() const noexcept { return line_; }
  std::optional<std::size_t> column() const noexcept { return column_; }
  /// The CSV library's error behind this one, if any, whose full text says more than `what()`.
  std::exception_ptr underlying() const noexcept { return underlying_; }

 private:
  Kind kind_;
  std::filesystem::path file_;
  std::optional<std::size_t> line_, column_;
  std::exception_ptr underlying_;
};

/// What a load noticed in a file that did load: nothing in it is changed, but the user should know.
struct PlacesLoadReport {
  /// The lines (the header is line 1) whose serial number is written in a spreadsheet's number format,
  /// such as "1.23456789012346E+019": a spreadsheet program rounded a long number, so the serial number
  /// is lost.
  std::vector<std::size_t> spreadsheetNumberLines;

  /// Whether there is anything to say.
  bool hasWarnings() const noexcept { return !spreadsheetNumberLines.empty(); }
  /// The warnings in plain words, one sentence each, naming `fileName`; empty without warnings.
  std::string warningText(const std::string& fileName) const;
};

/// Whether `serialNumber` is written as a spreadsheet writes a number in scientific format: a digit, an
/// optional fraction after "." or ",", then "E" and a signed exponent ("1.00E+05", "1,23457E+19").
bool hasSpreadsheetNumberFormat(std::string_view serialNumber) noexcept;

}  // namespace tamrik
