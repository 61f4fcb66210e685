//===- LineWriter.h - Buffered output of result lines --------------------===//
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>

#include "core/ByteBuffer.h"
#include "core/ByteRules.h"
#include "core/ByteStreams.h"
#include "core/WordCompare.h"

namespace lexset {

// Collects lines in one large buffer and hands it to the sink when full.
class LineWriter {
 public:
  // Lines end with CR LF, as in the result.
  LineWriter(ByteSink& sink, std::size_t buffer_size) : sink_(sink), buffer_(buffer_size) {}
  // The same with a buffer used before, which TakeBuffer gives back.
  LineWriter(ByteSink& sink, ByteBuffer buffer) : sink_(sink), buffer_(std::move(buffer)) {}
  // The buffer, for another writer; this one takes no more lines.
  ByteBuffer TakeBuffer() {
    used_ = 0;
    return std::move(buffer_);
  }

  // Appends `word` and a line end. Returns false once the sink has failed.
  bool PutLine(std::string_view word) {
    const std::size_t size = word.size() + kLineEnd.size();
    if (buffer_.size() - used_ < size) {
      if (!Flush()) return false;
      if (size > buffer_.size()) {
        return sink_.Write(word.data(), word.size()) && sink_.Write(kLineEnd.data(), kLineEnd.size());
      }
    }
    char* out = buffer_.data() + used_;
    CopyBytes(out, word.data(), word.size());
    CopyBytes(out + word.size(), kLineEnd.data(), kLineEnd.size());
    used_ += size;
    return true;
  }

  // Appends lines already made, `size` bytes of them; a large block goes to
  // the sink as it is.
  bool PutLines(const char* lines, std::size_t size) {
    if (buffer_.size() - used_ >= size) {
      std::memcpy(buffer_.data() + used_, lines, size);
      used_ += size;
      return true;
    }
    return Flush() && sink_.Write(lines, size);
  }

  // The lines not yet handed to the sink, and dropping them.
  std::string_view pending() const { return {buffer_.data(), used_}; }
  void DropPending() { used_ = 0; }

  // Hands the buffered bytes to the sink.
  bool Flush() {
    if (used_ == 0) return true;
    const std::size_t size = used_;
    used_ = 0;
    return sink_.Write(buffer_.data(), size);
  }

 private:
  ByteSink& sink_;
  ByteBuffer buffer_;
  std::size_t used_ = 0;
};

}  // namespace lexset
