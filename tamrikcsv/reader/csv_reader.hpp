#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tamrikcsv/reader/file_view.hpp"
#include "tamrikcsv/reader/input_stream.hpp"
#include "tamrikcsv/reader/reader_configuration.hpp"
#include "tamrikcsv/reader/reader_error.hpp"
#include "tamrikcsv/text/detail/packed_fields.hpp"

namespace tamrikcsv {

/// A streaming CSV reader: a pull parser that hands out one row of text fields per call.
///
/// It reads text, bytes, files and input streams in ASCII, UTF-8, UTF-16 and UTF-32 (a byte-order mark
/// decides when no encoding is configured), holding no more than the current row in memory. Fields may
/// be enclosed in the escaping scalar; delimiters may be several scalars long. Every failure is a
/// `CSVError<CSVReader>`; once reading failed, every later read raises the same error. Every factory takes
/// either a configuration or a setter that edits the default one, and throws `CSVError<CSVReader>`
/// (`invalidConfiguration`) when the configuration fails a check.
///
/// ```cpp
/// auto reader = CSVReader::fromFile("places.csv", [](CSVReader::Configuration& c) {
///   c.headerStrategy = Strategy::Header::firstLine;
/// });
/// for (auto& row : reader) std::cout << row[0] << '\n';
/// ```
class CSVReader {
 public:
  /// The kinds of `CSVError<CSVReader>`.
  using Error = Failable<CSVReader>::Error;
  /// What a reader is told about its input.
  using Configuration = ReaderConfiguration;
  /// The checked values a reader works from.
  using Settings = ReaderSettings;
  /// Edits a default configuration in place.
  using Setter = std::function<void(Configuration&)>;
  /// The fields of one row, as UTF-8 text whatever the input's encoding.
  using Row = std::vector<std::string>;

  /// The fields of one row in a single buffer, seen as views into it: what `readRow(Fields&)` fills, with
  /// the same fields and errors as a `Row`. Reading into one `Fields` row after row reuses its memory and
  /// copies each field once, which is cheaper than filling a `Row`'s strings. The views stay valid until
  /// the next read into it, or until it is moved.
  ///
  /// ```cpp
  /// CSVReader::Fields fields;
  /// while (reader.readRow(fields))
  ///   for (std::string_view field : fields) std::cout << field << '\n';
  /// ```
  class Fields {
   public:
    /// No fields.
    Fields() = default;
    /// A copy of the fields.
    ///@{
    Fields(const Fields&) = default;
    Fields& operator=(const Fields&) = default;
    ///@}
    /// A moved-from `Fields` is empty, and may be read into again.
    ///@{
    Fields(Fields&& other) noexcept
        : text_(std::move(other.text_)),
          length_(std::exchange(other.length_, 0)),
          ends_(std::move(other.ends_)),
          count_(std::exchange(other.count_, 0)) {}
    Fields& operator=(Fields&& other) noexcept {
      text_ = std::move(other.text_);
      length_ = std::exchange(other.length_, 0);
      ends_ = std::move(other.ends_);
      count_ = std::exchange(other.count_, 0);
      return *this;
    }
    ///@}
    /// The number of fields.
    std::size_t size() const noexcept { return count_; }
    /// Whether there are no fields: before the first read and after the last.
    bool empty() const noexcept { return count_ == 0; }
    /// The field at `index`, which must be below `size()`.
    std::string_view operator[](std::size_t index) const noexcept { return packed()[index]; }
    /// The fields as the record decoder reads them, valid as long as views of them are.
    detail::PackedFields packed() const noexcept { return {text_.data(), ends_.data()}; }
    /// No fields.
    void clear() noexcept {
      length_ = 0;
      count_ = 0;
    }

    /// The fields in order, as views.
    class iterator {
     public:
      /// Standard forward-iterator members.
      ///@{
      using iterator_category = std::forward_iterator_tag;
      using value_type = std::string_view;
      using reference = std::string_view;
      using difference_type = std::ptrdiff_t;
      iterator() = default;
      std::string_view operator*() const noexcept { return (*fields_)[index_]; }
      iterator& operator++() noexcept {
        ++index_;
        return *this;
      }
      iterator operator++(int) noexcept {
        iterator before = *this;
        ++index_;
        return before;
      }
      friend bool operator==(const iterator&, const iterator&) = default;
      ///@}

     private:
      friend class Fields;
      iterator(const Fields* fields, std::size_t index) : fields_(fields), index_(index) {}
      const Fields* fields_ = nullptr;
      std::size_t index_ = 0;
    };
    /// The first field.
    iterator begin() const noexcept { return iterator(this, 0); }
    /// Past the last field.
    iterator end() const noexcept { return iterator(this, size()); }

   private:
    friend class CSVReader;
    // The fields in text_[0, length_), laid out as `PackedFields` says (the byte after a field is its
    // delimiter when a row is copied whole), with ends_[i + 1] the end of field i, i < count_. Both grow and
    // never shrink, so that reading the next row allocates nothing.
    std::string text_;
    std::size_t length_ = 0;
    std::vector<std::size_t> ends_;
    std::size_t count_ = 0;
  };

  /// Rows handed out so far (the header row included) and the number of fields every row must have.
  struct Count {
    std::int64_t rows = 0;    ///< Rows handed out so far, the header row included.
    std::int64_t fields = 0;  ///< Fields per row, set by the first row; 0 before it.
    /// Equal when both numbers are.
    friend bool operator==(const Count&, const Count&) = default;
  };

  /// `active` while rows may follow; `finished` at the end of the input; `failed` with the error that
  /// stopped the reader. Both of the last two are final.
  struct Status {
    /// The reader's states.
    enum class Kind { active, finished, failed };
    Kind kind = Kind::active;                  ///< The reader's state.
    std::optional<CSVError<CSVReader>> error;  ///< The error that stopped the reader, when `failed`.
  };

  /// A reader over UTF-8 text. Invalid UTF-8 is reported when the reader reaches it.
  ///@{
  [[nodiscard]] static CSVReader fromText(std::string text, const Configuration& configuration = {});
  [[nodiscard]] static CSVReader fromText(std::string text, const Setter& setter);
  ///@}
  /// A reader over bytes: the configured encoding, else the byte-order mark, else UTF-8. A span is copied.
  ///@{
  [[nodiscard]] static CSVReader fromData(Data data, const Configuration& configuration = {});
  [[nodiscard]] static CSVReader fromData(Data data, const Setter& setter);
  [[nodiscard]] static CSVReader fromData(std::span<const std::byte> data,
                                          const Configuration& configuration = {});
  [[nodiscard]] static CSVReader fromData(std::span<const std::byte> data, const Setter& setter);
  ///@}
  /// A reader over a file, read in chunks (or whole, with `presample`). Where there is more than one
  /// processor, a file of 16 MiB or more is read ahead, a few chunks at a time, on a thread that the reader
  /// starts, and stops when it ends or goes away.
  ///@{
  [[nodiscard]] static CSVReader fromFile(const std::filesystem::path& path,
                                          const Configuration& configuration = {});
  [[nodiscard]] static CSVReader fromFile(const std::filesystem::path& path, const Setter& setter);
  ///@}
  /// A reader over a stream, which it opens, reads lazily in chunks of 1024 bytes, and closes at its end
  /// or when the reader goes away. `InputStream::standardInput()` reads standard input. Throws
  /// `std::invalid_argument` for a null stream.
  ///@{
  [[nodiscard]] static CSVReader fromStream(std::shared_ptr<InputStream> stream,
                                            const Configuration& configuration = {});
  [[nodiscard]] static CSVReader fromStream(std::shared_ptr<InputStream> stream, const Setter& setter);
  ///@}

  /// A moved-from reader reads no rows and is `finished`.
  ///@{
  CSVReader(CSVReader&&) noexcept;
  CSVReader& operator=(CSVReader&&) noexcept;
  ///@}
  ~CSVReader();

  /// The next row, or nothing at the end of the input.
  [[nodiscard]] std::optional<Row> readRow();
  /// Fills `row` with the next row, reusing its strings; false (and `row` emptied) at the end of the input.
  [[nodiscard]] bool readRow(Row& row);
  /// Fills `fields` with the next row, reusing its buffer; false (and `fields` emptied) at the end of the
  /// input. The rows and errors are those of `readRow(Row&)`.
  [[nodiscard]] bool readRow(Fields& fields);
  /// The next row as a `Record`, whose fields can be looked up by header title.
  [[nodiscard]] std::optional<Record> readRecord();

  /// The configuration the reader was made with.
  const Configuration& configuration() const noexcept;
  /// The header row's fields; empty without a header row.
  const Row& headers() const noexcept;
  /// The header lookup, made by the first `readRecord()`; null before.
  std::shared_ptr<const HeaderLookup> headerLookup() const noexcept;
  /// How many rows were handed out so far, and how many fields each has.
  Count count() const noexcept;
  /// Whether rows may follow, the input ended, or reading failed (and with what error).
  const Status& status() const noexcept;
  /// How much of the input the rows handed out so far took, from 0 to 1: for a progress bar, or to
  /// estimate how many rows follow. Known for text, for UTF-8 and ASCII bytes (presampled streams
  /// included) and for UTF-8 files of known size, and 1 once the reader stopped; nothing for other
  /// streams and for input in other encodings.
  ///
  /// ```cpp
  /// auto reader = CSVReader::fromFile("places.csv");
  /// while (auto row = reader.readRow()) bar.setValue(reader.progress().value_or(0));
  /// ```
  std::optional<double> progress() const noexcept;

  /// Reading rows with a range-for. A read that fails throws from the increment.
  class iterator {
   public:
    /// Standard input-iterator members.
    ///@{
    using iterator_category = std::input_iterator_tag;
    using value_type = Row;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    Row& operator*() const { return row_; }
    Row* operator->() const { return &row_; }
    iterator& operator++();
    void operator++(int) { ++*this; }
    ///@}
    /// True past the last row.
    friend bool operator==(const iterator& it, std::default_sentinel_t) { return it.reader_ == nullptr; }

   private:
    friend class CSVReader;
    explicit iterator(CSVReader* reader) : reader_(reader) { ++*this; }
    CSVReader* reader_ = nullptr;
    mutable Row row_;
  };
  /// Reads the next row; the iterator reuses one row's strings from row to row.
  iterator begin() { return iterator(this); }
  /// The end of the rows.
  std::default_sentinel_t end() const noexcept { return {}; }

  /// Reads a whole input into a `FileView`, from the same inputs as `fromText` and its siblings. Throws what
  /// reading throws, and `CSVError<CSVReader>` (`invalidInput`) when a header title repeats.
  ///@{
  [[nodiscard]] static FileView decodeText(std::string text, const Configuration& configuration = {});
  [[nodiscard]] static FileView decodeText(std::string text, const Setter& setter);
  [[nodiscard]] static FileView decodeData(Data data, const Configuration& configuration = {});
  [[nodiscard]] static FileView decodeData(Data data, const Setter& setter);
  [[nodiscard]] static FileView decodeData(std::span<const std::byte> data,
                                           const Configuration& configuration = {});
  [[nodiscard]] static FileView decodeData(std::span<const std::byte> data, const Setter& setter);
  [[nodiscard]] static FileView decodeFile(const std::filesystem::path& path,
                                           const Configuration& configuration = {});
  [[nodiscard]] static FileView decodeFile(const std::filesystem::path& path, const Setter& setter);
  [[nodiscard]] static FileView decodeStream(std::shared_ptr<InputStream> stream,
                                             const Configuration& configuration = {});
  [[nodiscard]] static FileView decodeStream(std::shared_ptr<InputStream> stream, const Setter& setter);
  ///@}

 private:
  struct Impl;
  explicit CSVReader(std::unique_ptr<Impl> impl);
  static FileView decode(CSVReader reader);
  std::unique_ptr<Impl> impl_;
};

}  // namespace tamrikcsv
