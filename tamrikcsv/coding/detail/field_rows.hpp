#pragma once

// The fields of one CSV row, reached by key without a container: what declared records (fields.hpp) read
// and write through when the coder stands at a row. Not part of the public interface.
//
// Each class answers exactly as a keyed container at the row does, by the same code in the CSV decoder and
// encoder (same positions, strategies and errors), and names its members as the backends of
// decoding_backend.hpp and encoding_backend.hpp do, so that `decodeAny` and `encodeAny` serve both. The
// difference is the call: these are plain member functions, resolved when compiled, where a container
// takes a virtual call for every field and an allocation for every row.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tamrikcsv/coding/detail/decoding_backend.hpp"
#include "tamrikcsv/coding/detail/encoding_backend.hpp"
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/text/detail/packed_fields.hpp"
#include "tamrikcsv/text/detail/plain_value.hpp"

namespace tamrikcsv::detail {

class ShadowDecoder;
class ShadowEncoder;

/// The fields of the row a CSV decoder stands at. Made by that decoder; lives no longer than it.
class FieldRowReader {
 public:
  FieldRowReader(const ShadowDecoder& decoder, std::int64_t row) noexcept : decoder_(&decoder), row_(row) {}

  bool contains(const KeyArgument& key) const;
  bool decodeNil(const KeyArgument& key) const;
  std::string decodeString(const KeyArgument& key) const;
  std::string_view decodeText(const KeyArgument& key) const;
  bool decodeBool(const KeyArgument& key) const;
  std::int8_t decodeInt8(const KeyArgument& key) const;
  std::int16_t decodeInt16(const KeyArgument& key) const;
  std::int32_t decodeInt32(const KeyArgument& key) const;
  std::int64_t decodeInt64(const KeyArgument& key) const;
  long long decodeInt(const KeyArgument& key) const;
  std::uint8_t decodeUInt8(const KeyArgument& key) const;
  std::uint16_t decodeUInt16(const KeyArgument& key) const;
  std::uint32_t decodeUInt32(const KeyArgument& key) const;
  std::uint64_t decodeUInt64(const KeyArgument& key) const;
  unsigned long long decodeUInt(const KeyArgument& key) const;
  float decodeFloat(const KeyArgument& key) const;
  double decodeDouble(const KeyArgument& key) const;
  Date decodeDate(const KeyArgument& key) const;
  Data decodeData(const KeyArgument& key) const;
  Decimal decodeDecimal(const KeyArgument& key) const;
  URL decodeURL(const KeyArgument& key) const;
  /// A value that decodes itself: `with` gets a decoder positioned at the field.
  void decodeValue(const KeyArgument& key, const DecodeWith& with) const;

  /// Where each of `keys` (titles alone, a record's fields) stands in the row, negative where no header
  /// has its title, when the row's texts can be taken straight: an earlier row resolved the keys, the row
  /// is the one read last, and nils are empty fields. Null otherwise; the record then reads field by
  /// field, as the first row does to resolve its keys.
  const std::int64_t* directPositions(const std::vector<CodingKey>& keys) const;
  /// The row's texts, for the positions `directPositions` gave for it.
  PackedFields directTexts() const;
  /// The number in `text`, the row's field under `key` among `directTexts()`, converted and failing as
  /// the keyed read does: for the integers, `float` and `double`, which no custom strategy reads.
  template <class T>
  T directNumber(std::string_view text, const CodingKey& key) const;

 private:
  const ShadowDecoder* decoder_;
  std::int64_t row_;
};

/// The fields of the row a CSV encoder stands at. Made by that encoder; lives no longer than it.
class FieldRowWriter {
 public:
  /// `takesRows`: whether `encodeRow` may take a row at all, which the encoder knows for its whole call.
  FieldRowWriter(const ShadowEncoder& encoder, std::int64_t row, bool takesRows) noexcept
      : encoder_(&encoder), row_(row), takesRows_(takesRows) {}

  void encodeNil(const KeyArgument& key) const;
  void encodeString(std::string_view value, const KeyArgument& key) const;
  void encodeBool(bool value, const KeyArgument& key) const;
  void encodeSigned(std::int64_t value, const KeyArgument& key) const;
  void encodeUnsigned(std::uint64_t value, const KeyArgument& key) const;
  void encodeFloat(float value, const KeyArgument& key) const;
  void encodeDouble(double value, const KeyArgument& key) const;
  void encodeDate(Date value, const KeyArgument& key) const;
  void encodeData(const Data& value, const KeyArgument& key) const;
  void encodeDecimal(const Decimal& value, const KeyArgument& key) const;
  void encodeURL(const URL& value, const KeyArgument& key) const;
  /// A value that encodes itself: `with` gets an encoder positioned at the field.
  void encodeValue(const KeyArgument& key, const EncodeWith& with) const;
  /// A whole row of plain values, one for each of `keys` (a declared record's, see `KeyArgument`) and in
  /// their order: true when written in one go, with the same bytes and effects as one value after another
  /// (an absent value being none). False, with nothing written, where they must go one by one.
  bool encodeRow(std::span<const PlainValue> values, const std::vector<CodingKey>& keys) const;
  /// False where `encodeRow` always is, so that the values need not be gathered.
  bool takesRows() const noexcept { return takesRows_; }

 private:
  const ShadowEncoder* encoder_;
  std::int64_t row_;
  bool takesRows_;
};

}  // namespace tamrikcsv::detail
