#pragma once

// A failed load or export, said in the user's words: one sentence that names the file, the line and the
// column where it can, what is wrong and what to do; the full technical text stays behind it.

#include <cstddef>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "model/places_file.hpp"

namespace tamrik {

/// What a person reads about a failure.
///
/// ```cpp
/// auto text = describeLoadFailure("places.csv", {}, std::current_exception());
/// // text.sentence: places.csv, line 3, column "Place Name": a quotation mark inside a field that does
/// // not start with one. Put the whole field in quotation marks and double each quotation mark inside it.
/// ```
struct FailureText {
  std::string sentence;  ///< one plain sentence (or two: what is wrong, then what to do)
  std::string details;   ///< the error's full text, each line cut to a length a dialog can show
};

/// The failure of a load of `file` read with `options`. Reads the file again (up to the failing row) to
/// say where; texts quoted from it are cut to 80 characters.
FailureText describeLoadFailure(const std::filesystem::path& file, const PlacesReadOptions& options,
                                std::exception_ptr error);

/// The failure of `file` to load as one of the files of a merge, shown as `shownName` (its path where two
/// files share a name): as `describeLoadFailure`, but a file that is not UTF-8 is to be saved as UTF-8 and
/// merged again, as a merge cannot read it otherwise.
FailureText describeMergeLoadFailure(const std::filesystem::path& file,
                                     const std::filesystem::path& shownName, const PlacesReadOptions& options,
                                     std::exception_ptr error);

/// The failure of a merge after every file was read (out of memory, say), which no file is to blame for.
FailureText describeMergeFailure(std::exception_ptr error);

/// The failure of an export to `file`.
FailureText describeExportFailure(const std::filesystem::path& file, std::exception_ptr error);

/// `text` cut to `length` characters (whole UTF-8 scalars) with "…" when it is longer.
std::string cutQuote(std::string_view text, std::size_t length = 80);

/// `number` with a comma between thousands: 500001 as "500,001".
std::string withThousands(std::size_t number);

}  // namespace tamrik
