//===- WordArena.h - Append-only storage for distinct words --------------===//
//
// Words are stored back to back as records (a LEB128 length, then the bytes)
// in large blocks, and named by 32-bit positions rather than pointers, so a
// hash slot or a sort entry holding one stays 8 bytes on every platform.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/SystemMemory.h"
#include "core/WordRecord.h"

namespace lexset {

class WordArena {
 public:
  using Pos = std::uint32_t;

  // `first_block_size`: the size of the first block; later blocks double up
  // to kMaxBlockSize.
  explicit WordArena(std::size_t first_block_size = kFirstBlockSize);
  ~WordArena();
  WordArena(const WordArena&) = delete;
  WordArena& operator=(const WordArena&) = delete;

  // Stores a copy of `word` and returns its position. Throws std::bad_alloc
  // when memory or the 4 GiB of positions run out; the arena is then unchanged.
  Pos Append(std::string_view word);

  std::string_view WordAt(Pos pos) const { return ReadRecord(chunk_base_[pos >> kChunkBits] + (pos & kChunkMask)); }

  // Asks for the record at `pos` to be fetched into the cache.
  void Prefetch(Pos pos) const {
#if defined(__GNUC__)
    __builtin_prefetch(chunk_base_[pos >> kChunkBits] + (pos & kChunkMask));
#endif
  }

  // Whether a word of `size` bytes fits the current block.
  bool Fits(std::size_t size) const { return static_cast<std::size_t>(limit_ - cursor_) >= size + kMaxHeaderSize; }

  // Bytes the next Append of a word of `size` bytes would take from the heap
  // beyond what is reserved now.
  std::size_t GrowthFor(std::size_t size) const;

  // Calls visit(pos, word) for every word, in the order they were appended.
  template <class Visit>
  void ForEach(Visit&& visit) const {
    for (const Block& block : blocks_) {
      std::size_t offset = 0;
      while (offset < block.used) {
        const Pos pos = block.first + static_cast<Pos>(offset);
        const std::string_view word = WordAt(pos);
        visit(pos, word);
        offset = static_cast<std::size_t>(word.data() + word.size() - block.data.get());
      }
    }
  }

  // Bytes taken from the heap, bookkeeping included.
  std::size_t BytesReserved() const {
    return reserved_ + blocks_.capacity() * sizeof(Block) + chunk_base_.capacity() * sizeof(const char*);
  }

  // Frees every block.
  void Clear();

 private:
  static constexpr unsigned kChunkBits = 20;
  static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;
  static constexpr std::uint32_t kChunkMask = kChunkSize - 1;
  static constexpr std::size_t kMaxChunks = std::size_t{1} << (32 - kChunkBits);
  static constexpr std::size_t kMaxHeaderSize = 5;  // the length of a word under 4 GiB
  static constexpr std::size_t kMaxBlockSize = kLargeBlockSize;

 public:
  static constexpr std::size_t kFirstBlockSize = 64 * 1024;

 private:
  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size;
    std::size_t used;
    Pos first;  // position of data[0]
  };

  // Starts a block with room for at least `record_size` bytes.
  void AddBlock(std::size_t record_size);
  std::size_t NextBlockSize(std::size_t record_size) const;

  std::vector<Block> blocks_;
  // For each chunk (1 MiB of positions), the address of its first position.
  // A block larger than a chunk covers several consecutive chunks.
  std::vector<const char*> chunk_base_;
  std::size_t first_block_size_;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  std::size_t reserved_ = 0;
};

}  // namespace lexset
