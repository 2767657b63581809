// Owning arrays obtained zeroed from the system. Large blocks come as fresh
// pages that are zero already, so a buffer costs nothing until it is used:
// an area too large for its files fails at its first read, not after
// gigabytes of zero-filling.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

struct MemoryReleaser {
  void operator()(void *block) const { free(block); }
};

// Blocks of at least this size ask for huge pages where the system gives
// them only on request: a large raster written row by row then takes a few
// page faults instead of one per 4 KB (measured on fossik over 4000 x 4000
// pixels: 0.12 s with small pages, 0.05 s with huge ones). The advice only
// changes how pages are backed once they are used: nothing is touched here.
constexpr size_t HUGE_PAGE_BLOCK = size_t{2} << 20;

inline void advise_huge_pages(void *block, size_t bytes) {
#ifdef MADV_HUGEPAGE
  const uintptr_t start = reinterpret_cast<uintptr_t>(block);
  const uintptr_t first =
      (start + HUGE_PAGE_BLOCK - 1) & ~(HUGE_PAGE_BLOCK - 1);
  const uintptr_t end = (start + bytes) & ~(HUGE_PAGE_BLOCK - 1);
  if (end > first)
    madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

template <class T>
using ZeroedArray = std::unique_ptr<T[], MemoryReleaser>;

// `count` zeroed elements (at least one is obtained, so that an empty
// array is not mistaken for a failure); empty when the memory is not there.
template <class T>
ZeroedArray<T> allocate_zeroed(size_t count) {
  ZeroedArray<T> block(
      static_cast<T *>(calloc(count > 0 ? count : 1, sizeof(T))));
  if (block && count >= HUGE_PAGE_BLOCK / sizeof(T))
    advise_huge_pages(block.get(), count * sizeof(T));
  return block;
}
