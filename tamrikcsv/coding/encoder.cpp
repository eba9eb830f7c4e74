#include "tamrikcsv/coding/encoder.hpp"

namespace tamrikcsv {

EncodingError::EncodingError(Kind kind, std::any value, CodingPath codingPath, std::string description,
                             std::exception_ptr underlyingError)
    : kind_(kind),
      value_(std::move(value)),
      codingPath_(std::move(codingPath)),
      description_(std::move(description)),
      underlying_(std::move(underlyingError)),
      text_(description_ + " (at " + describe(codingPath_) + ")") {}

void encodeBytes(const Data& data, Encoder& encoder) {
  auto bytes = encoder.unkeyedContainer();
  for (std::byte byte : data) bytes.encode(std::to_integer<std::uint8_t>(byte));
}

}  // namespace tamrikcsv
