//===- HashedWords.cpp - Distinct words kept by an open-addressing table -===//
#include "core/HashedWords.h"

#include <algorithm>
#include <limits>
#include <new>

#include "core/MemorySums.h"
#include "core/SystemMemory.h"
#include "core/WordHash.h"

namespace lexset {
namespace {

constexpr unsigned kMinSlotBits = 6;
constexpr unsigned kMaxSlotBits = sizeof(std::size_t) == 4 ? 27 : 31;
constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

std::uint32_t TagOf(std::string_view word) { return static_cast<std::uint32_t>(HashWord(word) >> 32) | 1u; }

}  // namespace

HashedWords::HashedWords(std::size_t first_block_size, std::size_t limit, std::size_t give_up_from)
    : arena_(first_block_size), limit_(limit), give_up_from_(give_up_from) {}
HashedWords::~HashedWords() = default;

std::size_t HashedWords::MemoryUsed() const {
  return arena_.BytesReserved() + capacity_ * sizeof(Slot) + (sorted_ ? count_ * sizeof(SortEntry) : 0);
}

// What the store will need at its peak: the arena, and the larger of the
// table and the array the words are sorted in, which replaces it. Any single
// word fits an empty store.
void HashedWords::CheckRoomExactly(std::size_t size) {
  words_allowed_ = 0;
  if (count_ == 0 || limit_ == kNoLimit) return;
  const std::size_t arena = AddBytes(arena_.BytesReserved(), arena_.GrowthFor(size));
  if (arena > limit_) throw std::bad_alloc();
  const std::size_t room = limit_ - arena;
  if (capacity_ * sizeof(Slot) > room || (count_ + 1) * sizeof(SortEntry) > room) throw std::bad_alloc();
  // Until the arena needs a block or the table grows, this many words fit.
  words_allowed_ = room / sizeof(SortEntry);
}

std::size_t HashedWords::InsertMany(const std::string_view* words, std::size_t count) {
  std::size_t done = 0;  // words before this one are stored
  std::size_t at = 0;    // the word being inserted
  try {
    while (done < count) {
      const std::size_t batch = std::min(count - done, kBatch);
      std::uint32_t tags[kBatch];
      if (!recent_.Worthwhile(batch)) {
        // Hash the batch first and ask for the slots of all its words, so
        // that the cache misses overlap instead of coming one by one.
        for (std::size_t i = 0; i < batch; ++i) {
          tags[i] = TagOf(words[done + i]);
          Prefetch(&slots_[tags[i] >> shift_]);
        }
        for (std::size_t i = 0; i < batch; ++i) {
          at = done + i;
          if (!Insert(words[at], tags[i])) return at;
        }
        done += batch;
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
      for (std::size_t m = 0; m < misses; ++m) {
        const std::size_t i = missed[m];
        at = done + i;
        // Words of the batch before it are stored or were found.
        if (!Insert(words[at], tags[i])) return at;
        if (keys[i].size != 0) recent_.Add(keys[i]);
      }
      done += batch;
    }
  } catch (const std::bad_alloc&) {
    return at;
  }
  return done;
}

bool HashedWords::Insert(std::string_view word, std::uint32_t tag) {
  ++lookups_;
  const std::size_t mask = capacity_ - 1;
  std::size_t slot = tag >> shift_;
  for (;;) {
    const Slot& s = slots_[slot];
    if (s.tag == 0) break;
    if (s.tag == tag && SameWord(arena_.WordAt(s.pos), word)) return true;
    slot = (slot + 1) & mask;
  }
  if (count_ >= max_count_) {
    if (!Grow()) return false;
    slot = FreeSlot(tag);
  }
  CheckRoomFor(word.size());
  slots_[slot] = Slot{tag, arena_.Append(word)};
  ++count_;
  ++added_;
  return true;
}

std::size_t HashedWords::FreeSlot(std::uint32_t tag) const {
  const std::size_t mask = capacity_ - 1;
  std::size_t slot = tag >> shift_;
  while (slots_[slot].tag != 0) slot = (slot + 1) & mask;
  return slot;
}

// Moves every slot into a table twice the size; the slot of a tag comes from
// its high bits, so no word needs hashing again. But a large table in which
// nearly every lookup found a new word is given up instead.
bool HashedWords::Grow() {
  if (capacity_ >= give_up_from_ && added_ > lookups_ - lookups_ / 10) {
    gave_up_ = true;
    return false;
  }
  const unsigned bits = 32 - shift_ + 1;
  if (bits > kMaxSlotBits) throw std::bad_alloc();
  const std::size_t capacity = std::size_t{1} << bits;
  // Both tables exist while the slots move.
  if (limit_ != kNoLimit && AddBytes(arena_.BytesReserved(), (capacity_ + capacity) * sizeof(Slot)) > limit_) {
    throw std::bad_alloc();
  }
  std::unique_ptr<Slot[]> fresh = EmptySlots(capacity);
  std::unique_ptr<Slot[]> old = std::move(slots_);
  const std::size_t old_capacity = capacity_;
  UseSlots(std::move(fresh), bits);
  for (std::size_t i = 0; i < old_capacity; ++i) {
    if (old[i].tag != 0) slots_[FreeSlot(old[i].tag)] = old[i];
  }
  return true;
}

void HashedWords::UseSlots(std::unique_ptr<Slot[]> slots, unsigned bits) {
  slots_ = std::move(slots);
  capacity_ = std::size_t{1} << bits;
  shift_ = 32 - bits;
  max_count_ = capacity_ - capacity_ / 4;
  words_allowed_ = 0;
  lookups_ = 0;
  added_ = 0;
}

// Lookups land anywhere in the table, so it is worth large pages.
std::unique_ptr<HashedWords::Slot[]> HashedWords::EmptySlots(std::size_t capacity) {
  std::unique_ptr<Slot[]> slots(new Slot[capacity]);
  PreferLargePages(slots.get(), capacity * sizeof(Slot));
  std::fill_n(slots.get(), capacity, Slot{0, 0});
  return slots;
}

void HashedWords::Reserve(std::size_t count, std::size_t also_held) {
  unsigned bits = kMinSlotBits;
  while ((std::size_t{1} << bits) - (std::size_t{1} << bits) / 4 <= count) ++bits;
  if (bits > kMaxSlotBits) throw std::bad_alloc();
  const std::size_t capacity = std::size_t{1} << bits;
  if (limit_ != kNoLimit && AddBytes(also_held, capacity * sizeof(Slot) + count * sizeof(SortEntry)) > limit_) {
    throw std::bad_alloc();
  }
  UseSlots(EmptySlots(capacity), bits);
}

void HashedWords::AddNew(std::string_view word) {
  const std::uint32_t tag = TagOf(word);
  const std::size_t slot = FreeSlot(tag);
  slots_[slot] = Slot{tag, arena_.Append(word)};
  ++count_;
}

void HashedWords::Sort(Workers* workers) {
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
  // The parts are independent: with helpers, they are sorted side by side.
  TaskGroup parts(workers);
  for (std::size_t b = 0; b < 256; ++b) {
    const std::size_t n = bounds[b + 1] - bounds[b];
    SortEntry* part = &sorted_[bounds[b]];
    if (n > 1) parts.Run([part, n, &words] { SortEntries(part, n, words, 1); });
  }
  parts.Wait();
}

void HashedWords::Clear() {
  arena_.Clear();
  slots_.reset();
  sorted_.reset();
  count_ = 0;
  words_allowed_ = 0;
  gave_up_ = false;
  capacity_ = 0;
  shift_ = 32;
  max_count_ = 0;
  lookups_ = 0;
  added_ = 0;
  recent_.Clear();
}

}  // namespace lexset
