#pragma once

// How a load or an export that runs on another thread shows how far it got, and how it is stopped.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>

namespace tamrik {

/// Shared by a piece of work and the thread that watches it: how much is done of how much there is (a
/// load counts the bytes read of the file's size, an export the rows written of its rows), and a request
/// to stop, which the work answers with `WorkCancelled` at its next step.
///
/// ```cpp
/// WorkProgress progress;
/// std::thread worker([&] { loaded = PlaceDataModel::readPlaces(file, {}, &progress); });
/// progress.cancel();  // from the window's thread: the read stops, the store is untouched
/// ```
class WorkProgress {
 public:
  std::uint64_t done() const noexcept { return done_.load(std::memory_order_relaxed); }
  /// How much there is; 0 until the work knows it.
  std::uint64_t total() const noexcept { return total_.load(std::memory_order_relaxed); }
  /// The share done, from 0 to 1.
  double fraction() const noexcept {
    const auto all = total();
    return all == 0 ? 0.0 : static_cast<double>(std::min(done(), all)) / static_cast<double>(all);
  }

  void cancel() noexcept { cancelled_.store(true, std::memory_order_relaxed); }
  bool isCancelled() const noexcept { return cancelled_.load(std::memory_order_relaxed); }

  /// For the work: `count` more is done; there is `all`.
  void addDone(std::uint64_t count) noexcept { done_.fetch_add(count, std::memory_order_relaxed); }
  void setTotal(std::uint64_t all) noexcept { total_.store(all, std::memory_order_relaxed); }

 private:
  std::atomic<std::uint64_t> done_{0}, total_{0};
  std::atomic<bool> cancelled_{false};
};

/// What a load or an export raises when its `WorkProgress` was cancelled. It is no failure: nothing logs
/// it, and nothing it would have changed is changed.
struct WorkCancelled : std::exception {
  const char* what() const noexcept override { return "The work was cancelled."; }
};

}  // namespace tamrik
