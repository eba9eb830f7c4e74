#pragma once

// A record declared once: its members, each with the key it is found under (a column title, a position or
// both), in one list from which the record decodes and encodes. No key enumeration, no title table, no
// `decode` or `encode` body to keep in step with the members.
//
// ```cpp
// struct Place {
//   std::string id, name;
//   std::optional<std::string> serialNumber;  // an optional field: absent when empty or without its column
// };
// template <>
// struct tamrikcsv::Fields<Place> {
//   static constexpr std::tuple list{field("Place ID", &Place::id), field("Place Name", &Place::name),
//                                    field("Serial Number", &Place::serialNumber)};
// };
//
// auto places = decoder.decodeFile<std::vector<Place>>("places.csv");
// encoder.encodeFile(places, "copy.csv");
// ```
//
// The declaration is a specialisation, as `Coding<T>` and `CodingKeyTraits<K>` are: it serves types you
// don't own, and the record stays a plain aggregate that knows nothing of the library.

#include <algorithm>
#include <array>
#include <concepts>
#include <cstddef>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "tamrikcsv/coding/coding.hpp"
#include "tamrikcsv/coding/detail/declared_fields.hpp"

namespace tamrikcsv {

/// The fields of `Record`, declared by specialising it with a `static constexpr` tuple `list` of
/// `field(...)`s: see `field`. Decoding takes the fields in the list's order; so does encoding.
///
/// ```cpp
/// template <> struct tamrikcsv::Fields<Desk> {
///   static constexpr std::tuple list{field("Desk", &Desk::id), field("Floor", &Desk::floor)};
/// };
/// ```
template <class Record>
struct Fields;

/// One declared field: a member of `Record` and its key. A field with a title and no position is found by
/// the header with that title; one with a position is found at that position (0 is the first column),
/// whatever the headers say, and its title, if any, only names it (as a key enumeration's `ints` do).
template <class Record, class Member>
struct Field {
  /// The column title, or null for a field found by position alone.
  const char* title = nullptr;
  /// The column position, or -1 for a field found by title.
  int position = -1;
  /// The member the field's value goes to.
  Member Record::*member = nullptr;
};

/// A field found by column title; the member decodes and encodes as a keyed container's value of its
/// type does, a `std::optional` member as an optional field (`decodeIfPresent`, `encodeIfPresent`).
///
/// ```cpp
/// field("Place Name", &Place::name)
/// ```
template <class Record, class Member>
constexpr Field<Record, Member> field(const char* title, Member Record::*member) {
  return {title, -1, member};
}

/// A field found at a column position (0 is the first), for files without a header row.
///
/// ```cpp
/// field(2, &Place::name)
/// ```
template <class Record, class Member>
constexpr Field<Record, Member> field(int position, Member Record::*member) {
  return {nullptr, position, member};
}

/// A field found at a column position that also has a title, which names it in errors and key lists.
///
/// ```cpp
/// field("Place Name", 2, &Place::name)
/// ```
template <class Record, class Member>
constexpr Field<Record, Member> field(const char* title, int position, Member Record::*member) {
  return {title, position, member};
}

/// A record type with a `Fields` declaration.
template <class T>
concept DeclaredRecord = requires {
  Fields<T>::list;
};

/// Whether no two fields of a list have the same title (fields without a title aside). A list that has
/// fails to compile where its record is decoded or encoded.
///
/// ```cpp
/// static_assert(tamrikcsv::hasUniqueTitles(tamrikcsv::Fields<Place>::list));
/// ```
template <class... F>
constexpr bool hasUniqueTitles(const std::tuple<F...>& list) {
  return detail::titlesAreUnique(list);
}

/// The titles of a declared record's fields, in order: for example a header row to encode under. Every
/// field needs a title.
///
/// ```cpp
/// CSVEncoder encoder([](CSVEncoder::Configuration& c) {
///   const auto titles = tamrikcsv::fieldTitles<Place>();
///   c.writerConfiguration.headers.assign(titles.begin(), titles.end());
/// });
/// ```
template <class Record>
constexpr auto fieldTitles() {
  static_assert(detail::checkDeclaration<Record>());
  if constexpr (DeclaredRecord<Record>) {
    constexpr auto titles = detail::titlesOf(Fields<Record>::list);
    static_assert(std::find(titles.begin(), titles.end(), nullptr) == titles.end(),
                  "a field without a title has none to list");
    return titles;
  } else {
    return std::array<const char*, 0>{};
  }
}

/// A declared record read from its fields, as a keyed container reads them: for a hand-written `decode`
/// that starts from the declaration, or that a type keeps for callers who call it.
///
/// ```cpp
/// static Place decode(tamrikcsv::Decoder& decoder) { return tamrikcsv::decodeFields<Place>(decoder); }
/// ```
template <DeclaredRecord T>
[[nodiscard]] T decodeFields(Decoder& decoder) {
  return detail::DeclaredRecords::decode<T>(decoder);
}

/// A declared record written by its fields, as a keyed container writes them.
///
/// ```cpp
/// void encode(tamrikcsv::Encoder& encoder) const { tamrikcsv::encodeFields(*this, encoder); }
/// ```
template <DeclaredRecord T>
void encodeFields(const T& value, Encoder& encoder) {
  detail::DeclaredRecords::encode(value, encoder);
}

/// A declared record decodes and encodes by its fields, unless it has a hand-written `decode` or `encode`,
/// which then takes that direction: a record whose reading needs logic can still be written from its
/// declaration.
template <DeclaredRecord T>
struct Coding<T> {
  /// The fields in declaration order, as a keyed container reads them: same strategies, same errors.
  template <class D = Decoder>
  static T decode(std::type_identity_t<D>& decoder) {
    if constexpr (requires {
                    { T::decode(decoder) } -> std::convertible_to<T>;
                  })
      return T::decode(decoder);
    else
      return decodeFields<T>(decoder);
  }
  /// `decode` into `value`, a record that holds its default values (a container's new element), where it
  /// stands: no temporary to move. For records without a hand-written `decode`; a failure leaves `value`
  /// with the fields read so far.
  template <class D = Decoder>
  static void decodeInPlace(T& value, std::type_identity_t<D>& decoder) requires(!requires(Decoder & d) {
    { T::decode(d) } -> std::convertible_to<T>;
  }) {
    detail::DeclaredRecords::decodeInto(value, decoder);
  }
  /// The fields in declaration order, as a keyed container writes them.
  template <class E = Encoder>
  static void encode(const T& value, std::type_identity_t<E>& encoder) {
    if constexpr (requires { value.encode(encoder); })
      value.encode(encoder);
    else
      encodeFields(value, encoder);
  }
  /// `encode` into the fields of a row that an encoder of rows hands over. For records without a
  /// hand-written `encode`.
  static void encodeInto(const T& value, const detail::FieldRowWriter& row) requires(
      !requires(const T& record, Encoder& encoder) { record.encode(encoder); }) {
    detail::DeclaredRecords::encode(value, row);
  }
};

}  // namespace tamrikcsv
