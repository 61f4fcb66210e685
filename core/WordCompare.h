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

// Up to the first eight bytes of a word as a big-endian number, padded with
// zeros, read without going past the word's end.
inline std::uint64_t LeadingBytes(const char* p, std::size_t n) {
  auto be64 = [](const char* q) {
    std::uint64_t v;
    std::memcpy(&v, q, 8);
    return __builtin_bswap64(v);
  };
  auto be32 = [](const char* q) {
    std::uint32_t v;
    std::memcpy(&v, q, 4);
    return std::uint64_t{__builtin_bswap32(v)};
  };
  if (n >= 8) return be64(p);
  if (n >= 4) return (be32(p) << 32) | (be32(p + n - 4) << (8 * (8 - n)));
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  std::uint64_t v = std::uint64_t{u[0]} << 56;
  if (n > 1) v |= std::uint64_t{u[1]} << 48;
  if (n > 2) v |= std::uint64_t{u[2]} << 40;
  return v;
}

// Orders two words as unsigned bytes, the shorter first when one is a
// prefix of the other: less than, equal to or greater than 0.
inline int CompareWords(std::string_view a, std::string_view b) {
  const std::uint64_t x = LeadingBytes(a.data(), a.size());
  const std::uint64_t y = LeadingBytes(b.data(), b.size());
  if (x != y) return x < y ? -1 : 1;
  if (a.size() <= 8 || b.size() <= 8) return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
  return a.substr(8).compare(b.substr(8));
}

// Copies `n` bytes; short copies take a few loads and stores instead of a
// call, and never write past dst + n.
inline void CopyBytes(char* dst, const char* src, std::size_t n) {
  if (n >= 8 && n <= 16) {
    std::uint64_t a, b;
    std::memcpy(&a, src, 8);
    std::memcpy(&b, src + n - 8, 8);
    std::memcpy(dst, &a, 8);
    std::memcpy(dst + n - 8, &b, 8);
  } else if (n >= 4 && n < 8) {
    std::uint32_t a, b;
    std::memcpy(&a, src, 4);
    std::memcpy(&b, src + n - 4, 4);
    std::memcpy(dst, &a, 4);
    std::memcpy(dst + n - 4, &b, 4);
  } else if (n < 4) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = src[i];
  } else {
    std::memcpy(dst, src, n);
  }
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
