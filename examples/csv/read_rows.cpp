// Streams a CSV file and prints each row, its fields separated by " | ".
//
//   csv_read_rows FILE [--delimiter ;] [--escape none|"] [--encoding UTF-16LE]
//
// Rows are read one at a time into the same vector, so a file of any size takes little memory.

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tamrikcsv/tamrikcsv.hpp"

using namespace tamrikcsv;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: csv_read_rows FILE [--delimiter D] [--escape none|C] [--encoding NAME]\n";
    return 2;
  }
  CSVReader::Configuration configuration;
  try {
    for (int i = 2; i + 1 < argc; i += 2) {
      std::string option = argv[i], value = argv[i + 1];
      if (option == "--delimiter") {
        configuration.delimiters.field = value;  // any non-empty text, e.g. ";" or "||"
      } else if (option == "--escape") {
        configuration.escapingStrategy = value == "none"
                                             ? Strategy::Escaping::none()
                                             : Strategy::Escaping(static_cast<char32_t>(value.at(0)));
      } else if (option == "--encoding") {
        auto encoding = textEncoding(value);  // "UTF-8", "UTF-16LE", "Shift_JIS", "ISO-8859-1", ...
        if (!encoding) throw std::invalid_argument("unknown encoding: " + value);
        configuration.encoding = *encoding;
      } else {
        throw std::invalid_argument("unknown option: " + option);
      }
    }
  } catch (const std::exception& error) {
    std::cerr << "csv_read_rows: " << error.what() << '\n';
    return 2;
  }

  try {
    auto reader = CSVReader::fromFile(argv[1], configuration);
    std::vector<std::string> row;
    while (reader.readRow(row)) {
      for (std::size_t i = 0; i < row.size(); ++i) std::cout << (i ? " | " : "") << row[i];
      std::cout << '\n';
    }
  } catch (const CSVErrorBase& error) {
    std::cerr << error.what() << '\n';  // what went wrong, where, and how to fix it
    return 1;
  }
  return 0;
}
