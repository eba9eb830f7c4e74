// Encodes a std::vector of a struct to a CSV file with a header row.
//
//   csv_encode_records FILE

#include <iostream>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

struct Desk {
  std::string id, name;
  int floor = 0;
  std::optional<std::string> serialNumber;  // an empty field when absent
};

// Each member with its column title, given once: the record encodes from this list alone.
template <>
struct tamrikcsv::Fields<Desk> {
  static constexpr std::tuple list{field("Place ID", &Desk::id), field("Place Name", &Desk::name),
                                   field("Floor", &Desk::floor), field("Serial Number", &Desk::serialNumber)};
};

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: csv_encode_records FILE\n";
    return 2;
  }
  const std::vector<Desk> desks{{"P1", "Desk by the window", 1, "CN465018YN"},
                                {"P2", "Desk, \"quiet\" corner", 1, std::nullopt},
                                {"P3", "Hot desk", 2, "TK85K3140JEL"}};
  // The header row names the columns, in the declared order; fields go under their title.
  tamrikcsv::CSVEncoder encoder([](tamrikcsv::CSVEncoder::Configuration& c) {
    const auto titles = tamrikcsv::fieldTitles<Desk>();
    c.writerConfiguration.headers.assign(titles.begin(), titles.end());
  });
  try {
    encoder.encodeFile(desks, argv[1]);
  } catch (const tamrikcsv::LibraryError& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }
  std::cout << desks.size() << " desks written to " << argv[1] << '\n';
  return 0;
}
