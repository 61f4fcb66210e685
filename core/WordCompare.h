//===- WordCompare.h - Equality of short byte strings, and prefetching ---===//
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace lexset {

// Whether two words are byte for byte the same. Most words are short, and
// two overlapping loads settle them without a call to memcmp.
inline bool SameWord(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (n >= 8) {
    if (n > 16) return std::memcmp(p, q, n) == 0;
    std::uint64_t x0, y0, x1, y1;
    std::memcpy(&x0, p, 8);
    std::memcpy(&y0, q, 8);
    std::memcpy(&x1, p + n - 8, 8);
    std::memcpy(&y1, q + n - 8, 8);
    return ((x0 ^ y0) | (x1 ^ y1)) == 0;
  }
  if (n >= 4) {
    std::uint32_t x0, y0, x1, y1;
    std::memcpy(&x0, p, 4);
    std::memcpy(&y0, q, 4);
    std::memcpy(&x1, p + n - 4, 4);
    std::memcpy(&y1, q + n - 4, 4);
    return ((x0 ^ y0) | (x1 ^ y1)) == 0;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (p[i] != q[i]) return false;
  }
  return true;
}

// Asks for the cache line at `address` ahead of its use.
inline void Prefetch(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

}  // namespace lexset
