//===- WordSort.h - Sorting distinct words held in an arena --------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/WordArena.h"

namespace lexset {

// A word to sort: its position, and four of its bytes as a big-endian key so
// most comparisons need not touch the arena.
struct WordEntry {
  std::uint32_t key;
  WordArena::Pos pos;
};

// The four bytes of `word` from `depth` on, big-endian, padded with zeros.
inline std::uint32_t KeyAt(std::string_view word, std::size_t depth) {
  std::uint32_t key = 0;
  for (std::size_t i = depth; i < depth + 4; ++i) {
    key <<= 8;
    if (i < word.size()) key |= static_cast<unsigned char>(word[i]);
  }
  return key;
}

// Sorts entries of distinct words into ascending byte order. Every entry's key
// must hold KeyAt(word, 0). Uses no memory beyond a small work list.
void SortWordEntries(WordEntry* entries, std::size_t count, const WordArena& arena);

}  // namespace lexset
