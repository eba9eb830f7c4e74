#include "model/detail/replacement_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

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
  return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH;
}

}  // namespace

ReplacementFile::ReplacementFile(const std::filesystem::path& destination) : destination_(destination) {
  std::error_code ignored;
  if (std::filesystem::is_symlink(destination_, ignored))
    destination_ = std::filesystem::canonical(destination);
  static std::atomic<unsigned> counter = 0;
  std::string name = "." + destination_.filename().string() + "." + std::to_string(::getpid()) + "-" +
                     std::to_string(counter++) + std::string(kSuffix);
  path_ = destination_.parent_path() / name;
  int file = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (file < 0) {
    const auto error = lastError();
    // The message names the user's file: the hidden one means nothing to them.
    throw CannotCreate("Cannot write " + destination_.string() + ": no file can be made in its folder (" +
                           error.message() + ")",
                       error);
  }
  struct stat existing {};
  if (::stat(destination_.c_str(), &existing) == 0) ::fchmod(file, existing.st_mode & 07777);
  ::close(file);
}

ReplacementFile::~ReplacementFile() {
  std::error_code ignored;
  if (!committed_) std::filesystem::remove(path_, ignored);
}

void ReplacementFile::commit() {
  std::error_code error;
  std::filesystem::rename(path_, destination_, error);
  if (error) throw std::filesystem::filesystem_error("Cannot replace the file", destination_, error);
  committed_ = true;
}

void removeLeftoverReplacements(const std::filesystem::path& folder) {
  std::error_code error;
  for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const auto owner = replacementOwner(entry->path().filename().native());
    std::error_code ignored;
    if (owner && !runs(*owner) && entry->is_regular_file(ignored) && !entry->is_symlink(ignored))
      std::filesystem::remove(entry->path(), ignored);
  }
}

bool canOnlyWriteInPlace(const std::filesystem::path& file) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return false;
  // Opening tells what the permission bits alone don't (access control lists, a read-only mount).
  const int fd = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void writeInPlace(const std::filesystem::path& file, std::span<const std::byte> bytes) {
  auto fail = [&](const char* what) { throw std::filesystem::filesystem_error(what, file, lastError()); };
  const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) fail("Cannot open the file");
  const auto* data = reinterpret_cast<const char*>(bytes.data());
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const auto error = written < 0 ? lastError() : std::make_error_code(std::errc::io_error);
      ::close(fd);
      throw std::filesystem::filesystem_error("Cannot write the file", file, error);
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (::fsync(fd) != 0) {
    const auto error = lastError();
    ::close(fd);
    throw std::filesystem::filesystem_error("Cannot flush the file to disk", file, error);
  }
  if (::close(fd) != 0) fail("Cannot close the file");
}

}  // namespace tamrik::detail
