#include "tamrikcsv/writer/output_stream.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace tamrikcsv {
namespace {
constexpr std::size_t kBlock = 64 * 1024;

// A large output's fresh pages would each fault on the first write that reaches them. When a write crosses
// into the next 2 MiB of room already reserved, the system is asked to make all of its pages at once,
// which costs a fraction of faulting them one by one. Only a hint: nothing changes where the system
// cannot (before Linux 5.14), and a page made twice is made once.
void prepareRoomAhead([[maybe_unused]] const Data& data, [[maybe_unused]] std::size_t length) {
#ifdef MADV_POPULATE_WRITE
  constexpr std::size_t kAhead = 2 * 1024 * 1024;
  const std::size_t from = (data.size() + length) / kAhead * kAhead;
  if (from <= data.size() || from >= data.capacity()) return;
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto base = reinterpret_cast<std::uintptr_t>(data.data());
  const std::uintptr_t begin = (base + from + page - 1) / page * page;  // whole pages of the room ahead
  const std::uintptr_t end = (base + std::min(from + kAhead, data.capacity())) / page * page;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#endif
}
}  // namespace

std::shared_ptr<OutputStream> OutputStream::standardOutput() {
  return std::make_shared<FileOutputStream>("/dev/stdout", true);
}

std::ptrdiff_t MemoryOutputStream::write(const std::byte* bytes, std::size_t length) {
  if (status_ != StreamStatus::open) return -1;
  if (data_.capacity() - data_.size() >= length) prepareRoomAhead(data_, length);
  data_.insert(data_.end(), bytes, bytes + length);
  return static_cast<std::ptrdiff_t>(length);
}

FileOutputStream::FileOutputStream(std::filesystem::path path, bool append)
    : path_(std::move(path)), append_(append) {}

FileOutputStream::~FileOutputStream() {
  if (fd_ >= 0) {
    flush();
    ::close(fd_);
  }
}

void FileOutputStream::fail(int errorNumber, const char* operation) {
  error_ = std::make_exception_ptr(
      std::system_error(errorNumber, std::generic_category(), std::string(operation) + " " + path_.string()));
  status_ = StreamStatus::error;
}

void FileOutputStream::open() {
  if (status_ != StreamStatus::notOpen) return;
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append_ ? O_APPEND : O_TRUNC);
  fd_ = ::open(path_.c_str(), flags, 0666);
  if (fd_ < 0) return fail(errno, "Cannot open");
  buffer_ = std::make_unique_for_overwrite<std::byte[]>(kBlock);
  status_ = StreamStatus::open;
}

bool FileOutputStream::flush() {
  std::size_t done = 0;
  while (done < buffered_) {
    ssize_t n = ::write(fd_, buffer_.get() + done, buffered_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(n < 0 ? errno : EIO, "Cannot write");
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  buffered_ = 0;
  return true;
}

std::ptrdiff_t FileOutputStream::write(const std::byte* bytes, std::size_t length) {
  if (status_ != StreamStatus::open) {
    if (status_ != StreamStatus::error) fail(EBADF, "Cannot write to a stream that is not open:");
    return -1;
  }
  if (buffered_ + length > kBlock && !flush()) return -1;
  if (length >= kBlock) {
    // Too large to gather: straight through.
    ssize_t n;
    do n = ::write(fd_, bytes, length);
    while (n < 0 && errno == EINTR);
    if (n < 0) fail(errno, "Cannot write");
    return n;
  }
  std::memcpy(buffer_.get() + buffered_, bytes, length);
  buffered_ += length;
  return static_cast<std::ptrdiff_t>(length);
}

void FileOutputStream::close() {
  if (fd_ < 0) {
    if (status_ != StreamStatus::error) status_ = StreamStatus::closed;
    return;
  }
  bool flushed = status_ == StreamStatus::open && flush();
  if (::close(fd_) != 0 && flushed) fail(errno, "Cannot close");
  fd_ = -1;
  buffer_.reset();
  if (status_ != StreamStatus::error) status_ = StreamStatus::closed;
}

}  // namespace tamrikcsv
