//===- WordScanner.h - Splitting a byte stream into words ----------------===//
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/ByteRules.h"
#include "core/ByteStreams.h"

namespace lexset {

// Reads a source in large blocks and hands out its words, which point into
// the block buffer and stay valid only during the call. A word cut by the
// end of a block is moved to the front of the buffer before the next read;
// the buffer grows when a single word fills it.
class WordScanner {
 public:
  explicit WordScanner(std::size_t block_size) : buffer_(block_size < 16 ? 16 : block_size) {}

  // Reads `source` up to its end or its first end-of-text byte, calling
  // on_word(std::string_view) for every word. Returns false after a read
  // error; the words before it have been handed out.
  template <class OnWord>
  bool ScanAll(ByteSource& source, OnWord&& on_word) {
    std::size_t kept = 0;  // bytes of an unfinished word at the front
    for (;;) {
      if (kept == buffer_.size()) buffer_.resize(buffer_.size() * 2);
      char* const buffer = buffer_.data();
      const std::ptrdiff_t got = source.Read(buffer + kept, buffer_.size() - kept);
      if (got < 0) return false;
      if (got == 0) {
        if (kept != 0) on_word(std::string_view(buffer, kept));
        return true;
      }

      const char* p = buffer + kept;
      const char* end = p + got;
      bool at_end_of_text = false;
      if (const void* stop = std::memchr(p, kEndOfText, static_cast<std::size_t>(got))) {
        end = static_cast<const char*>(stop);
        at_end_of_text = true;
      }

      const char* word = kept != 0 ? buffer : nullptr;
      for (;;) {
        if (word != nullptr) {
          while (p != end && !IsSeparator(static_cast<unsigned char>(*p))) ++p;
          if (p == end) break;
          on_word(std::string_view(word, static_cast<std::size_t>(p - word)));
          word = nullptr;
        }
        while (p != end && IsSeparator(static_cast<unsigned char>(*p))) ++p;
        if (p == end) break;
        word = p;
      }

      kept = word != nullptr ? static_cast<std::size_t>(end - word) : 0;
      if (at_end_of_text) {
        if (kept != 0) on_word(std::string_view(word, kept));
        return true;
      }
      if (kept != 0 && word != buffer) std::memmove(buffer, word, kept);
    }
  }

 private:
  std::vector<char> buffer_;
};

}  // namespace lexset
