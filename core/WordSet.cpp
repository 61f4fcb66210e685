//===- WordSet.cpp - The distinct words of a word list -------------------===//
#include "core/WordSet.h"

#include <algorithm>
#include <new>
#include <vector>

#include "core/MemorySums.h"

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
  if (AddBytes(ordered_.BytesReserved(), ordered_.GrowthFor(size)) > limit_) throw std::bad_alloc();
}

std::size_t WordSet::BucketRoomFor(const WordBuckets& into, std::string_view word, std::size_t also_held) const {
  if (limit_ == kNoLimit) return kNoLimit;
  const std::size_t words = AddBytes(AddBytes(also_held, into.BytesReserved()), into.GrowthFor(word));
  if (words > limit_) throw std::bad_alloc();
  const std::size_t room = (limit_ - words) / (2 * sizeof(SortEntry));
  if (into.largest() >= room) throw std::bad_alloc();
  return room;
}

void WordSet::AppendWithin(WordBuckets& into, std::string_view word, std::size_t also_held, std::size_t& allowed) {
  if (into.TryAppend(word, allowed)) return;
  allowed = 0;
  allowed = BucketRoomFor(into, word, also_held);
  into.Append(word);
}

// Words before `done` are in the set.
std::size_t WordSet::InsertManyAnyway(const std::string_view* words, std::size_t count, std::size_t done) {
  try {
    while (done < count) {
      switch (mode_) {
        case Mode::kInOrder:
          if (InsertInOrder(words[done])) ++done;
          break;
        case Mode::kHashing:
          done += InsertHashed(words + done, count - done);
          if (done < count && !hashed_.gave_up()) return done;
          if (hashed_.gave_up()) StartAppending();
          break;
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

// Words that fit the chunk of their bucket are stored at once; the others
// check the room, and whether the buckets are to be planned again.
void WordSet::Append(std::string_view word) {
  if (!buckets_.TryAppend(word, words_allowed_)) {
    if (count_ >= replan_from_ && buckets_.largest() > ReplanThreshold()) Replan();
    words_allowed_ = 0;
    words_allowed_ = BucketRoomFor(buckets_, word);
    if (count_ >= replan_from_) words_allowed_ = std::min(words_allowed_, ReplanThreshold());
    buckets_.Append(word);
  }
  ++count_;
}

// A bucket may grow to a few times the average, and beyond that by a
// floor that keeps small sets from being planned again and again: 4096
// words, whose sort stays in the cache, or fewer under a small limit, so
// that their entries take at most a 32nd of it.
std::size_t WordSet::ReplanThreshold() const {
  const std::size_t floor = std::min<std::size_t>(4096, limit_ / (32 * 2 * sizeof(SortEntry)));
  return 4 * (count_ / buckets_.bucket_count()) + floor;
}

// Moves the words stored so far, all in order, into the hash table. If the
// lines and the table would not fit the limit side by side, throws
// std::bad_alloc: the caller makes room by writing the lines out, which are
// sorted already.
void WordSet::StartHashing() {
  try {
    hashed_.Reserve(count_, limit_ == kNoLimit ? 0 : AddBytes(ordered_.BytesReserved(), ordered_.BytesReserved()));
    OrderedText::Cursor cursor(ordered_);
    for (std::string_view word; cursor.Next(&word);) hashed_.AddNew(word);
  } catch (const std::bad_alloc&) {
    hashed_.Clear();
    throw;
  }
  ordered_.Clear();
  mode_ = Mode::kHashing;
}

template <class ForEachWord>
bool WordSet::MoveIntoPlanned(WordBuckets& into, ForEachWord for_each_word, std::size_t held,
                              std::size_t largest_allowed) {
  const std::size_t held_with_counts = AddBytes(held, into.prefixes() * sizeof(std::uint32_t));
  if (limit_ != kNoLimit && AddBytes(held_with_counts, into.PlanBytes()) > limit_) throw std::bad_alloc();
  std::vector<std::uint32_t> counts(into.prefixes());
  for_each_word([&](std::string_view word) { ++counts[into.PrefixOf(word)]; });
  if (into.Plan(counts.data()) > largest_allowed) return false;
  std::size_t allowed = 0;
  for_each_word([&](std::string_view word) { AppendWithin(into, word, held_with_counts, allowed); });
  return true;
}

// The words so far show how the words to come begin. They move in storage
// order, so the arena is read sequentially. Both hold the words while they
// move; should that not fit the limit, the set stays as it was and throws
// std::bad_alloc.
void WordSet::StartAppending() {
  WordBuckets planned(limit_);
  const auto each_hashed_word = [this](auto&& visit) { hashed_.ForEach(visit); };
  MoveIntoPlanned(planned, each_hashed_word, hashed_.MemoryUsed(), kNoLimit);
  buckets_ = std::move(planned);
  hashed_.Clear();
  words_allowed_ = 0;
  replan_from_ = count_ + count_ / 2;
  mode_ = Mode::kAppending;
}

// Words that begin unlike those the buckets were planned from pile up in
// the few buckets around their prefixes. The buckets are planned again
// from all the words so far, and the words move, where that at least
// halves the largest bucket (one prefix is never split). Not tried again
// before the words grow by half, or double after a plan that did not pay
// or fit: every word moves a few times at most. Old and new buckets are
// held side by side while the words move; should that not fit the limit,
// the plan stays as it is rather than the set spilling at once: the room
// check refuses a word once the largest bucket's sort no longer fits, so
// the run holds as many words as the limit allows either way.
void WordSet::Replan() {
  replan_from_ = 2 * count_;
  WordBuckets planned(limit_);
  const auto each_word = [this](auto&& visit) { buckets_.ForEach(visit); };
  try {
    if (!MoveIntoPlanned(planned, each_word, buckets_.BytesReserved(), buckets_.largest() / 2)) return;
  } catch (const std::bad_alloc&) {
    return;
  }
  buckets_ = std::move(planned);
  replan_from_ = count_ + count_ / 2;
}

void WordSet::Sort() {
  if (is_sorted_) return;
  is_sorted_ = true;
  if (mode_ == Mode::kHashing) {
    hashed_.Sort(workers_);
  } else if (mode_ == Mode::kAppending) {
    // The limit kept room for one bucket's entries; buckets are sorted
    // ahead on the helpers only in what room is left beside that.
    const std::size_t per_slot = 2 * buckets_.largest();
    bucket_slots_ = 1;
    if (workers_ != nullptr && workers_->threads() > 1 && per_slot != 0) {
      const std::size_t used = AddBytes(MemoryUsed(), per_slot * sizeof(SortEntry));
      const std::size_t spare = used < limit_ ? (limit_ - used) / (per_slot * sizeof(SortEntry)) : 0;
      bucket_slots_ += std::min<std::size_t>(spare, 2 * std::size_t{workers_->threads()});
    }
    bucket_entries_.reset(new SortEntry[per_slot * bucket_slots_]);
    bucket_entries_size_ = per_slot * bucket_slots_;
  }
}

void WordSet::Clear() {
  ordered_.Clear();
  hashed_.Clear();
  buckets_.Clear();
  bucket_entries_.reset();
  bucket_entries_size_ = 0;
  bucket_slots_ = 1;
  count_ = 0;
  words_allowed_ = 0;
  replan_from_ = 0;
  mode_ = Mode::kInOrder;
  is_sorted_ = false;
}

}  // namespace lexset
