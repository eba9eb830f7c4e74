#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

#include "tamrikcsv/coding/encoder.hpp"
#include "tamrikcsv/encoder/encoder_error.hpp"
#include "tamrikcsv/encoder/encoding_strategies.hpp"
#include "tamrikcsv/writer/csv_writer.hpp"

namespace tamrikcsv {

namespace detail {
class ShadowEncoderSink;
}

/// Everything an encode call works by, with its defaults (`CSVEncoder::Configuration`).
struct EncoderConfiguration {
  /// How rows are written: encoding, byte-order mark, delimiters, escaping and the header row. Fields are
  /// found by header title only when `headers` is set.
  CSVWriter::Configuration writerConfiguration;
  /// How absent values are written: by default as empty fields.
  Strategy::NilEncoding nilStrategy = Strategy::NilEncoding::empty();
  /// How booleans are written: by default "true" and "false".
  Strategy::BoolEncoding boolStrategy = Strategy::BoolEncoding::deferredToString();
  /// What infinities and NaN are written as: by default they are errors.
  Strategy::NonConformingFloat nonConformingFloatStrategy = Strategy::NonConformingFloat::throws();
  /// How decimals are written: by default with ".".
  Strategy::DecimalEncoding decimalStrategy = Strategy::DecimalEncoding::locale();
  /// How dates are written: by default as seconds since 2001-01-01T00:00:00Z.
  Strategy::DateEncoding dateStrategy = Strategy::DateEncoding::deferredToDate();
  /// How byte blocks are written: by default as Base64.
  Strategy::DataEncoding dataStrategy = Strategy::DataEncoding::base64();
  /// When values reach the output: by default all at the end, so any encoding order works.
  Strategy::EncodingBuffer bufferingStrategy = Strategy::EncodingBuffer::keepAll;
};

/// Encodes typed records as CSV: the whole output is a sequence of rows, a row a record of fields, a
/// field one value. Rows are addressed by position; fields by position or, with a header row, by title.
///
/// ```cpp
/// CSVEncoder encoder([](CSVEncoder::Configuration& c) {
///   c.writerConfiguration.headers = {"Place ID", "Place Name", "Serial Number"};
///   c.bufferingStrategy = Strategy::EncodingBuffer::sequential;  // rows are encoded in order
/// });
/// encoder.encodeFile(rows, "places.csv");  // rows: a std::vector<CSVRow>
/// ```
///
/// Values that cannot be written are `EncodingError`s; path, configuration and buffer failures are
/// `CSVError<CSVEncoder>`; errors of the writer and of custom strategies pass through unchanged. A failed
/// encode leaves what was written so far.
class CSVEncoder {
 public:
  /// The kinds of `CSVError<CSVEncoder>`.
  using Error = Failable<CSVEncoder>::Error;

  /// Everything an encode call works by.
  using Configuration = EncoderConfiguration;
  /// Edits a default configuration in place.
  using Setter = std::function<void(Configuration&)>;

  class LazyBase;
  template <class Output>
  class Lazy;

  /// An encoder with the configuration `initial`.
  explicit CSVEncoder(Configuration initial = {}) : configuration(std::move(initial)) {}
  /// An encoder with the default configuration as `setter` edits it.
  explicit CSVEncoder(const Setter& setter) { setter(configuration); }

  /// Used by every later encode call, which takes a copy when it starts.
  Configuration configuration;
  /// Handed to every type being encoded, through `Encoder::userInfo()`.
  CodingUserInfo userInfo;

  /// `value` encoded into bytes in the writer configuration's encoding.
  template <class T>
  [[nodiscard]] Data encodeData(const T& value) const {
    return encodeDataWith([&value](Encoder& encoder) { Coding<T>::encode(value, encoder); });
  }
  /// `value` encoded into UTF-8 text (the bytes read back from the configured encoding).
  template <class T>
  [[nodiscard]] std::string encodeString(const T& value) const {
    return encodeStringWith([&value](Encoder& encoder) { Coding<T>::encode(value, encoder); });
  }
  /// `value` encoded into a file, which is replaced or appended to.
  template <class T>
  void encodeFile(const T& value, const std::filesystem::path& path,
                  FileMode mode = FileMode::replace) const {
    encodeFileWith(path, mode, [&value](Encoder& encoder) { Coding<T>::encode(value, encoder); });
  }

  /// An encoder of one row at a time into bytes, text or a file. It takes a copy of the configuration and
  /// the user info when it is made; a file encoder opens its file then.
  ///@{
  [[nodiscard]] Lazy<Data> makeLazyData() const;
  [[nodiscard]] Lazy<std::string> makeLazyString() const;
  [[nodiscard]] Lazy<void> makeLazyFile(const std::filesystem::path& path,
                                        FileMode mode = FileMode::replace) const;
  ///@}

 private:
  Data encodeDataWith(const detail::EncodeWith& with) const;
  std::string encodeStringWith(const detail::EncodeWith& with) const;
  void encodeFileWith(const std::filesystem::path& path, FileMode mode, const detail::EncodeWith& with) const;
  std::shared_ptr<detail::ShadowEncoderSink> makeSink(CSVWriter writer) const;
};

/// What every lazy encoder does, whatever its output.
class CSVEncoder::LazyBase {
 public:
  /// Writes a row of empty fields (absent values, by the nil strategy). The number of fields must be known:
  /// from the header row or an earlier row; throws `CSVError<CSVEncoder>` (`invalidPath`) otherwise.
  void encodeBlankRow();
  /// The position of the next row.
  std::int64_t currentIndex() const noexcept { return currentIndex_; }

 protected:
  /// An encoder that writes through `sink`.
  explicit LazyBase(std::shared_ptr<detail::ShadowEncoderSink> sink);
  /// Encodes the row at the current position; the position moves on even when that fails, so that the
  /// next row does not land on the failed one's fields.
  void encodeRow(const detail::EncodeWith& with);
  /// Writes what is buffered and closes the output. Does nothing once the output is closed.
  void finish();
  /// A copy of the bytes of an encoder into memory; only after `finish()`.
  Data takeData();
  /// The bytes of an encoder into memory read back as UTF-8 text, only after `finish()`; throws
  /// `CSVError<CSVEncoder>` (`invalidConfiguration`) when they cannot be.
  std::string takeText();

 private:
  std::shared_ptr<detail::ShadowEncoderSink> sink_;
  std::int64_t currentIndex_ = 0;
};

/// Encodes rows one at a time, in order. Under the `sequential` or `assembled` buffering strategy its
/// memory stays flat however many rows it writes. Dropping it without `endEncoding()` keeps only what
/// already reached the output.
///
/// ```cpp
/// auto lazy = encoder.makeLazyFile("places.csv");
/// for (const auto& row : rows) lazy.encodeNext(row);
/// lazy.encodeBlankRow();
/// lazy.endEncoding();
/// ```
template <class Output>
class CSVEncoder::Lazy : public CSVEncoder::LazyBase {
 public:
  /// `value` as the next row.
  template <class T>
  void encodeNext(const T& value) {
    encodeRow([&value](Encoder& encoder) { Coding<T>::encode(value, encoder); });
  }
  /// Writes what is still buffered, finishes the last row and closes the output; returns the bytes or the
  /// text for a lazy encoder into memory.
  Output endEncoding() {
    finish();
    if constexpr (std::is_same_v<Output, Data>)
      return takeData();
    else if constexpr (std::is_same_v<Output, std::string>)
      return takeText();
  }

 private:
  friend class CSVEncoder;
  using LazyBase::LazyBase;
};

}  // namespace tamrikcsv
