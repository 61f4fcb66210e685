//===- WordBuckets.cpp - Words kept apart by their first bytes ------------===//
#include "core/WordBuckets.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/SystemMemory.h"
#include "core/WordCompare.h"

namespace lexset {
// Finds a bucket's words for the sort.
class WordBuckets::BucketLookup final : public WordLookup {
 public:
  explicit BucketLookup(const Bucket& bucket) : bucket_(bucket) {}
  std::string_view WordAt(std::uint32_t pos) const override { return WordBuckets::WordAt(bucket_, pos); }

 private:
  const Bucket& bucket_;
};

WordBuckets::WordBuckets(std::size_t memory_limit) {
  bucket_count_ = 1;
  while (bucket_count_ < kMaxBuckets && bucket_count_ * 2 * 8192 <= memory_limit) bucket_count_ *= 2;
  prefix_shift_ = bucket_count_ == 1 ? 16 : bucket_count_ <= 256 ? 8 : 0;
  first_slab_size_ = std::clamp<std::size_t>(memory_limit / 32, kFirstChunkSize, std::size_t{1} << 20);
  next_slab_size_ = first_slab_size_;
}
WordBuckets::~WordBuckets() = default;

// The words so far may not show the range of those to come: a list almost
// in order has begun only the first prefixes, lists dealt into one file
// only the first stretch of each. So the buckets are planned from the
// counts seen plus half as many again spread evenly over the prefixes that
// may come: a first byte between the lowest and highest seen (the few
// words out of order of a list almost in order show the range, though not
// every byte in it), and a second byte seen after any first. Planned
// buckets then hold at most twice the average of the words seen, and the
// words to come spread over a third of the buckets at least.
std::size_t WordBuckets::Plan(const std::uint32_t* prefix_counts) {
  std::unique_ptr<std::uint16_t[]> bucket_of(new std::uint16_t[prefixes()]);
  const std::size_t largest = PlanInto(prefix_counts, bucket_of.get());
  bucket_of_ = std::move(bucket_of);
  Reserve(PlanBytes());
  return largest;
}

std::size_t WordBuckets::PlanInto(const std::uint32_t* prefix_counts, std::uint16_t* bucket_of) const {
  const unsigned second_bits = prefix_shift_ == 0 ? 8 : 0;
  const std::size_t second_mask = (std::size_t{1} << second_bits) - 1;
  std::size_t lowest_first = prefixes();
  std::size_t highest_first = 0;
  bool second_seen[256] = {};
  std::uint64_t total = 0;
  for (std::size_t p = 0; p < prefixes(); ++p) {
    if (prefix_counts[p] == 0) continue;
    total += prefix_counts[p];
    lowest_first = std::min(lowest_first, p >> second_bits);
    highest_first = p >> second_bits;
    second_seen[p & second_mask] = true;
  }
  // A list may move through the range as it goes, as lists in order dealt
  // into one do: the first bytes still to come may then lie beyond those
  // seen, up to the bytes seen second (but for the zero of one-byte words).
  if (second_bits != 0) {
    for (std::size_t b = 1; b < 256; ++b) {
      if (!second_seen[b]) continue;
      lowest_first = std::min(lowest_first, b);
      highest_first = std::max(highest_first, b);
    }
  }
  const auto may_come = [&](std::size_t p) {
    return (p >> second_bits) >= lowest_first && (p >> second_bits) <= highest_first && second_seen[p & second_mask];
  };
  std::uint64_t spread_over = 0;
  for (std::size_t p = 0; p < prefixes(); ++p) spread_over += may_come(p);
  // Weights in whole numbers: a count weighs 2 * spread_over, and the
  // `total` spread weighs total / 2 in counts.
  const std::uint64_t share = std::max<std::uint64_t>(1, 3 * spread_over * total / bucket_count_);
  // A bucket closes once it holds its share; one prefix is never split.
  std::size_t bucket = 0;
  std::uint64_t weight = 0;
  std::size_t in_bucket = 0;
  std::size_t largest = 0;
  for (std::size_t p = 0; p < prefixes(); ++p) {
    if (weight >= share && bucket + 1 < bucket_count_) {
      ++bucket;
      weight = 0;
      in_bucket = 0;
    }
    bucket_of[p] = static_cast<std::uint16_t>(bucket);
    weight += 2 * spread_over * prefix_counts[p] + (may_come(p) ? total : 0);
    in_bucket += prefix_counts[p];
    largest = std::max(largest, in_bucket);
  }
  return largest;
}

// Chunks double as the bucket fills, so that tens of thousands of small
// buckets waste little; a record larger than the largest chunk gets one of
// its own size.
std::size_t WordBuckets::NextChunkSize(const Bucket& bucket, const Tail& tail, std::size_t record_size) {
  std::size_t size = kFirstChunkSize;
  (void)tail;
  if (!bucket.chunks.empty()) size = std::min(kMaxChunkSize, std::size_t{bucket.chunks.back().size} * 2);
  return std::max(size, record_size);
}

std::size_t WordBuckets::SlabGrowthFor(std::size_t chunk_size) const {
  if (chunk_size > kMaxChunkSize) return chunk_size + ListGrowthFor(slabs_);
  if (static_cast<std::size_t>(slab_limit_ - slab_cursor_) >= chunk_size) return 0;
  return std::max(next_slab_size_, chunk_size) + ListGrowthFor(slabs_);
}

std::size_t WordBuckets::GrowthFor(std::string_view word) const {
  const std::size_t record_size = RecordSize(word.size());
  if (!tails_) {
    return bucket_count_ * (sizeof(Bucket) + sizeof(Tail)) + (bucket_of_ ? 0 : PlanBytes()) +
           SlabGrowthFor(std::max(kFirstChunkSize, record_size)) + sizeof(Chunk);
  }
  const std::size_t b = bucket_of_[PrefixOf(word)];
  if (static_cast<std::size_t>(tails_[b].limit - tails_[b].cursor) >= record_size) return 0;
  // The chunk list may have to grow too.
  const std::size_t chunk_growth =
      HasFree(record_size) ? 0 : SlabGrowthFor(NextChunkSize(buckets_[b], tails_[b], record_size));
  return chunk_growth + ListGrowthFor(buckets_[b].chunks);
}

char* WordBuckets::TakeChunk(std::size_t size) {
  if (size > kMaxChunkSize) {
    MakeRoomInList(slabs_);
    slabs_.emplace_back(new char[size]);
    Reserve(size);
    return slabs_.back().get();
  }
  if (static_cast<std::size_t>(slab_limit_ - slab_cursor_) < size) {
    MakeRoomInList(slabs_);
    // A first slab smaller than the largest chunk makes way for one.
    const std::size_t slab_size = std::max(next_slab_size_, size);
    std::unique_ptr<char[]> slab(new char[slab_size]);
    // Sorting a bucket reads its words in any order.
    PreferLargePages(slab.get(), slab_size);
    slab_cursor_ = slab.get();
    slab_limit_ = slab.get() + slab_size;
    slabs_.push_back(std::move(slab));
    next_slab_size_ = std::min(kLargeBlockSize, slab_size * 2);
    Reserve(slab_size);
  }
  char* chunk = slab_cursor_;
  slab_cursor_ += size;
  return chunk;
}

void WordBuckets::Append(std::string_view word) {
  // A chunk's bytes and a sort entry's size are 32-bit, and a record's
  // length takes at most five bytes below 4 GiB.
  if (word.size() > UINT32_MAX - 5) throw std::bad_alloc();
  if (!tails_) {
    if (!bucket_of_) {
      std::unique_ptr<std::uint16_t[]> bucket_of(new std::uint16_t[prefixes()]);
      for (std::size_t p = 0; p < prefixes(); ++p) {
        bucket_of[p] = static_cast<std::uint16_t>(p * bucket_count_ / prefixes());
      }
      bucket_of_ = std::move(bucket_of);
      Reserve(PlanBytes());
    }
    std::unique_ptr<Bucket[]> buckets(new Bucket[bucket_count_]);
    tails_.reset(new Tail[bucket_count_]);
    buckets_ = std::move(buckets);
    Reserve(bucket_count_ * (sizeof(Bucket) + sizeof(Tail)));
  }
  const std::size_t record_size = RecordSize(word.size());
  const std::size_t b = bucket_of_[PrefixOf(word)];
  Tail& tail = tails_[b];
  if (static_cast<std::size_t>(tail.limit - tail.cursor) < record_size) {
    if (tail.count >= UINT32_MAX) throw std::bad_alloc();
    StartChunk(b, NextChunkSize(buckets_[b], tail, record_size), record_size);
  }
  PutRecord(b, word, record_size);
}

void WordBuckets::StartChunk(std::size_t b, std::size_t size, std::size_t least) {
  Bucket& bucket = buckets_[b];
  Tail& tail = tails_[b];
  if (bucket.chunks.size() >= kMaxChunks) throw std::bad_alloc();
  MakeRoomInList(bucket.chunks);
  Chunk chunk = TakeFree(size, least);
  if (chunk.data == nullptr) chunk = Chunk{TakeChunk(size), 0, static_cast<std::uint32_t>(size)};
  if (!bucket.chunks.empty())
    bucket.chunks.back().used = static_cast<std::uint32_t>(tail.cursor - bucket.chunks.back().data);
  bucket.chunks.push_back(chunk);
  tail.cursor = chunk.data;
  tail.limit = chunk.data + chunk.size;
}

void WordBuckets::PutRecord(std::size_t b, std::string_view word, std::size_t record_size) {
  Tail& tail = tails_[b];
  WriteRecord(tail.cursor, word);
  tail.cursor += record_size;
  largest_ = std::max(largest_, ++tail.count);
}

// A free chunk begins with the next in its list and its size.
std::size_t WordBuckets::FreeClassOf(std::size_t size) {
  std::size_t k = 0;
  while (k + 1 < kFreeClasses && size >= (kMinFreeChunk << (k + 1))) ++k;
  return k;
}

std::size_t WordBuckets::FreeSize(const char* chunk) {
  std::size_t size;
  std::memcpy(&size, chunk + sizeof(char*), sizeof size);
  return size;
}

void WordBuckets::KeepFree(char* data, std::size_t size) {
  // Too small to link, and to hold more than a short word.
  if (size < kMinFreeChunk) return;
  char*& head = free_[FreeClassOf(size)];
  std::memcpy(data, &head, sizeof(char*));
  std::memcpy(data + sizeof(char*), &size, sizeof size);
  head = data;
  if (size >= kMinMoveChunk) free_bytes_ += size;
}

bool WordBuckets::HasFree(std::size_t least) const {
  for (const char* head : free_) {
    if (head != nullptr && FreeSize(head) >= least) return true;
  }
  return false;
}

// Only the first chunk of each list is looked at: those of the classes
// above that of `size` are large enough, and below it one large enough for
// `least` will do. HasFree looks at the same chunks.
WordBuckets::Chunk WordBuckets::TakeFree(std::size_t size, std::size_t least) {
  const std::size_t wanted = FreeClassOf(size);
  std::size_t k = kFreeClasses;
  for (std::size_t c = wanted; c < kFreeClasses && k == kFreeClasses; ++c) {
    if (free_[c] != nullptr && FreeSize(free_[c]) >= size) k = c;
  }
  for (std::size_t c = wanted + 1; c-- > 0 && k == kFreeClasses;) {
    if (free_[c] != nullptr && FreeSize(free_[c]) >= least) k = c;
  }
  if (k == kFreeClasses) return Chunk{nullptr, 0, 0};
  char* data = free_[k];
  const std::size_t free_size = FreeSize(data);
  std::memcpy(&free_[k], data, sizeof(char*));
  if (free_size >= kMinMoveChunk) free_bytes_ -= free_size;
  const std::size_t taken = std::min(size, free_size);
  KeepFree(data + taken, free_size - taken);
  return Chunk{data, 0, static_cast<std::uint32_t>(taken)};
}

std::string_view WordBuckets::WordAt(const Bucket& bucket, std::uint32_t pos) {
  return ReadRecord(bucket.chunks[pos >> kOffsetBits].data + (pos & (kMaxChunkSize - 1)));
}

std::size_t WordBuckets::UsedIn(std::size_t b, std::size_t c) const {
  const Bucket& bucket = buckets_[b];
  if (c + 1 < bucket.chunks.size()) return bucket.chunks[c].used;
  return static_cast<std::size_t>(tails_[b].cursor - bucket.chunks[c].data);
}

void WordBuckets::Clear() {
  buckets_.reset();
  tails_.reset();
  bucket_of_.reset();
  slabs_.clear();
  slabs_.shrink_to_fit();
  slab_cursor_ = slab_limit_ = nullptr;
  next_slab_size_ = first_slab_size_;
  for (char*& head : free_) head = nullptr;
  free_bytes_ = 0;
  reserved_ = 0;
  peak_reserved_ = 0;
  largest_ = 0;
}

std::size_t WordBuckets::SortBucket(std::size_t b, SortEntry* entries) const {
  std::size_t n = 0;
  ForEachIn(b, [&](std::size_t c, std::size_t offset, std::string_view word) {
    entries[n++] =
        SortEntry{LeadingBytes(word.data(), word.size()), static_cast<std::uint32_t>((c << kOffsetBits) | offset),
                  static_cast<std::uint32_t>(word.size())};
  });
  SortCachedEntries(entries, entries + largest_, n, BucketLookup(buckets_[b]));
  return n;
}

// Buckets sorted ahead: the `k`th bucket that holds words goes to slot
// k % slots, once the reader has left the bucket that slot held.
struct WordBuckets::Cursor::Ahead {
  struct Slot {
    explicit Slot(Workers* workers) : sorting(workers) {}
    TaskGroup sorting;
    std::size_t count = 0;
  };
  std::vector<std::size_t> filled;  // the buckets that hold words, in order
  std::vector<std::unique_ptr<Slot>> slots;
  std::size_t next = 0;  // of `filled`, the next to read
  bool started = false;
};

WordBuckets::Cursor::Cursor(const WordBuckets& buckets, SortEntry* entries, Workers* workers, std::size_t slots)
    : buckets_(buckets), entries_(entries) {
  if (workers == nullptr || workers->threads() < 2 || slots < 2) return;
  ahead_ = std::make_unique<Ahead>();
  for (std::size_t s = 0; s < slots; ++s) ahead_->slots.push_back(std::make_unique<Ahead::Slot>(workers));
}

// The slots' tasks end before the entries they write can go.
WordBuckets::Cursor::~Cursor() = default;

void WordBuckets::Cursor::SortAhead(std::size_t k) {
  if (k >= ahead_->filled.size()) return;
  const std::size_t s = k % ahead_->slots.size();
  Ahead::Slot& slot = *ahead_->slots[s];
  SortEntry* entries = entries_ + s * 2 * buckets_.largest_;
  const std::size_t b = ahead_->filled[k];
  const WordBuckets& buckets = buckets_;
  slot.sorting.Run([&buckets, &slot, entries, b] { slot.count = buckets.SortBucket(b, entries); });
}

bool WordBuckets::Cursor::SortNextBucket() {
  if (!buckets_.tails_) return false;
  if (ahead_) {
    if (!ahead_->started) {
      ahead_->started = true;
      for (std::size_t b = 0; b < buckets_.bucket_count_; ++b) {
        if (buckets_.tails_[b].count != 0) ahead_->filled.push_back(b);
      }
      for (std::size_t k = 0; k + 1 < ahead_->slots.size(); ++k) SortAhead(k);
    }
    const std::size_t k = ahead_->next;
    if (k == ahead_->filled.size()) return false;
    ++ahead_->next;
    // The slot read before this one is free again.
    SortAhead(k + ahead_->slots.size() - 1);
    const std::size_t s = k % ahead_->slots.size();
    ahead_->slots[s]->sorting.Wait();
    current_ = &buckets_.buckets_[ahead_->filled[k]];
    current_entries_ = entries_ + s * 2 * buckets_.largest_;
    next_ = 0;
    count_ = ahead_->slots[s]->count;
    return true;
  }
  while (bucket_ < buckets_.bucket_count_ && buckets_.tails_[bucket_].count == 0) ++bucket_;
  if (bucket_ == buckets_.bucket_count_) return false;
  const std::size_t b = bucket_++;
  current_ = &buckets_.buckets_[b];
  current_entries_ = entries_;
  next_ = 0;
  count_ = buckets_.SortBucket(b, entries_);
  return true;
}

bool WordBuckets::Cursor::Next() {
  constexpr std::size_t kAhead = 8;
  for (;;) {
    if (next_ == count_ && !SortNextBucket()) return false;
    if (next_ + kAhead < count_) {
      const std::uint32_t pos = current_entries_[next_ + kAhead].pos;
      Prefetch(current_->chunks[pos >> kOffsetBits].data + (pos & (kMaxChunkSize - 1)));
    }
    const std::string_view word = WordAt(*current_, current_entries_[next_++].pos);
    // Repeats lie side by side now; keep the first.
    if (has_word_ && SameWord(word, word_)) continue;
    word_ = word;
    has_word_ = true;
    return true;
  }
}

}  // namespace lexset
