//===- WordSort.h - Sorting words by radix, eight bytes at a time -------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/WordArena.h"
#include "core/WordCompare.h"

namespace lexset {

// A word to sort: eight of its bytes as a big-endian key, so that most
// comparisons need not touch the word, its size and its position.
struct SortEntry {
  std::uint64_t key;
  WordArena::Pos pos;
  std::uint32_t size;
};

// The eight bytes of `word` from `depth` on, big-endian, padded with zeros.
inline std::uint64_t KeyAt(std::string_view word, std::size_t depth) {
  return depth < word.size() ? LeadingBytes(word.data() + depth, word.size() - depth) : 0;
}

// Where the sort finds the words its entries name.
class WordLookup {
 public:
  virtual std::string_view WordAt(std::uint32_t pos) const = 0;

 protected:
  ~WordLookup() = default;
};

// Sorts entries into ascending byte order; entries of the same word (only
// where the caller stored repeats) end up side by side. Every entry's key
// must hold KeyAt(word, 0), and the first `shared` bytes of the keys must
// be the same in all entries. Uses no memory beyond a small work list.
void SortEntries(SortEntry* entries, std::size_t count, const WordLookup& words, unsigned shared = 0);

// The same for a piece small enough to stay in the cache, with `scratch`
// room for as many entries: a least-significant-digit radix sort over the
// key bytes that differ, whose passes move entries without the dependent
// swaps of an in-place sort; then words that share their eight key bytes
// are sorted further as above. Any key must be KeyAt(word, 0).
void SortCachedEntries(SortEntry* entries, SortEntry* scratch, std::size_t count, const WordLookup& words);

}  // namespace lexset
