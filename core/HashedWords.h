//===- HashedWords.h - Distinct words kept by an open-addressing table ---===//
//
// The store of a shuffled list: each word is looked up in a hash table of
// 8-byte slots (32 bits of hash, a 32-bit position in an arena of stored
// words) and stored only if new. Words handed over in batches get their
// slots fetched from memory together, and a small cache of recent short
// words settles repeats without touching the table where a few words make
// up nearly all of the list. The words are sorted once, at the end.
//
// The table stops growing and asks to be given up (gave_up()) when it is
// large and nearly every word it meets is new: hashing then pays for
// nothing, and the word set moves its words to buckets (core/WordSet.h).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "core/RecentWords.h"
#include "core/WordArena.h"
#include "core/WordCompare.h"
#include "core/WordSort.h"
#include "core/Workers.h"

namespace lexset {

class HashedWords {
 public:
  // Words handed to InsertMany at a time get their table slots fetched
  // from memory together.
  static constexpr std::size_t kBatch = 16;

  // `limit`: bytes the store may take, counting the array it will be sorted
  // in; `give_up_from`: the table size from which it may give up.
  HashedWords(std::size_t first_block_size, std::size_t limit, std::size_t give_up_from);
  ~HashedWords();
  HashedWords(const HashedWords&) = delete;
  HashedWords& operator=(const HashedWords&) = delete;

  // Adds each of `words` (non-empty) unless already present, in order.
  // Returns `count`, or the index of the first word not taken: because the
  // limit or memory ran out, or, if gave_up(), because hashing no longer
  // pays. The store then holds the words before it.
  std::size_t InsertMany(const std::string_view* words, std::size_t count);
  bool gave_up() const { return gave_up_; }

  // Makes a table for `count` words at once, all different, to be added by
  // AddNew. Throws std::bad_alloc if it would pass the limit, with
  // `also_held` bytes held besides.
  void Reserve(std::size_t count, std::size_t also_held);
  // Adds a word known not to be stored yet. Throws std::bad_alloc.
  void AddNew(std::string_view word);

  std::size_t size() const { return count_; }
  // Bytes taken from the heap now.
  std::size_t MemoryUsed() const;

  // Calls visit(word) for every word, in the order they were stored.
  template <class Visit>
  void ForEach(Visit&& visit) const {
    arena_.ForEach([&visit](WordArena::Pos, std::string_view word) { visit(word); });
  }

  // Frees the table and puts the words in ascending byte order in an array
  // of entries, the memory the limit has kept for it. Throws std::bad_alloc.
  void Sort(Workers* workers = nullptr);

  // The words in ascending order one at a time, after Sort.
  class Cursor {
   public:
    explicit Cursor(const HashedWords& words) : words_(words) {}
    bool Next() {
      // The words lie in the arena in the order they came; fetch ahead.
      constexpr std::size_t kAhead = 16;
      if (next_ >= words_.count_) return false;
      if (next_ + kAhead < words_.count_) words_.arena_.Prefetch(words_.sorted_[next_ + kAhead].pos);
      word_ = words_.arena_.WordAt(words_.sorted_[next_++].pos);
      return true;
    }
    std::string_view word() const { return word_; }

   private:
    const HashedWords& words_;
    std::size_t next_ = 0;
    std::string_view word_;
  };

  // Frees everything; the limit stays.
  void Clear();

 private:
  struct Slot {
    std::uint32_t tag;  // the high half of the word's hash, never 0 in a used slot
    WordArena::Pos pos;
  };

  static std::unique_ptr<Slot[]> EmptySlots(std::size_t capacity);
  // Looks `word` up and stores it if new. Returns false, storing nothing,
  // when hashing is given up.
  bool Insert(std::string_view word, std::uint32_t tag);
  // Makes room in the table for another word; false when giving up instead.
  bool Grow();
  std::size_t FreeSlot(std::uint32_t tag) const;
  void UseSlots(std::unique_ptr<Slot[]> slots, unsigned bits);
  // Throws std::bad_alloc unless one more word of `size` bytes fits the
  // limit. Cheap unless a new arena block or a new allowance is needed.
  void CheckRoomFor(std::size_t size) {
    if (count_ >= words_allowed_ || !arena_.Fits(size)) CheckRoomExactly(size);
  }
  void CheckRoomExactly(std::size_t size);

  WordArena arena_;
  std::size_t limit_;
  std::size_t give_up_from_;
  std::size_t count_ = 0;
  // Words that fit the limit with the arena and the table as they are.
  std::size_t words_allowed_ = 0;
  bool gave_up_ = false;

  std::unique_ptr<Slot[]> slots_;
  std::size_t capacity_ = 0;  // a power of two
  unsigned shift_ = 32;       // the slot of a tag is tag >> shift_
  std::size_t max_count_ = 0;
  std::size_t lookups_ = 0;  // words looked up since the table last grew
  std::size_t added_ = 0;    // of them, new ones

  RecentWords recent_;

  std::unique_ptr<SortEntry[]> sorted_;  // after Sort
};

}  // namespace lexset
