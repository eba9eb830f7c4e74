#pragma once

// Replacing a file as a whole: written beside it under a hidden name, then renamed over it, so that a
// failure part-way leaves the old file whole.

#include <filesystem>
#include <span>
#include <system_error>

namespace tamrik::detail {

/// A new, empty file beside `destination` named ".NAME.<pid>-<n>.tmp", with the permissions the
/// destination has (or a new file would get), which takes its place on `commit` and is removed otherwise.
/// A link is replaced by writing to what it points at, as writing in place would. While it exists it is
/// locked, so that no other export takes it for a leftover; making one first removes the leftovers in
/// its folder (see `removeLeftoverReplacements`).
class ReplacementFile {
 public:
  /// No file could be made beside the destination, for the reason `error` gives.
  struct CannotCreate {
    std::error_code error;
  };

  /// Throws `CannotCreate`.
  explicit ReplacementFile(const std::filesystem::path& destination);
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  const std::filesystem::path& path() const noexcept { return path_; }
  /// Flushes the file to disk and puts it in the destination's place; throws
  /// `std::filesystem::filesystem_error` naming the destination.
  void commit();

 private:
  std::filesystem::path destination_;
  std::filesystem::path path_;
  int lock_ = -1;  // the open file that holds the lock
  bool committed_ = false;
};

/// Removes the replacement files in `folder` that exports killed part-way left behind: named as
/// `ReplacementFile` names them, owned by this user, not locked, and made by a process that no longer
/// runs. Failures are ignored.
void removeLeftoverReplacements(const std::filesystem::path& folder);

/// Whether `file` can be written where it is although no file can be made beside it: it is a regular
/// file the user may write.
bool canOnlyWriteInPlace(const std::filesystem::path& file);

/// Replaces the contents of `file` with `bytes` in place and flushes them to disk. The room is taken
/// before the file is cut, so that a full disk fails with the old contents whole; a failure while writing
/// leaves the file damaged. Throws `std::filesystem::filesystem_error`.
void writeInPlace(const std::filesystem::path& file, std::span<const std::byte> bytes);

}  // namespace tamrik::detail
