//===- WordSet.h - The distinct words of a word list ---------------------===//
//
// While the words arrive in ascending order the set only appends them and
// compares each with the greatest so far. The first word out of order turns
// on an open-addressing hash table over the stored words; the words are then
// sorted once, at the end.
//
// The set can be given a memory limit. It counts what it holds and what it
// will need to sort, and refuses a word that would pass the limit (unless
// the set is empty, so that any single word can be stored).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string_view>

#include "core/WordArena.h"
#include "core/WordSort.h"

namespace lexset {

class WordSet {
 public:
  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
  // Words handed to InsertMany at a time get their table slots fetched
  // from memory together.
  static constexpr std::size_t kBatch = 16;

  explicit WordSet(std::size_t memory_limit = kNoLimit);
  ~WordSet();
  WordSet(const WordSet&) = delete;
  WordSet& operator=(const WordSet&) = delete;

  // Adds each of `words` (non-empty) unless already present, in order.
  // Returns `count`, or the index of the first word that could not be stored
  // because memory or the limit ran out; the set then holds the words before
  // it and is otherwise unchanged.
  std::size_t InsertMany(const std::string_view* words, std::size_t count);
  // Adds one word; throws std::bad_alloc where InsertMany would stop.
  void Insert(std::string_view word);

  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Bytes taken from the heap now.
  std::size_t MemoryUsed() const;

  // Puts the words in ascending byte order. Afterwards ForEachSorted may be
  // called, and Insert may not until Clear. Throws std::bad_alloc if memory
  // for the sort cannot be had (the limit has kept room for it).
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
    // The words lie in the arena in the order they came; fetch ahead.
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < count_; ++i) {
      if (i + kAhead < count_) arena_.Prefetch(sorted_[i + kAhead].pos);
      if (!emit(arena_.WordAt(sorted_[i].pos))) return false;
    }
    return true;
  }

  // The words in ascending order one at a time, after Sort.
  class Cursor {
   public:
    explicit Cursor(const WordSet& set) : set_(set), arena_cursor_(set.arena_) {}
    // Moves to the next word; false after the last.
    bool Next() {
      if (!set_.hashing_) return arena_cursor_.Next(&word_);
      if (next_ >= set_.count_) return false;
      word_ = set_.arena_.WordAt(set_.sorted_[next_++].pos);
      return true;
    }
    std::string_view word() const { return word_; }

   private:
    const WordSet& set_;
    WordArena::Cursor arena_cursor_;
    std::size_t next_ = 0;
    std::string_view word_;
  };

  // Empties the set and frees its memory; the limit stays.
  void Clear();

 private:
  struct Slot {
    std::uint32_t tag;  // the high half of the word's hash, never 0 in a used slot
    WordArena::Pos pos;
  };

  void InsertInOrder(std::string_view word);
  void InsertHashed(std::string_view word, std::uint32_t tag);
  void StartHashing();
  void Grow();
  std::size_t FreeSlot(std::uint32_t tag) const;
  // Throws std::bad_alloc unless one more word of `size` bytes fits the
  // limit. Cheap unless a new arena block or a new allowance is needed.
  void CheckRoomFor(std::size_t size) {
    if (count_ >= words_allowed_ || !arena_.Fits(size)) CheckRoomExactly(size);
  }
  void CheckRoomExactly(std::size_t size);

  WordArena arena_;
  std::size_t limit_;
  std::size_t count_ = 0;
  std::size_t words_allowed_ = 0;  // words that fit the limit with the arena as it is
  bool hashing_ = false;     // false while every word so far came in order
  WordArena::Pos last_ = 0;  // the greatest word, while !hashing_

  std::unique_ptr<Slot[]> slots_;
  std::size_t capacity_ = 0;  // a power of two
  unsigned shift_ = 32;       // the slot of a tag is tag >> shift_
  std::size_t max_count_ = 0;

  std::unique_ptr<SortEntry[]> sorted_;  // after Sort, when hashing_
  bool is_sorted_ = false;
};

}  // namespace lexset
