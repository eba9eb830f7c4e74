#pragma once

// The encoding side of the record-mapping interface, independent of any format: a type encodes itself by
// asking an `Encoder` for a keyed, an unkeyed or a single-value container and writing its values into it.
//
// ```cpp
// struct Place {
//   std::string id;
//   std::optional<std::string> serialNumber;
//   enum class CodingKeys { id, serialNumber };
//   void encode(tamrikcsv::Encoder& encoder) const;
// };
// template <> struct tamrikcsv::CodingKeyTraits<Place::CodingKeys> {
//   static constexpr std::array names{"Place ID", "Serial Number"};
// };
// void Place::encode(tamrikcsv::Encoder& encoder) const {
//   auto row = encoder.container<CodingKeys>();
//   row.encode(id, CodingKeys::id);
//   row.encode(serialNumber, CodingKeys::serialNumber);  // nothing: an absent value (an empty field)
// }
// ```

#include <cstdint>
#include <memory>
#include <optional>
#include <ranges>
#include <string_view>
#include <type_traits>

#include "tamrikcsv/coding/coding.hpp"
#include "tamrikcsv/coding/detail/encoding_backend.hpp"
#include "tamrikcsv/coding/detail/field_rows.hpp"
#include "tamrikcsv/coding/encoding_error.hpp"
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/text/coding_key.hpp"

namespace tamrikcsv {

namespace detail {
struct DeclaredRecords;
}

template <CodingKeyType Keys>
class KeyedEncodingContainer;
class UnkeyedEncodingContainer;
class SingleValueEncodingContainer;

/// Where a type encodes itself to: the path that leads to its value, the caller's user info, and
/// containers for the value. Formats implement it; types only use it.
class Encoder {
 public:
  virtual ~Encoder() = default;

  /// The keys that lead here, outermost first; empty for the whole output.
  virtual const CodingPath& codingPath() const = 0;
  /// The values the caller gave the encoding, by name.
  virtual const CodingUserInfo& userInfo() const = 0;

  /// The value as values under keys of type `Keys`.
  template <CodingKeyType Keys>
  KeyedEncodingContainer<Keys> container();
  /// The value as a sequence of values.
  UnkeyedEncodingContainer unkeyedContainer();
  /// The value as one plain value.
  SingleValueEncodingContainer singleValueContainer();

 protected:
  /// For encoder implementations: what `container()`, `unkeyedContainer()` and `singleValueContainer()`
  /// write through. Each call makes a new backend for the same value.
  ///@{
  virtual std::unique_ptr<detail::KeyedEncodingBackend> keyedBackend() = 0;
  virtual std::unique_ptr<detail::UnkeyedEncodingBackend> unkeyedBackend() = 0;
  virtual std::unique_ptr<detail::SingleValueEncodingBackend> singleValueBackend() = 0;
  ///@}
  /// For encoders of rows of fields: the fields of the row this encoder stands at, which declared records
  /// (fields.hpp) write without a container. Nothing by default, and wherever a keyed container would not
  /// stand at a row: declared records then write through `container()`.
  virtual std::optional<detail::FieldRowWriter> fieldRowWriter() { return std::nullopt; }

 private:
  friend struct detail::DeclaredRecords;
};

namespace detail {

template <class T>
struct IsOptionalValue : std::false_type {};
template <class T>
struct IsOptionalValue<std::optional<T>> : std::true_type {};

// Any value written to a backend: texts, numbers and the other primitives directly, optionals as nil or
// their value, everything else by encoding itself into a nested encoder.
template <class T, class Backend, class... Arg>
void encodeAny(Backend& backend, const T& value, const Arg&... at) {
  if constexpr (std::is_same_v<T, bool>)
    backend.encodeBool(value, at...);
  else if constexpr (std::is_convertible_v<const T&, std::string_view>)
    backend.encodeString(std::string_view(value), at...);
  else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>)
    backend.encodeSigned(static_cast<std::int64_t>(value), at...);
  else if constexpr (std::is_integral_v<T>)
    backend.encodeUnsigned(static_cast<std::uint64_t>(value), at...);
  else if constexpr (std::is_same_v<T, float>)
    backend.encodeFloat(value, at...);
  else if constexpr (std::is_same_v<T, double>)
    backend.encodeDouble(value, at...);
  else if constexpr (std::is_same_v<T, Date>)
    backend.encodeDate(value, at...);
  else if constexpr (std::is_same_v<T, Data>)
    backend.encodeData(value, at...);
  else if constexpr (std::is_same_v<T, Decimal>)
    backend.encodeDecimal(value, at...);
  else if constexpr (std::is_same_v<T, URL>)
    backend.encodeURL(value, at...);
  else if constexpr (IsOptionalValue<T>::value) {
    if (value)
      encodeAny(backend, *value, at...);
    else
      backend.encodeNil(at...);
  } else {
    backend.encodeValue(at..., [&value](Encoder& encoder) { Coding<T>::encode(value, encoder); });
  }
}

}  // namespace detail

/// Values under keys, such as the fields of a row by column title.
///
/// ```cpp
/// auto row = encoder.container<CodingKeys>();
/// row.encode(placeName, CodingKeys::placeName);
/// row.encodeIfPresent(serialNumber, CodingKeys::serialNumber);  // nothing written when absent
/// ```
template <CodingKeyType Keys>
class KeyedEncodingContainer {
 public:
  /// For encoder implementations.
  explicit KeyedEncodingContainer(std::unique_ptr<detail::KeyedEncodingBackend> backend)
      : backend_(std::move(backend)) {}

  /// The keys that lead to this container's value, outermost first.
  const CodingPath& codingPath() const { return backend_->codingPath(); }
  /// An absent value under `key` (e.g. an empty field).
  void encodeNil(const Keys& key) { backend_->encodeNil(detail::keyArgument(key)); }
  /// `value` under `key`; an empty optional is an absent value. Throws `EncodingError` when the value
  /// cannot be written.
  template <class T>
  void encode(const T& value, const Keys& key) {
    detail::encodeAny(*backend_, value, detail::keyArgument(key));
  }
  /// Nothing when `value` is empty, else `encode(*value, key)`.
  template <class T>
  void encodeIfPresent(const std::optional<T>& value, const Keys& key) {
    if (value) encode(*value, key);
  }
  /// The value under `key` as keyed values.
  template <CodingKeyType NestedKeys>
  KeyedEncodingContainer<NestedKeys> nestedContainer(const Keys& key) {
    return KeyedEncodingContainer<NestedKeys>(backend_->nestedKeyed(detail::keyArgument(key)));
  }
  /// The value under `key` as a sequence.
  UnkeyedEncodingContainer nestedUnkeyedContainer(const Keys& key);
  /// An encoder for the container's super value (a superclass's share of a record).
  std::unique_ptr<Encoder> superEncoder() { return backend_->superEncoder(); }
  /// An encoder for the value under `key`.
  std::unique_ptr<Encoder> superEncoder(const Keys& key) {
    return backend_->superEncoder(detail::keyArgument(key));
  }

 private:
  std::unique_ptr<detail::KeyedEncodingBackend> backend_;
};

/// Values in order, such as the rows of a file or the fields of a row. Each value moves on.
///
/// ```cpp
/// auto fields = encoder.unkeyedContainer();
/// for (int value : values) fields.encode(value);
/// ```
class UnkeyedEncodingContainer {
 public:
  /// For encoder implementations.
  explicit UnkeyedEncodingContainer(std::unique_ptr<detail::UnkeyedEncodingBackend> backend)
      : backend_(std::move(backend)) {}

  /// The keys that lead to this container's value, outermost first.
  const CodingPath& codingPath() const { return backend_->codingPath(); }
  /// The number of values held so far.
  std::int64_t count() { return backend_->count(); }
  /// Tells the encoder how many values follow, so that it can make room ahead (a CSV encoder into memory
  /// does, once it has seen the first rows). A hint: encoding more or fewer values is no error.
  ///
  /// ```cpp
  /// auto rows = encoder.unkeyedContainer();
  /// rows.expectCount(static_cast<std::int64_t>(places.size()));
  /// for (const auto& place : places) rows.encode(place);
  /// ```
  void expectCount(std::int64_t count) { backend_->expectCount(count); }
  /// An absent value.
  void encodeNil() { backend_->encodeNil(); }
  /// The next value; throws `EncodingError` when it cannot be written.
  template <class T>
  void encode(const T& value) {
    detail::encodeAny(*backend_, value);
  }
  /// Every value of `values` in turn: `for (const auto& value : values) encode(value);`, with the rows of a
  /// file of declared records written one after another, without an encoder made for each.
  ///
  /// ```cpp
  /// encoder.unkeyedContainer().encodeAll(places);
  /// ```
  template <std::ranges::input_range Values>
  void encodeAll(const Values& values) {
    using T = std::ranges::range_value_t<Values>;
    if constexpr (detail::EncodesByFields<T> && std::ranges::sized_range<const Values>) {
      auto next = std::ranges::begin(values);
      if (backend_->encodeFieldRows(static_cast<std::size_t>(std::ranges::size(values)),
                                    [&](detail::FieldRowWriter& row) {
                                      Coding<T>::encodeInto(*next, row);
                                      ++next;
                                    }))
        return;
    }
    for (const auto& value : values) encode(value);
  }
  /// The next value as keyed values; moves on.
  template <CodingKeyType NestedKeys>
  KeyedEncodingContainer<NestedKeys> nestedContainer() {
    return KeyedEncodingContainer<NestedKeys>(backend_->nestedKeyed());
  }
  /// The next value as a sequence; moves on.
  UnkeyedEncodingContainer nestedUnkeyedContainer() {
    return UnkeyedEncodingContainer(backend_->nestedUnkeyed());
  }
  /// An encoder for the next value.
  std::unique_ptr<Encoder> superEncoder() { return backend_->superEncoder(); }

 private:
  std::unique_ptr<detail::UnkeyedEncodingBackend> backend_;
};

/// One plain value.
///
/// ```cpp
/// auto value = encoder.singleValueContainer();
/// amount ? value.encode(*amount) : value.encodeNil();
/// ```
class SingleValueEncodingContainer {
 public:
  /// For encoder implementations.
  explicit SingleValueEncodingContainer(std::unique_ptr<detail::SingleValueEncodingBackend> backend)
      : backend_(std::move(backend)) {}

  /// The keys that lead to the value, outermost first.
  const CodingPath& codingPath() const { return backend_->codingPath(); }
  /// An absent value.
  void encodeNil() { backend_->encodeNil(); }
  /// The value; throws `EncodingError` when it cannot be written.
  template <class T>
  void encode(const T& value) {
    detail::encodeAny(*backend_, value);
  }

 private:
  std::unique_ptr<detail::SingleValueEncodingBackend> backend_;
};

template <CodingKeyType Keys>
KeyedEncodingContainer<Keys> Encoder::container() {
  return KeyedEncodingContainer<Keys>(keyedBackend());
}
inline UnkeyedEncodingContainer Encoder::unkeyedContainer() {
  return UnkeyedEncodingContainer(unkeyedBackend());
}
inline SingleValueEncodingContainer Encoder::singleValueContainer() {
  return SingleValueEncodingContainer(singleValueBackend());
}

template <CodingKeyType Keys>
UnkeyedEncodingContainer KeyedEncodingContainer<Keys>::nestedUnkeyedContainer(const Keys& key) {
  return UnkeyedEncodingContainer(backend_->nestedUnkeyed(detail::keyArgument(key)));
}

/// How a byte block encodes itself when an encoder defers to it: a sequence of byte values.
void encodeBytes(const Data& data, Encoder& encoder);

}  // namespace tamrikcsv
