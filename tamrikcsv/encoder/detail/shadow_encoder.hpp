#pragma once

// The encoding state of a CSV encode call. Its coding path says which level of the CSV it stands at: the
// whole file (empty), one row (one key, the row's position) or one field (a row key and a field key, by
// position or by header title). Not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tamrikcsv/coding/detail/header_lookup.hpp"
#include "tamrikcsv/coding/encoder.hpp"
#include "tamrikcsv/encoder/csv_encoder.hpp"

namespace tamrikcsv::detail {

/// What every state and container of one encode call shares: the writer, the values waiting for their
/// turn, the configuration and the header lookup. The writer only moves forward, so a value reaches it
/// only once every field before it has; under the buffering strategy the others wait here or are refused.
class ShadowEncoderSink {
 public:
  ShadowEncoderSink(CSVWriter writer, CSVEncoder::Configuration configuration, CodingUserInfo userInfo);

  const CSVEncoder::Configuration& configuration() const noexcept { return configuration_; }
  const CodingUserInfo& userInfo() const noexcept { return userInfo_; }
  const CSVWriter& writer() const noexcept { return writer_; }
  /// The strategy in effect: `assembled` works as `keepAll` without a header row.
  Strategy::EncodingBuffer strategy() const noexcept { return strategy_; }

  /// Places a field's text at (row, field): writes it or keeps it for later, by the strategy. Throws the
  /// encoder's path error for a position the writer has passed, and the writer's errors. Inlined into each
  /// value's path, as nearly every field takes it.
  [[gnu::always_inline]] void fieldValue(std::string_view text, std::int64_t row, std::int64_t field) {
    if (!goesStraightOut(row, field)) return placeFieldValue(text, row, field);
    writer_.writeField(text);
    fieldWritten();
  }
  /// Places a number at (row, field) when it goes straight out, formatted into the writer's output. False,
  /// with nothing written, when the number must take `fieldValue` instead.
  template <class Number>
  bool numberValue(Number value, std::int64_t row, std::int64_t field) {
    if (!goesStraightOut(row, field) || !writer_.writeNumberField(value)) return false;
    fieldWritten();
    return true;
  }
  /// A declared record's row of plain values at `row`, `keys` naming their fields
  /// (`FieldRowWriter::encodeRow`): written in one go when each value would go straight out in turn and the
  /// writer takes them all. False, with nothing written, otherwise.
  bool plainRow(std::int64_t row, std::span<const PlainValue> values, const std::vector<CodingKey>& keys);
  /// The field position of a key: its integer, else the header with its text. `path` gives the coding path
  /// for errors.
  template <class PathOf>
  std::int64_t fieldPosition(const KeyArgument& key, const PathOf& path) {
    std::int64_t position = knownFieldPosition(key);
    return position >= 0 ? position : resolveFieldPosition(key, path());
  }
  /// The field position of a key of the enumeration resolved last, or -1 when it needs resolving.
  std::int64_t knownFieldPosition(const KeyArgument& key) const noexcept {
    if (key.enumeration && key.enumeration == resolvedEnumeration_) return resolvedPositions_[key.ordinal];
    return -1;
  }
  /// Writes every value still waiting, in row and field order, finishes the last row and closes the
  /// output. Does nothing once the output is closed.
  void flushAndFinish();

  /// The number of fields of every row: the writer's once a row set it, else what the first row will set
  /// when it ends, by its values placed so far (written or waiting); 0 while there are none.
  std::int64_t rowWidth() const noexcept;
  /// Rows with values waiting.
  std::int64_t storedRows() const noexcept { return static_cast<std::int64_t>(rows_.size()); }
  /// Values waiting in `row`.
  std::int64_t storedFields(std::int64_t row) const noexcept;
  /// The decimal separator of the decimal strategy's locale, asked of the locale once.
  char32_t decimalSeparator();
  /// Tells the writer how many more rows to expect.
  void expectRows(std::int64_t rows) { writer_.expectRows(rows); }
  /// Reused for the text of each converted value.
  std::string& scratch() noexcept { return scratch_; }

  /// The bytes of a writer into memory, once finished.
  Data takeData();
  /// The same bytes, moved out: for an encode whose sink nobody asks again.
  Data releaseData();

 private:
  // The waiting values of one row: their texts one after another, and where each field's text lies, in
  // field order.
  struct Slot {
    std::int64_t field;
    std::size_t begin, size;
  };
  struct BufferedRow {
    std::string text;
    std::vector<Slot> slots;
    void put(std::int64_t field, std::string_view value);
  };

  // Whether a value at (row, field) goes to the writer at once, as most do since records mostly come in
  // order: it is the writer's next field and nothing waits. Under `sequential` it may also start the next
  // row, which leaves the writer's row: that row is ended here.
  [[gnu::always_inline]] bool goesStraightOut(std::int64_t row, std::int64_t field) {
    if (strategy_ == Strategy::EncodingBuffer::keepAll || !rows_.empty()) return false;
    if (row == writer_.rowIndex() && field == writer_.fieldIndex()) return true;
    if (strategy_ != Strategy::EncodingBuffer::sequential || field != 0 || row != writer_.rowIndex() + 1)
      return false;
    writer_.endRow();
    return true;
  }
  // After a field that went straight out: under `assembled` a full row ends at once.
  void fieldWritten() {
    if (strategy_ == Strategy::EncodingBuffer::assembled && writer_.fieldIndex() >= writer_.expectedFields())
      writer_.endRow();
  }
  void placeFieldValue(std::string_view text, std::int64_t row, std::int64_t field);
  std::int64_t resolveFieldPosition(const KeyArgument& key, const CodingPath& path);
  // Whether a declared record's keys name fields 0, 1, 2... in their order, each known or found by a lookup
  // that cannot fail.
  bool keysInOrder(const std::vector<CodingKey>& keys);
  bool isBehind(std::int64_t row, std::int64_t field) const noexcept;
  // Drops a row whose values are written, keeping its memory for a later one.
  void recycle(std::map<std::int64_t, BufferedRow>::iterator row);
  void store(std::string_view text, std::int64_t row, std::int64_t field);
  void placeAssembled(std::string_view text, std::int64_t row, std::int64_t field);
  void placeSequential(std::string_view text, std::int64_t row, std::int64_t field);
  // Writes waiting values of the writer's row while they are next; with `endFullRows`, full rows are ended
  // and the writing goes on into the next row.
  void drain(bool endFullRows);
  // Writes a row's waiting values in field order, empty fields filling the gaps.
  void writeRow(std::int64_t row, const BufferedRow& values);
  // Ends rows until the writer stands at the start of `row`.
  void advanceTo(std::int64_t row);

  CSVWriter writer_;
  CSVEncoder::Configuration configuration_;
  CodingUserInfo userInfo_;
  Strategy::EncodingBuffer strategy_;
  std::optional<HeaderLookup> headerLookup_;
  // The enumeration whose keys resolved to headers last, and its positions: a key found there needs no
  // further check, since a lookup that succeeded once always will.
  const void* resolvedEnumeration_ = nullptr;
  const std::int64_t* resolvedPositions_ = nullptr;
  // The declared record's keys found in order last: they stay so, as every key's position is fixed.
  const std::vector<CodingKey>* orderedKeys_ = nullptr;
  std::map<std::int64_t, BufferedRow> rows_;
  std::vector<BufferedRow> spareRows_;  // emptied rows, whose memory the next stored rows reuse
  std::size_t expectedFields_;          // the first guess of a row's width, for its slots
  std::optional<char32_t> decimalSeparator_;
  std::string scratch_;
};

/// The encoding state: a sink and a coding path.
class ShadowEncoder final : public Encoder {
 public:
  using Sink = ShadowEncoderSink;

  ShadowEncoder(std::shared_ptr<Sink> sink, CodingPath codingPath)
      : sink_(std::move(sink)), codingPath_(std::move(codingPath)) {}
  // A row's state is copied into each of its containers with its path not made yet: an empty path is
  // not worth the generic copy's call.
  ShadowEncoder(const ShadowEncoder& other)
      : Encoder(other),
        sink_(other.sink_),
        codingPath_(other.codingPath_.empty() ? CodingPath() : other.codingPath_),
        row_(other.row_) {}
  ShadowEncoder(ShadowEncoder&&) noexcept = default;
  ShadowEncoder& operator=(const ShadowEncoder&) = default;
  ShadowEncoder& operator=(ShadowEncoder&&) noexcept = default;
  /// The state of the row at `row`. Its path, the row's key alone, is made only when asked for: most
  /// rows encode without anyone asking.
  static ShadowEncoder forRow(std::shared_ptr<Sink> sink, std::int64_t row) {
    ShadowEncoder encoder(std::move(sink), {});
    encoder.row_ = row;
    return encoder;
  }

  /// Stands at the row at `row` instead, as `forRow` makes an encoder.
  void moveToRow(std::int64_t row) {
    codingPath_.clear();
    row_ = row;
  }

  const CodingPath& codingPath() const override;
  const CodingUserInfo& userInfo() const override { return sink_->userInfo(); }
  const std::shared_ptr<Sink>& sink() const noexcept { return sink_; }

  // A request the path cannot serve gives a container whose every use throws why.
  std::unique_ptr<KeyedEncodingBackend> keyedBackend() override;
  std::unique_ptr<UnkeyedEncodingBackend> unkeyedBackend() override;
  std::unique_ptr<SingleValueEncodingBackend> singleValueBackend() override;
  /// At a row, by its integer key or as a row's state.
  std::optional<FieldRowWriter> fieldRowWriter() override;

 private:
  std::shared_ptr<Sink> sink_;
  mutable CodingPath codingPath_;
  // A row's state whose path is not made yet: the row's position, else -1. A plain integer, not an optional,
  // as each of the row's containers copies it right after it is set: a copy of an optional's two words in
  // one read would wait for both writes.
  std::int64_t row_ = -1;
};

}  // namespace tamrikcsv::detail
