#pragma once

#include <exception>
#include <string>

#include "tamrikcsv/text/coding_key.hpp"
#include "tamrikcsv/text/library_error.hpp"

namespace tamrikcsv {

/// A value that could not be decoded: what kind of failure, where, and why. Like every error of the
/// library, it is a `LibraryError`.
///
/// ```cpp
/// catch (const DecodingError& e) {
///   std::cerr << e.what();  // "The field 'x' was not of the expected type 'Int32'. (at [2, "Count"])"
/// }
/// ```
class DecodingError : public LibraryError {
 public:
  /// What kind of failure it was.
  enum class Kind {
    typeMismatch,   ///< the value is not of the requested type
    valueNotFound,  ///< a value was expected and there is none
    keyNotFound,    ///< no value under the key
    dataCorrupted,  ///< the value cannot be read as the requested type
  };

  /// An error of `kind` at `codingPath`; `description` says what went wrong, `underlyingError` is the
  /// lower-level error that caused it, if any.
  DecodingError(Kind kind, CodingPath codingPath, std::string description,
                std::exception_ptr underlyingError = nullptr);

  /// The error's kind.
  Kind kind() const noexcept { return kind_; }
  /// For a type mismatch: the requested type's name, such as "Int8" or "URL".
  const std::string& typeName() const noexcept { return typeName_; }
  /// The keys that led to the value, outermost first.
  const CodingPath& codingPath() const noexcept { return codingPath_; }
  /// What went wrong, without the path.
  const std::string& debugDescription() const noexcept { return description_; }
  /// The lower-level error that caused this one, or null.
  const std::exception_ptr& underlyingError() const noexcept { return underlying_; }
  /// The description and the path.
  const char* what() const noexcept override { return text_.c_str(); }

  /// "The field '<text>' was not of the expected type '<type>'."
  static DecodingError typeMismatch(std::string typeName, std::string_view text, CodingPath codingPath);
  /// A `dataCorrupted` error with the given description.
  static DecodingError dataCorrupted(CodingPath codingPath, std::string description);

 private:
  Kind kind_;
  std::string typeName_;
  CodingPath codingPath_;
  std::string description_;
  std::exception_ptr underlying_;
  std::string text_;
};

}  // namespace tamrikcsv
