//===- WordBuckets.h - Words kept apart by their first bytes --------------===//
//
// The store of a list in which nearly every word is new (the word set's
// appending mode, chosen once hashing stops paying). Each word is appended
// to one of 4096 buckets by its first two bytes (fewer under a small memory
// limit), and the buckets are sorted one at a time as they are read out, in
// order. A bucket's entries fit in the cache and its words lie close
// together, so the sort is not bound by cache and TLB misses, and only the
// largest bucket's entries are ever held rather than an entry for every
// word.
//
// Which prefixes share a bucket is planned from the words seen so far, so
// that buckets come out about the same size whatever the alphabet: a run
// of consecutive prefixes per bucket, which keeps the buckets in order.
// Should the words come to begin otherwise, the word set plans new buckets
// from all the words and moves them there (core/WordSet.h).
//
// A bucket holds its words as records (core/WordRecord.h) in chunks that
// grow from 256 bytes to 16 KiB, carved out of large slabs.
// Repeats are stored like any word; after the sort they lie side by side.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/WordRecord.h"
#include "core/WordSort.h"
#include "core/Workers.h"

namespace lexset {

class WordBuckets {
  struct Bucket;

 public:
  // Under a memory limit of 32 MiB or more (the usual case): 4096 buckets by
  // the first two bytes, few enough for what appending touches (a tail per
  // bucket and the cache line it writes) to stay in the cache, many enough
  // for a bucket to be sorted in the cache. Under a smaller one the fixed
  // tables shrink with the limit, so that a set that spills often still
  // reaches the buckets: about a bucket per 8 KiB of it, by the first byte
  // (256 buckets or fewer) or by none (one bucket), and a first slab of a
  // 32nd of it.
  explicit WordBuckets(std::size_t memory_limit);
  ~WordBuckets();
  WordBuckets(WordBuckets&&) = default;
  WordBuckets& operator=(WordBuckets&&) = default;

  // How many prefixes there are, and a word's: its first two bytes, its
  // first or none. A one-byte word counts as going on with a zero byte; it
  // sorts before the words that do all the same.
  std::size_t prefixes() const { return std::size_t{0x10000} >> prefix_shift_; }
  std::size_t PrefixOf(std::string_view word) const {
    const auto* p = reinterpret_cast<const unsigned char*>(word.data());
    return ((std::size_t{p[0]} << 8) | (word.size() > 1 ? p[1] : 0u)) >> prefix_shift_;
  }

  std::size_t bucket_count() const { return bucket_count_; }

  // Plans the buckets from how many words have each prefix (prefixes()
  // counts); only before the first Append. Unplanned, each bucket takes as
  // many prefixes as the next. Returns the count of the largest bucket.
  std::size_t Plan(const std::uint32_t* prefix_counts);
  // Bytes Plan takes from the heap.
  std::size_t PlanBytes() const { return prefixes() * sizeof(std::uint16_t); }

  // Stores a copy of `word` (non-empty). Throws std::bad_alloc when memory
  // runs out, the word or its bucket passes 4 GiB; nothing is stored then.
  void Append(std::string_view word);

  // Stores `word` (non-empty) if that takes no more memory and leaves its
  // bucket no larger than `max_count` words; otherwise returns false. The
  // common case, kept short: most words fit the chunk their bucket fills.
  bool TryAppend(std::string_view word, std::size_t max_count) {
    if (!tails_ || word.size() >= 0x80) return false;
    Tail& tail = tails_[bucket_of_[PrefixOf(word)]];
    if (static_cast<std::size_t>(tail.limit - tail.cursor) <= word.size() || tail.count >= max_count) return false;
    WriteRecord(tail.cursor, word);
    tail.cursor += word.size() + 1;
    if (++tail.count > largest_) largest_ = tail.count;
    return true;
  }
  // Bytes the next Append(word) would take from the heap beyond what is
  // reserved now.
  std::size_t GrowthFor(std::string_view word) const;
  // Bytes taken from the heap, bookkeeping included.
  std::size_t BytesReserved() const { return reserved_; }
  // Words in the largest bucket: sorting needs two entries for each word of
  // one bucket at a time.
  std::size_t largest() const { return largest_; }

  // Calls visit(word) for every word, repeats included, bucket by bucket.
  template <class Visit>
  void ForEach(Visit&& visit) const {
    for (std::size_t b = 0; tails_ && b < bucket_count_; ++b) {
      ForEachIn(b, [&visit](std::size_t, std::size_t, std::string_view word) { visit(word); });
    }
  }

  // Frees everything.
  void Clear();

  // The words in ascending byte order, repeats included, one at a time.
  // `entries` must have room for twice largest() entries for each of
  // `slots` buckets: a bucket's, and as many for the sort to move them to.
  // With workers and more than one slot, the buckets after the one being
  // read are sorted ahead on the helpers, one per spare slot.
  class Cursor {
   public:
    Cursor(const WordBuckets& buckets, SortEntry* entries, Workers* workers = nullptr, std::size_t slots = 1);
    ~Cursor();
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;
    // Moves to the next word; false after the last. Throws std::bad_alloc
    // if a sort on a helper could not have the little memory it needs.
    bool Next();
    std::string_view word() const { return word_; }

   private:
    struct Ahead;
    // Sorts the next bucket that holds words into the entries.
    bool SortNextBucket();
    // Sorts the `k`th bucket that holds words ahead, into its slot.
    void SortAhead(std::size_t k);
    const WordBuckets& buckets_;
    SortEntry* entries_;
    const SortEntry* current_entries_ = nullptr;
    std::unique_ptr<Ahead> ahead_;  // with workers and spare slots
    std::size_t bucket_ = 0;        // the next bucket to sort
    const Bucket* current_ = nullptr;
    std::size_t next_ = 0;
    std::size_t count_ = 0;
    std::string_view word_;
    bool has_word_ = false;
  };

 private:
  struct Chunk {
    char* data;
    std::uint32_t used;  // bytes; for the last chunk, see the tail
  };
  struct Bucket {
    std::vector<Chunk> chunks;
  };
  // Where a bucket's next word goes: kept apart from the chunk lists, so
  // that what appending touches stays small enough for the cache.
  struct Tail {
    char* cursor = nullptr;
    char* limit = nullptr;
    std::size_t count = 0;  // words in the bucket
  };

  // A position within a bucket: chunk index, then offset.
  static constexpr unsigned kOffsetBits = 14;
  static constexpr std::size_t kMaxChunkSize = std::size_t{1} << kOffsetBits;
  static constexpr std::size_t kFirstChunkSize = 256;
  static constexpr std::size_t kMaxChunks = std::size_t{1} << (32 - kOffsetBits);
  static constexpr std::size_t kMaxBuckets = 4096;

  // The size of the chunk to start for a record of `record_size` bytes.
  static std::size_t NextChunkSize(const Bucket& bucket, const Tail& tail, std::size_t record_size);
  // Carves a chunk out of the slabs (or gives a large record a block of its
  // own); throws std::bad_alloc.
  char* TakeChunk(std::size_t size);
  std::size_t SlabGrowthFor(std::size_t chunk_size) const;
  // Bytes a list takes from the heap to make room for one more element,
  // while its old array still exists; and making that room.
  template <class T>
  static std::size_t ListGrowthFor(const std::vector<T>& list);
  template <class T>
  void MakeRoomInList(std::vector<T>& list);

  class BucketLookup;
  // Puts the entries of bucket `b` into `entries` and sorts them, with
  // as many again as scratch room; returns how many.
  std::size_t SortBucket(std::size_t b, SortEntry* entries) const;
  // The word at `pos`: chunk index, then offset.
  static std::string_view WordAt(const Bucket& bucket, std::uint32_t pos);
  // The bytes of chunk `c` of bucket `b` in use.
  std::size_t UsedIn(std::size_t b, std::size_t c) const;
  // Calls visit(chunk index, offset, word) for every word of bucket `b`.
  template <class Visit>
  void ForEachIn(std::size_t b, Visit&& visit) const {
    const Bucket& bucket = buckets_[b];
    for (std::size_t c = 0; c < bucket.chunks.size(); ++c) {
      const char* chunk = bucket.chunks[c].data;
      const std::size_t used = UsedIn(b, c);
      for (std::size_t offset = 0; offset < used;) {
        const std::string_view word = ReadRecord(chunk + offset);
        visit(c, offset, word);
        offset = static_cast<std::size_t>(word.data() + word.size() - chunk);
      }
    }
  }

  std::unique_ptr<Bucket[]> buckets_;
  std::unique_ptr<Tail[]> tails_;
  std::unique_ptr<std::uint16_t[]> bucket_of_;  // by prefix
  std::size_t bucket_count_;
  unsigned prefix_shift_;  // 0, 8 or 16: the bytes of a prefix are 2 - shift / 8
  std::size_t first_slab_size_;
  std::vector<std::unique_ptr<char[]>> slabs_;
  char* slab_cursor_ = nullptr;
  char* slab_limit_ = nullptr;
  std::size_t next_slab_size_;
  std::size_t reserved_ = 0;
  std::size_t largest_ = 0;
};

}  // namespace lexset
