#pragma once

// A stream read ahead on a thread of its own. Not part of the public interface.

#include <array>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include "tamrikcsv/reader/input_stream.hpp"

namespace tamrikcsv::detail {

/// Another stream, read ahead: once open, a thread reads it a few chunks ahead of the reader, and checks
/// them as UTF-8 on the way, while the reader parses the bytes before them. Reading a large file, copying it
/// out of the system's cache and checking it take 40% of the time, which then runs alongside the parsing
/// instead of before it.
///
/// It gives the same bytes as the inner stream, and then the same end (0, or -1 with the inner stream's
/// `status()` and `error()`, or what its read threw), though in reads cut in other places; reads after that
/// go to the inner stream. Up to that end the inner stream is read only by the thread, and only while this
/// stream is open; `close()` and the destructor stop the thread first.
class ReadAheadStream final : public InputStream {
 public:
  explicit ReadAheadStream(std::shared_ptr<InputStream> inner, std::size_t chunkSize = 512 * 1024);
  ~ReadAheadStream() override;
  ReadAheadStream(const ReadAheadStream&) = delete;
  ReadAheadStream& operator=(const ReadAheadStream&) = delete;

  /// Opens the inner stream and starts the thread; without memory or a thread, reads go to the inner stream.
  void open() override;
  std::ptrdiff_t read(std::byte* buffer, std::size_t maxLength) override;
  bool hasBytesAvailable() const override;
  void close() override;
  StreamStatus status() const override;
  std::exception_ptr error() const override;
  std::string description() const override;

  /// Whether the bytes the last read gave are whole UTF-8 scalars, each valid, that start where a scalar
  /// starts in the stream: a reader that has found whole valid scalars before them need not check them.
  bool lastReadWasWholeUTF8() const noexcept { return lastWhole_; }

 private:
  static constexpr std::size_t kSlots = 4;
  static constexpr std::size_t kCarry = 3;  // room before a chunk for a sequence the last one cut
  struct Slot {
    std::unique_ptr<std::byte[]> bytes;         // kCarry bytes, then a chunk
    std::size_t begin = 0, whole = 0, end = 0;  // its bytes are [begin, end), whole scalars up to `whole`
    bool last = false;                          // the inner stream ended after them, with `endRead`
    std::ptrdiff_t endRead = 0;
    std::exception_ptr thrown;  // what the inner stream's read threw, at its end
  };

  struct Carry {  // the start of a sequence that a chunk's end cut
    std::array<std::byte, kCarry> bytes;
    std::size_t size = 0;
  };

  bool threaded() const noexcept { return thread_.joinable(); }
  void produce();
  void fill(Slot& slot, Carry& carry, bool& checking);
  void release();
  void stop();

  std::shared_ptr<InputStream> inner_;
  std::size_t chunkSize_;
  std::array<Slot, kSlots> slots_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t filled_ = 0;  // slots filled and not yet taken, from head_ on
  bool stopping_ = false;
  // The reader's side.
  bool opened_ = false;
  std::size_t head_ = 0;
  Slot* current_ = nullptr;
  std::size_t taken_ = 0;  // the bytes of current_ taken, from its start
  bool ended_ = false;
  bool lastWhole_ = false;
};

}  // namespace tamrikcsv::detail
