//===- MemoryPosix.cpp - Memory limit and large pages on POSIX systems ---===//
#include <sys/mman.h>
#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdint>

#include "core/SystemMemory.h"

namespace lexset {

std::size_t DefaultMemoryLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGESIZE);
  const std::uint64_t physical =
      pages > 0 && page_size > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size) : 0;
  constexpr std::uint64_t kMiB = 1024 * 1024;
  if (sizeof(void*) == 4)
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(physical / 2, 64 * kMiB, 512 * kMiB));
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(physical / 2, 256 * kMiB, 16384 * kMiB));
}

void PreferLargePages(void* data, std::size_t size) {
#ifdef MADV_HUGEPAGE
  // Only whole large pages inside the block can be large pages.
  constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + size) & ~(kLargePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

// glibc serves blocks from 128 KiB up from mmap at first, but raises that
// threshold to the size of each such block freed, after which freed blocks
// stay in the heap: a set cleared for the next run, or buckets planned
// again, would keep the process at its peak. A fixed threshold keeps them
// served from mmap and unmapped when freed, at the cost of faulting their
// pages in again when memory is taken anew.
void ReturnLargeBlocksWhenFreed() {
#if defined(__GLIBC__) && defined(M_MMAP_THRESHOLD)
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace lexset
