//===- Corpus.h - Exactly SIZE bytes of words, written buffered ----------===//
//
// The output side of lexset-corpus: every profile puts words and
// separators until the corpus is full, and Finish pads the rest.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace lexset::bench {

// The separators lexset splits on; 0x1A is left out of every word too.
inline bool IsSeparator(unsigned char byte) { return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D); }

// Buffered output of exactly the requested number of bytes.
class Corpus {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{4} << 20;

  Corpus(std::FILE* file, std::uint64_t size, std::size_t buffer_size = kBufferSize)
      : file_(file), size_(size), left_(size), flush_at_(buffer_size) {
    buffer_.reserve(flush_at_ + 64);
  }

  std::uint64_t written() const { return size_ - left_; }

  // Appends the word and the separator after it when both fit; returns
  // false once the corpus is full (the rest is padded by Finish).
  bool Put(std::string_view word, std::string_view separator) {
    if (word.size() + separator.size() > left_) return false;
    buffer_.append(word);
    buffer_.append(separator);
    left_ -= word.size() + separator.size();
    if (buffer_.size() >= flush_at_) Flush();
    return true;
  }

  // Fills what is left with line feeds and writes everything out.
  bool Finish() { return Finish(left_); }

  // Writes everything out after `padding` line feeds (no more than fit).
  bool Finish(std::uint64_t padding) {
    for (padding = std::min(padding, left_); padding != 0;) {
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(padding, flush_at_));
      buffer_.append(n, '\n');
      left_ -= n;
      padding -= n;
      Flush();
    }
    Flush();
    return ok_;
  }

 private:
  void Flush() {
    if (ok_ && !buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) ok_ = false;
    buffer_.clear();
  }

  std::FILE* file_;
  std::uint64_t size_;
  std::uint64_t left_;
  std::size_t flush_at_;
  std::string buffer_;
  bool ok_ = true;
};
}  // namespace lexset::bench
