//===- WordScanner.h - Splitting a byte stream into words ----------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/ByteBuffer.h"
#include "core/ByteRules.h"
#include "core/ByteStreams.h"
#include "core/SeparatorMask.h"

namespace lexset {

// Reads a source in large blocks and hands out its words in small batches.
// A batch points into the block buffer and stays valid only during the
// call. A word cut by the end of a block is moved to the front of the buffer
// before the next read; the buffer grows when a single word fills it.
class WordScanner {
 public:
  static constexpr std::size_t kBatch = 16;

  explicit WordScanner(std::size_t block_size) : size_(block_size < 16 ? 16 : block_size), buffer_(size_ + kPadding) {}

  // Reads `source` up to its end or its first end-of-text byte, calling
  // on_words(const std::string_view* words, std::size_t count) for every
  // batch of words. Returns false after a read error; the words before it
  // have been handed out.
  template <class OnWords>
  bool ScanAll(ByteSource& source, OnWords&& on_words) {
    std::string_view batch[kBatch];
    std::size_t batched = 0;
    auto add = [&](const char* begin, const char* end) {
      batch[batched++] = std::string_view(begin, static_cast<std::size_t>(end - begin));
      if (batched == kBatch) {
        on_words(batch, batched);
        batched = 0;
      }
    };
    auto flush = [&] {
      if (batched != 0) on_words(batch, batched);
      batched = 0;
    };

    std::size_t kept = 0;  // bytes of an unfinished word at the front
    for (;;) {
      if (kept == size_) {
        size_ *= 2;
        buffer_.Resize(size_ + kPadding, kept);
      }
      char* const buffer = buffer_.data();
      const std::ptrdiff_t got = source.Read(buffer + kept, size_ - kept);
      if (got < 0) return false;
      if (got == 0) {
        if (kept != 0) add(buffer, buffer + kept);
        flush();
        return true;
      }

      const char* p = buffer + kept;
      const char* end = p + got;
      bool at_end_of_text = false;
      if (const void* stop = std::memchr(p, kEndOfText, static_cast<std::size_t>(got))) {
        end = static_cast<const char*>(stop);
        at_end_of_text = true;
      }

      // Word boundaries 64 bytes at a time: a word starts at a word byte
      // after a separator and ends at the separator after a word byte. The
      // bytes past `end` (the padding) count for nothing.
      const char* word = kept != 0 ? buffer : nullptr;
      std::uint64_t in_word = word != nullptr ? 1 : 0;  // is the byte before the chunk in a word?
      for (const char* chunk = p; chunk < end; chunk += 64) {
        const std::size_t left = static_cast<std::size_t>(end - chunk);
        const std::uint64_t valid = left < 64 ? (std::uint64_t{1} << left) - 1 : ~std::uint64_t{0};
        const std::uint64_t words = ~SeparatorMask(chunk) & valid;
        const std::uint64_t before = (words << 1) | in_word;
        std::uint64_t starts = words & ~before;
        std::uint64_t ends = ~words & before & valid;
        in_word = words >> 63;
        // Starts and ends alternate.
        for (;;) {
          if (word == nullptr) {
            if (starts == 0) break;
            word = chunk + CountTrailingZeros(starts);
            starts &= starts - 1;
          } else {
            if (ends == 0) break;
            add(word, chunk + CountTrailingZeros(ends));
            ends &= ends - 1;
            word = nullptr;
          }
        }
      }
      kept = word != nullptr ? static_cast<std::size_t>(end - word) : 0;
      if (at_end_of_text) {
        if (kept != 0) add(word, end);
        flush();
        return true;
      }
      // The words handed out point into the buffer, which is about to move.
      flush();
      if (kept != 0 && word != buffer) std::memmove(buffer, word, kept);
    }
  }

 private:
  // The mask of the last chunk of a block reads up to 63 bytes past its end.
  static constexpr std::size_t kPadding = 64;

  static unsigned CountTrailingZeros(std::uint64_t bits) { return static_cast<unsigned>(__builtin_ctzll(bits)); }

  std::size_t size_;  // bytes the buffer holds, besides the padding
  ByteBuffer buffer_;
};

}  // namespace lexset
