// Owning arrays obtained zeroed from the system. Large blocks come as fresh
// pages that are zero already, so a buffer costs nothing until it is used:
// an area too large for its files fails at its first read, not after
// gigabytes of zero-filling.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

struct MemoryReleaser {
  void operator()(void *block) const { free(block); }
};

template <class T>
using ZeroedArray = std::unique_ptr<T[], MemoryReleaser>;

// `count` zeroed elements (at least one is obtained, so that an empty
// array is not mistaken for a failure); empty when the memory is not there.
template <class T>
ZeroedArray<T> allocate_zeroed(size_t count) {
  return ZeroedArray<T>(
      static_cast<T *>(calloc(count > 0 ? count : 1, sizeof(T))));
}
