#pragma once

// Shorthands for tests that read whole inputs and look at the errors they raise.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tamrikcsv/reader/csv_reader.hpp"

namespace tamrikcsv::test {

using Rows = std::vector<std::vector<std::string>>;

inline Rows readAll(CSVReader& reader) {
  Rows rows;
  while (auto row = reader.readRow()) rows.push_back(*row);
  return rows;
}

/// The rows of `text`, which reading into a reused `CSVReader::Fields` must give too.
inline Rows readAll(std::string text, const CSVReader::Setter& setter = {}) {
  auto reader = CSVReader::fromText(text, setter);
  Rows rows = readAll(reader);
  auto again = CSVReader::fromText(std::move(text), setter);
  Rows viewed;
  CSVReader::Fields fields;
  while (again.readRow(fields)) viewed.emplace_back(fields.begin(), fields.end());
  EXPECT_TRUE(fields.empty());
  EXPECT_EQ(viewed, rows) << "read into a CSVReader::Fields";
  return rows;
}

inline Data bytes(std::string_view text) {
  auto p = reinterpret_cast<const std::byte*>(text.data());
  return Data(p, p + text.size());
}

/// Runs `action`, which must raise a reader error, and returns it.
inline CSVError<CSVReader> readerError(const std::function<void()>& action) {
  try {
    action();
  } catch (const CSVError<CSVReader>& error) {
    return error;
  }
  ADD_FAILURE() << "no reader error was raised";
  return CSVError<CSVReader>(CSVReader::Error::invalidInput, "none", "none");
}

/// Reads rows until the reader raises, and returns the rows read before.
inline Rows rowsBeforeError(CSVReader& reader, std::optional<CSVError<CSVReader>>& error) {
  Rows rows;
  try {
    while (auto row = reader.readRow()) rows.push_back(*row);
  } catch (const CSVError<CSVReader>& e) {
    error = e;
  }
  return rows;
}

}  // namespace tamrikcsv::test
