//===- WordHash.h - A fast hash of a byte string -------------------------===//
//
// Reads eight bytes at a time with a multiply-xorshift mix; short tails are
// read with overlapping loads, and the length is mixed in, so any two words
// of different bytes or lengths may collide only by chance.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

namespace lexset {

inline std::uint64_t HashWord(std::string_view word) {
  constexpr std::uint64_t kMul = 0x9FB21C651E98DF25ull;
  const char* p = word.data();
  std::size_t n = word.size();
  std::uint64_t h = 0x243F6A8885A308D3ull ^ (static_cast<std::uint64_t>(n) * 0xC2B2AE3D27D4EB4Full);

  auto load64 = [](const char* q) {
    std::uint64_t v;
    std::memcpy(&v, q, 8);
    return v;
  };
  auto load32 = [](const char* q) {
    std::uint32_t v;
    std::memcpy(&v, q, 4);
    return std::uint64_t{v};
  };
  auto mix = [&](std::uint64_t v) {
    h = (h ^ v) * kMul;
    h ^= h >> 29;
  };

  while (n > 8) {
    mix(load64(p));
    p += 8;
    n -= 8;
  }
  if (n >= 4) {
    mix(load32(p) | (load32(p + n - 4) << 32));
  } else if (n > 0) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    mix(std::uint64_t{u[0]} | (std::uint64_t{u[n / 2]} << 8) | (std::uint64_t{u[n - 1]} << 16));
  }
  // The murmur3 finaliser spreads every input bit over the high bits, which
  // pick the slot.
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace lexset
