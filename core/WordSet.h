//===- WordSet.h - The distinct words of a word list ---------------------===//
//
// While the words arrive in ascending order the set only appends them and
// compares each with the greatest so far. The first word out of order turns
// on an open-addressing hash table over the stored words; the words are then
// sorted once, at the end.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/WordArena.h"
#include "core/WordSort.h"

namespace lexset {

class WordSet {
 public:
  WordSet();
  ~WordSet();
  WordSet(const WordSet&) = delete;
  WordSet& operator=(const WordSet&) = delete;

  // Adds `word` (non-empty) unless it is already present. Throws
  // std::bad_alloc when memory runs out; the set is then unchanged.
  void Insert(std::string_view word);

  std::size_t size() const { return count_; }

  // Bytes taken from the heap.
  std::size_t MemoryUsed() const;

  // Puts the words in ascending byte order. Afterwards ForEachSorted may be
  // called, and Insert may not until Clear.
  void Sort();

  // Calls emit(word) for every word in ascending order, stopping early when
  // emit returns false. Returns false if it stopped early.
  template <class Emit>
  bool ForEachSorted(Emit&& emit) const {
    if (!hashing_) {
      bool go_on = true;
      arena_.ForEach([&](WordArena::Pos, std::string_view word) {
        if (go_on) go_on = emit(word);
      });
      return go_on;
    }
    for (std::size_t i = 0; i < count_; ++i) {
      if (!emit(arena_.WordAt(entries_[i].pos))) return false;
    }
    return true;
  }

  // Empties the set and frees its memory.
  void Clear();

 private:
  void StartHashing();
  void Grow();
  std::size_t FreeSlot(std::uint32_t tag) const;

  WordArena arena_;
  std::size_t count_ = 0;
  bool hashing_ = false;     // false while every word so far came in order
  WordArena::Pos last_ = 0;  // the greatest word, while !hashing_
  bool sorted_ = false;

  // The hash table: key is the high half of the word's hash (never 0 in a
  // used slot), pos the word. After Sort it holds the words in order.
  std::unique_ptr<WordEntry[]> entries_;
  std::size_t capacity_ = 0;  // a power of two
  unsigned shift_ = 32;       // the slot of a tag is tag >> shift_
  std::size_t max_count_ = 0;
};

}  // namespace lexset
