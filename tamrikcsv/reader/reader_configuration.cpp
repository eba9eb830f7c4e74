#include "tamrikcsv/reader/reader_configuration.hpp"

#include <algorithm>

#include "tamrikcsv/reader/detail/delimiter_check.hpp"
#include "tamrikcsv/reader/reader_error.hpp"

namespace tamrikcsv {
namespace {

using Error = CSVError<CSVReader>;
using Kind = Error::Kind;

bool anyTrimmed(const std::u32string& scalars, const CharacterSet& trim) {
  return std::any_of(scalars.begin(), scalars.end(), [&](char32_t c) { return trim.contains(c); });
}

}  // namespace

ReaderSettings ReaderSettings::make(const ReaderConfiguration& configuration) {
  const auto& field = configuration.delimiters.field.scalars;
  const auto& rows = configuration.delimiters.row.scalars;
  switch (detail::checkDelimiters(configuration.delimiters)) {
    case detail::DelimiterProblem::missing:
      throw Error(Kind::invalidConfiguration, "Delimiter inference is not yet supported by this library",
                  "Specify a concrete delimiter or get in contact with the maintainer");
    case detail::DelimiterProblem::clash:
      throw Error(Kind::invalidConfiguration, "The field and row delimiters cannot be the same.",
                  "Set different delimiters for fields and rows.",
                  {{"Field delimiter", field}, {"Row delimiters", rows}});
    case detail::DelimiterProblem::none:
      break;
  }

  ReaderSettings settings;
  settings.delimiters = {field, rows};
  settings.escapingScalar = configuration.escapingStrategy.scalar();
  settings.trimCharacters = configuration.trimStrategy;
  settings.isTrimNeeded = !settings.trimCharacters.empty();

  if (settings.isTrimNeeded) {
    const auto& trim = settings.trimCharacters;
    if (anyTrimmed(field, trim))
      throw Error(Kind::invalidConfiguration, "The trim character set includes the field delimiter.",
                  "Remove the delimiter scalars from the trim character set.",
                  {{"Field delimiter", field}, {"Trim characters", trim}});
    if (std::any_of(rows.begin(), rows.end(), [&](const auto& row) { return anyTrimmed(row, trim); }))
      throw Error(Kind::invalidConfiguration, "The trim character set includes the field delimiter.",
                  "Remove the delimiter scalars from the trim character set.",
                  {{"Row delimiter", rows}, {"Trim characters", trim}});
    if (settings.escapingScalar && trim.contains(*settings.escapingScalar))
      throw Error(Kind::invalidConfiguration, "The trim characters set includes the escaping scalar.",
                  "Remove the escaping scalar from the trim characters set.",
                  {{"Escaping scalar", *settings.escapingScalar}, {"Trim characters", trim}});
  }
  return settings;
}

}  // namespace tamrikcsv
