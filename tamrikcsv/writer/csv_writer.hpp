#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <ranges>
#include <string>
#include <string_view>
#include <vector>

#include "tamrikcsv/text/data.hpp"
#include "tamrikcsv/writer/output_stream.hpp"
#include "tamrikcsv/writer/writer_configuration.hpp"
#include "tamrikcsv/writer/writer_error.hpp"

namespace tamrikcsv {

namespace detail {
class ShadowEncoderSink;
struct PlainValue;
}  // namespace detail

/// A range of fields: anything whose elements convert to `std::string_view`.
template <class R>
concept FieldRange = std::ranges::forward_range<R> &&
    std::convertible_to<std::ranges::range_reference_t<R>, std::string_view> &&
    !std::convertible_to<R, std::string_view>;

/// Whether a file writer replaces the file or adds to its end.
enum class FileMode { replace, append };

/// A CSV writer: fields go out one by one, escaped where they need it, every row with the same number of
/// fields (short rows are padded with empty fields).
///
/// Writing a file keeps memory flat. Every failure is a `CSVError<CSVWriter>`. An operation that fails takes
/// back what it did (a field that cannot be encoded leaves no trace), so the output stays well-formed and
/// writing can go on; what earlier operations wrote stays written, also when the stream itself fails.
///
/// ```cpp
/// auto writer = CSVWriter::toFile("places.csv", [](CSVWriter::Configuration& c) {
///   c.headers = {"Place ID", "Place Name"};
/// });
/// writer.writeRow({"P1", "Desk, by the window"});  // the second field is enclosed in quotes
/// writer.endEncoding();
/// ```
class CSVWriter {
 public:
  /// The kinds of `CSVError<CSVWriter>`.
  using Error = Failable<CSVWriter>::Error;
  /// What a writer is told about its output.
  using Configuration = WriterConfiguration;
  /// The checked values a writer works from.
  using Settings = WriterSettings;
  /// Edits a default configuration in place.
  using Setter = std::function<void(Configuration&)>;

  /// A writer into memory; `data()` gives the bytes after `endEncoding()`.
  ///@{
  [[nodiscard]] static CSVWriter toMemory(const Configuration& configuration = {});
  [[nodiscard]] static CSVWriter toMemory(const Setter& setter);
  ///@}
  /// A writer into a file, replacing it or appending to it (an appending writer writes no byte-order mark).
  /// A writer that cannot be made leaves the file as it was.
  ///@{
  [[nodiscard]] static CSVWriter toFile(const std::filesystem::path& path,
                                        const Configuration& configuration = {},
                                        FileMode mode = FileMode::replace);
  [[nodiscard]] static CSVWriter toFile(const std::filesystem::path& path, const Setter& setter,
                                        FileMode mode = FileMode::replace);
  ///@}
  /// A writer into any output stream, which it opens; `endEncoding()` closes it. Throws
  /// `std::invalid_argument` for a null stream.
  ///@{
  [[nodiscard]] static CSVWriter toStream(std::shared_ptr<OutputStream> stream,
                                          const Configuration& configuration = {});
  [[nodiscard]] static CSVWriter toStream(std::shared_ptr<OutputStream> stream, const Setter& setter);
  ///@}

  /// A moved-from writer has no output: all but the getters throw `std::logic_error` on it. A writer that is
  /// assigned over is first ended as its destructor ends it.
  ///@{
  CSVWriter(CSVWriter&&) noexcept;
  CSVWriter& operator=(CSVWriter&&) noexcept;
  ///@}
  /// Ends a row that has fields and closes the stream, if `endEncoding()` did not; errors go unreported.
  ~CSVWriter();

  /// Writes one field (UTF-8 text) into the current row.
  void writeField(std::string_view field);
  /// Writes fields into the current row, all or none of them: if they don't fit or one cannot be written,
  /// nothing is.
  ///@{
  template <FieldRange R>
  void writeFields(const R& fields) {
    writeFieldList(collect(fields), false);
  }
  void writeFields(std::initializer_list<std::string_view> fields) { writeFields<>(fields); }
  ///@}
  /// Writes fields, then ends the row; all or nothing, as `writeFields`.
  ///@{
  template <FieldRange R>
  void writeRow(const R& fields) {
    writeFieldList(collect(fields), true);
  }
  void writeRow(std::initializer_list<std::string_view> fields) { writeRow<>(fields); }
  ///@}
  /// Ends the current row, padding it with empty fields; a row without fields is an empty row.
  void endRow();
  /// Writes a row of empty fields at the start of a row; the number of fields must be known (from the
  /// headers or a first row).
  void writeEmptyRow();
  /// Ends a row that has fields and closes the stream. Calling it again does nothing.
  void endEncoding();
  /// The bytes of an in-memory writer, byte-order mark included; only after `endEncoding()`.
  const Data& data() const;

  /// Tells a writer into memory that about `rows` more rows follow, so that when its memory runs out it
  /// grows once to what those rows are expected to take (by the length of the rows so far) rather than
  /// by doubling. A hint: other outputs ignore it, and more or fewer rows are no error.
  ///
  /// ```cpp
  /// auto writer = CSVWriter::toMemory();
  /// writer.expectRows(static_cast<std::int64_t>(rows.size()));
  /// for (const auto& row : rows) writer.writeRow(row);
  /// ```
  void expectRows(std::int64_t rows);

  /// Rows completed, the header row not counted.
  std::int64_t rowIndex() const noexcept { return impl_ ? counts_->rowIndex : 0; }
  /// Fields written in the current row.
  std::int64_t fieldIndex() const noexcept { return impl_ ? counts_->fieldIndex : 0; }
  /// The number of fields every row has; 0 until the first row ends.
  std::int64_t expectedFields() const noexcept { return impl_ ? counts_->expectedFields : 0; }
  /// The configuration the writer was made with; the default one for a moved-from writer.
  const Configuration& configuration() const noexcept;
  /// The checked values the writer works from; the defaults for a moved-from writer.
  const Settings& settings() const noexcept;

  /// Writes all rows into memory and returns the bytes.
  ///@{
  template <std::ranges::input_range Rows>
  [[nodiscard]] static Data encodeData(const Rows& rows, const Configuration& configuration = {}) {
    auto writer = toMemory(configuration);
    for (const auto& row : rows) writer.writeRow(row);
    writer.endEncoding();
    return writer.takeData();
  }
  template <std::ranges::input_range Rows>
  [[nodiscard]] static Data encodeData(const Rows& rows, const Setter& setter) {
    return encodeData(rows, configured(setter));
  }
  ///@}
  /// Writes all rows into memory and returns them as UTF-8 text.
  ///@{
  template <std::ranges::input_range Rows>
  [[nodiscard]] static std::string encodeString(const Rows& rows, const Configuration& configuration = {}) {
    return toText(encodeData(rows, configuration), configuration.encoding.value_or(TextEncoding::utf8));
  }
  template <std::ranges::input_range Rows>
  [[nodiscard]] static std::string encodeString(const Rows& rows, const Setter& setter) {
    return encodeString(rows, configured(setter));
  }
  ///@}
  /// Writes all rows into a file.
  ///@{
  template <std::ranges::input_range Rows>
  static void encodeFile(const Rows& rows, const std::filesystem::path& path,
                         const Configuration& configuration = {}, FileMode mode = FileMode::replace) {
    auto writer = toFile(path, configuration, mode);
    for (const auto& row : rows) writer.writeRow(row);
    writer.endEncoding();
  }
  template <std::ranges::input_range Rows>
  static void encodeFile(const Rows& rows, const std::filesystem::path& path, const Setter& setter,
                         FileMode mode = FileMode::replace) {
    encodeFile(rows, path, configured(setter), mode);
  }
  ///@}

 private:
  // The record encoder takes the bytes of a one-shot encode instead of copying them, and writes numbers in
  // place.
  friend class detail::ShadowEncoderSink;
  // Where the writer stands; asked for per field by the record encoder, so read without a call.
  struct Counts {
    std::int64_t rowIndex = 0, fieldIndex = 0, expectedFields = 0;
  };
  struct Impl;
  explicit CSVWriter(std::unique_ptr<Impl> impl);
  static CSVWriter create(const Configuration& configuration, std::shared_ptr<OutputStream> stream,
                          MemoryOutputStream* memory, bool ownStream, bool appending);
  static Configuration configured(const Setter& setter);
  static std::string toText(const Data& data, TextEncoding encoding);
  template <FieldRange R>
  std::vector<std::string_view>& collect(const R& fields) {
    auto& views = fieldViews();
    views.clear();
    for (auto&& field : fields) views.emplace_back(field);
    return views;
  }
  std::vector<std::string_view>& fieldViews();
  void writeFieldList(const std::vector<std::string_view>& fields, bool endsRow);
  Data takeData();
  // For the record encoder: writes a number as the current row's next field, formatted straight into the
  // output, where its text goes out as it is (no delimiter or escaping byte can occur in it) on the quick
  // path. False, with nothing written, when it must take `writeField` instead, as a double does outside
  // the plain range.
  bool writeNumberField(std::int64_t value);
  bool writeNumberField(std::uint64_t value);
  bool writeNumberField(double value);
  // For the record encoder: a run of fields of the current row in one go on the quick path, after ending
  // the row first when `endsRowFirst` (the fields then start the next); texts checked and escaped and
  // numbers formatted straight into the output, the row's bookkeeping done once. False, with nothing
  // written, when any of them must take `writeField` or `writeNumberField` instead (the writer is not on
  // the quick path, a number's text would need escaping, a text is not valid UTF-8, a double lies outside
  // the plain range, a value is absent), when they would not fit the row, or when the row cannot end
  // quickly (`endRow` then ends it).
  bool writeFastFields(const detail::PlainValue* values, std::size_t count, bool endsRowFirst);
  inline Impl& impl() const;  // defined where it is used, in the writer's source

  std::unique_ptr<Impl> impl_;
  const Counts* counts_ = nullptr;  // inside `impl_`
};

}  // namespace tamrikcsv
