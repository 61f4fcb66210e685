//===- MemoryPosix.cpp - Memory limit and large pages on POSIX systems ---===//
#include <sys/mman.h>
#include <unistd.h>

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

}  // namespace lexset
