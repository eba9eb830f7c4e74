#include "model/detail/export_file.hpp"

#include <optional>
#include <string>
#include <system_error>

#include "common/diagnostic_log.hpp"
#include "model/detail/replacement_file.hpp"
#include "model/places_file.hpp"
#include "tamrikcsv/reader/csv_error.hpp"
#include "tamrikcsv/writer/csv_writer.hpp"

namespace tamrik::detail {
namespace {

// Whether a writer's error is one of its output, not of what it was given to write.
bool isOutputFailure(const tamrikcsv::CSVErrorBase& error) {
  return error.componentName() == "CSVWriter" &&
         error.errorCode() == static_cast<int>(tamrikcsv::CSVWriter::Error::streamFailure);
}

// The system's reason behind an output failure, if it gave one.
std::string systemReason(const tamrikcsv::CSVErrorBase& error) {
  try {
    if (error.underlyingError()) std::rethrow_exception(error.underlyingError());
  } catch (const std::system_error& cause) {
    return cause.code().message();
  } catch (...) {
  }
  return error.failureReason().value_or("the output failed");
}

}  // namespace

void writeExportFile(const std::filesystem::path& destination, std::string_view what,
                     const std::function<void(const std::filesystem::path&)>& encodeFile,
                     const std::function<tamrikcsv::Data()>& encodeData) {
  const auto cannotWrite = [&](const std::string& reason) {
    return PlacesFileError(PlacesFileError::Kind::notWritten, destination,
                           "Cannot write " + destination.filename().string() + ": " + reason + ".",
                           std::nullopt, std::nullopt, std::current_exception());
  };
  // Written in full beside the destination first, so that a failure part-way leaves the old file whole.
  std::error_code notBeside;
  try {
    ReplacementFile file(destination);
    encodeFile(file.path());
    file.commit();
    return;
  } catch (const ReplacementFile::CannotCreate& error) {
    notBeside = error.error;
  } catch (const std::filesystem::filesystem_error& error) {
    throw cannotWrite(error.code().message());
  } catch (const tamrikcsv::CSVErrorBase& error) {
    if (!isOutputFailure(error)) throw;
    throw cannotWrite(systemReason(error));
  }
  const bool denied =
      notBeside == std::errc::permission_denied || notBeside == std::errc::operation_not_permitted;
  if (!denied || !canOnlyWriteInPlace(destination))
    throw cannotWrite("no file can be made in its folder (" + notBeside.message() + ")");
  // The user may write the file but not its folder. Encoded first, so that a value that cannot be written
  // never empties the file.
  const auto bytes = encodeData();
  try {
    writeInPlace(destination, bytes);
  } catch (const std::filesystem::filesystem_error& error) {
    throw cannotWrite(error.code().message() + "; its folder is not writable, so it was written in place " +
                      "and may now be incomplete");
  }
  logLine("Exported " + std::string(what) + " to " + destination.string() +
          " in place: its folder is not writable, so the replacement was not atomic");
}

}  // namespace tamrik::detail
