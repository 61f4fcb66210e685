//===- RunReader.h - Reading a run back, word by word --------------------===//
#pragma once

#include <cstddef>
#include <string_view>

#include "core/ByteBuffer.h"
#include "core/ByteStreams.h"

namespace lexset {

// Reads a run file: words each followed by CR LF, as in the result (words
// never hold either), in ascending order.
class RunReader {
 public:
  RunReader(ByteSource& source, std::size_t buffer_size);

  // Moves to the next word. Returns false at the end, or after a read error
  // (then failed() is true).
  bool Next();
  // The current word, valid until the next call to Next.
  std::string_view word() const { return {buffer_.data() + word_begin_, word_size_}; }
  // Bytes the current word shares with the one before it (0 for the first):
  // the previous word is kept in the buffer until the next one is whole.
  std::size_t shared() const { return shared_; }
  bool failed() const { return failed_; }

 private:
  ByteSource& source_;
  ByteBuffer buffer_;
  std::size_t word_begin_ = 0;  // the current word
  std::size_t word_size_ = 0;
  bool has_word_ = false;
  std::size_t shared_ = 0;
  std::size_t begin_ = 0;  // first byte not yet handed out
  std::size_t end_ = 0;    // end of the bytes read
  bool at_end_ = false;
  bool failed_ = false;
};

}  // namespace lexset
