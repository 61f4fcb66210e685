//===- WordSet.cpp - The distinct words of a word list -------------------===//
#include "core/WordSet.h"

#include <algorithm>
#include <new>
#include <vector>

#include "core/SystemMemory.h"
#include "core/WordHash.h"

namespace lexset {
namespace {

constexpr unsigned kMinSlotBits = 6;
constexpr unsigned kMaxSlotBits = sizeof(std::size_t) == 4 ? 27 : 31;

std::uint32_t TagOf(std::string_view word) { return static_cast<std::uint32_t>(HashWord(word) >> 32) | 1u; }

}  // namespace

// Under a small limit the first arena block is small too, so that a run
// holds more than a word or two.
WordSet::WordSet(std::size_t memory_limit, std::size_t give_up_hashing_from)
    : ordered_(std::min(WordArena::kFirstBlockSize, memory_limit / 8)),
      arena_(std::min(WordArena::kFirstBlockSize, memory_limit / 8)),
      limit_(memory_limit),
      give_up_hashing_from_(give_up_hashing_from) {}
WordSet::~WordSet() = default;

std::size_t WordSet::MemoryUsed() const {
  return ordered_.BytesReserved() + arena_.BytesReserved() + buckets_.BytesReserved() + capacity_ * sizeof(Slot) +
         sorted_size_ * sizeof(SortEntry);
}

// In order, the set needs only the lines; should the order break, moving
// them into the arena is checked on its own.
void WordSet::CheckRoomInOrder(std::size_t size) {
  if (count_ == 0 || limit_ == kNoLimit) return;
  if (ordered_.BytesReserved() + ordered_.GrowthFor(size) > limit_) throw std::bad_alloc();
}

void WordSet::CheckRoomExactly(std::size_t size) {
  words_allowed_ = 0;
  if (count_ == 0 || limit_ == kNoLimit) return;
  // What the set will need at its peak: the arena, and the larger of the
  // table and the array the words are sorted in, which replaces it.
  const std::size_t arena = arena_.BytesReserved() + arena_.GrowthFor(size);
  if (arena > limit_) throw std::bad_alloc();
  const std::size_t room = limit_ - arena;
  if (capacity_ * sizeof(Slot) > room || (count_ + 1) * sizeof(SortEntry) > room) throw std::bad_alloc();
  // Until the arena needs a block or the table grows, this many words fit.
  words_allowed_ = room / sizeof(SortEntry);
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
  std::size_t at = 0;    // the word being inserted
  try {
    while (done < count) {
      if (mode_ != Mode::kHashing) {
        at = done;
        if (mode_ == Mode::kInOrder) {
          InsertInOrder(words[done]);
        } else {
          Append(words[done]);
        }
        ++done;
        continue;
      }
      const std::size_t batch = std::min(count - done, kBatch);
      std::uint32_t tags[kBatch];
      if (!recent_.Worthwhile(batch)) {
        // Hash the batch first and ask for the slots of all its words, so
        // that the cache misses overlap instead of coming one by one.
        for (std::size_t i = 0; i < batch; ++i) {
          tags[i] = TagOf(words[done + i]);
          Prefetch(&slots_[tags[i] >> shift_]);
        }
        std::size_t i = 0;
        for (; i < batch && mode_ == Mode::kHashing; ++i) {
          at = done + i;
          InsertHashed(words[at], tags[i]);
        }
        done += i;
        continue;
      }
      // The same, but words seen lately are settled at once.
      std::size_t misses = 0;
      std::size_t missed[kBatch];
      RecentWords::Key keys[kBatch];
      for (std::size_t i = 0; i < batch; ++i) {
        const std::string_view word = words[done + i];
        keys[i].size = 0;
        if (word.size() <= RecentWords::kMaxSize) {
          keys[i] = RecentWords::KeyOf(word);
          if (recent_.Contains(keys[i])) continue;
        }
        tags[i] = TagOf(word);
        Prefetch(&slots_[tags[i] >> shift_]);
        missed[misses++] = i;
      }
      recent_.CountHits(batch - misses);
      std::size_t m = 0;
      for (; m < misses && mode_ == Mode::kHashing; ++m) {
        const std::size_t i = missed[m];
        at = done + i;
        InsertHashed(words[at], tags[i]);
        if (keys[i].size != 0) recent_.Add(keys[i]);
      }
      // Hashing may have been given up part-way: the rest go round again.
      done += m < misses ? missed[m] : batch;
    }
  } catch (const std::bad_alloc&) {
    return at;
  }
  return done;
}

void WordSet::Insert(std::string_view word) {
  if (InsertMany(&word, 1) != 1) throw std::bad_alloc();
}

void WordSet::InsertInOrder(std::string_view word) {
  if (count_ != 0) {
    const int order = CompareWords(word, ordered_.last());
    if (order == 0) return;
    if (order < 0) {
      StartHashing();
      InsertHashed(word, TagOf(word));
      return;
    }
  }
  if (!ordered_.Fits(word.size())) CheckRoomInOrder(word.size());
  ordered_.Append(word);
  ++count_;
}

void WordSet::InsertHashed(std::string_view word, std::uint32_t tag) {
  ++lookups_;
  const std::size_t mask = capacity_ - 1;
  std::size_t slot = tag >> shift_;
  for (;;) {
    const Slot& s = slots_[slot];
    if (s.tag == 0) break;
    if (s.tag == tag && SameWord(arena_.WordAt(s.pos), word)) return;
    slot = (slot + 1) & mask;
  }
  if (count_ >= max_count_) {
    Grow();
    if (mode_ == Mode::kAppending) {
      Append(word);
      return;
    }
    slot = FreeSlot(tag);
  }
  CheckRoomFor(word.size());
  slots_[slot] = Slot{tag, arena_.Append(word)};
  ++count_;
  ++added_;
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

std::size_t WordSet::FreeSlot(std::uint32_t tag) const {
  const std::size_t mask = capacity_ - 1;
  std::size_t slot = tag >> shift_;
  while (slots_[slot].tag != 0) slot = (slot + 1) & mask;
  return slot;
}

// Moves every slot into a table twice the size; the slot of a tag comes from
// its high bits, so no word needs hashing again. But a large table in which
// nearly every lookup found a new word is given up: the words to come are
// only appended.
void WordSet::Grow() {
  if (capacity_ >= give_up_hashing_from_ && added_ > lookups_ - lookups_ / 10) {
    StartAppending();
    return;
  }
  lookups_ = 0;
  added_ = 0;
  const unsigned bits = 32 - shift_ + 1;
  if (bits > kMaxSlotBits) throw std::bad_alloc();
  const std::size_t capacity = std::size_t{1} << bits;
  // Both tables exist while the slots move.
  if (limit_ != kNoLimit) {
    const std::size_t need = arena_.BytesReserved() + (capacity_ + capacity) * sizeof(Slot);
    if (need > limit_) throw std::bad_alloc();
  }
  std::unique_ptr<Slot[]> old = EmptySlots(capacity);
  old.swap(slots_);
  words_allowed_ = 0;
  const std::size_t old_capacity = capacity_;
  capacity_ = capacity;
  shift_ = 32 - bits;
  max_count_ = capacity - capacity / 4;
  for (std::size_t i = 0; i < old_capacity; ++i) {
    if (old[i].tag != 0) slots_[FreeSlot(old[i].tag)] = old[i];
  }
}

// Lookups land anywhere in the table, so it is worth large pages.
std::unique_ptr<WordSet::Slot[]> WordSet::EmptySlots(std::size_t capacity) {
  std::unique_ptr<Slot[]> slots(new Slot[capacity]);
  PreferLargePages(slots.get(), capacity * sizeof(Slot));
  std::fill_n(slots.get(), capacity, Slot{0, 0});
  return slots;
}

// Moves the words stored so far, all in order, into the arena and builds
// the hash table over them. If the lines and the arena would not fit the
// limit side by side, throws std::bad_alloc: the caller makes room by
// writing the lines out, which are sorted already.
void WordSet::StartHashing() {
  unsigned bits = kMinSlotBits;
  while ((std::size_t{1} << bits) - (std::size_t{1} << bits) / 4 <= count_) ++bits;
  if (bits > kMaxSlotBits) throw std::bad_alloc();
  const std::size_t capacity = std::size_t{1} << bits;
  if (limit_ != kNoLimit) {
    const std::size_t lines = ordered_.BytesReserved();
    if (2 * lines + capacity * sizeof(Slot) + count_ * sizeof(SortEntry) > limit_) throw std::bad_alloc();
  }
  std::unique_ptr<Slot[]> slots = EmptySlots(capacity);
  OrderedText::Cursor cursor(ordered_);
  try {
    for (std::string_view word; cursor.Next(&word);) {
      const WordArena::Pos pos = arena_.Append(word);
      const std::uint32_t tag = TagOf(word);
      std::size_t slot = tag >> (32 - bits);
      while (slots[slot].tag != 0) slot = (slot + 1) & (capacity - 1);
      slots[slot] = Slot{tag, pos};
    }
  } catch (const std::bad_alloc&) {
    arena_.Clear();
    throw;
  }
  ordered_.Clear();
  slots_ = std::move(slots);
  words_allowed_ = 0;
  capacity_ = capacity;
  shift_ = 32 - bits;
  max_count_ = capacity - capacity / 4;
  lookups_ = 0;
  added_ = 0;
  mode_ = Mode::kHashing;
}

// The words move in storage order, so the arena is read sequentially. Both
// hold the words while they move; should that not fit the limit, the set
// stays as it was and throws std::bad_alloc.
void WordSet::StartAppending() {
  const std::size_t held = arena_.BytesReserved() + capacity_ * sizeof(Slot);
  try {
    // The words so far show how the words to come begin.
    std::vector<std::size_t> prefix_counts(WordBuckets::kPrefixes);
    arena_.ForEach([&](WordArena::Pos, std::string_view word) { ++prefix_counts[WordBuckets::PrefixOf(word)]; });
    buckets_.Plan(prefix_counts.data());
    arena_.ForEach([&](WordArena::Pos, std::string_view word) { AppendToBuckets(word, held); });
  } catch (const std::bad_alloc&) {
    buckets_.Clear();
    words_allowed_ = 0;
    throw;
  }
  arena_.Clear();
  slots_.reset();
  capacity_ = 0;
  words_allowed_ = 0;
  recent_.Clear();
  mode_ = Mode::kAppending;
}

void WordSet::Sort() {
  if (is_sorted_ || mode_ == Mode::kInOrder) {
    is_sorted_ = true;
    return;
  }
  if (mode_ == Mode::kAppending) {
    sorted_.reset(new SortEntry[2 * buckets_.largest()]);
    sorted_size_ = 2 * buckets_.largest();
    is_sorted_ = true;
    return;
  }
  // The table is no longer needed; its memory goes to the sort. The arena
  // is walked twice in storage order, which reads memory sequentially: once
  // to count the words by their first byte, once to put each entry straight
  // into the part of the array for its first byte (few enough parts for the
  // writes to stay in the cache). Each part is then sorted on its own.
  slots_.reset();
  capacity_ = 0;
  std::size_t next[257] = {};
  arena_.ForEach([&](WordArena::Pos, std::string_view word) { ++next[static_cast<unsigned char>(word[0]) + 1]; });
  for (std::size_t b = 1; b <= 256; ++b) next[b] += next[b - 1];
  std::size_t bounds[257];
  std::copy(next, next + 257, bounds);

  sorted_.reset(new SortEntry[count_]);
  sorted_size_ = count_;
  PreferLargePages(sorted_.get(), count_ * sizeof(SortEntry));
  arena_.ForEach([&](WordArena::Pos pos, std::string_view word) {
    sorted_[next[static_cast<unsigned char>(word[0])]++] =
        SortEntry{LeadingBytes(word.data(), word.size()), pos, static_cast<std::uint32_t>(word.size())};
  });
  struct ArenaWords final : WordLookup {
    explicit ArenaWords(const WordArena& a) : arena(a) {}
    std::string_view WordAt(std::uint32_t pos) const override { return arena.WordAt(pos); }
    const WordArena& arena;
  } words(arena_);
  for (std::size_t b = 0; b < 256; ++b) {
    const std::size_t n = bounds[b + 1] - bounds[b];
    if (n > 1) SortEntries(&sorted_[bounds[b]], n, words, 1);
  }
  is_sorted_ = true;
}

void WordSet::Clear() {
  ordered_.Clear();
  arena_.Clear();
  buckets_.Clear();
  slots_.reset();
  sorted_.reset();
  sorted_size_ = 0;
  count_ = 0;
  words_allowed_ = 0;
  mode_ = Mode::kInOrder;
  lookups_ = 0;
  added_ = 0;
  recent_.Clear();
  is_sorted_ = false;
  capacity_ = 0;
  shift_ = 32;
  max_count_ = 0;
}

}  // namespace lexset
