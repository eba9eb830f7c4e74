#pragma once

#include <cstddef>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "tamrikcsv/text/data.hpp"
#include "tamrikcsv/text/stream_status.hpp"

namespace tamrikcsv {

/// A sink of bytes that a writer pushes to.
///
/// Implement it to write anywhere; a writer made on a stream opens it and `endEncoding()` closes it.
/// ```cpp
/// auto writer = CSVWriter::toStream(OutputStream::standardOutput());
/// ```
class OutputStream {
 public:
  virtual ~OutputStream() = default;

  /// Makes the stream ready to write. Failure shows in `status()` and `error()`.
  virtual void open() = 0;
  /// Writes up to `length` bytes: the count accepted (possibly 0), or -1 on failure.
  virtual std::ptrdiff_t write(const std::byte* bytes, std::size_t length) = 0;
  /// Closes the stream, finishing anything it held back; failure shows in `status()` and `error()`.
  virtual void close() = 0;
  /// Where the stream is in its life.
  virtual StreamStatus status() const = 0;
  /// The failure that put the stream into `StreamStatus::error`, or null.
  virtual std::exception_ptr error() const = 0;
  /// A short text naming the stream, for messages.
  virtual std::string description() const = 0;

  /// A stream to the process's standard output.
  static std::shared_ptr<OutputStream> standardOutput();
};

/// An output stream into memory; `data()` gives what was written.
class MemoryOutputStream final : public OutputStream {
 public:
  void open() override {
    if (status_ == StreamStatus::notOpen) status_ = StreamStatus::open;
  }
  std::ptrdiff_t write(const std::byte* bytes, std::size_t length) override;
  void close() override { status_ = StreamStatus::closed; }
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return nullptr; }
  std::string description() const override { return "memory stream"; }

  /// Makes room for `bytes` bytes in all, so that writing up to them copies nothing already written.
  void reserve(std::size_t bytes) { data_.reserve(bytes); }
  /// Gives back room beyond the bytes written.
  void shrinkToFit() { data_.shrink_to_fit(); }
  /// The bytes written so far.
  const Data& data() const noexcept { return data_; }
  /// Moves the bytes written so far out, leaving `data()` empty.
  Data take() noexcept { return std::move(data_); }

 private:
  Data data_;
  StreamStatus status_ = StreamStatus::notOpen;
};

/// An output stream to a file (or any path the system can write, such as "/dev/stdout"), replacing it or
/// appending to it. Bytes are gathered into blocks before they go to the system; a failure shows at the
/// write or close that hands a block over.
class FileOutputStream final : public OutputStream {
 public:
  /// A stream to the file at `path`, which `open()` creates or, unless `append`, empties. The stream
  /// writes what it still holds and closes the file when it goes away, if `close()` did not.
  explicit FileOutputStream(std::filesystem::path path, bool append = false);
  ~FileOutputStream() override;
  FileOutputStream(const FileOutputStream&) = delete;
  FileOutputStream& operator=(const FileOutputStream&) = delete;

  void open() override;
  std::ptrdiff_t write(const std::byte* bytes, std::size_t length) override;
  void close() override;
  StreamStatus status() const override { return status_; }
  std::exception_ptr error() const override { return error_; }
  std::string description() const override { return "file stream " + path_.string(); }
  /// The file's path, as given.
  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  bool flush();
  void fail(int errorNumber, const char* operation);

  std::filesystem::path path_;
  bool append_;
  int fd_ = -1;
  StreamStatus status_ = StreamStatus::notOpen;
  std::exception_ptr error_;
  std::unique_ptr<std::byte[]> buffer_;
  std::size_t buffered_ = 0;
};

}  // namespace tamrikcsv
