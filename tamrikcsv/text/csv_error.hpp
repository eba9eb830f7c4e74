#pragma once

// The error record of the CSV components: `CSVError<Component>`, its base `CSVErrorBase` and the context
// values it carries. Each component's kinds are its `Failable` specialisation, beside the component.

#include <concepts>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "tamrikcsv/text/character_set.hpp"
#include "tamrikcsv/text/coding_key.hpp"
#include "tamrikcsv/text/library_error.hpp"
#include "tamrikcsv/text/stream_status.hpp"
#include "tamrikcsv/text/text_encoding.hpp"

namespace tamrikcsv {

/// The contract every component that raises `CSVError` fulfils: a specialisation `Failable<Component>`
/// with the component's error kinds, domain and titles. The reader, writer, decoder and encoder each
/// specialise it beside themselves.
///
/// `Error` is the component's kind enumeration (its value is the error code), `componentName` the name
/// that starts the diagnostic text, `errorDomain` its short domain, `errorDescription(kind)` the kind's
/// title, and `error(code)` the kind of a code, if any.
///
/// ```cpp
/// template <> struct Failable<CSVReader> {
///   enum class Error : int { invalidConfiguration = 1, invalidInput = 2, streamFailure = 4 };
///   static constexpr std::string_view componentName = "CSVReader";
///   static constexpr std::string_view errorDomain = "Reader";
///   static constexpr std::string_view errorDescription(Error kind) noexcept;
///   static constexpr std::optional<Error> error(int code) noexcept;
/// };
/// ```
template <class Component>
struct Failable;

/// Whether `Component` fulfils the `Failable` contract.
template <class Component>
concept FailableComponent = requires(typename Failable<Component>::Error kind, int code) {
  requires std::is_enum_v<typename Failable<Component>::Error>;
  { Failable<Component>::componentName } -> std::convertible_to<std::string_view>;
  { Failable<Component>::errorDomain } -> std::convertible_to<std::string_view>;
  { Failable<Component>::errorDescription(kind) } -> std::same_as<std::string_view>;
  { Failable<Component>::error(code) } -> std::same_as<std::optional<typename Failable<Component>::Error>>;
};

/// One context value of an error. Integers print in decimal, texts as they are, scalar sequences quoted
/// with escapes ("\r\n"), a scalar also with its code point ("é" (U+00E9)), sets in braces, encodings and
/// stream states by name, coding keys and paths as `describe` writes them (`3`, `"Place ID"`,
/// `[3, "Place ID"]`).
using UserInfoValue =
    std::variant<std::int64_t, std::string, char32_t, std::u32string, std::set<std::u32string>, CharacterSet,
                 TextEncoding, StreamStatus, std::filesystem::path, CodingKey, CodingPath>;

/// The context of an error: (key, value) entries in the order they were given.
///
/// ```cpp
/// if (auto* row = error.errorUserInfo().get<std::int64_t>("Row index")) std::cout << *row;
/// ```
class UserInfo {
 public:
  /// A key and its value.
  using Entry = std::pair<std::string, UserInfoValue>;
  /// No entries.
  UserInfo() = default;
  /// The entries in the order given; a repeated key is kept, and `find` gives its first value.
  UserInfo(std::initializer_list<Entry> entries) : entries_(entries) {}

  /// The value under `key`, or nullptr.
  const UserInfoValue* find(std::string_view key) const noexcept;
  /// The value under `key` when it holds a `T`, or nullptr.
  template <class T>
  const T* get(std::string_view key) const noexcept {
    const UserInfoValue* value = find(key);
    return value ? std::get_if<T>(value) : nullptr;
  }
  /// The number of entries, and whether there are none.
  ///@{
  bool empty() const noexcept { return entries_.empty(); }
  std::size_t size() const noexcept { return entries_.size(); }
  ///@}
  /// The entries as `Entry` values, in the order they were given.
  ///@{
  auto begin() const noexcept { return entries_.begin(); }
  auto end() const noexcept { return entries_.end(); }
  ///@}

 private:
  std::vector<Entry> entries_;
};

/// The printed form of a user-info value.
[[nodiscard]] std::string toString(const UserInfoValue& value);

/// The base of every CSV error, so that all of them can be caught at once (`LibraryError` also takes
/// the decoding and encoding errors of values).
///
/// `what()` is the diagnostic text: the bracketed component and title, then one tab-indented line each
/// for the reason, the help text, the user info and the underlying error, where present:
///
/// ```text
/// [CSVReader] Invalid input
/// 	Reason: The number of fields is not constant between rows.
/// 	Help: Make sure the CSV file has always the same amount of fields per row (including the header row).
/// 	User info: Row index: 2, Number of parsed fields: 3, Number of expected fields: 2
/// ```
///
/// Copies share one immutable record, so a copy is the same error.
class CSVErrorBase : public LibraryError {
 public:
  /// The diagnostic text: the bracketed component and title, then the reason, help, user info and cause.
  const char* what() const noexcept override;

  /// "CSVReader", "CSVWriter", "CSVDecoder" or "CSVEncoder".
  std::string_view componentName() const noexcept;
  /// The title of the error's kind, e.g. "Invalid input".
  std::string_view errorDescription() const noexcept;
  /// "TamrikCSV." followed by the component's domain, e.g. "TamrikCSV.Reader".
  std::string errorDomain() const;
  /// The kind's integer value.
  int errorCode() const noexcept;
  /// What went wrong.
  const std::optional<std::string>& failureReason() const noexcept;
  /// Always absent: the components give help texts instead.
  const std::optional<std::string>& recoverySuggestion() const noexcept;
  /// How to avoid or fix the failure.
  const std::optional<std::string>& helpAnchor() const noexcept;
  /// The context values.
  const UserInfo& errorUserInfo() const noexcept;
  /// The lower-level error that caused this one, or null.
  const std::exception_ptr& underlyingError() const noexcept;
  /// The diagnostic text, the same as `what()`.
  const std::string& debugDescription() const noexcept;

  /// True when both are copies of one error.
  bool isSameError(const CSVErrorBase& other) const noexcept { return impl_ == other.impl_; }

 protected:
  /// For `CSVError`: the component's name and domain, the kind's title and code, and the error's context.
  CSVErrorBase(std::string_view component, std::string_view domain, std::string_view title, int code,
               std::string reason, std::string help, UserInfo userInfo, std::exception_ptr underlying);

 private:
  struct Impl;
  std::shared_ptr<const Impl> impl_;
};

/// An error raised by the CSV component `Component`, with that component's kind enumeration.
///
/// ```cpp
/// try {
///   auto reader = CSVReader::fromText("a,b\n1,2,3\n");
///   while (reader.readRow()) {}
/// } catch (const CSVError<CSVReader>& error) {
///   if (error.type() == CSVReader::Error::invalidInput) std::cerr << error.what() << '\n';
/// }
/// ```
template <class Component>
class CSVError final : public CSVErrorBase {
 public:
  /// The component's error kinds, e.g. `CSVReader::Error`.
  using Kind = typename Failable<Component>::Error;

  /// An error of kind `type`: `reason` says what went wrong, `help` how to avoid or fix it, `userInfo`
  /// gives the context and `underlying` the lower-level error that caused it, if any.
  CSVError(Kind type, std::string reason, std::string help, UserInfo userInfo = {},
           std::exception_ptr underlying = nullptr)
      : CSVErrorBase(Failable<Component>::componentName, Failable<Component>::errorDomain,
                     Failable<Component>::errorDescription(type), static_cast<int>(type), std::move(reason),
                     std::move(help), std::move(userInfo), std::move(underlying)),
        type_(type) {}

  /// The error's kind.
  Kind type() const noexcept { return type_; }

 private:
  Kind type_;
};

}  // namespace tamrikcsv
