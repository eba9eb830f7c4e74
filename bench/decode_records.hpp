#pragma once

// The records the decoder and encoder benchmarks decode and encode: a places row by header title, and a
// numeric row of five integers and five doubles.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

namespace tamrikcsv::bench {

struct PlaceRecord {
  std::string locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName;
  std::optional<std::string> serialNumber;
  // clang-format off
  enum class CodingKeys { locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName,
                          serialNumber };
  // clang-format on
  static PlaceRecord decode(Decoder& decoder);
  void encode(Encoder& encoder) const;
};

struct NumericRecord {
  std::int64_t i0, i1, i2, i3, i4;
  double f0, f1, f2, f3, f4;
  enum class CodingKeys { i0, i1, i2, i3, i4, f0, f1, f2, f3, f4 };
  static NumericRecord decode(Decoder& decoder);
  void encode(Encoder& encoder) const;
};

}  // namespace tamrikcsv::bench

// The traits come before the first container over the keys, so `decode` is defined after them.
template <>
struct tamrikcsv::CodingKeyTraits<tamrikcsv::bench::PlaceRecord::CodingKeys> {
  static constexpr std::array names{"Location ID", "Location Name", "Level ID",   "Level Name",   "Zone ID",
                                    "Zone Name",   "Place ID",      "Place Name", "Serial Number"};
};
template <>
struct tamrikcsv::CodingKeyTraits<tamrikcsv::bench::NumericRecord::CodingKeys> {
  static constexpr std::array names{"i0", "i1", "i2", "i3", "i4", "f0", "f1", "f2", "f3", "f4"};
};

namespace tamrikcsv::bench {

inline PlaceRecord PlaceRecord::decode(Decoder& decoder) {
  auto row = decoder.container<CodingKeys>();
  auto text = [&](CodingKeys key) { return row.decode<std::string>(key); };
  // Braced initialisation runs left to right, so the fields are taken in column order.
  return {text(CodingKeys::locationId),
          text(CodingKeys::locationName),
          text(CodingKeys::levelId),
          text(CodingKeys::levelName),
          text(CodingKeys::zoneId),
          text(CodingKeys::zoneName),
          text(CodingKeys::placeId),
          text(CodingKeys::placeName),
          row.decodeIfPresent<std::string>(CodingKeys::serialNumber)};
}

inline NumericRecord NumericRecord::decode(Decoder& decoder) {
  auto row = decoder.container<CodingKeys>();
  auto integer = [&](CodingKeys key) { return row.decode<std::int64_t>(key); };
  auto real = [&](CodingKeys key) { return row.decode<double>(key); };
  return {integer(CodingKeys::i0), integer(CodingKeys::i1), integer(CodingKeys::i2), integer(CodingKeys::i3),
          integer(CodingKeys::i4), real(CodingKeys::f0),    real(CodingKeys::f1),    real(CodingKeys::f2),
          real(CodingKeys::f3),    real(CodingKeys::f4)};
}

inline void PlaceRecord::encode(Encoder& encoder) const {
  auto row = encoder.container<CodingKeys>();
  row.encode(locationId, CodingKeys::locationId);
  row.encode(locationName, CodingKeys::locationName);
  row.encode(levelId, CodingKeys::levelId);
  row.encode(levelName, CodingKeys::levelName);
  row.encode(zoneId, CodingKeys::zoneId);
  row.encode(zoneName, CodingKeys::zoneName);
  row.encode(placeId, CodingKeys::placeId);
  row.encode(placeName, CodingKeys::placeName);
  row.encode(serialNumber, CodingKeys::serialNumber);
}

inline void NumericRecord::encode(Encoder& encoder) const {
  auto row = encoder.container<CodingKeys>();
  for (auto [value, key] : {std::pair{i0, CodingKeys::i0},
                            {i1, CodingKeys::i1},
                            {i2, CodingKeys::i2},
                            {i3, CodingKeys::i3},
                            {i4, CodingKeys::i4}})
    row.encode(value, key);
  for (auto [value, key] : {std::pair{f0, CodingKeys::f0},
                            {f1, CodingKeys::f1},
                            {f2, CodingKeys::f2},
                            {f3, CodingKeys::f3},
                            {f4, CodingKeys::f4}})
    row.encode(value, key);
}

/// A decoder for files with a header line, under `buffering`.
inline CSVDecoder recordDecoder(Strategy::DecodingBuffer buffering) {
  return CSVDecoder([buffering](CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = Strategy::Header::firstLine;
    c.bufferingStrategy = buffering;
  });
}

}  // namespace tamrikcsv::bench

namespace tamrikcsv::bench {

/// The header titles of a record's columns, in order.
template <class Keys>
std::vector<std::string> headersOf() {
  const auto& names = CodingKeyTraits<Keys>::names;
  return {names.begin(), names.end()};
}

/// An encoder writing a header line of the record's titles, under `buffering`.
template <class Record>
CSVEncoder recordEncoder(Strategy::EncodingBuffer buffering) {
  return CSVEncoder([buffering](CSVEncoder::Configuration& c) {
    c.writerConfiguration.headers = headersOf<typename Record::CodingKeys>();
    c.bufferingStrategy = buffering;
  });
}

}  // namespace tamrikcsv::bench
