#pragma once

// The type-erased side of the decoding containers: a format implements these interfaces once, and the typed
// containers of decoder.hpp forward to them. Not part of the public interface.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tamrikcsv/coding/values.hpp"
#include "tamrikcsv/text/coding_key.hpp"

namespace tamrikcsv {

class Decoder;

namespace detail {

class FieldRowReader;

/// A key as a keyed container hands it to its backend. For a key enumeration it also names the
/// enumeration (the address of its names, the same in every translation unit) and the enumerator's
/// position, so that a backend can remember what each enumerator resolved to instead of looking its text
/// up again.
struct KeyArgument {
  const CodingKey& key;  // alive for the call the argument is passed to
  const void* enumeration = nullptr;
  std::size_t ordinal = 0;
  std::size_t enumerationSize = 0;
};

/// Runs with the coder (`Decoder` or `Encoder`) of a nested value; used to code types that code
/// themselves. It refers to its callable without owning it, so it costs no allocation per value: it is only
/// ever passed down a call, and never outlives the callable.
template <class Coder>
class CodeWith {
 public:
  template <class F>
  requires(!std::is_same_v<std::remove_cvref_t<F>, CodeWith> &&
           std::is_object_v<std::remove_reference_t<F>> && std::is_invocable_v<F&, Coder&>)
      CodeWith(F&& function)
  noexcept  // NOLINT(google-explicit-constructor): passed as a callable
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(function)))),
        call_(
            [](void* object, Coder& coder) { (*static_cast<std::remove_reference_t<F>*>(object))(coder); }) {}

  void operator()(Coder& coder) const { call_(object_, coder); }

 private:
  void* object_;
  void (*call_)(void*, Coder&);
};

/// Runs with the decoder of a nested value.
using DecodeWith = CodeWith<Decoder>;

/// The values a backend reads directly, each addressed by `Arg...` (a key, or nothing for the next or the
/// only value). Dates, byte blocks, decimals and URLs are among them so that a format can apply its
/// strategies to them.
template <class... Arg>
class DecodingPrimitives {
 public:
  virtual ~DecodingPrimitives() = default;

  /// Whether the value is absent.
  virtual bool decodeNil(Arg... at) = 0;
  virtual std::string decodeString(Arg... at) = 0;
  virtual bool decodeBool(Arg... at) = 0;
  virtual std::int8_t decodeInt8(Arg... at) = 0;
  virtual std::int16_t decodeInt16(Arg... at) = 0;
  virtual std::int32_t decodeInt32(Arg... at) = 0;
  virtual std::int64_t decodeInt64(Arg... at) = 0;
  virtual long long decodeInt(Arg... at) = 0;
  virtual std::uint8_t decodeUInt8(Arg... at) = 0;
  virtual std::uint16_t decodeUInt16(Arg... at) = 0;
  virtual std::uint32_t decodeUInt32(Arg... at) = 0;
  virtual std::uint64_t decodeUInt64(Arg... at) = 0;
  virtual unsigned long long decodeUInt(Arg... at) = 0;
  virtual float decodeFloat(Arg... at) = 0;
  virtual double decodeDouble(Arg... at) = 0;
  virtual Date decodeDate(Arg... at) = 0;
  virtual Data decodeData(Arg... at) = 0;
  virtual Decimal decodeDecimal(Arg... at) = 0;
  virtual URL decodeURL(Arg... at) = 0;
  /// A value that decodes itself: `with` gets a decoder positioned at it.
  virtual void decodeValue(Arg... at, const DecodeWith& with) = 0;
  /// The text of the value without a copy, valid until the decoder reads on to another row. Last, so that
  /// the slots before it stay where they were.
  virtual std::string_view decodeText(Arg... at) = 0;
};

class UnkeyedDecodingBackend;

/// Values under keys.
class KeyedDecodingBackend : public DecodingPrimitives<const KeyArgument&> {
 public:
  virtual const CodingPath& codingPath() const = 0;
  /// The keys with values, among those `accepts` (the container's key type can represent).
  virtual std::vector<CodingKey> allKeys(const std::function<bool(const CodingKey&)>& accepts) = 0;
  virtual bool contains(const KeyArgument& key) = 0;
  virtual std::unique_ptr<KeyedDecodingBackend> nestedKeyed(const KeyArgument& key) = 0;
  virtual std::unique_ptr<UnkeyedDecodingBackend> nestedUnkeyed(const KeyArgument& key) = 0;
  /// The decoder of the container's own super value, or of the value under `key`.
  virtual std::unique_ptr<Decoder> superDecoder() = 0;
  virtual std::unique_ptr<Decoder> superDecoder(const KeyArgument& key) = 0;
};

/// Values in order; each read that succeeds moves on to the next.
class UnkeyedDecodingBackend : public DecodingPrimitives<> {
 public:
  virtual const CodingPath& codingPath() const = 0;
  /// The number of values, when known.
  virtual std::optional<std::int64_t> count() = 0;
  /// The number of values, or a guess at it from the values read so far.
  virtual std::optional<std::int64_t> countEstimate() { return count(); }
  virtual bool isAtEnd() = 0;
  virtual std::int64_t currentIndex() const = 0;
  virtual std::unique_ptr<KeyedDecodingBackend> nestedKeyed() = 0;
  virtual std::unique_ptr<UnkeyedDecodingBackend> nestedUnkeyed() = 0;
  virtual std::unique_ptr<Decoder> superDecoder() = 0;
  /// For declared records (fields.hpp): `with` given the fields of each value left in turn, moving on after
  /// each, where the values are rows of fields; else false, with nothing read.
  virtual bool decodeFieldRows(const CodeWith<FieldRowReader>& with) {
    (void)with;
    return false;
  }
};

/// One value.
class SingleValueDecodingBackend : public DecodingPrimitives<> {
 public:
  virtual const CodingPath& codingPath() const = 0;
};

}  // namespace detail
}  // namespace tamrikcsv
