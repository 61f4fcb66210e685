//===- MemorySums.h - Bytes held, added up against a memory limit ---------===//
#pragma once

#include <cstddef>
#include <limits>

namespace lexset {

// a + b, or the most a size_t holds where the sum is more. Compared with a
// limit, bytes that add up past 4 GiB in a 32-bit process must count as too
// many, not wrap around to a few.
constexpr std::size_t AddBytes(std::size_t a, std::size_t b) {
  return b > std::numeric_limits<std::size_t>::max() - a ? std::numeric_limits<std::size_t>::max() : a + b;
}

}  // namespace lexset
