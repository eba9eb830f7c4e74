#include "tamrikcsv/coding/coding_key.hpp"

#include "tamrikcsv/coding/decoding_error.hpp"

namespace tamrikcsv {

std::string describe(const CodingPath& path) {
  std::string out = "[";
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i > 0) out += ", ";
    // A position prints as a number; a named key with an integer (such as "super") by its name.
    if (path[i].intValue() && path[i].stringValue() == std::to_string(*path[i].intValue()))
      out += path[i].stringValue();
    else
      out.append("\"").append(path[i].stringValue()).append("\"");
  }
  return out + "]";
}

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

}  // namespace tamrikcsv
