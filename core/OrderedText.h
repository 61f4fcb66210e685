//===- OrderedText.h - Words in ascending order, kept as result lines ----===//
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "core/ByteRules.h"
#include "core/SystemMemory.h"

namespace lexset {

// Words that came in ascending order, kept exactly as the lines of the
// result: each word followed by CR LF, in large blocks. They go to a file
// with a few large writes, and no word needs a header or a position.
class OrderedText {
 public:
  explicit OrderedText(std::size_t first_block_size) : first_block_size_(first_block_size) {}

  // Adds `word` and its line end. Throws std::bad_alloc when memory runs
  // out; the text is then unchanged.
  void Append(std::string_view word);

  // The last word added.
  std::string_view last() const { return last_; }

  bool Fits(std::size_t size) const { return static_cast<std::size_t>(limit_ - cursor_) >= size + kLineEnd.size(); }
  // Bytes the next Append of a word of `size` bytes would take from the heap.
  std::size_t GrowthFor(std::size_t size) const {
    return Fits(size) ? 0 : NextBlockSize(size + kLineEnd.size()) + sizeof(Block);
  }
  // Bytes taken from the heap, bookkeeping included.
  std::size_t BytesReserved() const { return reserved_ + blocks_.capacity() * sizeof(Block); }

  // Calls write(data, size) for each block in order; stops early when it
  // returns false, and returns false then.
  template <class Write>
  bool ForEachBlock(Write&& write) const {
    for (const Block& block : blocks_) {
      if (block.used != 0 && !write(block.data.get(), block.used)) return false;
    }
    return true;
  }

  // The words one at a time, in order.
  class Cursor {
   public:
    explicit Cursor(const OrderedText& text) : text_(text) {}
    bool Next(std::string_view* word) {
      for (; block_ < text_.blocks_.size(); ++block_, offset_ = 0) {
        const Block& block = text_.blocks_[block_];
        if (offset_ >= block.used) continue;
        const char* begin = block.data.get() + offset_;
        // Words hold no CR, so the first one ends the word.
        const char* end = static_cast<const char*>(std::memchr(begin, '\r', block.used - offset_));
        *word = std::string_view(begin, static_cast<std::size_t>(end - begin));
        offset_ += word->size() + kLineEnd.size();
        return true;
      }
      return false;
    }

   private:
    const OrderedText& text_;
    std::size_t block_ = 0;
    std::size_t offset_ = 0;
  };

  void Clear();

 private:
  static constexpr std::size_t kMaxBlockSize = kLargeBlockSize;

  struct Block {
    std::unique_ptr<char[]> data;
    std::size_t size;
    std::size_t used;
  };

  std::size_t NextBlockSize(std::size_t line_size) const;

  std::size_t first_block_size_;
  std::vector<Block> blocks_;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  std::size_t reserved_ = 0;
  std::string_view last_;
};

}  // namespace lexset
