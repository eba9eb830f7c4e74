#pragma once

// The kinds of error the reader raises as `CSVError<CSVReader>`: its side of the `Failable` contract.

#include <optional>
#include <string_view>

#include "tamrikcsv/text/csv_error.hpp"

namespace tamrikcsv {

class CSVReader;

/// The reader's errors: a configuration that fails a check, input that is not valid CSV in its encoding,
/// and a failing input stream.
template <>
struct Failable<CSVReader> {
  /// The error kinds; a kind's value is its error code.
  enum class Error : int { invalidConfiguration = 1, invalidInput = 2, streamFailure = 4 };
  /// The component's name, error domain and kind titles, and the kind of an error code.
  ///@{
  static constexpr std::string_view componentName = "CSVReader";
  static constexpr std::string_view errorDomain = "Reader";
  static constexpr std::string_view errorDescription(Error kind) noexcept {
    switch (kind) {
      case Error::invalidConfiguration:
        return "Invalid configuration";
      case Error::invalidInput:
        return "Invalid input";
      case Error::streamFailure:
        return "Stream failure";
    }
    return {};
  }
  static constexpr std::optional<Error> error(int code) noexcept {
    if (code == 1 || code == 2 || code == 4) return static_cast<Error>(code);
    return std::nullopt;
  }
  ///@}
};

static_assert(FailableComponent<CSVReader>);

}  // namespace tamrikcsv
