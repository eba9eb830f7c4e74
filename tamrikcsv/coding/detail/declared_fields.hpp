#pragma once

// How a declared record (fields.hpp) decodes and encodes: its checks, its keys, and the walk over its
// fields. Not part of the public interface.

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "tamrikcsv/coding/coding_key.hpp"
#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/coding/encoder.hpp"
#include "tamrikcsv/text/detail/plain_value.hpp"

namespace tamrikcsv {

template <class Record>
struct Fields;
template <class Record, class Member>
struct Field;

namespace detail {

template <class T>
inline constexpr bool kHasFields = requires {
  Fields<T>::list;
};

// Whether `L` is a tuple of fields of `T`'s members (its own or its bases').
template <class T, class L>
struct IsFieldListOf : std::false_type {};
template <class T, class... R, class... M>
struct IsFieldListOf<T, std::tuple<Field<R, M>...>>
    : std::bool_constant<(... && (std::is_same_v<R, T> || std::is_base_of_v<R, T>))> {};

template <class... F>
constexpr auto titlesOf(const std::tuple<F...>& list) {
  return std::apply([](const auto&... f) { return std::array<const char*, sizeof...(F)>{f.title...}; }, list);
}
template <class... F>
constexpr auto positionsOf(const std::tuple<F...>& list) {
  return std::apply([](const auto&... f) { return std::array<int, sizeof...(F)>{f.position...}; }, list);
}

template <class... F>
constexpr bool titlesAreUnique(const std::tuple<F...>& list) {
  const auto titles = titlesOf(list);
  for (std::size_t i = 0; i < titles.size(); ++i)
    for (std::size_t j = i + 1; j < titles.size(); ++j)
      if (titles[i] && titles[j] && std::string_view(titles[i]) == std::string_view(titles[j])) return false;
  return true;
}
template <class... F>
constexpr bool positionsAreUnique(const std::tuple<F...>& list) {
  const auto positions = positionsOf(list);
  for (std::size_t i = 0; i < positions.size(); ++i)
    for (std::size_t j = i + 1; j < positions.size(); ++j)
      if (positions[i] >= 0 && positions[i] == positions[j]) return false;
  return true;
}
template <class... F>
constexpr bool hasKeys(const std::tuple<F...>& list) {
  const auto titles = titlesOf(list);
  const auto positions = positionsOf(list);
  for (std::size_t i = 0; i < titles.size(); ++i)
    if (!titles[i] && positions[i] < 0) return false;
  return true;
}

// What a record must be for its declaration to serve; each failure says what to do.
template <class T>
constexpr bool checkDeclaration() {
  static_assert(kHasFields<T>,
                "declare the record's fields: template <> struct tamrikcsv::Fields<T> { static constexpr "
                "std::tuple list{field(\"Title\", &T::member), ...}; };");
  if constexpr (kHasFields<T>) {
    constexpr const auto& list = Fields<T>::list;
    static_assert(IsFieldListOf<T, std::remove_cv_t<std::remove_reference_t<decltype(list)>>>::value,
                  "tamrikcsv::Fields<T>::list must be a std::tuple of field(...)s of T's members");
    if constexpr (IsFieldListOf<T, std::remove_cv_t<std::remove_reference_t<decltype(list)>>>::value) {
      static_assert(hasKeys(list), "every declared field needs a title or a position of 0 or more");
      static_assert(titlesAreUnique(list), "two declared fields of the record have the same title");
      static_assert(positionsAreUnique(list), "two declared fields of the record have the same position");
    }
  }
  return true;
}

/// Reads and writes declared records: through the fields of the row the coder stands at where it offers
/// them, else through a keyed container, as a hand-written record would. Either way each field is the
/// value a keyed container gives or takes under the field's key, so strategies, errors and their order
/// are those of the equivalent hand-written record.
struct DeclaredRecords {
  template <class T>
  static T decode(Decoder& decoder) {
    checkRecord<T>();
    T record{};
    decodeInto(record, decoder);
    return record;
  }
  // `decode` into a record that holds its default values, such as a container's new element: without the
  // temporary and the move, 9% fewer instructions in decoding the places file into a vector.
  template <class T>
  static void decodeInto(T& record, Decoder& decoder) {
    checkRecord<T>();
    const std::vector<CodingKey>& keys = keysOf<T>();
    if (auto row = decoder.fieldRowReader()) return read(record, *row, keys);
    auto backend = decoder.keyedBackend();
    read(record, *backend, keys);
  }
  template <class T>
  static void decodeInto(T& record, FieldRowReader& row) {
    checkRecord<T>();
    read(record, row, keysOf<T>());
  }

  template <class T>
  static void encode(const T& value, Encoder& encoder) {
    if (auto row = encoder.fieldRowWriter()) return encode(value, *row);
    checkRecord<T>();
    auto backend = encoder.keyedBackend();
    write(value, *backend, keysOf<T>());
  }
  template <class T>
  static void encode(const T& value, const FieldRowWriter& row) {
    checkRecord<T>();
    const std::vector<CodingKey>& keys = keysOf<T>();
    if (writeWhole(value, row, keys)) return;
    write(value, row, keys);
  }

 private:
  template <class T>
  static constexpr void checkRecord() {
    static_assert(checkDeclaration<T>());
    static_assert(
        std::is_default_constructible_v<T>,
        "a declared record decodes into a default-constructed value: give it a default constructor");
  }

  // The field keys of a record, made once. Their vector's address names the record to a coder, which then
  // remembers what each field resolved to (as it does for a key enumeration) instead of looking its title up
  // on every row.
  template <class T>
  static const std::vector<CodingKey>& keysOf() {
    static const std::vector<CodingKey> keys = std::apply(
        [](const auto&... field) { return std::vector<CodingKey>{keyOf(field)...}; }, Fields<T>::list);
    return keys;
  }
  template <class F>
  static CodingKey keyOf(const F& field) {
    if (!field.title) return CodingKey(field.position);
    return CodingKey::view(field.title,
                           field.position >= 0 ? std::optional<int>(field.position) : std::nullopt);
  }
  static KeyArgument argument(const std::vector<CodingKey>& keys, std::size_t ordinal) {
    return {keys[ordinal], &keys, ordinal, keys.size()};
  }

  // The number of fields a record declares.
  template <class T>
  static constexpr std::size_t fieldCount = std::tuple_size_v<std::remove_cvref_t<decltype(Fields<T>::list)>>;

  template <class T, class Row>
  static void read(T& record, Row& row, const std::vector<CodingKey>& keys) {
    constexpr std::size_t kCount = fieldCount<T>;
    if constexpr (std::is_same_v<Row, FieldRowReader>) {
      // Texts taken straight from the row, without the per-field calls of a keyed read: 10% fewer
      // instructions in decoding the places file.
      if (const std::int64_t* positions = row.directPositions(keys)) {
        const PackedFields texts = row.directTexts();
        [&]<std::size_t... I>(std::index_sequence<I...>) {
          (readDirect(row, texts, record.*(std::get<I>(Fields<T>::list).member), keys, I, positions[I]), ...);
        }
        (std::make_index_sequence<kCount>{});
        return;
      }
    }
    // The fold runs left to right: fields are read, and fail, in declaration order.
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      (readField(row, record.*(std::get<I>(Fields<T>::list).member), argument(keys, I)), ...);
    }
    (std::make_index_sequence<kCount>{});
  }
  template <class Row, class M>
  static void readField(Row& row, M& member, const KeyArgument& key) {
    static_assert(!kIsTextView<M>, "a std::string_view member would outlive its row: declare a std::string");
    if constexpr (IsOptional<M>::value) {
      if (!row.contains(key) || row.decodeNil(key))
        member = std::nullopt;
      else if constexpr (std::is_same_v<M, std::optional<std::string>>)
        member.emplace(row.decodeText(key));
      else
        member = decodeAny<typename M::value_type>(row, key);
    } else if constexpr (std::is_same_v<M, std::string>) {
      setText(member, row.decodeText(key));  // a text is its field's text whatever the strategies
    } else {
      member = decodeAny<M>(row, key);
    }
  }

  // The member made again from the text, to its size: assigning a long text would round its room up to
  // twice the short-text buffer, which took 46% more heap than a hand-written record for the places file;
  // assigning short texts took 7% more instructions in decoding that file.
  static void setText(std::string& member, std::string_view text) {
    std::destroy_at(&member);
    try {
      std::construct_at(&member, text);
    } catch (...) {
      std::construct_at(&member);  // out of memory: the record still holds a string to destroy
      throw;
    }
  }

  // The built-in values that convert straight from a field's text, whatever the strategies.
  template <class M>
  static constexpr bool kIsNumber = CodingPrimitive<M>&& std::is_arithmetic_v<M> && !std::is_same_v<M, bool>;

  // As `readField` for the record's field `ordinal`, with its position among the row's `texts`: negative
  // where no header has its title. The key is made only for a field read as `readField` reads it.
  template <class M>
  static void readDirect(FieldRowReader& row, const PackedFields& texts, M& member,
                         const std::vector<CodingKey>& keys, std::size_t ordinal, std::int64_t position) {
    if constexpr (std::is_same_v<M, std::string>) {
      if (position >= 0) return setText(member, texts[static_cast<std::size_t>(position)]);
    } else if constexpr (kIsNumber<M>) {
      // Without the keyed read's lookup: 11% fewer instructions in decoding five integers and five doubles.
      if (position >= 0)
        return (void)(member = row.directNumber<M>(texts[static_cast<std::size_t>(position)], keys[ordinal]));
    } else if constexpr (IsOptional<M>::value) {
      using V = typename M::value_type;
      if constexpr (std::is_same_v<V, std::string> || kIsNumber<V>) {
        // Absent without a column, or as an empty field.
        const std::string_view text =
            position < 0 ? std::string_view() : texts[static_cast<std::size_t>(position)];
        if (text.empty())
          member = std::nullopt;
        else if constexpr (std::is_same_v<V, std::string>)
          member.emplace(text);
        else
          member = row.directNumber<V>(text, keys[ordinal]);
        return;
      }
    }
    readField(row, member, argument(keys, ordinal));  // and its errors
  }

  template <class T, class Row>
  static void write(const T& record, Row& row, const std::vector<CodingKey>& keys) {
    constexpr std::size_t kCount = fieldCount<T>;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      (writeField(row, record.*(std::get<I>(Fields<T>::list).member), argument(keys, I)), ...);
    }
    (std::make_index_sequence<kCount>{});
  }
  template <class Row, class M>
  static void writeField(Row& row, const M& member, const KeyArgument& key) {
    if constexpr (IsOptional<M>::value) {
      if (member) encodeAny(row, *member, key);
    } else {
      encodeAny(row, member, key);
    }
  }

  // Takes a value as `encodeAny` hands it to a backend, so that a row's plain values are what `writeField`
  // would write. Any other value (one under a strategy, or one that encodes itself) makes the row not plain.
  struct PlainValueOf {
    PlainValue& value;
    bool& plain;

    void encodeString(std::string_view v) {
      value.kind = PlainValue::Kind::text;
      value.text = v;
    }
    void encodeSigned(std::int64_t v) {
      value.kind = PlainValue::Kind::signedInteger;
      value.signedInteger = v;
    }
    void encodeUnsigned(std::uint64_t v) {
      value.kind = PlainValue::Kind::unsignedInteger;
      value.unsignedInteger = v;
    }
    void encodeDouble(double v) {
      value.kind = PlainValue::Kind::real;
      value.real = v;
    }
    void encodeNil() { plain = false; }
    void encodeBool(bool) { plain = false; }
    void encodeFloat(float) { plain = false; }
    void encodeDate(Date) { plain = false; }
    void encodeData(const Data&) { plain = false; }
    void encodeDecimal(const Decimal&) { plain = false; }
    void encodeURL(const URL&) { plain = false; }
    void encodeValue(const EncodeWith&) { plain = false; }
  };

  // The whole row in one call, where the encoder takes it so: the fields of a record of texts and numbers
  // cross from the record to the writer once per row instead of once per field. Encoding the places file
  // (nine texts) took 1720 instructions a row field by field and takes 1230 so; the numeric file (five
  // integers, five doubles) 3190 and 2530.
  template <class T>
  static bool writeWhole(const T& record, const FieldRowWriter& row, const std::vector<CodingKey>& keys) {
    constexpr std::size_t kCount = fieldCount<T>;
    if (!row.takesRows()) return false;
    // Each value is made where it stays: copying one made elsewhere reads its fields back at once, just
    // after they were written one by one, which stalled the numeric file's rows 9% longer than field by
    // field.
    std::array<PlainValue, kCount> values;
    bool plain = true;
    [&]<std::size_t... I>(std::index_sequence<I...>) {
      (plainValue(record.*(std::get<I>(Fields<T>::list).member), values[I], plain), ...);
    }
    (std::make_index_sequence<kCount>{});
    return plain && row.encodeRow(values, keys);
  }
  template <class M>
  static void plainValue(const M& member, PlainValue& value, bool& plain) {
    PlainValueOf into{value, plain};
    if constexpr (IsOptional<M>::value) {
      if (member) encodeAny(into, *member);  // else absent, as `writeField` writes nothing
    } else {
      encodeAny(into, member);
    }
  }
};

}  // namespace detail
}  // namespace tamrikcsv
