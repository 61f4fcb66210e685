//===- TemporaryName.cpp - Unique names for the program's temporary files ===//
#include "platform/TemporaryName.h"

#include <chrono>
#include <cstdint>

#include "core/Files.h"

namespace lexset {
namespace {

std::uint64_t SplitMix(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

std::string NewTemporaryName(const char* suffix) {
  // Seeded from the clock and the address of a local, which differs between
  // processes where the system randomises addresses.
  static std::uint64_t state =
      static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^
      (static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&state)) << 16);
  std::uint64_t value = SplitMix(state);
  char digits[17];
  for (int i = 15; i >= 0; --i) {
    digits[i] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  }
  digits[16] = '\0';
  return std::string(kTemporaryFilePrefix) + digits + suffix;
}

bool IsLeftoverName(const std::string& name) {
  const std::string prefix = kTemporaryFilePrefix;
  if (name.size() != prefix.size() + 16 + 4 || name.compare(0, prefix.size(), prefix) != 0) return false;
  for (std::size_t i = prefix.size(); i < prefix.size() + 16; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  const std::string suffix = name.substr(prefix.size() + 16);
  return suffix == ".tmp" || suffix == ".run" || suffix == ".old";
}

}  // namespace lexset
