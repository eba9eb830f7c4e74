#include "tamrikcsv/coding/decoder.hpp"

namespace tamrikcsv {

DecodingError::DecodingError(Kind kind, CodingPath codingPath, std::string description,
                             std::exception_ptr underlyingError)
    : kind_(kind),
      codingPath_(std::move(codingPath)),
      description_(std::move(description)),
      underlying_(std::move(underlyingError)),
      text_(description_ + " (at " + describe(codingPath_) + ")") {}

DecodingError DecodingError::typeMismatch(std::string typeName, std::string_view text,
                                          CodingPath codingPath) {
  std::string description = "The field '";
  description.append(text).append("' was not of the expected type '").append(typeName).append("'.");
  DecodingError error(Kind::typeMismatch, std::move(codingPath), std::move(description));
  error.typeName_ = std::move(typeName);
  return error;
}

DecodingError DecodingError::dataCorrupted(CodingPath codingPath, std::string description) {
  return DecodingError(Kind::dataCorrupted, std::move(codingPath), std::move(description));
}

Data decodeBytes(Decoder& decoder) {
  auto bytes = decoder.unkeyedContainer();
  Data data;
  if (auto count = bytes.count()) data.reserve(static_cast<std::size_t>(std::max<std::int64_t>(*count, 0)));
  while (!bytes.isAtEnd()) data.push_back(std::byte{bytes.decode<std::uint8_t>()});
  return data;
}

}  // namespace tamrikcsv
