#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tamrikcsv/text/data.hpp"
#include "tamrikcsv/text/stream_status.hpp"

namespace tamrikcsv {

/// A source of bytes that a reader pulls from, in chunks.
///
/// Implement it to read from anywhere; the reader opens the stream, reads it and closes it at its end.
/// ```cpp
/// auto reader = CSVReader::fromStream(InputStream::standardInput());
/// ```
class InputStream {
 public:
  virtual ~InputStream() = default;

  /// Makes the stream ready to read. Failure shows in `status()` and `error()`, and in the next read.
  virtual void open() = 0;
  /// Reads up to `maxLength` bytes into `buffer`: the count read, 0 at the end, or -1 on failure.
  virtual std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) = 0;
  /// True while a read may still give bytes (an open stream not at its end).
  virtual bool hasBytesAvailable() const = 0;
  /// Releases what the stream holds; a stream in `StreamStatus::error` stays there.
  virtual void close() = 0;
  /// Where the stream is in its life.
  virtual StreamStatus status() const = 0;
  /// The failure that put the stream into `StreamStatus::error`, or null.
  virtual std::exception_ptr error() const = 0;
  /// A short text naming the stream, for messages.
  virtual std::string description() const = 0;

  /// A stream over the process's standard input ("/dev/stdin").
  static std::shared_ptr<InputStream> standardInput();
};

/// An input stream over a file, read with plain system calls.
class FileInputStream final : public InputStream {
 public:
  /// A stream over the file at `path`, which `open()` opens (and reports a failure of).
  explicit FileInputStream(std::filesystem::path path);
  ~FileInputStream() override;
  FileInputStream(const FileInputStream&) = delete;
  FileInputStream& operator=(const FileInputStream&) = delete;

  void open() override;
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override;
  bool hasBytesAvailable() const override;
  void close() override;
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return error_; }
  std::string description() const override;
  /// The file's path, as given.
  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  void fail(int errorNumber, const char* operation);

  std::filesystem::path path_;
  int fd_ = -1;
  StreamStatus status_ = StreamStatus::notOpen;
  std::exception_ptr error_;
};

/// An input stream over bytes in memory.
class MemoryInputStream final : public InputStream {
 public:
  /// A stream over `data`, which it owns (a span is copied). It never fails.
  ///@{
  explicit MemoryInputStream(Data data) : data_(std::move(data)) {}
  explicit MemoryInputStream(std::span<const std::byte> data) : data_(data.begin(), data.end()) {}
  ///@}

  void open() override;
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override;
  bool hasBytesAvailable() const override { return status_ == StreamStatus::open; }
  void close() override { status_ = StreamStatus::closed; }
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return nullptr; }
  std::string description() const override;

 private:
  Data data_;
  std::size_t offset_ = 0;
  StreamStatus status_ = StreamStatus::notOpen;
};

/// Reads a whole file into memory; throws `std::system_error` (with the path in its text) on failure.
Data readFile(const std::filesystem::path& path);

}  // namespace tamrikcsv
