//===- WordBucketsReplan.cpp - Words moved to buckets planned anew -------===//
//
// Holding the old buckets and the new whole while the words move would take
// twice the memory of the words. The old buckets are read in order instead,
// and each chunk, once its words have moved, is free for the new buckets.
// The new buckets take chunks no larger than the words still to come to
// them, so that the move takes little memory besides the freed chunks:
// what it may take is reckoned before any word moves and taken then, in
// one block, so that the move does not run out of memory halfway. Should
// the reckoning fall short, chunks come from the slabs as for Append; the
// heap failing then would lose the words not yet moved, and the job ends
// (WordsLostInMove) rather than go on without them.
//
//===----------------------------------------------------------------------===//
#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "core/MemorySums.h"
#include "core/WordBuckets.h"

namespace lexset {

bool WordBuckets::Replan(std::size_t largest_allowed, std::size_t limit) {
  if (!tails_) return false;
  // Counting: words and record bytes per prefix, and the new plan.
  const std::size_t tables = bucket_count_ * (sizeof(Bucket) + sizeof(Tail) + sizeof(std::uint64_t));
  const std::size_t counting = prefixes() * (sizeof(std::uint32_t) + sizeof(std::uint64_t)) + PlanBytes() + tables;
  if (AddBytes(reserved_, counting) > limit) return false;
  std::vector<std::uint32_t> counts(prefixes());
  std::vector<std::uint64_t> bytes(prefixes());
  std::size_t largest_record = 0;
  ForEach([&](std::string_view word) {
    const std::size_t p = PrefixOf(word);
    ++counts[p];
    bytes[p] += RecordSize(word.size());
    largest_record = std::max(largest_record, RecordSize(word.size()));
  });
  std::unique_ptr<std::uint16_t[]> bucket_of(new std::uint16_t[prefixes()]);
  if (PlanInto(counts.data(), bucket_of.get()) > largest_allowed) return false;
  std::unique_ptr<std::uint64_t[]> room(new std::uint64_t[bucket_count_]());
  for (std::size_t p = 0; p < prefixes(); ++p) room[bucket_of[p]] += bytes[p];

  // While the words move, the new buckets hold what has moved, and of each
  // the part of its last chunk still to be filled: no more than the words
  // still to come to it, nor than a chunk; only those that share prefixes
  // with the old bucket being read can be filling. The old buckets hold
  // what has not moved, and the chunk being read. The freed chunks serve
  // the new ones but for pieces left over when one is split and the old
  // buckets' chunks of less than kMinMoveChunk, which only a bucket's last
  // few words can use: a 64th of the words is left for those. The free
  // chunks of kMinMoveChunk or more count towards the room.
  std::uint64_t words_bytes = 0;
  std::size_t list_entries = 0;
  for (std::size_t b = 0; b < bucket_count_; ++b) {
    words_bytes += room[b];
    list_entries = AddBytes(list_entries, ListEntriesToMove(room[b]));
  }
  std::size_t filling = 0;
  for (std::size_t p = 0, in_old = 0; p < prefixes(); ++p) {
    if (p == 0 || bucket_of_[p] != bucket_of_[p - 1]) {
      in_old = 0;
    } else if (bucket_of[p] == bucket_of[p - 1]) {
      continue;
    }
    in_old += static_cast<std::size_t>(std::min<std::uint64_t>(kMaxChunkSize, room[bucket_of[p]]));
    filling = std::max(filling, in_old);
  }
  const std::size_t moving = AddBytes(AddBytes(filling, 2 * std::max(kMaxChunkSize, largest_record)),
                                      static_cast<std::size_t>(std::min<std::uint64_t>(SIZE_MAX, words_bytes / 64)));
  const std::size_t spare = moving > free_bytes_ ? moving - free_bytes_ : 0;
  const std::size_t lists = AddBytes(list_entries * sizeof(Chunk), ListGrowthFor(slabs_));
  if (AddBytes(AddBytes(reserved_, counting), AddBytes(spare, lists)) > limit) return false;

  // Everything the move takes is taken now; should that fail, nothing has
  // changed.
  std::unique_ptr<Bucket[]> new_buckets(new Bucket[bucket_count_]);
  std::unique_ptr<Tail[]> new_tails(new Tail[bucket_count_]);
  for (std::size_t b = 0; b < bucket_count_; ++b) new_buckets[b].chunks.reserve(ListEntriesToMove(room[b]));
  if (spare > 0) {
    MakeRoomInList(slabs_);
    slabs_.emplace_back(new char[spare]);
    KeepFree(slabs_.back().get(), spare);
  }
  Reserve(AddBytes(AddBytes(tables, PlanBytes()), AddBytes(list_entries * sizeof(Chunk), spare)));
  // The counts, for the most the move held.
  peak_reserved_ = std::max(peak_reserved_, reserved_ + prefixes() * (sizeof(std::uint32_t) + sizeof(std::uint64_t)));

  std::unique_ptr<Bucket[]> old_buckets = std::move(buckets_);
  std::unique_ptr<Tail[]> old_tails = std::move(tails_);
  buckets_ = std::move(new_buckets);
  tails_ = std::move(new_tails);
  bucket_of_ = std::move(bucket_of);
  largest_ = 0;
  try {
    MoveWords(old_buckets.get(), old_tails.get(), room.get());
  } catch (const std::bad_alloc&) {
    throw WordsLostInMove();
  }
  reserved_ -= bucket_count_ * (sizeof(Bucket) + sizeof(Tail)) + PlanBytes();
  reserved_ -= bucket_count_ * sizeof(std::uint64_t);
  return true;
}

// A chunk of kMinMoveChunk bytes or more is filled up to a word of more
// than half that, which may take a chunk of its own.
std::size_t WordBuckets::ListEntriesToMove(std::uint64_t bytes) {
  return static_cast<std::size_t>(std::min<std::uint64_t>(SIZE_MAX / 2, bytes / (kMinMoveChunk / 2))) + 2;
}

void WordBuckets::MoveWords(Bucket* old_buckets, const Tail* old_tails, std::uint64_t* room) {
  for (std::size_t ob = 0; ob < bucket_count_; ++ob) {
    Bucket& old = old_buckets[ob];
    for (std::size_t c = 0; c < old.chunks.size(); ++c) {
      char* chunk = old.chunks[c].data;
      const std::size_t used =
          c + 1 < old.chunks.size() ? old.chunks[c].used : static_cast<std::size_t>(old_tails[ob].cursor - chunk);
      for (std::size_t offset = 0; offset < used;) {
        const std::string_view word = ReadRecord(chunk + offset);
        const std::size_t record_size = RecordSize(word.size());
        const std::size_t b = bucket_of_[PrefixOf(word)];
        Tail& tail = tails_[b];
        if (static_cast<std::size_t>(tail.limit - tail.cursor) < record_size) {
          // Never more than the bucket's words still to come; a smaller
          // free chunk if need be, down to kMinMoveChunk.
          const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(kMaxChunkSize, room[b]));
          StartChunk(b, std::max(size, record_size), std::max(record_size, std::min(size, kMinMoveChunk)));
        }
        PutRecord(b, word, record_size);
        room[b] -= record_size;
        offset += record_size;
      }
      KeepFree(chunk, old.chunks[c].size);
    }
    reserved_ -= old.chunks.capacity() * sizeof(Chunk);
    std::vector<Chunk>().swap(old.chunks);
  }
}

}  // namespace lexset
