#pragma once

// Writing an export's CSV: whole or not at all, as `PlaceDataModel::exportPlaces` promises, for whatever
// the export holds.

#include <filesystem>
#include <functional>
#include <string_view>

#include "tamrikcsv/text/data.hpp"

namespace tamrik::detail {

/// Writes a CSV file to `destination`: `encodeFile` writes it to a path beside the destination, which
/// then takes its place. Where only the file, not its folder, may be written, the bytes `encodeData` gives
/// are written in place, and the log says so of `what` ("places"). On failure the destination stays as it
/// was and `PlacesFileError` (`notWritten`, naming `destination`) is raised, or what encoding raised.
void writeExportFile(const std::filesystem::path& destination, std::string_view what,
                     const std::function<void(const std::filesystem::path&)>& encodeFile,
                     const std::function<tamrikcsv::Data()>& encodeData);

}  // namespace tamrik::detail
