#pragma once

// The kinds of error the decoder raises as `CSVError<CSVDecoder>`: its side of the `Failable` contract.

#include <optional>
#include <string_view>

#include "tamrikcsv/text/csv_error.hpp"

namespace tamrikcsv {

class CSVDecoder;

/// The decoder's errors: a configuration that fails a check, a coding path the CSV shape cannot hold
/// (such as a row past the end), and a row the buffering strategy no longer keeps.
template <>
struct Failable<CSVDecoder> {
  /// The error kinds; a kind's value is its error code.
  enum class Error : int { invalidConfiguration = 1, invalidPath = 2, bufferFailure = 4 };
  /// The component's name, error domain and kind titles, and the kind of an error code.
  ///@{
  static constexpr std::string_view componentName = "CSVDecoder";
  static constexpr std::string_view errorDomain = "Decoder";
  static constexpr std::string_view errorDescription(Error kind) noexcept {
    switch (kind) {
      case Error::invalidConfiguration:
        return "Invalid configuration";
      case Error::invalidPath:
        return "Invalid path";
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

static_assert(FailableComponent<CSVDecoder>);

}  // namespace tamrikcsv
