#include "model/detail/replacement_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace tamrik::detail {
namespace {

constexpr std::string_view kSuffix = ".tmp";

std::error_code lastError() {
  return {errno, std::generic_category()};
}

// The process that made the replacement file `name` (".NAME.<pid>-<n>.tmp"), if the name is one.
std::optional<pid_t> replacementOwner(std::string_view name) {
  if (name.size() <= 1 + kSuffix.size() || name.front() != '.' || !name.ends_with(kSuffix))
    return std::nullopt;
  name.remove_suffix(kSuffix.size());
  const auto dot = name.rfind('.');
  if (dot == 0 || dot == std::string_view::npos) return std::nullopt;
  const std::string_view tag = name.substr(dot + 1);
  const auto dash = tag.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto digits = [](std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
  };
  if (!digits(tag.substr(0, dash)) || !digits(tag.substr(dash + 1))) return std::nullopt;
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(tag.data(), tag.data() + dash, pid);
  if (error != std::errc() || pid <= 0) return std::nullopt;
  return pid;
}

bool runs(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno != ESRCH;
}

// Flushes what was written to `path` (a file or a folder) to disk.
void flushToDisk(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) throw std::filesystem::filesystem_error("Cannot open", path, lastError());
  const int synced = ::fsync(fd);
  const auto error = lastError();
  ::close(fd);
  if (synced != 0) throw std::filesystem::filesystem_error("Cannot flush to disk", path, error);
}

}  // namespace

ReplacementFile::ReplacementFile(const std::filesystem::path& destination) : destination_(destination) {
  std::error_code error;
  if (std::filesystem::is_symlink(destination_, error)) {
    auto target = std::filesystem::canonical(destination, error);
    if (!error) destination_ = std::move(target);
  }
  const auto folder =
      destination_.parent_path().empty() ? std::filesystem::path(".") : destination_.parent_path();
  removeLeftoverReplacements(folder);
  static std::atomic<unsigned> counter = 0;
  // A leftover of an earlier process with this one's pid may hold a name: the next one is tried.
  for (int attempt = 0; lock_ < 0; ++attempt) {
    path_ = folder / ("." + destination_.filename().string() + "." + std::to_string(::getpid()) + "-" +
                      std::to_string(counter++) + std::string(kSuffix));
    lock_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (lock_ < 0 && (errno != EEXIST || attempt == 100)) throw CannotCreate{lastError()};
  }
  ::flock(lock_, LOCK_EX | LOCK_NB);
  struct stat existing {};
  if (::stat(destination_.c_str(), &existing) == 0) ::fchmod(lock_, existing.st_mode & 07777);
}

ReplacementFile::~ReplacementFile() {
  std::error_code ignored;
  if (!committed_) std::filesystem::remove(path_, ignored);
  ::close(lock_);
}

void ReplacementFile::commit() {
  try {
    // Renamed before its contents reach the disk, a crash could leave an empty file in the old one's place.
    flushToDisk(path_, O_RDONLY);
    std::filesystem::rename(path_, destination_);
    committed_ = true;
    flushToDisk(destination_.parent_path().empty() ? "." : destination_.parent_path(),
                O_RDONLY | O_DIRECTORY);
  } catch (const std::filesystem::filesystem_error& error) {
    if (committed_) return;  // in place; only the folder's entry may not be on disk yet
    throw std::filesystem::filesystem_error("Cannot replace the file", destination_, error.code());
  }
}

void removeLeftoverReplacements(const std::filesystem::path& folder) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const auto owner = replacementOwner(entry->path().filename().native());
    if (!owner || runs(*owner)) continue;
    // Another host's export in a shared folder has a pid that means nothing here, but holds its lock.
    const int fd = ::open(entry->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(entry->path().c_str());
    ::close(fd);
  }
}

bool canOnlyWriteInPlace(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return false;
  // Opening tells what the permission bits alone don't (access control lists, a read-only mount).
  const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void writeInPlace(const std::filesystem::path& file, std::span<const std::byte> bytes) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::filesystem::filesystem_error("Cannot open the file", file, lastError());
  auto fail = [&](const char* what, std::error_code error) {
    ::close(fd);
    throw std::filesystem::filesystem_error(what, file, error);
  };
  const auto size = static_cast<off_t>(bytes.size());
  // Where the file system cannot take the room ahead (EOPNOTSUPP), writing finds out instead.
  if (const int taken = size > 0 ? ::posix_fallocate(fd, 0, size) : 0; taken != 0 && taken != EOPNOTSUPP)
    fail("Cannot make room for the file", {taken, std::generic_category()});
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0)
      fail("Cannot write the file", written < 0 ? lastError() : std::make_error_code(std::errc::io_error));
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (::ftruncate(fd, size) != 0) fail("Cannot cut the file to its new length", lastError());
  if (::fsync(fd) != 0) fail("Cannot flush the file to disk", lastError());
  if (::close(fd) != 0) throw std::filesystem::filesystem_error("Cannot close the file", file, lastError());
}

}  // namespace tamrik::detail
