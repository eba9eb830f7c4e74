#pragma once

// Turns each kind of reader input into valid UTF-8 for the parser. Not part of the public interface.

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "tamrikcsv/reader/input_stream.hpp"
#include "tamrikcsv/reader/reader_configuration.hpp"

namespace tamrikcsv::detail {

/// Valid UTF-8 produced lazily from an input. The parser holds [pos, end), the bytes not yet consumed;
/// the window always ends on a scalar boundary.
class InputSource {
 public:
  virtual ~InputSource() = default;
  /// Makes more bytes available after `end`, keeping [pos, end) (which may move). Returns false at the end
  /// of the input; throws the input's `CSVError<CSVReader>` when the next scalar cannot be decoded.
  virtual bool refill(const char*& pos, const char*& end) = 0;
  /// How far through the input's bytes the parser at `pos` is, from 0 to 1, when the input's size is
  /// known and its bytes are the parser's (UTF-8 or ASCII in memory or in a file).
  virtual std::optional<double> progress(const char* /*pos*/) const { return std::nullopt; }
};

std::unique_ptr<InputSource> makeTextSource(std::string text);
std::unique_ptr<InputSource> makeDataSource(Data data, const ReaderConfiguration& configuration);
std::unique_ptr<InputSource> makeFileSource(const std::filesystem::path& path,
                                            const ReaderConfiguration& configuration);
std::unique_ptr<InputSource> makeStreamSource(std::shared_ptr<InputStream> stream,
                                              const ReaderConfiguration& configuration);

}  // namespace tamrikcsv::detail
