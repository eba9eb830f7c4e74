#pragma once

// One field's value as the record encoder hands a whole row of them to the writer: a text, an integer, a
// double, or nothing (an absent optional). Not part of the public interface.

#include <cstdint>
#include <string_view>

namespace tamrikcsv::detail {

struct PlainValue {
  enum class Kind : unsigned char { absent, text, signedInteger, unsignedInteger, real };
  Kind kind = Kind::absent;
  union {
    std::string_view text{};  // alive while the row is written
    std::int64_t signedInteger;
    std::uint64_t unsignedInteger;
    double real;
  };
};

}  // namespace tamrikcsv::detail
