#pragma once

// The type-erased side of the encoding containers: a format implements these interfaces once, and the typed
// containers of encoder.hpp forward to them. Not part of the public interface.

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <type_traits>

#include "tamrikcsv/coding/detail/decoding_backend.hpp"  // KeyArgument
#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/text/coding_key.hpp"

namespace tamrikcsv {

class Encoder;

namespace detail {

class FieldRowWriter;

/// Runs with the encoder of a nested value.
using EncodeWith = CodeWith<Encoder>;

/// The values a backend writes directly, each addressed by `Arg...` (a key, or nothing for the next or the
/// only value). Integers come in two widths only: their text does not depend on the width.
template <class... Arg>
class EncodingPrimitives {
 public:
  virtual ~EncodingPrimitives() = default;

  /// An absent value.
  virtual void encodeNil(Arg... at) = 0;
  virtual void encodeString(std::string_view value, Arg... at) = 0;
  virtual void encodeBool(bool value, Arg... at) = 0;
  virtual void encodeSigned(std::int64_t value, Arg... at) = 0;
  virtual void encodeUnsigned(std::uint64_t value, Arg... at) = 0;
  virtual void encodeFloat(float value, Arg... at) = 0;
  virtual void encodeDouble(double value, Arg... at) = 0;
  virtual void encodeDate(Date value, Arg... at) = 0;
  virtual void encodeData(const Data& value, Arg... at) = 0;
  virtual void encodeDecimal(const Decimal& value, Arg... at) = 0;
  virtual void encodeURL(const URL& value, Arg... at) = 0;
  /// A value that encodes itself: `with` gets an encoder positioned at it.
  virtual void encodeValue(Arg... at, const EncodeWith& with) = 0;
};

class UnkeyedEncodingBackend;

/// Values under keys.
class KeyedEncodingBackend : public EncodingPrimitives<const KeyArgument&> {
 public:
  virtual const CodingPath& codingPath() const = 0;
  virtual std::unique_ptr<KeyedEncodingBackend> nestedKeyed(const KeyArgument& key) = 0;
  virtual std::unique_ptr<UnkeyedEncodingBackend> nestedUnkeyed(const KeyArgument& key) = 0;
  /// The encoder of the container's own super value, or of the value under `key`.
  virtual std::unique_ptr<Encoder> superEncoder() = 0;
  virtual std::unique_ptr<Encoder> superEncoder(const KeyArgument& key) = 0;
};

/// Values in order; each value written moves on to the next position.
class UnkeyedEncodingBackend : public EncodingPrimitives<> {
 public:
  virtual const CodingPath& codingPath() const = 0;
  /// The number of values the container holds so far.
  virtual std::int64_t count() = 0;
  /// Told how many values follow; a hint.
  virtual void expectCount(std::int64_t /*count*/) {}
  virtual std::unique_ptr<KeyedEncodingBackend> nestedKeyed() = 0;
  virtual std::unique_ptr<UnkeyedEncodingBackend> nestedUnkeyed() = 0;
  virtual std::unique_ptr<Encoder> superEncoder() = 0;
  /// For declared records (fields.hpp): `with` given the fields of each of the next `count` values in turn,
  /// moving on after each, where the values are rows of fields; else false, with nothing written.
  virtual bool encodeFieldRows(std::size_t count, const CodeWith<FieldRowWriter>& with) {
    (void)count;
    (void)with;
    return false;
  }
};

/// One value.
class SingleValueEncodingBackend : public EncodingPrimitives<> {
 public:
  virtual const CodingPath& codingPath() const = 0;
};

}  // namespace detail
}  // namespace tamrikcsv
