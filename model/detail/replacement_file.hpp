#pragma once

// Replacing a file as a whole: written beside it under a hidden name, then renamed over it, so that a
// failure part-way leaves the old file whole.

#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

namespace tamrik::detail {

/// A new, empty file beside `destination` named ".NAME.<pid>-<n>.tmp", with the permissions the
/// destination has (or a new file would get), which takes its place on `commit` and is removed otherwise.
/// A link is replaced by writing to what it points at, as writing in place would.
class ReplacementFile {
 public:
  /// No file could be made beside the destination; `error` says why.
  struct CannotCreate : std::runtime_error {
    CannotCreate(const std::string& what, std::error_code code) : std::runtime_error(what), error(code) {}
    std::error_code error;
  };

  /// Throws `CannotCreate`.
  explicit ReplacementFile(const std::filesystem::path& destination);
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  const std::filesystem::path& path() const noexcept { return path_; }
  /// Puts the file in the destination's place; throws `std::filesystem::filesystem_error` naming the
  /// destination.
  void commit();

 private:
  std::filesystem::path destination_;
  std::filesystem::path path_;
  bool committed_ = false;
};

/// Removes the replacement files in `folder` that an export killed part-way left behind: those named as
/// `ReplacementFile` names them whose process no longer runs. Failures are ignored.
void removeLeftoverReplacements(const std::filesystem::path& folder);

/// Whether `file` can be written where it is although no file can be made beside it: it is a regular
/// file the user may write.
bool canOnlyWriteInPlace(const std::filesystem::path& file);

/// Replaces the contents of `file` with `bytes` in place: truncated, written and flushed to disk. A
/// failure part-way leaves the file damaged; throws `std::filesystem::filesystem_error`.
void writeInPlace(const std::filesystem::path& file, std::span<const std::byte> bytes);

}  // namespace tamrik::detail
