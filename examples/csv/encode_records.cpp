// Encodes a std::vector of a struct to a CSV file with a header row.
//
//   csv_encode_records FILE

#include <array>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

struct Desk {
  std::string id, name;
  int floor;
  std::optional<std::string> serialNumber;  // written as an empty field when absent

  enum class CodingKeys { id, name, floor, serialNumber };
  void encode(tamrikcsv::Encoder& encoder) const;
};

template <>
struct tamrikcsv::CodingKeyTraits<Desk::CodingKeys> {
  static constexpr std::array names{"Place ID", "Place Name", "Floor", "Serial Number"};
};

void Desk::encode(tamrikcsv::Encoder& encoder) const {
  auto row = encoder.container<CodingKeys>();
  row.encode(id, CodingKeys::id);
  row.encode(name, CodingKeys::name);
  row.encode(floor, CodingKeys::floor);
  row.encode(serialNumber, CodingKeys::serialNumber);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: csv_encode_records FILE\n";
    return 2;
  }
  const std::vector<Desk> desks{{"P1", "Desk by the window", 1, "CN465018YN"},
                                {"P2", "Desk, \"quiet\" corner", 1, std::nullopt},
                                {"P3", "Hot desk", 2, "TK85K3140JEL"}};
  // The header row names the columns; fields go under the title of their key.
  tamrikcsv::CSVEncoder encoder([](tamrikcsv::CSVEncoder::Configuration& c) {
    c.writerConfiguration.headers = {"Place ID", "Place Name", "Floor", "Serial Number"};
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
