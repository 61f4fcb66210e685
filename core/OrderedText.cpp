//===- OrderedText.cpp - Words in ascending order, kept as result lines --===//
#include "core/OrderedText.h"

#include <algorithm>

#include "core/SystemMemory.h"
#include "core/WordCompare.h"

namespace lexset {

// Blocks grow from the first size to 16 MiB, so that short lists stay small;
// a longer line gets a block of its own.
std::size_t OrderedText::NextBlockSize(std::size_t line_size) const {
  const std::size_t size = blocks_.empty() ? first_block_size_ : std::min(kMaxBlockSize, 2 * blocks_.back().size);
  return std::max(size, line_size);
}

void OrderedText::Append(std::string_view word) {
  const std::size_t line_size = word.size() + kLineEnd.size();
  if (!Fits(word.size())) {
    const std::size_t size = NextBlockSize(line_size);
    blocks_.reserve(blocks_.size() + 1);
    std::unique_ptr<char[]> data(new char[size]);
    // Fewer, larger pages: a long sorted list is mostly page faults otherwise.
    PreferLargePages(data.get(), size);
    cursor_ = data.get();
    limit_ = cursor_ + size;
    reserved_ += size;
    blocks_.push_back(Block{std::move(data), size, 0});
  }
  CopyBytes(cursor_, word.data(), word.size());
  CopyBytes(cursor_ + word.size(), kLineEnd.data(), kLineEnd.size());
  last_ = std::string_view(cursor_, word.size());
  cursor_ += line_size;
  blocks_.back().used += line_size;
}

void OrderedText::Clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  cursor_ = limit_ = nullptr;
  reserved_ = 0;
  last_ = std::string_view();
}

}  // namespace lexset
