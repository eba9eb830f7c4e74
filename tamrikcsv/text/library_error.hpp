#pragma once

#include <exception>

namespace tamrikcsv {

/// The base of every error the library raises: `CSVError` (through `CSVErrorBase`) from the reader, the
/// writer, the record decoder and the record encoder, `DecodingError` for a value that cannot be decoded
/// and `EncodingError` for one that cannot be encoded. One `catch` takes them all:
///
/// ```cpp
/// try {
///   CSVDecoder decoder([](CSVDecoder::Configuration& c) {
///     c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
///   });
///   auto places = decoder.decodeFile<std::vector<Place>>("places.csv");
/// } catch (const tamrikcsv::LibraryError& error) {
///   std::cerr << error.what() << '\n';  // a reader error, a type mismatch, ...
/// }
/// ```
///
/// `what()` is the error's diagnostic text; catch the derived types for their details.
class LibraryError : public std::exception {
 public:
  /// The diagnostic text.
  const char* what() const noexcept override = 0;

 protected:
  /// Made only as the base of an error type; copies and moves are the derived types'.
  ///@{
  LibraryError() noexcept = default;
  LibraryError(const LibraryError&) noexcept = default;
  LibraryError(LibraryError&&) noexcept = default;
  LibraryError& operator=(const LibraryError&) noexcept = default;
  LibraryError& operator=(LibraryError&&) noexcept = default;
  ///@}
};

}  // namespace tamrikcsv
