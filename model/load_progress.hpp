#pragma once

// How a load that runs on another thread shows how far it got, and how it is stopped.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>

namespace tamrik {

/// Shared by a load and the thread that watches it: the bytes read so far of the file's size, and a
/// request to stop, which the load answers with `LoadCancelled` at its next read.
///
/// ```cpp
/// LoadProgress progress;
/// std::thread worker([&] { loaded = PlaceDataModel::readPlaces(file, {}, &progress); });
/// progress.cancel();  // from the window's thread: the read stops, the store is untouched
/// ```
class LoadProgress {
 public:
  std::uint64_t bytesRead() const noexcept { return bytesRead_.load(std::memory_order_relaxed); }
  /// The file's size; 0 until the load knows it.
  std::uint64_t bytesTotal() const noexcept { return bytesTotal_.load(std::memory_order_relaxed); }
  /// The share read, from 0 to 1.
  double fraction() const noexcept {
    const auto total = bytesTotal();
    return total == 0 ? 0.0 : static_cast<double>(std::min(bytesRead(), total)) / static_cast<double>(total);
  }

  void cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
  bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }

  /// For the load: `count` more bytes were read; the file has `total`.
  void addRead(std::uint64_t count) noexcept { bytesRead_.fetch_add(count, std::memory_order_relaxed); }
  void setTotal(std::uint64_t total) noexcept { bytesTotal_.store(total, std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> bytesRead_{0}, bytesTotal_{0};
  std::atomic<bool> cancelled_{false};
};

/// What a load raises when its `LoadProgress` was cancelled. It is no failure: nothing logs it.
struct LoadCancelled : std::exception {
  const char* what() const noexcept override { return "The load was cancelled."; }
};

}  // namespace tamrik
