#pragma once

// The steps around decoding a places file: what is refused before reading, how the reader is set up for
// the file at hand, and how a failure is put in the user's words.

#include <cstddef>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/places_file.hpp"
#include "model/work_progress.hpp"
#include "tamrikcsv/reader/input_stream.hpp"
#include "tamrikcsv/reader/reader_configuration.hpp"

namespace tamrik::detail {

/// Throws `PlacesFileError` when `file` exists but is not a regular file (reading a FIFO could wait for
/// ever) or holds nothing but perhaps a byte-order mark. A missing file is left to the reader, whose
/// error names it.
void requireLoadableFile(const std::filesystem::path& file);

/// The reader configuration for `file`: the first line holds the titles; rows end with "\n" or "\r\n",
/// or with "\r" when the first line does; the encoding is `options`'; the field delimiter is ",", unless
/// the first line splits into the titles only with ";" or a tab, as spreadsheet programs in some locales
/// save.
tamrikcsv::ReaderConfiguration placesReaderConfiguration(const std::filesystem::path& file,
                                                         const PlacesReadOptions& options);

/// A stream over `file` that adds what it reads to `progress` (whose total becomes the file's size, unless
/// the work set one) and, once `progress` is cancelled, fails its next read with `WorkCancelled`; a plain
/// file stream without `progress`. The reader asks a stream for smaller pieces than it reads a file in: a
/// load that nobody watches reads the file itself.
std::shared_ptr<tamrikcsv::InputStream> watchedFile(const std::filesystem::path& file,
                                                    WorkProgress* progress);

/// What to raise for a load of `file` that failed with `failure`: a `PlacesFileError` (`notUTF8`, with
/// the line and column of the first bad byte) when the reader failed on bytes that are not UTF-8 while
/// reading UTF-8, else `failure` itself.
std::exception_ptr recogniseNotUTF8(const std::filesystem::path& file, const PlacesReadOptions& options,
                                    std::exception_ptr failure);

/// Where a row of the reader stands in the file, lines counted from 1 as an editor counts them.
struct RowSpot {
  std::size_t line = 0;  ///< where the row starts
  /// The first quotation mark out of place in the row (inside a field that does not start with one, or
  /// after the one that closes a field; for a field never closed, its opening one), and its field.
  std::optional<std::size_t> problemLine, problemField;
  std::optional<std::size_t> openedLine, openedField;  ///< the last field opened with a quotation mark
  bool unclosed = false;                               ///< the file ends inside that field
};

/// The spots of the reader's rows `readerRows` (the header is row 0; ascending) of `file`, read with
/// `configuration`: one per row that the file has.
std::vector<RowSpot> spotsOfRows(const std::filesystem::path& file,
                                 const tamrikcsv::ReaderConfiguration& configuration,
                                 const std::vector<std::size_t>& readerRows);

/// The titles of `file`'s first line as `configuration` splits them; none when it cannot be read.
std::vector<std::string> headerTitles(const std::filesystem::path& file,
                                      tamrikcsv::ReaderConfiguration configuration);

/// The lines (counted from 1) on which the data rows `rows` (counted from 0, ascending) of `file` start,
/// read with `configuration`; a quoted field may span lines.
std::vector<std::size_t> linesOfRows(const std::filesystem::path& file,
                                     const tamrikcsv::ReaderConfiguration& configuration,
                                     const std::vector<std::size_t>& rows);

}  // namespace tamrik::detail
