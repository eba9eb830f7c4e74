#include "model/failure_text.hpp"

#include <algorithm>
#include <new>
#include <set>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

#include "model/csv_row.hpp"
#include "model/detail/places_format.hpp"
#include "tamrikcsv/decoder/csv_decoder.hpp"
#include "tamrikcsv/reader/csv_error.hpp"
#include "tamrikcsv/reader/csv_reader.hpp"
#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrik {
namespace {

// A line of the details longer than this is cut: a field of megabytes would make the dialog crawl.
constexpr std::size_t kDetailsLine = 300;

std::string fileNameOf(const std::filesystem::path& file) {
  return file.filename().string();
}

std::string inQuotes(std::string_view text) {
  return '"' + cutQuote(text) + '"';
}

// The error's own text, or its type's where it has none.
std::string technicalText(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& exception) {
    return exception.what();
  } catch (...) {
  }
  return "Unknown error";
}

std::string cutLines(const std::string& text) {
  std::istringstream lines(text);
  std::string line, out;
  while (std::getline(lines, line)) out += (out.empty() ? "" : "\n") + cutQuote(line, kDetailsLine);
  return out;
}

// The system's reason behind an error, where it gives one ("No such file or directory").
std::optional<std::string> systemReason(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::system_error& cause) {
    return cause.code().message();
  } catch (const tamrikcsv::CSVErrorBase& csv) {
    return systemReason(csv.underlyingError());
  } catch (...) {
  }
  return std::nullopt;
}

std::string delimiterName(const tamrikcsv::ReaderConfiguration& configuration) {
  const auto& field = configuration.delimiters.field.scalars;
  if (field == U";") return "semicolon";
  if (field == U"\t") return "tab";
  return "comma";
}

class LoadFailure {
 public:
  LoadFailure(const std::filesystem::path& file, const PlacesReadOptions& options, std::string name)
      : file_(file), name_(std::move(name)) {
    try {
      configuration_ = detail::placesReaderConfiguration(file, options);
    } catch (const std::exception&) {
      // Where the file cannot be read again, the sentences say less.
    }
  }

  std::string sentence(std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const PlacesFileError& failure) {
      // In plain words already, named by the file's name, which may not be the name shown for it.
      std::string text = failure.what();
      if (const std::string own = fileNameOf(file_); own != name_ && text.starts_with(own))
        text.replace(0, own.size(), name_);
      return text;
    } catch (const tamrikcsv::CSVError<tamrikcsv::CSVReader>& failure) {
      return readerSentence(failure);
    } catch (const tamrikcsv::CSVError<tamrikcsv::CSVDecoder>& failure) {
      return decoderSentence(failure);
    } catch (...) {
    }
    if (auto reason = systemReason(error))
      return name_ + " could not be read: " + *reason +
             ". Check that the file is there and that you may read it.";
    return name_ + " could not be loaded: " + cutQuote(technicalText(error)) + ".";
  }

 private:
  using ReaderKind = tamrikcsv::CSVReader::Error;

  static constexpr std::size_t kUnknown = 0;

  // "places.csv, line 3, column "Place Name"" where the line (from 1) and the field (from 1) are known.
  std::string where(std::size_t line, std::size_t field = kUnknown) {
    std::string text = name_;
    if (line != kUnknown) text += ", line " + withThousands(line);
    if (field != kUnknown) {
      const auto titles = detail::headerTitles(file_, configuration_);
      if (field <= titles.size() && !titles[field - 1].empty())
        text += ", column " + inQuotes(titles[field - 1]);
      else
        text += ", field " + std::to_string(field);
    }
    return text;
  }

  std::optional<detail::RowSpot> spotOf(std::int64_t readerRow) {
    if (readerRow < 0) return std::nullopt;
    auto spots = detail::spotsOfRows(file_, configuration_, {static_cast<std::size_t>(readerRow)});
    if (spots.empty()) return std::nullopt;
    return spots.front();
  }

  std::string readerSentence(const tamrikcsv::CSVError<tamrikcsv::CSVReader>& failure) {
    const auto& info = failure.errorUserInfo();
    if (failure.type() == ReaderKind::streamFailure) {
      auto reason = systemReason(failure.underlyingError());
      return name_ + " could not be read" + (reason ? ": " + *reason : std::string()) +
             ". Check that the file is there and that you may read it.";
    }
    if (failure.type() == ReaderKind::invalidConfiguration) {
      if (const auto* encoding = info.get<tamrikcsv::TextEncoding>("Data BOM encoding"))
        return name_ + " starts with the byte-order mark of " + std::string(tamrikcsv::name(*encoding)) +
               ", which is not the encoding it was to be read in. Open it without giving an encoding.";
      if (const auto* encoding = info.get<tamrikcsv::TextEncoding>("Encoding"))
        return name_ + " is not " + std::string(tamrikcsv::name(*encoding)) +
               " text. Open it in the encoding it was saved in.";
      return name_ + " could not be read as configured.";
    }
    if (const auto* byte = info.get<std::int64_t>("Byte"))
      return name_ + " holds a byte that is not ASCII (" + std::to_string(*byte) +
             "). Open it in the encoding it was saved in.";
    const auto* row = info.get<std::int64_t>("Row index");
    if (!row)
      return name_ + ": the text is not valid in its encoding (" +
             cutQuote(failure.failureReason().value_or("")) +
             "). Save it again from the program that made it, as \u201CCSV UTF-8\u201D.";

    if (const auto* parsed = info.get<std::int64_t>("Number of parsed fields")) {
      // This error counts the row from 1; the others, as the reader's rows, from the header's 0.
      const auto* expected = info.get<std::int64_t>("Number of expected fields");
      const auto spot = spotOf(*row - 1);
      const auto separator = delimiterName(configuration_);
      return where(spot ? spot->line : kUnknown) + ": this line has " + std::to_string(*parsed) +
             (*parsed == 1 ? " field" : " fields") + " where the header has " +
             (expected ? std::to_string(*expected) : std::string("another number")) + ". Check for a " +
             separator + " too many or too few, and put a field that holds a " + separator +
             " in quotation marks.";
    }
    const auto spot = spotOf(*row);
    const std::size_t line = spot ? spot->problemLine.value_or(spot->line) : kUnknown;
    const std::size_t field = spot && spot->problemField ? *spot->problemField + 1 : kUnknown;
    if (const auto* value = info.get<std::string>("Field"))
      return where(line, field) + ": text follows the quotation mark that closes the field " +
             inQuotes(*value) +
             ". Put the whole field in quotation marks and double each quotation mark inside it.";
    if (spot && spot->unclosed)
      return where(line, field) +
             ": a field that starts with a quotation mark is never closed. Add the closing quotation mark at "
             "the end of the field, and double each quotation mark inside it.";
    return where(line, field) +
           ": a quotation mark inside a field that does not start with one. Put the whole field in quotation "
           "marks and double each quotation mark inside it.";
  }

  std::string decoderSentence(const tamrikcsv::CSVError<tamrikcsv::CSVDecoder>& failure) {
    const auto titles = detail::headerTitles(file_, configuration_);
    std::set<std::string> seen;
    for (const auto& title : titles) {
      if (seen.insert(title).second) continue;
      if (title.empty())
        return where(1) + ": the header has two columns without a title. Give each column its title, or " +
               "remove the empty ones.";
      return where(1) + ": the header names the column " + inQuotes(title) +
             " twice. Rename or remove one of the two columns.";
    }
    const auto& names = tamrikcsv::CodingKeyTraits<CSVRow::CodingKeys>::names;
    std::string list;
    for (const char* title : names) list += (list.empty() ? "" : ", ") + std::string(title);
    if (const auto* key = failure.errorUserInfo().get<tamrikcsv::CodingKey>("Key")) {
      const bool anyTitle = std::any_of(names.begin(), names.end(), [&](const char* title) {
        return std::find(titles.begin(), titles.end(), title) != titles.end();
      });
      if (!anyTitle)
        return where(1) + ": the first line is not the header of a places file. A places file starts with " +
               "the titles " + list + ".";
      return where(1) + ": the header has no column " + inQuotes(key->stringValue()) +
             ". Add it, or check its spelling: a places file's titles are " + list + ".";
    }
    return name_ + " could not be read as places: " + cutQuote(failure.failureReason().value_or("")) + ".";
  }

  std::filesystem::path file_;
  std::string name_;
  tamrikcsv::ReaderConfiguration configuration_;
};

}  // namespace

std::string cutQuote(std::string_view text, std::size_t length) {
  std::string out;
  std::size_t scalars = 0, at = 0;
  while (at < text.size()) {
    if (scalars == length) return out + "\u2026";
    const int size = tamrikcsv::detail::scalarLength(reinterpret_cast<const unsigned char*>(text.data() + at),
                                                     text.size() - at);
    const std::size_t taken = size > 0 ? static_cast<std::size_t>(size) : 1;
    // A quoted line break or tab would break the sentence in two.
    if (taken == 1 && static_cast<unsigned char>(text[at]) < 0x20)
      out += ' ';
    else
      out.append(text.substr(at, taken));
    at += taken;
    ++scalars;
  }
  return out;
}

std::string withThousands(std::size_t number) {
  std::string digits = std::to_string(number);
  for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

FailureText describeLoadFailure(const std::filesystem::path& file, const PlacesReadOptions& options,
                                std::exception_ptr error) {
  return {LoadFailure(file, options, fileNameOf(file)).sentence(error), cutLines(technicalText(error))};
}

FailureText describeMergeLoadFailure(const std::filesystem::path& file,
                                     const std::filesystem::path& shownName, const PlacesReadOptions& options,
                                     std::exception_ptr error) {
  const std::string name = shownName.empty() ? fileNameOf(file) : shownName.string();
  try {
    std::rethrow_exception(error);
  } catch (const PlacesFileError& failure) {
    // A merge reads every file as UTF-8: the file is made UTF-8 first, by opening and exporting it.
    if (failure.kind() == PlacesFileError::Kind::notUTF8 && failure.line() && failure.column())
      return {name + ", line " + withThousands(*failure.line()) + ", column " +
                  std::to_string(*failure.column()) +
                  ": the text is not UTF-8. It was probably saved in a Windows code page: open that file "
                  "alone as Western European (Windows-1252), export it, which saves it as UTF-8, and merge "
                  "again.",
              cutLines(technicalText(error))};
  } catch (...) {
  }
  return {LoadFailure(file, options, name).sentence(error), cutLines(technicalText(error))};
}

FailureText describeMergeFailure(std::exception_ptr error) {
  bool outOfMemory = false;
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  } catch (const std::length_error&) {
    outOfMemory = true;
  } catch (...) {
  }
  return {outOfMemory
              ? "The files were read, but there was not enough memory to merge them. Close other "
                "programs, or merge fewer files at a time."
              : "The files were read, but merging them failed: " + cutQuote(technicalText(error)) + ".",
          cutLines(technicalText(error))};
}

FailureText describeExportFailure(const std::filesystem::path& file, std::exception_ptr error) {
  std::string sentence;
  try {
    std::rethrow_exception(error);
  } catch (const PlacesFileError& failure) {
    sentence = failure.what();
  } catch (const tamrikcsv::CSVErrorBase& failure) {
    sentence = "Cannot write " + fileNameOf(file) + ": " +
               cutQuote(failure.failureReason().value_or("the places could not be written")) +
               ". Nothing was changed in the file.";
  } catch (...) {
    sentence = "Cannot write " + fileNameOf(file) + ": " + cutQuote(technicalText(error)) + ".";
  }
  return {sentence, cutLines(technicalText(error))};
}

}  // namespace tamrik
