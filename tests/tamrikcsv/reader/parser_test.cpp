#include <gtest/gtest.h>

#include "tamrikcsv/reader/csv_reader.hpp"

using namespace tamrikcsv;

TEST(Parser, Smoke) {
  auto reader = CSVReader::fromText("a,b\n1,2\n");
  auto row = reader.readRow();
  ASSERT_TRUE(row);
  EXPECT_EQ(*row, (std::vector<std::string>{"a", "b"}));
}
