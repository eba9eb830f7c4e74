#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/decoder/decoder_error.hpp"
#include "tamrikcsv/decoder/decoding_strategies.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"

namespace tamrikcsv {

namespace detail {
class ShadowDecoderSource;
}

/// Everything a decode call works by, with its defaults (`CSVDecoder::Configuration`).
struct DecoderConfiguration {
  /// How the input is read into rows.
  CSVReader::Configuration readerConfiguration;
  /// When a field is absent: by default when it is empty.
  Strategy::NilDecoding nilStrategy = Strategy::NilDecoding::empty();
  /// Which texts are booleans: by default "true", "yes", "false", "no" in any case, and the empty text.
  Strategy::BoolDecoding boolStrategy = Strategy::BoolDecoding::insensitive();
  /// What stands for infinities and NaN: by default nothing does.
  Strategy::NonConformingFloat nonConformingFloatStrategy = Strategy::NonConformingFloat::throws();
  /// How decimals read: by default with ".".
  Strategy::DecimalDecoding decimalStrategy = Strategy::DecimalDecoding::locale();
  /// How dates read: by default as seconds since 2001-01-01T00:00:00Z.
  Strategy::DateDecoding dateStrategy = Strategy::DateDecoding::deferredToDate();
  /// How byte blocks read: by default as Base64.
  Strategy::DataDecoding dataStrategy = Strategy::DataDecoding::base64();
  /// Which rows stay in memory: by default all rows read, so that any of them can be decoded again.
  Strategy::DecodingBuffer bufferingStrategy = Strategy::DecodingBuffer::keepAll;
};

/// Decodes typed records from CSV: the whole input is a sequence of rows, a row a record of fields, a
/// field one value. Rows are addressed by position; fields by position or, with a header row, by title.
///
/// ```cpp
/// CSVDecoder decoder([](CSVDecoder::Configuration& c) {
///   c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
///   c.bufferingStrategy = Strategy::DecodingBuffer::sequential;  // rows are decoded in order
/// });
/// auto rows = decoder.decodeFile<std::vector<CSVRow>>("places.csv");
/// ```
///
/// Conversion failures are `DecodingError`s; path, configuration and buffer failures are
/// `CSVError<CSVDecoder>`; errors of the reader and of custom strategies pass through unchanged.
class CSVDecoder {
 public:
  /// The kinds of `CSVError<CSVDecoder>`.
  using Error = Failable<CSVDecoder>::Error;

  /// Everything a decode call works by.
  using Configuration = DecoderConfiguration;
  /// Edits a default configuration in place.
  using Setter = std::function<void(Configuration&)>;

  class Lazy;

  /// A decoder with the configuration `initial`.
  explicit CSVDecoder(Configuration initial = {}) : configuration(std::move(initial)) {}
  /// A decoder with the default configuration as `setter` edits it.
  explicit CSVDecoder(const Setter& setter) { setter(configuration); }

  /// Used by every later decode call, which takes a copy when it starts.
  Configuration configuration;
  /// Handed to every type being decoded, through `Decoder::userInfo()`.
  CodingUserInfo userInfo;

  /// A `T` decoded from UTF-8 text, bytes, a file or a stream. Rows after those `T` reads are left unread.
  ///@{
  template <class T>
  [[nodiscard]] T decodeText(std::string text) const {
    return decodeFrom<T>(CSVReader::fromText(std::move(text), configuration.readerConfiguration));
  }
  template <class T>
  [[nodiscard]] T decodeData(Data data) const {
    return decodeFrom<T>(CSVReader::fromData(std::move(data), configuration.readerConfiguration));
  }
  template <class T>
  [[nodiscard]] T decodeData(std::span<const std::byte> data) const {
    return decodeFrom<T>(CSVReader::fromData(data, configuration.readerConfiguration));
  }
  template <class T>
  [[nodiscard]] T decodeFile(const std::filesystem::path& path) const {
    return decodeFrom<T>(CSVReader::fromFile(path, configuration.readerConfiguration));
  }
  template <class T>
  [[nodiscard]] T decodeStream(std::shared_ptr<InputStream> stream) const {
    return decodeFrom<T>(CSVReader::fromStream(std::move(stream), configuration.readerConfiguration));
  }
  ///@}

  /// A decoder of one row at a time over the same inputs. It takes a copy of the configuration and the
  /// user info when it is made.
  ///@{
  [[nodiscard]] Lazy makeLazyText(std::string text) const;
  [[nodiscard]] Lazy makeLazyData(Data data) const;
  [[nodiscard]] Lazy makeLazyData(std::span<const std::byte> data) const;
  [[nodiscard]] Lazy makeLazyFile(const std::filesystem::path& path) const;
  [[nodiscard]] Lazy makeLazyStream(std::shared_ptr<InputStream> stream) const;
  ///@}

 private:
  template <class T>
  T decodeFrom(CSVReader reader) const {
    std::optional<T> value;
    decodeRoot(std::move(reader), [&](Decoder& decoder) { value.emplace(Coding<T>::decode(decoder)); });
    return *std::move(value);
  }
  void decodeRoot(CSVReader reader, const detail::DecodeWith& with) const;
  Lazy makeLazy(CSVReader reader) const;
};

/// Decodes rows one at a time, in order, and is a range of them. Under the `sequential` buffering strategy
/// its memory stays flat however long the input.
///
/// ```cpp
/// auto lazy = decoder.makeLazyFile("places.csv");
/// while (auto row = lazy.decodeIfPresent<CSVRow>()) store(*row);
/// for (auto& row : decoder.makeLazyText(text)) rows.push_back(row.decode<CSVRow>());
/// ```
class CSVDecoder::Lazy {
 public:
  /// One row, ready to be decoded.
  class Row {
   public:
    /// The row as a `T`.
    template <class T>
    [[nodiscard]] T decode() {
      return Coding<T>::decode(*decoder_);
    }
    /// A decoder positioned at the row, whose path is the row's position.
    Decoder& decoder() { return *decoder_; }

   private:
    friend class Lazy;
    explicit Row(std::unique_ptr<Decoder> decoder) : decoder_(std::move(decoder)) {}
    std::unique_ptr<Decoder> decoder_;
  };

  /// The next row, or nothing at the end of the input.
  [[nodiscard]] std::optional<Row> next();
  /// The next row as a `T`; throws `CSVError<CSVDecoder>` (`invalidPath`) at the end. The row counts as
  /// read even when decoding it fails.
  template <class T>
  [[nodiscard]] T decode() {
    return nextRow().decode<T>();
  }
  /// Nothing at the end, else `decode<T>()`.
  template <class T>
  [[nodiscard]] std::optional<T> decodeIfPresent() {
    if (atEnd()) return std::nullopt;
    return decode<T>();
  }
  /// Passes over the next row, if there is one.
  void skipRow();

  /// Taking rows with a range-for: each step takes the next row, as `next()` does.
  class iterator {
   public:
    /// Standard input-iterator members.
    ///@{
    using iterator_category = std::input_iterator_tag;
    using value_type = Row;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    Row& operator*() const { return *row_; }
    Row* operator->() const { return &*row_; }
    iterator& operator++() {
      row_ = lazy_->next();
      return *this;
    }
    void operator++(int) { ++*this; }
    ///@}
    /// True past the last row.
    friend bool operator==(const iterator& it, std::default_sentinel_t) { return !it.row_; }

   private:
    friend class Lazy;
    explicit iterator(Lazy* lazy) : lazy_(lazy), row_(lazy->next()) {}
    Lazy* lazy_ = nullptr;
    mutable std::optional<Row> row_;
  };
  /// Starts at the next row.
  iterator begin() { return iterator(this); }
  /// The end of the rows.
  std::default_sentinel_t end() const noexcept { return {}; }

 private:
  friend class CSVDecoder;
  explicit Lazy(std::shared_ptr<detail::ShadowDecoderSource> source) : source_(std::move(source)) {}
  bool atEnd();
  Row nextRow();
  std::shared_ptr<detail::ShadowDecoderSource> source_;
  std::int64_t currentIndex_ = 0;
};

}  // namespace tamrikcsv
