#include "model/csv_row.hpp"

#include "model/detail/place_rows.hpp"

#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/coding/encoder.hpp"

namespace tamrik {

CSVRow CSVRow::decode(tamrikcsv::Decoder& decoder) {
  auto row = decoder.container<CodingKeys>();
  auto text = [&](CodingKeys key) { return row.decode<std::string>(key); };
  // Braced initialisation runs left to right, so a missing column is reported in column order.
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

void CSVRow::encode(tamrikcsv::Encoder& encoder) const {
  detail::encodePlaceRow(
      encoder, {&locationId, &locationName, &levelId, &levelName, &zoneId, &zoneName, &placeId, &placeName},
      serialNumber ? &*serialNumber : nullptr);
}

namespace detail {

void encodePlaceRow(tamrikcsv::Encoder& encoder, const std::array<const std::string*, 8>& fields,
                    const std::string* serialNumber) {
  using Keys = CSVRow::CodingKeys;
  auto row = encoder.container<Keys>();
  for (std::size_t i = 0; i < fields.size(); ++i) row.encode(*fields[i], static_cast<Keys>(i));
  if (serialNumber) row.encode(*serialNumber, Keys::serialNumber);
}

}  // namespace detail

}  // namespace tamrik
