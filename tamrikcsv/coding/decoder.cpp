#include "tamrikcsv/coding/decoder.hpp"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tamrikcsv {

void detail::prefault(void* begin, std::size_t bytes) noexcept {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  static const auto kPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(begin);
  const std::uintptr_t first = (start + kPage - 1) & ~(kPage - 1);
  const std::uintptr_t last = (start + bytes) & ~(kPage - 1);
  // Advice only: a kernel before 5.14 refuses it, and the pages are then mapped as they are written.
  if (last > first) (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
  (void)begin;
  (void)bytes;
#endif
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

Data decodeBytes(Decoder& decoder) {
  auto bytes = decoder.unkeyedContainer();
  Data data;
  if (auto count = bytes.count()) data.reserve(static_cast<std::size_t>(std::max<std::int64_t>(*count, 0)));
  while (!bytes.isAtEnd()) data.push_back(std::byte{bytes.decode<std::uint8_t>()});
  return data;
}

}  // namespace tamrikcsv
