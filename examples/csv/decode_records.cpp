// Decodes a CSV file with a header row into a std::vector of a struct, by column title, and prints a
// summary of it.
//
//   csv_decode_records FILE      (columns "Place ID", "Place Name", "Floor" and an optional "Serial Number")

#include <iostream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

struct Desk {
  std::string id, name;
  int floor = 0;
  std::optional<std::string> serialNumber;  // absent when the field is empty or the column is missing
};

// Each member with its column title, given once: the record decodes from this list alone.
template <>
struct tamrikcsv::Fields<Desk> {
  static constexpr std::tuple list{field("Place ID", &Desk::id), field("Place Name", &Desk::name),
                                   field("Floor", &Desk::floor), field("Serial Number", &Desk::serialNumber)};
};

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
