#include "tamrikcsv/reader/input_stream.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tamrikcsv {

std::shared_ptr<InputStream> InputStream::standardInput() {
  return std::make_shared<FileInputStream>("/dev/stdin");
}

FileInputStream::FileInputStream(std::filesystem::path path) : path_(std::move(path)) {}

FileInputStream::~FileInputStream() {
  if (fd_ >= 0) ::close(fd_);
}

void FileInputStream::fail(int errorNumber, const char* operation) {
  error_ = std::make_exception_ptr(
      std::system_error(errorNumber, std::generic_category(), std::string(operation) + " " + path_.string()));
  status_ = StreamStatus::error;
}

void FileInputStream::open() {
  if (status_ != StreamStatus::notOpen) return;
  fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0)
    fail(errno, "Cannot open");
  else
    status_ = StreamStatus::open;
}

std::ptrdiff_t FileInputStream::read(std::byte* buffer, std::size_t maxLength) {
  if (status_ == StreamStatus::atEnd) return 0;
  if (status_ != StreamStatus::open) {
    if (status_ != StreamStatus::error) fail(EBADF, "Cannot read a stream that is not open:");
    return -1;
  }
  ssize_t n;
  do n = ::read(fd_, buffer, maxLength);
  while (n < 0 && errno == EINTR);
  if (n < 0) {
    fail(errno, "Cannot read");
    return -1;
  }
  if (n == 0 && maxLength > 0) status_ = StreamStatus::atEnd;
  return n;
}

bool FileInputStream::hasBytesAvailable() const {
  return status_ == StreamStatus::open;
}

void FileInputStream::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (status_ != StreamStatus::error) status_ = StreamStatus::closed;
}

std::string FileInputStream::description() const {
  return "file stream " + path_.string();
}

void MemoryInputStream::open() {
  if (status_ == StreamStatus::notOpen) status_ = StreamStatus::open;
}

std::ptrdiff_t MemoryInputStream::read(std::byte* buffer, std::size_t maxLength) {
  if (status_ == StreamStatus::atEnd) return 0;
  if (status_ != StreamStatus::open) return -1;
  std::size_t n = std::min(maxLength, data_.size() - offset_);
  if (n > 0) std::memcpy(buffer, data_.data() + offset_, n);
  offset_ += n;
  if (n == 0 && maxLength > 0) status_ = StreamStatus::atEnd;
  return static_cast<std::ptrdiff_t>(n);
}

std::string MemoryInputStream::description() const {
  return "memory stream of " + std::to_string(data_.size()) + " bytes";
}

Data readFile(const std::filesystem::path& path) {
  auto failure = [&](const char* what) {
    return std::system_error(errno, std::generic_category(), std::string(what) + " " + path.string());
  };
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw failure("Cannot open");
  Data data;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) data.reserve(static_cast<std::size_t>(info.st_size));
  std::byte chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      auto error = failure("Cannot read");
      ::close(fd);
      throw error;
    }
    if (n == 0) break;
    data.insert(data.end(), chunk, chunk + n);
  }
  ::close(fd);
  return data;
}

}  // namespace tamrikcsv
