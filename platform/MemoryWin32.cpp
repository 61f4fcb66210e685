//===- MemoryWin32.cpp - Memory limit and large pages on Windows ---------===//
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "core/SystemMemory.h"

namespace lexset {

std::size_t DefaultMemoryLimit() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  const std::uint64_t physical = GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
  constexpr std::uint64_t kMiB = 1024 * 1024;
  // A 32-bit process has 2 GB of address space (4 GB on 64-bit Windows, as
  // the program is large-address-aware), in pieces.
  if (sizeof(void*) == 4)
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(physical / 2, 64 * kMiB, 512 * kMiB));
  return static_cast<std::size_t>(std::clamp<std::uint64_t>(physical / 2, 256 * kMiB, 16384 * kMiB));
}

// Large pages on Windows need a privilege that users do not hold.
void PreferLargePages(void*, std::size_t) {}

// The Windows heap takes blocks of half a MiB and more (a MiB in 64-bit
// processes) straight from VirtualAlloc and gives them back when freed.
void ReturnLargeBlocksWhenFreed() {}

}  // namespace lexset
