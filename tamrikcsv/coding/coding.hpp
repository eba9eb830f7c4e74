#pragma once

// What the decoding and the encoding sides of the record-mapping interface share: the user info, the key
// types, the built-in values, and `Coding<T>`, the one place a type says how it decodes and encodes.
//
// `Coding<T>`'s members are templates over the coder, so each side's body needs only that side's header
// (decoder.hpp or encoder.hpp) where it is used, and a type that is only ever decoded needs no `encode`.

#include <algorithm>
#include <any>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <map>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tamrikcsv/coding/detail/decoding_backend.hpp"  // KeyArgument, which both sides' backends take
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/text/coding_key.hpp"

namespace tamrikcsv {

class Decoder;
class Encoder;

/// Values a caller hands to every type being decoded (or encoded), by name.
using CodingUserInfo = std::map<std::string, std::any>;

/// The values coders read and write themselves: texts, booleans, integers of every width, `float`,
/// `double`, `Date`, `Data`, `Decimal` and `URL`. A coder's strategies apply to them.
template <class T>
concept CodingPrimitive = std::same_as<T, std::string> || std::same_as<T, bool> ||
    std::same_as<T, std::int8_t> || std::same_as<T, std::int16_t> || std::same_as<T, std::int32_t> ||
    std::same_as<T, std::int64_t> || std::same_as<T, long long> || std::same_as<T, std::uint8_t> ||
    std::same_as<T, std::uint16_t> || std::same_as<T, std::uint32_t> || std::same_as<T, std::uint64_t> ||
    std::same_as<T, unsigned long long> || std::same_as<T, float> || std::same_as<T, double> ||
    std::same_as<T, Date> || std::same_as<T, Data> || std::same_as<T, Decimal> || std::same_as<T, URL>;

/// The key types of keyed containers: `CodingKey` itself, or an `enum class` with `CodingKeyTraits`.
template <class K>
concept CodingKeyType = std::same_as<K, CodingKey> ||
    (std::is_enum_v<K>&& requires { CodingKeyTraits<K>::names; });

namespace detail {

// A key as a keyed container hands it to its backend.
template <CodingKeyType Keys>
KeyArgument keyArgument(const Keys& key) {
  if constexpr (std::is_same_v<Keys, CodingKey>) {
    return {key};
  } else {
    const auto& names = CodingKeyTraits<Keys>::names;
    return {enumeratorKey(key), &names, static_cast<std::size_t>(key), names.size()};
  }
}

/// A view of a field's text, which lives only as long as its row: a decode may look at it, never return it.
template <class T>
inline constexpr bool kIsTextView =
    std::is_same_v<T, std::string_view> || std::is_same_v<T, std::optional<std::string_view>>;

}  // namespace detail

/// How a type decodes and encodes itself. The primary template covers the built-in values and types with
/// a `static T decode(Decoder&)` and a `void encode(Encoder&) const`; fields.hpp covers records with a
/// `Fields` declaration. Specialise it for other types you don't own, with either member or both:
///
/// ```cpp
/// template <> struct tamrikcsv::Coding<Point> {
///   static Point decode(tamrikcsv::Decoder& decoder);
///   static void encode(const Point& point, tamrikcsv::Encoder& encoder);
/// };
/// ```
template <class T>
struct Coding {
  /// Reads a `T`: a built-in value from a single-value container, else `T::decode(decoder)`. Throws what
  /// the decoder throws, usually `DecodingError`.
  template <class D = Decoder>
  static T decode(std::type_identity_t<D>& decoder) {
    static_assert(!detail::kIsTextView<T>, "a std::string_view dies with its row: decode a std::string");
    if constexpr (CodingPrimitive<T>) {
      return decoder.singleValueContainer().template decode<T>();
    } else {
      static_assert(
          requires {
            { T::decode(decoder) } -> std::convertible_to<T>;
          },
          "declare the type's fields with `tamrikcsv::Fields<T>` (fields.hpp), give it a "
          "`static T decode(Decoder&)`, or specialise `Coding<T>`");
      return T::decode(decoder);
    }
  }
  /// Writes `value`: a built-in value into a single-value container, else by `value.encode(encoder)`.
  /// Throws what the encoder throws, usually `EncodingError`.
  template <class E = Encoder>
  static void encode(const T& value, std::type_identity_t<E>& encoder) {
    if constexpr (CodingPrimitive<T>) {
      encoder.singleValueContainer().encode(value);
    } else {
      static_assert(
          requires { value.encode(encoder); },
          "declare the type's fields with `tamrikcsv::Fields<T>` (fields.hpp), give it a "
          "`void encode(Encoder&) const`, or specialise `Coding<T>`");
      value.encode(encoder);
    }
  }
};

/// Absent values (under the coder's nil strategy) are nothing.
template <class T>
struct Coding<std::optional<T>> {
  template <class D = Decoder>
  static std::optional<T> decode(std::type_identity_t<D>& decoder) {
    if (decoder.singleValueContainer().decodeNil()) return std::nullopt;
    return Coding<T>::decode(decoder);
  }
  template <class E = Encoder>
  static void encode(const std::optional<T>& value, std::type_identity_t<E>& encoder) {
    if (value)
      Coding<T>::encode(*value, encoder);
    else
      encoder.singleValueContainer().encodeNil();
  }
};

namespace detail {

/// Whether a `T` decodes into an element where it stands (`Coding<T>::decodeInPlace`, a declared record's).
template <class T>
concept DecodesInPlace = requires(T& value, Decoder& decoder) {
  Coding<T>::decodeInPlace(value, decoder);
};
class FieldRowWriter;
/// Whether a `T` encodes straight into a row's fields (`Coding<T>::encodeInto`, a declared record's).
template <class T>
concept EncodesByFields = requires(const T& value, const FieldRowWriter& row) {
  Coding<T>::encodeInto(value, row);
};

/// Has the system map the `bytes` of memory at `begin` now, in one call, rather than a page at a time as
/// they are first written; whole pages only, and nothing where the system can't. The memory's contents
/// stay as they are.
void prefault(void* begin, std::size_t bytes) noexcept;

/// Once a sample of a sequence of unknown length was read, reserves room for the elements its container
/// expects, so that a long sequence isn't moved at every doubling. A step is at most 64 times the elements
/// read, so that short first rows can ask for a bounded multiple of the real ones at most; it grows by half
/// at least, and only when the estimate goes beyond the room there is.
template <class T, class Elements>
void reserveAhead(std::vector<T>& values, Elements& elements) {
  constexpr std::size_t kSample = 16384;
  if (values.size() < kSample) return;
  const std::optional<std::int64_t> expected = elements.countEstimate();
  if (!expected || *expected <= 0) return;
  const std::size_t wanted = std::min(static_cast<std::size_t>(*expected) / 16 * 17,
                                      64 * values.size());  // a margin for longer rows
  if (wanted <= values.capacity()) return;
  try {
    values.reserve(std::max(wanted, values.capacity() + values.capacity() / 2));
  } catch (const std::bad_alloc&) {  // doubling goes on
  } catch (const std::length_error&) {
  }
}

/// Where the room reserved reaches more than 4 MiB past the elements written (`reserveAhead`, or a count
/// known before), maps the room of the next 4 MiB of elements and returns the element where that room
/// ends; else the end of the room there is. Mapped a step at a time as elements are written, the room that
/// an estimate overshot is never mapped: for a file of a million records of nine texts, a quarter of the
/// page faults and 8% less time.
template <class T>
std::size_t mapAhead(std::vector<T>& values) {
  constexpr std::size_t kStep = ((std::size_t{4} << 20) + sizeof(T) - 1) / sizeof(T);
  if (values.capacity() - values.size() <= kStep) return values.capacity();
  if constexpr (!std::is_same_v<T, bool>)  // packed bits have no data() to map
    prefault(values.data() + values.size(), kStep * sizeof(T));
  return values.size() + kStep;
}

}  // namespace detail

/// A sequence of values, such as the rows of a file. (`Data`, a vector of bytes, is a primitive instead.)
template <class T>
requires(!std::is_same_v<T, std::byte>) struct Coding<std::vector<T>> {
  template <class D = Decoder>
  static std::vector<T> decode(std::type_identity_t<D>& decoder) {
    static_assert(!detail::kIsTextView<T>, "a std::string_view dies with its row: decode a std::string");
    auto elements = decoder.unkeyedContainer();
    std::vector<T> values;
    if (auto count = elements.count())
      values.reserve(static_cast<std::size_t>(std::max<std::int64_t>(*count, 0)));
    std::size_t mapped = 0;  // the elements whose room is mapped, or is doubling's
    auto makeRoom = [&] {
      if (values.size() == values.capacity()) detail::reserveAhead(values, elements);
      if (values.size() >= mapped) mapped = detail::mapAhead(values);
    };
    if constexpr (detail::DecodesInPlace<T>) {
      elements.template decodeAllInto<T>([&]() -> T& {
        makeRoom();
        return values.emplace_back();
      });
    } else {
      while (!elements.isAtEnd()) {
        makeRoom();
        elements.template decodeInto<T>([&](T&& value) { values.push_back(std::move(value)); });
      }
    }
    // Doubling never leaves more than half the room empty: only an estimate that overshot does.
    if (values.capacity() / 2 > values.size()) values.shrink_to_fit();
    return values;
  }
  template <class E = Encoder>
  static void encode(const std::vector<T>& values, std::type_identity_t<E>& encoder) {
    auto elements = encoder.unkeyedContainer();
    elements.expectCount(static_cast<std::int64_t>(values.size()));
    elements.encodeAll(values);
  }
};

}  // namespace tamrikcsv
