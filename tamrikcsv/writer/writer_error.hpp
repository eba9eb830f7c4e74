#pragma once

// The kinds of error the writer raises as `CSVError<CSVWriter>`: its side of the `Failable` contract.

#include <optional>
#include <string_view>

#include "tamrikcsv/text/csv_error.hpp"

namespace tamrikcsv {

class CSVWriter;

/// The writer's errors: a configuration that fails a check, a field or row that cannot be written, a
/// failing output stream, and a call the writer's state does not allow.
template <>
struct Failable<CSVWriter> {
  /// The error kinds; a kind's value is its error code.
  enum class Error : int {
    invalidConfiguration = 1,
    invalidInput = 2,
    streamFailure = 4,
    invalidOperation = 5
  };
  /// The component's name, error domain and kind titles, and the kind of an error code.
  ///@{
  static constexpr std::string_view componentName = "CSVWriter";
  static constexpr std::string_view errorDomain = "Writer";
  static constexpr std::string_view errorDescription(Error kind) noexcept {
    switch (kind) {
      case Error::invalidConfiguration:
        return "Invalid configuration";
      case Error::invalidInput:
        return "Invalid input";
      case Error::streamFailure:
        return "Stream failure";
      case Error::invalidOperation:
        return "Invalid operation";
    }
    return {};
  }
  static constexpr std::optional<Error> error(int code) noexcept {
    if (code == 1 || code == 2 || code == 4 || code == 5) return static_cast<Error>(code);
    return std::nullopt;
  }
  ///@}
};

static_assert(FailableComponent<CSVWriter>);

}  // namespace tamrikcsv
