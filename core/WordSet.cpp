//===- WordSet.cpp - The distinct words of a word list -------------------===//
#include "core/WordSet.h"

#include <algorithm>
#include <new>
#include <vector>

namespace lexset {

// Under a small limit the first blocks are small too, so that a run holds
// more than a word or two.
WordSet::WordSet(std::size_t memory_limit, std::size_t give_up_hashing_from)
    : limit_(memory_limit),
      ordered_(std::min(WordArena::kFirstBlockSize, memory_limit / 8)),
      hashed_(std::min(WordArena::kFirstBlockSize, memory_limit / 8), memory_limit, give_up_hashing_from),
      buckets_(memory_limit) {}
WordSet::~WordSet() = default;

std::size_t WordSet::MemoryUsed() const {
  return ordered_.BytesReserved() + hashed_.MemoryUsed() + buckets_.BytesReserved() +
         bucket_entries_size_ * sizeof(SortEntry);
}

// In order, the set needs only the lines; should the order break, moving
// them into the hash table is checked on its own.
void WordSet::CheckRoomInOrder(std::size_t size) {
  if (count_ == 0 || limit_ == kNoLimit) return;
  if (ordered_.BytesReserved() + ordered_.GrowthFor(size) > limit_) throw std::bad_alloc();
}

void WordSet::CheckBucketRoomFor(std::string_view word, std::size_t also_held) {
  words_allowed_ = 0;
  if (limit_ == kNoLimit) {
    words_allowed_ = kNoLimit;
    return;
  }
  const std::size_t words = also_held + buckets_.BytesReserved() + buckets_.GrowthFor(word);
  if (words > limit_) throw std::bad_alloc();
  const std::size_t room = (limit_ - words) / (2 * sizeof(SortEntry));
  if (buckets_.largest() >= room) throw std::bad_alloc();
  // Until a bucket passes this many words or a chunk is needed, words fit.
  words_allowed_ = room;
}

std::size_t WordSet::InsertMany(const std::string_view* words, std::size_t count) {
  std::size_t done = 0;  // words before this one are in the set
  try {
    while (done < count) {
      switch (mode_) {
        case Mode::kInOrder:
          if (InsertInOrder(words[done])) ++done;
          break;
        case Mode::kHashing: {
          const std::size_t before = hashed_.size();
          done += hashed_.InsertMany(words + done, count - done);
          count_ += hashed_.size() - before;
          if (done < count && !hashed_.gave_up()) return done;
          if (hashed_.gave_up()) StartAppending();
          break;
        }
        case Mode::kAppending:
          Append(words[done]);
          ++done;
          break;
      }
    }
  } catch (const std::bad_alloc&) {
    return done;
  }
  return done;
}

void WordSet::Insert(std::string_view word) {
  if (InsertMany(&word, 1) != 1) throw std::bad_alloc();
}

// Returns false when the word broke the order: the set has moved to the
// hash table, and the word is to be inserted there.
bool WordSet::InsertInOrder(std::string_view word) {
  if (count_ != 0) {
    const int order = CompareWords(word, ordered_.last());
    if (order == 0) return true;
    if (order < 0) {
      StartHashing();
      return false;
    }
  }
  if (!ordered_.Fits(word.size())) CheckRoomInOrder(word.size());
  ordered_.Append(word);
  ++count_;
  return true;
}

void WordSet::Append(std::string_view word) {
  AppendToBuckets(word);
  ++count_;
}

void WordSet::AppendToBuckets(std::string_view word, std::size_t also_held) {
  if (buckets_.TryAppend(word, words_allowed_)) return;
  CheckBucketRoomFor(word, also_held);
  buckets_.Append(word);
}

// Moves the words stored so far, all in order, into the hash table. If the
// lines and the table would not fit the limit side by side, throws
// std::bad_alloc: the caller makes room by writing the lines out, which are
// sorted already.
void WordSet::StartHashing() {
  try {
    hashed_.Reserve(count_, limit_ == kNoLimit ? 0 : 2 * ordered_.BytesReserved());
    OrderedText::Cursor cursor(ordered_);
    for (std::string_view word; cursor.Next(&word);) hashed_.AddNew(word);
  } catch (const std::bad_alloc&) {
    hashed_.Clear();
    throw;
  }
  ordered_.Clear();
  mode_ = Mode::kHashing;
}

// The words move in storage order, so the arena is read sequentially. Both
// hold the words while they move; should that not fit the limit, the set
// stays as it was and throws std::bad_alloc.
void WordSet::StartAppending() {
  const std::size_t held = hashed_.MemoryUsed();
  try {
    // The words so far show how the words to come begin.
    std::vector<std::uint32_t> prefix_counts(buckets_.prefixes());
    hashed_.ForEach([&](std::string_view word) { ++prefix_counts[buckets_.PrefixOf(word)]; });
    buckets_.Plan(prefix_counts.data());
    hashed_.ForEach([&](std::string_view word) { AppendToBuckets(word, held); });
  } catch (const std::bad_alloc&) {
    buckets_.Clear();
    words_allowed_ = 0;
    throw;
  }
  hashed_.Clear();
  words_allowed_ = 0;
  mode_ = Mode::kAppending;
}

void WordSet::Sort() {
  if (is_sorted_) return;
  is_sorted_ = true;
  if (mode_ == Mode::kHashing) {
    hashed_.Sort();
  } else if (mode_ == Mode::kAppending) {
    bucket_entries_.reset(new SortEntry[2 * buckets_.largest()]);
    bucket_entries_size_ = 2 * buckets_.largest();
  }
}

void WordSet::Clear() {
  ordered_.Clear();
  hashed_.Clear();
  buckets_.Clear();
  bucket_entries_.reset();
  bucket_entries_size_ = 0;
  count_ = 0;
  words_allowed_ = 0;
  mode_ = Mode::kInOrder;
  is_sorted_ = false;
}

}  // namespace lexset
