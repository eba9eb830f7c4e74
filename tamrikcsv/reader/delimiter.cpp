#include "tamrikcsv/reader/delimiter.hpp"

#include <algorithm>
#include <stdexcept>

#include "tamrikcsv/reader/detail/unicode.hpp"

namespace tamrikcsv::Delimiter {
namespace {

std::u32string nonEmptyScalars(std::string_view text) {
  auto scalars = detail::toScalars(text);
  if (!scalars) throw std::invalid_argument("A delimiter must be valid UTF-8 text");
  if (scalars->empty()) throw std::invalid_argument("A delimiter cannot be empty");
  return *std::move(scalars);
}

}  // namespace

Field::Field(std::string_view text) : scalars(nonEmptyScalars(text)) {}

std::optional<Field> Field::fromText(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return Field(text);
}

std::string Field::description() const {
  return detail::toUTF8(scalars);
}

Row::Row(std::string_view text) : scalars{nonEmptyScalars(text)} {}

std::optional<Row> Row::fromTexts(std::initializer_list<std::string_view> texts) {
  Row row = nullptr;
  for (auto text : texts)
    if (!text.empty()) row.scalars.insert(nonEmptyScalars(text));
  if (row.scalars.empty()) return std::nullopt;
  return row;
}

Row Row::standard() {
  Row row = nullptr;
  row.scalars = {U"\n", U"\r\n"};
  return row;
}

std::string Row::description() const {
  if (scalars.empty()) return {};
  // std::set orders by scalar values already; the first of the shortest members wins.
  auto shortest = std::min_element(scalars.begin(), scalars.end(),
                                   [](const auto& a, const auto& b) { return a.size() < b.size(); });
  return detail::toUTF8(*shortest);
}

}  // namespace tamrikcsv::Delimiter
