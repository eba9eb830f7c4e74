#include "tamrikcsv/reader/detail/read_ahead.hpp"

#include <algorithm>
#include <cstring>

#include "tamrikcsv/text/detail/unicode.hpp"

namespace tamrikcsv::detail {

ReadAheadStream::ReadAheadStream(std::shared_ptr<InputStream> inner, std::size_t chunkSize)
    : inner_(std::move(inner)), chunkSize_(chunkSize) {}

ReadAheadStream::~ReadAheadStream() {
  stop();
}

void ReadAheadStream::open() {
  if (opened_) return;
  opened_ = true;
  inner_->open();
  if (inner_->status() != StreamStatus::open) return;
  try {
    for (auto& slot : slots_) slot.bytes = std::make_unique_for_overwrite<std::byte[]>(kCarry + chunkSize_);
    thread_ = std::thread([this] { produce(); });
  } catch (const std::exception&) {
    for (auto& slot : slots_) slot.bytes.reset();  // read as it is
  }
}

void ReadAheadStream::produce() {
  Carry carry;
  bool checking = true;  // until bytes that are not UTF-8
  for (std::size_t next = 0;; next = (next + 1) % kSlots) {
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || filled_ < kSlots; });
      if (stopping_) return;
    }
    Slot& slot = slots_[next];
    fill(slot, carry, checking);
    {
      std::lock_guard lock(mutex_);
      ++filled_;
    }
    changed_.notify_all();
    if (slot.last) return;
  }
}

// Reads the next chunk into `slot`, after the bytes carried from the last, and checks what it can.
void ReadAheadStream::fill(Slot& slot, Carry& carry, bool& checking) {
  std::byte* const bytes = slot.bytes.get();
  slot.begin = kCarry - carry.size;
  std::memcpy(bytes + slot.begin, carry.bytes.data(), carry.size);
  carry.size = 0;
  slot.whole = slot.begin;  // nothing checked yet
  slot.last = false;
  std::ptrdiff_t n;
  try {
    n = inner_->read(bytes + kCarry, chunkSize_);
  } catch (...) {
    slot.thrown = std::current_exception();
    n = -1;
  }
  if (n <= 0) {
    // Ended: a cut sequence goes out unchecked, for the reader to find it cut.
    slot.end = kCarry;
    slot.last = true;
    slot.endRead = n;
    return;
  }
  slot.end = kCarry + static_cast<std::size_t>(n);
  if (!checking) return;
  const UTF8Check check =
      checkUTF8(reinterpret_cast<const unsigned char*>(bytes) + slot.begin, slot.end - slot.begin);
  slot.whole = slot.begin + check.valid;
  if (check.stop == UTF8Stop::truncated) {
    carry.size = slot.end - slot.whole;  // up to 3 bytes, which go before the next chunk
    std::memcpy(carry.bytes.data(), bytes + slot.whole, carry.size);
    slot.end = slot.whole;
  } else if (check.stop == UTF8Stop::invalid) {
    checking = false;  // the rest goes out unchecked, for the reader to find the same fault
  }
}

std::ptrdiff_t ReadAheadStream::read(std::byte* buffer, std::size_t maxLength) {
  lastWhole_ = false;
  // Past the end the thread found, the inner stream answers, as it would have without the thread: its end
  // again, its failure, or another throw.
  if (!threaded() || ended_) return inner_->read(buffer, maxLength);
  if (maxLength == 0) return 0;
  for (;;) {
    if (!current_) {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return filled_ > 0; });
      current_ = &slots_[head_];
      taken_ = current_->begin;
    }
    if (taken_ < current_->end) break;
    if (current_->last) {
      ended_ = true;
      if (current_->thrown) std::rethrow_exception(current_->thrown);
      return current_->endRead;
    }
    release();
  }
  const std::byte* from = current_->bytes.get() + taken_;
  std::size_t n = std::min(maxLength, current_->end - taken_);
  if (taken_ < current_->whole && (static_cast<unsigned char>(from[0]) & 0xC0) != 0x80) {
    // Whole scalars only, from the start of one (the last read may have ended inside it): a read that ends
    // inside one stops before it, unless that leaves nothing.
    std::size_t whole = std::min(n, current_->whole - taken_);
    if (taken_ + whole < current_->whole)
      while (whole > 0 && (static_cast<unsigned char>(from[whole]) & 0xC0) == 0x80) --whole;
    if (whole > 0) {
      n = whole;
      lastWhole_ = true;
    }
  }
  std::memcpy(buffer, from, n);
  taken_ += n;
  if (taken_ == current_->end && !current_->last) release();
  return static_cast<std::ptrdiff_t>(n);
}

// Hands the current slot back to the thread.
void ReadAheadStream::release() {
  current_ = nullptr;
  {
    std::lock_guard lock(mutex_);
    head_ = (head_ + 1) % kSlots;
    --filled_;
  }
  changed_.notify_all();
}

bool ReadAheadStream::hasBytesAvailable() const {
  return status() == StreamStatus::open;
}

void ReadAheadStream::close() {
  stop();
  inner_->close();
}

// Until the reader reached the end the thread found, the inner stream is the thread's.
StreamStatus ReadAheadStream::status() const {
  return threaded() && !ended_ ? StreamStatus::open : inner_->status();
}
std::exception_ptr ReadAheadStream::error() const {
  return threaded() && !ended_ ? nullptr : inner_->error();
}
std::string ReadAheadStream::description() const {
  return inner_->description();
}

// Stops the thread; the chunks read ahead are dropped, and reads go to the inner stream.
void ReadAheadStream::stop() {
  if (!threaded()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  current_ = nullptr;
  ended_ = false;
}

}  // namespace tamrikcsv::detail
