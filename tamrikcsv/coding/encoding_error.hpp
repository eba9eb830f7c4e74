#pragma once

#include <any>
#include <exception>
#include <string>

#include "tamrikcsv/text/coding_key.hpp"
#include "tamrikcsv/text/library_error.hpp"

namespace tamrikcsv {

/// A value that could not be encoded: the value, where it was, and why. Like every error of the library,
/// it is a `LibraryError`.
///
/// ```cpp
/// catch (const EncodingError& e) {
///   std::cerr << e.what();  // "The value is a non-conformant floating-point. (at [0, 2])"
/// }
/// ```
class EncodingError : public LibraryError {
 public:
  /// What kind of failure it was.
  enum class Kind {
    invalidValue,  ///< the value cannot be written in this format or under these strategies
  };

  /// An error of `kind` about `value` at `codingPath`; `description` says what went wrong,
  /// `underlyingError` is the lower-level error that caused it, if any.
  EncodingError(Kind kind, std::any value, CodingPath codingPath, std::string description,
                std::exception_ptr underlyingError = nullptr);

  /// An `invalidValue` error.
  static EncodingError invalidValue(std::any value, CodingPath codingPath, std::string description,
                                    std::exception_ptr underlyingError = nullptr) {
    return EncodingError(Kind::invalidValue, std::move(value), std::move(codingPath), std::move(description),
                         std::move(underlyingError));
  }

  /// The error's kind.
  Kind kind() const noexcept { return kind_; }
  /// The value that was refused, e.g. a `double` infinity.
  const std::any& value() const noexcept { return value_; }
  /// The keys that led to the value, outermost first.
  const CodingPath& codingPath() const noexcept { return codingPath_; }
  /// What went wrong, without the path.
  const std::string& debugDescription() const noexcept { return description_; }
  /// The lower-level error that caused this one, or null.
  const std::exception_ptr& underlyingError() const noexcept { return underlying_; }
  /// The description and the path.
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  Kind kind_;
  std::any value_;
  CodingPath codingPath_;
  std::string description_;
  std::exception_ptr underlying_;
  std::string text_;
};

}  // namespace tamrikcsv
