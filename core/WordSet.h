//===- WordSet.h - The distinct words of a word list ---------------------===//
//
// The set keeps its words in one of three stores, chosen by what the words
// look like, and moves them from one to the next:
//  - in order: while the words arrive in ascending order, it only appends
//    them, as the lines of the result, comparing each with the last
//    (core/OrderedText.h);
//  - hashing: from the first word out of order, an open-addressing hash
//    table over the stored words keeps repeats out (core/HashedWords.h);
//  - appending: when the table keeps growing and nearly every word is new,
//    hashing pays for nothing; the words are then only appended, to buckets
//    by their first bytes (core/WordBuckets.h), and repeats are dropped
//    once each bucket is sorted.
// Hashed words are sorted once, at the end; buckets one at a time as they
// are read out.
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

#include "core/HashedWords.h"
#include "core/OrderedText.h"
#include "core/WordBuckets.h"
#include "core/WordSort.h"
#include "core/Workers.h"

namespace lexset {

class WordSet {
 public:
  static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

  // From this many table slots on, hashing is given up when nearly every
  // word is new: a smaller table costs little whatever the words.
  static constexpr std::size_t kGiveUpHashingFrom = std::size_t{1} << 21;

  // `give_up_hashing_from`: tests set it lower, so that small lists reach
  // the appending mode too.
  explicit WordSet(std::size_t memory_limit = kNoLimit, std::size_t give_up_hashing_from = kGiveUpHashingFrom);
  ~WordSet();
  WordSet(const WordSet&) = delete;
  WordSet& operator=(const WordSet&) = delete;

  // Adds each of `words` (non-empty) unless already present, in order.
  // Returns `count`, or the index of the first word that could not be stored
  // because memory or the limit ran out; the set then holds the words before
  // it and is otherwise unchanged.
  std::size_t InsertMany(const std::string_view* words, std::size_t count) {
    if (mode_ != Mode::kHashing) return InsertManyAnyway(words, count, 0);
    // Most words of most lists come here; the table says itself when it
    // stops taking words.
    const std::size_t done = InsertHashed(words, count);
    return done == count || !hashed_.gave_up() ? done : InsertManyAnyway(words, count, done);
  }
  // Adds one word; throws std::bad_alloc where InsertMany would stop.
  void Insert(std::string_view word);

  // Words stored; while appending, repeats count too.
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

  // Bytes taken from the heap now.
  std::size_t MemoryUsed() const;

  // Puts the words in ascending byte order, or, for buckets, makes ready to
  // sort them as they are read. Afterwards ForEachSorted and one Cursor at
  // a time may be used, and Insert may not until Clear. Throws
  // std::bad_alloc if memory for the sort cannot be had (the limit has kept
  // room for it).
  void Sort();

  // Whether the words came in ascending order; their lines are then ready as
  // they stand for ForEachOrderedBlock.
  bool in_order() const { return mode_ == Mode::kInOrder; }
  // Whether hashing was given up and the words go to buckets.
  bool appending() const { return mode_ == Mode::kAppending; }
  // Calls write(data, size) with the lines of the words, each word followed
  // by CR LF, in a few large blocks; only while in_order().
  template <class Write>
  bool ForEachOrderedBlock(Write&& write) const {
    return ordered_.ForEachBlock(write);
  }

  // Calls emit(word) for every distinct word in ascending order, stopping
  // early when emit returns false. Returns false if it stopped early.
  template <class Emit>
  bool ForEachSorted(Emit&& emit) const {
    Cursor cursor(*this);
    while (cursor.Next()) {
      if (!emit(cursor.word())) return false;
    }
    return true;
  }

  // The distinct words in ascending order one at a time, after Sort.
  class Cursor {
   public:
    explicit Cursor(const WordSet& set)
        : set_(set),
          ordered_cursor_(set.ordered_),
          hashed_cursor_(set.hashed_),
          bucket_cursor_(set.buckets_, set.bucket_entries_.get(), set.workers_, set.bucket_slots_) {}
    // Moves to the next word; false after the last.
    bool Next() {
      switch (set_.mode_) {
        case Mode::kInOrder:
          return ordered_cursor_.Next(&word_);
        case Mode::kHashing:
          if (!hashed_cursor_.Next()) return false;
          word_ = hashed_cursor_.word();
          return true;
        case Mode::kAppending:
          break;
      }
      if (!bucket_cursor_.Next()) return false;
      word_ = bucket_cursor_.word();
      return true;
    }
    std::string_view word() const { return word_; }

   private:
    const WordSet& set_;
    OrderedText::Cursor ordered_cursor_;
    HashedWords::Cursor hashed_cursor_;
    WordBuckets::Cursor bucket_cursor_;
    std::string_view word_;
  };

  // Lets the sorts use the workers' helpers, where there are any; the
  // words come out the same either way.
  void set_workers(Workers* workers) { workers_ = workers; }

  // Empties the set and frees its memory; the limit stays.
  void Clear();

 private:
  enum class Mode { kInOrder, kHashing, kAppending };

  // InsertMany into the hash table, counting the words it stored.
  std::size_t InsertHashed(const std::string_view* words, std::size_t count) {
    const std::size_t before = hashed_.size();
    const std::size_t done = hashed_.InsertMany(words, count);
    count_ += hashed_.size() - before;
    return done;
  }
  // InsertMany from `done` on, in whatever way the set stores words.
  std::size_t InsertManyAnyway(const std::string_view* words, std::size_t count, std::size_t done);
  bool InsertInOrder(std::string_view word);
  void Append(std::string_view word);
  // Moves the ordered words into the hash table, to hash from now on.
  void StartHashing();
  // Moves the hashed words into buckets, to append from now on.
  void StartAppending();
  // Plans the buckets again from the words so far and moves them, where
  // that pays and fits.
  void Replan();
  // The largest bucket's words from which a new plan is worth trying.
  std::size_t ReplanThreshold() const;
  // Plans `into` (empty) from the words `for_each_word` visits and moves
  // them into it within the limit, with `held` bytes held besides. Returns
  // false, moving nothing, if its largest bucket would hold more than
  // `largest_allowed` words; throws std::bad_alloc where it would pass
  // the limit.
  template <class ForEachWord>
  bool MoveIntoPlanned(WordBuckets& into, ForEachWord for_each_word, std::size_t held, std::size_t largest_allowed);
  // Stores a word in `into` within the limit, counting `also_held` bytes
  // held besides; `allowed` keeps the words its largest bucket may reach
  // before the room is counted again. Throws std::bad_alloc where the word
  // would pass the limit.
  void AppendWithin(WordBuckets& into, std::string_view word, std::size_t also_held, std::size_t& allowed);
  // Throws std::bad_alloc unless another ordered word of `size` bytes fits.
  void CheckRoomInOrder(std::size_t size);
  // The same for buckets, where the sort needs two entries for each word
  // of the largest bucket; `also_held` counts memory held besides. Returns
  // the words the largest bucket may reach before a chunk is needed.
  std::size_t BucketRoomFor(const WordBuckets& into, std::string_view word, std::size_t also_held = 0) const;

  std::size_t limit_;
  OrderedText ordered_;  // in order
  HashedWords hashed_;   // hashing
  WordBuckets buckets_;  // appending
  std::size_t count_ = 0;
  // Appending: words of the largest bucket that fit the limit with the
  // buckets as they are, and below the threshold of a new plan.
  std::size_t words_allowed_ = 0;
  // Appending: the words from which the buckets may be planned again.
  std::size_t replan_from_ = 0;
  Mode mode_ = Mode::kInOrder;
  bool is_sorted_ = false;
  // After Sort, appending: room for the largest bucket's entries, twice,
  // which the cursor sorts into.
  std::unique_ptr<SortEntry[]> bucket_entries_;
  std::size_t bucket_entries_size_ = 0;
  std::size_t bucket_slots_ = 1;  // buckets whose entries fit, sorted ahead
  Workers* workers_ = nullptr;
};

}  // namespace lexset
