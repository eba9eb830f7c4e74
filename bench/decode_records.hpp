#pragma once

// The records the decoder and encoder benchmarks decode and encode: a places row by header title, and a
// numeric row of five integers and five doubles, each written by hand and declared by its fields.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
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

// The same records declared by their fields, which decode and encode without a key enumeration or a body.
struct DeclaredPlaceRecord {
  std::string locationId, locationName, levelId, levelName, zoneId, zoneName, placeId, placeName;
  std::optional<std::string> serialNumber;
};

struct DeclaredNumericRecord {
  std::int64_t i0, i1, i2, i3, i4;
  double f0, f1, f2, f3, f4;
};

template <class Record>
inline constexpr bool kIsPlaceRecord =
    std::is_same_v<Record, PlaceRecord> || std::is_same_v<Record, DeclaredPlaceRecord>;

}  // namespace tamrikcsv::bench

template <>
struct tamrikcsv::Fields<tamrikcsv::bench::DeclaredPlaceRecord> {
  using R = tamrikcsv::bench::DeclaredPlaceRecord;
  static constexpr std::tuple list{field("Location ID", &R::locationId),
                                   field("Location Name", &R::locationName),
                                   field("Level ID", &R::levelId),
                                   field("Level Name", &R::levelName),
                                   field("Zone ID", &R::zoneId),
                                   field("Zone Name", &R::zoneName),
                                   field("Place ID", &R::placeId),
                                   field("Place Name", &R::placeName),
                                   field("Serial Number", &R::serialNumber)};
};
template <>
struct tamrikcsv::Fields<tamrikcsv::bench::DeclaredNumericRecord> {
  using R = tamrikcsv::bench::DeclaredNumericRecord;
  static constexpr std::tuple list{field("i0", &R::i0), field("i1", &R::i1), field("i2", &R::i2),
                                   field("i3", &R::i3), field("i4", &R::i4), field("f0", &R::f0),
                                   field("f1", &R::f1), field("f2", &R::f2), field("f3", &R::f3),
                                   field("f4", &R::f4)};
};

// The traits come before the first container over the keys, so `decode` is defined after them. The titles
// are the declared twins'.
template <>
struct tamrikcsv::CodingKeyTraits<tamrikcsv::bench::PlaceRecord::CodingKeys> {
  static constexpr auto names = fieldTitles<tamrikcsv::bench::DeclaredPlaceRecord>();
};
template <>
struct tamrikcsv::CodingKeyTraits<tamrikcsv::bench::NumericRecord::CodingKeys> {
  static constexpr auto names = fieldTitles<tamrikcsv::bench::DeclaredNumericRecord>();
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
template <class Record>
std::vector<std::string> headersOf() {
  if constexpr (DeclaredRecord<Record>) {
    const auto titles = fieldTitles<Record>();
    return {titles.begin(), titles.end()};
  } else {
    const auto& names = CodingKeyTraits<typename Record::CodingKeys>::names;
    return {names.begin(), names.end()};
  }
}

/// An encoder writing a header line of the record's titles, under `buffering`.
template <class Record>
CSVEncoder recordEncoder(Strategy::EncodingBuffer buffering) {
  return CSVEncoder([buffering](CSVEncoder::Configuration& c) {
    c.writerConfiguration.headers = headersOf<Record>();
    c.bufferingStrategy = buffering;
  });
}

}  // namespace tamrikcsv::bench
