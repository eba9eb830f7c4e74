#pragma once

// The kinds of error the encoder raises as `CSVError<CSVEncoder>`: its side of the `Failable` contract.

#include <optional>
#include <string_view>

#include "tamrikcsv/text/csv_error.hpp"

namespace tamrikcsv {

class CSVEncoder;

/// The encoder's errors: a configuration that fails a check, a coding path the CSV shape cannot hold,
/// and rows or fields left unwritten when encoding finished.
template <>
struct Failable<CSVEncoder> {
  /// The error kinds; a kind's value is its error code.
  enum class Error : int { invalidConfiguration = 1, invalidPath = 2, bufferFailure = 4 };
  /// The component's name, error domain and kind titles, and the kind of an error code.
  ///@{
  static constexpr std::string_view componentName = "CSVEncoder";
  static constexpr std::string_view errorDomain = "Encoder";
  static constexpr std::string_view errorDescription(Error kind) noexcept {
    switch (kind) {
      case Error::invalidConfiguration:
        return "Invalid configuration";
      case Error::invalidPath:
        return "Invalid coding path";
      case Error::bufferFailure:
        return "Invalid buffer state";
    }
    return {};
  }
  static constexpr std::optional<Error> error(int code) noexcept {
    if (code == 1 || code == 2 || code == 4) return static_cast<Error>(code);
    return std::nullopt;
  }
  ///@}
};

static_assert(FailableComponent<CSVEncoder>);

}  // namespace tamrikcsv
