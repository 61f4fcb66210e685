//===- WordBuckets.cpp - Words kept apart by their first bytes ------------===//
#include "core/WordBuckets.h"

#include <algorithm>
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

std::size_t WordBuckets::Plan(const std::uint32_t* prefix_counts) {
  std::unique_ptr<std::uint16_t[]> bucket_of(new std::uint16_t[prefixes()]);
  std::size_t total = 0;
  for (std::size_t p = 0; p < prefixes(); ++p) total += prefix_counts[p];
  const std::size_t share = std::max<std::size_t>(1, total / bucket_count_);
  // A bucket closes once it holds its share; one prefix is never split.
  std::size_t bucket = 0;
  std::size_t in_bucket = 0;
  std::size_t largest = 0;
  for (std::size_t p = 0; p < prefixes(); ++p) {
    if (in_bucket >= share && bucket + 1 < bucket_count_) {
      ++bucket;
      in_bucket = 0;
    }
    bucket_of[p] = static_cast<std::uint16_t>(bucket);
    in_bucket += prefix_counts[p];
    largest = std::max(largest, in_bucket);
  }
  bucket_of_ = std::move(bucket_of);
  reserved_ += PlanBytes();
  return largest;
}

// Chunks double as the bucket fills, so that tens of thousands of small
// buckets waste little; a record larger than the largest chunk gets one of
// its own size.
std::size_t WordBuckets::NextChunkSize(const Bucket& bucket, const Tail& tail, std::size_t record_size) {
  std::size_t size = kFirstChunkSize;
  if (!bucket.chunks.empty()) {
    const auto last = static_cast<std::size_t>(tail.limit - bucket.chunks.back().data);
    size = std::min(kMaxChunkSize, last * 2);
  }
  return std::max(size, record_size);
}

// Lists grow by doubling, so that a bucket of a million chunks is not
// copied a million times.
template <class T>
std::size_t WordBuckets::ListGrowthFor(const std::vector<T>& list) {
  return list.size() < list.capacity() ? 0 : std::max<std::size_t>(1, 2 * list.capacity()) * sizeof(T);
}

template <class T>
void WordBuckets::MakeRoomInList(std::vector<T>& list) {
  if (list.size() < list.capacity()) return;
  const std::size_t before = list.capacity();
  list.reserve(std::max<std::size_t>(1, 2 * before));
  reserved_ += (list.capacity() - before) * sizeof(T);
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
  return SlabGrowthFor(NextChunkSize(buckets_[b], tails_[b], record_size)) + ListGrowthFor(buckets_[b].chunks);
}

char* WordBuckets::TakeChunk(std::size_t size) {
  if (size > kMaxChunkSize) {
    MakeRoomInList(slabs_);
    slabs_.emplace_back(new char[size]);
    reserved_ += size;
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
    reserved_ += slab_size;
    slabs_.push_back(std::move(slab));
    next_slab_size_ = std::min(kLargeBlockSize, slab_size * 2);
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
      reserved_ += PlanBytes();
    }
    std::unique_ptr<Bucket[]> buckets(new Bucket[bucket_count_]);
    tails_.reset(new Tail[bucket_count_]);
    buckets_ = std::move(buckets);
    reserved_ += bucket_count_ * (sizeof(Bucket) + sizeof(Tail));
  }
  const std::size_t record_size = RecordSize(word.size());
  const std::size_t b = bucket_of_[PrefixOf(word)];
  Bucket& bucket = buckets_[b];
  Tail& tail = tails_[b];
  if (static_cast<std::size_t>(tail.limit - tail.cursor) < record_size) {
    if (bucket.chunks.size() >= kMaxChunks || tail.count >= UINT32_MAX) throw std::bad_alloc();
    const std::size_t size = NextChunkSize(bucket, tail, record_size);
    MakeRoomInList(bucket.chunks);
    char* data = TakeChunk(size);
    if (!bucket.chunks.empty())
      bucket.chunks.back().used = static_cast<std::uint32_t>(tail.cursor - bucket.chunks.back().data);
    bucket.chunks.push_back(Chunk{data, 0});
    tail.cursor = data;
    tail.limit = data + size;
  }
  WriteRecord(tail.cursor, word);
  tail.cursor += record_size;
  largest_ = std::max(largest_, ++tail.count);
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
  reserved_ = 0;
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
