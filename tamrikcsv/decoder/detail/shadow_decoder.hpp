#pragma once

// The decoding state of a CSV decode call. Its coding path says which level of the CSV it stands at: the
// whole file (empty), one row (one key, the row's position) or one field (a row key and a field key, by
// position or by header title). Not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/coding/detail/header_lookup.hpp"
#include "tamrikcsv/decoder/csv_decoder.hpp"

namespace tamrikcsv::detail {

/// What every state and container of one decode call shares: the reader, the rows read so far, the
/// configuration and the header lookup.
class ShadowDecoderSource {
 public:
  ShadowDecoderSource(CSVReader reader, CSVDecoder::Configuration configuration, CodingUserInfo userInfo);

  const CSVDecoder::Configuration& configuration() const noexcept { return configuration_; }
  const CodingUserInfo& userInfo() const noexcept { return userInfo_; }
  const CSVReader::Row& headers() const noexcept { return headers_; }
  /// Data rows read from the reader so far (the header row not counted).
  std::int64_t rowsRead() const noexcept { return rowsRead_; }
  /// Whether the reader may still hand out rows.
  bool isReaderActive() const noexcept;
  /// How much of its input the reader has parsed, when it can tell.
  std::optional<double> readerProgress() const noexcept { return reader_.progress(); }

  /// The text of a field, reading rows as far as needed; throws the decoder's path and buffer errors and
  /// the reader's errors.
  std::string_view field(std::int64_t row, std::int64_t field) {
    // Records mostly read the fields of the row read last.
    if (row == rowsRead_ - 1 && lastRowStored_ && field >= 0 &&
        static_cast<std::size_t>(field) < lastRow().size())
      return lastRow()[static_cast<std::size_t>(field)];
    return fieldElsewhere(row, field);
  }
  /// Whether there is no row at `row`; reads rows up to it. Reader errors pass through.
  bool isPastEnd(std::int64_t row);
  /// Whether a row exists at `row`; reads rows up to it. Reader errors count as "no".
  bool hasRow(std::int64_t row);
  /// The number of fields of every row; 0 when there are none.
  std::int64_t fieldsPerRow();

  /// The field position of a key: its integer, else the header with its text. `at` gives the coding path
  /// for errors.
  std::int64_t fieldPosition(const KeyArgument& key, const Decoder& at) {
    if (key.enumeration && key.enumeration == resolvedEnumeration_) {
      std::int64_t position = resolvedPositions_[key.ordinal];
      if (position >= 0) return position;
    }
    return resolveFieldPosition(key, at);
  }
  /// Whether some header has the key's text.
  bool isHeader(const KeyArgument& key);
  /// What `FieldRowReader::directPositions` answers for the row `row`.
  const std::int64_t* directPositions(const std::vector<CodingKey>& keys, std::int64_t row);

  /// The texts of the row read last.
  PackedFields lastRowTexts() const noexcept { return lastRow().packed(); }

  /// The decimal separator of the decimal strategy's locale, asked of the locale once.
  char32_t decimalSeparator();

 private:
  std::string_view fieldElsewhere(std::int64_t row, std::int64_t field);
  std::int64_t resolveFieldPosition(const KeyArgument& key, const Decoder& at);
  bool readNext();  // reads and stores the next row; false at the end of the input
  HeaderLookup& headerLookup();

  CSVReader reader_;
  CSVDecoder::Configuration configuration_;
  CodingUserInfo userInfo_;
  CSVReader::Row headers_;
  std::optional<HeaderLookup> headerLookup_;  // made when a key first needs it
  // The enumeration whose keys resolved to headers last, and its positions: a key found there needs no
  // further check, since a lookup that succeeded once always will.
  const void* resolvedEnumeration_ = nullptr;
  const std::int64_t* resolvedPositions_ = nullptr;
  // The record keys whose positions `directPositions` last found all resolved, and those positions.
  const void* directKeys_ = nullptr;
  const std::int64_t* directPositions_ = nullptr;
  std::optional<char32_t> decimalSeparator_;

  // Every row read, under `keepAll`: the texts packed into large blocks and viewed from one list, rather
  // than a vector of strings per row, so that keeping a million rows costs little more than their text.
  class Archive {
   public:
    void append(const CSVReader::Fields& row);
    std::int64_t rows() const noexcept { return static_cast<std::int64_t>(rowStarts_.size()) - 1; }
    std::span<const std::string_view> row(std::int64_t position) const noexcept;

   private:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* next_ = nullptr;  // where the next text goes in the last block
    std::size_t blockFree_ = 0;
    std::vector<std::string_view> fields_;
    std::vector<std::size_t> rowStarts_{0};  // the first field of each row in `fields_`, and the end
  };

  Archive archive_;
  std::int64_t rowsRead_ = 0;  // kept here, so the per-field path needn't ask the reader
  // The row at `rowsRead_ - 1`. It stays stored until `sequential` drops it to read ahead.
  // It is rows_[last_]; the next row is read into the other, whose views are dropped by then. Fields rather
  // than a Row: 2% fewer instructions in decoding the places file.
  const CSVReader::Fields& lastRow() const noexcept { return rows_[last_]; }
  CSVReader::Fields rows_[2];
  std::size_t last_ = 0;
  bool lastRowStored_ = false;
};

/// The decoding state: a source and a coding path.
class ShadowDecoder final : public Decoder {
 public:
  using Source = ShadowDecoderSource;

  ShadowDecoder(std::shared_ptr<Source> source, CodingPath codingPath)
      : source_(std::move(source)), codingPath_(std::move(codingPath)) {}
  /// The state of the row at `row`. Its path, the row's key alone, is made only when asked for: most
  /// rows decode without anyone asking.
  static ShadowDecoder forRow(std::shared_ptr<Source> source, std::int64_t row) {
    ShadowDecoder decoder(std::move(source), {});
    decoder.row_ = row;
    return decoder;
  }

  /// Stands at the row at `row` instead, as `forRow` makes a decoder.
  void moveToRow(std::int64_t row) {
    codingPath_.clear();
    row_ = row;
  }

  const CodingPath& codingPath() const override;
  const CodingUserInfo& userInfo() const override { return source_->userInfo(); }
  const std::shared_ptr<Source>& source() const noexcept { return source_; }

  std::unique_ptr<KeyedDecodingBackend> keyedBackend() override;
  std::unique_ptr<UnkeyedDecodingBackend> unkeyedBackend() override;
  std::unique_ptr<SingleValueDecodingBackend> singleValueBackend() override;
  /// At a row, by its integer key or as a row's state.
  std::optional<FieldRowReader> fieldRowReader() override;

 private:
  std::shared_ptr<Source> source_;
  mutable CodingPath codingPath_;
  std::optional<std::int64_t> row_;  // a row's state whose path is not made yet
};

}  // namespace tamrikcsv::detail
