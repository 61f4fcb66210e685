//===- WordSort.h - Sorting distinct words held in an arena --------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/WordArena.h"

namespace lexset {

// A word to sort: eight of its bytes as a big-endian key, so that most
// comparisons need not touch the arena, its size and its position.
struct SortEntry {
  std::uint64_t key;
  WordArena::Pos pos;
  std::uint32_t size;
};

// The eight bytes of `word` from `depth` on, big-endian, padded with zeros.
inline std::uint64_t KeyAt(std::string_view word, std::size_t depth) {
  unsigned char bytes[8] = {};
  if (depth < word.size()) {
    const std::size_t n = word.size() - depth < 8 ? word.size() - depth : 8;
    std::memcpy(bytes, word.data() + depth, n);
  }
  std::uint64_t key = 0;
  for (unsigned char b : bytes) key = (key << 8) | b;
  return key;
}

// Sorts entries of distinct words into ascending byte order. Every entry's
// key must hold KeyAt(word, 0), and the first `shared` bytes of the keys
// must be the same in all entries. Uses no memory beyond a small work list.
void SortEntries(SortEntry* entries, std::size_t count, const WordArena& arena, unsigned shared = 0);

}  // namespace lexset
