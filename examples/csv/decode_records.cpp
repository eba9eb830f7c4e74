// Decodes a CSV file with a header row into a std::vector of a struct, by column title, and prints a
// summary of it.
//
//   csv_decode_records FILE      (columns "Place ID", "Place Name", "Floor" and an optional "Serial Number")

#include <array>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

struct Desk {
  std::string id, name;
  int floor;
  std::optional<std::string> serialNumber;  // absent when the field is empty or the column is missing

  enum class CodingKeys { id, name, floor, serialNumber };
  static Desk decode(tamrikcsv::Decoder& decoder);
};

// The column title of each key, given once.
template <>
struct tamrikcsv::CodingKeyTraits<Desk::CodingKeys> {
  static constexpr std::array names{"Place ID", "Place Name", "Floor", "Serial Number"};
};

Desk Desk::decode(tamrikcsv::Decoder& decoder) {
  auto row = decoder.container<CodingKeys>();
  return {row.decode<std::string>(CodingKeys::id), row.decode<std::string>(CodingKeys::name),
          row.decode<int>(CodingKeys::floor), row.decodeIfPresent<std::string>(CodingKeys::serialNumber)};
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: csv_decode_records FILE\n";
    return 2;
  }
  tamrikcsv::CSVDecoder decoder([](tamrikcsv::CSVDecoder::Configuration& c) {
    c.readerConfiguration.headerStrategy = tamrikcsv::Strategy::Header::firstLine;
    c.readerConfiguration.delimiters.row = tamrikcsv::Delimiter::Row::standard();  // LF or CRLF
  });
  try {
    auto desks = decoder.decodeFile<std::vector<Desk>>(argv[1]);
    for (const auto& desk : desks)
      std::cout << desk.id << " \"" << desk.name << "\" on floor " << desk.floor << ": "
                << desk.serialNumber.value_or("no display") << '\n';
    std::cout << desks.size() << " desks\n";
  } catch (const tamrikcsv::LibraryError& error) {  // CSV errors, and conversion errors with row and column
    std::cerr << error.what() << '\n';
    return 1;
  }
  return 0;
}
