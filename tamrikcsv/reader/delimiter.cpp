#include "tamrikcsv/reader/delimiter.hpp"

#include <algorithm>
#include <stdexcept>

#include "tamrikcsv/reader/detail/delimiter_check.hpp"
#include "tamrikcsv/text/detail/unicode.hpp"

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

const std::u32string& Row::shortest() const {
  // std::set orders by scalar values already; the first of the shortest members wins.
  return *std::min_element(scalars.begin(), scalars.end(),
                           [](const auto& a, const auto& b) { return a.size() < b.size(); });
}

std::string Row::description() const {
  return scalars.empty() ? std::string() : detail::toUTF8(shortest());
}

}  // namespace tamrikcsv::Delimiter

namespace tamrikcsv::detail {

DelimiterProblem checkDelimiters(const Delimiter::Pair& delimiters) noexcept {
  const auto& field = delimiters.field.scalars;
  const auto& rows = delimiters.row.scalars;
  if (field.empty() || rows.empty()) return DelimiterProblem::missing;
  if (std::any_of(rows.begin(), rows.end(), [&](const auto& row) { return row.empty() || row == field; }))
    return DelimiterProblem::clash;
  return DelimiterProblem::none;
}

}  // namespace tamrikcsv::detail
