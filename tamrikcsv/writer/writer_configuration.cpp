#include "tamrikcsv/writer/writer_configuration.hpp"

#include "tamrikcsv/reader/detail/delimiter_check.hpp"
#include "tamrikcsv/writer/writer_error.hpp"

namespace tamrikcsv {

WriterSettings WriterSettings::make(const WriterConfiguration& configuration) {
  if (detail::checkDelimiters(configuration.delimiters) != detail::DelimiterProblem::none)
    throw CSVError<CSVWriter>(CSVError<CSVWriter>::Kind::invalidConfiguration,
                              "The field and/or row delimiters are invalid.",
                              "Both delimiters must contain at least contain a unicode scalar/character and "
                              "they must be different to "
                              "each other.");
  WriterSettings settings;
  settings.delimiters = {configuration.delimiters.field.scalars, configuration.delimiters.row.shortest()};
  settings.escapingScalar = configuration.escapingStrategy.scalar();
  settings.headers = configuration.headers;
  settings.encoding = configuration.encoding.value_or(TextEncoding::utf8);
  return settings;
}

}  // namespace tamrikcsv
