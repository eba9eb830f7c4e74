#include "model/csv_row.hpp"

#include "model/detail/place_rows.hpp"

#include "tamrikcsv/coding/decoder.hpp"
#include "tamrikcsv/coding/encoder.hpp"

namespace tamrik {

CSVRow CSVRow::decode(tamrikcsv::Decoder& decoder) {
  return tamrikcsv::decodeFields<CSVRow>(decoder);
}

void CSVRow::encode(tamrikcsv::Encoder& encoder) const {
  tamrikcsv::encodeFields(*this, encoder);
}

namespace detail {

PlaceRowTexts decodePlaceRow(tamrikcsv::KeyedDecodingContainer<CSVRow::CodingKeys>& row) {
  using Keys = CSVRow::CodingKeys;
  auto text = [&](Keys key) { return row.decode<std::string_view>(key); };
  // Braced initialisation runs left to right, so a missing column is reported in column order.
  return {text(Keys::locationId),
          text(Keys::locationName),
          text(Keys::levelId),
          text(Keys::levelName),
          text(Keys::zoneId),
          text(Keys::zoneName),
          text(Keys::placeId),
          text(Keys::placeName),
          row.decodeIfPresent<std::string_view>(Keys::serialNumber)};
}

void encodePlaceRow(tamrikcsv::Encoder& encoder, const std::array<const std::string*, 8>& fields,
                    const std::string* serialNumber) {
  using Keys = CSVRow::CodingKeys;
  auto row = encoder.container<Keys>();
  for (std::size_t i = 0; i < fields.size(); ++i) row.encode(*fields[i], static_cast<Keys>(i));
  if (serialNumber) row.encode(*serialNumber, Keys::serialNumber);
}

}  // namespace detail

}  // namespace tamrik
