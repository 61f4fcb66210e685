//===- WordSet.cpp - The distinct words of a word list -------------------===//
#include "core/WordSet.h"

#include <new>

#include "core/WordHash.h"

namespace lexset {
namespace {

constexpr std::size_t kMinCapacity = 1024;
constexpr unsigned kMaxSlotBits = sizeof(std::size_t) == 4 ? 28 : 31;

std::uint32_t TagOf(std::string_view word) {
  return static_cast<std::uint32_t>(HashWord(word) >> 32) | 1u;
}

}  // namespace

WordSet::WordSet() = default;
WordSet::~WordSet() = default;

std::size_t WordSet::MemoryUsed() const {
  return arena_.BytesReserved() + capacity_ * sizeof(WordEntry);
}

void WordSet::Insert(std::string_view word) {
  if (!hashing_) {
    if (count_ != 0) {
      const int order = word.compare(arena_.WordAt(last_));
      if (order == 0) return;
      if (order < 0) {
        StartHashing();
        Insert(word);
        return;
      }
    }
    last_ = arena_.Append(word);
    ++count_;
    return;
  }

  const std::uint32_t tag = TagOf(word);
  const std::size_t mask = capacity_ - 1;
  std::size_t slot = tag >> shift_;
  for (;;) {
    const WordEntry& entry = entries_[slot];
    if (entry.key == 0) break;
    if (entry.key == tag && arena_.WordAt(entry.pos) == word) return;
    slot = (slot + 1) & mask;
  }
  if (count_ >= max_count_) {
    Grow();
    slot = FreeSlot(tag);
  }
  entries_[slot] = WordEntry{tag, arena_.Append(word)};
  ++count_;
}

std::size_t WordSet::FreeSlot(std::uint32_t tag) const {
  const std::size_t mask = capacity_ - 1;
  std::size_t slot = tag >> shift_;
  while (entries_[slot].key != 0) slot = (slot + 1) & mask;
  return slot;
}

// Moves every slot into a table twice the size; the slot of a tag comes from
// its high bits, so no word needs hashing again.
void WordSet::Grow() {
  const unsigned bits = 32 - shift_ + 1;
  if (bits > kMaxSlotBits) throw std::bad_alloc();
  const std::size_t capacity = std::size_t{1} << bits;
  std::unique_ptr<WordEntry[]> old(new WordEntry[capacity]());
  old.swap(entries_);
  const std::size_t old_capacity = capacity_;
  capacity_ = capacity;
  shift_ = 32 - bits;
  max_count_ = capacity - capacity / 4;
  for (std::size_t i = 0; i < old_capacity; ++i) {
    if (old[i].key != 0) entries_[FreeSlot(old[i].key)] = old[i];
  }
}

// Builds the hash table over the words stored so far, all in order.
void WordSet::StartHashing() {
  std::size_t capacity = kMinCapacity;
  unsigned bits = 10;
  while (capacity - capacity / 4 <= count_) {
    capacity *= 2;
    ++bits;
  }
  if (bits > kMaxSlotBits) throw std::bad_alloc();
  entries_.reset(new WordEntry[capacity]());
  capacity_ = capacity;
  shift_ = 32 - bits;
  max_count_ = capacity - capacity / 4;
  arena_.ForEach([this](WordArena::Pos pos, std::string_view word) {
    const std::uint32_t tag = TagOf(word);
    entries_[FreeSlot(tag)] = WordEntry{tag, pos};
  });
  hashing_ = true;
}

void WordSet::Sort() {
  if (sorted_ || !hashing_) {
    sorted_ = true;
    return;
  }
  // Reuse the table as the array to sort. The arena is walked in storage
  // order, which reads memory sequentially.
  std::size_t n = 0;
  arena_.ForEach([&](WordArena::Pos pos, std::string_view word) {
    entries_[n++] = WordEntry{KeyAt(word, 0), pos};
  });
  SortWordEntries(entries_.get(), n, arena_);
  sorted_ = true;
}

void WordSet::Clear() {
  arena_.Clear();
  entries_.reset();
  count_ = 0;
  hashing_ = false;
  sorted_ = false;
  last_ = 0;
  capacity_ = 0;
  shift_ = 32;
  max_count_ = 0;
}

}  // namespace lexset
