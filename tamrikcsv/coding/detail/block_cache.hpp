#pragma once

// A small per-thread cache of freed blocks for objects made and dropped once per row. Not part of the
// public interface.

#include <cstddef>
#include <new>

namespace tamrikcsv::detail {

/// Freed blocks of one size, kept by the thread for the next allocation of that size: a record takes a
/// container per row, and the allocator's round trip is a good part of a short row's cost. A few blocks at
/// most, so memory stays flat.
template <std::size_t Size>
class BlockCache {
 public:
  static void* take() {
    Cache& cache = local();
    return cache.count == 0 ? ::operator new(Size) : cache.blocks[--cache.count];
  }
  static void give(void* block) noexcept {
    Cache& cache = local();
    if (cache.count == kKept) return ::operator delete(block);
    cache.blocks[cache.count++] = block;
  }

 private:
  static constexpr std::size_t kKept = 4;
  struct Cache {
    void* blocks[kKept];
    std::size_t count = 0;
    ~Cache() {
      while (count > 0) ::operator delete(blocks[--count]);
    }
  };
  static Cache& local() noexcept {
    thread_local Cache cache;
    return cache;
  }
};

}  // namespace tamrikcsv::detail
