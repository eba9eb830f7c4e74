#include "tamrikcsv/coding/decoder.hpp"

namespace tamrikcsv {

Data decodeBytes(Decoder& decoder) {
  auto bytes = decoder.unkeyedContainer();
  Data data;
  if (auto count = bytes.count()) data.reserve(static_cast<std::size_t>(std::max<std::int64_t>(*count, 0)));
  while (!bytes.isAtEnd()) data.push_back(std::byte{bytes.decode<std::uint8_t>()});
  return data;
}

}  // namespace tamrikcsv
