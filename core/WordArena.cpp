//===- WordArena.cpp - Append-only storage for distinct words ------------===//
#include "core/WordArena.h"

#include <algorithm>
#include <new>

#include "core/SystemMemory.h"

namespace lexset {

WordArena::WordArena(std::size_t first_block_size)
    : first_block_size_(std::clamp<std::size_t>(first_block_size, 64, kChunkSize)) {}
WordArena::~WordArena() = default;

WordArena::Pos WordArena::Append(std::string_view word) {
  const std::size_t record_size = RecordSize(word.size());
  // Positions end at 4 GiB; written so that it holds in a 32-bit size_t,
  // where kMaxChunks * kChunkSize is 0 and the subtraction wraps to it.
  if (word.size() > kMaxChunks * kChunkSize - (record_size - word.size())) throw std::bad_alloc();
  if (static_cast<std::size_t>(limit_ - cursor_) < record_size) AddBlock(record_size);

  Block& block = blocks_.back();
  const std::size_t offset = static_cast<std::size_t>(cursor_ - block.data.get());
  WriteRecord(cursor_, word);
  cursor_ += record_size;
  block.used = offset + record_size;
  return block.first + static_cast<Pos>(offset);
}

// Blocks grow from 64 KiB to kMaxBlockSize so that small lists stay small;
// a record larger than the next block gets a block of its own.
std::size_t WordArena::NextBlockSize(std::size_t record_size) const {
  std::size_t size = blocks_.empty() ? first_block_size_ : std::min(kMaxBlockSize, blocks_.back().size * 2);
  if (record_size > size) size = record_size <= kChunkSize ? kChunkSize : record_size;
  return size;
}

std::size_t WordArena::GrowthFor(std::size_t size) const {
  const std::size_t record_size = RecordSize(size);
  if (static_cast<std::size_t>(limit_ - cursor_) >= record_size) return 0;
  // The block, and its entries in the bookkeeping.
  const std::size_t block_size = NextBlockSize(record_size);
  const std::size_t chunks = (block_size + kChunkSize - 1) / kChunkSize;
  return block_size + sizeof(Block) + chunks * sizeof(const char*);
}

void WordArena::AddBlock(std::size_t record_size) {
  const std::size_t size = NextBlockSize(record_size);
  const std::size_t chunks = (size + kChunkSize - 1) / kChunkSize;
  if (chunk_base_.size() + chunks > kMaxChunks) throw std::bad_alloc();

  // Reserve the bookkeeping first so nothing can throw once the block exists.
  blocks_.reserve(blocks_.size() + 1);
  chunk_base_.reserve(chunk_base_.size() + chunks);
  std::unique_ptr<char[]> data(new char[size]);
  // Sorting and writing the result read the words in any order.
  PreferLargePages(data.get(), size);

  const Pos first = static_cast<Pos>(chunk_base_.size() << kChunkBits);
  for (std::size_t i = 0; i < chunks; ++i) chunk_base_.push_back(data.get() + i * kChunkSize);
  cursor_ = data.get();
  limit_ = data.get() + size;
  reserved_ += size;
  blocks_.push_back(Block{std::move(data), size, 0, first});
}

void WordArena::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  chunk_base_.clear();
  chunk_base_.shrink_to_fit();
  cursor_ = limit_ = nullptr;
  reserved_ = 0;
}

}  // namespace lexset
