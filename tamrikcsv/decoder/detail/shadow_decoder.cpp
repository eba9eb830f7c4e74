#include "tamrikcsv/decoder/detail/shadow_decoder.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "tamrikcsv/coding/detail/block_cache.hpp"
#include "tamrikcsv/coding/detail/coding_paths.hpp"
#include "tamrikcsv/decoder/detail/field_conversion.hpp"

namespace tamrikcsv::detail {
namespace {

using DecoderError = CSVError<CSVDecoder>;
using ErrorKind = DecoderError::Kind;

DecoderError pathError(ErrorKind kind, std::string reason, std::string help, const CodingPath& path,
                       const CodingKey* key = nullptr) {
  return detail::pathError<DecoderError>(kind, std::move(reason), std::move(help), path, key);
}

DecoderError rowKeyError(const CodingPath& path, const CodingKey& key) {
  return pathError(ErrorKind::invalidPath,
                   "The coding key identifying a CSV row couldn't be transformed into an integer value.",
                   "The provided coding key identifying a CSV row must implement `intValue`.", path, &key);
}
DecoderError keyedTooDeep(const CodingPath& path, const CodingKey* key = nullptr) {
  return pathError(ErrorKind::invalidPath, "A CSV doesn't support more than two nested decoding container.",
                   "Don't ask for a nested container on the targeted key for this coding path.", path, key);
}
DecoderError unkeyedTooDeep(const CodingPath& path) {
  return pathError(ErrorKind::invalidPath, "A CSV doesn't support more than two nested encoding container.",
                   "Don't ask for a unkeyed decoding container on this coding path.", path);
}
DecoderError singleValueTooDeep(const CodingPath& path) {
  return pathError(ErrorKind::invalidPath, "A CSV doesn't support more than two nested decoding containers.",
                   "Don't ask for a single value encoding container on this coding path.", path);
}
DecoderError keyedNeedsNesting(const CodingPath& path) {
  return pathError(ErrorKind::invalidPath, "A nested container is needed to decode CSV row values",
                   "Request a nested container instead of trying to decode a value directly.", path);
}
DecoderError unkeyedNeedsNesting(const CodingPath& path) {
  return pathError(ErrorKind::invalidPath, "A nested container is needed to decode at this coding path.",
                   "Request a nested container instead of trying to decode a value directly.", path);
}
DecoderError singleValueNeedsNesting(const CodingPath& path) {
  return pathError(ErrorKind::invalidPath, "A nested container is needed to decode CSV row values",
                   "Request a nested container instead of trying to decode the value directly.", path);
}

DecoderError bufferError(std::string reason, std::string help, std::int64_t row, std::int64_t field) {
  return DecoderError(ErrorKind::bufferFailure, std::move(reason), std::move(help),
                      {{"Row index", row}, {"Field index", field}});
}

// Conversions report where they failed; the path is built only then, so a successful field costs no
// allocation for it.
DecodingError relocated(const DecodingError& error, std::string_view text, CodingPath path) {
  if (error.kind() == DecodingError::Kind::typeMismatch)
    return DecodingError::typeMismatch(error.typeName(), text, std::move(path));
  return DecodingError(error.kind(), std::move(path), error.debugDescription(), error.underlyingError());
}

const CodingPath kNoPath;

// Whether the field (row, field) is absent. `pathOf()` gives the value's path, for a custom strategy.
template <class PathOf>
bool readNil(const std::shared_ptr<ShadowDecoderSource>& source, std::int64_t row, std::int64_t field,
             const PathOf& pathOf) {
  const auto& strategy = source->configuration().nilStrategy;
  if (strategy.kind() == Strategy::NilDecoding::Kind::custom) {
    ShadowDecoder decoder(source, pathOf());
    return strategy.function()(decoder);
  }
  return source->field(row, field).empty();
}

// A field's text as a `T`, by the configuration's strategies other than custom ones. Errors have no path:
// the caller adds the value's.
template <class T>
T convertField(std::string_view text, ShadowDecoderSource& source) {
  const auto& configuration = source.configuration();
  if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, std::string_view>) {
    return T(text);
  } else if constexpr (std::is_same_v<T, bool>) {
    return decodeBool(text, configuration.boolStrategy.kind(), kNoPath);
  } else if constexpr (std::is_same_v<T, float>) {
    return decodeFloat(text, configuration.nonConformingFloatStrategy, kNoPath);
  } else if constexpr (std::is_same_v<T, double>) {
    return decodeDouble(text, configuration.nonConformingFloatStrategy, kNoPath);
  } else if constexpr (std::is_integral_v<T>) {
    return decodeInteger<T>(text, kNoPath);
  } else if constexpr (std::is_same_v<T, Date>) {
    return decodeDate(text, configuration.dateStrategy, configuration.nonConformingFloatStrategy, kNoPath);
  } else if constexpr (std::is_same_v<T, Data>) {
    return decodeBase64(text, kNoPath);
  } else if constexpr (std::is_same_v<T, Decimal>) {
    if (auto value = Decimal::parse(text, source.decimalSeparator())) return *value;
    return decodeDecimal(text, configuration.decimalStrategy.localeValue(), kNoPath);  // raises the error
  } else {
    static_assert(std::is_same_v<T, URL>);
    return decodeURL(text, kNoPath);
  }
}

// The field (row, field) as a `T`, by the configuration's strategies. Custom strategies get a decoder
// positioned at the value.
template <class T, class PathOf>
T readValue(const std::shared_ptr<ShadowDecoderSource>& source, std::int64_t row, std::int64_t field,
            const PathOf& pathOf) {
  const auto& configuration = source->configuration();
  auto custom = [&](const auto& function) {
    ShadowDecoder decoder(source, pathOf());
    return function(decoder);
  };
  if constexpr (std::is_same_v<T, bool>) {
    if (configuration.boolStrategy.kind() == Strategy::BoolDecoding::Kind::custom)
      return custom(configuration.boolStrategy.function());
  } else if constexpr (std::is_same_v<T, Date>) {
    if (configuration.dateStrategy.kind() == Strategy::DateDecoding::Kind::custom)
      return custom(configuration.dateStrategy.function());
  } else if constexpr (std::is_same_v<T, Decimal>) {
    if (configuration.decimalStrategy.kind() == Strategy::DecimalDecoding::Kind::custom)
      return custom(configuration.decimalStrategy.function());
  } else if constexpr (std::is_same_v<T, Data>) {
    switch (configuration.dataStrategy.kind()) {
      case Strategy::DataDecoding::Kind::custom:
        return custom(configuration.dataStrategy.function());
      case Strategy::DataDecoding::Kind::deferredToData:
        return custom(decodeBytes);
      case Strategy::DataDecoding::Kind::base64:
        break;
    }
  }

  const std::string_view text = source->field(row, field);
  try {
    return convertField<T>(text, *source);
  } catch (const DecodingError& error) {
    throw relocated(error, text, pathOf());
  }
}

// A row's field by key, as a keyed container at the row and a declared record alike read it.
template <class T>
T rowValue(const ShadowDecoder& decoder, std::int64_t row, const KeyArgument& key) {
  const auto& source = decoder.source();
  return readValue<T>(source, row, source->fieldPosition(key, decoder),
                      [&] { return appending(decoder.codingPath(), key.key); });
}
bool rowNil(const ShadowDecoder& decoder, std::int64_t row, const KeyArgument& key) {
  const auto& source = decoder.source();
  return readNil(source, row, source->fieldPosition(key, decoder),
                 [&] { return appending(decoder.codingPath(), key.key); });
}
bool rowContains(const ShadowDecoder& decoder, const KeyArgument& key) {
  const auto& source = decoder.source();
  if (auto index = key.key.intValue()) return *index >= 0 && *index < source->fieldsPerRow();
  return source->isHeader(key);
}
// A value under `key` that decodes itself, at a field or, at file level, a row.
void nestedValue(const ShadowDecoder& decoder, const KeyArgument& key, const DecodeWith& with) {
  ShadowDecoder nested(decoder.source(), appending(decoder.codingPath(), key.key));
  with(nested);
}

// The primitives of a backend, each forwarded to the backend's `value<T>(at...)`, `nil(at...)` and
// `nested(at..., with)`.
template <class Impl, class Base, class... Arg>
class Primitives : public Base {
 public:
  bool decodeNil(Arg... at) override { return self().nil(at...); }
  std::string decodeString(Arg... at) override { return value<std::string>(at...); }
  bool decodeBool(Arg... at) override { return value<bool>(at...); }
  std::int8_t decodeInt8(Arg... at) override { return value<std::int8_t>(at...); }
  std::int16_t decodeInt16(Arg... at) override { return value<std::int16_t>(at...); }
  std::int32_t decodeInt32(Arg... at) override { return value<std::int32_t>(at...); }
  std::int64_t decodeInt64(Arg... at) override { return value<std::int64_t>(at...); }
  long long decodeInt(Arg... at) override { return value<long long>(at...); }
  std::uint8_t decodeUInt8(Arg... at) override { return value<std::uint8_t>(at...); }
  std::uint16_t decodeUInt16(Arg... at) override { return value<std::uint16_t>(at...); }
  std::uint32_t decodeUInt32(Arg... at) override { return value<std::uint32_t>(at...); }
  std::uint64_t decodeUInt64(Arg... at) override { return value<std::uint64_t>(at...); }
  unsigned long long decodeUInt(Arg... at) override { return value<unsigned long long>(at...); }
  float decodeFloat(Arg... at) override { return value<float>(at...); }
  double decodeDouble(Arg... at) override { return value<double>(at...); }
  Date decodeDate(Arg... at) override { return value<Date>(at...); }
  Data decodeData(Arg... at) override { return value<Data>(at...); }
  Decimal decodeDecimal(Arg... at) override { return value<Decimal>(at...); }
  URL decodeURL(Arg... at) override { return value<URL>(at...); }
  void decodeValue(Arg... at, const DecodeWith& with) override { self().nested(at..., with); }
  std::string_view decodeText(Arg... at) override { return value<std::string_view>(at...); }

 private:
  Impl& self() { return static_cast<Impl&>(*this); }
  template <class T>
  T value(Arg... at) {
    return self().template value<T>(at...);
  }
};

// A keyed container over the whole file (keys are row positions) or over one row (keys are field
// positions or header titles).
class KeyedBackend final : public Primitives<KeyedBackend, KeyedDecodingBackend, const KeyArgument&> {
 public:
  KeyedBackend(const ShadowDecoder& decoder, std::optional<std::int64_t> row)
      : decoder_(decoder), source_(decoder_.source()), row_(row) {}
  // A record takes one per row.
  static void* operator new(std::size_t) { return BlockCache<sizeof(KeyedBackend)>::take(); }
  static void operator delete(void* block) noexcept { BlockCache<sizeof(KeyedBackend)>::give(block); }

  const CodingPath& codingPath() const override { return decoder_.codingPath(); }

  std::vector<CodingKey> allKeys(const std::function<bool(const CodingKey&)>& accepts) override {
    std::vector<CodingKey> keys;
    auto addIndices = [&](std::int64_t count) {
      for (std::int64_t i = 0; i < count; ++i)
        if (CodingKey key = indexKey(i); accepts(key)) keys.push_back(std::move(key));
    };
    if (!row_) {
      if (!source_->isReaderActive()) addIndices(source_->rowsRead());
      return keys;
    }
    std::int64_t fields = source_->fieldsPerRow();
    if (fields < 1) return keys;
    addIndices(fields);
    if (keys.empty())
      for (const auto& header : source_->headers())
        if (CodingKey key(header); accepts(key)) keys.push_back(std::move(key));
    return keys;
  }

  bool contains(const KeyArgument& key) override {
    if (row_) return rowContains(decoder_, key);
    auto index = key.key.intValue();
    return index && source_->hasRow(*index);
  }

  std::unique_ptr<KeyedDecodingBackend> nestedKeyed(const KeyArgument& key) override {
    if (row_) throw keyedTooDeep(codingPath(), &key.key);
    return ShadowDecoder(source_, appending(codingPath(), key.key)).keyedBackend();
  }
  std::unique_ptr<UnkeyedDecodingBackend> nestedUnkeyed(const KeyArgument& key) override {
    if (row_) throw keyedTooDeep(codingPath(), &key.key);
    return ShadowDecoder(source_, appending(codingPath(), key.key)).unkeyedBackend();
  }
  std::unique_ptr<Decoder> superDecoder() override {
    if (row_) {
      const CodingKey super("super", 0);
      throw keyedTooDeep(codingPath(), &super);
    }
    return std::make_unique<ShadowDecoder>(source_, appending(codingPath(), indexKey(0)));
  }
  std::unique_ptr<Decoder> superDecoder(const KeyArgument& key) override {
    if (row_) throw keyedTooDeep(codingPath(), &key.key);
    CodingPath path = appending(codingPath(), key.key);
    if (!key.key.intValue()) throw rowKeyError(path, key.key);
    return std::make_unique<ShadowDecoder>(source_, std::move(path));
  }

  template <class T>
  T value(const KeyArgument& key) {
    if (row_) return rowValue<T>(decoder_, *row_, key);
    std::int64_t row = locateRow(key);
    return readValue<T>(source_, row, 0, [&] { return valuePath(key); });
  }
  bool nil(const KeyArgument& key) {
    if (row_) return rowNil(decoder_, *row_, key);
    std::int64_t row = locateRow(key);
    return readNil(source_, row, 0, [&] { return valuePath(key); });
  }
  void nested(const KeyArgument& key, const DecodeWith& with) { nestedValue(decoder_, key, with); }

 private:
  // At file level, the row of the plain value under `key`: its only field is the value.
  std::int64_t locateRow(const KeyArgument& key) {
    if (!key.key.intValue()) throw rowKeyError(appending(codingPath(), key.key), key.key);
    if (source_->fieldsPerRow() != 1) throw keyedNeedsNesting(codingPath());
    return *key.key.intValue();
  }
  CodingPath valuePath(const KeyArgument& key) const { return appending(codingPath(), key.key, indexKey(0)); }

  ShadowDecoder decoder_;
  const std::shared_ptr<ShadowDecoderSource>& source_;
  std::optional<std::int64_t> row_;  // none: the whole file
};

// An unkeyed container over the whole file (its elements are rows) or over one row (fields).
class UnkeyedBackend final : public Primitives<UnkeyedBackend, UnkeyedDecodingBackend> {
 public:
  UnkeyedBackend(const ShadowDecoder& decoder, std::optional<std::int64_t> row)
      : decoder_(decoder), source_(decoder_.source()), row_(row) {}

  const CodingPath& codingPath() const override { return decoder_.codingPath(); }
  std::optional<std::int64_t> count() override {
    if (row_) return source_->fieldsPerRow();
    if (source_->isReaderActive()) return std::nullopt;
    return source_->rowsRead();
  }
  std::optional<std::int64_t> countEstimate() override {
    if (row_ || !source_->isReaderActive()) return count();
    const std::optional<double> progress = source_->readerProgress();
    const auto rows = static_cast<double>(source_->rowsRead());
    if (!progress || *progress <= 0 || rows < 1) return std::nullopt;
    // Rows so far over the share of the input they took; capped far below the int64 range.
    return static_cast<std::int64_t>(std::min(rows / *progress, 1e15));
  }
  bool isAtEnd() override {
    if (row_) return index_ >= source_->fieldsPerRow();
    return source_->isPastEnd(index_);
  }
  std::int64_t currentIndex() const override { return index_; }

  std::unique_ptr<KeyedDecodingBackend> nestedKeyed() override {
    auto backend = elementDecoder().keyedBackend();
    ++index_;
    return backend;
  }
  std::unique_ptr<UnkeyedDecodingBackend> nestedUnkeyed() override {
    auto backend = elementDecoder().unkeyedBackend();
    ++index_;
    return backend;
  }
  std::unique_ptr<Decoder> superDecoder() override {
    auto decoder = std::make_unique<ShadowDecoder>(elementDecoder());
    ++index_;
    return decoder;
  }

  template <class T>
  T value() {
    auto [row, field] = locate();
    T result = readValue<T>(source_, row, field, [&] { return valuePath(); });
    ++index_;
    return result;
  }
  bool nil() {
    auto [row, field] = locate();
    bool absent = readNil(source_, row, field, [&] { return valuePath(); });
    if (absent) ++index_;
    return absent;
  }
  void nested(const DecodeWith& with) {
    ShadowDecoder decoder = elementDecoder();
    with(decoder);
    ++index_;
  }
  // As `nested` row after row, with one decoder moved on from row to row: no decoder made for each, with
  // its copy of the source's shared pointer. Decoding the places file into a vector: 5% less time (median of
  // 15 interleaved runs).
  bool decodeFieldRows(const CodeWith<FieldRowReader>& with) override {
    if (row_) return false;  // a row's fields are no rows
    ShadowDecoder decoder = ShadowDecoder::forRow(source_, index_);
    while (!source_->isPastEnd(index_)) {
      decoder.moveToRow(index_);
      FieldRowReader row(decoder, index_);
      with(row);
      ++index_;
    }
    return true;
  }

 private:
  // The decoder of the row at the current index; rows hold no deeper containers.
  ShadowDecoder elementDecoder() const {
    if (row_) throw unkeyedTooDeep(codingPath());
    return ShadowDecoder::forRow(source_, index_);
  }
  std::pair<std::int64_t, std::int64_t> locate() {
    if (row_) return {*row_, index_};
    if (source_->fieldsPerRow() != 1) throw unkeyedNeedsNesting(codingPath());
    return {index_, 0};
  }
  CodingPath valuePath() const {
    if (row_) return appending(codingPath(), indexKey(index_));
    return appending(codingPath(), indexKey(index_), indexKey(0));
  }

  ShadowDecoder decoder_;
  const std::shared_ptr<ShadowDecoderSource>& source_;
  std::optional<std::int64_t> row_;  // none: the whole file
  std::int64_t index_ = 0;
};

// A single value: a field, the only field of a row, or the only field of a file of one row.
class SingleValueBackend final : public Primitives<SingleValueBackend, SingleValueDecodingBackend> {
 public:
  SingleValueBackend(const ShadowDecoder& decoder, std::optional<std::int64_t> row,
                     std::optional<std::int64_t> field)
      : decoder_(decoder), source_(decoder_.source()), row_(row), field_(field) {}

  const CodingPath& codingPath() const override { return decoder_.codingPath(); }

  template <class T>
  T value() {
    auto [row, field] = locate();
    return readValue<T>(source_, row, field, [&] { return valuePath(); });
  }
  // A field out of reach is present, so that decoding it reports why.
  bool nil() {
    std::pair<std::int64_t, std::int64_t> at;
    try {
      at = locate();
      if (source_->configuration().nilStrategy.kind() == Strategy::NilDecoding::Kind::empty)
        return source_->field(at.first, at.second).empty();
    } catch (const CSVErrorBase&) {
      return false;
    }
    return readNil(source_, at.first, at.second, [&] { return valuePath(); });
  }
  void nested(const DecodeWith& with) { with(decoder_); }

 private:
  std::pair<std::int64_t, std::int64_t> locate() {
    if (field_) return {*row_, *field_};
    if (source_->fieldsPerRow() != 1) throw singleValueNeedsNesting(codingPath());
    if (row_) return {*row_, 0};
    if (!source_->isPastEnd(1)) throw singleValueNeedsNesting(codingPath());
    return {0, 0};
  }
  CodingPath valuePath() const {
    if (field_) return codingPath();
    if (row_) return appending(codingPath(), indexKey(0));
    return appending(codingPath(), indexKey(0), indexKey(0));
  }

  ShadowDecoder decoder_;
  const std::shared_ptr<ShadowDecoderSource>& source_;
  std::optional<std::int64_t> row_, field_;
};

}  // namespace

// --- The decoding state ---------------------------------------------------------------------------------

const CodingPath& ShadowDecoder::codingPath() const {
  if (row_ && codingPath_.empty()) codingPath_.push_back(indexKey(*row_));
  return codingPath_;
}

std::optional<FieldRowReader> ShadowDecoder::fieldRowReader() {
  if (row_) return FieldRowReader(*this, *row_);
  if (codingPath_.size() == 1)
    if (auto row = codingPath_.front().intValue()) return FieldRowReader(*this, *row);
  return std::nullopt;
}

std::unique_ptr<KeyedDecodingBackend> ShadowDecoder::keyedBackend() {
  if (row_) return std::make_unique<KeyedBackend>(*this, *row_);
  if (codingPath_.empty()) return std::make_unique<KeyedBackend>(*this, std::nullopt);
  if (codingPath_.size() > 1) throw keyedTooDeep(codingPath_);
  auto row = codingPath_.front().intValue();
  if (!row) throw rowKeyError(codingPath_, codingPath_.front());
  return std::make_unique<KeyedBackend>(*this, *row);
}

std::unique_ptr<UnkeyedDecodingBackend> ShadowDecoder::unkeyedBackend() {
  if (row_) return std::make_unique<UnkeyedBackend>(*this, *row_);
  if (codingPath_.empty()) return std::make_unique<UnkeyedBackend>(*this, std::nullopt);
  if (codingPath_.size() > 1) throw unkeyedTooDeep(codingPath_);
  auto row = codingPath_.front().intValue();
  if (!row) throw rowKeyError(codingPath_, codingPath_.front());
  return std::make_unique<UnkeyedBackend>(*this, *row);
}

std::unique_ptr<SingleValueDecodingBackend> ShadowDecoder::singleValueBackend() {
  if (row_) return std::make_unique<SingleValueBackend>(*this, *row_, std::nullopt);
  if (codingPath_.empty()) return std::make_unique<SingleValueBackend>(*this, std::nullopt, std::nullopt);
  if (codingPath_.size() > 2) throw singleValueTooDeep(codingPath_);
  auto row = codingPath_.front().intValue();
  if (!row) throw rowKeyError(codingPath_, codingPath_.front());
  if (codingPath_.size() == 1) return std::make_unique<SingleValueBackend>(*this, *row, std::nullopt);
  const CodingKey& key = codingPath_[1];
  std::int64_t field = source_->fieldPosition(KeyArgument{key}, *this);
  return std::make_unique<SingleValueBackend>(*this, *row, field);
}

// --- The fields of a row, for declared records -----------------------------------------------------------

bool FieldRowReader::contains(const KeyArgument& key) const {
  return rowContains(*decoder_, key);
}
bool FieldRowReader::decodeNil(const KeyArgument& key) const {
  return rowNil(*decoder_, row_, key);
}
std::string FieldRowReader::decodeString(const KeyArgument& key) const {
  return rowValue<std::string>(*decoder_, row_, key);
}
std::string_view FieldRowReader::decodeText(const KeyArgument& key) const {
  return rowValue<std::string_view>(*decoder_, row_, key);
}
bool FieldRowReader::decodeBool(const KeyArgument& key) const {
  return rowValue<bool>(*decoder_, row_, key);
}
std::int8_t FieldRowReader::decodeInt8(const KeyArgument& key) const {
  return rowValue<std::int8_t>(*decoder_, row_, key);
}
std::int16_t FieldRowReader::decodeInt16(const KeyArgument& key) const {
  return rowValue<std::int16_t>(*decoder_, row_, key);
}
std::int32_t FieldRowReader::decodeInt32(const KeyArgument& key) const {
  return rowValue<std::int32_t>(*decoder_, row_, key);
}
std::int64_t FieldRowReader::decodeInt64(const KeyArgument& key) const {
  return rowValue<std::int64_t>(*decoder_, row_, key);
}
long long FieldRowReader::decodeInt(const KeyArgument& key) const {
  return rowValue<long long>(*decoder_, row_, key);
}
std::uint8_t FieldRowReader::decodeUInt8(const KeyArgument& key) const {
  return rowValue<std::uint8_t>(*decoder_, row_, key);
}
std::uint16_t FieldRowReader::decodeUInt16(const KeyArgument& key) const {
  return rowValue<std::uint16_t>(*decoder_, row_, key);
}
std::uint32_t FieldRowReader::decodeUInt32(const KeyArgument& key) const {
  return rowValue<std::uint32_t>(*decoder_, row_, key);
}
std::uint64_t FieldRowReader::decodeUInt64(const KeyArgument& key) const {
  return rowValue<std::uint64_t>(*decoder_, row_, key);
}
unsigned long long FieldRowReader::decodeUInt(const KeyArgument& key) const {
  return rowValue<unsigned long long>(*decoder_, row_, key);
}
float FieldRowReader::decodeFloat(const KeyArgument& key) const {
  return rowValue<float>(*decoder_, row_, key);
}
double FieldRowReader::decodeDouble(const KeyArgument& key) const {
  return rowValue<double>(*decoder_, row_, key);
}
Date FieldRowReader::decodeDate(const KeyArgument& key) const {
  return rowValue<Date>(*decoder_, row_, key);
}
Data FieldRowReader::decodeData(const KeyArgument& key) const {
  return rowValue<Data>(*decoder_, row_, key);
}
Decimal FieldRowReader::decodeDecimal(const KeyArgument& key) const {
  return rowValue<Decimal>(*decoder_, row_, key);
}
URL FieldRowReader::decodeURL(const KeyArgument& key) const {
  return rowValue<URL>(*decoder_, row_, key);
}
void FieldRowReader::decodeValue(const KeyArgument& key, const DecodeWith& with) const {
  nestedValue(*decoder_, key, with);
}
const std::int64_t* FieldRowReader::directPositions(const std::vector<CodingKey>& keys) const {
  return decoder_->source()->directPositions(keys, row_);
}
PackedFields FieldRowReader::directTexts() const {
  return decoder_->source()->lastRowTexts();
}
template <class T>
T FieldRowReader::directNumber(std::string_view text, const CodingKey& key) const {
  try {
    return convertField<T>(text, *decoder_->source());
  } catch (const DecodingError& error) {
    throw relocated(error, text, appending(decoder_->codingPath(), key));
  }
}
template std::int8_t FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template std::int16_t FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template std::int32_t FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template long FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template long long FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template std::uint8_t FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template std::uint16_t FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template std::uint32_t FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template unsigned long FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template unsigned long long FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template float FieldRowReader::directNumber(std::string_view, const CodingKey&) const;
template double FieldRowReader::directNumber(std::string_view, const CodingKey&) const;

// --- The source -----------------------------------------------------------------------------------------

ShadowDecoderSource::ShadowDecoderSource(CSVReader reader, CSVDecoder::Configuration configuration,
                                         CodingUserInfo userInfo)
    : reader_(std::move(reader)),
      configuration_(std::move(configuration)),
      userInfo_(std::move(userInfo)),
      headers_(reader_.headers()) {}

bool ShadowDecoderSource::isReaderActive() const noexcept {
  return reader_.status().kind == CSVReader::Status::Kind::active;
}

bool ShadowDecoderSource::readNext() {
  if (!reader_.readRow(rows_[1 - last_])) return false;
  ++rowsRead_;
  last_ = 1 - last_;
  lastRowStored_ = true;
  if (configuration_.bufferingStrategy == Strategy::DecodingBuffer::keepAll) archive_.append(lastRow());
  return true;
}

std::string_view ShadowDecoderSource::fieldElsewhere(std::int64_t row, std::int64_t field) {
  const std::int64_t read = rowsRead();
  std::span<const std::string_view> archived;
  const CSVReader::Fields* current = nullptr;
  if (row < read) {
    if (configuration_.bufferingStrategy == Strategy::DecodingBuffer::keepAll) {
      if (row < 0 || row >= archive_.rows())
        throw bufferError("A previously decoded row hasn't been found in the cache.",
                          "Please contact the repo maintainer.", row, field);
      archived = archive_.row(row);
    } else if (row == read - 1 && lastRowStored_) {
      current = &lastRow();
    } else {
      throw bufferError("A previously decoded row has been discarded.",
                        "Change the decoder's buffering strategy and try again.", row, field);
    }
  } else {
    if (configuration_.bufferingStrategy == Strategy::DecodingBuffer::sequential) lastRowStored_ = false;
    while (rowsRead() <= row)
      if (!readNext())
        throw DecoderError(
            ErrorKind::invalidPath, "The requested row index is out of bounds.",
            "Make sure the requested row is within the number of rows contained by the CSV file.",
            {{"Row count", rowsRead()}, {"Row index", row}});
    current = &lastRow();
  }
  auto count = static_cast<std::int64_t>(current ? current->size() : archived.size());
  if (field < 0 || field >= count)
    throw DecoderError(ErrorKind::invalidPath, "The provided field index is out of bounds.",
                       "Make sure the requested field is within the number of fields for the CSV file.",
                       {{"Row index", row}, {"Field index", field}, {"Field count", count}});
  auto at = static_cast<std::size_t>(field);
  return current ? (*current)[at] : archived[at];
}

void ShadowDecoderSource::Archive::append(const CSVReader::Fields& row) {
  std::size_t size = 0;
  for (std::string_view text : row) size += text.size();
  if (size > blockFree_) {  // a row never spans two blocks; a huge one gets a block of its own
    std::size_t capacity = std::max(size, kBlockSize);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity));
    next_ = blocks_.back().get();
    blockFree_ = capacity;
  }
  for (std::string_view text : row) {
    if (!text.empty()) std::memcpy(next_, text.data(), text.size());
    fields_.emplace_back(next_, text.size());
    next_ += text.size();
  }
  blockFree_ -= size;
  rowStarts_.push_back(fields_.size());
}

std::span<const std::string_view> ShadowDecoderSource::Archive::row(std::int64_t position) const noexcept {
  auto at = static_cast<std::size_t>(position);
  return {fields_.data() + rowStarts_[at], rowStarts_[at + 1] - rowStarts_[at]};
}

bool ShadowDecoderSource::isPastEnd(std::int64_t row) {
  if (row < rowsRead()) return false;
  while (rowsRead() <= row)
    if (!readNext()) return true;
  return !isReaderActive();
}

bool ShadowDecoderSource::hasRow(std::int64_t row) {
  if (row < 0) return false;
  try {
    while (rowsRead() <= row)
      if (!readNext()) return false;
  } catch (const CSVErrorBase&) {
    return false;
  }
  return true;
}

std::int64_t ShadowDecoderSource::fieldsPerRow() {
  if (reader_.count().rows >= 1) return reader_.count().fields;
  try {
    if (readNext()) return reader_.count().fields;
  } catch (const CSVErrorBase&) {
  }
  return 0;
}

HeaderLookup& ShadowDecoderSource::headerLookup() {
  if (!headerLookup_) headerLookup_.emplace(headers_);
  return *headerLookup_;
}

std::int64_t ShadowDecoderSource::resolveFieldPosition(const KeyArgument& key, const Decoder& at) {
  const CodingPath& path = at.codingPath();
  if (auto index = key.key.intValue()) return *index;
  if (headers_.empty())
    throw pathError(ErrorKind::invalidConfiguration,
                    "The provided coding key identifying a field cannot be matched to a header, since the "
                    "configuration indicated the CSV has no headers.",
                    "Make the key generate an integer value or provide header during configuration.", path,
                    &key.key);
  std::int64_t position = headerLookup().position(key);
  if (headerLookup_->hasDuplicates())
    throw pathError(ErrorKind::invalidConfiguration,
                    "The headers row contain two fields with the same value.",
                    "Headers row must contain different names/titles or each name/title must generate a "
                    "different integer value.",
                    path, &key.key);
  if (position == HeaderLookup::kNotAHeader)
    throw pathError(ErrorKind::invalidConfiguration,
                    "The provided coding key identifying a field didn't match any CSV header.",
                    "Make the key generate an integer value or provide a matching header.", path, &key.key);
  if (key.enumeration) {
    resolvedEnumeration_ = key.enumeration;
    resolvedPositions_ = headerLookup_->enumerationPositions();
  }
  return position;
}

bool ShadowDecoderSource::isHeader(const KeyArgument& key) {
  return !headers_.empty() && headerLookup().position(key) != HeaderLookup::kNotAHeader;
}

const std::int64_t* ShadowDecoderSource::directPositions(const std::vector<CodingKey>& keys,
                                                         std::int64_t row) {
  if (row != rowsRead_ - 1 || !lastRowStored_) return nullptr;
  if (directKeys_ == &keys) return directPositions_;
  // Once per record type and file: the keys' positions are final once each is resolved (a header, or
  // known to be none), which the field-by-field reading of the first row does.
  if (resolvedEnumeration_ != &keys || headers_.empty() ||
      configuration_.nilStrategy.kind() == Strategy::NilDecoding::Kind::custom)
    return nullptr;
  for (std::size_t k = 0; k < keys.size(); ++k)
    if (keys[k].intValue() || resolvedPositions_[k] < HeaderLookup::kNotAHeader) return nullptr;
  directKeys_ = &keys;
  directPositions_ = resolvedPositions_;
  return directPositions_;
}

char32_t ShadowDecoderSource::decimalSeparator() {
  if (!decimalSeparator_) {
    const auto& locale = configuration_.decimalStrategy.localeValue();
    decimalSeparator_ = locale ? locale->decimalSeparator() : U'.';
  }
  return *decimalSeparator_;
}

}  // namespace tamrikcsv::detail
