//===- MemoryPosix.cpp - The default memory limit on POSIX systems -------===//
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

}  // namespace lexset
