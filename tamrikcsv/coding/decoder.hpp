#pragma once

// The decoding side of the record-mapping interface, independent of any format: a type decodes itself by
// asking a `Decoder` for a keyed, an unkeyed or a single-value container and reading its values from it.
//
// ```cpp
// struct Place {
//   std::string id;
//   std::optional<std::string> serialNumber;
//   enum class CodingKeys { id, serialNumber };
//   static Place decode(tamrikcsv::Decoder& decoder);
// };
// // The traits come before the first container over the keys, so `decode` is defined after them.
// template <> struct tamrikcsv::CodingKeyTraits<Place::CodingKeys> {
//   static constexpr std::array names{"Place ID", "Serial Number"};
// };
// Place Place::decode(tamrikcsv::Decoder& decoder) {
//   auto row = decoder.container<CodingKeys>();
//   return {row.decode<std::string>(CodingKeys::id),
//           row.decodeIfPresent<std::string>(CodingKeys::serialNumber)};
// }
// ```

#include <algorithm>
#include <any>
#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tamrikcsv/coding/coding.hpp"
#include "tamrikcsv/coding/decoding_error.hpp"
#include "tamrikcsv/coding/detail/decoding_backend.hpp"
#include "tamrikcsv/coding/detail/field_rows.hpp"
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/text/coding_key.hpp"

namespace tamrikcsv {

namespace detail {
struct DeclaredRecords;
}

/// The values decoders read themselves: the built-in values of `CodingPrimitive`, and `std::string_view`.
///
/// A `std::string_view` is the text of the value where the decoder holds it, without a copy. It stays
/// valid until the decoder reads on to another row, and never past the decode call, so it suits values
/// that are compared or looked up and then dropped; decode a `std::string` to keep the text. A type's
/// `decode` may read views; a decode result, or a sequence, can't be made of them.
///
/// ```cpp
/// auto row = decoder.container<CodingKeys>();
/// if (row.decode<std::string_view>(CodingKeys::kind) == "desk") ++desks;  // no string is made
/// ```
template <class T>
concept DecodingPrimitive = CodingPrimitive<T> || std::same_as<T, std::string_view>;

template <CodingKeyType Keys>
class KeyedDecodingContainer;
class UnkeyedDecodingContainer;
class SingleValueDecodingContainer;

/// Where a type decodes itself from: the path that led to its value, the caller's user info, and
/// containers over the value. Formats implement it; types only use it.
class Decoder {
 public:
  virtual ~Decoder() = default;

  /// The keys that led here, outermost first; empty for the whole input.
  virtual const CodingPath& codingPath() const = 0;
  /// The values the caller gave the decoding, by name.
  virtual const CodingUserInfo& userInfo() const = 0;

  /// The value as values under keys of type `Keys`.
  template <CodingKeyType Keys>
  KeyedDecodingContainer<Keys> container();
  /// The value as a sequence of values.
  UnkeyedDecodingContainer unkeyedContainer();
  /// The value as one plain value.
  SingleValueDecodingContainer singleValueContainer();

 protected:
  /// For decoder implementations: what `container()`, `unkeyedContainer()` and `singleValueContainer()`
  /// read through. Each call makes a new backend over the same value.
  ///@{
  virtual std::unique_ptr<detail::KeyedDecodingBackend> keyedBackend() = 0;
  virtual std::unique_ptr<detail::UnkeyedDecodingBackend> unkeyedBackend() = 0;
  virtual std::unique_ptr<detail::SingleValueDecodingBackend> singleValueBackend() = 0;
  ///@}
  /// For decoders of rows of fields: the fields of the row this decoder stands at, which declared records
  /// (fields.hpp) read without a container. Nothing by default, and wherever a keyed container would not
  /// stand at a row: declared records then read through `container()`.
  virtual std::optional<detail::FieldRowReader> fieldRowReader() { return std::nullopt; }

 private:
  friend struct detail::DeclaredRecords;
};

namespace detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

// One primitive read from a backend, whatever its addressing.
template <class T, class Backend, class... Arg>
T decodePrimitive(Backend& backend, const Arg&... at) {
  if constexpr (std::is_same_v<T, std::string>)
    return backend.decodeString(at...);
  else if constexpr (std::is_same_v<T, std::string_view>)
    return backend.decodeText(at...);
  else if constexpr (std::is_same_v<T, bool>)
    return backend.decodeBool(at...);
  else if constexpr (std::is_same_v<T, long long>)
    return backend.decodeInt(at...);
  else if constexpr (std::is_same_v<T, unsigned long long>)
    return backend.decodeUInt(at...);
  else if constexpr (std::is_same_v<T, std::int8_t>)
    return backend.decodeInt8(at...);
  else if constexpr (std::is_same_v<T, std::int16_t>)
    return backend.decodeInt16(at...);
  else if constexpr (std::is_same_v<T, std::int32_t>)
    return backend.decodeInt32(at...);
  else if constexpr (std::is_same_v<T, std::int64_t>)
    return backend.decodeInt64(at...);
  else if constexpr (std::is_same_v<T, std::uint8_t>)
    return backend.decodeUInt8(at...);
  else if constexpr (std::is_same_v<T, std::uint16_t>)
    return backend.decodeUInt16(at...);
  else if constexpr (std::is_same_v<T, std::uint32_t>)
    return backend.decodeUInt32(at...);
  else if constexpr (std::is_same_v<T, std::uint64_t>)
    return backend.decodeUInt64(at...);
  else if constexpr (std::is_same_v<T, float>)
    return backend.decodeFloat(at...);
  else if constexpr (std::is_same_v<T, double>)
    return backend.decodeDouble(at...);
  else if constexpr (std::is_same_v<T, Date>)
    return backend.decodeDate(at...);
  else if constexpr (std::is_same_v<T, Data>)
    return backend.decodeData(at...);
  else if constexpr (std::is_same_v<T, Decimal>)
    return backend.decodeDecimal(at...);
  else
    return backend.decodeURL(at...);
}

// Any value read from a backend: primitives directly, optionals through the nil test, everything else by
// decoding itself from a nested decoder.
template <class T, class Backend, class... Arg>
T decodeAny(Backend& backend, const Arg&... at) {
  if constexpr (DecodingPrimitive<T>) {
    return decodePrimitive<T>(backend, at...);
  } else if constexpr (IsOptional<T>::value) {
    if (backend.decodeNil(at...)) return std::nullopt;
    return decodeAny<typename T::value_type>(backend, at...);
  } else {
    std::optional<T> value;
    backend.decodeValue(at..., [&](Decoder& decoder) { value.emplace(Coding<T>::decode(decoder)); });
    return *std::move(value);
  }
}

// `decodeAny`, handing the value to `keep` as a temporary: a value that decodes itself gets there without
// the two moves that returning it through an optional takes.
template <class T, class Backend, class Keep, class... Arg>
void decodeAnyInto(Backend& backend, Keep& keep, const Arg&... at) {
  if constexpr (DecodingPrimitive<T> || IsOptional<T>::value)
    keep(decodeAny<T>(backend, at...));
  else
    backend.decodeValue(at..., [&](Decoder& decoder) { keep(Coding<T>::decode(decoder)); });
}

// The key of type `Keys` that `key` stands for, by its integer when it has one, else by its text.
template <CodingKeyType Keys>
std::optional<Keys> keyFrom(const CodingKey& key) {
  if constexpr (std::is_same_v<Keys, CodingKey>) {
    if (key.intValue()) return CodingKey(*key.intValue());
    return CodingKey(std::string(key.stringValue()));
  } else {
    using Traits = CodingKeyTraits<Keys>;
    const auto& names = Traits::names;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (key.intValue()) {
        if constexpr (requires { Traits::ints; })
          if (Traits::ints[i] == *key.intValue()) return static_cast<Keys>(i);
      } else if (std::string_view(names[i]) == key.stringValue()) {
        return static_cast<Keys>(i);
      }
    }
    return std::nullopt;
  }
}

}  // namespace detail

/// Values under keys, such as the fields of a row by column title.
///
/// ```cpp
/// auto row = decoder.container<CodingKeys>();
/// auto name = row.decode<std::string>(CodingKeys::placeName);
/// auto serial = row.decodeIfPresent<std::string>(CodingKeys::serialNumber);  // nothing when absent
/// ```
template <CodingKeyType Keys>
class KeyedDecodingContainer {
 public:
  /// For decoder implementations.
  explicit KeyedDecodingContainer(std::unique_ptr<detail::KeyedDecodingBackend> backend)
      : backend_(std::move(backend)) {}

  /// The keys that led to this container's value, outermost first.
  const CodingPath& codingPath() const { return backend_->codingPath(); }
  /// The keys of type `Keys` with values.
  std::vector<Keys> allKeys() {
    std::vector<Keys> keys;
    for (const auto& key :
         backend_->allKeys([](const CodingKey& k) { return detail::keyFrom<Keys>(k).has_value(); }))
      keys.push_back(*detail::keyFrom<Keys>(key));
    return keys;
  }
  /// Whether there is a value under `key`, absent or not (e.g. whether a column of that title exists).
  bool contains(const Keys& key) { return backend_->contains(detail::keyArgument(key)); }
  /// Whether the value under `key` is absent (e.g. an empty field).
  bool decodeNil(const Keys& key) { return backend_->decodeNil(detail::keyArgument(key)); }
  /// The value under `key`; throws `DecodingError` when it is not a `T`.
  template <class T>
  [[nodiscard]] T decode(const Keys& key) {
    return detail::decodeAny<T>(*backend_, detail::keyArgument(key));
  }
  /// Nothing when there is no value under `key` or it is absent, else `decode<T>(key)`.
  template <class T>
  [[nodiscard]] std::optional<T> decodeIfPresent(const Keys& key) {
    auto argument = detail::keyArgument(key);
    if (!backend_->contains(argument) || backend_->decodeNil(argument)) return std::nullopt;
    return detail::decodeAny<T>(*backend_, argument);
  }
  /// The value under `key` as keyed values.
  template <CodingKeyType NestedKeys>
  KeyedDecodingContainer<NestedKeys> nestedContainer(const Keys& key) {
    return KeyedDecodingContainer<NestedKeys>(backend_->nestedKeyed(detail::keyArgument(key)));
  }
  /// The value under `key` as a sequence.
  UnkeyedDecodingContainer nestedUnkeyedContainer(const Keys& key);
  /// A decoder for the container's super value (a superclass's share of a record).
  std::unique_ptr<Decoder> superDecoder() { return backend_->superDecoder(); }
  /// A decoder for the value under `key`.
  std::unique_ptr<Decoder> superDecoder(const Keys& key) {
    return backend_->superDecoder(detail::keyArgument(key));
  }

 private:
  std::unique_ptr<detail::KeyedDecodingBackend> backend_;
};

/// Values in order, such as the rows of a file or the fields of a row. Each successful read moves on.
///
/// ```cpp
/// auto fields = decoder.unkeyedContainer();
/// while (!fields.isAtEnd()) values.push_back(fields.decode<int>());
/// ```
class UnkeyedDecodingContainer {
 public:
  /// For decoder implementations.
  explicit UnkeyedDecodingContainer(std::unique_ptr<detail::UnkeyedDecodingBackend> backend)
      : backend_(std::move(backend)) {}

  /// The keys that led to this container's value, outermost first.
  const CodingPath& codingPath() const { return backend_->codingPath(); }
  /// The number of values, when known.
  std::optional<std::int64_t> count() { return backend_->count(); }
  /// `count()` when it is known, else a guess at it from the values read so far (the rows of a file by
  /// the bytes they took), or nothing. A hint for reserving room ahead, never a promise.
  ///
  /// ```cpp
  /// if (values.size() == values.capacity() && values.size() >= 4096)
  ///   if (auto expected = rows.countEstimate(); expected && *expected > 0)
  ///     values.reserve(std::min(static_cast<std::size_t>(*expected), 8 * values.size()));
  /// ```
  std::optional<std::int64_t> countEstimate() { return backend_->countEstimate(); }
  /// Whether all values have been read.
  bool isAtEnd() { return backend_->isAtEnd(); }
  /// The position of the next value.
  std::int64_t currentIndex() const { return backend_->currentIndex(); }
  /// Whether the next value is absent; moves on only when it is.
  bool decodeNil() { return backend_->decodeNil(); }
  /// The next value; throws `DecodingError` when it is not a `T`.
  template <class T>
  [[nodiscard]] T decode() {
    return detail::decodeAny<T>(*backend_);
  }
  /// `decode<T>()`, the value handed to `keep(T&&)` rather than returned: a container that keeps its values
  /// takes each with one move (for a file of records of nine texts, 13% fewer instructions in all).
  template <class T, class Keep>
  void decodeInto(Keep&& keep) {
    detail::decodeAnyInto<T>(*backend_, keep);
  }
  /// `decode<T>()` into `value`. A declared record (fields.hpp) holding its default values is read where it
  /// stands, its fields one by one, so that a failure leaves those read so far; any other value is assigned.
  ///
  /// ```cpp
  /// while (!rows.isAtEnd()) rows.decodeInto(places.emplace_back());
  /// ```
  template <class T>
  void decodeInto(T& value) {
    if constexpr (detail::DecodesInPlace<T>)
      backend_->decodeValue([&](Decoder& decoder) { Coding<T>::decodeInPlace(value, decoder); });
    else
      value = decode<T>();
  }
  /// Every value left, each decoded into the element that `next()` returns (a `T&` holding its default
  /// values): `while (!isAtEnd()) decodeInto(next());`, with the rows of a file of declared records read
  /// one after another, without a decoder made for each.
  ///
  /// ```cpp
  /// rows.decodeAllInto<Place>([&]() -> Place& { return places.emplace_back(); });
  /// ```
  template <class T, class Next>
  void decodeAllInto(Next&& next) {
    if constexpr (detail::DecodesInPlace<T>)
      if (backend_->decodeFieldRows([&](detail::FieldRowReader& row) {
            Coding<T>::template decodeInPlace<detail::FieldRowReader>(next(), row);
          }))
        return;
    while (!isAtEnd()) decodeInto(next());
  }
  /// Nothing at the end or for an absent value, else `decode<T>()`.
  template <class T>
  [[nodiscard]] std::optional<T> decodeIfPresent() {
    if (isAtEnd() || decodeNil()) return std::nullopt;
    return decode<T>();
  }
  /// The next value as keyed values; moves on.
  template <CodingKeyType NestedKeys>
  KeyedDecodingContainer<NestedKeys> nestedContainer() {
    return KeyedDecodingContainer<NestedKeys>(backend_->nestedKeyed());
  }
  /// The next value as a sequence; moves on.
  UnkeyedDecodingContainer nestedUnkeyedContainer() {
    return UnkeyedDecodingContainer(backend_->nestedUnkeyed());
  }
  /// A decoder for the next value.
  std::unique_ptr<Decoder> superDecoder() { return backend_->superDecoder(); }

 private:
  std::unique_ptr<detail::UnkeyedDecodingBackend> backend_;
};

/// One plain value.
///
/// ```cpp
/// auto value = decoder.singleValueContainer();
/// return value.decodeNil() ? std::nullopt : std::optional(value.decode<double>());
/// ```
class SingleValueDecodingContainer {
 public:
  /// For decoder implementations.
  explicit SingleValueDecodingContainer(std::unique_ptr<detail::SingleValueDecodingBackend> backend)
      : backend_(std::move(backend)) {}

  /// The keys that led to the value, outermost first.
  const CodingPath& codingPath() const { return backend_->codingPath(); }
  /// Whether the value is absent.
  bool decodeNil() { return backend_->decodeNil(); }
  /// The value; throws `DecodingError` when it is not a `T`.
  template <class T>
  [[nodiscard]] T decode() {
    return detail::decodeAny<T>(*backend_);
  }

 private:
  std::unique_ptr<detail::SingleValueDecodingBackend> backend_;
};

template <CodingKeyType Keys>
KeyedDecodingContainer<Keys> Decoder::container() {
  return KeyedDecodingContainer<Keys>(keyedBackend());
}
inline UnkeyedDecodingContainer Decoder::unkeyedContainer() {
  return UnkeyedDecodingContainer(unkeyedBackend());
}
inline SingleValueDecodingContainer Decoder::singleValueContainer() {
  return SingleValueDecodingContainer(singleValueBackend());
}

template <CodingKeyType Keys>
UnkeyedDecodingContainer KeyedDecodingContainer<Keys>::nestedUnkeyedContainer(const Keys& key) {
  return UnkeyedDecodingContainer(backend_->nestedUnkeyed(detail::keyArgument(key)));
}

/// How a byte block decodes itself when a decoder defers to it: a sequence of byte values.
Data decodeBytes(Decoder& decoder);

}  // namespace tamrikcsv
